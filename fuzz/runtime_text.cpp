// The run time's text functions: Val, IsNumeric, CDbl, date texts and Format, and the
// Shift-JIS conversions and byte-counted cuts. The input is a value, a 0 byte, a pattern.
#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/datetime.h"
#include "runtime/error.h"
#include "runtime/format.h"
#include "runtime/numeric.h"
#include "text/text.h"

namespace {
template <class F>
void tolerateRuntimeErrors(F&& f) {
    try {
        f();
    } catch (const runtime::Error&) {
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\0');
    const std::string_view value = input.substr(0, split);
    const std::string_view pattern = split == std::string_view::npos ? std::string_view{} : input.substr(split + 1);

    const double number = runtime::val(value);
    (void)runtime::isNumeric(value);
    tolerateRuntimeErrors([&] { (void)runtime::cdbl(value); });
    tolerateRuntimeErrors([&] { (void)runtime::cint(number); });
    tolerateRuntimeErrors([&] { (void)runtime::clng(number); });
    (void)runtime::roundHalfEven(number, static_cast<int>(pattern.size() % 10));
    if (const auto date = runtime::parseDate(value)) {
        tolerateRuntimeErrors([&] { (void)runtime::format(*date, pattern); });
        (void)runtime::toSerial(*date);
    }
    tolerateRuntimeErrors([&] { (void)runtime::format(value, pattern); });
    tolerateRuntimeErrors([&] { (void)runtime::format(number, pattern); });
    tolerateRuntimeErrors([&] { (void)runtime::fromSerial(number); });

    const std::string utf8 = text::fromCp932(value);
    (void)text::toCp932(utf8);
    (void)text::lenB(utf8);
    (void)text::leftB(utf8, static_cast<int>(pattern.size()) - 1);
    (void)text::toWide(utf8);
    (void)text::toNarrow(utf8);
    return 0;
}
