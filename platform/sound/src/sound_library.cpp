// File playback for the program: 1024-byte blocks at 8 kHz, copied as they are queued.
#include "sound/sound_library.h"

#include <array>
#include <list>
#include <mutex>

#include "sound/wave_out.h"

namespace sound {
namespace {

struct Block {
    std::array<std::uint8_t, soundBlockBytes> samples{};
    WaveBuffer buffer;
};

struct Player {
    std::mutex lock;
    std::unique_ptr<WaveOut> out;
    std::list<Block> blocks;   // stable addresses while queued
};

Player& player() {
    static Player p;
    return p;
}

// Drops the blocks the output has handed back.
void collect(Player& p) {
    p.blocks.remove_if([&](Block& b) {
        if (b.buffer.queued) return false;
        p.out->unprepare(b.buffer);
        return true;
    });
}

void stopLocked(Player& p) {
    if (!p.out) return;
    p.out->reset();
    collect(p);
    p.out->close();
    p.out.reset();
}

}  // namespace

void Play() {
    auto& p = player();
    std::lock_guard g(p.lock);
    stopLocked(p);
    openWaveOut(p.out, 8000, nullptr);
}

void SetWaveData(const std::uint8_t* block) {
    auto& p = player();
    std::lock_guard g(p.lock);
    if (!p.out || !block) return;
    collect(p);
    Block& b = p.blocks.emplace_back();
    std::copy(block, block + soundBlockBytes, b.samples.begin());
    b.buffer.data = b.samples.data();
    b.buffer.length = soundBlockBytes;
    if (p.out->prepare(b.buffer) != Ok || p.out->write(b.buffer) != Ok) p.blocks.pop_back();
}

std::uint8_t setbuffers() {
    auto& p = player();
    std::lock_guard g(p.lock);
    if (!p.out) return 0;
    collect(p);
    return static_cast<std::uint8_t>(std::min<std::size_t>(p.blocks.size(), 255));
}

void Stop() {
    auto& p = player();
    std::lock_guard g(p.lock);
    stopLocked(p);
}

}  // namespace sound
