// Registry values of device hardware keys.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>

#include "kernel/pnp.h"
#include "kernel/registry.h"

namespace kernel {
namespace {

std::string lowered(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

struct Store {
    std::mutex mutex;
    std::map<std::string, std::map<std::string, registry::Value>> keys;
};

Store& store() {
    static Store s;
    return s;
}

struct Key {
    std::string hardwareId;
};

std::atomic<std::uint32_t> osVersion{NTDDI_WIN10};

std::string trim(const std::string& s) {
    auto b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return {};
    auto e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

bool parseValue(const std::string& text, registry::Value* value) {
    auto colon = text.find(':');
    if (colon == std::string::npos) return false;
    std::string kind = lowered(trim(text.substr(0, colon)));
    std::string body = trim(text.substr(colon + 1));
    try {
        if (kind == "dword") {
            std::size_t used = 0;
            unsigned long v = std::stoul(body, &used, 0);
            if (used != body.size() || v > 0xFFFFFFFFul) return false;
            *value = registry::dword(static_cast<std::uint32_t>(v));
            return true;
        }
        if (kind == "sz") {
            *value = registry::text(body);
            return true;
        }
        if (kind == "hex") {
            std::vector<std::uint8_t> bytes;
            std::size_t at = 0;
            while (at < body.size()) {
                auto comma = body.find(',', at);
                std::string part = trim(body.substr(at, comma - at));
                std::size_t used = 0;
                unsigned long b = std::stoul(part, &used, 16);
                if (used != part.size() || b > 0xFF) return false;
                bytes.push_back(static_cast<std::uint8_t>(b));
                if (comma == std::string::npos) break;
                at = comma + 1;
            }
            *value = registry::binary(bytes);
            return true;
        }
    } catch (...) {
        return false;
    }
    return false;
}

}  // namespace

Status IoOpenDeviceRegistryKey(DeviceObject* pdo, std::uint32_t keyType, std::uint32_t,
                               Handle* key) {
    *key = nullptr;
    if (keyType != PLUGPLAY_REGKEY_DEVICE) return STATUS_INVALID_PARAMETER;
    auto id = pnp::identity(pdo);
    if (!id) return STATUS_INVALID_DEVICE_REQUEST;
    *key = new Key{lowered(id->hardwareId)};
    return STATUS_SUCCESS;
}

Status ZwQueryValueKey(Handle handle, const UnicodeString* name, KeyValueInformationClass kind,
                       void* buffer, std::uint32_t length, std::uint32_t* resultLength) {
    if (!handle) return STATUS_INVALID_HANDLE;
    if (kind != KeyValueFullInformation) return STATUS_INVALID_PARAMETER;
    auto* key = static_cast<Key*>(handle);
    registry::Value value;
    {
        Store& s = store();
        std::lock_guard lock(s.mutex);
        auto k = s.keys.find(key->hardwareId);
        if (k == s.keys.end()) return STATUS_OBJECT_NAME_NOT_FOUND;
        auto v = k->second.find(lowered(toUtf8(*name)));
        if (v == k->second.end()) return STATUS_OBJECT_NAME_NOT_FOUND;
        value = v->second;
    }
    std::uint32_t nameBytes = name->Length;
    std::uint32_t dataOffset = (keyValueFullInformationFixed + nameBytes + 7) & ~7u;
    std::uint32_t needed = dataOffset + static_cast<std::uint32_t>(value.data.size());
    if (resultLength) *resultLength = needed;
    if (length < keyValueFullInformationFixed) return STATUS_BUFFER_TOO_SMALL;
    KeyValueFullInfo head{0, value.type, dataOffset,
                                 static_cast<std::uint32_t>(value.data.size()), nameBytes, {0}};
    std::memcpy(buffer, &head, keyValueFullInformationFixed);
    if (length < needed) return STATUS_BUFFER_OVERFLOW;
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::memcpy(out + keyValueFullInformationFixed, name->Buffer, nameBytes);
    std::memset(out + keyValueFullInformationFixed + nameBytes, 0,
                dataOffset - keyValueFullInformationFixed - nameBytes);
    if (!value.data.empty()) std::memcpy(out + dataOffset, value.data.data(), value.data.size());
    return STATUS_SUCCESS;
}

Status ZwClose(Handle handle) {
    delete static_cast<Key*>(handle);
    return STATUS_SUCCESS;
}

bool RtlIsNtDdiVersionAvailable(std::uint32_t version) { return version <= osVersion.load(); }
void setOsVersion(std::uint32_t version) { osVersion.store(version); }

namespace registry {

Value dword(std::uint32_t v) {
    Value out;
    out.type = REG_DWORD;
    out.data = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
    return out;
}

Value text(const std::string& v) {
    Value out;
    out.type = REG_SZ;
    std::u16string wide = toUtf16(v);
    wide.push_back(0);
    for (char16_t c : wide) {
        out.data.push_back(static_cast<std::uint8_t>(c));
        out.data.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return out;
}

Value binary(std::vector<std::uint8_t> bytes) {
    Value out;
    out.type = REG_BINARY;
    out.data = std::move(bytes);
    return out;
}

void set(const std::string& hardwareId, const std::string& name, Value value) {
    Store& s = store();
    std::lock_guard lock(s.mutex);
    s.keys[lowered(hardwareId)][lowered(name)] = std::move(value);
}

void erase(const std::string& hardwareId, const std::string& name) {
    Store& s = store();
    std::lock_guard lock(s.mutex);
    s.keys[lowered(hardwareId)].erase(lowered(name));
}

void clear() {
    Store& s = store();
    std::lock_guard lock(s.mutex);
    s.keys.clear();
}

bool loadFile(const std::string& path, std::string* error) {
    std::ifstream in(path);
    if (!in) {
        if (error) *error = "cannot open " + path;
        return false;
    }
    std::vector<std::tuple<std::string, std::string, Value>> parsed;
    std::string section, line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        line = trim(line);
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line.front() == '[' && line.back() == ']') {
            section = trim(line.substr(1, line.size() - 2));
            continue;
        }
        auto eq = line.find('=');
        Value value;
        if (section.empty() || eq == std::string::npos || !parseValue(line.substr(eq + 1), &value)) {
            if (error) *error = path + ":" + std::to_string(number) + ": not a registry value";
            return false;
        }
        parsed.emplace_back(section, trim(line.substr(0, eq)), std::move(value));
    }
    for (auto& [id, name, value] : parsed) set(id, name, std::move(value));
    return true;
}

}  // namespace registry
}  // namespace kernel
