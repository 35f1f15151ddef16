#include "platform/console.h"

#include <fcntl.h>
#include <io.h>

namespace platform {

bool IsTerminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

void SetBinaryStdout() {
  std::fflush(stdout);
  (void)_setmode(_fileno(stdout), _O_BINARY);
}

}  // namespace platform
