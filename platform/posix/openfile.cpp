// Opening an upgrade file on POSIX: only a regular file, and never waiting on the name.
#include "platform/openfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

// O_NONBLOCK makes the open of a FIFO without a writer (or of a device) return at once
// instead of waiting; the descriptor is then kept only when it names a regular file, and
// made blocking again for the reads.
std::FILE* OpenFileForReading(const char* utf8Path) {
  if (utf8Path == nullptr) return nullptr;
  const int fd = open(utf8Path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return nullptr;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    errno = EINVAL;
    return nullptr;
  }
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    close(fd);
    return nullptr;
  }
  std::FILE* f = fdopen(fd, "rb");
  if (f == nullptr) close(fd);
  return f;
}

}  // namespace platform
