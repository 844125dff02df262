#include <cstring>

#include "fake_control.h"

extern "C" com::Control* kvCreateInstance(const char* className) {
    return std::strcmp(className, "Fake_Control") == 0 ? new FakeControl : nullptr;
}
