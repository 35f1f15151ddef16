// The console on Windows: the command line in UTF-16, and text to a console through
// WriteConsoleW, to a file or pipe as UTF-8 bytes.
#include "platform/console.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <vector>

#include "platform/win32/text.h"

namespace platform {
namespace {

// The console behind a C stream, or nullptr when the stream goes to a file, a pipe or a
// device that is not a console (NUL among them, which _isatty counts as a terminal).
HANDLE ConsoleOf(std::FILE* stream) {
  const int fd = _fileno(stream);
  if (fd < 0) return nullptr;
  auto h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  DWORD mode = 0;
  if (h == INVALID_HANDLE_VALUE || h == nullptr || !GetConsoleMode(h, &mode)) return nullptr;
  return h;
}

}  // namespace

char** Utf8Arguments(int& argc, char** argv) {
  static std::vector<std::string> texts;
  static std::vector<char*> pointers;
  int n = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &n);
  if (wide == nullptr || n <= 0) {
    if (wide) LocalFree(wide);
    return argv;
  }
  texts.clear();
  for (int i = 0; i < n; ++i) texts.push_back(win32::Narrow(wide[i]));
  LocalFree(wide);
  pointers.clear();
  for (std::string& t : texts) pointers.push_back(t.data());
  pointers.push_back(nullptr);
  argc = n;
  return pointers.data();
}

bool IsTerminal(std::FILE* stream) { return ConsoleOf(stream) != nullptr; }

void SetBinaryStdout() {
  std::fflush(stdout);
  (void)_setmode(_fileno(stdout), _O_BINARY);
}

void WriteText(std::FILE* stream, const std::string& utf8) {
  std::fflush(stream);
  HANDLE console = ConsoleOf(stream);
  if (console == nullptr) {
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
    std::fflush(stream);
    return;
  }
  const std::wstring wide = win32::Widen(utf8);
  // In pieces: older consoles refuse one write larger than their 64 KiB buffer.
  constexpr std::size_t kPiece = 8192;
  for (std::size_t at = 0; at < wide.size();) {
    std::size_t n = std::min(kPiece, wide.size() - at);
    // Never split a surrogate pair between two writes.
    if (n < wide.size() - at && IS_HIGH_SURROGATE(wide[at + n - 1])) --n;
    DWORD written = 0;
    if (!WriteConsoleW(console, wide.data() + at, static_cast<DWORD>(n), &written, nullptr) || written == 0) break;
    at += written;
  }
}

}  // namespace platform
