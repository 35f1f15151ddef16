// Writing a file by the name the program holds (UTF-8), whole or not at all.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace platform {

// A file written whole or not at all: the bytes go to a temporary file beside the target,
// which Commit moves into place, replacing an older file of that name. Dropped without a
// successful Commit, the temporary file is removed and the target is untouched. On Windows
// through the W functions, so that the name may hold any script.
class OutputFile {
 public:
  explicit OutputFile(const std::string& utf8Path);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // The open temporary file, positioned at its start; nullptr when it could not be made.
  std::FILE* File() const { return file_; }
  // Closes the file and moves it into place; false (and nothing in place) when a write,
  // the close or the move failed.
  bool Commit();

 private:
  std::string target_;
  std::string temp_;
  std::FILE* file_ = nullptr;
};

// Writes the bytes to the file whole or not at all (OutputFile).
bool WriteWholeFile(const std::string& utf8Path, const void* data, std::size_t size);

}  // namespace platform
