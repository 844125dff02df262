#pragma once
// The emulated reader that the program's run command selects.
#include "emulator/reader.h"

#include <memory>

namespace emulator {

// RDX_EMULATOR_CARD names the file that holds the emulated card.
inline constexpr char kCardVariable[] = "RDX_EMULATOR_CARD";
// RDX_EMULATOR_TIMING=fast turns off the wire timing the run command has by default.
inline constexpr char kTimingVariable[] = "RDX_EMULATOR_TIMING";

// The reader with the card of RDX_EMULATOR_CARD inserted, or nullptr when the variable is
// not set (the program then looks for a real reader). A missing file becomes a blank 16 MiB
// card, all 0xFF, that the user formats with the program's initialise step, as with a new
// card. A file that holds no card, or that another program holds, throws CardFileError and
// is left untouched. The reader runs with wire timing on the real clock, so that progress
// moves as with a real reader, unless RDX_EMULATOR_TIMING is "fast".
std::unique_ptr<Reader> readerFromEnvironment();

}  // namespace emulator
