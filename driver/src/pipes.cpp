// Pipe handles and pipe names.
#include "pipedrv/pipedrv.h"

namespace pipedrv {
namespace {

int hex_digit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return 10 + (c - u'a');
    if (c >= u'A' && c <= u'F') return 10 + (c - u'A');
    return -1;
}

// "xx" of a name: both characters must be hexadecimal digits.
bool two_hex(const char16_t* at, std::uint32_t* value) {
    int high = hex_digit(at[0]);
    int low = hex_digit(at[1]);
    if (high < 0 || low < 0) return false;
    *value = static_cast<std::uint32_t>(high * 16 + low);
    return true;
}

bool has_prefix(const UnicodeString* name, const char16_t* prefix, std::uint16_t total_chars) {
    if (name->Length != total_chars * 2) return false;
    UnicodeString p;
    RtlInitUnicodeString(&p, prefix);
    return RtlPrefixUnicodeString(&p, name, true);
}

// A file's context: which configuration and which pipe, so that a handle outliving a
// stop never reaches into the table of another configuration.
void* encode(std::uint32_t generation, std::uint32_t index) {
    return reinterpret_cast<void*>(std::uintptr_t(generation) << 16 | (index + 1));
}

Status finish(pipedrv_device_extension* ext, Irp* irp, Status status) {
    pipedrv_complete(irp, status);
    pipedrv_io_decrement(ext);
    return status;
}

}  // namespace

Status pipedrv_parse_pipe_name(const UnicodeString* name, const InterfaceInformation* info, std::int32_t* index) {
    *index = -1;
    if (name->Length == 0) return STATUS_SUCCESS;
    std::uint32_t number = 0;
    bool by_number = has_prefix(name, u"\\EP", 5);
    bool by_address = !by_number && has_prefix(name, u"\\EA", 5);
    if (by_number || by_address) {
        if (!two_hex(name->Buffer + 3, &number)) return STATUS_INVALID_HANDLE;
        for (std::uint32_t i = 0; i < info->NumberOfPipes; ++i) {
            std::uint8_t address = pipeAt(info, i)->EndpointAddress;
            if ((by_number ? (address & 0x7F) : address) == number) {
                *index = static_cast<std::int32_t>(i);
                return STATUS_SUCCESS;
            }
        }
        return STATUS_INVALID_HANDLE;
    }
    if (has_prefix(name, u"\\PIPE", 7)) {
        if (!two_hex(name->Buffer + 5, &number) || number >= info->NumberOfPipes) return STATUS_INVALID_HANDLE;
        *index = static_cast<std::int32_t>(number);
        return STATUS_SUCCESS;
    }
    return STATUS_INVALID_HANDLE;
}

pipedrv_pipe_context* pipedrv_pipe_of(pipedrv_device_extension* ext, FileObject* file) {
    auto v = reinterpret_cast<std::uintptr_t>(file ? file->FsContext : nullptr);
    pipedrv_config_info* config = ext->config;
    if (v == 0 || !config || !config->interface_info) return nullptr;
    std::uint32_t index = static_cast<std::uint32_t>(v & 0xFFFF) - 1;
    if ((v >> 16) != config->generation || index >= config->interface_info->NumberOfPipes) return nullptr;
    return &config->pipes[index];
}

namespace {

// A close always succeeds and frees its pipe, whatever the gate says: the handle is gone
// either way.
Status close_pipe(pipedrv_device_extension* ext, FileObject* file) {
    if (!file || !file->FsContext) return STATUS_INVALID_HANDLE;
    {
        spin_guard hold(&ext->state_lock);
        if (pipedrv_pipe_context* pipe = pipedrv_pipe_of(ext, file))
            pipeAt(ext->config->interface_info, pipe->pipe_index)->PipeFlags = 0;
    }
    InterlockedDecrement(&ext->open_pipes);
    file->FsContext = nullptr;
    return STATUS_SUCCESS;
}

// The gate, the table and the mark are read together, so two opens of one pipe cannot
// both find it free, and an unplug sees each mark either before or after.
Status open_pipe(pipedrv_device_extension* ext, FileObject* file) {
    spin_guard hold(&ext->state_lock);
    if (!pipedrv_gate_open_locked(ext) && !ext->surprise_removed) return STATUS_DELETE_PENDING;
    if (!file || file->FileName.Length == 0) return STATUS_SUCCESS;
    pipedrv_config_info* config = ext->config;
    if (!config || !config->interface_info) return STATUS_INVALID_HANDLE;
    std::int32_t index = -1;
    Status status = pipedrv_parse_pipe_name(&file->FileName, config->interface_info, &index);
    if (!NT_SUCCESS(status) || index < 0) return STATUS_INVALID_HANDLE;
    PipeInformation* pipe = pipeAt(config->interface_info, static_cast<std::uint32_t>(index));
    if (pipe->PipeFlags) return STATUS_INVALID_HANDLE;  // one handle per pipe
    pipe->PipeFlags = 1;
    InterlockedIncrement(&ext->open_pipes);
    file->FsContext = encode(config->generation, static_cast<std::uint32_t>(index));
    return STATUS_SUCCESS;
}

}  // namespace

Status pipedrv_create_close(DeviceObject* device, Irp* irp, bool is_create) {
    auto* ext = extension_of(device);
    FileObject* file = IoGetCurrentIrpStackLocation(irp)->FileObject;
    return finish(ext, irp, is_create ? open_pipe(ext, file) : close_pipe(ext, file));
}

}  // namespace pipedrv
