// Private-profile files on POSIX: our rules (platform/profile.cpp) over the file, a write
// going to a temporary file in the same folder that is renamed over the old one.
#include "platform/profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace platform {
namespace {

enum class ReadStatus { Ok, Absent, Error };

ReadStatus ReadWhole(const char* path, std::string& out) {
  out.clear();
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? ReadStatus::Absent : ReadStatus::Error;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return ReadStatus::Error;
  }
  char buf[4096];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      close(fd);
      return ReadStatus::Error;
    }
    if (n == 0) break;
    out.append(buf, static_cast<std::size_t>(n));
  }
  close(fd);
  return ReadStatus::Ok;
}

bool WriteAll(int fd, const std::string& s) {
  std::size_t done = 0;
  while (done < s.size()) {
    ssize_t n = write(fd, s.data() + done, s.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Writes the file whole under a temporary name in its folder, then renames it over `path`.
bool ReplaceFile(const char* path, const std::string& content, mode_t mode) {
  std::string tmpl = std::string(path) + ".XXXXXX";
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  int fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = fchmod(fd, mode) == 0 && WriteAll(fd, content) && fsync(fd) == 0;
  ok = (close(fd) == 0) && ok;
  if (ok && rename(name.data(), path) == 0) return true;
  unlink(name.data());
  return false;
}

mode_t NewFileMode() {
  mode_t mask = umask(0);
  umask(mask);
  return static_cast<mode_t>(0666 & ~mask);
}

}  // namespace

std::uint32_t GetPrivateProfileString(const char* section, const char* key, const char* def, char* buf,
                                      std::uint32_t size, const char* path) {
  if (!buf || size == 0) return 0;
  std::string content, value;
  if (!(path && ReadWhole(path, content) == ReadStatus::Ok && section && key &&
        profile::FindValue(content, section, key, value))) {
    value = def ? def : "";
  }
  std::size_t n = value.size() < size - 1 ? value.size() : size - 1;
  std::memcpy(buf, value.data(), n);
  buf[n] = '\0';
  return static_cast<std::uint32_t>(n);
}

std::uint32_t GetPrivateProfileInt(const char* section, const char* key, int def, const char* path) {
  char buf[256];
  std::uint32_t n = GetPrivateProfileString(section, key, "", buf, sizeof buf, path);
  if (n == 0) return static_cast<std::uint32_t>(def);
  return profile::ParseInt(std::string(buf, n));
}

bool WritePrivateProfileString(const char* section, const char* key, const char* value, const char* path) {
  if (!section || !key || !value || !path) return false;
  std::string content;
  mode_t mode = NewFileMode();
  ReadStatus rs = ReadWhole(path, content);
  if (rs == ReadStatus::Error) return false;
  if (rs == ReadStatus::Ok) {
    struct stat st;
    if (stat(path, &st) == 0) mode = st.st_mode & 07777;
    // A read-only file (no write permission for anyone, or none for this user) is left as it
    // is, as the system's profile functions leave it; renaming over it would replace it.
    if ((mode & 0222) == 0 || access(path, W_OK) != 0) return false;
  }
  return ReplaceFile(path, profile::StoreValue(content, section, key, value), mode);
}

bool ProfileFunctionsAreTheSystems() { return false; }

}  // namespace platform
