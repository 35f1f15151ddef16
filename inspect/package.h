// The upgrade package verifier: a 64-byte package header "UPGPKG 1.0" and up to three
// units, BOOT, ROUTER and MODEM, each with its own headers and info data under CRC-32.
//
// Every routine answers 1 (accepted) or 0 (refused) and prints its findings with printf,
// each line ended by "\r\n" (see inspect/trace.h). Only headers and info data are read.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace inspect {

static_assert(std::endian::native == std::endian::little,
              "the records are read straight from the little-endian file");

inline constexpr std::size_t kUnitNameSize = 16;
inline constexpr int kUnitCount = 3;  // BOOT, ROUTER, MODEM

// Index 0 names the package header; 1 to 3 the units, in their order in the file.
extern const char g_aUnitNames[kUnitCount + 1][kUnitNameSize];

struct SPkgHeader {
  char szName[16];                   // "UPGPKG 1.0" and its NUL
  char szVersion[40];                // version text of the package
  std::uint32_t dwFirstUnitOffset;   // file offset of the first unit header
  std::uint32_t dwCrc;               // CRC-32 of the 64 bytes with this field zero
};

struct SPkgUnitHeader {
  char szName[56];                   // "BOOT", "ROUTER" or "MODEM" at its start
  std::uint32_t dwNextUnitOffset;    // file offset of the next unit header
  std::uint32_t dwCrc;
};

struct SPkgFormatHeader {
  std::uint8_t abReserved[12];
  std::uint32_t dwCrc;
  std::uint32_t dwFormatCount;       // format entries that follow
};

struct SPkgFormatEntry {
  std::uint32_t dwType;              // 2: a difference (delta) packet, which is refused
  std::uint8_t abReserved[16];
  std::uint32_t dwCrc;
};

struct SPkgInfoHeader {
  std::uint8_t abReserved0[12];
  std::uint32_t dwCrc;               // over the 52 bytes, dwInfoCrc as stored
  std::uint8_t abReserved1[4];
  std::uint32_t dwInfoLen;           // info data bytes after this header
  std::uint32_t dwInfoCrc;           // CRC-32 of the info data
  std::uint8_t abReserved2[24];
};

static_assert(sizeof(SPkgHeader) == 64);
static_assert(sizeof(SPkgUnitHeader) == 64);
static_assert(sizeof(SPkgFormatHeader) == 20);
static_assert(sizeof(SPkgFormatEntry) == 24);
static_assert(sizeof(SPkgInfoHeader) == 52);

inline constexpr std::uint32_t kDeltaFormatType = 2;
inline constexpr std::size_t kFormatRoom = 4;  // format entries kept per unit

// Whether `pszPath` is an upgrade package. The package header's version text goes into
// `pszVersion` (room for `nVersionSize` bytes, NUL included) as soon as that header has
// passed, whatever the units bring afterwards.
int VerifyUpgradeFile(const char* pszPath, char* pszVersion, std::size_t nVersionSize);

// Reads and tests the package header at offset 0, copies its version text, moves the read
// position to the first unit's offset and reports it.
int VerifyPackageHeader(std::FILE* file, std::uint32_t* pdwUnitOffset, char* pszVersion,
                        std::size_t nVersionSize);

// Unit `nUnit` (1 to 3) expected at `dwUnitOffset`, the current read position. On 1 the
// read position is `*pdwNextOffset`, where the next unit is looked for.
int VerifyUnit(std::FILE* file, int nUnit, std::uint32_t dwUnitOffset, std::uint32_t* pdwNextOffset);

// Reads and tests one unit's headers and info data from the current position; reports its
// info length (0 when the unit is absent) and its next-unit offset.
int ReadUnit(std::FILE* file, int nUnit, std::uint32_t* pdwInfoLen, std::uint32_t* pdwNextOffset);

// Where the info data block comes from and goes back to: malloc and free unless replaced
// (tests count the blocks, fuzz targets check each size against the file's).
using InfoAllocFn = void* (*)(std::size_t size);
using InfoFreeFn = void (*)(void* block);
void SetInfoAllocator(InfoAllocFn alloc, InfoFreeFn release);

}  // namespace inspect
