// Real time through RealtimeKit, the D-Bus system service through which desktop programs
// (PulseAudio, PipeWire, JACK clients) get a real-time thread without a grant of their own.
#pragma once

#include <sys/types.h>

#include <chrono>

namespace platform {

enum class RealtimeKitAnswer {
  Granted,      // the service made the thread real-time
  Refused,      // the service is there but said no, or its limits cannot be met
  Unavailable,  // no library, no system bus, no service, or no answer in time
};

// Called with the service's RTTimeUSecMax before the request: the service refuses a process
// whose RLIMIT_RTTIME is not at most that, so this sets it; false asks nothing.
using MeetRealtimeTimeLimit = bool (*)(long long rttimeUsecMax);

// Asks RealtimeKit to make thread `tid` of this process real-time at `priority`, after
// meetLimit agreed to the service's limit. Takes at most `wait` in all. Once the service was
// found unavailable, the process asks no more and answers Unavailable at once.
RealtimeKitAnswer AskRealtimeKit(pid_t tid, int priority, MeetRealtimeTimeLimit meetLimit,
                                 std::chrono::milliseconds wait);

}  // namespace platform
