#include "control/link.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "control/errors.h"
#include "control/host.h"
#include "control/reader_port.h"

namespace control {
namespace {

using namespace cardError;

constexpr char kHead[] = "RDX-700 ";
constexpr char kTail[] = " RDX-END";
constexpr int kMaxSends = 3;
// How long the link listens for what a reader still sends after a reply it could not read.
constexpr unsigned kDrainMs = 100;
constexpr int kDrainReads = 16;

struct Link {
    std::recursive_mutex mutex;
    std::unique_ptr<ReaderPort> port = makeDevicesReaderPort();
    bool open = false;
    int sessions = 0;
    std::uint16_t firmwareWord = 0;
    Geometry geometry;
};

Link& link() {
    static Link instance;
    return instance;
}

using Reply = std::array<std::uint8_t, kReplyBytes>;

std::uint8_t expectedEcho(int command) {
    switch (command & 0x0F) {
    case CmdErase: return 0x33;
    case CmdReadSector: return 0x44;
    case CmdWriteSector: return 0x11;
    case CmdStatus: return 0x22;
    default: return 0;
    }
}

std::uint32_t elapsedSince(std::uint32_t start) { return tickCount() - start; }

unsigned remainingOf(std::uint32_t start) {
    const std::uint32_t spent = elapsedSince(start);
    return spent >= kReplyLimitMs ? 1u : kReplyLimitMs - spent;
}

// Reads replies until one carries `echo`. Empty reads and other echoes are skipped; a reply
// that arrives is taken even when it took long, so the limit only ends a wait that produced
// nothing usable.
int awaitReply(ReaderPort& port, std::uint8_t echo, int timeoutError, Reply& reply) {
    const std::uint32_t start = tickCount();
    for (;;) {
        reply.fill(0);
        const long got = port.read(reply, remainingOf(start));
        if (got > 0 && reply[5] == echo) return Done;
        if (elapsedSince(start) >= kReplyLimitMs) return timeoutError;
        if (got < 0) return ReceiveFailed;
    }
}

// The data phase of a read: one transfer of exactly `out.size()` bytes. Stray replies (8
// bytes) and empty transfers are skipped.
int receiveData(ReaderPort& port, std::span<std::uint8_t> out) {
    const std::uint32_t start = tickCount();
    for (;;) {
        const long got = port.read(out, remainingOf(start));
        if (got == static_cast<long>(out.size())) return Done;
        if (elapsedSince(start) >= kReplyLimitMs) return DataTimeout;
        if (got < 0) return ReceiveFailed;
        if (got != 0 && got != static_cast<long>(kReplyBytes)) return ReceiveFailed;
    }
}

int sendData(ReaderPort& port, std::span<const std::uint8_t> data) {
    if (port.write(data) != static_cast<long>(data.size())) return SendFailed;
    Reply reply{};
    if (const int e = awaitReply(port, kDataEcho, WriteReplyTimeout, reply)) return e;
    switch (reply[0]) {
    case kAck: return Done;
    case kNck:
    case kEraseFailure: return WriteRefused;
    case kNoCard: return NoCard;
    default: return ReceiveFailed;
    }
}

void decodeStatus(const Reply& reply, Geometry& geometry) {
    const ChipInfo first = chipInfo(reply[2]);
    geometry.chipClass = first.chipClass;
    geometry.sectorsPerBlock = first.sectorsPerBlock;
    geometry.blocksFirstChip = first.blocks;
    geometry.blocksSecondChip = reply[4] == 0xFF ? 0 : chipInfo(reply[4]).blocks;
}

int afterAck(Link& l, int command, const Reply& reply, std::span<std::uint8_t> data) {
    const bool whole = (command & 0x10) != 0;
    const std::size_t size = whole ? l.geometry.blockBytes() : kSectorBytes;
    switch (command & 0x0F) {
    case CmdReadSector:
        if (data.size() < size) return ReceiveFailed;
        return receiveData(*l.port, data.first(size));
    case CmdWriteSector:
        if (data.size() < size) return SendFailed;
        return sendData(*l.port, data.first(size));
    case CmdStatus:
        decodeStatus(reply, l.geometry);
        return Done;
    default:
        return Done;
    }
}

// Reads away whatever the reader still sends.
void drain(ReaderPort& port) {
    std::vector<std::uint8_t> buffer(32 * kSectorBytes);
    for (int i = 0; i < kDrainReads && port.read(buffer, kDrainMs) > 0; ++i) {
    }
}

// A reply the link could not read may hide a command the reader carried out. A write then
// waits for its data: it gets bytes that program nothing (0xFF), so that the next command
// is heard as a command and not taken for data. They go in two writes, the last of one byte:
// a reader that was not waiting takes each for a malformed command (a short transfer ends
// it) and refuses it. What the reader still sends is read away.
int resync(Link& l, int command, int error) {
    if ((command & 0x0F) == CmdWriteSector) {
        const std::vector<std::uint8_t> filler((command & 0x10) ? l.geometry.blockBytes() : kSectorBytes, 0xFF);
        static_cast<void>(l.port->write(std::span(filler).first(filler.size() - 1)));
        static_cast<void>(l.port->write(std::span(filler).last(1)));
    }
    drain(*l.port);
    return error;
}

bool leavesTheLinkUnsure(int error) {
    return error == ReceiveFailed || error == ReplyTimeout || error == DataTimeout || error == WriteReplyTimeout;
}

int openLink(Link& l) {
    if (l.open) return Done;
    if (!l.port->find()) return NoDriver;
    l.port->close();
    if (!l.port->open()) {
        l.port->close();
        return NoResponse;
    }
    l.open = true;
    return Done;
}

}  // namespace

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

Geometry rdxGeometry() {
    std::lock_guard lock(link().mutex);
    return link().geometry;
}

std::uint16_t rdxFirmwareWord() {
    std::lock_guard lock(link().mutex);
    return link().firmwareWord;
}

std::size_t rdxMakeCommand(int command, std::uint32_t sector,
                           std::array<std::uint8_t, kPacketBytes>& packet) {
    packet.fill(0);
    std::memcpy(packet.data(), kHead, 8);
    std::memcpy(packet.data() + 24, kTail, 8);
    packet[8] = static_cast<std::uint8_t>(command & ~0x10);
    if ((command & 0x0F) == CmdStatus) return packet.size();

    const auto spb = static_cast<std::uint32_t>(link().geometry.sectorsPerBlock);
    const int shift = spb == 32 ? 5 : spb == 16 ? 4 : 3;
    const std::uint32_t block = sector >> shift;
    const bool whole = (command & 0x10) != 0;
    packet[9] = static_cast<std::uint8_t>(block & 0xFF);
    packet[10] = static_cast<std::uint8_t>((block >> 8) & 0xFF);
    packet[11] = static_cast<std::uint8_t>(whole ? spb - 1 : sector & (spb - 1));
    packet[12] = whole ? 1 : 0;
    return packet.size();
}

int rdxTransact(int command, std::uint32_t sector, std::span<std::uint8_t> data) {
    Link& l = link();
    std::lock_guard lock(l.mutex);
    l.firmwareWord = 0;
    if (const int e = openLink(l)) return e;

    const std::uint8_t echo = expectedEcho(command);
    if (echo == 0) return ReceiveFailed;
    std::array<std::uint8_t, kPacketBytes> packet{};
    rdxMakeCommand(command, sector, packet);

    for (int sends = 1;; ++sends) {
        if (l.port->write(packet) != static_cast<long>(packet.size())) return SendFailed;
        Reply reply{};
        if (const int e = awaitReply(*l.port, echo, ReplyTimeout, reply)) return resync(l, command, e);
        if ((command & 0x0F) == CmdStatus)
            l.firmwareWord = static_cast<std::uint16_t>(reply[6] << 8 | reply[7]);
        switch (reply[0]) {
        case kAck: {
            const int e = afterAck(l, command, reply, data);
            return leavesTheLinkUnsure(e) ? resync(l, 0, e) : e;
        }
        case kNck: return CommandRefused;
        case kEraseFailure: return EraseFailed;
        case kNoCard: return NoCard;
        case kBusy:
            if (sends == kMaxSends) return ReceiveFailed;
            continue;
        default: return resync(l, command, ReceiveFailed);
        }
    }
}

int rdxCloseLink() {
    Link& l = link();
    std::lock_guard lock(l.mutex);
    const bool closed = l.port->close();
    l.open = false;
    return closed ? Done : NoResponse;
}

bool rdxLinkOpen() {
    std::lock_guard lock(link().mutex);
    return link().open;
}

int rdxCardStatus(std::size_t& blockBytes) {
    LinkSession session;
    blockBytes = 0;
    if (const int e = rdxTransact(CmdStatus, 0)) return e;
    const Geometry g = link().geometry;
    if (g.chipClass == 0) return Unrecognised;
    blockBytes = g.blockBytes();
    return Done;
}

int rdxReadSectors(std::uint32_t firstSector, std::size_t count, std::span<std::uint8_t> out) {
    if (out.size() < count * kSectorBytes) return ReceiveFailed;
    for (std::size_t i = 0; i < count; ++i) {
        const auto sector = firstSector + static_cast<std::uint32_t>(i);
        if (const int e = rdxTransact(CmdReadSector, sector, out.subspan(i * kSectorBytes, kSectorBytes)))
            return e;
    }
    return Done;
}

int rdxWriteSectors(std::uint32_t firstSector, std::size_t count, std::span<const std::uint8_t> data) {
    if (data.size() < count * kSectorBytes) return SendFailed;
    std::array<std::uint8_t, kSectorBytes> sector{};
    for (std::size_t i = 0; i < count; ++i) {
        std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(i * kSectorBytes), kSectorBytes, sector.begin());
        if (const int e = rdxTransact(CmdWriteSector, firstSector + static_cast<std::uint32_t>(i), sector))
            return e;
    }
    return Done;
}

int rdxReadBlock(std::uint32_t block, std::span<std::uint8_t> out) {
    std::lock_guard lock(link().mutex);
    const auto spb = static_cast<std::uint32_t>(link().geometry.sectorsPerBlock);
    return rdxTransact(CmdReadBlock, block * spb, out);
}

int rdxWriteBlock(std::uint32_t block, std::span<const std::uint8_t> data) {
    std::lock_guard lock(link().mutex);
    const auto spb = static_cast<std::uint32_t>(link().geometry.sectorsPerBlock);
    std::vector<std::uint8_t> buffer(data.begin(), data.end());
    return rdxTransact(CmdWriteBlock, block * spb, buffer);
}

int rdxEraseBlock(std::uint32_t block) {
    std::lock_guard lock(link().mutex);
    const auto spb = static_cast<std::uint32_t>(link().geometry.sectorsPerBlock);
    return rdxTransact(CmdErase, block * spb);
}

namespace {

constexpr int kPacketsPerFrame = 19;
constexpr std::size_t kPacketBytes64 = 64;

int dataFrames(std::size_t bytes) {
    const std::size_t packets = std::max<std::size_t>(1, (bytes + kPacketBytes64 - 1) / kPacketBytes64);
    return static_cast<int>((packets + kPacketsPerFrame - 1) / kPacketsPerFrame);
}

int programFrames(std::size_t sectors) { return static_cast<int>((sectors + 3) / 4); }

std::size_t sectorsPerBlock() { return static_cast<std::size_t>(link().geometry.sectorsPerBlock); }

}  // namespace

int rdxReadCost(std::size_t sectors, bool wholeBlock) {
    if (wholeBlock) return 2 + dataFrames(sectorsPerBlock() * kSectorBytes);
    return static_cast<int>(sectors) * (2 + dataFrames(kSectorBytes));
}

int rdxWriteCost(std::size_t sectors, bool wholeBlock) {
    if (wholeBlock) return 3 + dataFrames(sectorsPerBlock() * kSectorBytes) + programFrames(sectorsPerBlock());
    return static_cast<int>(sectors) * (3 + dataFrames(kSectorBytes) + programFrames(1));
}

int rdxReadRange(std::size_t block, std::size_t first, std::size_t count, std::span<std::uint8_t> out) {
    std::lock_guard lock(link().mutex);
    const std::size_t spb = sectorsPerBlock();
    if (count == 0) return Done;
    if (first + count > spb || out.size() < count * kSectorBytes) return ReceiveFailed;
    const auto firstSector = static_cast<std::uint32_t>(block * spb + first);
    if (rdxReadCost(count, true) > rdxReadCost(count, false)) return rdxReadSectors(firstSector, count, out);
    std::vector<std::uint8_t> whole(spb * kSectorBytes);
    if (const int e = rdxReadBlock(static_cast<std::uint32_t>(block), whole)) return e;
    std::copy_n(whole.begin() + static_cast<std::ptrdiff_t>(first * kSectorBytes), count * kSectorBytes, out.begin());
    return Done;
}

int rdxWriteRange(std::size_t block, std::size_t count, std::span<const std::uint8_t> data) {
    std::lock_guard lock(link().mutex);
    const std::size_t spb = sectorsPerBlock();
    if (count == 0) return Done;
    if (count > spb || data.size() < count * kSectorBytes) return SendFailed;
    if (rdxWriteCost(count, true) > rdxWriteCost(count, false))
        return rdxWriteSectors(static_cast<std::uint32_t>(block * spb), count, data);
    std::vector<std::uint8_t> whole(spb * kSectorBytes, 0xFF);
    std::copy_n(data.begin(), count * kSectorBytes, whole.begin());
    return rdxWriteBlock(static_cast<std::uint32_t>(block), whole);
}

LinkSession::LinkSession() : lock_(link().mutex) { ++link().sessions; }

LinkSession::~LinkSession() {
    if (--link().sessions == 0) rdxCloseLink();
}

void setReaderPort(std::unique_ptr<ReaderPort> port) {
    Link& l = link();
    std::lock_guard lock(l.mutex);
    if (l.open) l.port->close();
    l.open = false;
    l.port = port ? std::move(port) : makeDevicesReaderPort();
    l.geometry = Geometry{};
    l.firmwareWord = 0;
}

}  // namespace control
