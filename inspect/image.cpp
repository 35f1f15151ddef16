#include "inspect/image.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "inspect/fileio.h"
#include "inspect/trace.h"

namespace inspect {
namespace {

SAppFileUnitHeader s_aUnitHeaders[kMaxUnitHeaders];

}  // namespace

int ParseImageFile(const char* pszPath, char* pszVersion, std::size_t nVersionSize) {
  if (pszPath == nullptr) {
    Trace("the bin path is null!\n");
    return 0;
  }
  std::FILE* file = OpenForReading(pszPath);
  if (file == nullptr) {
    Trace("can not open the file : [%s].\n", pszPath);
    return 0;
  }
  if (std::fseek(file, 0, SEEK_END) != 0) {
    Trace("reset the position of file failed.\n");
    std::fclose(file);
    return 0;
  }
  const long length = std::ftell(file);
  if (length < 0) {
    Trace("get the file length failed.\n");
    std::fclose(file);
    return 0;
  }
  // The walk works on 32-bit offsets: a file of 4 GiB or more is taken as 4 GiB - 1 bytes
  // long, so that its length never wraps to a small number.
  const std::uint32_t imageTotalLen =
      static_cast<unsigned long long>(length) > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<std::uint32_t>(length);
  Trace("the imageTotalLen is %u!\n", imageTotalLen);

  std::memset(s_aUnitHeaders, 0, sizeof s_aUnitHeaders);
  std::uint32_t dwOffset = kFirstUnitHeaderOffset;
  std::uint8_t unitHeadNum = 0;

  while (imageTotalLen > dwOffset) {
    if (!FitsInLong(dwOffset) ||
        std::fseek(file, static_cast<long>(dwOffset), SEEK_SET) != 0) {
      Trace("reset postion to [%d] failed!\n", static_cast<int>(static_cast<std::int32_t>(dwOffset)));
      std::fclose(file);
      return 0;
    }
    if (unitHeadNum >= kMaxUnitHeaders) {
      std::fclose(file);
      Trace("unitHeadNum is error: [%d]!\n", static_cast<int>(unitHeadNum));
      return 0;
    }
    SAppFileUnitHeader& slot = s_aUnitHeaders[unitHeadNum];
    if (std::fread(&slot, sizeof slot, 1, file) != 1) {
      std::fclose(file);
      Trace("fread fail!\n");
      return 0;
    }
    if (slot.dwMagic != kImageUnitMagic) break;
    std::uint32_t step = slot.dwHeadLen + slot.dwDataLen;
    step = (step + 3u) & ~3u;
    dwOffset += step;
    ++unitHeadNum;
  }
  std::fclose(file);

  if (unitHeadNum == 0) return 0;
  // A unit info field without a NUL: the search for ':' and the copy end with the field.
  const char* info = s_aUnitHeaders[0].szUnitInfo;
  std::size_t infoLen = 0;
  while (infoLen < sizeof s_aUnitHeaders[0].szUnitInfo && info[infoLen] != '\0') ++infoLen;
  const char* colon = nullptr;
  for (std::size_t i = 0; i < infoLen; ++i) {
    if (info[i] == ':') colon = info + i;
  }
  if (colon == nullptr) return 0;
  if (pszVersion != nullptr && nVersionSize > 0) {
    const std::size_t len = std::min<std::size_t>(static_cast<std::size_t>(info + infoLen - (colon + 1)),
                                                  nVersionSize - 1);
    std::memcpy(pszVersion, colon + 1, len);
    pszVersion[len] = '\0';
  }
  return 1;
}

}  // namespace inspect
