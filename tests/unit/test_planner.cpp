// The pass planner against a table computed another way: not by the closed form and log1p
// of the planner, but by evaluating (1 - P^k)^(chunks x N) in 80-digit decimal arithmetic
// for the doubles' exact values, searching k upward from 1 (doubling, then bisecting). The
// rows were printed by this one-off (Python 3, standard library only):
//
//   from decimal import Decimal as D, getcontext
//   getcontext().prec = 80
//   def plan(p, n, c, chunks, cap=1000):
//       P, C, M = D(p), D(c), chunks * n     # D(float): the double's exact binary value
//       if P == 0: return 1, D(1)
//       prob = lambda k: (1 - P**k) ** M
//       k = 1
//       while k <= cap and prob(k) < C: k *= 2
//       hi = min(k, cap)
//       if prob(hi) < C: return None, prob(cap)
//       lo = max(1, k // 2)
//       if prob(lo) >= C: hi, lo = lo, 0
//       while hi - lo > 1:
//           mid = (lo + hi) // 2
//           hi, lo = (mid, lo) if prob(mid) >= C else (hi, mid)
//       return hi, prob(hi)
//
// Rows by hand: one chunk, one device, P = 1/2 needs 7 passes for 99% (1 - 2^-7 = 0.9921875,
// 1 - 2^-6 = 0.984375), and exactly 2 for 75% (1 - 1/4 = 3/4, a tie that counts as met).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "transmit/planner.h"

namespace {

struct PlanRow {
  double loss;
  std::uint32_t devices;
  double confidence;
  std::uint32_t chunks;
  std::uint32_t passes;  // 0: not reachable within kMaxPlannedPasses
  bool reachable;
  double probability;  // after `passes` passes, or after kMaxPlannedPasses when not reachable
};

// 16384 chunks are a 16 MiB file; 20480 a 20 MiB one.
const PlanRow kRows[] = {
    // No loss: one pass, whatever the number of devices.
    {0.0, 1000u, 0.99, 16384u, 1u, true, 1.0},
    // One-chunk files: exact powers of two, a tie, and targets close to the limit.
    {0.5, 1u, 0.99, 1u, 7u, true, 0.9921875},
    {0.5, 1u, 0.75, 1u, 2u, true, 0.75},
    {0.25, 1u, 0.9375, 1u, 2u, true, 0.9375},
    {0.98, 1u, 0.99, 1u, 228u, true, 0.9900104653440684},
    {0.99, 1u, 0.9999, 1u, 917u, true, 0.9999005800716184},
    // One device, a 20 MiB file, at 95%.
    {0.01, 1u, 0.95, 20480u, 3u, true, 0.9797282808119661},
    {0.1, 1u, 0.95, 20480u, 6u, true, 0.9797282808119661},
    {0.3, 1u, 0.95, 20480u, 11u, true, 0.9643704849326403},
    // Many chunk-devices (1.6e10), a low confidence, a tiny loss, a three-chunk file.
    {0.3, 1000000u, 0.999, 16384u, 26u, true, 0.9995836274098227},
    {0.05, 200u, 0.01, 16384u, 5u, true, 0.3591553838645265},
    {1e-06, 1000u, 0.99, 16384u, 2u, true, 0.9999836161342169},
    {0.2, 7u, 0.5, 3u, 3u, true, 0.844782901748468},
    // Needs about 1422 passes: beyond the limit.
    {0.99, 1u, 0.99, 16384u, 0u, false, 0.49295716954224483},
    // The README's table: a 16 MiB file at 99%.
    {0.01, 10u, 0.99, 16384u, 4u, true, 0.9983629414363938},
    {0.01, 100u, 0.99, 16384u, 5u, true, 0.9998361734210316},
    {0.01, 1000u, 0.99, 16384u, 5u, true, 0.9983629414444906},
    {0.05, 10u, 0.99, 16384u, 6u, true, 0.9974432739856371},
    {0.05, 100u, 0.99, 16384u, 7u, true, 0.9987208188500871},
    {0.05, 1000u, 0.99, 16384u, 8u, true, 0.9993602047563038},
    {0.1, 10u, 0.99, 16384u, 8u, true, 0.9983629414363938},
    {0.1, 100u, 0.99, 16384u, 9u, true, 0.9983629414437545},
    {0.1, 1000u, 0.99, 16384u, 10u, true, 0.9983629414444906},
    {0.3, 10u, 0.99, 16384u, 14u, true, 0.9921942080674452},
    {0.3, 100u, 0.99, 16384u, 16u, true, 0.9929720376657819},
    {0.3, 1000u, 0.99, 16384u, 18u, true, 0.9936726055112822},
};

TEST(PlannerTest, MatchesTheTableComputedInDecimal) {
  for (const PlanRow& r : kRows) {
    SCOPED_TRACE(::testing::Message() << "loss " << r.loss << ", " << r.devices << " devices, confidence "
                                      << r.confidence << ", " << r.chunks << " chunks");
    const SPassPlan plan = PlanPasses(r.loss, r.devices, r.confidence, r.chunks);
    ASSERT_EQ(plan.status, PlanStatus::Ok);
    EXPECT_EQ(plan.bReachable, r.reachable);
    EXPECT_EQ(plan.dwPasses, r.reachable ? r.passes : kMaxPlannedPasses);
    EXPECT_NEAR(plan.dProbability, r.probability, 1e-9 * r.probability);
    EXPECT_EQ(plan.dSeconds, PlannedSeconds(plan.dwPasses, r.chunks));
  }
}

TEST(PlannerTest, RefusesWhatCannotBePlanned) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    double loss;
    std::uint32_t devices;
    double confidence;
    std::uint32_t chunks;
    PlanStatus status;
  } rows[] = {
      {1.0, 10u, 0.99, 100u, PlanStatus::BadLoss},       // every datagram lost: no number of passes
      {-0.01, 10u, 0.99, 100u, PlanStatus::BadLoss},
      {nan, 10u, 0.99, 100u, PlanStatus::BadLoss},
      {inf, 10u, 0.99, 100u, PlanStatus::BadLoss},
      {0.1, 0u, 0.99, 100u, PlanStatus::BadDevices},
      {0.1, 10u, 1.0, 100u, PlanStatus::BadConfidence},  // certainty needs endless passes
      {0.1, 10u, 0.0, 100u, PlanStatus::BadConfidence},
      {0.1, 10u, nan, 100u, PlanStatus::BadConfidence},
      {0.1, 10u, 0.99, 0u, PlanStatus::BadChunks},       // an empty file is never sent
      {0.0, 10u, 1.5, 100u, PlanStatus::BadConfidence},  // also without loss
  };
  for (const auto& r : rows) {
    const SPassPlan plan = PlanPasses(r.loss, r.devices, r.confidence, r.chunks);
    EXPECT_EQ(plan.status, r.status) << "loss " << r.loss << ", devices " << r.devices << ", confidence "
                                     << r.confidence << ", chunks " << r.chunks;
    EXPECT_EQ(plan.dwPasses, 0u);
  }
}

// The pace a plan is timed at lies within what the sender was measured to keep on an idle
// machine, 960 to 980 datagrams per second, for one pass of a 16 MiB file.
TEST(PlannerTest, TimesPassesAtTheMeasuredPace) {
  const double seconds = PlannedSeconds(1, 16384);
  EXPECT_GE(seconds, 16384.0 / 980.0);
  EXPECT_LE(seconds, 16384.0 / 960.0);
  EXPECT_DOUBLE_EQ(PlannedSeconds(7, 16384), 7 * seconds);
}

}  // namespace
