// What the sending worker's scheduling tests share: thread procedures that report the policy
// they run under, and a spinner that holds the processor until the watchdog demotes it.
#pragma once

#include <sched.h>
#include <time.h>

#include <cstdint>
#include <semaphore>

namespace scheduling_test {

inline bool IsRealtimePolicy(int policy) {
  policy &= ~SCHED_RESET_ON_FORK;
  return policy == SCHED_FIFO || policy == SCHED_RR;
}

// The thread's policy (flags included) in the upper bits, its priority in the lowest byte.
inline std::uint32_t PolicyAndPriority(std::intptr_t) {
  sched_param p{};
  sched_getparam(0, &p);
  return static_cast<std::uint32_t>(sched_getscheduler(0)) << 8 | static_cast<std::uint32_t>(p.sched_priority);
}

inline double CpuSecondsOfThisThread() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// Released once the test has read the worker's mode: a real-time spinner could otherwise be
// put back to normal before a test thread that waits for a processor reads it.
inline std::counting_semaphore<64> g_spinGo{0};

// Waits (blocked: no real-time budget is spent) for g_spinGo, then spins without ever blocking
// until it is no longer real-time (or 5 s of processor time); answers the processor
// milliseconds that took.
inline std::uint32_t SpinUntilDemoted(std::intptr_t) {
  g_spinGo.acquire();
  const double start = CpuSecondsOfThisThread();
  while (IsRealtimePolicy(sched_getscheduler(0)) && CpuSecondsOfThisThread() - start < 5.0) {
  }
  return static_cast<std::uint32_t>((CpuSecondsOfThisThread() - start) * 1000);
}

}  // namespace scheduling_test
