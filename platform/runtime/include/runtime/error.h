#pragma once
// The numbered run-time error: the one exception type the program's own code traps,
// filters by number, and hands to the error reporter.
//
// Numbers below 1000 are the language run time's, 3000-3999 the database engine's
// (their texts may name a file or table where the engine's text has '|'), 32755 is
// the cancel code of the common dialogs.
#include <stdexcept>
#include <string>
#include <string_view>

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
// The '|' of a text that names an item is left empty: "Couldn't find file ''.".
std::string errorDescription(long number);

// The standard description with `item` in the place of its '|'
// (errorDescription(3024, "/x/Regist.dat") = "Couldn't find file '/x/Regist.dat'.").
std::string errorDescription(long number, std::string_view item);

// Raises the error with `item` in its standard description.
[[noreturn]] void raiseWith(long number, std::string_view item);

// Numbers the program and its layers filter on.
namespace err {
inline constexpr long InvalidCall = 5;
inline constexpr long Overflow = 6;
inline constexpr long SubscriptOutOfRange = 9;
inline constexpr long DivisionByZero = 11;
inline constexpr long TypeMismatch = 13;
inline constexpr long BadFileName = 52;
inline constexpr long FileNotFound = 53;
inline constexpr long DeviceIo = 57;
inline constexpr long FileAlreadyExists = 58;
inline constexpr long DeviceUnavailable = 68;
inline constexpr long PermissionDenied = 70;
inline constexpr long PathFileAccess = 75;
inline constexpr long PathNotFound = 76;
inline constexpr long ObjectNotSet = 91;
inline constexpr long InvalidUseOfNull = 94;
inline constexpr long PrinterError = 482;
inline constexpr long PrinterProperty = 483;
inline constexpr long PrinterInfo = 484;
inline constexpr long Cancel = 32755;
}  // namespace err

}  // namespace runtime
