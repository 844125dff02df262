#include "emulator/chip.h"

namespace emulator {

ChipInfo chipInfo(std::uint8_t code) {
    switch (code) {
    case 0xA4: return {1, 8, 128};
    case 0xEA: return {2, 8, 512};
    case 0xE3:
    case 0xE5: return {3, 16, 512};
    case 0xE6: return {4, 16, 1024};
    case 0x73: return {5, 32, 1024};
    case 0x75: return {6, 32, 2048};
    case 0x76: return {7, 32, 4096};
    default: return {0, 8, 128};
    }
}

}  // namespace emulator
