#pragma once
// A card data file opened by the control: RAII, with reads and writes at fixed offsets.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

namespace control {

class CardFile {
public:
    CardFile(const std::string& name, const char* mode) : file_(std::fopen(name.c_str(), mode)) {
        // A folder opens for reading on this platform, but it is no file to take data from.
        struct stat info {};
        if (file_ && (fstat(fileno(file_), &info) != 0 || !S_ISREG(info.st_mode))) close();
    }
    ~CardFile() { close(); }
    CardFile(const CardFile&) = delete;
    CardFile& operator=(const CardFile&) = delete;

    bool valid() const { return file_ != nullptr; }
    std::FILE* get() const { return file_; }
    bool readAt(long offset, std::span<std::uint8_t> out) {
        return std::fseek(file_, offset, SEEK_SET) == 0 && std::fread(out.data(), 1, out.size(), file_) == out.size();
    }
    bool writeAt(long offset, std::span<const std::uint8_t> data) {
        return std::fseek(file_, offset, SEEK_SET) == 0 &&
               std::fwrite(data.data(), 1, data.size(), file_) == data.size();
    }
    // False when what was written could not be flushed.
    bool close() {
        if (!file_) return true;
        const bool ok = std::fclose(file_) == 0;
        file_ = nullptr;
        return ok;
    }

private:
    std::FILE* file_;
};

}  // namespace control
