#pragma once
// Wave output shaped like the desktop platform's: a device opened for 8-bit mono µ-law
// at a chosen rate, buffers that are prepared, queued and handed back done, pause,
// restart and reset, and the position in bytes. Errors are numbered 1..99.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace sound {

// Numbered results of every call; 0 is success.
enum Result : int {
    Ok = 0,
    ErrUnspecified = 1,
    ErrBadDeviceId = 2,
    ErrAllocated = 4,
    ErrInvalidHandle = 5,
    ErrNoDriver = 6,
    ErrNoMemory = 7,
    ErrInvalidParameter = 11,
    ErrBadFormat = 32,
    ErrStillPlaying = 33,
    ErrUnprepared = 34,
};

// The text of a numbered result ("" for a number that has none).
std::string errorText(int result);

constexpr unsigned minRate = 4000;
constexpr unsigned maxRate = 24000;

// A block of samples the caller owns. It stays untouched by the output until it is done.
struct WaveBuffer {
    std::uint8_t* data = nullptr;
    std::size_t length = 0;                 // bytes to play; 0 is allowed
    std::atomic<bool> prepared{false};
    std::atomic<bool> queued{false};        // handed to the output and not yet done
    std::atomic<bool> done{false};          // played, or handed back by a reset
};

class WaveOut {
public:
    // Called on the output's own thread when a buffer is done. It must not call back
    // into the output.
    using DoneCallback = std::function<void(WaveBuffer&)>;

    virtual ~WaveOut() = default;
    virtual int prepare(WaveBuffer& buffer) = 0;
    virtual int unprepare(WaveBuffer& buffer) = 0;   // ErrStillPlaying while queued
    virtual int write(WaveBuffer& buffer) = 0;       // ErrUnprepared when not prepared
    virtual int pause() = 0;
    virtual int restart() = 0;
    virtual int reset() = 0;                         // every queued buffer done, position 0
    virtual int position(std::uint64_t& bytes) = 0;  // bytes played since open or reset
    virtual int close() = 0;                         // ErrStillPlaying while buffers are queued
};

// Which output new devices go to.
enum class Backend {
    Alsa,       // the system's "default" device (PipeWire or PulseAudio route it); the null
                // sink when it cannot be opened
    Null,       // plays nothing, in real time
    Recording,  // records what is played, on a virtual clock (tests)
};
void setBackend(Backend backend);
Backend backend();

// Opens a device for µ-law, 1 channel, 8 bits at `samplesPerSecond` bytes a second.
int openWaveOut(std::unique_ptr<WaveOut>& out, unsigned samplesPerSecond, WaveOut::DoneCallback onDone);

}  // namespace sound
