// CLOCK_MONOTONIC behind platform/clock.h, counted in nanoseconds.
#include "platform/clock.h"

#include <sys/prctl.h>
#include <time.h>

#include <cerrno>

namespace platform {
namespace {

constexpr std::int64_t kNsPerSecond = 1000000000;

timespec ToTimespec(std::int64_t ns) {
  timespec ts;
  ts.tv_sec = static_cast<time_t>(ns / kNsPerSecond);
  ts.tv_nsec = static_cast<long>(ns % kNsPerSecond);
  return ts;
}

// A sleeping thread is woken within its timer slack of the deadline; the default is 50 us.
// One nanosecond makes the kernel's high-resolution timer wake it on time.
void TightenTimerSlackOnce() {
  thread_local bool done = false;
  if (!done) {
    (void)prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    done = true;
  }
}

}  // namespace

std::int64_t CounterFrequency() { return kNsPerSecond; }

std::int64_t CounterNow() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * kNsPerSecond + ts.tv_nsec;
}

void SleepMs(unsigned ms) {
  timespec ts = ToTimespec(static_cast<std::int64_t>(ms) * 1000000);
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

void SleepUntilCounter(std::int64_t deadline) {
  TightenTimerSlackOnce();
  timespec ts = ToTimespec(deadline);
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
  }
}

}  // namespace platform
