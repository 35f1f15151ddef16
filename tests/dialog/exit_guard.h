// A test program whose process ends in the middle of a test (a host's ExitProcess reached
// outside EXPECT_EXIT) would end with status 0 and pass unseen; with this guard it ends
// with status 1 and says so. A test that means its statement to end the process calls
// ExpectingExit() inside the EXPECT_EXIT statement.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace exit_guard {

inline bool g_bExitExpected = false;
inline bool g_bTestsDone = false;

inline void OnExit() {
  if (g_bTestsDone || g_bExitExpected) return;
  std::fprintf(stderr, "FAILED: the process ended in the middle of a test\n");
  std::fflush(stderr);
  std::_Exit(1);
}

class Environment : public ::testing::Environment {
 public:
  void SetUp() override { std::atexit(&OnExit); }
  void TearDown() override { g_bTestsDone = true; }
};

inline ::testing::Environment* const g_pEnvironment = ::testing::AddGlobalTestEnvironment(new Environment);

}  // namespace exit_guard

inline void ExpectingExit() { exit_guard::g_bExitExpected = true; }
