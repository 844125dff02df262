#pragma once
// The device interface class of the card reader/writer: the driver registers it, the
// card control enumerates it.
#include "kernel/strings.h"

namespace devices {

using Guid = kernel::Guid;

inline constexpr Guid ReaderInterfaceClass{
    0x6b3c1f52, 0x8d47, 0x4e0a, {0x9a, 0x31, 0x52, 0x44, 0x58, 0x37, 0x30, 0x30}};

}  // namespace devices
