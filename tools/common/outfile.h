// The output file of the tools: written whole or not at all. The bytes go to a temporary
// file in the target's folder, which is renamed over the target only when everything was
// written; a failure, or an object destroyed before Commit, leaves the target as it was.
// Only a regular file (or a name that does not exist yet) is ever a target: a folder, FIFO
// or device is refused before anything is written, so the tools never block on one.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

namespace tools {

class COutputFile {
 public:
  COutputFile() = default;
  COutputFile(const COutputFile&) = delete;
  COutputFile& operator=(const COutputFile&) = delete;
  ~COutputFile() { Discard(); }

  // Checks the target (a regular file or nothing, in an existing folder; a symbolic link
  // is followed, so the file it names is replaced) and creates the temporary file beside
  // it. False, with the reason in *error, when it cannot be written.
  bool Open(const std::string& path, std::string* error);

  // Writes at the current position / moves it (past the end leaves a hole of zeros) /
  // writes `count` bytes of `value` in blocks. False once anything failed.
  bool Write(const void* data, std::size_t n);
  bool Seek(std::uint64_t offset);
  bool Fill(std::uint64_t count, std::uint8_t value);

  // Makes the file exactly `size` bytes long, closes it and renames it over the target.
  bool Commit(std::uint64_t size, std::string* error);
  // Removes the temporary file (nothing happens to the target).
  void Discard();

  const std::filesystem::path& Target() const { return target_; }

 private:
  std::filesystem::path target_;
  std::filesystem::path temp_;
  std::ofstream file_;
  bool open_ = false;
  bool ok_ = false;
};

}  // namespace tools
