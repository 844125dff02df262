#pragma once
// The recording back end: what devices would have played, on a clock the test moves.
// Devices opened while the backend is Recording consume their queue only when the
// clock advances, so no test plays in real time.
#include <cstdint>
#include <vector>

namespace sound::recording {

// Moves the virtual clock; devices consume `ms` worth of samples and hand back the
// buffers that finish, on the calling thread.
void advance(std::uint64_t ms);
std::uint64_t now();

// Every byte played since the last clear, over all devices, in order.
std::vector<std::uint8_t> played();
// The rate of the last device opened.
unsigned lastRate();
void clear();

}  // namespace sound::recording
