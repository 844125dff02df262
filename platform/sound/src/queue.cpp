#include "queue.h"

#include <algorithm>

namespace sound::detail {

int QueuedOutput::prepare(WaveBuffer& b) {
    if (!b.data && b.length) return ErrInvalidParameter;
    b.prepared = true;
    b.done = false;
    return Ok;
}

int QueuedOutput::unprepare(WaveBuffer& b) {
    if (b.queued) return ErrStillPlaying;
    b.prepared = false;
    return Ok;
}

int QueuedOutput::write(WaveBuffer& b) {
    if (!b.prepared) return ErrUnprepared;
    bool running;
    {
        std::lock_guard g(lock_);
        if (closed_) return ErrInvalidHandle;
        if (b.queued) return ErrStillPlaying;
        b.done = false;
        b.queued = true;
        queue_.push_back(&b);
        running = !paused_;
    }
    changed_.notify_all();
    // A buffer of length 0 is done as soon as it reaches the head of a running output.
    if (running) consume(0, nullptr);
    return Ok;
}

int QueuedOutput::pause() {
    std::lock_guard g(lock_);
    if (closed_) return ErrInvalidHandle;
    if (!paused_) onPause(true);
    paused_ = true;
    return Ok;
}

int QueuedOutput::restart() {
    {
        std::lock_guard g(lock_);
        if (closed_) return ErrInvalidHandle;
        if (paused_) onPause(false);
        paused_ = false;
    }
    changed_.notify_all();
    return Ok;
}

int QueuedOutput::reset() {
    std::vector<WaveBuffer*> finished;
    {
        std::lock_guard g(lock_);
        if (closed_) return ErrInvalidHandle;
        finished.assign(queue_.begin(), queue_.end());
        queue_.clear();
        headOffset_ = 0;
        consumed_ = 0;
        onReset();
    }
    handBack(finished);
    changed_.notify_all();
    return Ok;
}

int QueuedOutput::position(std::uint64_t& bytes) {
    std::lock_guard g(lock_);
    if (closed_) return ErrInvalidHandle;
    const std::uint64_t unheard = std::min(latency(), consumed_);
    bytes = consumed_ - unheard;
    return Ok;
}

int QueuedOutput::close() {
    {
        std::lock_guard g(lock_);
        if (closed_) return ErrInvalidHandle;
        if (!queue_.empty()) return ErrStillPlaying;
        closed_ = true;
        onClose();
    }
    changed_.notify_all();
    return Ok;
}

std::size_t QueuedOutput::consume(std::size_t max, std::vector<std::uint8_t>* out) {
    std::vector<WaveBuffer*> finished;
    std::size_t taken = 0;
    {
        std::lock_guard g(lock_);
        while (!queue_.empty()) {
            WaveBuffer* head = queue_.front();
            const std::size_t left = head->length - headOffset_;
            const std::size_t n = std::min(left, max - taken);
            if (out && n) out->insert(out->end(), head->data + headOffset_, head->data + headOffset_ + n);
            headOffset_ += n;
            taken += n;
            if (headOffset_ < head->length) break;
            queue_.pop_front();
            headOffset_ = 0;
            finished.push_back(head);
        }
        consumed_ += taken;
    }
    handBack(finished);
    return taken;
}

void QueuedOutput::handBack(std::vector<WaveBuffer*>& finished) {
    for (WaveBuffer* b : finished) {
        b->queued = false;
        b->done = true;
        if (onDone_) onDone_(*b);
    }
}

}  // namespace sound::detail
