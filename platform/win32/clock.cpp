// The performance counter behind platform/clock.h; the pause sleeps on a high-resolution
// waitable timer where the system has one.
#include "platform/clock.h"

#include <windows.h>

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace platform {
namespace {

// One timer per thread, made on first use and closed when the thread ends; nullptr where the
// system has no high-resolution timer (before Windows 10 1803).
class ThreadTimerHandle {
 public:
  ThreadTimerHandle()
      : handle_(CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS)) {}
  ~ThreadTimerHandle() {
    if (handle_ != nullptr) CloseHandle(handle_);
  }
  ThreadTimerHandle(const ThreadTimerHandle&) = delete;
  ThreadTimerHandle& operator=(const ThreadTimerHandle&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

HANDLE ThreadTimer() {
  thread_local ThreadTimerHandle timer;
  return timer.get();
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
  if (timer == nullptr) {
    // No high-resolution timer: give the processor to any other ready thread until the
    // deadline, rather than holding it.
    while (CounterNow() < deadline) SwitchToThread();
    return;
  }
  LARGE_INTEGER due;
  // Relative due times are negative, in 100 ns units; whole seconds first, so that a long
  // wait does not overflow.
  const std::int64_t freq = CounterFrequency();
  due.QuadPart = -static_cast<LONGLONG>(left / freq * 10000000 + left % freq * 10000000 / freq);
  if (due.QuadPart == 0) return;
  if (SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE)) WaitForSingleObject(timer, INFINITE);
}

}  // namespace platform
