#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <numeric>
#include <vector>

#include "sound/recording.h"
#include "sound/sound_library.h"
#include "sound/wave_out.h"

using namespace sound;

namespace {

struct Samples {
    explicit Samples(std::size_t n) : bytes(n) {
        std::iota(bytes.begin(), bytes.end(), std::uint8_t{1});
        buffer.data = bytes.data();
        buffer.length = n;
    }
    std::vector<std::uint8_t> bytes;
    WaveBuffer buffer;
};

class Recording : public ::testing::Test {
protected:
    void SetUp() override {
        setBackend(Backend::Recording);
        recording::clear();
    }
    void TearDown() override { setBackend(Backend::Alsa); }

    std::unique_ptr<WaveOut> open(unsigned rate) {
        std::unique_ptr<WaveOut> out;
        EXPECT_EQ(openWaveOut(out, rate, [this](WaveBuffer& b) { done.push_back(&b); }), Ok);
        return out;
    }
    std::uint64_t position(WaveOut& out) {
        std::uint64_t bytes = 0;
        EXPECT_EQ(out.position(bytes), Ok);
        return bytes;
    }
    std::vector<WaveBuffer*> done;
};

TEST_F(Recording, PlaysQueuedBuffersInOrderOnTheVirtualClock) {
    auto out = open(8000);
    Samples a(1000), empty(0);
    ASSERT_EQ(out->prepare(a.buffer), Ok);
    ASSERT_EQ(out->prepare(empty.buffer), Ok);
    ASSERT_EQ(out->write(a.buffer), Ok);
    ASSERT_EQ(out->write(empty.buffer), Ok);

    recording::advance(50);
    EXPECT_EQ(position(*out), 400u);
    EXPECT_TRUE(done.empty());
    EXPECT_TRUE(a.buffer.queued);

    recording::advance(100);  // finishes the first and, right behind it, the empty one
    EXPECT_EQ(position(*out), 1000u);
    ASSERT_EQ(done.size(), 2u);
    EXPECT_EQ(done[0], &a.buffer);
    EXPECT_EQ(done[1], &empty.buffer);
    EXPECT_TRUE(a.buffer.done && !a.buffer.queued);
    EXPECT_EQ(recording::played(), a.bytes);
    EXPECT_EQ(out->close(), Ok);
}

TEST_F(Recording, OneStepCanFinishBothBuffers) {
    auto out = open(24000);
    Samples a(300), b(300);
    for (auto* s : {&a, &b}) {
        out->prepare(s->buffer);
        out->write(s->buffer);
    }
    recording::advance(1000);
    EXPECT_EQ(done.size(), 2u);
    EXPECT_EQ(position(*out), 600u);
}

TEST_F(Recording, PauseHoldsThePositionAndRestartGoesOn) {
    auto out = open(4000);
    Samples a(4000);
    out->prepare(a.buffer);
    out->write(a.buffer);
    recording::advance(250);
    ASSERT_EQ(out->pause(), Ok);
    recording::advance(1000);
    EXPECT_EQ(position(*out), 1000u);
    ASSERT_EQ(out->restart(), Ok);
    recording::advance(250);
    EXPECT_EQ(position(*out), 2000u);
}

TEST_F(Recording, ResetHandsEveryBufferBackAndClearsThePosition) {
    auto out = open(8000);
    Samples a(800), b(800);
    for (auto* s : {&a, &b}) {
        out->prepare(s->buffer);
        out->write(s->buffer);
    }
    recording::advance(10);
    ASSERT_EQ(out->reset(), Ok);
    EXPECT_EQ(done.size(), 2u);
    EXPECT_FALSE(a.buffer.queued || b.buffer.queued);
    EXPECT_EQ(position(*out), 0u);
    EXPECT_EQ(out->close(), Ok);
}

TEST_F(Recording, RefusesWhatTheDeviceCannotDo) {
    std::unique_ptr<WaveOut> none;
    EXPECT_EQ(openWaveOut(none, 3999, nullptr), ErrBadFormat);
    EXPECT_EQ(openWaveOut(none, 24001, nullptr), ErrBadFormat);

    auto out = open(8000);
    Samples a(100);
    EXPECT_EQ(out->write(a.buffer), ErrUnprepared);
    out->prepare(a.buffer);
    out->write(a.buffer);
    EXPECT_EQ(out->unprepare(a.buffer), ErrStillPlaying);
    EXPECT_EQ(out->close(), ErrStillPlaying);
    out->reset();
    EXPECT_EQ(out->unprepare(a.buffer), Ok);
    EXPECT_EQ(out->close(), Ok);
    EXPECT_EQ(out->pause(), ErrInvalidHandle);
    EXPECT_FALSE(errorText(ErrInvalidHandle).empty());
}

TEST_F(Recording, SoundLibraryCountsPendingBlocksUntilPlayed) {
    std::vector<std::uint8_t> block(soundBlockBytes, 0x7F);
    Play();
    for (int i = 0; i < 3; ++i) SetWaveData(block.data());
    EXPECT_EQ(setbuffers(), 3);
    recording::advance(128);  // one 1024-byte block at 8 kHz
    EXPECT_EQ(setbuffers(), 2);
    recording::advance(256);
    EXPECT_EQ(setbuffers(), 0);
    EXPECT_EQ(recording::played().size(), 3 * soundBlockBytes);
    SetWaveData(block.data());
    Stop();
    EXPECT_EQ(setbuffers(), 0);
}

// The ALSA path, through ALSA's own null device so that it runs on machines without sound.
TEST(Alsa, PlaysThroughTheNullDevice) {
    setenv("KV_SOUND_DEVICE", "null", 1);
    setBackend(Backend::Alsa);
    std::mutex m;
    std::condition_variable cv;
    bool finished = false;
    std::unique_ptr<WaveOut> out;
    ASSERT_EQ(openWaveOut(out, 8000,
                          [&](WaveBuffer&) {
                              std::lock_guard g(m);
                              finished = true;
                              cv.notify_all();
                          }),
              Ok);
    Samples a(400);  // 50 ms
    out->prepare(a.buffer);
    out->write(a.buffer);
    std::unique_lock g(m);
    EXPECT_TRUE(cv.wait_for(g, std::chrono::seconds(10), [&] { return finished; }));
    g.unlock();
    EXPECT_EQ(out->close(), Ok);
    unsetenv("KV_SOUND_DEVICE");
}

}  // namespace
