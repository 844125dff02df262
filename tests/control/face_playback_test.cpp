// Playback through the control's face: PlayMessage, StopMessage and PauseMessage by dispatch
// id against the emulated reader, the events the timers raise meanwhile, and the control
// going away mid-play. The sound goes to the recording output on a virtual clock: the
// worker's pauses move the clock, and the container's pump runs what the test scheduled.
#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "card_fixture.h"
#include "com/dispatch.h"
#include "control/errors.h"
#include "control/face.h"
#include "control/host.h"
#include "control/playback.h"
#include "control/state.h"
#include "sound/recording.h"
#include "sound/wave_out.h"

namespace control_test {
namespace {

using com::Variant;
using namespace control;
using Bytes = std::vector<std::uint8_t>;
using Events = std::vector<std::pair<com::DispId, std::vector<std::int32_t>>>;

constexpr std::uint8_t k16KiBChip = 0x73;
constexpr int kChannel = 3;

// Things the test runs on the container's thread, inside PlayMessage's pump, once the
// virtual clock reaches their tick. Until one has run, time stands still for the worker.
class Schedule {
public:
    void at(std::uint32_t tick, std::function<void()> action) {
        std::lock_guard g(mutex_);
        const auto later = std::find_if(items_.begin(), items_.end(), [tick](const auto& i) { return i.first > tick; });
        items_.insert(later, {tick, std::move(action)});
    }
    bool due(std::uint32_t now) {
        std::lock_guard g(mutex_);
        return !items_.empty() && items_.front().first <= now;
    }
    void runDue(std::uint32_t now) {
        std::function<void()> action;
        {
            std::lock_guard g(mutex_);
            if (running_ || items_.empty() || items_.front().first > now) return;
            running_ = true;
            action = items_.front().second;
        }
        action();
        std::lock_guard g(mutex_);
        items_.pop_front();
        running_ = false;
    }

private:
    std::mutex mutex_;
    bool running_ = false;
    std::deque<std::pair<std::uint32_t, std::function<void()>>> items_;
};

struct Site : com::HostSite {
    std::function<void()> pump;
    bool setTimer(unsigned, unsigned) override { return true; }
    void killTimer(unsigned) override {}
    void pumpMessages() override {
        if (pump) pump();
    }
};

struct Recorder : com::EventSink {
    Events events;
    void onEvent(com::DispId id, std::span<const Variant> args) noexcept override {
        std::vector<std::int32_t> values;
        for (const auto& a : args) values.push_back(a.asI4());
        events.emplace_back(id, values);
    }
    Events only(com::DispId id) const {
        Events out;
        for (const auto& e : events)
            if (e.first == id) out.push_back(e);
        return out;
    }
};

class FacePlaybackTest : public CardTest {
public:
    void SetUp() override {
        CardTest::SetUp();
        sound::setBackend(sound::Backend::Recording);
        sound::recording::clear();
        setHost({[this] { return ticks.load(); }, {}});
        setPlaybackSleeper({[this](std::uint32_t ms) { workerSleep(ms); },
                            [](std::uint32_t) { std::this_thread::yield(); }});
        site.pump = [this] { schedule.runDue(ticks); };
        control = make();
        insertFormatted(k16KiBChip);
    }
    void TearDown() override {
        control.reset();
        about.reset();
        setPlaybackSleeper({});
        setHost({});
        sound::setBackend(sound::Backend::Alsa);
        CardTest::TearDown();
    }

    // An instance sited on the test's container: the control hands PlayMessage's pump to it.
    std::unique_ptr<CardControl> make() {
        auto c = std::make_unique<CardControl>(FaceEnvironment{}, nullptr);
        c->setSite(&site);
        c->advise(&recorder);
        return c;
    }

    // Gives the channel whole blocks 6.. of a pattern of their own; returns the message.
    Bytes putMessage(std::size_t blocks) {
        std::vector<std::size_t> numbers;
        Bytes message;
        for (std::size_t i = 0; i < blocks; ++i) {
            const std::size_t b = 6 + i;
            numbers.push_back(b);
            Bytes data(blockSize());
            for (std::size_t j = 0; j < data.size(); ++j) data[j] = static_cast<std::uint8_t>(b * 31 + j * 7 + j / 251);
            card->poke(b * blockSize(), data);
            message.insert(message.end(), data.begin(), data.end());
        }
        hand.channel(kChannel, numbers, static_cast<std::uint32_t>(message.size() / 16));
        putHeader(hand);
        return message;
    }

    std::int32_t call(com::Control& c, com::DispId id, std::vector<Variant> args = {}) {
        Variant v;
        EXPECT_EQ(com::callMethod(c, id, std::move(args), &v), com::Ok) << id;
        return v.asI4();
    }
    std::int32_t call(com::DispId id, std::vector<Variant> args = {}) { return call(*control, id, std::move(args)); }
    void put(com::DispId id, bool value) {
        ASSERT_EQ(com::putProperty(*control, id, Variant::boolean(value)), com::Ok);
    }
    Variant get(com::DispId id, std::vector<Variant> index = {}) {
        Variant v;
        EXPECT_EQ(com::getProperty(*control, id, v, std::move(index)), com::Ok) << id;
        return v;
    }
    std::int32_t play(com::Control& c) { return call(c, dispid::PlayMessage, {Variant::i2(kChannel), Variant::i2(100)}); }
    std::int32_t play() { return play(*control); }

    void workerSleep(std::uint32_t ms) {
        ++workerPasses;
        if (schedule.due(ticks)) {
            std::this_thread::yield();
            return;
        }
        ticks += ms;
        sound::recording::advance(ms);
    }

    std::atomic<std::uint32_t> ticks{0};
    std::atomic<int> workerPasses{0};
    Schedule schedule;
    Site site;
    Recorder recorder;
    std::unique_ptr<CardControl> control;
    std::unique_ptr<CardControl> about;
};

// Timer 1 samples the mode and, while playing, the playback's milliseconds; the card poll
// stays out of a playback.
TEST_F(FacePlaybackTest, PlaysToTheEndWithModeAndPositionOnTimerOne) {
    const Bytes message = putMessage(2);
    const auto messageMs = static_cast<std::int32_t>(message.size() / 8);
    put(dispid::CheckCard, true);
    std::vector<std::uint32_t> sampledAt;
    for (std::uint32_t t = 0; t <= 3500; t += 500)
        schedule.at(t, [&, t] {
            control->onTimer(kModeTimer);
            control->onTimer(kPollTimer);
            sampledAt.push_back(t);
        });
    std::int32_t position = -1, length = -1;
    schedule.at(2000, [&] {
        position = get(dispid::Position).asI4();
        length = get(dispid::Length).asI4();
    });

    EXPECT_EQ(play(), 0);
    EXPECT_EQ(sound::recording::played(), message);
    EXPECT_EQ(sound::recording::lastRate(), 8000u);
    EXPECT_EQ(actionMode(), ModeStandby);
    control->onTimer(kModeTimer);

    ASSERT_EQ(sampledAt.size(), 8u);
    EXPECT_EQ(recorder.only(eventid::StatusChange), Events{}) << "no poll while playing";
    EXPECT_EQ(recorder.only(eventid::ModeChange), (Events{{eventid::ModeChange, {ModePlay}},
                                                           {eventid::ModeChange, {ModeStandby}}}));
    const Events positions = recorder.only(eventid::PositionChange);
    ASSERT_EQ(positions.size(), 7u);
    for (std::size_t i = 0; i < positions.size(); ++i) {
        const auto at = static_cast<std::int32_t>(sampledAt[i + 1]);
        const auto& args = positions[i].second;
        EXPECT_EQ(args[1], messageMs);
        EXPECT_GE(args[0], at - 200) << "at " << at;
        EXPECT_LE(args[0], at) << "at " << at;
    }
    EXPECT_EQ(length, messageMs);
    EXPECT_EQ(position, positions[3].second[0]);
    EXPECT_EQ(get(dispid::Length).asI4(), 0) << "cleared in standby";
    EXPECT_EQ(control->keptStatus(), 0);
}

// StopMessage and PauseMessage reach the playback from a handler the pump runs.
TEST_F(FacePlaybackTest, StopAndPauseFromTheContainer) {
    const Bytes message = putMessage(2);
    std::vector<std::int32_t> results, modes;
    const auto member = [&](com::DispId id) {
        return [&, id] {
            results.push_back(call(id));
            modes.push_back(actionMode());
        };
    };
    std::size_t heldBytes = 0;
    schedule.at(1000, member(dispid::PauseMessage));
    schedule.at(1000, [&] { control->onTimer(kModeTimer); });
    schedule.at(1500, [&] { heldBytes = sound::recording::played().size(); });
    schedule.at(3000, member(dispid::PauseMessage));
    schedule.at(3500, member(dispid::StopMessage));

    EXPECT_EQ(play(), 0);
    EXPECT_EQ(results, (std::vector<std::int32_t>{0, 0, 0}));
    EXPECT_EQ(modes, (std::vector<std::int32_t>{ModePause, ModePlay, ModeStandby}));
    EXPECT_EQ(recorder.only(eventid::ModeChange), (Events{{eventid::ModeChange, {ModePause}}}));
    EXPECT_EQ(heldBytes, 8000u) << "held at 1 s";
    const Bytes played = sound::recording::played();
    EXPECT_EQ(played.size(), 12000u) << "stopped 0.5 s after the resume";
    EXPECT_TRUE(std::equal(played.begin(), played.end(), message.begin()));
    EXPECT_EQ(actionMode(), ModeStandby);
    EXPECT_EQ(call(dispid::PauseMessage), 700) << "nothing plays any more";

    sound::recording::clear();
    EXPECT_EQ(play(), 0) << "ready for the next playback";
    EXPECT_EQ(sound::recording::played(), message);
}

// The busy rule keeps card work out of a playback, and a playback out of card work; a
// refusal changes neither the playback nor the kept status.
TEST_F(FacePlaybackTest, BusyRuleAroundPlayback) {
    const Bytes message = putMessage(2);
    std::vector<std::int32_t> refused;
    schedule.at(1000, [&] {
        refused.push_back(play());
        refused.push_back(call(dispid::GetCardError));
        refused.push_back(call(dispid::WriteMessage, {Variant::i2(1), Variant::bstr("x.wav")}));
        refused.push_back(call(dispid::PlayMessage, {Variant::i2(13), Variant::i2(100)}));
        refused.push_back(control->keptStatus());
        refused.push_back(actionMode());
    });

    EXPECT_EQ(play(), 0);
    EXPECT_EQ(refused, (std::vector<std::int32_t>{704, 704, 704, 201, 101, ModePlay}));
    EXPECT_EQ(sound::recording::played(), message);

    sound::recording::clear();
    setActionMode(ModeWrite);
    EXPECT_EQ(play(), 702);
    EXPECT_EQ(call(dispid::StopMessage), 702);
    EXPECT_EQ(call(dispid::PauseMessage), 702);
    EXPECT_EQ(actionMode(), ModeWrite);
    EXPECT_TRUE(sound::recording::played().empty());
    EXPECT_EQ(control->keptStatus(), 0) << "from the playback that ran";
    setActionMode(ModeStandby);
}

// The members that skip the busy rule share the link with the playback's worker: they
// answer from the card and leave the playback and its mode alone.
TEST_F(FacePlaybackTest, LinkMembersDuringPlaybackWaitForTheLink) {
    const Bytes message = putMessage(3);
    std::int32_t exists = -1, bytesMs = -1, mode = -1;
    std::string firmware;
    schedule.at(1000, [&] {
        exists = get(dispid::CardExists).asI4();
        firmware = get(dispid::RdxCpuVersion).asString();
        bytesMs = call(dispid::ByteToTime, {Variant::i4(1)});
        mode = actionMode();
    });

    EXPECT_EQ(play(), 0);
    EXPECT_EQ(exists, 0);
    EXPECT_EQ(firmware, "1.00");
    EXPECT_EQ(bytesMs, static_cast<std::int32_t>(blockSize() / 8));
    EXPECT_EQ(mode, ModePlay);
    EXPECT_EQ(sound::recording::played(), message);
}

// A card pulled mid-play ends the playback with the failed block read's error, which
// becomes the kept status under AutoRead.
TEST_F(FacePlaybackTest, CardPulledMidPlayEndsWithItsError) {
    const Bytes message = putMessage(4);
    schedule.at(600, [&] { reader->pull(); });

    EXPECT_EQ(play(), cardError::NoCard);
    EXPECT_EQ(actionMode(), ModeStandby);
    EXPECT_LT(sound::recording::played().size(), message.size());
    EXPECT_EQ(control->keptStatus(), cardError::NoCard);
    EXPECT_EQ(call(dispid::PauseMessage), 700) << "the device is closed";
}

// The control's window goes away while PlayMessage waits in the container's pump: the last
// instance ends the playback (no worker left, device closed) and PlayMessage returns
// without touching the instance. The about box's instance going leaves the playback alone.
TEST_F(FacePlaybackTest, DestroyingTheControlMidPlay) {
    const Bytes message = putMessage(2);
    about = make();
    schedule.at(500, [&] { about.reset(); });
    int passesAfterEnd = -1;
    int stateAfterEnd = -1;
    schedule.at(1000, [&] {
        control.reset();
        passesAfterEnd = workerPasses;
        stateAfterEnd = PauseMessage();  // the module's own, with no instance left
    });
    com::Control& c = *control;

    EXPECT_EQ(play(c), 0);
    EXPECT_EQ(control, nullptr);
    EXPECT_EQ(stateAfterEnd, 700) << "device closed";
    EXPECT_EQ(workerPasses, passesAfterEnd) << "no worker ran on";
    EXPECT_EQ(actionMode(), ModeStandby);
    const Bytes played = sound::recording::played();
    EXPECT_EQ(played.size(), 8000u) << "ended at 1 s, not at 0.5 s";
    EXPECT_TRUE(std::equal(played.begin(), played.end(), message.begin()));
}

}  // namespace
}  // namespace control_test
