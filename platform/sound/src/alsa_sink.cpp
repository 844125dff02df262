// The system's default sound device through ALSA, which PipeWire or PulseAudio route.
// The ALSA library is loaded with the first sound played: a run that plays none (the
// start above all) never loads it.
#include <alsa/asoundlib.h>
#include <dlfcn.h>

#include <cstdlib>

#include "sink.h"
#include "sound/wave_out.h"

namespace sound::detail {
namespace {

// ALSA reports a missing device on stderr as well; the caller gets a number instead.
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}

// The ALSA entry points used here, from the library loaded on first use.
struct Alsa {
    decltype(&snd_pcm_open) pcmOpen = nullptr;
    decltype(&snd_pcm_set_params) pcmSetParams = nullptr;
    decltype(&snd_pcm_writei) pcmWritei = nullptr;
    decltype(&snd_pcm_recover) pcmRecover = nullptr;
    decltype(&snd_pcm_delay) pcmDelay = nullptr;
    decltype(&snd_pcm_drop) pcmDrop = nullptr;
    decltype(&snd_pcm_prepare) pcmPrepare = nullptr;
    decltype(&snd_pcm_close) pcmClose = nullptr;

    bool loaded() const {
        return pcmOpen && pcmSetParams && pcmWritei && pcmRecover && pcmDelay && pcmDrop && pcmPrepare && pcmClose;
    }
};

template <class F>
void bind(void* lib, F& f, const char* name) {
    f = reinterpret_cast<F>(::dlsym(lib, name));
}

// The library stays loaded for the rest of the run; nullptr where it is not installed.
const Alsa* alsa() {
    static const Alsa* const loaded = [] () -> const Alsa* {
        void* lib = ::dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
        if (!lib) return nullptr;
        static Alsa a;
        bind(lib, a.pcmOpen, "snd_pcm_open");
        bind(lib, a.pcmSetParams, "snd_pcm_set_params");
        bind(lib, a.pcmWritei, "snd_pcm_writei");
        bind(lib, a.pcmRecover, "snd_pcm_recover");
        bind(lib, a.pcmDelay, "snd_pcm_delay");
        bind(lib, a.pcmDrop, "snd_pcm_drop");
        bind(lib, a.pcmPrepare, "snd_pcm_prepare");
        bind(lib, a.pcmClose, "snd_pcm_close");
        decltype(&snd_lib_error_set_handler) setHandler = nullptr;
        bind(lib, setHandler, "snd_lib_error_set_handler");
        if (!a.loaded() || !setHandler) return nullptr;
        setHandler(quietAlsa);
        return &a;
    }();
    return loaded;
}

class AlsaSink : public Sink {
public:
    AlsaSink(const Alsa& alsa, snd_pcm_t* pcm) : alsa_(alsa), pcm_(pcm) {}
    ~AlsaSink() override {
        alsa_.pcmDrop(pcm_);
        alsa_.pcmClose(pcm_);
    }

    int write(std::span<const std::uint8_t> samples) override {
        const std::uint8_t* p = samples.data();
        snd_pcm_uframes_t left = samples.size();
        while (left > 0) {
            snd_pcm_sframes_t n = alsa_.pcmWritei(pcm_, p, left);
            if (n < 0) n = alsa_.pcmRecover(pcm_, static_cast<int>(n), 1);
            if (n < 0) return ErrUnspecified;
            p += n;
            left -= static_cast<snd_pcm_uframes_t>(n);
        }
        return Ok;
    }

    std::uint64_t delay() override {
        snd_pcm_sframes_t d = 0;
        if (alsa_.pcmDelay(pcm_, &d) < 0 || d < 0) return 0;
        return static_cast<std::uint64_t>(d);
    }

    void drop() override {
        alsa_.pcmDrop(pcm_);
        alsa_.pcmPrepare(pcm_);
    }

private:
    const Alsa& alsa_;
    snd_pcm_t* pcm_;
};

// The device to open: "default" unless KV_SOUND_DEVICE names another (e.g. "null").
const char* deviceName() {
    const char* name = std::getenv("KV_SOUND_DEVICE");
    return name && *name ? name : "default";
}

}  // namespace

std::unique_ptr<Sink> openAlsaSink(unsigned rate, int& result) {
    const Alsa* a = alsa();
    if (!a) {
        result = ErrNoDriver;
        return nullptr;
    }
    snd_pcm_t* pcm = nullptr;
    if (a->pcmOpen(&pcm, deviceName(), SND_PCM_STREAM_PLAYBACK, 0) < 0) {
        result = ErrBadDeviceId;
        return nullptr;
    }
    // Resampling allowed: the device rarely runs at the card's speeds natively.
    if (a->pcmSetParams(pcm, SND_PCM_FORMAT_MU_LAW, SND_PCM_ACCESS_RW_INTERLEAVED, 1, rate, 1, 100000) < 0) {
        a->pcmClose(pcm);
        result = ErrBadFormat;
        return nullptr;
    }
    result = Ok;
    return std::make_unique<AlsaSink>(*a, pcm);
}

}  // namespace sound::detail
