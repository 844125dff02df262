#pragma once
// The process-wide registry of open database files, keyed by file identity.
#include <sys/types.h>

#include <filesystem>
#include <optional>

namespace dao::detail {

struct FileId {
    dev_t dev;
    ino_t ino;
    friend auto operator<=>(const FileId&, const FileId&) = default;
};

// The identity of an existing file; nullopt when it cannot be stat'ed.
std::optional<FileId> fileId(const std::filesystem::path& path);

// Holds one registration of an open file for its lifetime.
class OpenFile {
public:
    explicit OpenFile(FileId id);
    ~OpenFile();
    OpenFile(OpenFile&& other) noexcept;
    OpenFile& operator=(OpenFile&&) = delete;
    OpenFile(const OpenFile&) = delete;

private:
    std::optional<FileId> id_;
};

bool isRegistered(FileId id);

}  // namespace dao::detail
