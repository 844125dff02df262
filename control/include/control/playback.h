#pragma once
// Playback of card messages on the computer's sound output: a channel streamed from the card
// at 50 to 300 percent speed through two buffers that a worker thread refills, while the
// program's thread waits in PlayMessage with its messages pumped. Results are card error
// numbers; 1..99 are the sound output's own errors.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace control {

inline constexpr int kMinPlaySpeed = 50;
inline constexpr int kMaxPlaySpeed = 300;
inline constexpr std::size_t kPlayBufferBytes = 32768;  // holds the largest erase block
// No advance of the output for this long (while not paused) ends the playback.
inline constexpr std::uint32_t kPlayStallMs = 6144;

// The methods, shaped as the control's: each applies its busy rule and action mode. The
// per-instance rules (the kept status, AutoRead) belong to the dispatch face.
// Plays channel 1..12 at `iSpeed` percent; returns when the playback has ended.
int PlayMessage(int iCh, int iSpeed);
// Stops a playback (also from inside PlayMessage's pumped wait) and closes the device.
int StopMessage();
// Pauses a running playback, or resumes a paused one.
int PauseMessage();

// What PositionChange reports in modes 4 and 5: milliseconds of the message played, and
// the message's length in milliseconds.
long playbackPosition();
long playbackLength();
// A new instance of the control starts from cleared playback figures; a playback that
// another instance runs is left alone.
void rdxResetPlayback();

// The text of a sound output error (1..99), as ErrorMessage gives it.
std::string wavErrorText(int number);

// The steps behind the methods.
int wavDeviceOpen(int speed);
int wavCardPlay(int channel, bool wait);
int wavCardStop();
int wavCardPause();
int wavCardPlayEnd();
int wavDeviceClose();

// The pauses of playback. Tests put them on a virtual clock; an empty member falls back
// to a real sleep.
struct PlaybackSleeper {
    std::function<void(std::uint32_t ms)> worker;  // between the worker's passes
    std::function<void(std::uint32_t ms)> wait;    // between PlayMessage's rounds of pumping
};
void setPlaybackSleeper(PlaybackSleeper sleeper);

}  // namespace control
