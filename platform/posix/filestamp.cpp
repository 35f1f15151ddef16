#include "platform/filestamp.h"

#include <sys/stat.h>

namespace platform {
namespace {

bool FromStat(const struct stat& st, FileStamp* out) {
  if (!S_ISREG(st.st_mode)) return false;
  out->size = static_cast<std::int64_t>(st.st_size);
  out->mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  out->fileId = static_cast<std::uint64_t>(st.st_ino);
  out->volumeId = static_cast<std::uint64_t>(st.st_dev);
  return true;
}

}  // namespace

bool StampOfOpenFile(std::FILE* f, FileStamp* out) {
  struct stat st;
  return f != nullptr && fstat(fileno(f), &st) == 0 && FromStat(st, out);
}

bool StampOfPath(const char* utf8Path, FileStamp* out) {
  struct stat st;
  return utf8Path != nullptr && stat(utf8Path, &st) == 0 && FromStat(st, out);
}

}  // namespace platform
