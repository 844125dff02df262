#pragma once
// A saved message set: a folder holding Msg_01.wav .. Msg_12.wav (the recorded channels)
// and the name list Msg.txt (the card name and the twelve message names, Shift-JIS).
#include <array>
#include <string>

namespace card {

struct NameList {
    std::string cardName;
    std::array<std::string, 12> names;  // channels 1..12
};

// "<folder>/Msg_NN.wav" and "<folder>/Msg.txt".
std::string messageWavePath(const std::string& folder, int ch);
std::string nameListPath(const std::string& folder);

// Writes the 13 lines of Msg.txt; false when the file could not be written.
bool writeNameList(const std::string& path, const NameList& list);
// Reads Msg.txt by its reading rules: the card-name line (the one that starts with
// "カード名"), name lines of channels 1..12 (later lines replace earlier ones), every other
// line ignored.
NameList readNameList(const std::string& path);

}  // namespace card
