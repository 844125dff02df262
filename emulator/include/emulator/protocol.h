#pragma once
// The reader's command protocol as the reader sees it: 32-byte command packets in, 8-byte
// replies and data out.
#include <cstddef>
#include <cstdint>

namespace emulator::protocol {

inline constexpr std::size_t kCommandBytes = 32;
inline constexpr std::size_t kReplyBytes = 8;
inline constexpr char kHead[] = "RDX-700 ";   // bytes 0..7
inline constexpr char kTail[] = " RDX-END";   // bytes 24..31

// Commands as the host names them; 0x10 marks a whole erase block (byte 12 of the packet).
inline constexpr std::uint8_t kErase = 0x01;
inline constexpr std::uint8_t kReadSector = 0x02;
inline constexpr std::uint8_t kWriteSector = 0x03;
inline constexpr std::uint8_t kStatus = 0x04;
inline constexpr std::uint8_t kWholeBlock = 0x10;
inline constexpr std::uint8_t kReadBlock = kWholeBlock | kReadSector;
inline constexpr std::uint8_t kWriteBlock = kWholeBlock | kWriteSector;

// Reply byte 0.
inline constexpr std::uint8_t kAck = 0x55;
inline constexpr std::uint8_t kRefused = 0xAA;
inline constexpr std::uint8_t kEraseFailure = 0xBB;
inline constexpr std::uint8_t kBusy = 0xEE;
inline constexpr std::uint8_t kNoCard = 0xFF;

// Reply byte 5 after the data of a write.
inline constexpr std::uint8_t kDataEcho = 0xCC;

// Reply byte 5 for a command, by its low four bits; 0 for a command the reader lacks.
constexpr std::uint8_t echoOf(std::uint8_t command) {
    switch (command & 0x0F) {
    case kErase: return 0x33;
    case kReadSector: return 0x44;
    case kWriteSector: return 0x11;
    case kStatus: return 0x22;
    default: return 0x00;
    }
}

}  // namespace emulator::protocol
