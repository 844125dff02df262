#pragma once
// The input as a read-only FILE*, for readers that take an open file.
#include <cstdint>
#include <cstdio>

namespace fuzz {

class MemoryFile {
public:
    MemoryFile(const std::uint8_t* data, std::size_t size)
        : file_(size ? fmemopen(const_cast<std::uint8_t*>(data), size, "rb") : std::fopen("/dev/null", "rb")) {}
    ~MemoryFile() {
        if (file_) std::fclose(file_);
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;
    explicit operator bool() const { return file_ != nullptr; }
    std::FILE* get() const { return file_; }

private:
    std::FILE* file_;
};

}  // namespace fuzz
