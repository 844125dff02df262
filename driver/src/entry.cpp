// Driver entry, add-device, the device extension and the registry reader.
#include <algorithm>
#include <cstring>
#include <new>

#include "devices/reader_class.h"
#include "pipedrv/pipedrv.h"

extern "C" const kernel::DriverVersionRecord DriverVersion = {pipedrv::kLibraryName, "1.0.0.1"};

namespace pipedrv {

PoolType pipedrv_pool_type = NonPagedPool;
std::uint32_t pipedrv_debug_level = 0;

namespace {

Status dispatch_create(DeviceObject* device, Irp* irp) {
    pipedrv_io_increment(extension_of(device));
    return pipedrv_create_close(device, irp, true);
}

Status dispatch_close(DeviceObject* device, Irp* irp) {
    pipedrv_io_increment(extension_of(device));
    return pipedrv_create_close(device, irp, false);
}

Status dispatch_read_write(DeviceObject* device, Irp* irp) {
    auto* ext = extension_of(device);
    pipedrv_io_increment(ext);
    if (!pipedrv_can_accept_requests(ext)) {
        Status status = pipedrv_complete(irp, STATUS_DELETE_PENDING);
        pipedrv_io_decrement(ext);
        return status;
    }
    return pipedrv_read_write(device, irp, IoGetCurrentIrpStackLocation(irp)->MajorFunction == IRP_MJ_READ);
}

Status dispatch_device_control(DeviceObject* device, Irp* irp) {
    auto* ext = extension_of(device);
    pipedrv_io_increment(ext);
    Status status = pipedrv_can_accept_requests(ext) ? pipedrv_device_control(device, irp)
                                                     : pipedrv_complete(irp, STATUS_DELETE_PENDING);
    pipedrv_io_decrement(ext);
    return status;
}

Status dispatch_power(DeviceObject* device, Irp* irp) {
    pipedrv_io_increment(extension_of(device));
    return pipedrv_power(device, irp);
}

Status dispatch_pnp(DeviceObject* device, Irp* irp) {
    pipedrv_io_increment(extension_of(device));
    return pipedrv_pnp(device, irp);
}

// Internal device control and system control go down unchanged and uncounted.
Status dispatch_pass(DeviceObject* device, Irp* irp) {
    IoSkipCurrentIrpStackLocation(irp);
    return IoCallDriver(extension_of(device)->lower_device, irp);
}

// The capabilities of the stack below, asked with a request of the driver's own.
struct capabilities_wait {
    Event done;
};

Status capabilities_done(DeviceObject*, Irp*, void* context) {
    KeSetEvent(&static_cast<capabilities_wait*>(context)->done, 0, false);
    return STATUS_MORE_PROCESSING_REQUIRED;
}

void query_capabilities(pipedrv_device_extension* ext) {
    Irp* irp = IoAllocateIrp(ext->lower_device->StackSize, false);
    if (!irp) return;
    DeviceCapabilities caps;
    caps.Size = sizeof caps;
    caps.Version = 1;
    caps.Address = 0xFFFFFFFF;
    caps.UINumber = 0xFFFFFFFF;
    irp->IoStatus.Status = STATUS_NOT_SUPPORTED;
    IoStackLocation* s = IoGetNextIrpStackLocation(irp);
    s->MajorFunction = IRP_MJ_PNP;
    s->MinorFunction = IRP_MN_QUERY_CAPABILITIES;
    s->Parameters.DeviceCapabilities.Capabilities = &caps;
    capabilities_wait wait;
    KeInitializeEvent(&wait.done, NotificationEvent, false);
    IoSetCompletionRoutine(irp, capabilities_done, &wait, true, true, true);
    if (IoCallDriver(ext->lower_device, irp) == STATUS_PENDING)
        KeWaitForSingleObject(&wait.done, Executive, KernelMode, false, nullptr);
    if (NT_SUCCESS(irp->IoStatus.Status)) ext->capabilities = caps;  // start arms wake from it
    IoFreeIrp(irp);
}

void init_extension(pipedrv_device_extension* ext, DeviceObject* device, DeviceObject* pdo) {
    ext->own_device = device;
    ext->pdo = pdo;
    ext->maximum_transfer_size = 4096;
    ext->system_power = PowerSystemWorking;
    ext->device_power = PowerDeviceD0;
    ext->device_state = DEVICE_NOT_WORKING;
    KeInitializeSpinLock(&ext->io_lock);
    KeInitializeSpinLock(&ext->state_lock);
    KeInitializeEvent(&ext->remove_event, NotificationEvent, false);
    KeInitializeEvent(&ext->stop_event, NotificationEvent, false);
    KeInitializeEvent(&ext->wait_wake_done, NotificationEvent, true);
    ext->link = UnicodeString{0, sizeof ext->link_name, ext->link_name};
}

// Undoes add-device after a failure.
void destroy_device(DeviceObject* device) {
    auto* ext = extension_of(device);
    if (ext->lower_device) IoDetachDevice(ext->lower_device);
    ext->~pipedrv_device_extension();
    IoDeleteDevice(device);
}

}  // namespace

Status pipedrv_complete(Irp* irp, Status status, std::uintptr_t information) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

Status pipedrv_read_registry_dword(DeviceObject* pdo, const char16_t* name, std::uint32_t* value) {
    Handle key = nullptr;
    Status status = IoOpenDeviceRegistryKey(pdo, PLUGPLAY_REGKEY_DEVICE, KEY_ALL_ACCESS, &key);
    if (!NT_SUCCESS(status)) return status;
    UnicodeString text;
    RtlInitUnicodeString(&text, name);
    if (text.Length >= 512) {  // not looked up
        ZwClose(key);
        return status;
    }
    std::uint32_t length = sizeof(KeyValueFullInfo) + text.Length + 28;
    auto* info = static_cast<std::uint8_t*>(ExAllocatePoolWithTag(PagedPool, length, PDRV_TAG));
    if (!info) {
        ZwClose(key);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    std::uint32_t needed = 0;
    status = ZwQueryValueKey(key, &text, KeyValueFullInformation, info, length, &needed);
    if (NT_SUCCESS(status)) {
        KeyValueFullInfo head;
        std::memcpy(&head, info, keyValueFullInformationFixed);
        // Only a 32-bit number is taken: text or short data would give garbage.
        if (head.Type == REG_DWORD && head.DataLength == 4)
            std::memcpy(value, info + head.DataOffset, 4);
        else
            status = STATUS_OBJECT_NAME_NOT_FOUND;
    }
    ExFreePoolWithTag(info, PDRV_TAG);
    ZwClose(key);
    return status;
}

Status pipedrv_add_device(DriverObject* driver, DeviceObject* pdo) {
    pipedrv_read_registry_dword(pdo, u"DebugLevel", &pipedrv_debug_level);

    // The device object first and the interface last, so that no interface is ever
    // enabled without a device behind it.
    DeviceObject* device = nullptr;
    Status status = IoCreateDevice(driver, sizeof(pipedrv_device_extension), nullptr, FILE_DEVICE_UNKNOWN,
                                   FILE_AUTOGENERATED_DEVICE_NAME, false, &device);
    if (!NT_SUCCESS(status)) return status;
    auto* ext = new (device->DeviceExtension) pipedrv_device_extension{};
    init_extension(ext, device, pdo);
    device->Flags &= ~(DO_BUFFERED_IO | DO_DIRECT_IO);
    device->Flags |= DO_DIRECT_IO | DO_POWER_PAGABLE;
    ext->lower_device = IoAttachDeviceToDeviceStack(device, pdo);
    if (!ext->lower_device) {
        destroy_device(device);
        return STATUS_NO_SUCH_DEVICE;
    }
    query_capabilities(ext);
    pipedrv_read_registry_dword(pdo, u"MaximumTransferSize", &ext->maximum_transfer_size);

    UnicodeString link{};
    status = IoRegisterDeviceInterface(pdo, &devices::ReaderInterfaceClass, nullptr, &link);
    if (!NT_SUCCESS(status)) {
        destroy_device(device);
        return status;
    }
    std::size_t chars = std::min<std::size_t>(link.Length / 2, link_name_room - 1);
    std::memcpy(ext->link_name, link.Buffer, chars * 2);
    ext->link_name[chars] = 0;
    ext->link.Length = static_cast<std::uint16_t>(chars * 2);
    RtlFreeUnicodeString(&link);
    status = IoSetDeviceInterfaceState(&ext->link, true);
    if (!NT_SUCCESS(status)) {
        destroy_device(device);
        return status;
    }
    KeInitializeEvent(&ext->remove_event, NotificationEvent, false);
    KeInitializeEvent(&ext->stop_event, NotificationEvent, false);
    pipedrv_io_increment(ext);  // the idle count, 1
    device->Flags &= ~DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}

void pipedrv_unload(DriverObject*) {}

}  // namespace pipedrv

extern "C" kernel::Status DriverEntry(kernel::DriverObject* driver, const kernel::UnicodeString*) {
    using namespace pipedrv;
    pipedrv_pool_type = RtlIsNtDdiVersionAvailable(NTDDI_WIN8) ? NonPagedPoolNx : NonPagedPool;
    driver->MajorFunction[IRP_MJ_CREATE] = dispatch_create;
    driver->MajorFunction[IRP_MJ_CLOSE] = dispatch_close;
    driver->MajorFunction[IRP_MJ_READ] = dispatch_read_write;
    driver->MajorFunction[IRP_MJ_WRITE] = dispatch_read_write;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = dispatch_device_control;
    driver->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] = dispatch_pass;
    driver->MajorFunction[IRP_MJ_SYSTEM_CONTROL] = dispatch_pass;
    driver->MajorFunction[IRP_MJ_POWER] = dispatch_power;
    driver->MajorFunction[IRP_MJ_PNP] = dispatch_pnp;
    driver->AddDevice = pipedrv_add_device;
    driver->DriverUnload = pipedrv_unload;
    return STATUS_SUCCESS;
}
