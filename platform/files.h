// The few file-system services the window needs: the current directory, whether a path
// exists, the path separator, and the making of a new small file.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// GetCurrentDirectoryA: the current directory into buf (size bytes), without a trailing
// separator except for a root. Answers its length, or 0 when it does not fit or cannot be
// read (buf then holds an empty text).
std::size_t GetCurrentDirectory(char* buf, std::size_t size);

// The separator that joins a folder and a file name: '\\' on Windows, '/' elsewhere.
char PathSeparator();

// True when a file or folder of this name exists.
bool PathExists(const char* path);

// Creates the file with exactly these bytes when nothing of this name exists yet: the bytes
// go to a temporary file renamed into place, so the file is never seen half written. False
// when it exists already or could not be made.
bool CreateNewFile(const char* path, const std::string& bytes);

}  // namespace platform
