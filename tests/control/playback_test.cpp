// Playback of card messages, on the recording sound output: the worker's pauses move a
// virtual clock that plays what is queued, so no test plays in real time.
#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <mutex>
#include <cstdlib>
#include <functional>
#include <thread>
#include <vector>

#include "card_fixture.h"
#include "control/errors.h"
#include "control/host.h"
#include "control/playback.h"
#include "control/state.h"
#include "emulator_port.h"
#include "sound/recording.h"
#include "sound/wave_out.h"

namespace control_test {
namespace {

using namespace control;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t k4KiBChip = 0xA4;
constexpr std::uint8_t k16KiBChip = 0x73;

class PlaybackTest : public CardTest {
public:
    void SetUp() override {
        CardTest::SetUp();
        sound::setBackend(sound::Backend::Recording);
        sound::recording::clear();
        setHost({[this] { return ticks.load(); }, [this] {
                     runDueEvent();
                     if (onPump) onPump();
                 }});
        setPlaybackSleeper({[this](std::uint32_t ms) { workerSleep(ms); },
                            [](std::uint32_t) { std::this_thread::yield(); }});
    }

    void TearDown() override {
        StopMessage();
        setPlaybackSleeper({});
        setHost({});
        sound::setBackend(sound::Backend::Alsa);
        CardTest::TearDown();
    }

    // Gives the channel the blocks (in map order) and a recorded length of `bytes`, fills
    // the blocks with a pattern of their own, and returns the message's bytes.
    Bytes putMessage(int ch, std::vector<std::size_t> blocks, std::size_t bytes) {
        hand.channel(ch, blocks, static_cast<std::uint32_t>(bytes / 16));
        putHeader(hand);
        Bytes message;
        for (std::size_t b : blocks) {
            Bytes data(blockSize());
            for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(b * 31 + i * 7 + i / 251);
            card->poke(b * blockSize(), data);
            message.insert(message.end(), data.begin(), data.end());
        }
        message.resize(bytes / 16 * 16);
        return message;
    }

    // Block numbers that the reader was asked to read whole.
    // Message blocks read whole (block 0 is the header, which identification reads).
    std::vector<std::uint16_t> blockReads() const {
        std::vector<std::uint16_t> out;
        for (const auto& c : reader->log())
            if (c.command == 0x12 && c.block != 0) out.push_back(c.block);
        return out;
    }

    // Runs `action` on the program's thread, inside PlayMessage's wait, when the virtual
    // clock reaches `tick`. Until the action has run, time stands still for the worker.
    void at(std::uint32_t tick, std::function<void()> action) {
        std::lock_guard g(eventsMutex);
        events.push_back({tick, std::move(action)});
    }

    bool eventDueLocked() const { return !events.empty() && events.front().first <= ticks; }

    void runDueEvent() {
        std::function<void()> action;
        {
            std::lock_guard g(eventsMutex);
            if (runningEvent || !eventDueLocked()) return;
            runningEvent = true;
            action = events.front().second;
        }
        action();
        std::lock_guard g(eventsMutex);
        events.pop_front();
        runningEvent = false;
    }

    // The worker's pause: the tick count moves, and the sound output plays `soundFactor`
    // times as long (0: an output that never moves).
    void workerSleep(std::uint32_t ms) {
        if (onWorkerSleep) onWorkerSleep();
        {
            std::lock_guard g(eventsMutex);
            if (eventDueLocked()) {
                std::this_thread::yield();
                return;
            }
        }
        ticks += ms;
        if (soundFactor) sound::recording::advance(std::uint64_t{ms} * soundFactor);
    }

    std::atomic<std::uint32_t> ticks{0};
    std::atomic<unsigned> soundFactor{1};
    std::mutex eventsMutex;
    bool runningEvent = false;
    std::deque<std::pair<std::uint32_t, std::function<void()>>> events;
    std::function<void()> onPump;         // the program's thread, inside PlayMessage's wait
    std::function<void()> onWorkerSleep;  // the worker, before each of its pauses
};

TEST_F(PlaybackTest, OneBlockMessagePlaysWholeWithoutReadingASecondBlock) {
    insertFormatted(k4KiBChip);
    const Bytes message = putMessage(3, {9}, 3000);
    reader->clearLog();

    EXPECT_EQ(PlayMessage(3, 100), 0);
    EXPECT_EQ(sound::recording::played(), message);
    EXPECT_EQ(sound::recording::lastRate(), 8000u);
    EXPECT_EQ(blockReads(), (std::vector<std::uint16_t>{9}));
    EXPECT_EQ(actionMode(), ModeStandby);
    EXPECT_EQ(PauseMessage(), 700) << "the device is closed after the playback";
}

// Two buffers of 16 KiB at 50 % hold 8 s of sound, longer than the stall limit: the end of
// the message must still be heard. The position reports milliseconds of the message.
TEST_F(PlaybackTest, MultiBlockMessagePlaysToItsLastByteAtEverySpeed) {
    for (const int speed : {50, 300}) {
        SCOPED_TRACE(speed);
        insertFormatted(k16KiBChip);
        const Bytes message = putMessage(4, {6, 8, 9, 11, 12}, 4 * 16384 + 12000);
        const long messageMs = static_cast<long>(message.size() / 8);
        sound::recording::clear();
        ticks = 0;
        std::vector<std::pair<std::uint32_t, long>> positions;
        onWorkerSleep = [&] { positions.emplace_back(ticks.load(), playbackPosition()); };
        long lengthSeen = 0;
        onPump = [&] { lengthSeen = playbackLength(); };

        EXPECT_EQ(PlayMessage(4, speed), 0);
        EXPECT_EQ(sound::recording::played(), message);
        EXPECT_EQ(sound::recording::lastRate(), static_cast<unsigned>(speed * 80));
        EXPECT_EQ(lengthSeen, messageMs);
        const long heardMs = messageMs * 100 / speed;
        EXPECT_GE(ticks.load(), heardMs);
        EXPECT_LE(ticks.load(), heardMs + 500);
        // Each pause sees the position of the pass before it: bytes played / 8.
        ASSERT_GT(positions.size(), 2u);
        for (std::size_t i = 1; i < positions.size(); ++i) {
            const auto [at, position] = positions[i];
            EXPECT_EQ(position, std::min(static_cast<long>(at) * speed / 100, messageMs)) << "at " << at;
        }
        onWorkerSleep = nullptr;
    }
}

// The output hands both buffers back between two passes of the worker: both are refilled in
// one pass, and each is counted with its own length.
TEST_F(PlaybackTest, SinkThatCompletesBothBuffersAtOnce) {
    insertFormatted(k4KiBChip);
    const Bytes message = putMessage(2, {6, 7, 8, 10, 11, 12, 13, 14, 15}, 8 * 4096 + 1234);
    soundFactor = 4;  // 400 ms of sound a pass at 24,000 bytes a second: more than both buffers

    EXPECT_EQ(PlayMessage(2, 300), 0);
    EXPECT_EQ(sound::recording::played(), message);
    EXPECT_EQ(blockReads(), (std::vector<std::uint16_t>{6, 7, 8, 10, 11, 12, 13, 14, 15}));
}

// A stop from the program's thread while PlayMessage waits: from StopMessage, or from the
// control's window going away.
TEST_F(PlaybackTest, StopDuringPlaybackEndsItAndPlayMessageReturns) {
    struct Case {
        const char* name;
        std::function<int()> stop;
    };
    const Case cases[] = {{"StopMessage", [] { return StopMessage(); }},
                          {"window destroyed", [] { return wavCardPlayEnd(); }}};
    insertFormatted(k16KiBChip);
    const Bytes message = putMessage(5, {6, 7, 8}, 3 * 16384);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sound::recording::clear();
        ticks = 0;
        int stopResult = -1;
        at(1000, [&] { stopResult = c.stop(); });
        EXPECT_EQ(PlayMessage(5, 100), 0);
        EXPECT_EQ(stopResult, 0);
        EXPECT_EQ(actionMode(), ModeStandby);
        const Bytes played = sound::recording::played();
        EXPECT_EQ(played.size(), 8000u) << "stopped at 1 s";
        EXPECT_TRUE(std::equal(played.begin(), played.end(), message.begin()));
        EXPECT_EQ(PauseMessage(), 700);
    }
    sound::recording::clear();
    EXPECT_EQ(PlayMessage(5, 100), 0) << "a stopped playback leaves the control ready for the next";
    EXPECT_EQ(sound::recording::played(), message);
}

TEST_F(PlaybackTest, PauseHoldsTheOutputAndResumePlaysOnToTheEnd) {
    insertFormatted(k16KiBChip);
    const Bytes message = putMessage(6, {6, 7}, 2 * 16384);
    std::size_t heldBytes = 0;
    std::vector<int> results, modes;
    const auto toggle = [&] {
        results.push_back(PauseMessage());
        modes.push_back(actionMode());
    };
    at(1000, toggle);
    at(1200, [&] { heldBytes = sound::recording::played().size(); });
    // Longer than the stall limit: a paused output is no stall.
    at(12000, [&] {
        EXPECT_EQ(sound::recording::played().size(), heldBytes);
        toggle();
    });

    EXPECT_EQ(PlayMessage(6, 100), 0);
    EXPECT_EQ(results, (std::vector<int>{0, 0}));
    EXPECT_EQ(modes, (std::vector<int>{ModePause, ModePlay}));
    EXPECT_EQ(heldBytes, 8000u) << "paused at 1 s";
    EXPECT_EQ(sound::recording::played(), message);
    EXPECT_GE(ticks.load(), 11000u + message.size() / 8);
    EXPECT_EQ(actionMode(), ModeStandby);
}

TEST_F(PlaybackTest, CardPulledDuringPlaybackGivesItsCardError) {
    insertFormatted(k4KiBChip);
    const Bytes message = putMessage(7, {6, 7, 8, 9, 10, 11}, 6 * 4096);
    // Between two commands of the worker, so that the next block read finds no card.
    onWorkerSleep = [&] {
        if (ticks >= 600 && reader->card()) reader->pull();
    };

    EXPECT_EQ(PlayMessage(7, 100), cardError::NoCard);
    EXPECT_EQ(actionMode(), ModeStandby);
    EXPECT_LT(sound::recording::played().size(), message.size());
    EXPECT_EQ(PauseMessage(), 700);
}

TEST_F(PlaybackTest, AnOutputThatNeverMovesEndsInAPlaybackError) {
    insertFormatted(k4KiBChip);
    putMessage(3, {6, 7}, 2 * 4096);
    soundFactor = 0;

    EXPECT_EQ(PlayMessage(3, 100), cardError::PlayFailed);
    EXPECT_TRUE(sound::recording::played().empty());
    EXPECT_GT(ticks.load(), kPlayStallMs);
    EXPECT_LT(ticks.load(), kPlayStallMs + 500);
    EXPECT_EQ(actionMode(), ModeStandby);
}

TEST_F(PlaybackTest, NothingToPlayEndsAtOnceWithItsError) {
    insertFormatted(k4KiBChip);
    EXPECT_EQ(PlayMessage(5, 100), cardError::NoMessage);
    EXPECT_EQ(actionMode(), ModeStandby);
    reader->pull();
    EXPECT_EQ(PlayMessage(5, 100), cardError::NoCard);
    EXPECT_EQ(PauseMessage(), 700);
    EXPECT_TRUE(sound::recording::played().empty());
}

TEST_F(PlaybackTest, ArgumentsAndTheBusyRule) {
    insertFormatted(k4KiBChip);
    putMessage(3, {6}, 1600);
    for (const int speed : {49, 301}) {
        EXPECT_EQ(PlayMessage(3, speed), cardError::PlayFailed);
        EXPECT_EQ(actionMode(), ModeStandby);
    }
    setActionMode(ModeWrite);
    EXPECT_EQ(PlayMessage(13, 100), cardError::BadChannel) << "the channel is checked first";
    EXPECT_EQ(PlayMessage(0, 100), cardError::BadChannel);
    EXPECT_EQ(PlayMessage(3, 100), 702);
    EXPECT_EQ(StopMessage(), 702);
    EXPECT_EQ(PauseMessage(), 702);
    EXPECT_EQ(actionMode(), ModeWrite);
}

// Nothing plays: a pause is refused with the closed device's 700 and leaves the mode alone;
// a stop closes nothing and succeeds.
TEST_F(PlaybackTest, PauseAndStopWithNothingPlaying) {
    for (const int mode : {ModeStandby, ModeEvent}) {
        SCOPED_TRACE(mode);
        setActionMode(mode);
        EXPECT_EQ(PauseMessage(), 700);
        EXPECT_EQ(actionMode(), mode);
        EXPECT_EQ(StopMessage(), 0);
        EXPECT_EQ(actionMode(), ModeStandby);
    }
}

// The path the program takes: ALSA, here through its "null" device so that it runs on
// machines without sound, in real time with the worker's real pauses.
TEST(PlaybackAlsa, PlaysThroughTheNullDevice) {
    struct Env {
        Env() { setenv("KV_SOUND_DEVICE", "null", 1); }
        ~Env() { unsetenv("KV_SOUND_DEVICE"); }
    } env;
    auto reader = std::make_shared<emulator::Reader>();
    setReaderPort(std::make_unique<EmulatorPort>(reader));
    auto card = std::make_shared<emulator::Card>(k4KiBChip);
    reader->insert(card);
    HandHeader h = HandHeader::formatted(128);
    h.channel(1, {6}, 1600 / 16);
    h.seal();
    card->poke(0, h.bytes);
    sound::setBackend(sound::Backend::Alsa);
    setHost({});
    setPlaybackSleeper({});
    setActionMode(ModeStandby);

    EXPECT_EQ(PlayMessage(1, 300), 0);
    EXPECT_EQ(actionMode(), ModeStandby);
    EXPECT_EQ(PauseMessage(), 700);
    setReaderPort(nullptr);
}

}  // namespace
}  // namespace control_test
