#pragma once
// Where a real-time device sends its samples.
#include <cstdint>
#include <memory>
#include <span>

namespace sound::detail {

class Sink {
public:
    virtual ~Sink() = default;
    // Plays the samples; returns once the device has taken them (in real time).
    virtual int write(std::span<const std::uint8_t> samples) = 0;
    // Samples taken but not yet heard.
    virtual std::uint64_t delay() { return 0; }
    // Discards what the device holds.
    virtual void drop() {}
};

// The system's default ALSA device, or nullptr with `result` set when it cannot be opened.
std::unique_ptr<Sink> openAlsaSink(unsigned rate, int& result);
std::unique_ptr<Sink> openNullSink(unsigned rate);

}  // namespace sound::detail
