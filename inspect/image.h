// The image unit parser: after a leading area of 92 bytes, a chain of at most 16 units, each
// opened by a 98-byte header with the magic number 0xA55AAA55.
//
// ParseImageFile answers 1 or 0 and prints its findings with printf, each line ended by "\n"
// (see inspect/trace.h).
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

namespace inspect {

static_assert(std::endian::native == std::endian::little,
              "the records are read straight from the little-endian file");

#pragma pack(push, 1)
struct SAppFileUnitHeader {
  std::uint32_t dwMagic;          // 0xA55AAA55
  std::uint32_t dwHeadLen;        // length of the unit other than its data
  std::uint8_t abReserved0[16];
  std::uint32_t dwDataLen;        // length of the unit's data
  std::uint8_t abReserved1[32];
  char szUnitInfo[32];            // "part:part:version"
  std::uint8_t abReserved2[6];
};
#pragma pack(pop)
static_assert(sizeof(SAppFileUnitHeader) == 98);

inline constexpr std::uint32_t kImageUnitMagic = 0xA55AAA55u;
inline constexpr std::uint32_t kFirstUnitHeaderOffset = 92;
inline constexpr unsigned kMaxUnitHeaders = 16;

// Whether `pszPath` is an image unit file whose first header names a version: the text after
// the last ':' of that header's unit info goes into `pszVersion` (room for `nVersionSize`
// bytes, NUL included). On 0 `pszVersion` is left untouched. Not reentrant: the 16 header
// slots are static storage.
int ParseImageFile(const char* pszPath, char* pszVersion, std::size_t nVersionSize);

}  // namespace inspect
