#include "platform/openfile.h"

namespace platform {

std::FILE* OpenFileForReading(const char* utf8Path) { return std::fopen(utf8Path, "rb"); }

}  // namespace platform
