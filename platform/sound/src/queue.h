#pragma once
// The queue every device shares: prepared buffers in order, the bytes consumed from the
// head, the pause flag, and the position. Back ends decide when bytes are consumed.
#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

#include "sound/wave_out.h"

namespace sound::detail {

class QueuedOutput : public WaveOut {
public:
    explicit QueuedOutput(DoneCallback onDone) : onDone_(std::move(onDone)) {}

    int prepare(WaveBuffer& b) override;
    int unprepare(WaveBuffer& b) override;
    int write(WaveBuffer& b) override;
    int pause() override;
    int restart() override;
    int reset() override;
    int position(std::uint64_t& bytes) override;
    int close() override;

protected:
    // Takes up to `max` bytes from the head of the queue into `out` (appended) and hands
    // back the buffers that finish. Returns the bytes taken. Called without the lock.
    std::size_t consume(std::size_t max, std::vector<std::uint8_t>* out);
    // Back-end hooks, called with the lock held.
    virtual void onPause(bool paused) { (void)paused; }
    virtual void onReset() {}
    virtual void onClose() {}
    virtual std::uint64_t latency() { return 0; }   // consumed bytes the listener has not heard yet

    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<WaveBuffer*> queue_;
    std::size_t headOffset_ = 0;
    std::uint64_t consumed_ = 0;
    bool paused_ = false;
    bool closed_ = false;

private:
    void handBack(std::vector<WaveBuffer*>& finished);
    DoneCallback onDone_;
};

}  // namespace sound::detail
