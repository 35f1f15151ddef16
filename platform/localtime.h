// The wall-clock time as a log line shows it.
#pragma once

#include <string>

namespace platform {

// The local time now in ISO 8601 with milliseconds and the offset from UTC:
// "2026-12-10T07:12:03.125+01:00".
std::string IsoLocalTimeNow();

}  // namespace platform
