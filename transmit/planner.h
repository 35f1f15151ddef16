// The pass planner: how many passes of the carousel make it likely that every device holds
// every chunk of the file, and how long they take. Pure arithmetic, no state.
//
// Each device loses each datagram independently with probability P. A chunk is still
// missing on a device after k passes with probability P^k, so all N devices hold all chunks
// with probability (1 - P^k)^(chunks x N). The plan is the smallest k for which that is at
// least the confidence C asked for.
#pragma once

#include <cstdint>

// Beyond this many passes the planner gives up and says the target cannot be reached: a
// network that needs more loses nearly every datagram, and must be mended, not outlasted.
inline constexpr std::uint32_t kMaxPlannedPasses = 1000;

// The pace a plan is timed at: every datagram is followed by the sender's 1 ms pause, and
// takes about 0.03 ms of its own (read, build, send, the pause's overshoot); measured
// 960-980 datagrams per second on an idle machine. One more pause ends each pass.
inline constexpr double kPlannedPauseSeconds = 0.001;
inline constexpr double kPlannedDatagramWorkSeconds = 0.000031;

enum class PlanStatus {
  Ok,
  BadLoss,        // not a number from 0 up to (not including) 1
  BadDevices,     // 0
  BadConfidence,  // not a number above 0 and below 1
  BadChunks,      // 0: an empty file is never sent
};

struct SPassPlan {
  PlanStatus status = PlanStatus::Ok;
  std::uint32_t dwPasses = 0;  // the smallest k meeting the confidence; kMaxPlannedPasses when none does
  bool bReachable = false;     // whether dwPasses meets the confidence
  double dProbability = 0;     // that all devices hold every chunk after dwPasses passes
  double dSeconds = 0;         // how long dwPasses passes take at the planned pace
};

// The plan for `chunks` datagrams per pass (DatagramCount of the file's length), `devices`
// devices each losing a share `lossRate` of the datagrams, and the confidence asked for.
// A loss of 0 needs one pass. Invalid inputs give a plan with only `status` set.
SPassPlan PlanPasses(double lossRate, std::uint32_t devices, double confidence, std::uint32_t chunks);

// How long `passes` passes of `chunks` datagrams take at the planned pace, in seconds.
double PlannedSeconds(std::uint32_t passes, std::uint32_t chunks);
