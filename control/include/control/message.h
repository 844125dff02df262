#pragma once
// Message channels on the card: reading a channel to a wave or raw file, writing one from a
// wave, raw or firmware file (or erasing it), swapping channels, the names, and the reader of
// one message block for playback.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace control {

inline constexpr std::size_t kNameBytes = 20;
inline constexpr std::size_t kFirmwareAreaBytes = 64 * 1024;
inline constexpr int kFirmwareChannel = 24;

using NameField = std::array<std::uint8_t, kNameBytes>;

int rdxReadMessage(int channel, const std::string& fileName);
int rdxWriteMessage(int channel, const std::string& fileName);
int rdxSwapChannels(int a, int b);
// ReplaceMessage's work: channels a and b (1..9) trade their messages and their names in one
// change of a card that passes the full check.
int rdxReplaceMessage(int a, int b);
// Stores the name of the channel (1..12), or swaps the names of `channel` and `other` (1..9)
// when `other` is not 0.
int rdxWriteMsgName(int channel, const NameField& name, int other = 0);
int rdxWriteCardName(const NameField& name);

// Reads the n-th block (from 1) of the channel into `out` (a whole erase block); `bytes`
// is what of it the recorded length covers.
int rdxMessageBlock(int channel, int n, std::span<std::uint8_t> out, std::size_t& bytes);

}  // namespace control
