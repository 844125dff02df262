#pragma once
// The host's own side: loading drivers, the interface list that user mode enumerates,
// opening a path to a file object, and test hooks.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "kernel/io.h"
#include "kernel/pnp.h"

namespace kernel {

// Creates a driver object and runs its entry. Returns null when the entry fails.
DriverObject* loadDriver(const std::string& name, DriverEntry entry);
// Unloads a driver whose devices are all gone.
void unloadDriver(DriverObject* driver);

// What a driver library exports beside its entry ("DriverEntry"): a read-only record
// named "DriverVersion", standing in for a version resource.
struct DriverVersionRecord {
    const char* name;
    const char* productVersion;
};
struct ModuleVersion {
    std::string name;
    std::string productVersion;
};
// Loads a driver library and runs its entry. Null (and `error`) when it cannot.
DriverObject* loadDriverModule(const std::string& path, const std::string& name,
                               std::string* error = nullptr);
// The version record of a loaded driver library, by the name it was loaded under.
std::optional<ModuleVersion> moduleVersion(const std::string& name);

// Interfaces present and enabled, of one class, in the order they arrived.
std::vector<std::string> enabledInterfaces(const Guid& interfaceClass);

// Resolves "<interface path>[\<name>]" and sends a create to the top of the stack. On
// success the file object is referenced once; fileClose ends that reference, sends the
// close and lets the PnP manager know.
Status fileOpen(const std::string& path, FileObject** file);
void fileClose(FileObject* file);
// Keeps a file object alive while a request uses it.
void fileReference(FileObject* file);
void fileDereference(FileObject* file);
// The device requests on the file go to: the top of its stack.
DeviceObject* fileTarget(FileObject* file);

// Waits until the work-item queue is empty and idle.
void drainWorkItems();

}  // namespace kernel
