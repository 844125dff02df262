#include "report_util.h"

namespace print {

std::string fitText(const std::string& text, int n) {
    std::string out;
    int count = 0;
    for (std::size_t i = 0; i < text.size() && count < n;) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        out.append(text, i, len);
        i += len;
        ++count;
    }
    out.append(static_cast<std::size_t>(n - count), ' ');
    return out;
}

std::string rtrim(const std::string& text) {
    const auto end = text.find_last_not_of(' ');
    return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

void setReportFont(printer::Canvas& out, double size) {
    out.setFontName(kReportFace);
    out.setFontSize(size);
}

long countRows(dao::Recordset& rs) {
    if (rs.eof() && rs.bof()) return 0;
    rs.moveLast();
    const long n = rs.recordCount();
    rs.moveFirst();
    return n;
}

void skipRows(dao::Recordset& rs, long n) {
    for (long i = 0; i < n && !rs.eof(); ++i) rs.moveNext();
}

}  // namespace print
