// The part of the console services that is the same on every system.
#include "platform/console.h"

#include <cstdarg>

namespace platform {

void PrintText(std::FILE* stream, const char* format, ...) {
  char small[512];
  std::va_list args;
  va_start(args, format);
  std::va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  if (n >= 0 && static_cast<std::size_t>(n) < sizeof small) {
    WriteText(stream, std::string(small, static_cast<std::size_t>(n)));
  } else if (n >= 0) {
    std::string big(static_cast<std::size_t>(n) + 1, '\0');
    std::vsnprintf(big.data(), big.size(), format, again);
    big.resize(static_cast<std::size_t>(n));
    WriteText(stream, big);
  }
  va_end(again);
}

}  // namespace platform
