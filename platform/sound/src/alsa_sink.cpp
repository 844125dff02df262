// The system's default sound device through ALSA, which PipeWire or PulseAudio route.
#include <alsa/asoundlib.h>

#include <cstdlib>

#include "sink.h"
#include "sound/wave_out.h"

namespace sound::detail {
namespace {

class AlsaSink : public Sink {
public:
    explicit AlsaSink(snd_pcm_t* pcm) : pcm_(pcm) {}
    ~AlsaSink() override {
        snd_pcm_drop(pcm_);
        snd_pcm_close(pcm_);
    }

    int write(std::span<const std::uint8_t> samples) override {
        const std::uint8_t* p = samples.data();
        snd_pcm_uframes_t left = samples.size();
        while (left > 0) {
            snd_pcm_sframes_t n = snd_pcm_writei(pcm_, p, left);
            if (n < 0) n = snd_pcm_recover(pcm_, static_cast<int>(n), 1);
            if (n < 0) return ErrUnspecified;
            p += n;
            left -= static_cast<snd_pcm_uframes_t>(n);
        }
        return Ok;
    }

    std::uint64_t delay() override {
        snd_pcm_sframes_t d = 0;
        if (snd_pcm_delay(pcm_, &d) < 0 || d < 0) return 0;
        return static_cast<std::uint64_t>(d);
    }

    void drop() override {
        snd_pcm_drop(pcm_);
        snd_pcm_prepare(pcm_);
    }

private:
    snd_pcm_t* pcm_;
};

// The device to open: "default" unless KV_SOUND_DEVICE names another (e.g. "null").
const char* deviceName() {
    const char* name = std::getenv("KV_SOUND_DEVICE");
    return name && *name ? name : "default";
}

}  // namespace

std::unique_ptr<Sink> openAlsaSink(unsigned rate, int& result) {
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, deviceName(), SND_PCM_STREAM_PLAYBACK, 0) < 0) {
        result = ErrBadDeviceId;
        return nullptr;
    }
    // Resampling allowed: the device rarely runs at the card's speeds natively.
    if (snd_pcm_set_params(pcm, SND_PCM_FORMAT_MU_LAW, SND_PCM_ACCESS_RW_INTERLEAVED, 1, rate, 1, 100000) < 0) {
        snd_pcm_close(pcm);
        result = ErrBadFormat;
        return nullptr;
    }
    result = Ok;
    return std::make_unique<AlsaSink>(pcm);
}

}  // namespace sound::detail
