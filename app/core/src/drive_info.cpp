#include "core/drive_info.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// File-system type numbers of statfs for the drive kinds that have a Linux counterpart.
constexpr unsigned long kNfs = 0x6969, kSmb = 0x517B, kCifs = 0xFF534D42, kSmb2 = 0xFE534D42;
constexpr unsigned long kIso9660 = 0x9660, kUdf = 0x15013346;
constexpr unsigned long kTmpfs = 0x01021994, kRamfs = 0x858458F6;

// The nearest folder of the path that exists, so that a drive can be named by a file
// that is still to be written.
fs::path nearestExisting(fs::path p) {
    std::error_code ec;
    p = fs::absolute(p, ec);
    while (!p.empty() && !fs::exists(p, ec)) {
        if (p == p.parent_path()) return {};
        p = p.parent_path();
    }
    return fs::canonical(p, ec);
}

// Climbs from the path to the top folder of its file system.
std::string mountPointOf(const std::string& path) {
    fs::path p = nearestExisting(path);
    struct stat st {};
    if (p.empty() || ::stat(p.c_str(), &st) != 0) return {};
    while (p != p.root_path()) {
        struct stat up {};
        if (::stat(p.parent_path().c_str(), &up) != 0 || up.st_dev != st.st_dev) break;
        p = p.parent_path();
    }
    return p.string();
}

// The mount table's type for a mount point; the last mount over a point is the live one.
std::string mountType(const std::string& mountPoint) {
    std::ifstream in("/proc/self/mounts");
    std::string line, type;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string device, point, fsType;
        fields >> device >> point >> fsType;
        if (point == mountPoint) type = fsType;
    }
    return type;
}

}  // namespace

void clsDrive::setDrive(const std::string& strNewDrive) { root_ = mountPointOf(strNewDrive); }

bool clsDrive::queryFreeSpace() {
    struct statvfs v {};
    if (root_.empty() || ::statvfs(root_.c_str(), &v) != 0) return false;
    // There are no clusters: the fragment size is the unit of allocation, one per cluster.
    bytesPerSector_ = static_cast<std::uint32_t>(v.f_frsize);
    sectorsPerCluster_ = 1;
    // Blocks kept for the superuser cannot take the program's files, so the free space
    // counted is what an ordinary user may still write.
    freeBytes_ = static_cast<std::uint64_t>(v.f_bavail) * v.f_frsize;
    totalBytes_ = static_cast<std::uint64_t>(v.f_blocks) * v.f_frsize;
    return true;
}

std::int32_t clsDrive::SectorByte() { return queryFreeSpace(), static_cast<std::int32_t>(bytesPerSector_); }
std::int32_t clsDrive::ClusterSector() { return queryFreeSpace(), static_cast<std::int32_t>(sectorsPerCluster_); }
double clsDrive::FreeSpace() { return queryFreeSpace(), static_cast<double>(freeBytes_); }
double clsDrive::AllSpace() { return queryFreeSpace(), static_cast<double>(totalBytes_); }

std::int32_t clsDrive::MediaType() {
    struct statfs s {};
    if (root_.empty()) return 0;
    if (::statfs(root_.c_str(), &s) != 0) return NoRootDir;
    switch (static_cast<unsigned long>(s.f_type) & 0xFFFFFFFFul) {
    case kNfs: case kSmb: case kCifs: case kSmb2: return Remote;
    case kIso9660: case kUdf: return CdRom;
    case kTmpfs: case kRamfs: return RamDisk;
    // Whether a disk can be taken out is not a property of its file system; every other
    // mounted file system reports as fixed.
    default: return Fixed;
    }
}

bool clsDrive::queryVolume() {
    struct statvfs v {};
    if (root_.empty() || ::statvfs(root_.c_str(), &v) != 0) return false;
    fileSystem_ = mountType(root_);
    maxComponent_ = static_cast<std::uint32_t>(v.f_namemax);
    // The file-system id is the closest thing to a volume serial number.
    serial_ = static_cast<std::uint32_t>(v.f_fsid);
    // Linux file systems keep names as written and tell case apart, except the FAT family.
    // Access lists, Unicode names and compression have no common flag here: left clear.
    if (fileSystem_ == "msdos") flags_ = 0;
    else if (fileSystem_ == "vfat" || fileSystem_ == "exfat") flags_ = 0x2;
    else flags_ = 0x3;
    return true;
}

// A volume label is a property of the block device, not readable through the mounted
// file system: the label reads empty, as for a volume that has none.
std::string clsDrive::Volume() { return queryVolume(), std::string(); }

// Labels cannot be set from a program on Linux; the request is ignored.
void clsDrive::setVolume(const std::string&) {}

std::string clsDrive::FileSystem() { return queryVolume(), fileSystem_; }
std::int32_t clsDrive::MaxFileName() { return queryVolume(), static_cast<std::int32_t>(maxComponent_); }
std::int32_t clsDrive::VolSerial() { return queryVolume(), static_cast<std::int32_t>(serial_); }

bool clsDrive::MediaCondition() const {
    if (root_.empty()) return false;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(root_.c_str()), ::closedir);
    return dir != nullptr;
}

bool clsDrive::Enabled() const {
    std::error_code ec;
    return !root_.empty() && fs::is_directory(root_, ec);
}

std::int16_t clsDrive::fnlShowFormat(std::intptr_t, const std::string&, std::int16_t&) { return FormatError; }
