// The pause after each datagram of the send loop: one algorithm for every system, with the
// platform supplying only the counter and a sleep to an absolute counter value.
#pragma once

#include <array>
#include <cstdint>

namespace pacing {

// What the pause needs from the system; tests give it a clock of their own.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::int64_t Frequency() = 0;  // ticks per second, fixed
  virtual std::int64_t Now() = 0;        // monotonic ticks
  // Sleeps until about `deadline`: may return late (the wake-up latency the pause learns)
  // or a little early (the pause then sleeps again or spins).
  virtual void SleepUntil(std::int64_t deadline) = 0;
};

// The platform's counter and sleep (platform/clock.h).
Clock& SystemClock();

// Bounds of the stretch at the end of a pause that is spun rather than slept, in
// microseconds. The spin covers the sleep's observed lateness; the upper bound keeps the
// processor mostly free also where the system's timer is coarse (the pause then ends late
// rather than spinning through most of it).
inline constexpr std::int64_t kMinSpinMicroseconds = 10;
inline constexpr std::int64_t kMaxSpinMicroseconds = 250;
inline constexpr std::int64_t kStartSpinMicroseconds = 150;
// Added to the lateness median: the spin's own reaction time.
inline constexpr std::int64_t kGuardMicroseconds = 8;

// Paces one thread. Wait(ms) returns as soon as at least ms milliseconds have passed on the
// clock since it was called, never before (0 returns at once): it sleeps while the time left
// exceeds the sleep's usual lateness (the median of the last kWindow wake-ups), then spins
// the rest. Each pause counts from its own start, so a late wake-up lengthens that
// one gap and is never made up by shorter ones.
class Pacer {
 public:
  static constexpr std::size_t kWindow = 64;
  // The 33rd smallest of 64: the median. The spin costs the processor what it exceeds the
  // lateness by, so it covers the body of the lateness, not its tail: a higher rank spends
  // more processor on most pauses to save a few microseconds on a few.
  static constexpr std::size_t kRank = 32;
  static constexpr std::size_t kWarmUp = 8;  // samples before the estimate may go below the start

  explicit Pacer(Clock& clock);
  void Wait(std::uint32_t ms);

  // The stretch the next pause will spin, in counter ticks (for tests and benchmarks).
  std::int64_t SpinTicks() const { return spin_; }

 private:
  void Record(std::int64_t lateTicks);

  Clock& clock_;
  std::int64_t freq_;
  std::int64_t minSpin_, maxSpin_, guard_;
  std::int64_t spin_;
  std::array<std::int64_t, kWindow> late_{};
  std::size_t count_ = 0;  // samples recorded, saturating at kWindow
  std::size_t next_ = 0;   // ring position of the next sample
};

}  // namespace pacing

// The send loop's pause: the calling thread's Pacer on the system clock.
void WaitMilliseconds(std::uint32_t ms);
