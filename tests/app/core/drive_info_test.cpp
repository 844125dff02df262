#include "core/drive_info.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

dev_t deviceOf(const fs::path& p) {
    struct stat st {};
    ::stat(p.c_str(), &st);
    return st.st_dev;
}

}  // namespace

TEST(DriveInfo, DriveIsTheTopFolderOfTheFileSystemHoldingThePath) {
    const fs::path folder = fs::canonical(fs::temp_directory_path());
    clsDrive drive;
    drive.setDrive((folder / "not-yet-written" / "Regist.dat").string());
    const fs::path root = drive.Drive();
    ASSERT_FALSE(root.empty());
    EXPECT_EQ(deviceOf(root), deviceOf(folder));
    EXPECT_TRUE(root == root.root_path() || deviceOf(root.parent_path()) != deviceOf(root));
    EXPECT_EQ(folder.string().rfind(root.string(), 0), 0u);
    EXPECT_TRUE(drive.Enabled());
    EXPECT_TRUE(drive.MediaCondition());
}

TEST(DriveInfo, SpaceAndVolumeFactsOfARealFileSystem) {
    clsDrive drive;
    drive.setDrive(fs::temp_directory_path().string());
    EXPECT_FALSE(drive.CaseSensitive());  // no volume query yet
    const double free = drive.FreeSpace(), all = drive.AllSpace();
    EXPECT_GT(all, 0.0);
    EXPECT_GE(free, 0.0);
    EXPECT_LE(free, all);
    EXPECT_EQ(free, static_cast<double>(static_cast<long long>(free)));  // whole bytes, beyond 32 bits too
    EXPECT_GT(drive.SectorByte(), 0);
    EXPECT_EQ(drive.ClusterSector(), 1);
    EXPECT_FALSE(drive.FileSystem().empty());
    EXPECT_GT(drive.MaxFileName(), 0);
    EXPECT_EQ(drive.Volume(), "");
    EXPECT_GE(drive.MediaType(), clsDrive::Fixed);
}

TEST(DriveInfo, RamDiskIsReportedAsSuch) {
    if (!fs::is_directory("/dev/shm")) GTEST_SKIP() << "no /dev/shm";
    clsDrive drive;
    drive.setDrive("/dev/shm");
    EXPECT_EQ(drive.MediaType(), clsDrive::RamDisk);
}

TEST(DriveInfo, UnsetDriveAnswersZerosAndFalse) {
    clsDrive drive;
    EXPECT_EQ(drive.Drive(), "");
    EXPECT_EQ(drive.FreeSpace(), 0.0);
    EXPECT_EQ(drive.AllSpace(), 0.0);
    EXPECT_EQ(drive.MediaType(), 0);
    EXPECT_EQ(drive.FileSystem(), "");
    EXPECT_FALSE(drive.Enabled());
    EXPECT_FALSE(drive.MediaCondition());
    EXPECT_FALSE(drive.CasePreserved());
    std::int16_t type = 0;
    EXPECT_EQ(drive.fnlShowFormat(0, "A:\\", type), clsDrive::FormatError);
    EXPECT_EQ(type, 0);
}
