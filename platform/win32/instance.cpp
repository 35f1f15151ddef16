// The running-copy marker on Windows: a named kernel mutex (CreateMutexA, no namespace
// prefix, so it holds within one logon), never waited on, released or closed while the
// process runs; the system lets go of it when the process ends.
#include "platform/instance.h"

#include <windows.h>

#include <mutex>
#include <vector>

namespace platform {
namespace {

std::mutex g_lock;
std::vector<HANDLE> g_held;

}  // namespace

InstanceMarker CreateInstanceMarker(const char* name) {
  if (!name || !name[0]) return InstanceMarker::Failed;
  HANDLE h = CreateMutexA(nullptr, FALSE, name);
  const DWORD err = GetLastError();  // read at once, before anything else can change it
  if (h == nullptr) return InstanceMarker::Failed;
  {
    std::lock_guard<std::mutex> guard(g_lock);
    g_held.push_back(h);  // kept open: the name lives as long as some process holds it
  }
  return err == ERROR_ALREADY_EXISTS ? InstanceMarker::AlreadyExists : InstanceMarker::Created;
}

void ReleaseInstanceMarkers() {
  std::lock_guard<std::mutex> guard(g_lock);
  for (HANDLE h : g_held) CloseHandle(h);
  g_held.clear();
}

}  // namespace platform
