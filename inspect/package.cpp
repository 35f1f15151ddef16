#include "inspect/package.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "inspect/fileio.h"
#include "inspect/trace.h"
#include "transmit/crc32.h"

namespace inspect {

const char g_aUnitNames[kUnitCount + 1][kUnitNameSize] = {"UPGPKG 1.0", "BOOT", "ROUTER", "MODEM"};

namespace {

std::atomic<InfoAllocFn> g_pfnInfoAlloc{nullptr};
std::atomic<InfoFreeFn> g_pfnInfoFree{nullptr};

void* AllocInfo(std::size_t size) {
  InfoAllocFn fn = g_pfnInfoAlloc.load();
  return fn ? fn(size) : std::malloc(size);
}

void FreeInfo(void* block) {
  InfoFreeFn fn = g_pfnInfoFree.load();
  fn ? fn(block) : std::free(block);
}

// Reads up to sizeof(T) bytes into a zero-filled record: a record cut short by the end of
// the file is tested as if its missing bytes were zero.
template <typename T>
void ReadRecord(std::FILE* file, T& record) {
  std::memset(&record, 0, sizeof record);
  (void)std::fread(&record, 1, sizeof record, file);
}

// CRC-32 of a record as read, with its own CRC field (at `crcOffset`) taken as zero.
template <typename T>
std::uint32_t RecordCrc(const T& record, std::size_t crcOffset) {
  unsigned char bytes[sizeof(T)];
  std::memcpy(bytes, &record, sizeof bytes);
  std::memset(bytes + crcOffset, 0, 4);
  return Crc32Update(0, bytes, static_cast<std::uint32_t>(sizeof bytes));
}

// Whether a name field holds `name` as NUL-terminated text at its start. Every name of the
// table is shorter than any field it is compared with, so no byte beyond the field is read.
bool NameIs(const char* field, std::size_t fieldSize, const char* name) {
  const std::size_t len = std::strlen(name);
  return len < fieldSize && std::memcmp(field, name, len + 1) == 0;
}

// Copies the field's text, up to its NUL or the field's end, into the caller's buffer.
void CopyFieldText(const char* field, std::size_t fieldSize, char* out, std::size_t outSize) {
  if (out == nullptr || outSize == 0) return;
  std::size_t len = 0;
  while (len < fieldSize && field[len] != '\0') ++len;
  len = std::min(len, outSize - 1);
  std::memcpy(out, field, len);
  out[len] = '\0';
}

// CRC-32 of the bytes from the current position to the end of the file, at most `limit`.
std::uint32_t CrcOfRest(std::FILE* file, std::uint64_t limit) {
  unsigned char chunk[4096];
  std::uint32_t crc = 0;
  while (limit > 0) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(limit, sizeof chunk));
    const std::size_t got = std::fread(chunk, 1, want, file);
    if (got == 0) break;
    crc = Crc32Update(crc, chunk, static_cast<std::uint32_t>(got));
    limit -= got;
  }
  return crc;
}

}  // namespace

void SetInfoAllocator(InfoAllocFn alloc, InfoFreeFn release) {
  g_pfnInfoAlloc.store(alloc);
  g_pfnInfoFree.store(release);
}

int VerifyPackageHeader(std::FILE* file, std::uint32_t* pdwUnitOffset, char* pszVersion,
                        std::size_t nVersionSize) {
  SPkgHeader header;
  SeekFromStart(file, 0);
  ReadRecord(file, header);

  if (!NameIs(header.szName, sizeof header.szName, g_aUnitNames[0])) {
    Trace("upgrade file header lossed.\r\n");
    return 0;
  }
  if (RecordCrc(header, offsetof(SPkgHeader, dwCrc)) != header.dwCrc) {
    Trace("upgrade file header destroy.crc verify falied.file:%s\r\n", g_aUnitNames[0]);
    return 0;
  }
  // A version field without a NUL gives its 40 bytes and no more.
  CopyFieldText(header.szVersion, sizeof header.szVersion, pszVersion, nVersionSize);

  SeekFromStart(file, header.dwFirstUnitOffset);
  if (pdwUnitOffset != nullptr) *pdwUnitOffset = header.dwFirstUnitOffset;
  return 1;
}

int ReadUnit(std::FILE* file, int nUnit, std::uint32_t* pdwInfoLen, std::uint32_t* pdwNextOffset) {
  if (nUnit < 1 || nUnit > kUnitCount || pdwInfoLen == nullptr || pdwNextOffset == nullptr) return 0;
  const char* name = g_aUnitNames[nUnit];

  SPkgUnitHeader unit;
  SPkgFormatHeader format;
  SPkgFormatEntry aEntries[kFormatRoom];
  SPkgFormatEntry extra;  // entries after the fourth are tested here, one at a time
  SPkgInfoHeader info;
  std::memset(&format, 0, sizeof format);
  std::memset(aEntries, 0, sizeof aEntries);
  std::memset(&extra, 0, sizeof extra);
  std::memset(&info, 0, sizeof info);

  ReadRecord(file, unit);
  if (!NameIs(unit.szName, sizeof unit.szName, name)) {
    *pdwInfoLen = 0;
    *pdwNextOffset = unit.dwNextUnitOffset;
    Trace("upgrade file have not unit file :%s.\r\n", name);
    return 1;
  }
  std::uint32_t crc = RecordCrc(unit, offsetof(SPkgUnitHeader, dwCrc));
  if (crc != unit.dwCrc) {
    Trace("upgrade file header destroy.crc verify falied.file:%s,srcCRC:%u,dstCRC:%u\r\n", name,
          unit.dwCrc, crc);
    return 0;
  }

  ReadRecord(file, format);
  crc = RecordCrc(format, offsetof(SPkgFormatHeader, dwCrc));
  if (crc != format.dwCrc) {
    Trace("upgrade file format header destroy.crc verify falied.file:%s,srcCRC:%u,dstCRC:%u\r\n",
          name, format.dwCrc, crc);
    return 0;
  }

  // Every stated entry is read and tested in turn; at most four are kept. An entry beyond the
  // end of the file reads as zeros and fails its CRC, so the walk ends there at the latest.
  for (std::uint32_t i = 0; i < format.dwFormatCount; ++i) {
    SPkgFormatEntry& entry = i < kFormatRoom ? aEntries[i] : extra;
    ReadRecord(file, entry);
    crc = RecordCrc(entry, offsetof(SPkgFormatEntry, dwCrc));
    if (crc != entry.dwCrc) {
      Trace("upgrade file format  destroy.crc verify falied.file:%s,srcCRC:%u,dstCRC:%u\r\n", name,
            entry.dwCrc, crc);
      return 0;
    }
    if (entry.dwType == kDeltaFormatType) {
      Trace("upgrade file type is error,can not upgrade difference format packet\r\n");
      return 0;
    }
  }

  ReadRecord(file, info);
  crc = RecordCrc(info, offsetof(SPkgInfoHeader, dwCrc));
  if (crc != info.dwCrc) {
    Trace("upgrade file info header destroy.crc verify falied.file:%s,srcCRC:%u,dstCRC:%u\r\n", name,
          info.dwCrc, crc);
    return 0;
  }

  // Info data that the file holds fewer bytes of than stated: nothing is allocated; the CRC
  // of the bytes that are there is reported, and the unit is refused whatever it is.
  const std::uint64_t left = BytesLeft(file);
  if (info.dwInfoLen > left) {
    crc = CrcOfRest(file, left);
    Trace("upgrade file info data destroy.crc verify falied.file:%s,srcCRC:%u,dstCRC:%u\r\n", name,
          info.dwInfoCrc, crc);
    return 0;
  }

  // At least one byte, so that empty info data never reads as a failed allocation.
  auto* block = static_cast<unsigned char*>(AllocInfo(std::max<std::size_t>(info.dwInfoLen, 1)));
  if (block == nullptr) {
    Trace("malloc buf failed\r\n");
    return 0;
  }
  const std::size_t got = std::fread(block, 1, info.dwInfoLen, file);
  crc = Crc32Update(0, block, static_cast<std::uint32_t>(got));
  FreeInfo(block);
  // A read cut short (the file shrank meanwhile) is refused even if the CRC happens to match.
  if (got != info.dwInfoLen || crc != info.dwInfoCrc) {
    Trace("upgrade file info data destroy.crc verify falied.file:%s,srcCRC:%u,dstCRC:%u\r\n", name,
          info.dwInfoCrc, crc);
    return 0;
  }

  *pdwInfoLen = info.dwInfoLen;
  *pdwNextOffset = unit.dwNextUnitOffset;
  return 1;
}

int VerifyUnit(std::FILE* file, int nUnit, std::uint32_t dwUnitOffset, std::uint32_t* pdwNextOffset) {
  if (nUnit < 1 || nUnit > kUnitCount || pdwNextOffset == nullptr) return 0;
  const char* name = g_aUnitNames[nUnit];
  std::uint32_t dwInfoLen = 0;
  std::uint32_t dwNext = 0;
  if (ReadUnit(file, nUnit, &dwInfoLen, &dwNext) != 1) {
    Trace(" Read unit file data failed,file:%s\r\n", name);
    return 0;
  }
  if (dwInfoLen == 0) {
    Trace(" upgrade file have not file:%s\r\n", name);
    SeekFromStart(file, dwUnitOffset);
    *pdwNextOffset = dwUnitOffset;
    return 1;
  }
  SeekFromStart(file, dwNext);
  *pdwNextOffset = dwNext;
  return 1;
}

int VerifyUpgradeFile(const char* pszPath, char* pszVersion, std::size_t nVersionSize) {
  std::FILE* file = OpenForReading(pszPath);
  if (file == nullptr) {
    Trace("Open upgrade file failed.\r\n");
    return 0;
  }
  std::uint32_t dwOffset = 0;
  if (VerifyPackageHeader(file, &dwOffset, pszVersion, nVersionSize) != 1) {
    std::fclose(file);
    Trace("Verify upg file header failed.\r\n");
    return 0;
  }
  static const char* const kUnitFailures[kUnitCount] = {
      "Verify cfe upg file header failed.\r\n",
      "Verify router upg file header failed.\r\n",
      "Verify modem upg file header failed.\r\n",
  };
  for (int nUnit = 1; nUnit <= kUnitCount; ++nUnit) {
    std::uint32_t dwNext = 0;
    if (VerifyUnit(file, nUnit, dwOffset, &dwNext) != 1) {
      std::fclose(file);
      Trace("%s", kUnitFailures[nUnit - 1]);
      return 0;
    }
    dwOffset = dwNext;
  }
  std::fclose(file);
  return 1;
}

}  // namespace inspect
