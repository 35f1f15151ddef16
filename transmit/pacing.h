// The pause after each datagram of the send loop.
#pragma once

#include <cstdint>

// Returns as soon as at least ms milliseconds have passed on the monotonic counter (at once
// for 0). Sleeps to the deadline and spins only the last stretch.
void WaitMilliseconds(std::uint32_t ms);
