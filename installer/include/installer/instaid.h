#pragma once
// The installer custom action: probes the system's mail library and records whether it
// exports its dispatch-notification entry in the property HRDISPATCHEXPORTED.
#include <cstdint>

extern "C" __attribute__((visibility("default"))) std::uint32_t IsHrDispatchExported(std::uint32_t hInstall);
