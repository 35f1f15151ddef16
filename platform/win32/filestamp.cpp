#include "platform/filestamp.h"

#include <io.h>
#include <windows.h>

#include "platform/win32/text.h"

namespace platform {
namespace {

bool FromHandle(HANDLE h, FileStamp* out) {
  BY_HANDLE_FILE_INFORMATION info;
  if (h == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(h, &info)) return false;
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || GetFileType(h) != FILE_TYPE_DISK) return false;
  out->size = static_cast<std::int64_t>((static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
  const std::uint64_t ticks =
      (static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) | info.ftLastWriteTime.dwLowDateTime;
  out->mtimeNs = static_cast<std::int64_t>(ticks) * 100;
  out->fileId = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  out->volumeId = info.dwVolumeSerialNumber;
  return true;
}

}  // namespace

bool StampOfOpenFile(std::FILE* f, FileStamp* out) {
  if (f == nullptr) return false;
  return FromHandle(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f))), out);
}

bool StampOfPath(const char* utf8Path, FileStamp* out) {
  if (utf8Path == nullptr) return false;
  HANDLE h = CreateFileW(win32::Widen(utf8Path).c_str(), FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool ok = FromHandle(h, out);
  CloseHandle(h);
  return ok;
}

}  // namespace platform
