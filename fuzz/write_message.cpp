// WriteMessage end to end: a wave file read by the control and written to a formatted card
// in the emulated reader, then read back.
#include <cstdint>
#include <memory>

#include "control/methods.h"
#include "control/reader_port.h"
#include "control/state.h"
#include "emulator/fixtures.h"
#include "emulator/reader.h"
#include "emulator_port.h"
#include "support/scratch.h"

namespace {

std::shared_ptr<emulator::Reader> reader;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    control_test::TestClock::install();
    reader = std::make_shared<emulator::Reader>();
    reader->setLogLimit(0);
    control::setReaderPort(std::make_unique<control_test::EmulatorPort>(reader));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    reader->insert(emulator::fixtures::formatted());
    control::setActionMode(control::ModeStandby);
    const std::string wave = fuzz::writeInput("Msg.wav", {data, size});
    if (control::WriteMessage(3, wave) == 0) control::ReadMessage(3, (fuzz::scratch() / "Back.wav").string());
    return 0;
}
