#pragma once
// Drive information of the file system that holds a folder. The start-up check uses
// Drive and FreeSpace; the other members answer as far as Linux gives them a meaning.
#include <cstdint>
#include <string>

class clsDrive {
public:
    // Sets the drive by any path on it: the root becomes the mount point of the file
    // system that holds the path (or its nearest existing parent folder).
    void setDrive(const std::string& strNewDrive);
    const std::string& Drive() const { return root_; }

    std::int32_t SectorByte();
    std::int32_t ClusterSector();
    double FreeSpace();
    double AllSpace();
    std::int32_t MediaType();

    std::string Volume();
    void setVolume(const std::string& strNewVolume);
    std::string FileSystem();
    std::int32_t MaxFileName();
    std::int32_t VolSerial();

    bool MediaCondition() const;
    bool Enabled() const;

    // Flags of the last volume query; all false before one.
    bool ACLs() const { return (flags_ & 0x8) != 0; }
    bool Unicode() const { return (flags_ & 0x4) != 0; }
    bool FileCompress() const { return (flags_ & 0x10) != 0; }
    bool VolCompress() const { return flags_ > 0x7FFF; }
    bool CaseSensitive() const { return (flags_ & 0x1) != 0; }
    bool CasePreserved() const { return (flags_ & 0x2) != 0; }

    // Linux has no format dialog: always the dialog's error result, nothing is formatted.
    std::int16_t fnlShowFormat(std::intptr_t lnghWnd, const std::string& sDrive, std::int16_t& lngType);

    // The drive types MediaType reports.
    enum : std::int32_t { NoRootDir = 1, Removable = 2, Fixed = 3, Remote = 4, CdRom = 5, RamDisk = 6 };
    static constexpr std::int16_t FormatError = -1;

private:
    bool queryFreeSpace();
    bool queryVolume();

    std::string root_;
    std::uint32_t sectorsPerCluster_ = 0;
    std::uint32_t bytesPerSector_ = 0;
    std::uint64_t freeBytes_ = 0;
    std::uint64_t totalBytes_ = 0;
    std::string fileSystem_;
    std::uint32_t serial_ = 0;
    std::uint32_t maxComponent_ = 0;
    std::uint32_t flags_ = 0;
};
