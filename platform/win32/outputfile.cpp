// Files written whole on Windows: a temporary file beside the target, made with CreateFileW
// and moved into place with MoveFileExW; names widened from UTF-8.
#include "platform/outputfile.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cwchar>

#include "platform/win32/text.h"

namespace platform {

OutputFile::OutputFile(const std::string& utf8Path) : target_(utf8Path) {
  if (utf8Path.empty()) return;
  static volatile LONG counter = 0;
  char suffix[64];
  std::snprintf(suffix, sizeof suffix, ".%lu.%ld.tmp", GetCurrentProcessId(), InterlockedIncrement(&counter));
  temp_ = target_ + suffix;
  HANDLE h = CreateFileW(win32::Widen(temp_).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
  if (fd < 0) {
    CloseHandle(h);
  } else if ((file_ = _fdopen(fd, "wb")) == nullptr) {
    _close(fd);
  }
  if (file_ == nullptr) DeleteFileW(win32::Widen(temp_).c_str());
}

OutputFile::~OutputFile() {
  if (file_ == nullptr) return;
  std::fclose(file_);
  DeleteFileW(win32::Widen(temp_).c_str());
}

bool OutputFile::Commit() {
  if (file_ == nullptr) return false;
  const bool written = std::fflush(file_) == 0 && !std::ferror(file_);
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  const std::wstring temp = win32::Widen(temp_);
  if (written && closed &&
      MoveFileExW(temp.c_str(), win32::Widen(target_).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  DeleteFileW(temp.c_str());
  return false;
}

}  // namespace platform
