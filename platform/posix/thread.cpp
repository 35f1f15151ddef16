// POSIX threads behind platform/thread.h, with Linux's scheduling for the sending worker.
#include "platform/thread.h"

#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <future>
#include <system_error>
#include <thread>

#include "platform/posix/realtimekit.h"

namespace platform {
namespace {

// The kernel's sched_attr (include/uapi/linux/sched/types.h); glibc 2.36 has no wrapper.
struct SchedAttr {
  std::uint32_t size;
  std::uint32_t sched_policy;
  std::uint64_t sched_flags;
  std::int32_t sched_nice;
  std::uint32_t sched_priority;
  std::uint64_t sched_runtime;
  std::uint64_t sched_deadline;
  std::uint64_t sched_period;
  std::uint32_t sched_util_min;
  std::uint32_t sched_util_max;
};

constexpr std::uint64_t kShortSliceNs = 100000;  // 100 us, the shortest slice the kernel takes

// The lowest real-time priority: above every normal thread, below every other real-time one
// (audio servers, interrupt threads).
constexpr int kRealtimePriority = 1;

// The watchdog: a real-time thread that runs this long without blocking (the pause sleeps
// every millisecond) is put back to normal scheduling. Half a second leaves room for the
// whole-file CRC of a large file read from the cache.
constexpr rlim_t kRealtimeBudgetMicroseconds = 500000;

// The thread's mode, which the watchdog's signal handler rewrites on the thread itself.
using ModeCell = std::atomic<SchedulingMode>;
thread_local ModeCell* t_mode = nullptr;
static_assert(ModeCell::is_always_lock_free, "stored from a signal handler");

// SIGXCPU for RLIMIT_RTTIME goes to the thread that ran too long: it leaves real time.
void OnRealtimeBudgetSpent(int) {
  const int saved = errno;
  sched_param normal{};
  if (sched_setscheduler(0, SCHED_OTHER | SCHED_RESET_ON_FORK, &normal) == 0 && t_mode != nullptr)
    t_mode->store(SchedulingMode::Normal);
  errno = saved;
}

// Installs the handler, once per process; false when another part of the program handles
// SIGXCPU, or a processor-time limit also raises it (the handler would then swallow that
// signal), so that real time is not used.
bool ArmWatchdog() {
  static const bool armed = [] {
    rlimit cpu{};
    if (getrlimit(RLIMIT_CPU, &cpu) != 0 || cpu.rlim_cur != RLIM_INFINITY) return false;
    struct sigaction old {};
    if (sigaction(SIGXCPU, nullptr, &old) != 0 || old.sa_handler != SIG_DFL) return false;
    struct sigaction sa {};
    sa.sa_handler = OnRealtimeBudgetSpent;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    return sigaction(SIGXCPU, &sa, nullptr) == 0;
  }();
  return armed;
}

// Sets RLIMIT_RTTIME before a thread enters real time. The hard limit, at which the kernel
// kills the whole process, is lowered to hardCap where it is above (for good: the process
// cannot raise it again). The soft limit, at which the watchdog's SIGXCPU comes, is at most
// the budget, and at most three quarters of a finite hard limit, so that the thread is back to
// normal scheduling well before. Set for every thread, as the kernel raises the soft limit by
// a second each time it sends SIGXCPU.
bool SetRealtimeBudget(rlim_t hardCap) {
  rlimit rt{};
  if (getrlimit(RLIMIT_RTTIME, &rt) != 0) return false;
  rt.rlim_max = std::min(rt.rlim_max, hardCap);  // RLIM_INFINITY is the largest rlim_t
  rt.rlim_cur = std::min(rt.rlim_cur, kRealtimeBudgetMicroseconds);
  if (rt.rlim_max != RLIM_INFINITY) rt.rlim_cur = std::min(rt.rlim_cur, rt.rlim_max - rt.rlim_max / 4);
  return rt.rlim_cur > 0 && setrlimit(RLIMIT_RTTIME, &rt) == 0;
}

// How the calling thread asked for real time.
enum class RealtimeRequest { Granted, Refused, Failed };

// SCHED_FIFO at the lowest priority for the calling thread, not inherited by children; the
// kernel refuses (EPERM) a process without the right, and nothing changes then.
RealtimeRequest EnterRealtime() {
  if (!SetRealtimeBudget(RLIM_INFINITY)) return RealtimeRequest::Failed;
  sched_param p{};
  p.sched_priority = kRealtimePriority;
  if (sched_setscheduler(0, SCHED_FIFO | SCHED_RESET_ON_FORK, &p) == 0) return RealtimeRequest::Granted;
  return errno == EPERM ? RealtimeRequest::Refused : RealtimeRequest::Failed;
}

// The longest RealtimeKit may take to answer, all steps together: the thread's start waits
// for it.
constexpr std::chrono::milliseconds kRealtimeKitWait{1000};

// RealtimeKit's condition: the hard RLIMIT_RTTIME at most its RTTimeUSecMax.
bool MeetRealtimeKitLimit(long long rttimeUsecMax) {
  return rttimeUsecMax > 0 && SetRealtimeBudget(static_cast<rlim_t>(rttimeUsecMax));
}

// Real time from RealtimeKit at the same priority, for a process the kernel refused it;
// RealtimeKit's default is SCHED_RR, which at one priority differs from SCHED_FIFO only among
// threads of that priority. Read back before it is reported.
bool EnterRealtimeThroughRealtimeKit() {
  const auto tid = static_cast<pid_t>(syscall(SYS_gettid));
  if (AskRealtimeKit(tid, kRealtimePriority, MeetRealtimeKitLimit, kRealtimeKitWait) != RealtimeKitAnswer::Granted)
    return false;
  const int policy = sched_getscheduler(0) & ~SCHED_RESET_ON_FORK;
  return policy == SCHED_FIFO || policy == SCHED_RR;
}

// A thread that sleeps most of the time and must wake on time asks the scheduler for a
// short slice (EEVDF, Linux 6.12 and later): it stays at normal priority, but on waking it
// gets an early deadline and so the processor within about that slice, instead of waiting
// for a busy neighbour's whole slice. Older kernels take the request and ignore it; reading
// it back tells the two apart (they answer no slice for a normal thread).
bool RequestShortSlice() {
  SchedAttr attr;
  std::memset(&attr, 0, sizeof attr);
  attr.size = sizeof attr;
  attr.sched_policy = SCHED_OTHER;
  attr.sched_runtime = kShortSliceNs;
  if (syscall(SYS_sched_setattr, 0, &attr, 0u) != 0) return false;
  std::memset(&attr, 0, sizeof attr);
  if (syscall(SYS_sched_getattr, 0, &attr, static_cast<unsigned>(sizeof attr), 0u) != 0) return false;
  return attr.sched_runtime == kShortSliceNs;
}

// Real time where the process may have it, else from RealtimeKit; only with the watchdog.
SchedulingMode EnterSendingScheduling() {
  if (ArmWatchdog()) {
    const RealtimeRequest direct = EnterRealtime();
    if (direct == RealtimeRequest::Granted) return SchedulingMode::Realtime;
    if (direct == RealtimeRequest::Refused && EnterRealtimeThroughRealtimeKit()) return SchedulingMode::RealtimeKit;
  }
  if (RequestShortSlice()) return SchedulingMode::NormalShortSlice;
  return SchedulingMode::Normal;
}

class PosixWorkerThread final : public WorkerThread {
 public:
  PosixWorkerThread(ThreadProc proc, std::intptr_t param, ThreadPriority priority)
      : exitCode_(std::make_shared<std::uint32_t>(0)), mode_(std::make_shared<ModeCell>(SchedulingMode::Normal)) {
    // The thread keeps its own references, so a detached thread never writes into a
    // destroyed object.
    std::promise<void> scheduled;
    std::future<void> ready = scheduled.get_future();
    thread_ = std::thread([code = exitCode_, mode = mode_, proc, param, priority, scheduled = std::move(scheduled)]() mutable {
      t_mode = mode.get();
      if (priority == ThreadPriority::Lowest) {
        // Linux schedules each thread by its own nice value; 19 is the weakest.
        (void)setpriority(PRIO_PROCESS, 0, 19);
      } else {
        mode->store(EnterSendingScheduling());
      }
      scheduled.set_value();
      *code = proc(param);
      t_mode = nullptr;
    });
    ready.wait();
  }

  ~PosixWorkerThread() override {
    if (thread_.joinable()) thread_.detach();
  }

  std::uint32_t Join() override {
    if (thread_.joinable()) thread_.join();
    return *exitCode_;
  }

  SchedulingMode Scheduling() const override { return mode_->load(); }

 private:
  std::shared_ptr<std::uint32_t> exitCode_;
  std::shared_ptr<ModeCell> mode_;
  std::thread thread_;
};

}  // namespace

std::unique_ptr<WorkerThread> StartWorkerThread(ThreadProc proc, std::intptr_t param,
                                                ThreadPriority priority) {
  try {
    return std::make_unique<PosixWorkerThread>(proc, param, priority);
  } catch (const std::system_error&) {
    return nullptr;
  }
}

}  // namespace platform
