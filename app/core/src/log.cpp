#include "core/log.h"

#include <fcntl.h>
#include <iconv.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "core/globals.h"

namespace {

std::tm localNow() {
    const std::time_t t = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm local{};
    localtime_r(&t, &local);
    return local;
}

// CP932, the code page the log has always been read in; a character it lacks becomes "?".
std::string toCp932(std::string_view utf8) {
    iconv_t cd = iconv_open("CP932", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(utf8);
    std::string out;
    char buffer[256];
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    while (inLeft > 0) {
        char* o = buffer;
        std::size_t oLeft = sizeof buffer;
        const std::size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
        out.append(buffer, o);
        if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
            out.push_back('?');
            ++in;
            --inLeft;
            while (inLeft > 0 && (static_cast<unsigned char>(*in) & 0xC0) == 0x80) ++in, --inLeft;
        }
    }
    iconv_close(cd);
    return out;
}

bool writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::string gfnsLogStamp(const std::tm& t) {
    char stamp[96];
    std::snprintf(stamp, sizeof stamp, "%04d/%02d/%02d %02d:%02d:%02d ", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                  t.tm_hour, t.tm_min, t.tm_sec);
    return stamp;
}

void gsbWriteLog(std::string_view text) noexcept {
    if (!gintLogMode) return;
    try {
        const std::string line = gfnsLogStamp(localNow()) + toCp932(text) + "\r\n";
        const std::string path = gstrDataPath + std::string(kSoftLog);
        const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0) return;
        writeAll(fd, line);
        ::close(fd);
    } catch (...) {
        // A log that cannot be written is left out; the report it belongs to goes on.
    }
}
