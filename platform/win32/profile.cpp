// Private-profile files on Windows: the system's own functions, in their W form so that a
// path holds any character; the system keeps the file in the ANSI code page (it converts the
// values), as stored files expect. Values cross this boundary as UTF-8.
#include "platform/profile.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "platform/utf8.h"
#include "platform/win32/text.h"

// <windows.h> names these as macros for its A and W forms; ours are plain names.
#undef GetPrivateProfileString
#undef GetPrivateProfileInt
#undef WritePrivateProfileString

namespace platform {

using win32::Widen;

std::uint32_t GetPrivateProfileString(const char* section, const char* key, const char* def, char* buf,
                                      std::uint32_t size, const char* path) {
  if (!buf || size == 0) return 0;
  std::string value;
  if (section && key && path && path[0]) {
    // Room for as many UTF-16 units as the caller has bytes: never fewer characters.
    std::vector<wchar_t> wide(size, L'\0');
    std::wstring wdef = Widen(def ? def : "");
    DWORD n = ::GetPrivateProfileStringW(Widen(section).c_str(), Widen(key).c_str(), wdef.c_str(), wide.data(),
                                         static_cast<DWORD>(wide.size()), Widen(path).c_str());
    value = win32::Narrow(wide.data(), static_cast<int>(n));
  } else {
    value = def ? def : "";
  }
  value = CutUtf8(value, size - 1);
  std::memcpy(buf, value.data(), value.size());
  buf[value.size()] = '\0';
  return static_cast<std::uint32_t>(value.size());
}

std::uint32_t GetPrivateProfileInt(const char* section, const char* key, int def, const char* path) {
  if (!section || !key || !path || !path[0]) return static_cast<std::uint32_t>(def);
  return ::GetPrivateProfileIntW(Widen(section).c_str(), Widen(key).c_str(), def, Widen(path).c_str());
}

bool WritePrivateProfileString(const char* section, const char* key, const char* value, const char* path) {
  if (!section || !key || !value || !path || !path[0]) return false;
  return ::WritePrivateProfileStringW(Widen(section).c_str(), Widen(key).c_str(), Widen(value).c_str(),
                                      Widen(path).c_str()) != FALSE;
}

bool ProfileFunctionsAreTheSystems() { return true; }

}  // namespace platform
