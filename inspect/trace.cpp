#include "inspect/trace.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <string>

namespace inspect {
namespace {

void PrintLine(const char* line, std::size_t /*len*/) { std::printf("%s", line); }

std::atomic<TraceSink> g_pfnTraceSink{nullptr};

}  // namespace

void SetTraceSink(TraceSink sink) { g_pfnTraceSink.store(sink); }

void Trace(const char* format, ...) {
  char small[256];
  std::va_list args;
  va_start(args, format);
  std::va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  TraceSink sink = g_pfnTraceSink.load();
  if (sink == nullptr) sink = PrintLine;
  if (n < 0) {
    va_end(again);
    return;
  }
  if (static_cast<std::size_t>(n) < sizeof small) {
    va_end(again);
    sink(small, static_cast<std::size_t>(n));
    return;
  }
  // A long line (a long path in the open failure of the image parser).
  std::string big(static_cast<std::size_t>(n) + 1, '\0');
  std::vsnprintf(big.data(), big.size(), format, again);
  va_end(again);
  sink(big.c_str(), static_cast<std::size_t>(n));
}

}  // namespace inspect
