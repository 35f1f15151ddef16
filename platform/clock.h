// The monotonic counter, its frequency, and the waits built on them
// (QueryPerformanceCounter / QueryPerformanceFrequency / Sleep on Windows).
#pragma once

#include <cstdint>

namespace platform {

std::int64_t CounterFrequency();  // ticks per second, fixed for the life of the process
std::int64_t CounterNow();        // monotonic ticks

void SleepMs(unsigned ms);  // gives up the processor for at least ms milliseconds

// Sleeps until the counter has reached `deadline` (absolute, in counter ticks) or is close
// to it: returns no later than the deadline plus the system's wake-up latency, and may
// return up to a short margin before it, so that a caller that must be exact spins the rest.
void SleepUntilCounter(std::int64_t deadline);

}  // namespace platform
