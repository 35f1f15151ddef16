#include "transmit/planner.h"

#include <algorithm>
#include <cmath>

namespace {

// log of the probability that all devices hold every chunk after k passes:
// (chunk-devices) x log(1 - P^k), with P^k = exp(k log P). log1p keeps the tiny P^k of many
// passes from vanishing into 1 - P^k = 1.
double LogAllComplete(double logLoss, double chunkDevices, std::uint32_t k) {
  return chunkDevices * std::log1p(-std::exp(static_cast<double>(k) * logLoss));
}

}  // namespace

double PlannedSeconds(std::uint32_t passes, std::uint32_t chunks) {
  const double perPass =
      static_cast<double>(chunks) * (kPlannedPauseSeconds + kPlannedDatagramWorkSeconds) + kPlannedPauseSeconds;
  return static_cast<double>(passes) * perPass;
}

SPassPlan PlanPasses(double lossRate, std::uint32_t devices, double confidence, std::uint32_t chunks) {
  SPassPlan plan;
  // Written so that NaN fails every test.
  if (!(lossRate >= 0.0 && lossRate < 1.0)) plan.status = PlanStatus::BadLoss;
  else if (devices == 0) plan.status = PlanStatus::BadDevices;
  else if (!(confidence > 0.0 && confidence < 1.0)) plan.status = PlanStatus::BadConfidence;
  else if (chunks == 0) plan.status = PlanStatus::BadChunks;
  if (plan.status != PlanStatus::Ok) return plan;

  std::uint32_t k = 1;
  bool met = true;
  double logAll = 0.0;  // one pass without loss: every chunk everywhere
  if (lossRate > 0.0) {
    const double logLoss = std::log(lossRate);
    const double chunkDevices = static_cast<double>(chunks) * static_cast<double>(devices);
    const double logC = std::log(confidence);
    // Ties within rounding count as met: a probability that equals C exactly on paper may
    // come out a few units in the last place below it.
    const double target = logC * (1.0 + 1e-12);
    auto meets = [&](std::uint32_t passes) { return LogAllComplete(logLoss, chunkDevices, passes) >= target; };

    // The closed form, k >= log(1 - C^(1/M)) / log P, with 1 - C^(1/M) = -expm1(log C / M);
    // then stepped to the exact smallest k of the test above, so that its rounding cannot
    // disagree with the probability reported.
    const double estimate = std::ceil(std::log(-std::expm1(logC / chunkDevices)) / logLoss);
    const double limit = static_cast<double>(kMaxPlannedPasses) + 1.0;
    k = static_cast<std::uint32_t>(std::isnan(estimate) ? limit : std::clamp(estimate, 1.0, limit));
    while (k > 1 && meets(k - 1)) --k;
    while (k <= kMaxPlannedPasses && !meets(k)) ++k;
    met = k <= kMaxPlannedPasses;
    if (!met) k = kMaxPlannedPasses;
    logAll = LogAllComplete(logLoss, chunkDevices, k);
  }
  plan.dwPasses = k;
  plan.bReachable = met;
  plan.dProbability = std::exp(logAll);
  plan.dSeconds = PlannedSeconds(k, chunks);
  return plan;
}
