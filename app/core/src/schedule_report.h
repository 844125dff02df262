#pragma once
// The non-fatal internal error of the schedule routines, handed to the error reporter.
#include <string>

namespace core {
void reportNonFatal(const std::string& text);
}
