#pragma once
// The installer's side of a custom action: an install session with its properties,
// reached through the handle the installer passes to the action.
#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace msi {

using MSIHANDLE = std::uint32_t;

constexpr std::uint32_t ERROR_SUCCESS = 0;
constexpr std::uint32_t ERROR_INVALID_HANDLE = 6;

// An install session; its handle is valid while it lives.
class Session {
public:
    Session();
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    MSIHANDLE handle() const { return handle_; }
    std::optional<std::string> property(const std::string& name) const;

private:
    MSIHANDLE handle_;
};

// Sets a property of the session behind `handle`.
std::uint32_t MsiSetProperty(MSIHANDLE handle, const std::string& name, const std::string& value);

}  // namespace msi
