#include "forms/fatal.h"

#include <cstdlib>
#include <utility>

namespace forms {
namespace {
FatalHook& hook() {
    static FatalHook h;
    return h;
}
}  // namespace

void setFatalHook(FatalHook h) { hook() = std::move(h); }

void endProgram() {
    if (hook()) hook()();
    std::exit(EXIT_FAILURE);
}

ThrowOnFatal::ThrowOnFatal() { setFatalHook([] { throw ProgramEnded(); }); }
ThrowOnFatal::~ThrowOnFatal() { setFatalHook({}); }

}  // namespace forms
