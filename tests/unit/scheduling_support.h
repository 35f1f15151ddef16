// What the sending worker's scheduling tests share: thread procedures that report the policy
// they run under, a spinner that holds the processor until the watchdog demotes it, and a
// child process without the right to real time that starts a worker and reports what it got.
#pragma once

#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <semaphore>
#include <string>

#include "platform/thread.h"

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

// What the child saw; sent back through a pipe.
struct ChildReport {
  int mode = -1;               // the worker's SchedulingMode, as it started
  int modeAfter = -1;          // ... and after it ended
  std::uint32_t code = 0;      // the thread procedure's answer
  long long startMs = -1;      // how long StartWorkerThread took
  long long secondStartMs = -1;  // the same for a second worker, where asked
  long long rttimeSoft = -2, rttimeHard = -2;  // RLIMIT_RTTIME afterwards (-1 unlimited)
};

struct ChildOutcome {
  int status = 0;  // waitpid's
  bool reported = false;
  ChildReport report;
};

inline long long MsSince(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t).count();
}

inline long long AsNumber(rlim_t v) { return v == RLIM_INFINITY ? -1 : static_cast<long long>(v); }

// Starts a sending worker (proc) in a child without the right to real time, with the system
// bus at busAddress; with twice, a second worker after the first ended.
inline ChildOutcome RunWorkerWithoutTheRight(const std::string& busAddress, platform::ThreadProc proc, bool twice = false) {
  ChildOutcome out;
  int fds[2];
  if (pipe(fds) != 0) return out;
  const pid_t child = fork();
  if (child < 0) return out;
  if (child == 0) {
    close(fds[0]);
    setenv("DBUS_SYSTEM_BUS_ADDRESS", busAddress.c_str(), 1);
    rlimit none{0, 0};
    if (setrlimit(RLIMIT_RTPRIO, &none) != 0) _exit(100);
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(101);
    ChildReport r;
    auto begin = std::chrono::steady_clock::now();
    auto t = platform::StartWorkerThread(proc, 0, platform::ThreadPriority::Normal);
    r.startMs = MsSince(begin);
    if (t == nullptr) _exit(102);
    r.mode = static_cast<int>(t->Scheduling());
    g_spinGo.release();  // a worker that waits for it may go on (the others never look)
    r.code = t->Join();
    r.modeAfter = static_cast<int>(t->Scheduling());
    if (twice) {
      begin = std::chrono::steady_clock::now();
      auto second = platform::StartWorkerThread(proc, 0, platform::ThreadPriority::Normal);
      r.secondStartMs = MsSince(begin);
      if (second == nullptr) _exit(102);
      g_spinGo.release();
      second->Join();
    }
    rlimit rt{};
    getrlimit(RLIMIT_RTTIME, &rt);
    r.rttimeSoft = AsNumber(rt.rlim_cur);
    r.rttimeHard = AsNumber(rt.rlim_max);
    _exit(write(fds[1], &r, sizeof r) == static_cast<ssize_t>(sizeof r) ? 0 : 103);
  }
  close(fds[1]);
  out.reported = read(fds[0], &out.report, sizeof out.report) == static_cast<ssize_t>(sizeof out.report);
  close(fds[0]);
  waitpid(child, &out.status, 0);
  return out;
}

inline std::string Describe(const ChildOutcome& o) {
  std::string s = WIFSIGNALED(o.status) ? "child killed by signal " + std::to_string(WTERMSIG(o.status))
                                        : "child status " + std::to_string(WEXITSTATUS(o.status)) +
                                              " (100 rlimit, 101 uid, 102 start, 103 report)";
  if (o.reported)
    s += "; mode " + std::string(platform::SchedulingModeName(static_cast<platform::SchedulingMode>(o.report.mode))) +
         ", start " + std::to_string(o.report.startMs) + " ms";
  return s;
}

inline bool FellBack(const ChildReport& r) {
  return (r.mode == static_cast<int>(platform::SchedulingMode::Normal) ||
          r.mode == static_cast<int>(platform::SchedulingMode::NormalShortSlice)) &&
         (r.code >> 8) == SCHED_OTHER;
}

}  // namespace scheduling_test
