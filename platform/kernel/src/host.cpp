// Drivers, device interfaces and file objects: the I/O manager's side that user mode meets.
#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <set>

#include "internal.h"
#include "kernel/host.h"
#include "kernel/pool.h"
#include "wait.h"

namespace kernel {
namespace {

constexpr std::uint32_t linkTag = makeTag("IoSl");

struct InterfaceRecord {
    Guid interfaceClass;
    std::string path;        // as user mode sees it: "\\?\usb#vid_...#...#{class}"
    std::u16string link;     // as a driver sees it: "\??\usb#vid_...#...#{class}"
    DeviceObject* pdo = nullptr;
    bool enabled = false;      // as its driver set it
    std::uint64_t arrival = 0;  // 0 until it is listed: enabled, on a started device
};

// A driver enables its interface in AddDevice, before its device started; as on the
// platform, the interface shows only once the start has completed, so that nobody opens
// a device that cannot serve yet.
struct Interfaces {
    std::mutex mutex;
    std::vector<InterfaceRecord> records;
    std::set<DeviceObject*> started;
    std::uint64_t arrivals = 0;
};

Interfaces& interfaces() {
    static Interfaces i;
    return i;
}

std::string lowered(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

struct FileRecord {
    FileObject file;  // first, so that a FileObject* leads back here
    char16_t* name = nullptr;
    int references = 1;
};
static_assert(std::is_standard_layout_v<FileRecord>);

FileRecord* fileRecord(FileObject* file) { return reinterpret_cast<FileRecord*>(file); }

std::mutex& fileMutex() {
    static std::mutex m;
    return m;
}

// Sends a create or close for `file` and waits for it.
Status sendFileRequest(FileObject* file, std::uint8_t major) {
    DeviceObject* top = fileTarget(file);
    Irp* irp = IoAllocateIrp(top->StackSize, false);
    auto signal = std::make_shared<detail::Signal>();
    irp->origin = Irp::Origin::Host;
    irp->onFinished = [signal](Irp*) { signal->set(); };
    irp->Tail.OriginalFileObject = file;
    IoStackLocation* s = IoGetNextIrpStackLocation(irp);
    s->MajorFunction = major;
    s->FileObject = file;
    IoCallDriver(top, irp);
    signal->wait();
    Status status = irp->IoStatus.Status;
    IoFreeIrp(irp);
    return status;
}

std::mutex& driverNamesMutex() {
    static std::mutex m;
    return m;
}
std::map<DriverObject*, std::unique_ptr<std::u16string>>& driverNames() {
    static std::map<DriverObject*, std::unique_ptr<std::u16string>> names;
    return names;
}

}  // namespace

DriverObject* loadDriver(const std::string& name, DriverEntry entry) {
    auto* driver = new DriverObject;
    auto* stored = new std::u16string(toUtf16("\\Driver\\" + name));
    driver->DriverName.Buffer = stored->data();
    driver->DriverName.Length = static_cast<std::uint16_t>(stored->size() * 2);
    driver->DriverName.MaximumLength = driver->DriverName.Length;
    std::u16string path = toUtf16("\\Registry\\Machine\\System\\CurrentControlSet\\Services\\" + name);
    UnicodeString registryPath{static_cast<std::uint16_t>(path.size() * 2),
                               static_cast<std::uint16_t>(path.size() * 2), path.data()};
    if (!NT_SUCCESS(entry(driver, &registryPath))) {
        delete stored;
        delete driver;
        return nullptr;
    }
    std::lock_guard lock(driverNamesMutex());
    driverNames()[driver].reset(stored);
    return driver;
}

void unloadDriver(DriverObject* driver) {
    if (!driver) return;
    pnp::unbindDriver(driver);
    hostAssert(driver->DeviceObject == nullptr, "driver unloaded with devices left");
    if (driver->DriverUnload) driver->DriverUnload(driver);
    {
        std::lock_guard lock(driverNamesMutex());
        driverNames().erase(driver);
    }
    delete driver;
}

Status IoRegisterDeviceInterface(DeviceObject* pdo, const Guid* interfaceClass,
                                 const UnicodeString* reference, UnicodeString* link) {
    auto id = pnp::identity(pdo);
    if (!id) return STATUS_INVALID_DEVICE_REQUEST;
    std::string instance = lowered(id->instanceId);
    std::replace(instance.begin(), instance.end(), '\\', '#');
    std::string tail = instance + "#" + toString(*interfaceClass);
    if (reference && reference->Length) tail += "\\" + toUtf8(*reference);
    Interfaces& all = interfaces();
    std::u16string linkText;
    {
        std::lock_guard lock(all.mutex);
        auto it = std::find_if(all.records.begin(), all.records.end(),
                               [&](auto& r) { return r.path == "\\\\?\\" + tail; });
        if (it == all.records.end()) {
            InterfaceRecord r;
            r.interfaceClass = *interfaceClass;
            r.path = "\\\\?\\" + tail;
            r.link = toUtf16("\\??\\" + tail);
            all.records.push_back(r);
            it = all.records.end() - 1;
        }
        it->pdo = pdo;
        linkText = it->link;
    }
    std::size_t bytes = linkText.size() * 2;
    auto* buffer = static_cast<char16_t*>(ExAllocatePoolWithTag(PagedPool, bytes + 2, linkTag));
    if (!buffer) return STATUS_INSUFFICIENT_RESOURCES;
    std::memcpy(buffer, linkText.data(), bytes);
    buffer[linkText.size()] = 0;
    link->Buffer = buffer;
    link->Length = static_cast<std::uint16_t>(bytes);
    link->MaximumLength = static_cast<std::uint16_t>(bytes + 2);
    return STATUS_SUCCESS;
}

Status IoSetDeviceInterfaceState(const UnicodeString* link, bool enable) {
    std::string wanted = lowered(toUtf8(*link));
    Interfaces& all = interfaces();
    std::lock_guard lock(all.mutex);
    for (auto& r : all.records) {
        if (lowered(toUtf8(r.link)) != wanted) continue;
        if (!enable)
            r.arrival = 0;
        else if (!r.enabled && all.started.count(r.pdo))
            r.arrival = ++all.arrivals;
        r.enabled = enable;
        return STATUS_SUCCESS;
    }
    return STATUS_OBJECT_NAME_NOT_FOUND;
}

namespace detail {

void interfacesStarted(DeviceObject* pdo) {
    Interfaces& all = interfaces();
    std::lock_guard lock(all.mutex);
    all.started.insert(pdo);
    for (auto& r : all.records)
        if (r.pdo == pdo && r.enabled && !r.arrival) r.arrival = ++all.arrivals;
}

void interfacesGone(DeviceObject* pdo) {
    Interfaces& all = interfaces();
    std::lock_guard lock(all.mutex);
    all.started.erase(pdo);
    for (auto& r : all.records)
        if (r.pdo == pdo) r.arrival = 0;
}

}  // namespace detail

std::vector<std::string> enabledInterfaces(const Guid& interfaceClass) {
    Interfaces& all = interfaces();
    std::lock_guard lock(all.mutex);
    std::vector<const InterfaceRecord*> found;
    for (auto& r : all.records)
        if (r.arrival && r.interfaceClass == interfaceClass) found.push_back(&r);
    std::sort(found.begin(), found.end(), [](auto* a, auto* b) { return a->arrival < b->arrival; });
    std::vector<std::string> out;
    for (auto* r : found) out.push_back(r->path);
    return out;
}

Status fileOpen(const std::string& path, FileObject** file) {
    *file = nullptr;
    DeviceObject* pdo = nullptr;
    std::string rest;
    {
        Interfaces& all = interfaces();
        std::lock_guard lock(all.mutex);
        std::string wanted = lowered(path);
        for (auto& r : all.records) {
            if (!r.arrival || wanted.compare(0, r.path.size(), r.path) != 0) continue;
            if (wanted.size() > r.path.size() && wanted[r.path.size()] != '\\') continue;
            pdo = r.pdo;
            rest = path.substr(r.path.size());
            break;
        }
    }
    if (!pdo) return STATUS_OBJECT_NAME_NOT_FOUND;
    pnp::NodeState state = pnp::state(pdo);
    if (state == pnp::NodeState::Removed || state == pnp::NodeState::SurpriseRemoved)
        return STATUS_NO_SUCH_DEVICE;
    if (pnp::topOfStack(pdo)->Flags & DO_DEVICE_INITIALIZING) return STATUS_NO_SUCH_DEVICE;

    auto* r = new FileRecord;
    std::u16string name = toUtf16(rest);
    r->name = new char16_t[name.size() + 1]();
    std::copy(name.begin(), name.end(), r->name);
    r->file.DeviceObject = pdo;
    r->file.FileName.Buffer = r->name;
    r->file.FileName.Length = static_cast<std::uint16_t>(name.size() * 2);
    r->file.FileName.MaximumLength = r->file.FileName.Length;
    detail::referenceDevice(pdo);
    pnp::handleOpened(pdo);  // counted before the create, so that no removal slips in
    Status status = sendFileRequest(&r->file, IRP_MJ_CREATE);
    if (!NT_SUCCESS(status)) {
        pnp::handleClosed(pdo);
        detail::dereferenceDevice(pdo);
        delete[] r->name;
        delete r;
        return status;
    }
    *file = &r->file;
    return status;
}

void fileReference(FileObject* file) {
    std::lock_guard lock(fileMutex());
    ++fileRecord(file)->references;
}

void fileDereference(FileObject* file) {
    FileRecord* r = fileRecord(file);
    {
        std::lock_guard lock(fileMutex());
        if (--r->references > 0) return;
    }
    DeviceObject* pdo = file->DeviceObject;
    // A close cannot fail: whatever the driver answers, the file object is gone.
    if (pnp::state(pdo) != pnp::NodeState::Removed) sendFileRequest(file, IRP_MJ_CLOSE);
    pnp::handleClosed(pdo);
    detail::dereferenceDevice(pdo);
    delete[] r->name;
    delete r;
}

void fileClose(FileObject* file) {
    if (file) fileDereference(file);
}

DeviceObject* fileTarget(FileObject* file) { return pnp::topOfStack(file->DeviceObject); }

}  // namespace kernel
