#include "forms/fatal.h"

#include <cstdio>
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
    // Ends at once, as the run time does: no static destructor runs, so none can meet
    // another that is already gone, and the working database stays for the restore.
    std::fflush(nullptr);
    std::_Exit(EXIT_FAILURE);
}

ThrowOnFatal::ThrowOnFatal() { setFatalHook([] { throw ProgramEnded(); }); }
ThrowOnFatal::~ThrowOnFatal() { setFatalHook({}); }

}  // namespace forms
