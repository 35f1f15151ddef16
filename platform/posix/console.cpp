#include "platform/console.h"

#include <unistd.h>

namespace platform {

char** Utf8Arguments(int& /*argc*/, char** argv) { return argv; }

bool IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) != 0; }

void SetBinaryStdout() {}

void WriteText(std::FILE* stream, const std::string& utf8) {
  std::fwrite(utf8.data(), 1, utf8.size(), stream);
  std::fflush(stream);
}

}  // namespace platform
