#include <atomic>

#include "sink.h"
#include "sound/wave_out.h"
#include "streaming.h"

namespace sound {
namespace {

std::atomic<Backend> current{Backend::Alsa};

}  // namespace

void setBackend(Backend b) { current = b; }
Backend backend() { return current; }

std::string errorText(int result) {
    switch (result) {
    case ErrUnspecified: return "サウンド出力でエラーが発生しました。";
    case ErrBadDeviceId: return "サウンド出力デバイスが見つかりません。";
    case ErrAllocated: return "サウンド出力デバイスは使用中です。";
    case ErrInvalidHandle: return "サウンド出力デバイスが開かれていません。";
    case ErrNoDriver: return "サウンド出力のドライバがありません。";
    case ErrNoMemory: return "サウンド出力のメモリが不足しています。";
    case ErrInvalidParameter: return "サウンド出力に無効な値が渡されました。";
    case ErrBadFormat: return "この形式のサウンドは出力できません。";
    case ErrStillPlaying: return "サウンドの出力中です。";
    case ErrUnprepared: return "サウンド出力の準備ができていません。";
    default: return {};
    }
}

int openWaveOut(std::unique_ptr<WaveOut>& out, unsigned samplesPerSecond, WaveOut::DoneCallback onDone) {
    out.reset();
    if (samplesPerSecond < minRate || samplesPerSecond > maxRate) return ErrBadFormat;
    switch (current.load()) {
    case Backend::Recording:
        out = detail::makeRecordingOutput(samplesPerSecond, std::move(onDone));
        return Ok;
    case Backend::Null:
        out = detail::makeStreamingOutput(detail::openNullSink(samplesPerSecond), samplesPerSecond, std::move(onDone));
        return Ok;
    case Backend::Alsa: {
        int result = Ok;
        auto sink = detail::openAlsaSink(samplesPerSecond, result);
        // No sound device: play into the null sink, so that playback still runs its course.
        if (!sink) sink = detail::openNullSink(samplesPerSecond);
        out = detail::makeStreamingOutput(std::move(sink), samplesPerSecond, std::move(onDone));
        return Ok;
    }
    }
    return ErrNoDriver;
}

}  // namespace sound
