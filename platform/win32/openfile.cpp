#include "platform/openfile.h"

#include <share.h>
#include <windows.h>

#include <string>

namespace platform {

std::FILE* OpenFileForReading(const char* utf8Path) {
  const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8Path, -1, nullptr, 0);
  if (n <= 0) return nullptr;
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8Path, -1, wide.data(), n);
  return _wfsopen(wide.c_str(), L"rb", _SH_DENYNO);
}

}  // namespace platform
