// The sending worker's scheduling on Linux: real time where the process may have it, the
// fall-back where it is refused, and the watchdog that ends a real-time thread's hold.
#include <gtest/gtest.h>

#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

#include "platform/thread.h"
#include "tests/unit/scheduling_support.h"

namespace {

using scheduling_test::g_spinGo;
using scheduling_test::PolicyAndPriority;
using scheduling_test::SpinUntilDemoted;

bool RealtimeAllowed() {
  rlimit r{};
  getrlimit(RLIMIT_RTPRIO, &r);
  return geteuid() == 0 || r.rlim_cur > 0;
}

TEST(WorkerScheduling, ModeNames) {
  EXPECT_STREQ(platform::SchedulingModeName(platform::SchedulingMode::Realtime), "realtime");
  EXPECT_STREQ(platform::SchedulingModeName(platform::SchedulingMode::RealtimeKit), "realtime-rtkit");
  EXPECT_STREQ(platform::SchedulingModeName(platform::SchedulingMode::NormalShortSlice), "normal-short-slice");
  EXPECT_STREQ(platform::SchedulingModeName(platform::SchedulingMode::Normal), "normal");
}

// Where real time is allowed the worker gets the lowest FIFO priority, not passed on to
// programs it might start.
TEST(WorkerScheduling, RealtimeWhereAllowed) {
  if (!RealtimeAllowed()) GTEST_SKIP() << "this process may not use real-time scheduling";
  auto t = platform::StartWorkerThread(PolicyAndPriority, 0, platform::ThreadPriority::Normal);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->Scheduling(), platform::SchedulingMode::Realtime);
  EXPECT_EQ(t->Join(), static_cast<std::uint32_t>(SCHED_FIFO | SCHED_RESET_ON_FORK) << 8 | 1u);
}

// A process that may not (RLIMIT_RTPRIO 0, not root) gets a normal-priority worker that says so
// (where no RealtimeKit answers: the system bus's address leads nowhere).
TEST(WorkerScheduling, FallBackWhenRealtimeIsRefused) {
  const scheduling_test::ChildOutcome o =
      scheduling_test::RunWorkerWithoutTheRight("unix:path=/nonexistent/system_bus_socket", PolicyAndPriority);
  ASSERT_TRUE(o.reported) << scheduling_test::Describe(o);
  EXPECT_TRUE(scheduling_test::FellBack(o.report)) << scheduling_test::Describe(o);
}

// A real-time worker that holds the processor without pausing is put back to normal
// scheduling after its budget (half a second), and says so; so is the next one, although the
// kernel raised the process's soft limit by a second when it sent the first SIGXCPU.
TEST(WorkerScheduling, WatchdogEndsARunawayRealtimeThread) {
  if (!RealtimeAllowed()) GTEST_SKIP() << "this process may not use real-time scheduling";
  for (int run = 1; run <= 2; ++run) {
    auto t = platform::StartWorkerThread(SpinUntilDemoted, 0, platform::ThreadPriority::Normal);
    ASSERT_NE(t, nullptr);
    const platform::SchedulingMode started = t->Scheduling();
    g_spinGo.release();
    ASSERT_EQ(started, platform::SchedulingMode::Realtime);
    const std::uint32_t ms = t->Join();
    EXPECT_GE(ms, 450u) << "run " << run;
    EXPECT_LT(ms, 1200u) << "run " << run;
    EXPECT_EQ(t->Scheduling(), platform::SchedulingMode::Normal) << "run " << run;
  }
}

}  // namespace
