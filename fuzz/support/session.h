#pragma once
// The card session the reader_replies harness runs, and its seed writer records. A session
// byte: bit 0 repairs what the check asks to repair, as the card window offers; bit 1 reads
// the message as a .DAT file instead of a .WAV file; bits 2-6 pick its channel (% 24 + 1);
// bit 7 ends with a message of several blocks written to that channel. Session 0 checks
// the card and reads its information, its data and channel 1's message.
#include <cstdint>

namespace fuzz {

void runCardSession(std::uint8_t session);

}  // namespace fuzz
