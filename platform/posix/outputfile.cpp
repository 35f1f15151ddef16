// Files written whole on POSIX systems: mkstemp beside the target, then rename.
#include "platform/outputfile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace platform {

OutputFile::OutputFile(const std::string& utf8Path) : target_(utf8Path) {
  if (utf8Path.empty()) return;
  std::vector<char> name(utf8Path.begin(), utf8Path.end());
  for (char c : std::string(".XXXXXX")) name.push_back(c);
  name.push_back('\0');
  const int fd = mkstemp(name.data());
  if (fd < 0) return;
  temp_ = name.data();
  // mkstemp makes the file for its owner only; a written file gets the usual permissions.
  const mode_t mask = umask(0);
  umask(mask);
  (void)fchmod(fd, 0666 & ~mask);
  file_ = fdopen(fd, "wb");
  if (file_ == nullptr) {
    close(fd);
    unlink(temp_.c_str());
  }
}

OutputFile::~OutputFile() {
  if (file_ == nullptr) return;
  std::fclose(file_);
  unlink(temp_.c_str());
}

bool OutputFile::Commit() {
  if (file_ == nullptr) return false;
  const bool written = std::fflush(file_) == 0 && !std::ferror(file_);
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  if (written && closed && std::rename(temp_.c_str(), target_.c_str()) == 0) return true;
  unlink(temp_.c_str());
  return false;
}

}  // namespace platform
