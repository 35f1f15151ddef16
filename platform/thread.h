// The worker-thread start (the stand-in for AfxBeginThread).
#pragma once

#include <cstdint>
#include <memory>

namespace platform {

enum class ThreadPriority { Lowest, Normal };

using ThreadProc = std::uint32_t (*)(std::intptr_t param);

// A started thread. Destroying the object detaches the thread, as the window leaves its
// worker running; Join waits for the end and answers the procedure's exit code.
class WorkerThread {
 public:
  virtual ~WorkerThread() = default;
  virtual std::uint32_t Join() = 0;
};

// Starts proc(param) at once with the given priority and the default stack size;
// nullptr when no thread could be started.
std::unique_ptr<WorkerThread> StartWorkerThread(ThreadProc proc, std::intptr_t param,
                                                ThreadPriority priority);

}  // namespace platform
