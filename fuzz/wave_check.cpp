// The card window's check of a message wave file.
#include <cstdint>

#include "card/wave_check.h"
#include "support/scratch.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzz::writeInput("Msg.wav", {data, size});
    card::WaveData wave;
    (void)card::checkWaveFile(path, wave);
    return 0;
}
