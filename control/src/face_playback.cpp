// Playback in a build without a sound path: nothing can be opened, so PlayMessage fails
// as a failed open does, and Stop and Pause find no device. The busy rule and the mode
// follow the members' own rules.
#include "face_playback.h"

#include "control/errors.h"
#include "control/state.h"

namespace control::face_playback {
namespace {

bool acceptsStopOrPause(int mode) {
    return mode == ModeStandby || mode == ModePlay || mode == ModePause || mode == ModeEvent;
}

}  // namespace

int PlayMessage(int iCh, int iSpeed) {
    if (iCh < 1 || iCh > 12) return cardError::BadChannel;
    MethodScope scope(ModePlay);
    if (!scope.accepted()) return scope.refusal();
    setProgress(0, 0);
    return cardError::PlayFailed;
}

int StopMessage() {
    const int mode = actionMode();
    if (!acceptsStopOrPause(mode)) return cardError::Busy + mode;
    setActionMode(ModeStandby);
    return cardError::Done;
}

int PauseMessage() {
    const int mode = actionMode();
    if (!acceptsStopOrPause(mode)) return cardError::Busy + mode;
    // Nothing plays: the mode stays as it was found.
    return cardError::Busy;
}

long playbackPosition() { return 0; }
long playbackLength() { return 0; }

}  // namespace control::face_playback
