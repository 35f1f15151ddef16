#include "inspect/fileio.h"

#include "platform/openfile.h"

namespace inspect {

std::FILE* OpenForReading(const char* pszPath) {
  if (pszPath == nullptr) return nullptr;
  std::FILE* file = platform::OpenFileForReading(pszPath);
  if (file == nullptr) return nullptr;
  // A probe read: an empty file only reaches its end, a directory sets the error flag.
  (void)std::fgetc(file);
  if (std::ferror(file)) {
    std::fclose(file);
    return nullptr;
  }
  std::rewind(file);
  return file;
}

void SeekFromStart(std::FILE* file, std::uint32_t dwOffset) {
  if (!FitsInLong(dwOffset)) {
    std::fseek(file, 0, SEEK_END);
    return;
  }
  std::fseek(file, static_cast<long>(dwOffset), SEEK_SET);
}

bool MeasureFile(std::FILE* file, std::uint64_t& qwLength) {
  qwLength = 0;
  const long here = std::ftell(file);
  if (here < 0) return false;
  if (std::fseek(file, 0, SEEK_END) != 0) return false;
  const long end = std::ftell(file);
  std::fseek(file, here, SEEK_SET);
  if (end < 0) return false;
  qwLength = static_cast<std::uint64_t>(end);
  return true;
}

std::uint64_t BytesLeft(std::FILE* file) {
  const long here = std::ftell(file);
  std::uint64_t length = 0;
  if (here < 0 || !MeasureFile(file, length)) return 0;
  const auto pos = static_cast<std::uint64_t>(here);
  return pos < length ? length - pos : 0;
}

}  // namespace inspect
