// The recording back end: devices that consume their queue on a virtual clock.
#include "sound/recording.h"

#include <algorithm>
#include <mutex>
#include <set>

#include "queue.h"
#include "streaming.h"

namespace sound::detail {
namespace {

class RecordingOutput;

struct Studio {
    std::mutex lock;
    std::uint64_t now = 0;
    std::set<RecordingOutput*> outputs;
    std::vector<std::uint8_t> played;
    unsigned lastRate = 0;
};

Studio& studio() {
    static Studio s;
    return s;
}

class RecordingOutput : public QueuedOutput {
public:
    RecordingOutput(unsigned rate, DoneCallback onDone) : QueuedOutput(std::move(onDone)), rate_(rate) {
        auto& s = studio();
        std::lock_guard g(s.lock);
        s.outputs.insert(this);
        s.lastRate = rate;
    }
    ~RecordingOutput() override {
        auto& s = studio();
        std::lock_guard g(s.lock);
        s.outputs.erase(this);
    }

    // Called with the studio locked.
    void advance(std::uint64_t ms, std::vector<std::uint8_t>& played) {
        {
            std::lock_guard g(lock_);
            if (paused_ || closed_) return;
        }
        // Whole samples only; the remainder carries to the next step.
        millibytes_ += ms * rate_;
        const std::size_t bytes = static_cast<std::size_t>(millibytes_ / 1000);
        millibytes_ %= 1000;
        consume(bytes, &played);
    }

private:
    unsigned rate_;
    std::uint64_t millibytes_ = 0;
};

}  // namespace

std::unique_ptr<WaveOut> makeRecordingOutput(unsigned rate, WaveOut::DoneCallback onDone) {
    return std::make_unique<RecordingOutput>(rate, std::move(onDone));
}

}  // namespace sound::detail

namespace sound::recording {

using detail::studio;

void advance(std::uint64_t ms) {
    auto& s = studio();
    std::lock_guard g(s.lock);
    s.now += ms;
    for (auto* out : s.outputs) out->advance(ms, s.played);
}

std::uint64_t now() {
    auto& s = studio();
    std::lock_guard g(s.lock);
    return s.now;
}

std::vector<std::uint8_t> played() {
    auto& s = studio();
    std::lock_guard g(s.lock);
    return s.played;
}

unsigned lastRate() {
    auto& s = studio();
    std::lock_guard g(s.lock);
    return s.lastRate;
}

void clear() {
    auto& s = studio();
    std::lock_guard g(s.lock);
    s.played.clear();
}

}  // namespace sound::recording
