// Helpers of the inspection tests: captured trace lines, a scratch directory for the files
// the builder makes, and counted info-data blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "tools/mkfile/builder.h"

namespace inspect_test {

// Takes the trace lines for its lifetime.
class TraceCapture {
 public:
  TraceCapture();
  ~TraceCapture();
  TraceCapture(const TraceCapture&) = delete;
  TraceCapture& operator=(const TraceCapture&) = delete;
  std::string Take();  // what was traced so far, emptied
};

// A directory of its own under the system's temporary directory, removed with its files.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  std::string Path(const std::string& name) const;
  std::string Write(const std::string& name, const mkfile::CFileImage& image) const;

 private:
  std::filesystem::path m_dir;
};

// Counts the info-data blocks while alive; `failAllocations` makes every allocation fail.
class AllocationCounter {
 public:
  explicit AllocationCounter(bool failAllocations = false);
  ~AllocationCounter();
  AllocationCounter(const AllocationCounter&) = delete;
  AllocationCounter& operator=(const AllocationCounter&) = delete;
  int Allocated() const;
  int Freed() const;
  std::size_t Largest() const;
};

// The little-endian number at off; bytes beyond the end count as zero.
std::uint32_t LoadLE32(const mkfile::Bytes& b, std::size_t off);
// CRC-32 of b[off, off+len).
std::uint32_t CrcOf(const mkfile::Bytes& b, std::size_t off, std::size_t len);
// CRC-32 of b[off, off+len) with the four bytes at off+crcOff taken as zero.
std::uint32_t RecordCrc(const mkfile::Bytes& b, std::size_t off, std::size_t len, std::size_t crcOff);

}  // namespace inspect_test
