// The control's face: members by dispatch id over the emulated reader, the kept status, the
// timers driven by a fake host site, the poll's debounce and the shared state.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <filesystem>
#include <fstream>
#include <map>
#include <unistd.h>

#include "sound/wave_out.h"

#include "about_dialog.h"
#include "card_fixture.h"
#include "com/registry.h"
#include "control/face.h"
#include "control/state.h"
#include "scripted_port.h"

namespace control_test {
namespace {

using com::Variant;
using namespace control;

struct FakeSite : com::HostSite {
    std::map<unsigned, unsigned> timers;
    bool setTimer(unsigned id, unsigned ms) override { return timers[id] = ms, true; }
    void killTimer(unsigned id) override { timers.erase(id); }
    void pumpMessages() override {}
};

struct Recorder : com::EventSink {
    std::vector<std::pair<com::DispId, std::vector<std::int32_t>>> events;
    std::function<void()> onStatus;
    void onEvent(com::DispId id, std::span<const Variant> args) noexcept override {
        std::vector<std::int32_t> values;
        for (const auto& a : args) values.push_back(a.asI4());
        events.emplace_back(id, values);
        if (id == eventid::StatusChange && onStatus) onStatus();
    }
    int count(com::DispId id) const {
        return static_cast<int>(std::count_if(events.begin(), events.end(), [id](auto& e) { return e.first == id; }));
    }
};

struct FakeProcesses : ProcessLayer {
    std::vector<long> started, closed;
    std::optional<long> start(const std::filesystem::path&) override {
        started.push_back(100 + static_cast<long>(started.size()));
        return started.back();
    }
    void close(long pid) override { closed.push_back(pid); }
};

class FaceTest : public CardTest {
public:
    void SetUp() override {
        CardTest::SetUp();
        sound::setBackend(sound::Backend::Recording);  // nothing is heard
        pollDebounce() = {};
        folder = std::filesystem::temp_directory_path() / ("face_test_" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder);
        processes = std::make_shared<FakeProcesses>();
        control = make();
    }
    void TearDown() override {
        control.reset();
        sound::setBackend(sound::Backend::Alsa);
        std::filesystem::remove_all(folder);
        CardTest::TearDown();
    }
    std::unique_ptr<CardControl> make() {
        auto c = std::make_unique<CardControl>(FaceEnvironment{folder, folder, processes}, nullptr);
        c->setSite(&site);
        c->advise(&events);
        TestClock::install();
        return c;
    }
    Variant get(com::DispId id, std::vector<Variant> index = {}) {
        Variant v;
        EXPECT_EQ(com::getProperty(*control, id, v, std::move(index)), com::Ok) << id;
        return v;
    }
    void put(com::DispId id, Variant v) { ASSERT_EQ(com::putProperty(*control, id, std::move(v)), com::Ok); }
    std::int32_t call(com::DispId id, std::vector<Variant> args = {}) {
        Variant v;
        EXPECT_EQ(com::callMethod(*control, id, std::move(args), &v), com::Ok) << id;
        return v.asI4();
    }

    std::filesystem::path folder;
    std::shared_ptr<FakeProcesses> processes;
    FakeSite site;
    Recorder events;
    std::unique_ptr<CardControl> control;
};

TEST(CardPoll, SequencesFollowTheDebounce) {
    struct Case {
        int kept;
        bool autoRead;
        std::vector<int> readings;  // one per poll (status command and full check agree)
        std::vector<int> fired;
        int keptAfter;
    };
    const Case cases[] = {
        {101, false, {101, 101}, {}, 101},
        {101, false, {0, 0}, {0}, 0},
        {101, false, {0, 101, 0, 0}, {0}, 0},        // a bounce restarts the count
        {101, true, {0, 0}, {0}, 0},
        {111, false, {0, 0, 0}, {0}, 0},
        {0, false, {101, 0, 101, 101}, {101}, 101},
    };
    for (const auto& c : cases) {
        pollDebounce() = {};
        int kept = c.kept;
        std::vector<int> fired;
        int reading = 0;
        PollWork work{[&] { return reading; }, [&] { return reading; }, [] {},
                      [&](int s) { fired.push_back(s); }};
        for (int r : c.readings) {
            reading = r;
            CheckCardStatus(kept, c.autoRead, work);
        }
        EXPECT_EQ(fired, c.fired) << c.kept << " first " << c.readings.front();
        EXPECT_EQ(kept, c.keptAfter);
    }
}

TEST(Versions, FirmwareAndVersionTexts) {
    EXPECT_EQ(firmwareText(0x0123), "1.23");
    EXPECT_EQ(firmwareText(0x1A05), "1a.05");
    EXPECT_EQ(firmwareText(0), "-.--");
    EXPECT_EQ(cleanVersion("1, 2, 2, 1"), "1.2.2.1");
    EXPECT_EQ(myName(), "RDX-700 ActiveX Control Module for KV-M58S");
    const auto none = findDriver("/nonexistent-folder");
    EXPECT_EQ(none.name, "PIPEDRV.sys");
    EXPECT_EQ(none.version, "");
}

TEST_F(FaceTest, DriverVersionComesFromTheDriversFolder) {
    EXPECT_EQ(get(dispid::DriverName).asString(), "PIPEDRV.sys");
    EXPECT_EQ(get(dispid::DriverVersion).asString(), "");
    // The files the build ships, by word size, under the driver's own names.
    std::filesystem::create_directories(folder / "Drivers");
    std::filesystem::copy_file(KV_FAKE_DRIVER, folder / "Drivers" / "pipedrv.so");
    EXPECT_EQ(get(dispid::DriverName).asString(), "PIPEDRV.sys");
    EXPECT_EQ(get(dispid::DriverVersion).asString(), "1.0.0.3");
    std::filesystem::copy_file(KV_FAKE_DRIVER, folder / "Drivers" / "pipedrv64.so");
    EXPECT_EQ(get(dispid::DriverName).asString(), "PIPEDRV64.sys");
    EXPECT_EQ(get(dispid::DriverVersion).asString(), "1.0.0.3");
}

TEST(Versions, TheProgramFoldersDriverIsFound) {
    // The program folder as the build lays it out, with the driver it ships.
    const auto driver = findDriver(KV_PROGRAM_FOLDER);
    EXPECT_EQ(driver.name, "PIPEDRV64.sys");
    EXPECT_FALSE(driver.version.empty());
    EXPECT_EQ(driver.version.find_first_of(" ,"), std::string::npos);
}

TEST_F(FaceTest, IntervalsClampAndTimersFollowEnabledAndCheckCard) {
    put(dispid::UpDateInterval, Variant::i4(100));
    EXPECT_EQ(get(dispid::UpDateInterval).asI4(), 250);
    put(dispid::CheckInterval, Variant::i2(0));
    EXPECT_EQ(get(dispid::CheckInterval).asI4(), 250);
    put(dispid::UpDateInterval, Variant::i4(500));
    put(dispid::CheckCard, Variant::boolean(true));
    put(dispid::Enabled, Variant::boolean(true));
    EXPECT_EQ(site.timers, (std::map<unsigned, unsigned>{{1, 500}, {2, 250}}));
    put(dispid::Enabled, Variant::boolean(false));
    EXPECT_TRUE(site.timers.empty());
}

TEST_F(FaceTest, CardInsertedAndPulledGiveStatusChangeAfterTwoPolls) {
    insertCard();
    ASSERT_EQ(call(dispid::Format), 0);
    put(dispid::CheckCard, Variant::boolean(true));  // AutoRead: kept status 101
    put(dispid::Enabled, Variant::boolean(true));
    control->onTimer(2);
    EXPECT_EQ(events.count(eventid::StatusChange), 0);
    int modeSeen = -1;
    events.onStatus = [&] { modeSeen = actionMode(); };
    control->onTimer(2);
    ASSERT_EQ(events.count(eventid::StatusChange), 1);
    EXPECT_EQ(events.events.back().second, std::vector<std::int32_t>{0});
    EXPECT_EQ(modeSeen, ModeEvent);
    EXPECT_EQ(actionMode(), ModeStandby);

    reader->pull();
    control->onTimer(2);
    control->onTimer(2);
    EXPECT_EQ(events.count(eventid::StatusChange), 2);
    EXPECT_EQ(control->keptStatus(), 101);
}

TEST_F(FaceTest, TimerOneSamplesModeAndProgress) {
    control->onTimer(1);
    EXPECT_TRUE(events.events.empty());
    setActionMode(ModeWrite);
    setActionMode(ModeStandby);
    control->onTimer(1);  // a mode that came and went between ticks is not seen
    EXPECT_TRUE(events.events.empty());
    setActionMode(ModeWrite);
    setProgress(3, 10);
    control->onTimer(1);
    control->onTimer(1);
    ASSERT_EQ(events.events.size(), 2u);
    EXPECT_EQ(events.events[0].first, eventid::ModeChange);
    EXPECT_EQ(events.events[1].first, eventid::PositionChange);
    EXPECT_EQ(events.events[1].second, (std::vector<std::int32_t>{3, 10}));
    setActionMode(ModeStandby);
    control->onTimer(1);
    EXPECT_EQ(events.events.back().second, std::vector<std::int32_t>{0});
    EXPECT_EQ(get(dispid::Length).asI4(), 0);
}

TEST_F(FaceTest, BusyRuleRefusesWithoutChangingState) {
    insertCard();
    setActionMode(ModeWrite);
    const com::DispId methods[] = {dispid::ReadCardData, dispid::Format, dispid::WriteCardData,
                                   dispid::ReadCardInfo, dispid::GetCardError, dispid::WriteCardFile,
                                   dispid::WriteCardName, dispid::StopMessage, dispid::PauseMessage};
    for (auto id : methods) {
        Variant v;
        std::vector<Variant> args;
        if (id != dispid::Format && id != dispid::ReadCardInfo && id != dispid::GetCardError &&
            id != dispid::StopMessage && id != dispid::PauseMessage)
            args.push_back(Variant::bstr("x"));
        ASSERT_EQ(com::callMethod(*control, id, args, &v), com::Ok);
        EXPECT_EQ(v.asI4(), 702) << id;
    }
    EXPECT_EQ(call(dispid::ReadMessage, {Variant::i2(1), Variant::bstr("x")}), 702);
    EXPECT_EQ(call(dispid::PlayMessage, {Variant::i2(13), Variant::i2(100)}), 201);
    EXPECT_EQ(get(dispid::CardStatus).asI4(), 702);
    EXPECT_EQ(actionMode(), ModeWrite);
    EXPECT_EQ(control->keptStatus(), 101);

    setActionMode(ModeStandby);
    EXPECT_EQ(call(dispid::WriteMessage, {Variant::i2(25), Variant::bstr("x")}), 201);
    EXPECT_EQ(call(dispid::WriteMessage, {Variant::i2(0), Variant::bstr("x")}), 201);
    EXPECT_EQ(call(dispid::ReplaceMessage, {Variant::i2(10), Variant::i2(1)}), 201);
    EXPECT_EQ(call(dispid::WriteMsgName, {Variant::i2(13), Variant::bstr("x")}), 201);
    EXPECT_EQ(actionMode(), ModeStandby);
    setActionMode(ModeEvent);
    EXPECT_EQ(call(dispid::GetCardError), 111);  // accepted inside a StatusChange handler
    EXPECT_EQ(actionMode(), ModeStandby);
}

TEST_F(FaceTest, PauseWithNothingPlayingLeavesTheModeAlone) {
    insertCard();
    ASSERT_EQ(call(dispid::Format), 0);
    for (const int mode : {ModeStandby, ModeEvent}) {
        setActionMode(mode);
        EXPECT_EQ(call(dispid::PauseMessage), 700) << mode;
        EXPECT_EQ(actionMode(), mode);
        EXPECT_EQ(call(dispid::GetCardError), 0) << mode;
    }
}

TEST_F(FaceTest, ErrorMessageTexts) {
    const std::pair<int, std::string> cases[] = {
        {0, "指定されたコマンドを実行しました。"},
        {705, "再生一時停止中です。"},
        {123, "不明なエラー番号です。"},
        {5, sound::errorText(5)},
        {99, ""},
    };
    for (const auto& [n, text] : cases) EXPECT_EQ(get(dispid::ErrorMessage, {Variant::i4(n)}).asString(), text) << n;
}

TEST_F(FaceTest, StandbyMonitorStartsOnceAndClosesWhatItStarted) {
    put(dispid::StandbyMonitor, Variant::boolean(true));
    EXPECT_TRUE(processes->started.empty());  // no monitor program beside the control
    put(dispid::StandbyMonitor, Variant::boolean(false));
    std::ofstream(folder / "WaitWtch") << "";
    put(dispid::StandbyMonitor, Variant::boolean(true));
    put(dispid::StandbyMonitor, Variant::boolean(true));
    EXPECT_EQ(processes->started.size(), 1u);
    control.reset();
    EXPECT_EQ(processes->closed, processes->started);
}

TEST_F(FaceTest, TwoInstancesShareModeCacheAndDebounce) {
    insertCard();
    auto about = make();
    ASSERT_EQ(call(dispid::Format), 0);
    ASSERT_EQ(call(dispid::WriteCardName, {Variant::bstr("カード一")}), 0);
    ASSERT_EQ(call(dispid::ReadCardInfo), 0);
    Variant name;
    ASSERT_EQ(com::getProperty(*about, dispid::CardName, name), com::Ok);
    EXPECT_EQ(name.asString(), "カード一");
    setActionMode(ModeFormat);
    Variant r;
    ASSERT_EQ(com::callMethod(*about, dispid::GetCardError, {}, &r), com::Ok);
    EXPECT_EQ(r.asI4(), 706);
    setActionMode(ModeStandby);
}

// Every member by dispatch id, on the control the registry creates from the library.
TEST_F(FaceTest, EveryMemberThroughTheRegistry) {
    com::setLibraryFolder(KV_CONTROL_LIBRARY_DIR);
    com::registerLibraryClass("Card_KVM58", KV_CONTROL_LIBRARY_FILE);
    std::unique_ptr<com::Control> created;
    ASSERT_EQ(com::createInstance("Card_KVM58", created), com::Ok);
    ASSERT_NE(created, nullptr);
    com::DispId id = 0;
    ASSERT_EQ(created->idOfName("readcardinfo", id), com::Ok);
    EXPECT_EQ(id, dispid::ReadCardInfo);
    insertCard();
    auto& c = *created;
    const auto wav = (folder / "m.wav").string();
    const auto crd = (folder / "CardData.crd").string();
    Variant v;
    const auto callI4 = [&](com::DispId m, std::vector<Variant> args) {
        EXPECT_EQ(com::callMethod(c, m, std::move(args), &v), com::Ok) << m;
        return v.asI4();
    };
    EXPECT_EQ(callI4(dispid::Format, {}), 0);
    EXPECT_EQ(callI4(dispid::ReadCardInfo, {}), 0);
    for (com::DispId p = dispid::Enabled; p <= dispid::StandbyMonitor; ++p)
        EXPECT_EQ(com::getProperty(c, p, v), com::Ok) << p;
    ASSERT_EQ(com::getProperty(c, dispid::CardExists, v), com::Ok);
    EXPECT_EQ(v.asI4(), 0);
    ASSERT_EQ(com::getProperty(c, dispid::RdxCpuVersion, v), com::Ok);
    EXPECT_NE(v.asString(), "");
    ASSERT_EQ(com::getProperty(c, dispid::MyVersion, v), com::Ok);
    EXPECT_EQ(v.asString(), "1.0.0.1");
    ASSERT_EQ(com::getProperty(c, dispid::CardSize, v), com::Ok);
    EXPECT_GT(v.asI4(), 0);
    for (com::DispId g = dispid::VersionPC; g <= dispid::MsgRecTime; ++g)
        EXPECT_EQ(com::getProperty(c, g, v, {Variant::i2(1)}), com::Ok) << g;
    Variant byRef = Variant::i4(3);
    EXPECT_EQ(com::getProperty(c, dispid::VersionPC, v, {Variant::byRef(byRef)}), com::Ok);
    EXPECT_EQ(v.asI4(), 0);
    ASSERT_EQ(com::getProperty(c, dispid::MessageName, v, {Variant::i2(25)}), com::Ok);
    EXPECT_EQ(v.asString(), "");

    EXPECT_EQ(callI4(dispid::ByteToTime, {Variant::i4(0)}), -1);
    EXPECT_EQ(callI4(dispid::ByteToTime, {Variant::i4(-5)}), -1);
    const std::int32_t oneBlock = callI4(dispid::ByteToTime, {Variant::i4(1)});
    EXPECT_EQ(oneBlock, static_cast<std::int32_t>(blockSize() / 8));
    Variant journalError = Variant::i2(610);  // by reference and narrower than declared
    EXPECT_EQ(callI4(dispid::WriteCardName, {Variant::bstr("NAME")}), 0);
    EXPECT_EQ(callI4(dispid::WriteMsgName, {Variant::i2(1), Variant::bstr("MSG")}), 0);
    EXPECT_EQ(callI4(dispid::ReplaceMessage, {Variant::i2(1), Variant::i2(2)}), 0);
    EXPECT_EQ(callI4(dispid::ReadMessage, {Variant::i2(1), Variant::bstr(wav)}), 400);
    EXPECT_EQ(callI4(dispid::ReadCardData, {Variant::bstr(crd)}), 0);
    EXPECT_EQ(callI4(dispid::WriteCardData, {Variant::bstr(crd)}), 0);
    EXPECT_LT(callI4(dispid::WriteCardFile, {Variant::bstr(crd)}), 700);  // worked, not refused
    EXPECT_EQ(callI4(dispid::WriteMessage, {Variant::i2(1), Variant::bstr(folder / "none.wav")}), 300);
    EXPECT_EQ(callI4(dispid::Repair, {Variant::byRef(journalError)}), 0);
    EXPECT_EQ(callI4(dispid::GetCardError, {}), 0);
    EXPECT_EQ(callI4(dispid::PlayMessage, {Variant::i2(1), Variant::i2(100)}), 400);  // no message
    EXPECT_EQ(callI4(dispid::PlayMessage, {Variant::i2(1), Variant::i2(301)}), 750);
    EXPECT_EQ(callI4(dispid::StopMessage, {}), 0);
    EXPECT_EQ(callI4(dispid::PauseMessage, {}), 700);
    EXPECT_EQ(com::callMethod(c, dispid::AboutBox, {}), com::Ok);
    EXPECT_EQ(actionMode(), ModeStandby);
}

TEST(AboutDialog, ScreenshotShowsNamesAndVersions) {
    int argc = 1;
    char name[] = "face_test";
    char* argv[] = {name};
    QApplication app(argc, argv);
    AboutDialog dialog({myName(), myVersion(), "PIPEDRV64.sys", "1.0.0.3"});
    dialog.adjustSize();
    const QImage shot = dialog.grab().toImage();
    EXPECT_GT(shot.width(), 200);
    EXPECT_TRUE(shot.save(QStringLiteral("face_about.png")));
}

}  // namespace
}  // namespace control_test
