#pragma once
// The playback members as the face calls them.
namespace control::face_playback {

int PlayMessage(int iCh, int iSpeed);
int StopMessage();
int PauseMessage();
long playbackPosition();
long playbackLength();

}  // namespace control::face_playback
