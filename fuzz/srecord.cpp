// The control's S-record reader: the firmware image a file carries.
#include <cstdint>
#include <cstdio>

#include "control/wave.h"
#include "support/memory_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::MemoryFile file(data, size);
    if (file) (void)control::readFirmwareImage(file.get());
    return 0;
}
