#include "platform/localtime.h"

#include <sys/time.h>

#include <cstdio>
#include <ctime>

namespace platform {

std::string IsoLocalTimeNow() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  std::tm local{};
  localtime_r(&now.tv_sec, &local);
  const long offsetMin = local.tm_gmtoff / 60;
  const long absMin = offsetMin < 0 ? -offsetMin : offsetMin;
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03ld%c%02ld:%02ld", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, now.tv_nsec / 1000000,
                offsetMin < 0 ? '-' : '+', absMin / 60, absMin % 60);
  return text;
}

}  // namespace platform
