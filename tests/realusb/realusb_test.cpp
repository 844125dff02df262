// The road a user with a real RDX-700 takes, on a machine without one: the program's device
// stack starts its libusb bus from pipedrv.conf as the program does, and real libusb finds,
// opens and drives the emulated reader through usbfs requests that a umockdev testbed hands
// to the reader's model. The card operations must give what they give over the emulated bus.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "control/card.h"
#include "control/errors.h"
#include "control/host.h"
#include "control/methods.h"
#include "control/reader_port.h"
#include "devices/devices.h"
#include "devices/system.h"
#include "emulator/card.h"
#include "emulator/environment.h"
#include "emulator/fixtures.h"
#include "emulator/reader.h"
#include "pipedrv/pipedrv.h"
#include "test_files.h"
#include "usbfs_testbed.h"

namespace realusb {
namespace {

namespace fs = std::filesystem;
namespace cardError = control::cardError;
using namespace std::chrono_literals;

// The ids the README's pipedrv.conf names; the emulated reader takes them on.
constexpr std::uint16_t kVendorId = 0x0a5c;
constexpr std::uint16_t kProductId = 0x0700;
constexpr char kReaderConf[] = "VendorId=0x0a5c\nProductId=0x0700\nTargetInterfaceClass=255\n";

using test_support::readFile;
using test_support::writeFile;

std::vector<std::uint8_t> sound(std::size_t n) {
    std::vector<std::uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i * 31 + 7);
    return bytes;
}

// Where two cards first differ, for a failure message that does not print 16 MiB.
::testing::AssertionResult sameCard(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
    if (a.size() != b.size()) return ::testing::AssertionFailure() << "sizes " << a.size() << " and " << b.size();
    auto [x, y] = std::mismatch(a.begin(), a.end(), b.begin());
    if (x == a.end()) return ::testing::AssertionSuccess();
    const auto at = x - a.begin();
    return ::testing::AssertionFailure() << "first difference at byte " << at << ": " << int(*x) << " and " << int(*y);
}

bool waitFor(const std::function<bool()>& done) {
    for (auto until = std::chrono::steady_clock::now() + 10s; std::chrono::steady_clock::now() < until;) {
        if (done()) return true;
        std::this_thread::sleep_for(2ms);
    }
    return done();
}

bool readerPresent() { return !devices::enumerateInterfaces(devices::ReaderInterfaceClass).empty(); }

class RealUsb : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(UsbfsTestbed::preloaded()) << "run this test under umockdev-wrapper";
        ::unsetenv(emulator::kCardVariable);
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = fs::temp_directory_path() / ("kv_realusb_" + std::string(test->name()) + "_" + std::to_string(::getpid()));
        fs::remove_all(folder);
        fs::create_directories(folder);
        fs::create_directory_symlink(fs::path(PROGRAM_FOLDER) / "Drivers", folder / "Drivers");
        control::setHost({});
        control::setReaderPort(nullptr);
    }
    void TearDown() override {
        if (bed) {
            EXPECT_EQ(bed->unserved(), std::vector<unsigned long>{}) << "usbfs requests nothing served";
        }
        stop();
        fs::remove_all(folder);
    }

    // The program's device stack, started from its folder, with the reader plugged into the
    // testbed under the ids `conf` names.
    void startOverLibusb(std::shared_ptr<emulator::Card> inserted, const std::string& conf = kReaderConf,
                         std::uint16_t maxPacketSize = 64) {
        emulator::ReaderOptions options;
        options.maxPacketSize = maxPacketSize;
        options.vendorId = kVendorId;
        options.productId = kProductId;
        reader = std::make_unique<emulator::Reader>(options);
        card = std::move(inserted);
        reader->insert(card);
        bed = std::make_unique<UsbfsTestbed>();
        bed->plug(*reader);
        std::ofstream(folder / "pipedrv.conf") << conf;
        system = std::make_unique<devices::System>(folder.string(), devices::libusbBus(folder.string()));
        EXPECT_TRUE(system->busStarted()) << system->error();
    }
    // The same stack over the emulated bus, as the run command starts it, with a blank card
    // of `chip` in the card file.
    void startOverEmulatedBus(std::uint8_t chip) {
        const fs::path cardFile = folder / "emulated-card.img";
        emulator::Card(chip).save(cardFile);
        test_support::ScopedEnvironment file(emulator::kCardVariable, cardFile.string());
        test_support::ScopedEnvironment timing(emulator::kTimingVariable, "fast");
        emulated = emulator::readerFromEnvironment();
        ASSERT_NE(emulated, nullptr);
        system = std::make_unique<devices::System>(folder.string(), devices::emulatedBus(*emulated));
        ASSERT_TRUE(system->busStarted()) << system->error();
    }
    void stop() {
        system.reset();
        emulated.reset();
        bed.reset();
        reader.reset();
    }
    void pull() {
        bed->pull();
        EXPECT_TRUE(waitFor([] { return !readerPresent(); })) << "the reader's interface stays";
    }
    // Plugged in again, the reader's interface shows once its stack has started, and
    // serves from then on.
    void plugBackIn() {
        bed->plug(*reader);
        ASSERT_TRUE(waitFor(readerPresent)) << "the reader is not found again";
        EXPECT_EQ(control::CardExists(), 0);
    }
    fs::path path(const std::string& file) const { return folder / file; }
    int readsSubmitted() const {
        int n = 0;
        for (const auto& urb : bed->submitted()) n += urb.endpoint == emulator::kInEndpoint;
        return n;
    }
    std::uint16_t freeBlocks() const {
        const auto bytes = card->peek(12, 2);
        return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
    }
    void cardAndMessage();

    fs::path folder;
    std::unique_ptr<emulator::Reader> reader;
    std::shared_ptr<emulator::Card> card;
    std::unique_ptr<UsbfsTestbed> bed;
    std::unique_ptr<emulator::Reader> emulated;  // the emulated bus's reader outlives the bus
    std::unique_ptr<devices::System> system;
};

TEST_F(RealUsb, TheReaderIsServedOnlyUnderTheIdsOfPipedrvConf) {
    struct Case {
        const char* what;
        std::string conf;
        int exists;
    };
    const Case cases[] = {
        {"its ids", kReaderConf, 0},
        {"another product", "VendorId=0x0a5c\nProductId=0x0701\n", cardError::NoDriver},
        {"another vendor", "VendorId=0x1209\nProductId=0x0700\n", cardError::NoDriver},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        startOverLibusb(emulator::fixtures::formatted(0xA4), c.conf);
        EXPECT_EQ(control::CardExists(), c.exists);
        EXPECT_EQ(control::GetCardError(), c.exists);
        stop();
    }
    EXPECT_TRUE(bed == nullptr);
}

// What the driver's device controls give, one line each, with the card status after them.
struct ControlOutcome {
    bool ok = false;
    std::vector<std::uint8_t> out;
    int error = 0;
    bool operator==(const ControlOutcome&) const = default;
};

std::ostream& operator<<(std::ostream& o, const ControlOutcome& c) {
    o << (c.ok ? "ok" : "failed") << " error " << c.error << " bytes";
    for (std::uint8_t b : c.out) o << ' ' << int(b);
    return o;
}

// Control transfers (the reader refuses class and vendor requests), descriptors, a pipe
// reset and a port reset, then a command on the pipes.
std::vector<ControlOutcome> deviceControls() {
    std::vector<ControlOutcome> outcomes;
    const auto found = devices::enumerateInterfaces(devices::ReaderInterfaceClass);
    if (found.empty()) return outcomes;
    devices::Handle device = devices::open(found.front());
    devices::Handle pipe = devices::open(found.front() + "\\PIPE01");
    struct Call {
        devices::Handle* handle;
        std::uint32_t code;
        std::vector<std::uint8_t> in;
        std::size_t out;
    };
    const Call calls[] = {
        {&device, pipedrv::IOCTL_PIPEDRV_GET_CONFIG_DESCRIPTOR, {}, 64},
        {&device, pipedrv::IOCTL_PIPEDRV_CONTROL_TRANSFER, {0xC0, 1, 0, 0, 0, 0, 8, 0}, 8},
        {&device, pipedrv::IOCTL_PIPEDRV_CONTROL_TRANSFER, {0x21, 9, 0, 0, 0, 0, 2, 0, 1, 2}, 0},
        {&device, pipedrv::IOCTL_PIPEDRV_VENDOR_INTERFACE_OUT, {1, 2, 3}, 0},
        {&pipe, pipedrv::IOCTL_PIPEDRV_GET_MAX_PACKET, {}, 4},
        {&pipe, pipedrv::IOCTL_PIPEDRV_RESET_PIPE, {}, 0},
        {&device, pipedrv::IOCTL_PIPEDRV_RESET_PORT, {}, 0},
    };
    for (const auto& c : calls) {
        ControlOutcome o;
        std::vector<std::uint8_t> out(c.out);
        std::size_t returned = 0;
        o.ok = devices::deviceControl(*c.handle, c.code, c.in.data(), c.in.size(), out.data(), out.size(), &returned);
        o.error = o.ok ? 0 : devices::lastError();
        o.out.assign(out.begin(), out.begin() + static_cast<long>(std::min(returned, out.size())));
        outcomes.push_back(o);
    }
    pipe.close();
    device.close();
    outcomes.push_back({control::CardExists() == 0, {}, 0});
    return outcomes;
}

// A blank card initialised, a card image written and read back, a 60-second message (8,000
// bytes a second) written and read back.
void RealUsb::cardAndMessage() {
    EXPECT_EQ(control::CardExists(), 0);
    EXPECT_EQ(control::GetCardError(), cardError::Unformatted);
    ASSERT_EQ(control::Format(), 0);
    ASSERT_EQ(control::GetCardError(), 0);

    const fs::path image = path("card.crd"), back = path("back.crd");
    ASSERT_EQ(control::ReadCardData(image.string()), 0);
    auto bytes = readFile(image);
    ASSERT_EQ(bytes.size(), 0x7000u);
    // Bytes of their own for the settings the file hands over and each typed block but its sum.
    const std::pair<std::size_t, std::size_t> taken[] = {
        {0x2000, 48},
        {0x3000, control::typedBlockBytes(control::kBlockPatterns) - 2},
        {0x4000, control::typedBlockBytes(control::kBlockCalendar) - 2},
        {0x5000, control::typedBlockBytes(control::kBlockNames) - 2}};
    for (const auto& [at, size] : taken)
        for (std::size_t i = 0; i < size; ++i) bytes[at + i] = static_cast<std::uint8_t>(i * 13 + at / 0x1000);
    bytes[0x2000 + 44] = 1;  // the settings go to the card
    writeFile(image, bytes);
    ASSERT_EQ(control::WriteCardFile(image.string()), 0);
    ASSERT_EQ(control::ReadCardData(back.string()), 0);
    const auto again = readFile(back);
    ASSERT_EQ(again.size(), bytes.size());
    for (const auto& [at, size] : taken)
        EXPECT_TRUE(std::equal(bytes.begin() + at, bytes.begin() + at + size, again.begin() + at)) << at;

    const auto message = sound(60 * 8000);
    writeFile(path("message.dat"), message);
    ASSERT_EQ(control::WriteMessage(1, path("message.dat").string()), 0);
    ASSERT_EQ(control::ReadMessage(1, path("back.dat").string()), 0);
    const auto raw = readFile(path("back.dat"));
    ASSERT_GE(raw.size(), message.size());
    EXPECT_TRUE(std::equal(message.begin(), message.end(), raw.begin()));
    EXPECT_TRUE(std::all_of(raw.begin() + static_cast<long>(message.size()), raw.end(),
                            [](std::uint8_t b) { return b == 0xFF; })) << "the last block is padded";
    EXPECT_EQ(control::GetCardError(), 0);
}

// A high-speed reader (512-byte packets) and a 512 KiB card, which the message nearly fills:
// the usbfs round trips of one-packet reads over 64-byte packets would take long.
TEST_F(RealUsb, CardAndSixtySecondMessageComeBackEqualAndLeaveTheCardAsTheEmulatedBusDoes) {
    startOverLibusb(std::make_shared<emulator::Card>(0xA4), kReaderConf, 512);
    ASSERT_NO_FATAL_FAILURE(cardAndMessage());
    const auto overLibusb = card->image();
    EXPECT_EQ(bed->unserved(), std::vector<unsigned long>{});
    stop();

    startOverEmulatedBus(0xA4);
    ASSERT_NO_FATAL_FAILURE(cardAndMessage());
    EXPECT_TRUE(sameCard(overLibusb, emulated->card()->image()));
}

TEST_F(RealUsb, DeviceControlsGiveWhatTheyGiveOverTheEmulatedBus) {
    startOverLibusb(std::make_shared<emulator::Card>(0xA4));
    const auto overLibusb = deviceControls();
    EXPECT_EQ(bed->unserved(), std::vector<unsigned long>{});
    stop();
    startOverEmulatedBus(0xA4);
    const auto overEmulatedBus = deviceControls();
    ASSERT_EQ(overLibusb.size(), 8u);
    EXPECT_EQ(overLibusb, overEmulatedBus);
    EXPECT_TRUE(overLibusb.front().ok) << "the configuration descriptor";
    EXPECT_FALSE(overLibusb[1].ok) << "a refused request fails";
    EXPECT_TRUE(overLibusb.back().ok) << "the reader answers after the resets";
}

// Faults that USB carries differently from a byte stream (empty transfers, short packets, a
// silent reader whose read the control gives up), with the results the emulated bus gives.
TEST_F(RealUsb, ReaderFaultsGiveTheResultsOfTheEmulatedBus) {
    struct Case {
        const char* what;
        emulator::Fault fault;
        std::function<int()> operation;
        int result;
    };
    const auto status = [] { return control::CardExists(); };
    const auto check = [] { return control::GetCardError(); };
    const Case cases[] = {
        {"an empty transfer before the reply", emulator::Fault::ZeroLengthReply, status, 0},
        {"an empty transfer before the data", emulator::Fault::ZeroLengthInData, check, 0},
        {"a reply again before the data", emulator::Fault::StrayPacketInData, check, 0},
        {"data 8 bytes short", emulator::Fault::ShortData, check, cardError::ReceiveFailed},
        {"no reply at all", emulator::Fault::Silence, status, cardError::ReplyTimeout},
    };
    startOverLibusb(emulator::fixtures::formatted(0xA4));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        reader->inject(c.fault);
        EXPECT_EQ(c.operation(), c.result);
        reader->clearFaults();
        EXPECT_EQ(control::GetCardError(), 0) << "the next operation is served";
    }
}

// The cable pulled while a message is written: between two blocks, or while the control
// waits for the reader's answer to a block it has sent (that wait ends with the pull, not
// with the time-out). The stack takes it as a surprise removal and the control says so;
// plugged in again, the journal leads the repair, which gives the card back as it was.
TEST_F(RealUsb, ReaderPulledMidWriteIsFoundAgainAndTheCardRepairs) {
    struct Case {
        const char* what;
        bool whileAwaitingAnswer;
        int result;
    };
    const Case cases[] = {
        {"between blocks", false, cardError::SendFailed},
        {"while the answer is awaited", true, cardError::ReceiveFailed},
    };
    startOverLibusb(emulator::fixtures::formatted(0xA4));
    writeFile(path("in.dat"), sound(5 * 4096));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        card = emulator::fixtures::formatted(0xA4);
        const auto before = card->image();
        reader->insert(card);
        int pumps = 0;
        std::thread puller;
        // The program's message pump runs before each block.
        control::setHost({{}, [&] {
                              if (++pumps != 3) return;
                              if (!c.whileAwaitingAnswer) return bed->pull();
                              reader->inject(emulator::Fault::SilentAfterData);
                              bed->clearSubmitted();
                              puller = std::thread([&] {
                                  // The block's command answered and its data sent, the read
                                  // for the answer after the data is under way.
                                  waitFor([&] { return readsSubmitted() >= 2; });
                                  bed->pull();
                              });
                          }});
        EXPECT_EQ(control::WriteMessage(5, path("in.dat").string()), c.result);
        if (puller.joinable()) puller.join();
        control::setHost({});
        ASSERT_TRUE(waitFor([] { return !readerPresent(); })) << "the reader is still served";
        EXPECT_EQ(control::CardExists(), cardError::NoDriver);
        EXPECT_EQ(freeBlocks(), 128 - 6) << "the header was not written";
        EXPECT_NE(card->blockData(6), nullptr) << "a block was written";

        ASSERT_NO_FATAL_FAILURE(plugBackIn());
        EXPECT_EQ(control::GetCardError(), cardError::JournalSet);
        EXPECT_EQ(control::Repair(cardError::JournalSet), 0);
        EXPECT_EQ(control::GetCardError(), 0);
        EXPECT_TRUE(sameCard(card->image(), before));

        ASSERT_EQ(control::WriteMessage(5, path("in.dat").string()), 0);
        ASSERT_EQ(control::ReadMessage(5, path("out.dat").string()), 0);
        EXPECT_EQ(readFile(path("out.dat")), readFile(path("in.dat")));
    }
}

}  // namespace
}  // namespace realusb
