// The performance counter behind platform/clock.h; the pause sleeps on a high-resolution
// waitable timer where the system has one.
#include "platform/clock.h"

#include <windows.h>

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace platform {
namespace {

// One timer per thread, made on first use; nullptr where the system has no high-resolution
// timer (before Windows 10 1803), and then the caller spins the whole pause.
HANDLE ThreadTimer() {
  thread_local HANDLE timer = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                                     TIMER_ALL_ACCESS);
  return timer;
}

}  // namespace

std::int64_t CounterFrequency() {
  static const std::int64_t freq = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<std::int64_t>(f.QuadPart);
  }();
  return freq;
}

std::int64_t CounterNow() {
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  return static_cast<std::int64_t>(c.QuadPart);
}

void SleepMs(unsigned ms) { Sleep(ms); }

void SleepUntilCounter(std::int64_t deadline) {
  const std::int64_t left = deadline - CounterNow();
  if (left <= 0) return;
  HANDLE timer = ThreadTimer();
  if (timer == nullptr) return;
  LARGE_INTEGER due;
  // Relative due times are negative, in 100 ns units.
  due.QuadPart = -static_cast<LONGLONG>(left * 10000000 / CounterFrequency());
  if (due.QuadPart == 0) return;
  if (SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE)) WaitForSingleObject(timer, INFINITE);
}

}  // namespace platform
