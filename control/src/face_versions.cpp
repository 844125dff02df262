// The identities the control reports: its own version and name, the pipe driver's, the
// reader's firmware; and the process layer that starts the standby monitor.
#include <dlfcn.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "control/face.h"

extern char** environ;

namespace control {
namespace fs = std::filesystem;
namespace {

// The control's version block.
constexpr const char* kFileVersion = "1, 0, 0, 1";
constexpr const char* kProductName = "RDX-700 ActiveX Control Module for KV-M58S";

// What a driver library exports as "DriverVersion".
struct DriverVersionRecord {
    const char* name;
    const char* productVersion;
};

// The driver's ProductVersion, or nullopt when the file carries no version record.
std::optional<std::string> driverRecordVersion(const fs::path& file) {
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) return std::nullopt;
    void* library = dlopen(file.c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (!library) return std::nullopt;
    std::optional<std::string> version;
    if (auto* record = static_cast<const DriverVersionRecord*>(dlsym(library, "DriverVersion")))
        version = record->productVersion ? record->productVersion : "";
    dlclose(library);
    return version;
}

class SystemProcessLayer final : public ProcessLayer {
public:
    std::optional<long> start(const fs::path& program) override {
        pid_t pid = 0;
        const std::string path = program.string();
        char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
        if (posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, environ) != 0) return std::nullopt;
        return static_cast<long>(pid);
    }
    void close(long pid) override {
        if (kill(static_cast<pid_t>(pid), SIGTERM) != 0) return;
        int status = 0;
        waitpid(static_cast<pid_t>(pid), &status, 0);
    }
};

fs::path folderOf(const fs::path& file) { return file.has_parent_path() ? file.parent_path() : fs::path("."); }

}  // namespace

std::string cleanVersion(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == ' ') continue;
        out += c == ',' ? '.' : c;
    }
    return out;
}

std::string myVersion() { return cleanVersion(kFileVersion); }
std::string myName() { return kProductName; }

std::string firmwareText(std::uint16_t word) {
    if (word == 0) return "-.--";
    char text[16];
    std::snprintf(text, sizeof text, "%x.%x%x", word >> 8, (word >> 4) & 15, word & 15);
    return text;
}

DriverIdentity findDriver(const fs::path& programFolder) {
    // The files the build ships (the 64-bit driver, or the 32-bit one), reported under the
    // driver's own names.
    const fs::path drivers = programFolder / "Drivers";
    if (auto v = driverRecordVersion(drivers / "pipedrv64.so")) return {"PIPEDRV64.sys", cleanVersion(*v)};
    auto v = driverRecordVersion(drivers / "pipedrv.so");
    return {"PIPEDRV.sys", v ? cleanVersion(*v) : std::string()};
}

std::unique_ptr<ProcessLayer> makeSystemProcessLayer() { return std::make_unique<SystemProcessLayer>(); }

FaceEnvironment defaultEnvironment() {
    FaceEnvironment env;
    std::error_code ec;
    env.programFolder = folderOf(fs::read_symlink("/proc/self/exe", ec));
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&defaultEnvironment), &info) && info.dli_fname)
        env.controlFolder = folderOf(fs::absolute(info.dli_fname, ec));
    env.processes = makeSystemProcessLayer();
    return env;
}

}  // namespace control
