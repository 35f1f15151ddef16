#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace platform {

std::size_t GetCurrentDirectory(char* buf, std::size_t size) {
  if (!buf || size == 0) return 0;
  if (!getcwd(buf, size)) {
    buf[0] = '\0';
    return 0;
  }
  return std::strlen(buf);
}

char PathSeparator() { return '/'; }

bool PathExists(const char* path) {
  struct stat st;
  return path && path[0] && stat(path, &st) == 0;
}

bool CreateNewFile(const char* path, const std::string& bytes) {
  if (!path || !path[0]) return false;
  std::string tmpl = std::string(path) + ".XXXXXX";
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  int fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return false;
  mode_t mask = umask(0);
  umask(mask);
  bool ok = fchmod(fd, static_cast<mode_t>(0666 & ~mask)) == 0;
  std::size_t done = 0;
  while (ok && done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) ok = false;
    else done += static_cast<std::size_t>(n);
  }
  ok = ok && fsync(fd) == 0;
  ok = (close(fd) == 0) && ok;
  // link() refuses an existing name, so a file made meanwhile by someone else is kept.
  ok = ok && link(name.data(), path) == 0;
  unlink(name.data());
  return ok;
}

}  // namespace platform
