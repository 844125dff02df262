#pragma once
// The one kind of message file the card window accepts: a RIFF WAVE file in mu-law,
// 8000 Hz, 8 bits, mono.
#include <cstdint>
#include <string>

namespace card {

struct WaveData {
    std::int32_t start = 0;   // offset of the first sample byte
    std::int32_t length = 0;  // declared length of the "data" chunk
};

// > 0: accepted, the "data" chunk's declared length (and `data` describes it); 0: missing,
// not such a file, or no "data" chunk in the first 65536 bytes; -1: unreadable or broken,
// a "data" chunk longer than the file included.
// `data` is reset when the file exists and set only when a "data" chunk is found.
std::int32_t checkWaveFile(const std::string& sFileName, WaveData& data);

}  // namespace card
