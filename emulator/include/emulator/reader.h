#pragma once
// The RDX-700 card reader/writer, from its firmware's side, with a memory card slot.
//
// Two faces over one reader:
// - the USB face (usb::Function), which an emulated bus drives packet by packet: bulk OUT
//   endpoint 0x01 first, bulk IN endpoint 0x82 second, 64 or 512-byte packets. Replies go
//   as short packets; data goes as full packets, so that a host read of 512 bytes or of a
//   whole block completes in one transfer. A silent reader answers Nak;
// - the byte-stream face (write, read), which stands in for the host's two pipes: one
//   write is one pipe write, one read takes the next transfer the reader sends.
//
// The reader carries out one command at a time. A new command drops what the reader had
// not yet sent of the previous one. All state is guarded by one mutex, so a bus thread may
// drive the reader while a test pulls or inserts the card.
#include "emulator/card.h"
#include "emulator/clock.h"
#include "emulator/protocol.h"
#include "usb/function.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <array>
#include <deque>
#include <iosfwd>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace emulator {

// The emulated reader's USB ids (pid.codes' test ids; a real reader has its own).
inline constexpr std::uint16_t kVendorId = 0x1209;
inline constexpr std::uint16_t kProductId = 0x0001;
inline constexpr std::uint8_t kOutEndpoint = 0x01;
inline constexpr std::uint8_t kInEndpoint = 0x82;

// Fast: no delay at all. Wire: a full-speed link (64-byte packets in 1 ms frames, each
// transfer from the next frame on) and the chip's erase, program and read times, on the
// reader's clock, whatever the packet size of the USB face. The byte-stream face waits on
// the clock; the USB face answers Nak until the time has come.
enum class Timing { Fast, Wire };

struct WireTiming {
    std::chrono::nanoseconds frame = std::chrono::milliseconds(1);
    std::size_t packetBytes = 64;
    std::size_t packetsPerFrame = 19;  // bulk packets a full-speed frame carries at most
    std::chrono::nanoseconds blockErase = std::chrono::milliseconds(2);
    std::chrono::nanoseconds sectorProgram = std::chrono::microseconds(250);
    std::chrono::nanoseconds sectorRead = std::chrono::microseconds(25);
};

struct ReaderOptions {
    std::uint16_t maxPacketSize = 64;   // 64 (full speed) or 512 (high speed)
    std::uint16_t firmwareWord = 0x0100;
    Timing timing = Timing::Fast;
    WireTiming wire{};
    std::shared_ptr<Clock> clock;       // wire timing; a SteadyClock when empty
    std::uint16_t vendorId = kVendorId;
    std::uint16_t productId = kProductId;
    std::string serialNumber = "EMU0001";
};

// Faults the reader can be told to show. Each injected fault waits for the next command
// it applies to (any command, or only the one named), and is used up there.
enum class Fault {
    Busy,              // reply 0xEE with the right echo; the command is not carried out
    StrayReply,        // first a reply with another command's echo
    ZeroLengthReply,   // first a zero-length transfer, then the reply
    Silence,           // no reply at all; the command is not carried out
    Nck,               // reply 0xAA; the command is not carried out
    ZeroLengthInData,  // reads: a zero-length transfer before the data
    StrayPacketInData, // reads: an 8-byte packet (the reply again) before the data
    ShortData,         // reads: the data comes 8 bytes short
    SilentData,        // reads: the reply, then no data
    RefuseData,        // writes: the data is taken, then 0xAA after it; nothing programmed
    SilentAfterData,   // writes: the data is taken and programmed, no reply after it
    CorruptReplyCode,  // the command is carried out, but its reply's code arrives as 0x5A,
                       // a code the protocol lacks (a write then waits for its data)
    FlipDataBit,       // reads: one bit of the data is flipped on the way (the flash keeps
                       // it); which one is set by flipBitAt
};

// The code a CorruptReplyCode reply carries.
inline constexpr std::uint8_t kCorruptCode = 0x5A;

inline constexpr std::uint8_t kAnyCommand = 0;

// One command as the reader received it, for tests that assert the order of operations.
struct LoggedCommand {
    std::uint8_t command = 0;   // 1, 2, 3, 4, 0x12, 0x13 (0 for a packet that was no command)
    std::uint16_t block = 0;
    std::uint8_t sector = 0;    // within the block
    std::optional<std::uint8_t> reply;      // byte 0 of the reply; none when silent
    std::optional<std::uint8_t> dataReply;  // writes: byte 0 of the reply after the data
    bool operator==(const LoggedCommand&) const = default;
};
// For test failure messages: "13 block 2 sector 31 -> 55/55".
std::ostream& operator<<(std::ostream& out, const LoggedCommand& command);

class Reader : public usb::Function {
public:
    explicit Reader(ReaderOptions options = {});
    ~Reader() override;

    // The card slot. Inserting replaces a card already there; pull hands the card back.
    void insert(std::shared_ptr<Card> card);
    std::shared_ptr<Card> pull();
    std::shared_ptr<Card> card() const;

    // Byte-stream face. One pipe write of the host (a 32-byte command, or a data phase).
    // Returns the bytes taken: a data phase takes no more than it expects; a write that
    // is not 32 bytes while no data is expected is taken whole and refused (0xAA); an
    // empty write is no command at all.
    std::size_t write(std::span<const std::uint8_t> bytes);
    // One pipe read of at most out.size() bytes: the next transfer the reader sends. Its
    // length (0 for a zero-length packet), or std::nullopt when the reader is silent. A
    // transfer longer than `out` is handed out over several reads.
    std::optional<std::size_t> read(std::span<std::uint8_t> out);

    // Faults.
    void inject(Fault fault, int times = 1, std::uint8_t command = kAnyCommand);
    // The same, armed only once that many further commands ended: a fault at the
    // (commands + 1)-th command from now, when it applies to that one.
    void injectAfter(int commands, Fault fault, int times = 1, std::uint8_t command = kAnyCommand);
    void failErase(std::size_t block);          // erasing it replies 0xBB, block unchanged
    void refuseDataOn(std::size_t block);       // writes into it reply 0xAA after the data
    // Writes that would have to set a cleared bit reply 0xBB after the data and program
    // nothing, as a chip that checks its pages does. Off: they are ANDed in.
    void refuseUnerasedWrites(bool refuse);
    void pullCardAfter(int commands);           // the card goes once that many commands ended
    // The byte (of the data phase) and the bit mask that FlipDataBit flips: byte 0, bit 0
    // unless set.
    void flipBitAt(std::size_t byte, std::uint8_t mask = 0x01);
    // The reader's cable: once that many commands ended and their replies could be read,
    // the byte-stream face takes nothing and sends nothing, until it is plugged in again.
    void unplugAfter(int commands);
    void plugIn();
    bool plugged() const;
    void setFirmwareWord(std::uint16_t word);
    void clearFaults();

    // The commands received, oldest first: the latest `limit` of them (a million unless
    // set; 0 keeps none).
    std::vector<LoggedCommand> log() const;
    void clearLog();
    void setLogLimit(std::size_t limit);

    std::uint16_t maxPacketSize() const { return maxPacket_; }

    // USB face. The endpoints answer whether or not a configuration was selected; a
    // reset or a new configuration drops a command under way.
    std::vector<std::uint8_t> descriptor(std::uint8_t type, std::uint8_t index,
                                         std::uint16_t languageId) const override;
    usb::Handshake out(std::uint8_t address, std::span<const std::uint8_t> packet) override;
    usb::Handshake in(std::uint8_t address, std::vector<std::uint8_t>& packet) override;
    void reset() override;
    void setConfiguration(std::uint8_t value) override;

private:
    struct Transfer;
    struct Injected {
        Fault fault;
        int times;
        std::uint8_t command;
        int after = 0;  // commands still to end before it is armed
    };
    struct Faults;
    struct DataOut;

    using Lock = std::unique_lock<std::mutex>;
    std::size_t takeBytes(std::span<const std::uint8_t> bytes);
    std::size_t takeData(std::span<const std::uint8_t> bytes);
    void command(std::span<const std::uint8_t> packet);
    void refuseMalformed();
    std::uint8_t carryOut(std::uint8_t command, std::uint16_t block, std::uint8_t sector,
                          const Faults& faults, std::uint64_t sequence);
    void queueRead(std::uint16_t block, std::size_t sector, std::size_t sectors, const Faults& faults);
    void dataComplete();
    void commandEnded();
    Faults takeFaults(std::uint8_t command);
    void queueReply(std::uint8_t code, std::uint8_t echo, Clock::duration delay = {});
    void queueZeroLength();
    std::array<std::uint8_t, 8> replyBytes(std::uint8_t code, std::uint8_t echo) const;
    std::size_t copyOut(Transfer& transfer, std::span<std::uint8_t> out) const;
    void popFront();
    void dropQueue();
    void pullLocked();
    LoggedCommand* logEntry(std::uint64_t sequence);
    Clock::duration now() const;
    Clock::duration linkTime(Clock::duration start, std::size_t bytes) const;

    mutable std::mutex mutex_;
    const ReaderOptions options_;
    const std::uint16_t maxPacket_;
    const bool wire_;
    std::shared_ptr<Clock> clock_;
    std::uint16_t firmwareWord_;

    std::shared_ptr<Card> card_;
    std::uint64_t cardEpoch_ = 0;   // moves at every insert and pull

    std::vector<Transfer> queue_;   // what the reader sends, oldest at head_
    std::size_t head_ = 0;
    std::vector<std::uint8_t> commandBytes_;  // USB face: the command packet so far
    std::unique_ptr<DataOut> dataOut_;
    Clock::duration inFreeAt_{}, outFreeAt_{};

    std::vector<Injected> injected_;
    std::vector<std::size_t> failErase_, refuseData_;
    std::optional<int> pullAfter_;
    std::optional<int> unplugAfter_;
    bool unplugged_ = false;
    std::size_t flipByte_ = 0;
    std::uint8_t flipMask_ = 0x01;
    bool refuseUnerased_ = false;

    std::deque<LoggedCommand> log_;
    std::uint64_t logSequence_ = 0;   // sequence number of the next entry
    std::size_t logLimit_ = 1 << 20;
};

}  // namespace emulator
