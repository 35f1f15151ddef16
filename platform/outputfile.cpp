// The part of the output files that is the same on every system.
#include "platform/outputfile.h"

namespace platform {

bool WriteWholeFile(const std::string& utf8Path, const void* data, std::size_t size) {
  OutputFile out(utf8Path);
  if (out.File() == nullptr) return false;
  if (size != 0 && std::fwrite(data, 1, size, out.File()) != size) return false;
  return out.Commit();
}

}  // namespace platform
