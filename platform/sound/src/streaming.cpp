// A device that plays its queue in real time on a thread of its own.
#include <thread>

#include "queue.h"
#include "sink.h"
#include "streaming.h"

namespace sound::detail {
namespace {

class StreamingOutput : public QueuedOutput {
public:
    StreamingOutput(std::unique_ptr<Sink> sink, unsigned rate, DoneCallback onDone)
        : QueuedOutput(std::move(onDone)), sink_(std::move(sink)), chunk_(std::max(1u, rate / 50)) {
        player_ = std::thread([this] { run(); });
    }

    ~StreamingOutput() override {
        {
            std::lock_guard g(lock_);
            stopping_ = true;
        }
        changed_.notify_all();
        player_.join();
    }

private:
    void run() {
        std::vector<std::uint8_t> samples;
        for (;;) {
            {
                std::unique_lock g(lock_);
                changed_.wait(g, [this] { return stopping_ || closed_ || (!paused_ && !queue_.empty()); });
                if (stopping_ || closed_) return;
            }
            samples.clear();
            // Taken from the queue first, so that a reset while the sink plays loses only
            // this short chunk.
            if (consume(chunk_, &samples) == 0) continue;
            sink_->write(samples);
        }
    }

    void onReset() override { sink_->drop(); }
    std::uint64_t latency() override { return sink_->delay(); }

    std::unique_ptr<Sink> sink_;
    std::size_t chunk_;
    bool stopping_ = false;
    std::thread player_;
};

}  // namespace

std::unique_ptr<WaveOut> makeStreamingOutput(std::unique_ptr<Sink> sink, unsigned rate, WaveOut::DoneCallback onDone) {
    return std::make_unique<StreamingOutput>(std::move(sink), rate, std::move(onDone));
}

}  // namespace sound::detail
