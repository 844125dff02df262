// The control's handling of what a reader sends back. The input is the reader's side of the
// conversation while the control runs a card session (support/session.h), a row of records:
// - a 16-bit little-endian length below 0xFFFC and its bytes: the next read gets them;
// - 0xFFFF: the reader stays silent for the next read;
// - 0xFFFE and a 16-bit count: the next `count` reads get what an emulated reader answers;
// - 0xFFFD, a fault kind and its parameter: the emulated reader shows that fault from now
//   on (support/cards.h), a pulled card among them;
// - 0xFFFC, a card byte and a session byte: another card in the emulated reader
//   (support/cards.h); as the first record it also chooses the session.
// The emulated reader takes every command the control sends, and each read takes its next
// transfer whether the control gets that or the input's. Without records of the last
// three kinds the input is a conversation replayed as it was, as in the first harness.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "control/reader_port.h"
#include "emulator/reader.h"
#include "scripted_port.h"
#include "support/cards.h"
#include "support/session.h"

namespace {

constexpr std::size_t kSilent = 0xFFFF;
constexpr std::size_t kEmulated = 0xFFFE;
constexpr std::size_t kFault = 0xFFFD;
constexpr std::size_t kCard = 0xFFFC;
// Without a card record: a card in use, on the smallest chip.
const std::uint8_t kDefaultCard = fuzz::cardByte(0, false, fuzz::Fill::InUse, 0);

class ReplayedReader final : public control::ReaderPort {
public:
    // Loads an input and returns its session byte.
    std::uint8_t load(std::span<const std::uint8_t> input) {
        rest_ = input;
        emulatedReads_ = 0;
        std::uint8_t card = kDefaultCard, session = 0;
        if (next() == kCard && rest_.size() >= 4) {
            card = rest_[2];
            session = rest_[3];
            rest_ = rest_.subspan(4);
        }
        emulator_ = std::make_shared<emulator::Reader>();
        emulator_->setLogLimit(0);
        emulator_->insert(fuzz::makeCard(card));
        return session;
    }
    bool find() override { return true; }
    bool open() override { return true; }
    bool close() override { return true; }
    long write(std::span<const std::uint8_t> data) override {
        emulator_->write(data);
        return static_cast<long>(data.size());
    }
    long read(std::span<std::uint8_t> out, unsigned timeoutMs) override {
        for (;;) {
            if (emulatedReads_ > 0) {
                --emulatedReads_;
                const auto got = emulator_->read(out);
                return got ? static_cast<long>(*got) : silence(timeoutMs);
            }
            const std::size_t record = next();
            if (record == kEmulated && rest_.size() >= 4) {
                emulatedReads_ = rest_[2] | rest_[3] << 8;
                rest_ = rest_.subspan(4);
            } else if (record == kFault && rest_.size() >= 4) {
                fuzz::applyFault(*emulator_, rest_[2], rest_[3]);
                rest_ = rest_.subspan(4);
            } else if (record == kCard && rest_.size() >= 4) {
                emulator_->insert(fuzz::makeCard(rest_[2]));
                rest_ = rest_.subspan(4);
            } else {
                break;
            }
        }
        passOver(out.size());
        if (rest_.size() < 2) return silence(timeoutMs);
        const std::size_t declared = next();
        rest_ = rest_.subspan(2);
        if (declared == kSilent) return silence(timeoutMs);
        const std::size_t n = std::min({declared, rest_.size(), out.size()});
        std::copy_n(rest_.begin(), n, out.begin());
        rest_ = rest_.subspan(n);
        return static_cast<long>(n);
    }

private:
    // The kind of the next record, or kSilent when the input has run out.
    std::size_t next() const { return rest_.size() < 2 ? kSilent : std::size_t{rest_[0]} | std::size_t{rest_[1]} << 8; }
    // The emulated reader's transfer that the input's answer stands in for.
    void passOver(std::size_t size) {
        std::vector<std::uint8_t> dropped(size);
        emulator_->read(dropped);
    }
    static long silence(unsigned timeoutMs) {
        control_test::TestClock::now() += timeoutMs;
        return -1;
    }
    std::span<const std::uint8_t> rest_;
    std::size_t emulatedReads_ = 0;
    std::shared_ptr<emulator::Reader> emulator_;
};

ReplayedReader* reader = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    control_test::TestClock::install();
    fuzz::makeCard(kDefaultCard);  // the program writes the typed blocks once
    auto port = std::make_unique<ReplayedReader>();
    reader = port.get();
    control::setReaderPort(std::move(port));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::runCardSession(reader->load({data, size}));
    return 0;
}
