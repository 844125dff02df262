#include "registry.h"

#include <sys/stat.h>

#include <map>
#include <mutex>
#include <utility>

namespace dao::detail {

namespace {
std::mutex mutex;
// Never destroyed: databases held in static storage close after every other static
// object has gone, and still find the registry.
std::map<FileId, int>& openFiles() {
    static auto* files = new std::map<FileId, int>;
    return *files;
}
}  // namespace

std::optional<FileId> fileId(const std::filesystem::path& path) {
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return FileId{st.st_dev, st.st_ino};
}

OpenFile::OpenFile(FileId id) : id_(id) {
    std::lock_guard lock(mutex);
    ++openFiles()[id];
}

OpenFile::OpenFile(OpenFile&& other) noexcept : id_(std::exchange(other.id_, std::nullopt)) {}

OpenFile::~OpenFile() {
    if (!id_) return;
    std::lock_guard lock(mutex);
    auto it = openFiles().find(*id_);
    if (it != openFiles().end() && --it->second == 0) openFiles().erase(it);
}

bool isRegistered(FileId id) {
    std::lock_guard lock(mutex);
    return openFiles().count(id) != 0;
}

}  // namespace dao::detail
