#include "runtime/error.h"

#include <utility>

namespace runtime {

Error::Error(long number, std::string description)
    : std::runtime_error(description), number_(number), description_(std::move(description)) {}

std::string errorDescription(long number) {
    switch (number) {
    case 5: return "Invalid procedure call or argument";
    case 6: return "Overflow";
    case 9: return "Subscript out of range";
    case 11: return "Division by zero";
    case 13: return "Type mismatch";
    case 52: return "Bad file name or number";
    case 53: return "File not found";
    case 55: return "File already open";
    case 57: return "Device I/O error";
    case 58: return "File already exists";
    case 61: return "Disk full";
    case 62: return "Input past end of file";
    case 68: return "Device unavailable";
    case 70: return "Permission denied";
    case 71: return "Disk not ready";
    case 75: return "Path/File access error";
    case 76: return "Path not found";
    case 91: return "Object variable or With block variable not set";
    case 482: return "Printer error";
    case 483: return "Printer driver does not support specified property";
    case 484: return "Problem getting printer information from the system";
    default: return {};
    }
}

void raise(long number) { throw Error(number, errorDescription(number)); }
void raise(long number, std::string description) { throw Error(number, std::move(description)); }

}  // namespace runtime
