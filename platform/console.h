// The console the command-line programs run in: their arguments, and the text they print.
#pragma once

#include <cstdio>
#include <string>

namespace platform {

// The program's arguments as UTF-8, read once at the start of main. On POSIX systems argv
// itself; on Windows the command line as the system holds it (UTF-16, CommandLineToArgvW),
// converted to UTF-8, so that a file name in any script reaches the program whole (the
// C runtime's argv is in the ANSI code page, which cannot hold most names). argc is set to
// the count; the texts live as long as the process.
char** Utf8Arguments(int& argc, char** argv);

// True when the stream is an interactive terminal or console (for progress displays); a
// file, a pipe or the null device is not one.
bool IsTerminal(std::FILE* stream);

// Puts standard output in binary mode, so that "\r\n" in trace lines reaches it unchanged
// (nothing to do on POSIX).
void SetBinaryStdout();

// Writes UTF-8 text to stdout or stderr. On Windows a console gets it through WriteConsoleW
// (right in every console code page); a file or a pipe gets the UTF-8 bytes unchanged, with
// no byte-order mark, as everywhere on POSIX systems. What the stream had buffered goes first.
void WriteText(std::FILE* stream, const std::string& utf8);

// printf to a stream through WriteText. The formats are those of the C99 printf everywhere
// (the MinGW runtime's own printf, "%zu" included), which GCC calls gnu_printf.
#if defined(__clang__)
[[gnu::format(printf, 2, 3)]]
#else
[[gnu::format(gnu_printf, 2, 3)]]
#endif
void PrintText(std::FILE* stream, const char* format, ...);

}  // namespace platform
