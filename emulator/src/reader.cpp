// The reader's firmware: commands, replies, data phases and injected faults.
#include "reader_state.h"

#include <algorithm>
#include <cstring>
#include <ostream>
#include <stdexcept>

namespace emulator {

using namespace protocol;

namespace {

constexpr std::size_t kLargestBlock = 32 * kSectorBytes;

bool isRead(std::uint8_t command) { return (command & 0x0F) == kReadSector; }
bool isWrite(std::uint8_t command) { return (command & 0x0F) == kWriteSector; }

bool applies(Fault fault, std::uint8_t command) {
    switch (fault) {
    case Fault::ZeroLengthInData:
    case Fault::StrayPacketInData:
    case Fault::ShortData:
    case Fault::SilentData:
    case Fault::FlipDataBit: return isRead(command);
    case Fault::RefuseData:
    case Fault::SilentAfterData: return isWrite(command);
    default: return true;
    }
}

// True when the data needs no bit set that the flash holds cleared.
bool programmable(const Card& card, std::span<const std::uint8_t> data, std::size_t block, std::size_t offset) {
    const std::uint8_t* flash = card.blockData(block);
    if (!flash) return true;
    for (std::size_t i = 0; i < data.size(); ++i)
        if ((flash[offset + i] & data[i]) != data[i]) return false;
    return true;
}

bool contains(const std::vector<std::size_t>& blocks, std::size_t block) {
    return std::find(blocks.begin(), blocks.end(), block) != blocks.end();
}

}  // namespace

Reader::Reader(ReaderOptions options)
    : options_(std::move(options)),
      maxPacket_(options_.maxPacketSize),
      wire_(options_.timing == Timing::Wire),
      clock_(options_.clock),
      firmwareWord_(options_.firmwareWord),
      dataOut_(std::make_unique<DataOut>()) {
    if (maxPacket_ != 64 && maxPacket_ != 512)
        throw std::invalid_argument("the reader's packets are 64 or 512 bytes");
    if (wire_ && !clock_) clock_ = std::make_shared<SteadyClock>();
    dataOut_->bytes.resize(kLargestBlock);
    queue_.reserve(16);
    commandBytes_.reserve(kCommandBytes + 1);
}

Reader::~Reader() = default;

// ---- the card slot -------------------------------------------------------------------

void Reader::insert(std::shared_ptr<Card> card) {
    std::lock_guard lock(mutex_);
    card_ = std::move(card);
    ++cardEpoch_;
}

std::shared_ptr<Card> Reader::pull() {
    std::lock_guard lock(mutex_);
    auto card = std::move(card_);
    pullLocked();
    return card;
}

void Reader::pullLocked() {
    card_.reset();
    ++cardEpoch_;
}

std::shared_ptr<Card> Reader::card() const {
    std::lock_guard lock(mutex_);
    return card_;
}

// ---- the byte-stream face -------------------------------------------------------------

std::size_t Reader::write(std::span<const std::uint8_t> bytes) {
    if (wire_) clock_->sleepUntil(linkTime(clock_->now(), bytes.size()));
    std::lock_guard lock(mutex_);
    if (unplugAfter_ && *unplugAfter_ <= 0) {
        unplugAfter_.reset();
        unplugged_ = true;
        dropQueue();
    }
    if (unplugged_) return 0;
    return takeBytes(bytes);
}

std::optional<std::size_t> Reader::read(std::span<std::uint8_t> out) {
    Lock lock(mutex_);
    while (wire_ && head_ < queue_.size()) {
        const auto ready = queue_[head_].readyAt;
        if (ready <= clock_->now()) break;
        lock.unlock();
        clock_->sleepUntil(ready);
        lock.lock();
    }
    if (unplugged_ || head_ == queue_.size()) return std::nullopt;
    Transfer& transfer = queue_[head_];
    const std::size_t n = copyOut(transfer, out);
    transfer.sent += static_cast<std::uint32_t>(n);
    if (transfer.sent >= transfer.length) popFront();
    if (wire_) {
        const auto end = linkTime(clock_->now(), n);
        lock.unlock();
        clock_->sleepUntil(end);
    }
    return n;
}

std::size_t Reader::takeBytes(std::span<const std::uint8_t> bytes) {
    if (dataOut_->active) return takeData(bytes);
    if (bytes.empty()) return 0;  // a zero-length transfer carries no command
    if (bytes.size() != kCommandBytes) {
        refuseMalformed();
        return bytes.size();
    }
    command(bytes);
    return kCommandBytes;
}

std::size_t Reader::takeData(std::span<const std::uint8_t> bytes) {
    DataOut& d = *dataOut_;
    const std::size_t n = std::min(bytes.size(), d.size - d.received);
    if (n == 0) return 0;
    std::memcpy(d.bytes.data() + d.received, bytes.data(), n);
    d.received += n;
    if (d.received == d.size) dataComplete();
    return n;
}

std::size_t Reader::copyOut(Transfer& transfer, std::span<std::uint8_t> out) const {
    const std::size_t n = std::min<std::size_t>(out.size(), transfer.length - transfer.sent);
    if (n == 0) return 0;
    if (transfer.kind == Transfer::Kind::Bytes)
        std::memcpy(out.data(), transfer.bytes.data() + transfer.sent, n);
    else if (card_ && transfer.epoch == cardEpoch_)
        card_->read(transfer.block, transfer.offset + transfer.sent, out.first(n));
    else
        std::memset(out.data(), 0xFF, n);  // the card went while its data was on the way
    if (transfer.flip && flipByte_ >= transfer.sent && flipByte_ < transfer.sent + n)
        out[flipByte_ - transfer.sent] ^= flipMask_;
    return n;
}

void Reader::popFront() {
    if (++head_ == queue_.size()) dropQueue();
}

void Reader::dropQueue() {
    queue_.clear();
    head_ = 0;
}

// ---- commands ---------------------------------------------------------------------------

void Reader::command(std::span<const std::uint8_t> packet) {
    dropQueue();  // whatever the previous command left unsent is abandoned
    const bool framed = std::memcmp(packet.data(), kHead, 8) == 0 &&
                        std::memcmp(packet.data() + 24, kTail, 8) == 0;
    const std::uint8_t code = packet[8];
    const auto block = static_cast<std::uint16_t>(packet[9] | packet[10] << 8);
    const std::uint8_t sector = packet[11];
    const bool whole = packet[12] == 1;
    const std::uint8_t command = code | (whole ? kWholeBlock : 0);

    const std::uint64_t sequence = logSequence_;
    if (logLimit_ > 0) {
        if (log_.size() >= logLimit_) log_.pop_front();
        log_.push_back({command, block, sector, std::nullopt, std::nullopt});
    }
    ++logSequence_;

    const Faults faults = injected_.empty() ? Faults{} : takeFaults(command);
    if (faults[Fault::Silence] > 0) {
        commandEnded();
        return;
    }
    const std::uint8_t echo = echoOf(code);
    for (int i = 0; i < faults[Fault::ZeroLengthReply]; ++i) queueZeroLength();
    for (int i = 0; i < faults[Fault::StrayReply]; ++i) queueReply(kAck, echo == 0x22 ? 0x33 : 0x22);

    std::uint8_t reply = kRefused;
    const bool valid = framed && echo != 0 && (code & 0xF0) == 0 && packet[12] <= 1;
    if (!valid)
        queueReply(kRefused, echo);
    else if (!card_)
        queueReply(reply = kNoCard, echo);
    else if (faults[Fault::Busy] > 0)
        queueReply(reply = kBusy, echo);
    else if (faults[Fault::Nck] > 0)
        queueReply(kRefused, echo);
    else {
        const std::size_t replyAt = queue_.size();
        reply = carryOut(command, block, sector, faults, sequence);
        if (faults[Fault::CorruptReplyCode] > 0) queue_[replyAt].bytes[0] = reply = kCorruptCode;
    }
    if (LoggedCommand* entry = logEntry(sequence)) entry->reply = reply;
    if (!dataOut_->active) commandEnded();
}

std::uint8_t Reader::carryOut(std::uint8_t command, std::uint16_t block, std::uint8_t sector,
                              const Faults& faults, std::uint64_t sequence) {
    Card& card = *card_;
    const bool whole = (command & kWholeBlock) != 0;
    const std::uint8_t echo = echoOf(command);
    const bool inRange = block < card.blockCount() && (whole || sector < card.sectorsPerBlock());
    switch (command & 0x0F) {
    case kStatus:
        queueReply(kAck, echo);
        return kAck;
    case kErase:
        if (block >= card.blockCount()) break;
        if (contains(failErase_, block) || !card.erase(block)) {
            queueReply(kEraseFailure, echo);
            return kEraseFailure;
        }
        queueReply(kAck, echo, options_.wire.blockErase);
        return kAck;
    case kReadSector:
        if (!inRange) break;
        queueReply(kAck, echo);
        queueRead(block, whole ? 0 : sector, whole ? card.sectorsPerBlock() : 1, faults);
        return kAck;
    case kWriteSector: {
        if (!inRange) break;
        queueReply(kAck, echo);
        DataOut& d = *dataOut_;
        d.active = true;
        d.block = block;
        d.offset = static_cast<std::uint32_t>((whole ? 0 : sector) * kSectorBytes);
        d.size = whole ? card.blockBytes() : kSectorBytes;
        d.received = 0;
        d.epoch = cardEpoch_;
        d.refuse = faults[Fault::RefuseData] > 0;
        d.silent = faults[Fault::SilentAfterData] > 0;
        d.logSequence = sequence;
        return kAck;
    }
    }
    queueReply(kRefused, echo);  // no such block or sector on this card
    return kRefused;
}

void Reader::queueRead(std::uint16_t block, std::size_t sector, std::size_t sectors, const Faults& faults) {
    if (faults[Fault::SilentData] > 0) return;
    for (int i = 0; i < faults[Fault::ZeroLengthInData]; ++i) queueZeroLength();
    if (faults[Fault::StrayPacketInData] > 0) {
        Transfer stray;
        stray.bytes = replyBytes(kAck, echoOf(kReadSector));
        stray.length = kReplyBytes;
        stray.readyAt = now();
        queue_.push_back(stray);
    }
    Transfer data;
    data.kind = Transfer::Kind::Data;
    data.block = block;
    data.offset = static_cast<std::uint32_t>(sector * kSectorBytes);
    data.length = static_cast<std::uint32_t>(sectors * kSectorBytes - (faults[Fault::ShortData] > 0 ? 8 : 0));
    data.epoch = cardEpoch_;
    data.flip = faults[Fault::FlipDataBit] > 0;
    data.readyAt = now() + options_.wire.sectorRead * static_cast<int>(sectors);
    queue_.push_back(data);
}

void Reader::dataComplete() {
    DataOut& d = *dataOut_;
    d.active = false;
    std::uint8_t code = kAck;
    if (!card_ || d.epoch != cardEpoch_)
        code = kNoCard;
    else if (d.refuse || contains(refuseData_, d.block))
        code = kRefused;
    else if (refuseUnerased_ && !programmable(*card_, std::span(d.bytes).first(d.size), d.block, d.offset))
        code = kEraseFailure;
    else if (!card_->program(d.block, d.offset, std::span(d.bytes).first(d.size)))
        code = kRefused;
    if (!d.silent) {
        const auto sectors = static_cast<int>(d.size / kSectorBytes);
        queueReply(code, kDataEcho, code == kAck ? options_.wire.sectorProgram * sectors : Clock::duration{});
    }
    if (LoggedCommand* entry = logEntry(d.logSequence)) {
        if (!d.silent) entry->dataReply = code;
    }
    commandEnded();
}

void Reader::refuseMalformed() {
    dropQueue();
    if (logLimit_ > 0) {
        if (log_.size() >= logLimit_) log_.pop_front();
        log_.push_back({0, 0, 0, kRefused, std::nullopt});
    }
    ++logSequence_;
    queueReply(kRefused, 0);
}

void Reader::commandEnded() {
    if (pullAfter_ && --*pullAfter_ <= 0) {
        pullAfter_.reset();
        pullLocked();
    }
    if (unplugAfter_) --*unplugAfter_;
    for (Injected& injected : injected_)
        if (injected.after > 0) --injected.after;
}

Reader::Faults Reader::takeFaults(std::uint8_t command) {
    Faults faults;
    for (Injected& injected : injected_) {
        if (injected.after > 0 || injected.times <= 0 || !applies(injected.fault, command)) continue;
        if (injected.command != kAnyCommand && injected.command != command) continue;
        ++faults[injected.fault];
        --injected.times;
    }
    std::erase_if(injected_, [](const Injected& i) { return i.times <= 0; });
    return faults;
}

// ---- replies ----------------------------------------------------------------------------

std::array<std::uint8_t, kReplyBytes> Reader::replyBytes(std::uint8_t code, std::uint8_t echo) const {
    std::array<std::uint8_t, kReplyBytes> reply{};
    reply[0] = code;
    if (card_) {
        reply[2] = card_->firstChip();
        reply[4] = card_->secondChip();
    } else {
        std::fill(reply.begin() + 1, reply.begin() + 5, kNoCard);
    }
    reply[5] = echo;
    reply[6] = static_cast<std::uint8_t>(firmwareWord_ >> 8);
    reply[7] = static_cast<std::uint8_t>(firmwareWord_);
    return reply;
}

void Reader::queueReply(std::uint8_t code, std::uint8_t echo, Clock::duration delay) {
    Transfer reply;
    reply.bytes = replyBytes(code, echo);
    reply.length = kReplyBytes;
    reply.readyAt = now() + delay;
    queue_.push_back(reply);
}

void Reader::queueZeroLength() {
    Transfer empty;
    empty.readyAt = now();
    queue_.push_back(empty);
}

Clock::duration Reader::now() const { return wire_ ? clock_->now() : Clock::duration{}; }

Clock::duration Reader::linkTime(Clock::duration start, std::size_t bytes) const {
    const WireTiming& w = options_.wire;
    const std::size_t packets = std::max<std::size_t>(1, (bytes + w.packetBytes - 1) / w.packetBytes);
    const auto frames = static_cast<Clock::duration::rep>((packets + w.packetsPerFrame - 1) / w.packetsPerFrame);
    const auto firstFrame = (start.count() + w.frame.count() - 1) / w.frame.count();
    return w.frame * (firstFrame + frames);
}

// ---- faults and the log -------------------------------------------------------------------

void Reader::inject(Fault fault, int times, std::uint8_t command) {
    std::lock_guard lock(mutex_);
    if (times > 0) injected_.push_back({fault, times, command});
}

void Reader::injectAfter(int commands, Fault fault, int times, std::uint8_t command) {
    std::lock_guard lock(mutex_);
    if (times > 0) injected_.push_back({fault, times, command, std::max(commands, 0)});
}

void Reader::failErase(std::size_t block) {
    std::lock_guard lock(mutex_);
    failErase_.push_back(block);
}

void Reader::refuseDataOn(std::size_t block) {
    std::lock_guard lock(mutex_);
    refuseData_.push_back(block);
}

void Reader::pullCardAfter(int commands) {
    std::lock_guard lock(mutex_);
    pullAfter_ = commands;
    if (commands <= 0) {
        pullAfter_.reset();
        pullLocked();
    }
}

void Reader::flipBitAt(std::size_t byte, std::uint8_t mask) {
    std::lock_guard lock(mutex_);
    flipByte_ = byte;
    flipMask_ = mask;
}

void Reader::unplugAfter(int commands) {
    std::lock_guard lock(mutex_);
    unplugAfter_ = commands;
    if (commands <= 0) {
        unplugAfter_.reset();
        unplugged_ = true;
    }
}

void Reader::plugIn() {
    std::lock_guard lock(mutex_);
    unplugged_ = false;
    unplugAfter_.reset();
    // What the reader had not sent, and a data phase it waited for, went with the power.
    dropQueue();
    dataOut_->active = false;
}

bool Reader::plugged() const {
    std::lock_guard lock(mutex_);
    return !unplugged_ && !(unplugAfter_ && *unplugAfter_ <= 0);
}

void Reader::refuseUnerasedWrites(bool refuse) {
    std::lock_guard lock(mutex_);
    refuseUnerased_ = refuse;
}

void Reader::setFirmwareWord(std::uint16_t word) {
    std::lock_guard lock(mutex_);
    firmwareWord_ = word;
}

void Reader::clearFaults() {
    std::lock_guard lock(mutex_);
    injected_.clear();
    failErase_.clear();
    refuseData_.clear();
    pullAfter_.reset();
    unplugAfter_.reset();
    refuseUnerased_ = false;
    flipByte_ = 0;
    flipMask_ = 0x01;
}

std::vector<LoggedCommand> Reader::log() const {
    std::lock_guard lock(mutex_);
    return {log_.begin(), log_.end()};
}

void Reader::clearLog() {
    std::lock_guard lock(mutex_);
    log_.clear();
}

void Reader::setLogLimit(std::size_t limit) {
    std::lock_guard lock(mutex_);
    logLimit_ = limit;
    while (log_.size() > logLimit_) log_.pop_front();
}

LoggedCommand* Reader::logEntry(std::uint64_t sequence) {
    const std::uint64_t first = logSequence_ - log_.size();
    if (sequence < first || sequence >= logSequence_) return nullptr;
    return &log_[static_cast<std::size_t>(sequence - first)];
}

std::ostream& operator<<(std::ostream& out, const LoggedCommand& c) {
    const auto hex = [](std::optional<std::uint8_t> v) {
        const char digits[] = "0123456789ABCDEF";
        return v ? std::string{digits[*v >> 4], digits[*v & 0xF]} : std::string("--");
    };
    out << hex(c.command) << " block " << c.block << " sector " << unsigned(c.sector) << " -> "
        << hex(c.reply);
    if (c.dataReply) out << "/" << hex(c.dataReply);
    return out;
}

}  // namespace emulator
