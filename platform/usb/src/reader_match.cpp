// pipedrv.conf: which device the libusb bus serves, and the driver values for it.
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "usb/libusb_bus.h"

namespace usb {

namespace {

std::string trim(const std::string& s) {
    auto b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return {};
    auto e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

bool equalsNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// A whole decimal or 0x-hex number, negative allowed.
bool parseNumber(const std::string& text, long long* value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(text.c_str(), &end, 0);
    if (errno || !end || *end) return false;
    *value = v;
    return true;
}

// The driver's registry names, in their own spelling.
std::optional<std::string> driverValueName(const std::string& key) {
    static const char* const names[] = {"TargetAlternateSetting", "TargetInterfaceClass",
                                        "TargetInterfaceSubClass", "TargetInterfaceProtocol",
                                        "MaximumTransferSize", "DebugLevel"};
    for (const char* n : names)
        if (equalsNoCase(key, n)) return std::string(n);
    // EP<number>_SegmentSize
    if (key.size() > 14 && equalsNoCase(key.substr(0, 2), "EP") && equalsNoCase(key.substr(key.size() - 12), "_SegmentSize")) {
        std::string number = key.substr(2, key.size() - 14);
        long long n;
        if (number.find_first_not_of("0123456789") == std::string::npos && parseNumber(number, &n) && n < 16)
            return "EP" + std::to_string(n) + "_SegmentSize";
    }
    return std::nullopt;
}

std::optional<ReaderMatch> fail(std::string* error, const std::string& message) {
    if (error) *error = message;
    return std::nullopt;
}

}  // namespace

std::optional<ReaderMatch> parseReaderMatch(const std::string& text, std::string* error) {
    ReaderMatch match;
    bool vendor = false, product = false;
    std::istringstream in(text);
    std::string raw;
    for (int number = 1; std::getline(in, raw); ++number) {
        std::string line = trim(raw.substr(0, raw.find('#')));
        if (line.empty()) continue;
        std::string where = "line " + std::to_string(number) + ": ";
        auto eq = line.find('=');
        if (eq == std::string::npos) return fail(error, where + "expected Name=value");
        std::string key = trim(line.substr(0, eq));
        long long value;
        if (!parseNumber(trim(line.substr(eq + 1)), &value)) return fail(error, where + "not a number");
        if (equalsNoCase(key, "VendorId") || equalsNoCase(key, "ProductId")) {
            if (value < 0 || value > 0xFFFF) return fail(error, where + "an id is 0 to 0xFFFF");
            bool isVendor = equalsNoCase(key, "VendorId");
            (isVendor ? match.vendorId : match.productId) = static_cast<std::uint16_t>(value);
            (isVendor ? vendor : product) = true;
            continue;
        }
        auto name = driverValueName(key);
        if (!name) return fail(error, where + "unknown name " + key);
        if (value < -0x80000000LL || value > 0xFFFFFFFFLL) return fail(error, where + "value out of range");
        match.values.emplace_back(*name, static_cast<std::uint32_t>(value));
    }
    if (!vendor || !product) return fail(error, "VendorId and ProductId are both required");
    return match;
}

std::optional<ReaderMatch> readReaderMatch(const std::filesystem::path& file, std::string* error) {
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) return std::nullopt;
    std::ifstream in(file, std::ios::binary);
    if (!in) return fail(error, file.string() + ": cannot be read");
    std::ostringstream text;
    text << in.rdbuf();
    std::string why;
    auto match = parseReaderMatch(text.str(), &why);
    if (!match) return fail(error, file.string() + ": " + why);
    return match;
}

}  // namespace usb
