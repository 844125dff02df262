// The libusb bus as the program hands it to its device stack: it serves the real reader
// that the program folder's pipedrv.conf names.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "devices/devices.h"
#include "devices/system.h"

namespace dt {
namespace {

namespace fs = std::filesystem;

TEST(RealReaderBus, ComesFromTheProgramFoldersReaderFile) {
    struct Case {
        const char* what;
        const char* file;  // nullptr: no file
        bool error;        // a fault the user can mend is reported
    };
    const Case cases[] = {
        {"no file", nullptr, false},
        {"a reader named", "VendorId=0x0a5c\nProductId=0x0700\nMaximumTransferSize=4096\n", false},
        {"a broken file", "VendorId=0x0a5c\nProductId=zz\n", true},
    };
    const fs::path folder = fs::temp_directory_path() / ("kv_reader_bus_" + std::to_string(::getpid()));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(folder);
        fs::create_directories(folder);
        fs::create_directory_symlink(fs::path(PROGRAM_FOLDER) / "Drivers", folder / "Drivers");
        if (c.file) std::ofstream(folder / "pipedrv.conf") << c.file;
        {
            devices::System system(folder.string(), devices::libusbBus(folder.string()));
            ASSERT_TRUE(system.driverLoaded()) << system.error();
            if (c.error) {
                EXPECT_NE(system.error().find("pipedrv.conf"), std::string::npos) << system.error();
                EXPECT_FALSE(system.busStarted());
            } else if (!c.file) {
                EXPECT_EQ(system.error(), "");
                EXPECT_FALSE(system.busStarted());
            } else {
                // The machine may have no USB stack at all; then that is the reason given.
                EXPECT_NE(system.busStarted(), !system.error().empty()) << system.error();
            }
            EXPECT_TRUE(devices::enumerateInterfaces(devices::ReaderInterfaceClass).empty()) << "no reader here";
        }
    }
    fs::remove_all(folder);
}

}  // namespace
}  // namespace dt
