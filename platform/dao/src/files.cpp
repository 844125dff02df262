#include "dao/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "connection.h"
#include "runtime/error.h"

namespace dao {

namespace {

std::filesystem::path absolutePath(const std::filesystem::path& p) {
    return std::filesystem::absolute(p).lexically_normal();
}

bool fileExists(const std::filesystem::path& p) {
    struct stat st{};
    return ::lstat(p.c_str(), &st) == 0;
}

// Flushes a file or a folder to the disk; errors are left to the later steps.
void syncPath(const std::filesystem::path& p) {
    int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

[[noreturn]] void raiseFileError(int error) {
    if (error == EACCES || error == EPERM || error == EROFS || error == ETXTBSY || error == EBUSY)
        runtime::raise(runtime::err::PermissionDenied);
    if (error == EXDEV) runtime::raise(74);
    if (error == ENOSPC) runtime::raise(61);
    runtime::raise(runtime::err::PathFileAccess);
}

}  // namespace

bool isOpen(const std::filesystem::path& path) {
    auto id = detail::fileId(path);
    return id && detail::isRegistered(*id);
}

void ensureNotOpen(const std::filesystem::path& path) {
    if (isOpen(path)) runtime::raise(runtime::err::PermissionDenied);
}

void deleteFile(const std::filesystem::path& path) {
    ensureNotOpen(path);
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) raiseFileError(errno);
}

void replaceFile(const std::filesystem::path& from, const std::filesystem::path& to) {
    ensureNotOpen(from);
    ensureNotOpen(to);
    if (!fileExists(from)) runtime::raise(runtime::err::FileNotFound);
    if (::rename(from.c_str(), to.c_str()) != 0) raiseFileError(errno);
    syncPath(absolutePath(to).parent_path());
}

void compactDatabase(const std::filesystem::path& source, const std::filesystem::path& target) {
    auto src = absolutePath(source), dst = absolutePath(target);
    if (isOpen(src)) runtime::raiseWith(3045, src.string());
    if (fileExists(dst)) runtime::raise(3204);
    struct stat st{};
    bool haveMode = ::stat(src.c_str(), &st) == 0;
    {
        auto conn = detail::openConnection(src);
        try {
            // The copy is synced once, whole, below; no journal syncs while it is written.
            detail::Statement fast(conn->db, "PRAGMA synchronous=OFF");
            fast.step();
            detail::Statement vacuum(conn->db, "VACUUM INTO ?1");
            vacuum.bind(1, Value(dst.string()));
            vacuum.step();
        } catch (...) {
            ::unlink(dst.c_str());
            throw;
        }
    }
    if (haveMode) ::chmod(dst.c_str(), st.st_mode & 07777);
    syncPath(dst);
}

void compactInPlace(const std::filesystem::path& path, const std::filesystem::path& scratch) {
    auto file = absolutePath(path), temp = absolutePath(scratch);
    if (isOpen(file)) runtime::raiseWith(3045, file.string());
    if (isOpen(temp)) runtime::raiseWith(3045, temp.string());
    if (::unlink(temp.c_str()) != 0 && errno != ENOENT) raiseFileError(errno);
    compactDatabase(file, temp);
    // The compacted copy replaces the file in one step; the file is never deleted first.
    // The copy's data reached the disk before the rename, so whether or not the rename
    // itself survives a crash, the name holds a whole database.
    if (::rename(temp.c_str(), file.c_str()) != 0) {
        int error = errno;
        ::unlink(temp.c_str());
        raiseFileError(error);
    }
}

}  // namespace dao
