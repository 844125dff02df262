// Plays nothing, at the pace of a real device, for machines without sound.
#include <chrono>
#include <thread>

#include "sink.h"

namespace sound::detail {
namespace {

class NullSink : public Sink {
public:
    explicit NullSink(unsigned rate) : rate_(rate) {}
    int write(std::span<const std::uint8_t> samples) override {
        std::this_thread::sleep_for(std::chrono::microseconds(samples.size() * 1000000ull / rate_));
        return 0;
    }

private:
    unsigned rate_;
};

}  // namespace

std::unique_ptr<Sink> openNullSink(unsigned rate) { return std::make_unique<NullSink>(rate); }

}  // namespace sound::detail
