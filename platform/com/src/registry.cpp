#include "com/registry.h"

#include <dlfcn.h>

#include <map>
#include <mutex>
#include <variant>

namespace com {
namespace fs = std::filesystem;
namespace {

using CreateInstance = Control* (*)(const char*);

struct Registry {
    std::mutex lock;
    std::map<std::string, std::variant<Factory, fs::path>> classes;
    fs::path folder;
    // Libraries stay loaded for the life of the process: their objects may outlive any
    // one creation.
    std::map<fs::path, void*> libraries;
};

Registry& registry() {
    static Registry r;
    return r;
}

CreateInstance entryOf(Registry& r, const fs::path& library) {
    const fs::path path = library.has_parent_path() ? library : r.folder / library;
    auto it = r.libraries.find(path);
    if (it == r.libraries.end()) {
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) return nullptr;
        it = r.libraries.emplace(path, handle).first;
    }
    return reinterpret_cast<CreateInstance>(dlsym(it->second, "kvCreateInstance"));
}

}  // namespace

void registerClass(const std::string& className, Factory factory) {
    auto& r = registry();
    std::lock_guard g(r.lock);
    r.classes[className] = std::move(factory);
}

void registerLibraryClass(const std::string& className, const fs::path& library) {
    auto& r = registry();
    std::lock_guard g(r.lock);
    r.classes[className] = library;
}

void unregisterClass(const std::string& className) {
    auto& r = registry();
    std::lock_guard g(r.lock);
    r.classes.erase(className);
}

void setLibraryFolder(fs::path folder) {
    auto& r = registry();
    std::lock_guard g(r.lock);
    r.folder = std::move(folder);
}

HResult createInstance(const std::string& className, std::unique_ptr<Control>& out) noexcept {
    out.reset();
    try {
        auto& r = registry();
        std::unique_lock g(r.lock);
        auto it = r.classes.find(className);
        if (it == r.classes.end()) return ClassNotRegistered;
        if (auto* factory = std::get_if<Factory>(&it->second)) {
            Factory f = *factory;
            g.unlock();
            out = f();
        } else {
            CreateInstance create = entryOf(r, std::get<fs::path>(it->second));
            g.unlock();
            if (!create) return ClassNotRegistered;
            out.reset(create(className.c_str()));
        }
        return out ? Ok : ClassNotRegistered;
    } catch (const std::bad_alloc&) {
        return OutOfMemory;
    } catch (...) {
        return Failed;
    }
}

}  // namespace com
