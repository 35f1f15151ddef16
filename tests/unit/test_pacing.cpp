// The pause between datagrams on a scripted clock: never early, never a burst after a late
// wake-up, a bounded spin, and a spin that follows the sleep's real lateness.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <vector>

#include "transmit/pacing.h"

namespace {

// Counts in nanoseconds. Every reading advances the clock by one step (the cost of a look
// while spinning); a sleep ends at its deadline plus what `lateness` says (negative: early).
class ScriptedClock final : public pacing::Clock {
 public:
  static constexpr std::int64_t kStep = 200;

  explicit ScriptedClock(std::function<std::int64_t()> lateness) : lateness_(std::move(lateness)) {}

  std::int64_t Frequency() override { return 1000000000; }
  std::int64_t Now() override {
    now_ += kStep;
    ++readsSinceSleep_;
    return now_;
  }
  void SleepUntil(std::int64_t deadline) override {
    now_ = std::max(now_, deadline + lateness_());
    readsSinceSleep_ = 0;
    ++sleeps_;
  }

  std::int64_t now_ = 1000000;
  std::int64_t readsSinceSleep_ = 0;
  int sleeps_ = 0;

 private:
  std::function<std::int64_t()> lateness_;
};

struct Paced {
  std::vector<std::int64_t> gaps;  // between the ends of consecutive pauses: one send each
  std::vector<std::int64_t> overshoot;  // end of each pause past its own deadline
  std::vector<std::int64_t> spunReads;  // clock readings after the pause's last sleep (or start)
};

// Pauses of `ms` as the send loop makes them, a datagram (no time here) after each.
Paced Pace(ScriptedClock& clock, int pauses, std::uint32_t ms) {
  pacing::Pacer pacer(clock);
  Paced r;
  std::int64_t lastEnd = -1;
  for (int i = 0; i < pauses; ++i) {
    const std::int64_t start = clock.now_;
    clock.readsSinceSleep_ = 0;
    pacer.Wait(ms);
    const std::int64_t end = clock.now_;
    if (lastEnd >= 0) r.gaps.push_back(end - lastEnd);
    lastEnd = end;
    // The pause's own first reading comes one step after `start`.
    r.overshoot.push_back(end - (start + ScriptedClock::kStep + ms * 1000000LL));
    r.spunReads.push_back(clock.readsSinceSleep_);
  }
  return r;
}

double Share(const std::vector<std::int64_t>& v, const std::function<bool(std::int64_t)>& pred) {
  return static_cast<double>(std::count_if(v.begin(), v.end(), pred)) / static_cast<double>(v.size());
}

// Sleep behaviours the pause meets: a fine timer, a timer that wakes early now and then, a
// loaded machine whose wake-ups are sometimes many milliseconds late, and a coarse timer
// always later than the whole pause.
struct Behaviour {
  const char* name;
  std::function<std::int64_t(std::mt19937&)> lateness;
};

const Behaviour kBehaviours[] = {
    {"fine timer", [](std::mt19937& g) { return 50000 + static_cast<std::int64_t>(g() % 20000); }},
    {"wakes early sometimes",
     [](std::mt19937& g) { return g() % 10 == 0 ? -300000 : 30000 + static_cast<std::int64_t>(g() % 40000); }},
    {"loaded, jumps of up to 20 ms",
     [](std::mt19937& g) {
       const auto x = g() % 100;
       if (x < 3u) return 2000000 + static_cast<std::int64_t>(g() % 18000000);
       return 20000 + static_cast<std::int64_t>(g() % 200000);
     }},
    {"coarse timer, 1.1 ms late", [](std::mt19937& g) { return 1100000 + static_cast<std::int64_t>(g() % 100000); }},
};

TEST(Pacing, NeverEarlyNoBurstAndTheSpinIsBounded) {
  const std::int64_t maxSpinReads = pacing::kMaxSpinMicroseconds * 1000 / ScriptedClock::kStep + 4;
  for (const Behaviour& b : kBehaviours) {
    for (std::uint32_t ms : {1u, 2u, 7u}) {
      std::mt19937 rng(ms);
      ScriptedClock clock([&] { return b.lateness(rng); });
      const Paced r = Pace(clock, 5000, ms);
      // Never early: at least ms after the pause's first reading, so also after its call.
      EXPECT_GE(*std::min_element(r.overshoot.begin(), r.overshoot.end()), 0) << b.name << ", " << ms << " ms";
      // No burst: after however late a wake-up, the next datagram is still a whole pause later.
      EXPECT_GE(*std::min_element(r.gaps.begin(), r.gaps.end()), ms * 1000000LL) << b.name << ", " << ms << " ms";
      // The stretch spun after the last sleep stays within the bound.
      EXPECT_LE(*std::max_element(r.spunReads.begin(), r.spunReads.end()), maxSpinReads) << b.name << ", " << ms;
    }
  }
}

// With a steady wake-up latency the spin settles at its median: about half the pauses end on
// time, the others late by less than the latency's spread, and on average less than a
// quarter of the spread (plus the guard) is spun, where a high percentile would spin nearly
// half of it.
TEST(Pacing, SpinFollowsTheObservedLateness) {
  struct Case {
    std::int64_t base, spread;  // lateness base + [0, spread) ns
  };
  for (const Case& c : {Case{20000, 10000}, Case{80000, 20000}, Case{180000, 50000}}) {
    std::mt19937 rng(7);
    ScriptedClock clock([&] { return c.base + static_cast<std::int64_t>(rng() % static_cast<std::uint32_t>(c.spread)); });
    const Paced r = Pace(clock, 3000, 1);
    const std::vector<std::int64_t> settled(r.overshoot.begin() + 100, r.overshoot.end());
    EXPECT_GE(Share(settled, [](std::int64_t o) { return o <= 2 * ScriptedClock::kStep; }), 0.45) << c.base;
    EXPECT_LE(*std::max_element(settled.begin(), settled.end()), c.spread) << c.base;
    double spunNs = 0;
    for (auto it = r.spunReads.begin() + 100; it != r.spunReads.end(); ++it) spunNs += static_cast<double>(*it * ScriptedClock::kStep);
    spunNs /= static_cast<double>(r.spunReads.size() - 100);
    EXPECT_LE(spunNs, static_cast<double>(c.spread / 4 + pacing::kGuardMicroseconds * 1000 + 1000)) << c.base;
  }
}

// A timer always later than the pause: the pause spins no more than its bound and ends late
// by the rest, instead of holding the processor for the whole pause.
TEST(Pacing, CoarseTimerCostsLatenessNotProcessor) {
  ScriptedClock clock([] { return 1500000; });
  pacing::Pacer pacer(clock);
  for (int i = 0; i < 200; ++i) pacer.Wait(1);
  EXPECT_EQ(pacer.SpinTicks(), pacing::kMaxSpinMicroseconds * 1000);
  EXPECT_EQ(clock.sleeps_, 200);
}

TEST(Pacing, ZeroReturnsAtOnce) {
  ScriptedClock clock([] { return 0; });
  pacing::Pacer pacer(clock);
  const std::int64_t before = clock.now_;
  pacer.Wait(0);
  EXPECT_EQ(clock.now_, before);
  EXPECT_EQ(clock.sleeps_, 0);
}

}  // namespace
