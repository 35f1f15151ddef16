#include "transmit/datagram.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include "platform/filestamp.h"
#include "platform/openfile.h"
#include "transmit/crc32.h"
#include "transmit/reconnect.h"
#include "transmit/state.h"

SDatagramHeader g_hdrTemplate{};
std::uint8_t g_aDatagram[kDatagramSize];
std::uint8_t g_aChunk[kChunkSize];

std::int32_t BuildDatagram(const std::uint8_t* data, const SDatagramHeader& header, std::uint32_t len) {
  if (len > kChunkSize) len = kChunkSize;
  std::memset(g_aDatagram, 0, sizeof g_aDatagram);
  std::uint8_t* d = g_aDatagram;
  StoreLE32(d + kOffMagic, header.dwMagic);
  d[kOffImageType] = header.byImageType;
  d[kOffPolicy] = header.byPolicy;
  d[kOffForceFlag] = static_cast<std::uint8_t>(header.wForceFlag);
  d[kOffForceFlag + 1] = static_cast<std::uint8_t>(header.wForceFlag >> 8);
  StoreLE32(d + kOffPacketNo, header.dwPacketNo);
  StoreLE32(d + kOffPacketCount, header.dwPacketCount);
  StoreLE32(d + kOffDataLen, header.dwDataLen);
  StoreLE32(d + kOffTotalLen, header.dwTotalLen);
  StoreLE32(d + kOffFileCrc, header.dwFileCrc);
  // The reserved word stays 0 whatever the header holds there.
  if (len != 0) std::memcpy(d + kDatagramHeaderSize, data, len);
  StoreLE32(d + kOffCrc, Crc32NoFinalXor(d + kOffMagic, len + 32));
  return 0;
}

std::int32_t MeasureBinFile(const char* pszPath) {
  std::FILE* f = platform::OpenFileForReading(pszPath);
  if (f == nullptr) return TX_ERR_OPEN;
  long end = std::fseek(f, 0, SEEK_END) == 0 ? std::ftell(f) : -1L;
  // What the send loop compares the file with, so that it never sends another file's bytes
  // under the length and CRC of this one.
  platform::FileStamp stamp;
  if (platform::StampOfOpenFile(f, &stamp)) SetCheckedFileStamp(stamp);
  else ClearCheckedFileStamp();
  std::fclose(f);
  // The send loop holds the length as a signed 32-bit number: a longer file cannot be sent,
  // and is refused here like one that cannot be opened.
  if (end < 0 || static_cast<unsigned long>(end) > static_cast<unsigned long>(INT32_MAX)) return TX_ERR_OPEN;
  const auto total = static_cast<std::uint32_t>(end);
  g_hdrTemplate.dwMagic = kDatagramMagic;
  g_hdrTemplate.byImageType = kImageTypePlain;
  g_hdrTemplate.dwTotalLen = total;
  g_hdrTemplate.dwPacketCount = DatagramCount(total);
  g_hdrTemplate.dwDataLen = kChunkSize;
  return 0;
}
