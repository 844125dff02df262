#include "core/log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "core/globals.h"
#include "runtime/datetime.h"
#include "text/text.h"

namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

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

std::string gfnsLogStamp(const runtime::DateTime& t) {
    char stamp[96];
    std::snprintf(stamp, sizeof stamp, "%04d/%02d/%02d %02d:%02d:%02d ", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return stamp;
}

void gsbWriteLog(std::string_view text) noexcept {
    if (!gintLogMode) return;
    try {
        const std::string line = gfnsLogStamp(runtime::now()) + text::toCp932(text) + "\r\n";
        const std::string path = gstrDataPath + std::string(kSoftLog);
        // One write per line, opened and closed each time, so every line that was logged
        // is on disk even when the program ends the next moment.
        const FileDescriptor fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
        if (fd.get() >= 0) writeAll(fd.get(), line);
    } catch (...) {
        // A log that cannot be written is left out; the report it belongs to goes on.
    }
}
