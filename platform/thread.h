// The worker-thread start (the stand-in for AfxBeginThread).
#pragma once

#include <cstdint>
#include <memory>

namespace platform {

// Lowest: the weakest normal priority. Normal: the sending worker's scheduling, the best
// the system grants: real time at a low priority where the process may have it (Linux: root,
// CAP_SYS_NICE or RLIMIT_RTPRIO above 0) or RealtimeKit grants it, else normal priority with
// the short slice where the kernel honours it, else plain normal priority.
enum class ThreadPriority { Lowest, Normal };

// What a started thread got; SchedulingModeName gives "realtime", "realtime-rtkit" (real time
// granted by RealtimeKit, the desktop's service for it, where the process itself may not have
// it), "normal-short-slice" or "normal" (the command line prints it).
enum class SchedulingMode { Normal, NormalShortSlice, Realtime, RealtimeKit };
const char* SchedulingModeName(SchedulingMode mode);

using ThreadProc = std::uint32_t (*)(std::intptr_t param);

// A started thread. Destroying the object detaches the thread, as the window leaves its
// worker running; Join waits for the end and answers the procedure's exit code.
class WorkerThread {
 public:
  virtual ~WorkerThread() = default;
  virtual std::uint32_t Join() = 0;
  // Known when StartWorkerThread returns. A real-time thread that held the processor too
  // long without a pause is put back to normal scheduling by the system's watchdog, and
  // from then on answers Normal.
  virtual SchedulingMode Scheduling() const = 0;
};

// Starts proc(param) at once with the given priority and the default stack size;
// nullptr when no thread could be started.
std::unique_ptr<WorkerThread> StartWorkerThread(ThreadProc proc, std::intptr_t param,
                                                ThreadPriority priority);

}  // namespace platform
