// The console the command-line programs run in.
#pragma once

#include <cstdio>

namespace platform {

// True when the stream is an interactive terminal (for progress displays).
bool IsTerminal(std::FILE* stream);

// Puts standard output in binary mode, so that "\r\n" in trace lines reaches it unchanged
// (nothing to do on POSIX).
void SetBinaryStdout();

}  // namespace platform
