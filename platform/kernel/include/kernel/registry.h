#pragma once
// Registry values of each device's hardware key. Tests seed them; a program can load
// them from a configuration file.
#include <cstdint>
#include <string>
#include <vector>

#include "kernel/io.h"

namespace kernel {

using Handle = void*;

constexpr std::uint32_t PLUGPLAY_REGKEY_DEVICE = 1;
constexpr std::uint32_t KEY_ALL_ACCESS = 0xF003F;
constexpr std::uint32_t REG_NONE = 0;
constexpr std::uint32_t REG_SZ = 1;
constexpr std::uint32_t REG_BINARY = 3;
constexpr std::uint32_t REG_DWORD = 4;

enum KeyValueInformationClass { KeyValueBasicInformation = 0, KeyValueFullInformation = 1 };

// The full-information record. The data follow at DataOffset, which is the end of the
// name rounded up to 8 bytes. A buffer shorter than the fixed part gives
// STATUS_BUFFER_TOO_SMALL; one that holds the fixed part but not all of the data gives
// STATUS_BUFFER_OVERFLOW with the fixed part filled in. Both report the size needed.
struct KeyValueFullInfo {
    std::uint32_t TitleIndex;
    std::uint32_t Type;
    std::uint32_t DataOffset;
    std::uint32_t DataLength;
    std::uint32_t NameLength;  // bytes
    char16_t Name[1];
};
constexpr std::uint32_t keyValueFullInformationFixed = 20;  // bytes before Name

Status IoOpenDeviceRegistryKey(DeviceObject* pdo, std::uint32_t keyType,
                               std::uint32_t access, Handle* key);
Status ZwQueryValueKey(Handle key, const UnicodeString* name, KeyValueInformationClass kind,
                       void* buffer, std::uint32_t length, std::uint32_t* resultLength);
Status ZwClose(Handle handle);

namespace registry {

struct Value {
    std::uint32_t type = REG_NONE;
    std::vector<std::uint8_t> data;
};

Value dword(std::uint32_t v);
Value text(const std::string& v);  // REG_SZ, UTF-16 with its terminating zero
Value binary(std::vector<std::uint8_t> bytes);

// Values of the hardware key of every device with `hardwareId`.
void set(const std::string& hardwareId, const std::string& name, Value value);
void erase(const std::string& hardwareId, const std::string& name);
void clear();

// Loads a file of sections "[<hardware id>]" and lines "Name=dword:4096",
// "Name=sz:text" or "Name=hex:01,02". Returns false (and loads nothing) on a bad line.
bool loadFile(const std::string& path, std::string* error = nullptr);

}  // namespace registry

// The platform release that RtlIsNtDdiVersionAvailable compares against.
void setOsVersion(std::uint32_t version);

}  // namespace kernel
