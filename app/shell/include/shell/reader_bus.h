#pragma once
// The reader the program serves, chosen where the program starts: the emulated reader
// when RDX_EMULATOR_CARD names its card file (the run command sets it), else the real
// reader that the program folder's pipedrv.conf names, through libusb.
#include <memory>
#include <string>

namespace devices {
class ReaderBus;
}
namespace emulator {
class Reader;
}

namespace shell {

// The bus to hand to devices::startSystem.
std::unique_ptr<devices::ReaderBus> readerBus(const std::string& programFolder);

// The emulated reader that a bus of readerBus() plugged in, while that bus runs; null with
// a real reader.
emulator::Reader* emulatedReader();

}  // namespace shell
