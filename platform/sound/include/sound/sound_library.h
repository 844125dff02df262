#pragma once
// The small wave-output library the program plays files through: 1024-byte blocks of
// 8 kHz µ-law, copied as they are queued.
#include <cstdint>

namespace sound {

constexpr std::size_t soundBlockBytes = 1024;

// Prepares the output for a new playback; ends one still running.
void Play();
// Queues a copy of one 1024-byte block.
void SetWaveData(const std::uint8_t* block);
// Blocks queued and not yet played; 0 when everything has been played.
std::uint8_t setbuffers();
// Stops at once and closes the output.
void Stop();

}  // namespace sound
