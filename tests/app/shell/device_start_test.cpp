// The program's start leaves the reader's device stack down: the first card control brings
// it up, with the driver from the program folder and the reader the environment asks for.
// Without a driver the program still runs, and the log says why.
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "com/registry.h"
#include "devices/devices.h"
#include "shell/program.h"
#include "shell/reader_bus.h"
#include "shell_fixture.h"

namespace shelltest {
namespace {

class DeviceStart : public ProgramFolder {
public:
    void SetUp() override {
        ProgramFolder::SetUp();
        shell::setUpProgram(std::filesystem::absolute(builtMasterDat().parent_path()).string());
    }
    void TearDown() override {
        ::unsetenv("RDX_EMULATOR_CARD");
        ::unsetenv("RDX_EMULATOR_TIMING");
        ProgramFolder::TearDown();
    }

protected:
    static std::size_t readers() { return devices::enumerateInterfaces(devices::ReaderInterfaceClass).size(); }
    static bool makeCardControl() {
        std::unique_ptr<com::Control> control;
        return com::createInstance("Card_KVM58", control) == com::Ok && control;
    }
};

// The device stack is started once per process, so this runs in a process of its own.
TEST_F(DeviceStart, TheFirstCardControlPlugsInTheEmulatedReader) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    std::filesystem::create_directory_symlink(std::filesystem::absolute(builtMasterDat().parent_path() / "Drivers"),
                                              dir_ / "Drivers");
    ::setenv("RDX_EMULATOR_CARD", (dir_ / "card.img").c_str(), 1);
    ::setenv("RDX_EMULATOR_TIMING", "fast", 1);
    EXPECT_EXIT(
        {
            started();
            const bool downAtStart = readers() == 0;
            const bool made = makeCardControl();
            const bool found = readers() == 1 && shell::emulatedReader() != nullptr;
            std::error_code ec;
            // This process ends without its tear-down.
            std::filesystem::remove(shell::SingleInstance::lockPath(gfnsAppPath()), ec);
            std::filesystem::remove_all(dir_, ec);
            std::_Exit(downAtStart && made && found ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(DeviceStart, WithoutADriverTheProgramStartsAndTheFirstCardControlLogsWhy) {
    writeFile(dir_ / "Soft.log", "");
    dialogs_.expect("デバッグモードを解除しますか？", forms::vbNo);
    started();
    EXPECT_EQ(dialogs_.pending(), 0u);
    EXPECT_TRUE(makeCardControl());
    EXPECT_EQ(readers(), 0u);
    EXPECT_NE(readFile(dir_ / "Soft.log").find("pipedrv64"), std::string::npos) << readFile(dir_ / "Soft.log");
}

}  // namespace
}  // namespace shelltest
