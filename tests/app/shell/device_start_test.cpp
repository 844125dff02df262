// The program's start brings up the reader's device stack: the driver from the program
// folder and the reader the environment asks for. Without a driver it still starts.
#include <cstdlib>
#include <filesystem>

#include "devices/devices.h"
#include "shell/reader_bus.h"
#include "shell_fixture.h"

namespace shelltest {
namespace {

class DeviceStart : public ProgramFolder {
public:
    void TearDown() override {
        ::unsetenv("RDX_EMULATOR_CARD");
        ::unsetenv("RDX_EMULATOR_TIMING");
        ProgramFolder::TearDown();
    }
};

// The device stack is started once per process, so this runs in a process of its own.
TEST_F(DeviceStart, TheStartPlugsInTheEmulatedReader) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    std::filesystem::create_directory_symlink(std::filesystem::absolute(builtMasterDat().parent_path() / "Drivers"),
                                              dir_ / "Drivers");
    ::setenv("RDX_EMULATOR_CARD", (dir_ / "card.img").c_str(), 1);
    ::setenv("RDX_EMULATOR_TIMING", "fast", 1);
    EXPECT_EXIT(
        {
            started();
            const bool found = devices::enumerateInterfaces(devices::ReaderInterfaceClass).size() == 1 &&
                               shell::emulatedReader() != nullptr;
            std::error_code ec;
            // This process ends without its tear-down.
            std::filesystem::remove(shell::SingleInstance::lockPath(gfnsAppPath()), ec);
            std::filesystem::remove_all(dir_, ec);
            std::_Exit(found ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(DeviceStart, WithoutADriverTheProgramStartsAndLogsWhy) {
    writeFile(dir_ / "Soft.log", "");
    dialogs_.expect("デバッグモードを解除しますか？", forms::vbNo);
    started();
    EXPECT_EQ(dialogs_.pending(), 0u);
    EXPECT_TRUE(devices::enumerateInterfaces(devices::ReaderInterfaceClass).empty());
    EXPECT_NE(readFile(dir_ / "Soft.log").find("pipedrv64"), std::string::npos) << readFile(dir_ / "Soft.log");
}

}  // namespace
}  // namespace shelltest
