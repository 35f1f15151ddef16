#include "platform/localtime.h"

#include <windows.h>

#include <cstdio>

namespace platform {

std::string IsoLocalTimeNow() {
  SYSTEMTIME utc, local;
  GetSystemTime(&utc);
  if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) local = utc;
  // The offset is what lies between the two readings of the same moment.
  FILETIME fu, fl;
  SystemTimeToFileTime(&utc, &fu);
  SystemTimeToFileTime(&local, &fl);
  const auto ticks = [](const FILETIME& f) {
    return static_cast<long long>((static_cast<unsigned long long>(f.dwHighDateTime) << 32) | f.dwLowDateTime);
  };
  const long long offsetMin = (ticks(fl) - ticks(fu)) / 600000000LL;
  const long long absMin = offsetMin < 0 ? -offsetMin : offsetMin;
  char text[96];
  std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03u%c%02lld:%02lld", local.wYear, local.wMonth,
                local.wDay, local.wHour, local.wMinute, local.wSecond, local.wMilliseconds, offsetMin < 0 ? '-' : '+',
                absMin / 60, absMin % 60);
  return text;
}

}  // namespace platform
