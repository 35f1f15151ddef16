// The part of the console services that is the same on every system.
#include "platform/console.h"

#include <cstdarg>

namespace platform {

void PrintText(std::FILE* stream, const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  if (n > 0) {
    std::string text(static_cast<std::size_t>(n) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, again);
    text.resize(static_cast<std::size_t>(n));
    WriteText(stream, text);
  }
  va_end(again);
}

}  // namespace platform
