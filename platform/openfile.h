// Opening a file by the name the program holds (UTF-8).
#pragma once

#include <cstdio>

namespace platform {

// Opens a regular disk file for reading as raw bytes, others allowed to read and write it
// too. Anything else - a folder, a named pipe, a FIFO, a device such as /dev/zero or NUL, CON
// or COM1 - is refused without being opened for reading, so that the call never blocks and
// never reads without end. On Windows the UTF-8 name is widened for CreateFileW, so that a
// name in any script opens. nullptr when it cannot be opened.
std::FILE* OpenFileForReading(const char* utf8Path);

}  // namespace platform
