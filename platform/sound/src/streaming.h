#pragma once
#include <memory>

#include "sink.h"
#include "sound/wave_out.h"

namespace sound::detail {
std::unique_ptr<WaveOut> makeStreamingOutput(std::unique_ptr<Sink> sink, unsigned rate, WaveOut::DoneCallback onDone);
std::unique_ptr<WaveOut> makeRecordingOutput(unsigned rate, WaveOut::DoneCallback onDone);
}  // namespace sound::detail
