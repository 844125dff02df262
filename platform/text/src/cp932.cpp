// CP932 through glibc's iconv. "CP932", not "SHIFT_JIS": glibc's SHIFT_JIS lacks the
// Windows mappings (U+FF5E "～" fails, U+FF0D "－" differs).
#include <errno.h>
#include <iconv.h>

#include <stdexcept>

#include "text/text.h"
#include "utf8.h"

namespace text {

namespace {

class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
        if (cd_ == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv cannot convert to CP932");
    }
    ~Converter() { iconv_close(cd_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts `in`; on an invalid sequence writes '?' and skips `skip(rest)` bytes.
    template <typename Skip>
    std::string run(std::string_view in, Skip skip) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        std::string out;
        char buf[1024];
        char* src = const_cast<char*>(in.data());
        std::size_t left = in.size();
        while (left > 0) {
            char* dst = buf;
            std::size_t room = sizeof buf;
            std::size_t r = iconv(cd_, &src, &left, &dst, &room);
            out.append(buf, dst);
            if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
                out += '?';
                std::size_t n = skip(std::string_view(src, left));
                src += n;
                left -= n;
                iconv(cd_, nullptr, nullptr, nullptr, nullptr);
            }
        }
        return out;
    }

private:
    iconv_t cd_;
};

Converter& toCp932Converter() {
    thread_local Converter c("CP932", "UTF-8");
    return c;
}

Converter& fromCp932Converter() {
    thread_local Converter c("UTF-8", "CP932");
    return c;
}

bool isLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

}  // namespace

std::string toCp932(std::string_view utf8) {
    return toCp932Converter().run(utf8, [](std::string_view rest) { return utf8Length(rest); });
}

std::string fromCp932(std::string_view cp932) {
    return fromCp932Converter().run(cp932, [](std::string_view rest) {
        return rest.size() >= 2 && isLeadByte(static_cast<unsigned char>(rest[0])) ? std::size_t{2} : std::size_t{1};
    });
}

int lenB(std::string_view utf8) { return static_cast<int>(toCp932(utf8).size()); }

std::string leftB(std::string_view utf8, int bytes) {
    std::string out;
    int used = 0;
    for (std::size_t i = 0; i < utf8.size();) {
        std::size_t n = utf8Length(utf8.substr(i));
        std::string_view ch = utf8.substr(i, n);
        int width = static_cast<int>(toCp932(ch).size());
        if (used + width > bytes) break;
        out += ch;
        used += width;
        i += n;
    }
    return out;
}

}  // namespace text
