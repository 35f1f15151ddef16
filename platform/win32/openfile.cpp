// Opening files for reading on Windows: the UTF-8 name widened for CreateFileW, and only a
// regular disk file accepted.
#include "platform/openfile.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cwctype>
#include <string>

namespace platform {
namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Names in the device namespace ("\\.\pipe\x", "\\.\COM1", "\\?\GLOBALROOT\..."): every one
// but the long-path forms of a drive ("\\?\C:\...") and of a share ("\\?\UNC\...").
bool InDeviceNamespace(const std::wstring& p) {
  if (p.size() < 4 || !IsSeparator(p[0]) || !IsSeparator(p[1]) || !IsSeparator(p[3])) return false;
  if (p[2] == L'.') return true;
  if (p[2] != L'?') return false;
  const std::wstring rest = p.substr(4);
  if (rest.size() >= 2 && std::iswalpha(rest[0]) && rest[1] == L':') return false;
  return !(rest.size() >= 4 && _wcsnicmp(rest.c_str(), L"UNC", 3) == 0 && IsSeparator(rest[3]));
}

// A last name part that the system takes for a device in any folder: CON, PRN, AUX, NUL,
// COM0-9, LPT0-9 (also with an extension or trailing blanks, "nul.bin"), CONIN$, CONOUT$.
bool NamesDosDevice(const std::wstring& p) {
  std::size_t start = p.find_last_of(L"\\/:");
  start = start == std::wstring::npos ? 0 : start + 1;
  std::wstring base = p.substr(start, p.find(L'.', start) == std::wstring::npos ? std::wstring::npos
                                                                                  : p.find(L'.', start) - start);
  while (!base.empty() && (base.back() == L' ' || base.back() == L'.')) base.pop_back();
  for (wchar_t& c : base) c = static_cast<wchar_t>(std::towupper(c));
  if (base == L"CON" || base == L"PRN" || base == L"AUX" || base == L"NUL" || base == L"CONIN$" ||
      base == L"CONOUT$")
    return true;
  if (base.size() == 4 && (base.compare(0, 3, L"COM") == 0 || base.compare(0, 3, L"LPT") == 0)) {
    const wchar_t d = base[3];
    return (d >= L'0' && d <= L'9') || d == L'\u00B9' || d == L'\u00B2' || d == L'\u00B3';
  }
  return false;
}

}  // namespace

std::FILE* OpenFileForReading(const char* utf8Path) {
  if (utf8Path == nullptr || utf8Path[0] == '\0') return nullptr;
  const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8Path, -1, nullptr, 0);
  if (n <= 0) return nullptr;
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8Path, -1, wide.data(), n);
  wide.resize(static_cast<std::size_t>(n) - 1);
  // Devices and pipes are refused by name before anything is opened: opening one may wait
  // (a serial port, a pipe's server) or take a pipe instance from its server.
  if (InDeviceNamespace(wide) || NamesDosDevice(wide)) return nullptr;
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0)
    return nullptr;
  HANDLE h = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileType(h) != FILE_TYPE_DISK || !GetFileInformationByHandle(h, &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
    CloseHandle(h);
    return nullptr;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDONLY | _O_BINARY);
  if (fd < 0) {
    CloseHandle(h);
    return nullptr;
  }
  std::FILE* file = _fdopen(fd, "rb");
  if (file == nullptr) _close(fd);
  return file;
}

}  // namespace platform
