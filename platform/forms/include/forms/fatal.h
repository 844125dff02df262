#pragma once
// The one way a fatal error ends the program. Tests replace the hook with one that
// throws, so that a fatal path can be asserted.
#include <functional>
#include <stdexcept>

namespace forms {

using FatalHook = std::function<void()>;

// Installs a hook; an empty one restores the default, which ends the process.
void setFatalHook(FatalHook hook);

// Ends the program through the hook. If the hook returns, the process ends anyway.
[[noreturn]] void endProgram();

// What the throwing hook of the tests raises.
class ProgramEnded : public std::runtime_error {
public:
    ProgramEnded() : std::runtime_error("program ended") {}
};

// Installs a hook that throws ProgramEnded for its lifetime.
class ThrowOnFatal {
public:
    ThrowOnFatal();
    ~ThrowOnFatal();
};

}  // namespace forms
