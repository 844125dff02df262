#include "scratch.h"

#include <stdlib.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace fuzz {
namespace {
struct Folder {
    Folder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "kv-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("no scratch folder");
        path = pattern;
    }
    ~Folder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::filesystem::path path;
};
}  // namespace

const std::filesystem::path& scratch() {
    static Folder folder;
    return folder.path;
}

std::string writeInput(const std::string& name, std::span<const std::uint8_t> bytes) {
    const auto path = scratch() / name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path.string();
}

}  // namespace fuzz
