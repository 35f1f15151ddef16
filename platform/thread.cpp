#include "platform/thread.h"

namespace platform {

const char* SchedulingModeName(SchedulingMode mode) {
  switch (mode) {
    case SchedulingMode::Realtime:
      return "realtime";
    case SchedulingMode::RealtimeKit:
      return "realtime-rtkit";
    case SchedulingMode::NormalShortSlice:
      return "normal-short-slice";
    case SchedulingMode::Normal:
      break;
  }
  return "normal";
}

}  // namespace platform
