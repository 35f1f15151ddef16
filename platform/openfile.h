// Opening a file by the name the program holds (UTF-8).
#pragma once

#include <cstdio>

namespace platform {

// Opens the file for reading as raw bytes, others allowed to read it too; on Windows the
// UTF-8 name is widened for the wide API, so that a name in any script opens. Only a
// regular file opens: a folder, a named pipe, a socket or a device gives nullptr, at once
// (the open never waits for a writer). nullptr when it cannot be opened.
std::FILE* OpenFileForReading(const char* utf8Path);

}  // namespace platform
