// The performance counter behind platform/clock.h; the pause sleeps on whichever of the
// system's sleeps wakes closest to its due time (measured once per thread).
#include "platform/clock.h"

#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <cstdint>

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace platform {
namespace {

using NtDelayExecutionFn = LONG(WINAPI*)(BOOLEAN alertable, PLARGE_INTEGER interval);

std::int64_t Frequency() {
  static const std::int64_t freq = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<std::int64_t>(f.QuadPart);
  }();
  return freq;
}

std::int64_t Now() {
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  return static_cast<std::int64_t>(c.QuadPart);
}

// A relative due time in the system's 100 ns units (negative), whole seconds first so that a
// long wait does not overflow; 0 when less than one unit is left.
LONGLONG RelativeDue(std::int64_t ticks) {
  const std::int64_t freq = Frequency();
  return -static_cast<LONGLONG>(ticks / freq * 10000000 + ticks % freq * 10000000 / freq);
}

// The sleeps a thread can make, and the one it uses: the high-resolution waitable timer
// (Windows 10 1803 and later) or, where that is missing, an ordinary one with the system's
// timer period at 1 ms while the thread lives; and the kernel's own delay (NtDelayExecution),
// which some systems serve more precisely than their timers. The thread measures both once
// and keeps the one that wakes closer to its due time.
class ThreadSleeper {
 public:
  ThreadSleeper() {
    timer_ = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
    if (timer_ == nullptr) {
      periodSet_ = timeBeginPeriod(1) == TIMERR_NOERROR;
      timer_ = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
    }
    if (HMODULE ntdll = GetModuleHandleW(L"ntdll.dll"))
      delay_ = reinterpret_cast<NtDelayExecutionFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "NtDelayExecution")));
    useDelay_ = timer_ == nullptr || (delay_ != nullptr && MedianLateness(true) < MedianLateness(false));
  }
  ~ThreadSleeper() {
    if (timer_ != nullptr) CloseHandle(timer_);
    if (periodSet_) timeEndPeriod(1);
  }
  ThreadSleeper(const ThreadSleeper&) = delete;
  ThreadSleeper& operator=(const ThreadSleeper&) = delete;

  // Sleeps for about `ticks`; false when it has no way to.
  bool Sleep(std::int64_t ticks) {
    LARGE_INTEGER due;
    due.QuadPart = RelativeDue(ticks);
    if (due.QuadPart == 0) return true;
    if (useDelay_ && delay_ != nullptr) return delay_(FALSE, &due) >= 0;
    if (timer_ == nullptr || !SetWaitableTimer(timer_, &due, 0, nullptr, nullptr, FALSE)) return false;
    return WaitForSingleObject(timer_, INFINITE) == WAIT_OBJECT_0;
  }

 private:
  // The median lateness of seven 200 us sleeps of one kind, in counter ticks.
  std::int64_t MedianLateness(bool delay) {
    const bool saved = useDelay_;
    useDelay_ = delay;
    const std::int64_t request = Frequency() / 5000;
    std::int64_t late[7];
    for (std::int64_t& l : late) {
      const std::int64_t start = Now();
      if (!Sleep(request)) l = INT64_MAX / 2;
      else l = Now() - start - request;
    }
    useDelay_ = saved;
    std::sort(late, late + 7);
    return late[3];
  }

  HANDLE timer_ = nullptr;
  bool periodSet_ = false;
  NtDelayExecutionFn delay_ = nullptr;
  bool useDelay_ = false;
};

}  // namespace

std::int64_t CounterFrequency() { return Frequency(); }

std::int64_t CounterNow() { return Now(); }

void SleepMs(unsigned ms) { Sleep(ms); }

void SleepUntilCounter(std::int64_t deadline) {
  const std::int64_t left = deadline - Now();
  if (left <= 0) return;
  thread_local ThreadSleeper sleeper;
  if (sleeper.Sleep(left)) return;
  // No way to sleep precisely: give the processor to any other ready thread until the
  // deadline, rather than holding it.
  while (Now() < deadline) SwitchToThread();
}

}  // namespace platform
