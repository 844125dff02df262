#pragma once
// The numbered run-time error: the one exception type the program's own code traps,
// filters by number, and hands to the error reporter.
#include <stdexcept>
#include <string>

namespace runtime {

class Error : public std::runtime_error {
public:
    Error(long number, std::string description);
    long number() const noexcept { return number_; }
    const std::string& description() const noexcept { return description_; }

private:
    long number_;
    std::string description_;
};

// Raises the run-time error with its standard description.
[[noreturn]] void raise(long number);
[[noreturn]] void raise(long number, std::string description);

// The standard description of a numbered error ("" when the number has none).
std::string errorDescription(long number);

}  // namespace runtime
