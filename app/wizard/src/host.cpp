#include "wizard/host.h"

namespace wizard {

namespace {
Host* gHost = nullptr;
}

Host* host() { return gHost; }

void setHost(Host* h) { gHost = h; }

void clearHost(const Host* h) {
    if (gHost == h) gHost = nullptr;
}

QWidget* hostWindow() { return gHost ? gHost->hostWindow() : nullptr; }

}  // namespace wizard
