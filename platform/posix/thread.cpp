// POSIX threads behind platform/thread.h.
#include "platform/thread.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>

#include <system_error>
#include <thread>

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

// A thread that sleeps most of the time and must wake on time asks the scheduler for a
// short slice (EEVDF, Linux 6.12 and later): it stays at normal priority, but on waking it
// gets an early deadline and so the processor within about that slice, instead of waiting
// for a busy neighbour's whole slice. Older kernels ignore the request.
void RequestShortSlice() {
  SchedAttr attr;
  std::memset(&attr, 0, sizeof attr);
  attr.size = sizeof attr;
  attr.sched_policy = 0;  // SCHED_OTHER
  attr.sched_nice = 0;
  attr.sched_runtime = 100000;  // 100 us, the shortest slice the kernel takes
  (void)syscall(SYS_sched_setattr, 0, &attr, 0u);
}

class PosixWorkerThread final : public WorkerThread {
 public:
  PosixWorkerThread(ThreadProc proc, std::intptr_t param, ThreadPriority priority)
      : exitCode_(std::make_shared<std::uint32_t>(0)) {
    // The thread keeps its own reference to the exit code, so a detached thread never
    // writes into a destroyed object.
    thread_ = std::thread([code = exitCode_, proc, param, priority] {
      if (priority == ThreadPriority::Lowest) {
        // Linux schedules each thread by its own nice value; 19 is the weakest.
        (void)setpriority(PRIO_PROCESS, 0, 19);
      } else {
        RequestShortSlice();
      }
      *code = proc(param);
    });
  }

  ~PosixWorkerThread() override {
    if (thread_.joinable()) thread_.detach();
  }

  std::uint32_t Join() override {
    if (thread_.joinable()) thread_.join();
    return *exitCode_;
  }

 private:
  std::shared_ptr<std::uint32_t> exitCode_;
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
