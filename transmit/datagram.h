// The upgrade datagram: a 36-byte header and a 1024-byte data area, 1060 bytes on the wire,
// every multi-byte field little-endian.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::size_t kDatagramHeaderSize = 36;
inline constexpr std::size_t kChunkSize = 1024;
inline constexpr std::size_t kDatagramSize = kDatagramHeaderSize + kChunkSize;  // 1060
inline constexpr std::uint32_t kDatagramMagic = 0xB0A555AAu;
inline constexpr std::uint8_t kImageTypePlain = 1;

// Offsets of the header fields on the wire.
enum : std::size_t {
  kOffCrc = 0,
  kOffMagic = 4,
  kOffImageType = 8,
  kOffPolicy = 9,
  kOffForceFlag = 10,
  kOffPacketNo = 12,
  kOffPacketCount = 16,
  kOffDataLen = 20,
  kOffTotalLen = 24,
  kOffFileCrc = 28,
  kOffReserved = 32,
};

struct SDatagramHeader {
  std::uint32_t dwCrc;          // CRC of bytes 4 .. 35 + data length (BuildDatagram)
  std::uint32_t dwMagic;        // kDatagramMagic
  std::uint8_t byImageType;     // 1: plain image
  std::uint8_t byPolicy;        // low byte of g_nPolicy
  std::uint16_t wForceFlag;     // g_bForceUpgrade
  std::uint32_t dwPacketNo;     // number within the pass, from 0
  std::uint32_t dwPacketCount;  // datagrams per pass
  std::uint32_t dwDataLen;      // file bytes in this datagram
  std::uint32_t dwTotalLen;     // file bytes per pass
  std::uint32_t dwFileCrc;      // Crc32NoFinalXor of the whole file
  std::uint32_t dwReserved;     // always 0 on the wire
};
static_assert(sizeof(SDatagramHeader) == kDatagramHeaderSize);

// The header every datagram is copied from: MeasureBinFile fills the file's fields at
// Start, the send loop the per-pass and per-datagram ones.
extern SDatagramHeader g_hdrTemplate;
extern std::uint8_t g_aDatagram[kDatagramSize];  // the datagram being built and sent
extern std::uint8_t g_aChunk[kChunkSize];        // the file chunk for the next datagram

// Fills g_aDatagram from the header and `len` bytes of data (0 .. 1024; longer is cut to
// 1024) and returns 0. Bytes after the data are 0 and lie outside the CRC.
std::int32_t BuildDatagram(const std::uint8_t* data, const SDatagramHeader& header, std::uint32_t len);

// Measures the file at pszPath into g_hdrTemplate (magic, image type, datagram count, data
// length 1024, total length). Returns 0, or TX_ERR_OPEN when it cannot be opened or is too
// long for the 32-bit total length.
std::int32_t MeasureBinFile(const char* pszPath);

// Datagrams in one pass for a total length: length / 1024, plus 1 for a remainder.
constexpr std::uint32_t DatagramCount(std::uint32_t totalLen) {
  return (totalLen >> 10) + ((totalLen & 0x3FFu) != 0 ? 1u : 0u);
}

inline void StoreLE32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}

inline std::uint32_t LoadLE32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
