#include "transmit/pacing.h"

#include <algorithm>

#include "platform/clock.h"

namespace pacing {
namespace {

class PlatformClock final : public Clock {
 public:
  std::int64_t Frequency() override { return platform::CounterFrequency(); }
  std::int64_t Now() override { return platform::CounterNow(); }
  void SleepUntil(std::int64_t deadline) override { platform::SleepUntilCounter(deadline); }
};

}  // namespace

Clock& SystemClock() {
  static PlatformClock clock;
  return clock;
}

Pacer::Pacer(Clock& clock)
    : clock_(clock),
      freq_(clock.Frequency()),
      minSpin_(kMinSpinMicroseconds * freq_ / 1000000),
      maxSpin_(kMaxSpinMicroseconds * freq_ / 1000000),
      guard_(kGuardMicroseconds * freq_ / 1000000),
      spin_(kStartSpinMicroseconds * freq_ / 1000000) {}

void Pacer::Record(std::int64_t lateTicks) {
  late_[next_] = lateTicks;
  next_ = (next_ + 1) % kWindow;
  if (count_ < kWindow) ++count_;
  // The kRank-th smallest of what the window holds (64 values: cheap beside a 1 ms pause).
  std::array<std::int64_t, kWindow> sorted = late_;
  const std::size_t rank = (count_ - 1) * kRank / (kWindow - 1);
  std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(rank),
                   sorted.begin() + static_cast<std::ptrdiff_t>(count_));
  std::int64_t spin = sorted[rank] + guard_;
  if (count_ < kWarmUp) spin = std::max(spin, kStartSpinMicroseconds * freq_ / 1000000);
  spin_ = std::clamp(spin, minSpin_, maxSpin_);
}

void Pacer::Wait(std::uint32_t ms) {
  if (ms == 0) return;
  const std::int64_t start = clock_.Now();
  // The first counter value at which (counter - start) * 1000 / freq reaches ms.
  const std::int64_t deadline = start + (static_cast<std::int64_t>(ms) * freq_ + 999) / 1000;
  // Sleep while more is left than the sleep is usually late; a sleep that returned early
  // (or was cut short) is followed by another while that still holds.
  for (;;) {
    const std::int64_t wakeAt = deadline - spin_;
    if (clock_.Now() >= wakeAt) break;
    clock_.SleepUntil(wakeAt);
    const std::int64_t late = clock_.Now() - wakeAt;
    if (late >= 0) Record(late);
  }
  // The rest is spun; it is at most the spin bound, unless the sleep itself was late.
  while ((clock_.Now() - start) * 1000 / freq_ < static_cast<std::int64_t>(ms)) {
  }
}

}  // namespace pacing

void WaitMilliseconds(std::uint32_t ms) {
  thread_local pacing::Pacer pacer(pacing::SystemClock());
  pacer.Wait(ms);
}
