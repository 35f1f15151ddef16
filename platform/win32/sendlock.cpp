// The sending mark on Windows: a named mutex in the Global namespace, one per adapter GUID,
// so that it is seen across logons; the system closes it with the process.
#include "platform/sendlock.h"

#include <windows.h>

#include "platform/win32/text.h"

namespace platform {
namespace {

class MutexLock final : public AdapterSendLock {
 public:
  explicit MutexLock(HANDLE h) : h_(h) {}
  ~MutexLock() override { CloseHandle(h_); }

 private:
  HANDLE h_;
};

}  // namespace

SendLockStatus TryLockAdapterForSending(const std::string& name, std::unique_ptr<AdapterSendLock>* out) {
  if (name.empty()) return SendLockStatus::Failed;
  const std::wstring key = L"Global\\upgrade-tool-send-" + win32::Widen(name);
  HANDLE h = CreateMutexW(nullptr, FALSE, key.c_str());
  const DWORD err = GetLastError();
  if (h == nullptr) return err == ERROR_ACCESS_DENIED ? SendLockStatus::Busy : SendLockStatus::Failed;
  if (err == ERROR_ALREADY_EXISTS) {
    CloseHandle(h);
    return SendLockStatus::Busy;
  }
  *out = std::make_unique<MutexLock>(h);
  return SendLockStatus::Held;
}

}  // namespace platform
