// What tells whether a file is still the one that was checked: its size, its last write time
// and which file it is on its volume (inode and device on POSIX, the file index and volume
// serial number on Windows).
#pragma once

#include <cstdint>
#include <cstdio>

namespace platform {

struct FileStamp {
  std::int64_t size = -1;
  std::int64_t mtimeNs = 0;   // last write, nanoseconds since the system's epoch
  std::uint64_t fileId = 0;   // which file on its volume
  std::uint64_t volumeId = 0;

  bool operator==(const FileStamp&) const = default;
};

// The stamp of an open file (what the open handle reads), or of the file a path names now.
// false when it cannot be told (the path names nothing, or not a regular file).
bool StampOfOpenFile(std::FILE* f, FileStamp* out);
bool StampOfPath(const char* utf8Path, FileStamp* out);

}  // namespace platform
