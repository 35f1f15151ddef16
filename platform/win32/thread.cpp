// CreateThread behind platform/thread.h, with the Windows thread priorities.
#include "platform/thread.h"

#include <windows.h>

namespace platform {
namespace {

struct Start {
  ThreadProc proc;
  std::intptr_t param;
};

DWORD WINAPI Trampoline(LPVOID p) {
  Start s = *static_cast<Start*>(p);
  delete static_cast<Start*>(p);
  return s.proc(s.param);
}

class Win32WorkerThread final : public WorkerThread {
 public:
  explicit Win32WorkerThread(HANDLE h) : handle_(h) {}
  // Normal priority: no Windows mode here has been measured to pace better (DESIGN.md).
  SchedulingMode Scheduling() const override { return SchedulingMode::Normal; }
  ~Win32WorkerThread() override { CloseHandle(handle_); }

  std::uint32_t Join() override {
    WaitForSingleObject(handle_, INFINITE);
    DWORD code = 0;
    GetExitCodeThread(handle_, &code);
    return code;
  }

 private:
  HANDLE handle_;
};

}  // namespace

std::unique_ptr<WorkerThread> StartWorkerThread(ThreadProc proc, std::intptr_t param, ThreadPriority priority) {
  auto* start = new Start{proc, param};
  HANDLE h = CreateThread(nullptr, 0, Trampoline, start, CREATE_SUSPENDED, nullptr);
  if (h == nullptr) {
    delete start;
    return nullptr;
  }
  SetThreadPriority(h, priority == ThreadPriority::Lowest ? THREAD_PRIORITY_LOWEST : THREAD_PRIORITY_NORMAL);
  ResumeThread(h);
  return std::make_unique<Win32WorkerThread>(h);
}

}  // namespace platform
