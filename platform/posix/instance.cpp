// The running-copy marker on POSIX: a lock file in the user's runtime directory, held with
// flock for the life of the process. The descriptor is never closed, so the lock goes only
// when the process ends; no call ever waits for it.
#include "platform/instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

namespace platform {
namespace {

std::mutex g_lock;
std::vector<int> g_held;  // the descriptors that hold our locks

bool IsOwnDirectory(const std::string& dir) {
  struct stat st;
  return lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid();
}

// $XDG_RUNTIME_DIR (the logon's own folder), else /tmp/upgrade-<uid>, made private.
std::string RuntimeDirectory() {
  const char* xdg = std::getenv("XDG_RUNTIME_DIR");
  if (xdg && xdg[0] == '/' && IsOwnDirectory(xdg)) return xdg;
  std::string dir = "/tmp/upgrade-" + std::to_string(geteuid());
  if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return {};
  if (!IsOwnDirectory(dir)) return {};
  return dir;
}

}  // namespace

InstanceMarker CreateInstanceMarker(const char* name) {
  if (!name || !name[0]) return InstanceMarker::Failed;
  std::string dir = RuntimeDirectory();
  if (dir.empty()) return InstanceMarker::Failed;
  std::string path = dir + "/" + name + ".lock";
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return InstanceMarker::Failed;
  int rc;
  do {
    rc = flock(fd, LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  if (rc == 0) {  // fd stays open: the lock lives with us
    std::lock_guard<std::mutex> guard(g_lock);
    g_held.push_back(fd);
    return InstanceMarker::Created;
  }
  int err = errno;
  close(fd);
  return err == EWOULDBLOCK ? InstanceMarker::AlreadyExists : InstanceMarker::Failed;
}

void ReleaseInstanceMarkers() {
  std::lock_guard<std::mutex> guard(g_lock);
  for (int fd : g_held) close(fd);
  g_held.clear();
}

}  // namespace platform
