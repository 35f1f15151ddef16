#include "settings/keys.h"

#include <cstring>

#include "platform/files.h"
#include "platform/profile.h"

namespace settings {

bool MakeSettingsPath(char* buf, std::size_t size) {
  if (!buf || size == 0) return false;
  std::memset(buf, 0, size);
  std::size_t len = platform::GetCurrentDirectory(buf, size);
  const std::size_t tail = 1 + std::strlen(kFileName);
  if (len == 0 || len + tail > size - 1) {
    std::memset(buf, 0, size);
    return false;
  }
  buf[len] = platform::PathSeparator();
  std::memcpy(buf + len + 1, kFileName, std::strlen(kFileName));
  return true;
}

void EnsureSettingsFile(const char* path) {
  if (platform::PathExists(path)) return;
  platform::CreateNewFile(path, std::string(kFirstLine, sizeof kFirstLine - 1));
}

std::int32_t ReadLanguage(const char* path) {
  if (!platform::PathExists(path)) return 0;
  return static_cast<std::int32_t>(platform::GetPrivateProfileInt(kSection, kKeyLanguage, 0, path));
}

void WriteLanguage(const char* path, std::int32_t nLanguage) {
  EnsureSettingsFile(path);
  if (nLanguage == 0) platform::WritePrivateProfileString(kSection, kKeyLanguage, "0", path);
  if (nLanguage == 1) platform::WritePrivateProfileString(kSection, kKeyLanguage, "1", path);
}

std::string ReadLastAdapter(const char* path) {
  if (!platform::PathExists(path)) return {};
  char buf[256];
  std::memset(buf, 0, sizeof buf);
  platform::GetPrivateProfileString(kSection, kKeyLastAdapter, nullptr, buf, sizeof buf, path);
  return buf;
}

void WriteLastAdapter(const char* path, const std::string& strEntry) {
  EnsureSettingsFile(path);
  platform::WritePrivateProfileString(kSection, kKeyLastAdapter, strEntry.c_str(), path);
}

void WriteArchiveToolPath(const char* path, const std::string& strPath) {
  EnsureSettingsFile(path);
  platform::WritePrivateProfileString(kSection, kKeyArchiveTool, strPath.c_str(), path);
}

}  // namespace settings
