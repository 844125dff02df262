#pragma once
// DoEvents: lets pending window messages run once. The forms layer installs the hook;
// without one it does nothing (tests and the card control's core run without windows).
#include <functional>

namespace runtime {

void doEvents();

// Installs the hook and returns the one it replaces.
std::function<void()> setDoEventsHook(std::function<void()> hook);

}  // namespace runtime
