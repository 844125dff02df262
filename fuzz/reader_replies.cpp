// The control's handling of what a reader sends back. The input is the reader's side of the
// conversation: transfers, each a 16-bit little-endian length and its bytes (0xFFFF: the
// reader stays silent for that read), while the control checks the card, reads its
// information, its data and a message.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <span>

#include "control/methods.h"
#include "control/reader_port.h"
#include "control/state.h"
#include "scripted_port.h"
#include "support/scratch.h"

namespace {

class ReplayedReader final : public control::ReaderPort {
public:
    void load(std::span<const std::uint8_t> input) { rest_ = input; }
    bool find() override { return true; }
    bool open() override { return true; }
    bool close() override { return true; }
    long write(std::span<const std::uint8_t> data) override { return static_cast<long>(data.size()); }
    long read(std::span<std::uint8_t> out, unsigned timeoutMs) override {
        if (rest_.size() < 2) return silence(timeoutMs);
        const std::size_t declared = rest_[0] | rest_[1] << 8;
        rest_ = rest_.subspan(2);
        if (declared == 0xFFFF) return silence(timeoutMs);
        const std::size_t n = std::min({declared, rest_.size(), out.size()});
        std::copy_n(rest_.begin(), n, out.begin());
        rest_ = rest_.subspan(n);
        return static_cast<long>(n);
    }

private:
    static long silence(unsigned timeoutMs) {
        control_test::TestClock::now() += timeoutMs;
        return -1;
    }
    std::span<const std::uint8_t> rest_;
};

ReplayedReader* reader = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    control_test::TestClock::install();
    auto port = std::make_unique<ReplayedReader>();
    reader = port.get();
    control::setReaderPort(std::move(port));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    reader->load({data, size});
    control::setActionMode(control::ModeStandby);
    control::GetCardError();
    control::ReadCardInfo();
    control::ReadCardData((fuzz::scratch() / "CardData.crd").string());
    control::ReadMessage(1, (fuzz::scratch() / "Msg.wav").string());
    return 0;
}
