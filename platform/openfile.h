// Opening a file by the name the program holds (UTF-8).
#pragma once

#include <cstdio>

namespace platform {

// Opens the file for reading as raw bytes, others allowed to read it too: fopen(path, "rb")
// on POSIX; on Windows the UTF-8 name is widened for _wfsopen, so that a name in any script
// opens. nullptr when it cannot be opened.
std::FILE* OpenFileForReading(const char* utf8Path);

}  // namespace platform
