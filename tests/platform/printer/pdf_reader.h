#pragma once
// Reads a printed PDF back with poppler's tools: its text and its page count and size.
#include <array>
#include <cstdio>
#include <memory>
#include <string>

namespace printertest {

inline std::string run(const std::string& command) {
    std::string out;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe) return out;
    std::array<char, 4096> buf{};
    std::size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), pipe.get())) > 0) out.append(buf.data(), n);
    return out;
}

// The text of the PDF as pdftotext lays it out; pages are separated by form feeds.
inline std::string pdfText(const std::string& path) { return run("pdftotext -layout '" + path + "' - 2>/dev/null"); }

// The value of one pdfinfo field ("Pages", "Page size").
inline std::string pdfInfo(const std::string& path, const std::string& field) {
    const std::string info = run("pdfinfo '" + path + "' 2>/dev/null");
    const auto at = info.find(field + ":");
    if (at == std::string::npos) return {};
    auto start = info.find_first_not_of(' ', at + field.size() + 1);
    return info.substr(start, info.find('\n', start) - start);
}

}  // namespace printertest
