#include "transmit/pacing.h"

#include <algorithm>

#include "platform/clock.h"

namespace {

// The part of a pause that is spun rather than slept covers the system's wake-up latency,
// so that the pause ends on time without holding the processor for all of it. It follows the
// latency this thread has seen: twice its running mean plus a little, within these bounds.
constexpr std::int64_t kSpinMinMicroseconds = 50;
constexpr std::int64_t kSpinMaxMicroseconds = 300;
constexpr std::int64_t kSpinStartMicroseconds = 100;

}  // namespace

void WaitMilliseconds(std::uint32_t ms) {
  if (ms == 0) return;
  const std::int64_t freq = platform::CounterFrequency();
  const std::int64_t start = platform::CounterNow();
  // The first counter value at which (counter - start) * 1000 / freq reaches ms.
  const std::int64_t deadline = start + (static_cast<std::int64_t>(ms) * freq + 999) / 1000;
  // Mean wake-up latency of this thread's sleeps, in counter ticks (a running mean over
  // about the last 16 sleeps).
  thread_local std::int64_t meanLatency = kSpinStartMicroseconds * freq / 1000000 / 2;
  const std::int64_t spin = std::clamp(2 * meanLatency + 20 * freq / 1000000, kSpinMinMicroseconds * freq / 1000000,
                                       kSpinMaxMicroseconds * freq / 1000000);
  const std::int64_t wakeAt = deadline - spin;
  if (wakeAt > start) {
    platform::SleepUntilCounter(wakeAt);
    const std::int64_t late = std::max<std::int64_t>(0, platform::CounterNow() - wakeAt);
    meanLatency += (late - meanLatency) / 16;
  }
  for (;;) {
    const std::int64_t elapsed = (platform::CounterNow() - start) * 1000 / freq;
    if (elapsed >= static_cast<std::int64_t>(ms)) return;
  }
}
