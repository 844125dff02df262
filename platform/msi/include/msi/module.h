#pragma once
// Loading of outside libraries by their system name, as an installer action probes them.
// A name such as "Mapi32.dll" is looked up as "libmapi32.so" in the search folders; a
// decorated symbol name such as "Name@4" is looked up without its decoration, since ELF
// libraries carry none.
#include <filesystem>
#include <string>
#include <vector>

namespace msi {

// Folders searched before the system's own library path (tests point it at their fakes).
void setModuleSearchPath(std::vector<std::filesystem::path> folders);

// A loaded library; frees itself.
class Module {
public:
    Module() = default;
    ~Module();
    Module(Module&& other) noexcept;
    Module& operator=(Module&& other) noexcept;
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    bool loaded() const { return handle_ != nullptr || mappedOnly_; }
    // The address of an exported symbol, or nullptr.
    void* symbol(const std::string& name) const;
    void free();

private:
    friend Module loadModule(const std::string&);
    friend Module loadModuleWithoutInit(const std::string&);
    void* handle_ = nullptr;
    bool mappedOnly_ = false;
};

// Loads a library normally: its start-up code runs.
Module loadModule(const std::string& name);

// Checks that a library could be loaded, without running any of its code: it must exist
// and be a shared object of this machine. Its symbols cannot be looked up.
Module loadModuleWithoutInit(const std::string& name);

}  // namespace msi
