// Current directory, existence test and new small files on Windows, through the W functions
// with the program's UTF-8 converted at the boundary.
#include "platform/files.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/win32/text.h"

// <windows.h> names these as macros for its A and W forms; ours are plain names.
#undef GetCurrentDirectory

namespace platform {

using win32::Widen;

std::size_t GetCurrentDirectory(char* buf, std::size_t size) {
  if (!buf || size == 0) return 0;
  buf[0] = '\0';
  wchar_t wide[MAX_PATH * 4];
  DWORD n = ::GetCurrentDirectoryW(static_cast<DWORD>(sizeof wide / sizeof wide[0]), wide);
  if (n == 0 || n >= sizeof wide / sizeof wide[0]) return 0;
  std::string dir = win32::Narrow(wide, static_cast<int>(n));
  if (dir.size() + 1 > size) return 0;
  std::memcpy(buf, dir.c_str(), dir.size() + 1);
  return dir.size();
}

char PathSeparator() { return '\\'; }

bool PathExists(const char* path) {
  return path && path[0] && ::GetFileAttributesW(Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool CreateNewFile(const char* path, const std::string& bytes) {
  if (!path || !path[0]) return false;
  const std::wstring target = Widen(path);
  // A temporary name beside the file, unique to this process and call.
  static volatile LONG counter = 0;
  wchar_t suffix[64];
  std::swprintf(suffix, sizeof suffix / sizeof suffix[0], L".%lu.%ld.tmp", GetCurrentProcessId(),
                InterlockedIncrement(&counter));
  const std::wstring temp = target + suffix;
  HANDLE h = ::CreateFileW(temp.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != FALSE &&
            written == bytes.size();
  ok = ::FlushFileBuffers(h) != FALSE && ok;
  ok = ::CloseHandle(h) != FALSE && ok;
  // Without MOVEFILE_REPLACE_EXISTING the move refuses an existing name, so a file made
  // meanwhile by someone else is kept.
  ok = ok && ::MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH) != FALSE;
  if (!ok) ::DeleteFileW(temp.c_str());
  return ok;
}

}  // namespace platform
