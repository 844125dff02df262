// Driver libraries loaded at run time.
#include <dlfcn.h>

#include <map>
#include <mutex>

#include "kernel/host.h"

namespace kernel {
namespace {

struct Module {
    void* library = nullptr;
    ModuleVersion version;
};

std::mutex& modulesMutex() {
    static std::mutex m;
    return m;
}
std::map<std::string, Module>& modules() {
    static std::map<std::string, Module> m;
    return m;
}

}  // namespace

DriverObject* loadDriverModule(const std::string& path, const std::string& name,
                               std::string* error) {
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        if (error) *error = dlerror();
        return nullptr;
    }
    auto entry = reinterpret_cast<DriverEntry>(dlsym(library, "DriverEntry"));
    if (!entry) {
        if (error) *error = path + ": no DriverEntry";
        dlclose(library);
        return nullptr;
    }
    Module module;
    module.library = library;
    if (auto* record = static_cast<const DriverVersionRecord*>(dlsym(library, "DriverVersion")))
        module.version = {record->name ? record->name : "", record->productVersion ? record->productVersion : ""};
    DriverObject* driver = loadDriver(name, entry);
    if (!driver) {
        if (error) *error = path + ": its entry failed";
        dlclose(library);
        return nullptr;
    }
    std::lock_guard lock(modulesMutex());
    modules()[name] = module;  // the library stays loaded for the life of the process
    return driver;
}

std::optional<ModuleVersion> moduleVersion(const std::string& name) {
    std::lock_guard lock(modulesMutex());
    auto it = modules().find(name);
    if (it == modules().end()) return std::nullopt;
    return it->second.version;
}

}  // namespace kernel
