// Small stdio helpers shared by the inspection routines.
#pragma once

#include <cstdint>
#include <cstdio>

namespace inspect {

// fopen(path, "rb"), and nullptr also when the path names something that opens but cannot
// be read as a file (a directory on POSIX systems), as the Windows open call would refuse it.
// The returned file is positioned at its start.
std::FILE* OpenForReading(const char* pszPath);

// Moves the read position to `dwOffset` from the start of the file, as an unchecked fseek.
// An offset beyond what the C library's long can address (only where long is 32 bits) leaves
// the position at the end of the file, so that later reads find nothing.
void SeekFromStart(std::FILE* file, std::uint32_t dwOffset);

// Whether an offset can be handed to fseek (always where long is 64 bits).
inline bool FitsInLong(std::uint64_t qwOffset) {
  constexpr std::uint64_t kLongMax = static_cast<std::uint64_t>(static_cast<long>(~0ul >> 1));
  return qwOffset <= kLongMax;
}

// The file's length by fseek to its end and ftell; the read position is restored. Returns
// false when the length cannot be told (then `qwLength` is 0).
bool MeasureFile(std::FILE* file, std::uint64_t& qwLength);

// Bytes from the current read position to the end of the file (0 when past the end or the
// length cannot be told).
std::uint64_t BytesLeft(std::FILE* file);

}  // namespace inspect
