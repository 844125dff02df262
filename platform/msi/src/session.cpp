#include "msi/session.h"

#include <mutex>

namespace msi {
namespace {

struct Registry {
    std::mutex lock;
    MSIHANDLE next = 1;
    std::map<MSIHANDLE, std::map<std::string, std::string>> sessions;
};

Registry& registry() {
    static Registry r;
    return r;
}

}  // namespace

Session::Session() {
    auto& r = registry();
    std::lock_guard g(r.lock);
    handle_ = r.next++;
    r.sessions[handle_];
}

Session::~Session() {
    auto& r = registry();
    std::lock_guard g(r.lock);
    r.sessions.erase(handle_);
}

std::optional<std::string> Session::property(const std::string& name) const {
    auto& r = registry();
    std::lock_guard g(r.lock);
    const auto& props = r.sessions.at(handle_);
    auto it = props.find(name);
    if (it == props.end()) return std::nullopt;
    return it->second;
}

std::uint32_t MsiSetProperty(MSIHANDLE handle, const std::string& name, const std::string& value) {
    auto& r = registry();
    std::lock_guard g(r.lock);
    auto it = r.sessions.find(handle);
    if (it == r.sessions.end()) return ERROR_INVALID_HANDLE;
    it->second[name] = value;
    return ERROR_SUCCESS;
}

}  // namespace msi
