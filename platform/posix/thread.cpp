// POSIX threads behind platform/thread.h.
#include "platform/thread.h"

#include <sys/resource.h>

#include <system_error>
#include <thread>

namespace platform {
namespace {

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
