#include "control/playback.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <span>
#include <system_error>
#include <thread>
#include <vector>

#include "control/card_info.h"
#include "control/errors.h"
#include "control/host.h"
#include "control/link.h"
#include "control/message.h"
#include "control/state.h"
#include "sound/wave_out.h"

namespace control {
namespace {

using namespace cardError;

enum EndState : int { EndMore = 0, EndError = 2, EndAllQueued = 3 };
enum PlayState : int { StateClosed = 0, StateOpen = 4, StatePaused = 5 };

constexpr std::uint32_t kPassMs = 100;
constexpr std::uint32_t kPausedMs = 250;
constexpr std::uint32_t kWaitMs = 10;
constexpr int kPumpsPerRound = 5;
constexpr unsigned kRatePerPercent = 80;   // bytes a second at 1 percent
constexpr std::uint64_t kBytesPerMs = 8;   // of the message, whatever the speed

// The playback state of the process, shared by every instance of the control. Everything
// but the figures PositionChange reads is guarded by `mutex`; the worker never holds it
// while it reads the card or sleeps, so the program's thread can always stop it.
struct Playback {
    std::mutex mutex;
    std::unique_ptr<sound::WaveOut> device;
    bool open = false;
    bool playing = false;
    bool paused = false;
    int playState = StateClosed;
    std::atomic<bool> keepRunning{false};
    int channel = 0;
    std::array<std::unique_ptr<std::uint8_t[]>, 2> storage;
    std::array<sound::WaveBuffer, 2> buffers;
    int endState = EndMore;
    int threadError = Done;
    std::uint64_t totalBytes = 0;
    std::uint64_t queuedBytes = 0;  // counted as each buffer is queued
    int nextBlock = 1;
    std::uint32_t lastAdvance = 0;  // tick of the last advance of the output (or of a resume)
    std::thread worker;
    std::atomic<long> position{0};  // ms of the message played
    std::atomic<long> length{0};    // ms of the message

    ~Playback() {
        keepRunning = false;
        if (worker.joinable()) worker.join();
    }
};

Playback& playback() {
    static Playback instance;
    return instance;
}

using Guard = std::unique_lock<std::mutex>;

std::mutex sleeperMutex;
PlaybackSleeper sleeper;

void sleepFor(std::function<void(std::uint32_t)> PlaybackSleeper::*which, std::uint32_t ms) {
    std::function<void(std::uint32_t)> sleep;
    {
        std::lock_guard g(sleeperMutex);
        sleep = sleeper.*which;
    }
    if (sleep)
        sleep(ms);
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void wavAllocBuffers(Playback& p) {
    for (std::size_t i = 0; i < p.buffers.size(); ++i) {
        p.storage[i] = std::make_unique<std::uint8_t[]>(kPlayBufferBytes);
        p.buffers[i].data = p.storage[i].get();
        p.buffers[i].length = 0;
    }
}

void wavCleanUpBuffers(Playback& p) {
    for (std::size_t i = 0; i < p.buffers.size(); ++i) {
        p.buffers[i].data = nullptr;
        p.buffers[i].length = 0;
        p.buffers[i].prepared = false;
        p.storage[i].reset();
    }
}

void unprepareBuffers(Playback& p) {
    if (!p.device) return;
    for (auto& b : p.buffers) p.device->unprepare(b);
}

// Resets and closes the device (none open counts as success) and frees the buffers.
int closeDeviceLocked(Playback& p) {
    int result = sound::Ok;
    if (p.device) {
        p.device->reset();
        result = p.device->close();
        p.device.reset();
    }
    wavCleanUpBuffers(p);
    p.open = p.playing = p.paused = false;
    p.playState = StateClosed;
    return result;
}

int playEndLocked(Playback& p) {
    p.keepRunning = false;
    if (p.device) {
        p.device->pause();
        p.device->reset();
    }
    p.playing = false;
    p.playState = StateOpen;
    unprepareBuffers(p);
    return closeDeviceLocked(p);
}

void endWithErrorLocked(Playback& p, int error) {
    if (p.threadError == Done) p.threadError = error;
    p.endState = EndError;
    playEndLocked(p);
}

// Waits for a worker that was told to stop. Called without the lock, never by the worker.
void reapWorker(Playback& p) {
    std::thread worker;
    {
        Guard g(p.mutex);
        if (!p.worker.joinable() || p.worker.get_id() == std::this_thread::get_id()) return;
        p.keepRunning = false;
        worker = std::move(p.worker);
    }
    worker.join();
}

// Still streaming: nobody stopped the playback or closed the device meanwhile.
bool wantedLocked(const Playback& p) { return p.keepRunning && p.device; }

// Queues a block's bytes in buffer `b`, no more than the message has left, and counts them.
int queueBlockLocked(Playback& p, sound::WaveBuffer& b, std::span<const std::uint8_t> bytes) {
    const std::uint64_t left = p.totalBytes - std::min(p.queuedBytes, p.totalBytes);
    b.length = static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size(), left));
    std::copy_n(bytes.begin(), b.length, b.data);
    if (const int e = p.device->prepare(b)) return e;
    if (const int e = p.device->write(b)) return e;
    p.queuedBytes += b.length;
    if (p.queuedBytes >= p.totalBytes) p.endState = EndAllQueued;
    return Done;
}

// Reads block `n` of the channel without the lock (the read pumps messages on the program's
// thread, and a handler may stop the playback meanwhile), then queues it in buffer `b`.
// `stopped` tells that the playback was ended by someone else while the block was read.
int readAndQueue(Playback& p, sound::WaveBuffer& b, int channel, int n,
                 std::vector<std::uint8_t>& scratch, bool& stopped) {
    std::size_t bytes = 0;
    const int e = rdxMessageBlock(channel, n, scratch, bytes);
    Guard g(p.mutex);
    stopped = !wantedLocked(p);
    if (stopped) return Done;
    if (e) return e;
    return queueBlockLocked(p, b, std::span(scratch).first(bytes));
}

// ---- The worker ----

// Refills every buffer the output has handed back. False once the playback has ended.
bool refill(Playback& p, std::vector<std::uint8_t>& scratch) {
    for (auto& b : p.buffers) {
        int channel = 0;
        int n = 0;
        {
            Guard g(p.mutex);
            if (!wantedLocked(p)) return false;
            if (p.endState != EndMore) return true;
            if (b.queued) continue;
            channel = p.channel;
            n = p.nextBlock;
        }
        bool stopped = false;
        const int e = readAndQueue(p, b, channel, n, scratch, stopped);
        if (stopped) return false;
        Guard g(p.mutex);
        if (e) {
            endWithErrorLocked(p, e);
            return false;
        }
        ++p.nextBlock;
    }
    return true;
}

// All queued and all heard: the normal end.
bool finished(Playback& p) {
    Guard g(p.mutex);
    if (!wantedLocked(p)) return true;
    if (p.endState != EndAllQueued || p.buffers[0].queued || p.buffers[1].queued) return false;
    std::uint64_t bytes = 0;
    if (p.device->position(bytes) != sound::Ok || bytes < p.totalBytes) return false;
    playEndLocked(p);
    return true;
}

// An output that has not moved for too long while not paused ends the playback: the
// message could not be heard to its end. True when it did.
bool stalled(Playback& p) {
    bool paused = false;
    {
        Guard g(p.mutex);
        if (tickCount() - p.lastAdvance <= kPlayStallMs) return false;
        paused = p.paused;
        if (!paused) {
            endWithErrorLocked(p, PlayFailed);
            return true;
        }
        p.lastAdvance = tickCount();
    }
    sleepFor(&PlaybackSleeper::worker, kPausedMs);
    return false;
}

void updatePosition(Playback& p, std::uint64_t& lastBytes) {
    Guard g(p.mutex);
    // Ended meanwhile (the device may be closed already): the play state stays as the end
    // left it.
    if (!wantedLocked(p)) return;
    std::uint64_t bytes = 0;
    if (!p.device || p.device->position(bytes) != sound::Ok) bytes = 0;
    if (bytes != lastBytes) p.lastAdvance = tickCount();
    lastBytes = bytes;
    p.position = static_cast<long>(bytes / kBytesPerMs);
    if (!p.paused) p.playState = StateOpen;
}

void stream(Playback& p) {
    std::size_t blockBytes = 0;
    int e = rdxCardStatus(blockBytes);
    if (e == Done && blockBytes == 0) e = Unrecognised;
    if (e) {
        Guard g(p.mutex);
        endWithErrorLocked(p, e);
        return;
    }
    std::vector<std::uint8_t> scratch(kPlayBufferBytes);
    std::uint64_t lastBytes = 0;
    while (p.keepRunning) {
        if (!refill(p, scratch) || finished(p) || stalled(p)) return;
        sleepFor(&PlaybackSleeper::worker, kPassMs);
        updatePosition(p, lastBytes);
    }
}

void workerMain() {
    // The worker has no windows: the card reads must not pump the program's messages here.
    rdxNoMessagesOnThisThread();
    Playback& p = playback();
    stream(p);
    Guard g(p.mutex);
    // Stopped from outside: hand the buffers back before the stop unprepares them.
    if (p.playing && p.device) {
        if (const int e = p.device->reset()) endWithErrorLocked(p, e);
    }
    // Under the lock, so that a pause cannot set its mode after the playback ended.
    setActionMode(ModeStandby);
}

// ---- The program's side ----

// Ends a playback that failed before it ran, and gives the error.
int endPlayback(Playback& p, int error) {
    {
        Guard g(p.mutex);
        p.endState = EndError;
        playEndLocked(p);
    }
    reapWorker(p);
    return error;
}

// Reads blocks 1 and 2 into the buffers and queues them. When block 1 holds the whole
// message, buffer 2 is queued empty and block 2 is not read: it does not exist.
int queueFirstBlocks(Playback& p, int channel) {
    std::vector<std::uint8_t> scratch(kPlayBufferBytes);
    for (int i = 0; i < 2; ++i) {
        {
            Guard g(p.mutex);
            if (!wantedLocked(p)) return Done;
            if (p.queuedBytes >= p.totalBytes) {
                if (const int e = queueBlockLocked(p, p.buffers[i], {})) return e;
                continue;
            }
        }
        bool stopped = false;
        if (const int e = readAndQueue(p, p.buffers[i], channel, i + 1, scratch, stopped)) return e;
        if (stopped) return Done;
    }
    Guard g(p.mutex);
    p.nextBlock = 3;
    return Done;
}

// Queues the start of the message and starts the worker. `started` stays false when a
// handler stopped the playback meanwhile: then there is nothing to wait for.
int startStream(Playback& p, int channel, bool& started) {
    started = false;
    std::size_t blockBytes = 0;
    int e = rdxCardStatus(blockBytes);
    if (e == Done && blockBytes == 0) e = Unrecognised;
    if (e) return e;
    const long ms = rdxMessageLength(channel);
    p.length = std::max(ms, 0L);
    p.position = 0;
    if (ms <= 0) return NoMessage;
    {
        Guard g(p.mutex);
        p.totalBytes = static_cast<std::uint64_t>(ms) * kBytesPerMs;
        p.queuedBytes = 0;
    }
    if (const int queued = queueFirstBlocks(p, channel)) return queued;
    Guard g(p.mutex);
    if (!wantedLocked(p)) return Done;
    p.lastAdvance = tickCount();
    try {
        p.worker = std::thread(workerMain);
    } catch (const std::system_error&) {
        return PlayFailed;
    }
    started = true;
    if (const int restarted = p.device->restart()) return restarted;
    p.playing = true;
    return Done;
}

// Until the worker (or a stop) sets the mode back to standby, the program's messages are
// dispatched, so that its windows and timers live and may stop or pause the playback.
void waitForEnd() {
    while (actionMode() != ModeStandby) {
        for (int i = 0; i < kPumpsPerRound; ++i) rdxPumpMessage();
        sleepFor(&PlaybackSleeper::wait, kWaitMs);
    }
}

int pauseOrResume(bool setMode) {
    Playback& p = playback();
    int result = Done;
    {
        Guard g(p.mutex);
        if (!p.playing) return Busy + p.playState;
        if (p.paused) {
            result = p.device->restart();
            if (result == sound::Ok) {
                p.paused = false;
                p.lastAdvance = tickCount();
            }
        } else {
            result = p.device->pause();
            if (result == sound::Ok) {
                p.paused = true;
                p.playState = StatePaused;
            }
        }
        if (result == sound::Ok) {
            if (setMode) setActionMode(p.paused ? ModePause : ModePlay);
            return Done;
        }
        playEndLocked(p);
    }
    reapWorker(p);
    return result;
}

// StopMessage and PauseMessage are accepted while standing by, playing, paused or raising an
// event.
int refusedOutsidePlayback() {
    const int mode = actionMode();
    const bool accepted = mode == ModeStandby || mode == ModePlay || mode == ModePause || mode == ModeEvent;
    return accepted ? Done : Busy + mode;
}

}  // namespace

int wavDeviceOpen(int speed) {
    if (speed < kMinPlaySpeed || speed > kMaxPlaySpeed) return PlayFailed;
    Playback& p = playback();
    {
        Guard g(p.mutex);
        if (p.playing) return Busy + ModePlay;
    }
    wavDeviceClose();
    Guard g(p.mutex);
    p.playState = StateOpen;
    wavAllocBuffers(p);
    const int e = sound::openWaveOut(p.device, static_cast<unsigned>(speed) * kRatePerPercent, nullptr);
    if (e != sound::Ok) {
        closeDeviceLocked(p);
        return e;
    }
    p.open = true;
    p.playing = p.paused = false;
    p.position = 0;
    return Done;
}

int wavCardPlay(int channel, bool wait) {
    Playback& p = playback();
    {
        Guard g(p.mutex);
        if (!p.open || !p.device) return sound::ErrInvalidHandle;
        if (p.playing) return Busy + ModePlay;
        // The buffers wait in the paused output until both are queued.
        p.device->pause();
        p.playing = p.paused = false;
        p.keepRunning = true;
        p.endState = EndMore;
        p.threadError = Done;
        p.channel = channel;
    }
    bool started = false;
    if (const int e = startStream(p, channel, started)) return endPlayback(p, e);
    if (!started || !wait) return Done;
    waitForEnd();
    Guard g(p.mutex);
    return p.threadError;
}

int wavCardStop() {
    Playback& p = playback();
    int paused = sound::Ok;
    {
        Guard g(p.mutex);
        if (!p.playing) return Busy + p.playState;
        paused = p.device->pause();
        p.keepRunning = false;
    }
    reapWorker(p);
    Guard g(p.mutex);
    if (!p.playing) return Done;  // it ended by itself meanwhile
    p.playState = StateOpen;
    if (paused != sound::Ok) {
        playEndLocked(p);
        return paused;
    }
    p.playing = p.paused = false;
    unprepareBuffers(p);
    return Done;
}

int wavCardPause() { return pauseOrResume(false); }

int wavCardPlayEnd() {
    Playback& p = playback();
    int result = Done;
    {
        Guard g(p.mutex);
        result = playEndLocked(p);
    }
    reapWorker(p);
    return result;
}

int wavDeviceClose() {
    Playback& p = playback();
    bool playing = false;
    {
        Guard g(p.mutex);
        playing = p.playing;
    }
    if (playing) wavCardStop();
    reapWorker(p);
    Guard g(p.mutex);
    return closeDeviceLocked(p);
}

int PlayMessage(int iCh, int iSpeed) {
    if (iCh < 1 || iCh > 12) return BadChannel;
    MethodScope scope(ModePlay);
    if (!scope.accepted()) return scope.refusal();
    setProgress(0, 0);
    Playback& p = playback();
    p.position = 0;
    p.length = 0;
    if (const int e = wavDeviceOpen(iSpeed)) return e;
    const int played = wavCardPlay(iCh, true);
    // Closed also after a failed play, so that no device stays open.
    const int closed = wavDeviceClose();
    return played != Done ? played : closed;
}

int StopMessage() {
    if (const int busy = refusedOutsidePlayback()) return busy;
    wavCardStop();
    const int result = wavDeviceClose();
    setActionMode(ModeStandby);
    return result;
}

int PauseMessage() {
    if (const int busy = refusedOutsidePlayback()) return busy;
    return pauseOrResume(true);
}

long playbackPosition() { return playback().position.load(); }
long playbackLength() { return playback().length.load(); }

void rdxResetPlayback() {
    Playback& p = playback();
    Guard g(p.mutex);
    if (p.open) return;
    p.position = 0;
    p.length = 0;
}

std::string wavErrorText(int number) { return sound::errorText(number); }

void setPlaybackSleeper(PlaybackSleeper s) {
    std::lock_guard g(sleeperMutex);
    sleeper = std::move(s);
}

}  // namespace control
