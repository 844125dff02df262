#include "msi/module.h"

#include <dlfcn.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <elf.h>
#include <fstream>
#include <mutex>
#include <utility>

namespace msi {
namespace fs = std::filesystem;
namespace {

std::mutex searchLock;
std::vector<fs::path> searchPath;

// "Mapi32.dll" -> "libmapi32.so"; a name that already looks like an ELF file stays.
std::string fileNameOf(const std::string& name) {
    std::string stem = name;
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    if (lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".dll") == 0) {
        stem = lower.substr(0, lower.size() - 4);
        return "lib" + stem + ".so";
    }
    return name;
}

// The system's own library folders, searched after the ones set for this process.
const std::array<const char*, 5> systemFolders = {"/usr/local/lib", "/usr/lib/x86_64-linux-gnu",
                                                  "/lib/x86_64-linux-gnu", "/usr/lib", "/lib"};

// The path of the file to load, or "" when no folder holds it.
std::string resolve(const std::string& name) {
    const std::string file = fileNameOf(name);
    std::vector<fs::path> folders;
    {
        std::lock_guard g(searchLock);
        folders = searchPath;
    }
    folders.insert(folders.end(), systemFolders.begin(), systemFolders.end());
    for (const auto& dir : folders) {
        std::error_code ec;
        if (fs::is_regular_file(dir / file, ec)) return (dir / file).string();
    }
    return {};
}

bool isNativeSharedObject(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    Elf64_Ehdr h{};
    if (!in.read(reinterpret_cast<char*>(&h), sizeof h)) return false;
    const bool elf = h.e_ident[EI_MAG0] == ELFMAG0 && h.e_ident[EI_MAG1] == ELFMAG1 &&
                     h.e_ident[EI_MAG2] == ELFMAG2 && h.e_ident[EI_MAG3] == ELFMAG3;
    const unsigned char wordSize = sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32;
    return elf && h.e_ident[EI_CLASS] == wordSize && h.e_type == ET_DYN;
}

// A stdcall-style decoration ("Name@12") is dropped: ELF exports carry none.
std::string undecorated(const std::string& name) {
    const auto at = name.rfind('@');
    if (at == std::string::npos || at == 0 || at + 1 == name.size()) return name;
    const bool digits = std::all_of(name.begin() + static_cast<long>(at) + 1, name.end(),
                                    [](unsigned char c) { return std::isdigit(c); });
    return digits ? name.substr(0, at) : name;
}

}  // namespace

void setModuleSearchPath(std::vector<fs::path> folders) {
    std::lock_guard g(searchLock);
    searchPath = std::move(folders);
}

Module::~Module() { free(); }

Module::Module(Module&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), mappedOnly_(std::exchange(other.mappedOnly_, false)) {}

Module& Module::operator=(Module&& other) noexcept {
    if (this != &other) {
        free();
        handle_ = std::exchange(other.handle_, nullptr);
        mappedOnly_ = std::exchange(other.mappedOnly_, false);
    }
    return *this;
}

void* Module::symbol(const std::string& name) const {
    if (!handle_) return nullptr;
    return dlsym(handle_, undecorated(name).c_str());
}

void Module::free() {
    if (handle_) dlclose(handle_);
    handle_ = nullptr;
    mappedOnly_ = false;
}

Module loadModule(const std::string& name) {
    Module m;
    const std::string path = resolve(name);
    if (!path.empty()) m.handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    return m;
}

Module loadModuleWithoutInit(const std::string& name) {
    Module m;
    const std::string path = resolve(name);
    m.mappedOnly_ = !path.empty() && isNativeSharedObject(path);
    return m;
}

}  // namespace msi
