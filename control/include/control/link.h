#pragma once
// The reader link: finding the RDX-700, its two pipes, and the USB command protocol: a
// 32-byte command packet, 8-byte replies and a data phase of one sector or one whole erase
// block. Every outcome becomes a card error number.
#include <array>
#include <cstdint>
#include <mutex>
#include <span>

namespace control {

// Commands of the reader. Bit 4 asks for the whole erase block.
enum ReaderCommand : int {
    CmdErase = 0x01,
    CmdReadSector = 0x02,
    CmdWriteSector = 0x03,
    CmdStatus = 0x04,
    CmdReadBlock = 0x12,
    CmdWriteBlock = 0x13,
};

inline constexpr std::size_t kPacketBytes = 32;
inline constexpr std::size_t kReplyBytes = 8;
inline constexpr std::size_t kSectorBytes = 512;
inline constexpr std::uint32_t kReplyLimitMs = 4000;

// Reply codes (reply byte 0).
inline constexpr std::uint8_t kAck = 0x55;
inline constexpr std::uint8_t kNck = 0xAA;
inline constexpr std::uint8_t kEraseFailure = 0xBB;
inline constexpr std::uint8_t kBusy = 0xEE;
inline constexpr std::uint8_t kNoCard = 0xFF;
// Echo of a written data phase (reply byte 5).
inline constexpr std::uint8_t kDataEcho = 0xCC;

// What a chip code says of the chip.
struct ChipInfo {
    int chipClass = 0;        // 1..7; 0 when the code is not known
    int sectorsPerBlock = 8;
    int blocks = 128;
};
ChipInfo chipInfo(std::uint8_t code);

// The card in the reader, as the last status command found it.
struct Geometry {
    int chipClass = 0;
    int sectorsPerBlock = 8;
    int blocksFirstChip = 128;
    int blocksSecondChip = 0;
    std::size_t blockBytes() const { return static_cast<std::size_t>(sectorsPerBlock) * kSectorBytes; }
};
Geometry rdxGeometry();
// The firmware word of the last transaction: set only by a status command.
std::uint16_t rdxFirmwareWord();

// Builds the command packet for `command` at `sector` with the geometry of the last status
// command. Returns the packet's size.
std::size_t rdxMakeCommand(int command, std::uint32_t sector,
                           std::array<std::uint8_t, kPacketBytes>& packet);

// One command: send, wait for the reply with the right echo, run the data phase. `data` is
// the sector or block to read into or to write; it must hold the whole data phase.
int rdxTransact(int command, std::uint32_t sector, std::span<std::uint8_t> data = {});

// Closes both pipes. 0, or 100 when a close failed.
int rdxCloseLink();
bool rdxLinkOpen();

// Status command: the erase-block size in bytes, or 0 on any error; 104 for a chip the
// control does not know. Closes the link when no operation holds it.
int rdxCardStatus(std::size_t& blockBytes);

// Sector and block operations (block numbers are erase blocks).
int rdxReadSectors(std::uint32_t firstSector, std::size_t count, std::span<std::uint8_t> out);
int rdxWriteSectors(std::uint32_t firstSector, std::size_t count, std::span<const std::uint8_t> data);
int rdxReadBlock(std::uint32_t block, std::span<std::uint8_t> out);
int rdxWriteBlock(std::uint32_t block, std::span<const std::uint8_t> data);
int rdxEraseBlock(std::uint32_t block);

// What moving `sectors` sectors of one erase block costs on the reader's full-speed wire, in
// 1-ms frames: a frame for the command and each reply, 19 packets of 64 bytes a frame for
// the data, and the chip's 250 µs a sector to program. A whole-block command moves the whole
// block; sector commands move one sector each.
int rdxReadCost(std::size_t sectors, bool wholeBlock);
int rdxWriteCost(std::size_t sectors, bool wholeBlock);
// Reads `count` sectors of `block` from sector `first` into `out`, as sector reads or as one
// whole-block read, whichever costs less.
int rdxReadRange(std::size_t block, std::size_t first, std::size_t count, std::span<std::uint8_t> out);
// Writes the first `count` sectors of an erased block from `data`, as sector writes or as one
// whole-block write (the rest of the block 0xFF, which programs nothing), whichever costs
// less. Only for a block that is not programmed again before its next erase.
int rdxWriteRange(std::size_t block, std::size_t count, std::span<const std::uint8_t> data);

// Holds the link for one operation: the link's mutex is held (the playback worker and the
// program's thread share the link), and when the outermost session ends the link is closed,
// so every operation finds and opens the reader afresh.
class LinkSession {
public:
    LinkSession();
    ~LinkSession();
    LinkSession(const LinkSession&) = delete;
    LinkSession& operator=(const LinkSession&) = delete;

private:
    std::unique_lock<std::recursive_mutex> lock_;
};

}  // namespace control
