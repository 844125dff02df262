#pragma once
// The USB pipe driver: records and procedures over the device extension. The driver is
// loaded as a library by the kernel host; this header is for its own sources and tests.
#include <cstdint>

#include "kernel/host.h"
#include "kernel/pnp.h"
#include "kernel/pool.h"
#include "kernel/registry.h"
#include "usb/function.h"
#include "usb/urb.h"

namespace pipedrv {

using namespace kernel;
using namespace usb;

// The library's name, which tells the 64-bit driver from the 32-bit one.
constexpr const char* kLibraryName = sizeof(void*) == 8 ? "pipedrv64" : "pipedrv";

constexpr std::uint32_t PDRV_TAG = makeTag("PDRV");
extern PoolType pipedrv_pool_type;
extern std::uint32_t pipedrv_debug_level;

// Device state.
constexpr std::int32_t DEVICE_NOT_WORKING = 0;
constexpr std::int32_t DEVICE_WORKING = 1;
constexpr std::int32_t DEVICE_REMOVED = 2;

// A pipe of the selected interface, referred to by its index in the interface copy.
struct pipedrv_pipe_context {
    std::uint32_t pipe_index;
    std::uint32_t segment_size;
};

struct pipedrv_config_info {
    DeviceDescriptor device_descriptor;
    ConfigurationDescriptor* configuration_descriptor;  // wTotalLength bytes
    InterfaceInformation* interface_info;              // copy of the first interface's
    pipedrv_pipe_context* pipes;                         // one per pipe
    ConfigurationHandle configuration_handle;
    std::uint32_t generation;                            // which configuration this is
};

constexpr std::size_t link_name_room = 257;

struct pipedrv_device_extension {
    DeviceObject* lower_device;
    DeviceObject* own_device;
    DeviceObject* pdo;
    DeviceCapabilities capabilities;
    std::uint32_t maximum_transfer_size;
    std::int32_t open_pipes;
    std::int32_t io_count;
    Event remove_event;
    Event stop_event;
    std::uint8_t started;
    std::uint8_t removed;
    std::uint8_t surprise_removed;
    std::uint8_t remove_pending;
    std::uint8_t stop_pending;
    char16_t link_name[link_name_room];
    UnicodeString link;  // over link_name
    // Set and taken away under the state lock, like the pipes' open marks in it: a close
    // and an unplug reach them from different threads, past the gate.
    pipedrv_config_info* config;
    SpinLock io_lock;
    SpinLock state_lock;
    SystemPower system_power;
    DevicePower device_power;
    std::int32_t device_state;
    void* wait_wake_irp;
    std::int32_t wait_wake_race;
    std::int32_t wait_wake_cancel;
    std::int32_t wait_wake_armed;
    std::uint8_t remote_wakeup;
    std::uint32_t config_generation;
    Event wait_wake_done;  // signalled while no wait-wake request of ours is outstanding
};

inline pipedrv_device_extension* extension_of(DeviceObject* device) {
    return static_cast<pipedrv_device_extension*>(device->DeviceExtension);
}

// Holds one of the device's spin locks for a scope. The driver never holds two at once.
class spin_guard {
public:
    explicit spin_guard(SpinLock* lock) : lock_(lock) { KeAcquireSpinLock(lock_, &old_); }
    ~spin_guard() { KeReleaseSpinLock(lock_, old_); }
    spin_guard(const spin_guard&) = delete;
    spin_guard& operator=(const spin_guard&) = delete;

private:
    SpinLock* lock_;
    Irql old_;
};

// One segmented read or write.
struct pipedrv_transfer_context {
    Urb* urb;
    DeviceObject* device;
    Mdl* partial_mdl;
    std::uint32_t remaining;
    std::uint32_t done;
    std::uint8_t* next_address;
    std::uint32_t segment_size;
    pipedrv_pipe_context* pipe;
};

// Entry, add-device and registry.
Status pipedrv_add_device(DriverObject* driver, DeviceObject* pdo);
void pipedrv_unload(DriverObject* driver);
Status pipedrv_read_registry_dword(DeviceObject* pdo, const char16_t* name, std::uint32_t* value);
Status pipedrv_complete(Irp* irp, Status status, std::uintptr_t information = 0);

// Plug and play, I/O count and the request gate.
void pipedrv_io_increment(pipedrv_device_extension* ext);
std::int32_t pipedrv_io_decrement(pipedrv_device_extension* ext);
bool pipedrv_can_accept_requests(pipedrv_device_extension* ext);
// The same gate for a caller that already holds the state lock.
bool pipedrv_gate_open_locked(const pipedrv_device_extension* ext);
// True while transfers may start (device state working), read under the state lock.
bool pipedrv_device_working(pipedrv_device_extension* ext);
Status pipedrv_forward_and_wait(DeviceObject* device, Irp* irp);
Status pipedrv_pass_down(DeviceObject* device, Irp* irp);
Status pipedrv_pnp(DeviceObject* device, Irp* irp);
void pipedrv_abort_open_pipes(DeviceObject* device);
// Sends an abort to every pipe of the interface, or only to the open ones. The table is
// read under the state lock; the aborts go down without it.
void pipedrv_abort_pipes(DeviceObject* device, bool open_only);

// Configuration and the pipe table.
Status pipedrv_configure(DeviceObject* device);
Status pipedrv_select_interface(DeviceObject* device, pipedrv_config_info* config);
Status pipedrv_unconfigure(DeviceObject* device);
void pipedrv_free_config(DeviceObject* device);
Status pipedrv_submit_urb_sync(DeviceObject* device, Urb* urb);
Status pipedrv_reset_pipe(DeviceObject* device, PipeHandle pipe);
// The segment size of a bulk or interrupt pipe; `value` is the EPn_SegmentSize value,
// when there is one. Never less than one packet.
std::uint32_t pipedrv_segment_size(bool is_in, std::uint32_t packet, std::uint32_t maximum_transfer,
                                   const std::uint32_t* value);

// Pipe handles.
// The pipe a name selects: STATUS_SUCCESS with -1 for the device itself.
Status pipedrv_parse_pipe_name(const UnicodeString* name, const InterfaceInformation* info,
                               std::int32_t* index);
Status pipedrv_create_close(DeviceObject* device, Irp* irp, bool is_create);
// The pipe a file stands for, or null (no pipe, or a pipe of a configuration gone).
// Requests behind the gate may call it freely: a stop drains them before the table goes.
// A close is not gated, so it calls it under the state lock.
pipedrv_pipe_context* pipedrv_pipe_of(pipedrv_device_extension* ext, FileObject* file);

// Reads and writes.
Status pipedrv_read_write(DeviceObject* device, Irp* irp, bool is_read);
Status pipedrv_transfer_complete(DeviceObject* device, Irp* irp, void* context);
Status pipedrv_iso_transfer(DeviceObject* device, Irp* irp, pipedrv_pipe_context* pipe, bool is_read);
Urb* pipedrv_build_iso_urb(DeviceObject* device, Irp* irp, pipedrv_pipe_context* pipe, bool is_read);
std::uint32_t pipedrv_get_frame_number(DeviceObject* device, Irp* irp);
Status pipedrv_iso_complete(DeviceObject* device, Irp* irp, void* context);
// Builds a segmented bulk or interrupt transfer of `length` bytes and sends its first
// segment; the request is then pending and its completion lowers the I/O count once.
// `buffer` addresses the data directly; without it the request's MDL is cut into partial
// MDLs. On failure nothing was sent and the caller completes the request.
Status pipedrv_send_segments(DeviceObject* device, Irp* irp, pipedrv_pipe_context* pipe, std::uint8_t* buffer,
                             std::uint32_t length, std::uint32_t flags);

// Device control codes: device type 0x23, function F and buffering method M give
// 0x230000 + 4 * F + M.
constexpr std::uint32_t IOCTL_PIPEDRV_GET_CONFIG_DESCRIPTOR = 0x230000;
constexpr std::uint32_t IOCTL_PIPEDRV_RESET_DEVICE = 0x230004;
constexpr std::uint32_t IOCTL_PIPEDRV_RESET_PIPE = 0x230008;
constexpr std::uint32_t IOCTL_PIPEDRV_GET_PIPE_INFO = 0x23000C;
constexpr std::uint32_t IOCTL_PIPEDRV_VENDOR_INTERFACE_OUT = 0x23001C;
constexpr std::uint32_t IOCTL_PIPEDRV_ABORT_PIPE = 0x230020;
constexpr std::uint32_t IOCTL_PIPEDRV_CONTROL_TRANSFER = 0x230024;
constexpr std::uint32_t IOCTL_PIPEDRV_GET_MAX_PACKET = 0x230028;
constexpr std::uint32_t IOCTL_PIPEDRV_RESET_PORT = 0x23002C;
constexpr std::uint32_t IOCTL_PIPEDRV_CYCLE_PORT = 0x230030;
constexpr std::uint32_t IOCTL_PIPEDRV_SLEEP = 0x230034;
constexpr std::uint32_t IOCTL_PIPEDRV_WAKE = 0x230038;
constexpr std::uint32_t IOCTL_PIPEDRV_BULK_READ = 0x23003C;
constexpr std::uint32_t IOCTL_PIPEDRV_BULK_READ_DIRECT = 0x23003E;
constexpr std::uint32_t IOCTL_PIPEDRV_BULK_WRITE = 0x230040;
constexpr std::uint32_t IOCTL_PIPEDRV_BULK_WRITE_DIRECT = 0x230041;
constexpr std::uint32_t IOCTL_PIPEDRV_CONTROL_OUT_ASYNC = 0x230045;
constexpr std::uint32_t IOCTL_PIPEDRV_CONTROL_IN_ASYNC = 0x23004A;

// The setup packet at the start of a control code's input (little endian).
void pipedrv_parse_setup(const std::uint8_t* bytes, SetupPacket* setup);
// The URB function of a class or vendor request by its recipient; 0 for a standard or
// reserved type or a recipient above 3.
std::uint16_t pipedrv_control_function(std::uint8_t request_type);
Status pipedrv_device_control(DeviceObject* device, Irp* irp);
// The codes answered asynchronously: bulk transfers and control transfers on the
// request's own buffers. STATUS_PENDING when sent down; otherwise the caller completes.
Status pipedrv_bulk_control(DeviceObject* device, Irp* irp, std::uint32_t code);
Status pipedrv_control_async(DeviceObject* device, Irp* irp, bool to_host);

// Power: the driver owns its device's power policy.
Status pipedrv_power(DeviceObject* device, Irp* irp);
// A device set-power request to the stack, waited for: its final status.
Status pipedrv_set_device_power_and_wait(DeviceObject* device, DevicePower state);
// Sends every pipe of the interface an abort.
void pipedrv_abort_all_pipes(DeviceObject* device);
// Wait-wake: arming asks the bus for a wait-wake request; disarming cancels it.
Status pipedrv_arm_wait_wake(DeviceObject* device);
void pipedrv_disarm_wait_wake(DeviceObject* device);
Status pipedrv_wait_wake_pass_down(DeviceObject* device, Irp* irp);
// Power states compare by depth: S0 < S1 ... and D0 < D1 < D2 < D3.
inline bool pipedrv_deeper(std::uint32_t a, std::uint32_t b) { return a > b; }

}  // namespace pipedrv

extern "C" {
kernel::Status DriverEntry(kernel::DriverObject* driver, const kernel::UnicodeString* registryPath);
extern const kernel::DriverVersionRecord DriverVersion;
}
