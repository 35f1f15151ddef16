// The inspection routines' diagnostic trace: one printf line per finding on standard output.
//
// The lines go through one sink so that tests and fuzz targets can take them instead of
// standard output; the default sink prints each line with printf, unchanged.
#pragma once

#include <cstddef>

namespace inspect {

using TraceSink = void (*)(const char* line, std::size_t len);

// Installs the sink (nullptr restores printf to standard output). Not for use while an
// inspection runs on another thread.
void SetTraceSink(TraceSink sink);

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void Trace(const char* format, ...);

}  // namespace inspect
