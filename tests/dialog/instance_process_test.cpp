// The running-copy marker is freed when the process that holds it ends (POSIX: a child made
// with fork holds it).
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include "platform/instance.h"
#include "scratch.h"

using platform::CreateInstanceMarker;
using platform::InstanceMarker;

TEST(InstanceMarker, IsFreedWhenTheHoldingProcessEnds) {
  ScratchFolder dir;
  int toChild[2], toParent[2];
  ASSERT_EQ(pipe(toChild), 0);
  ASSERT_EQ(pipe(toParent), 0);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    char c = CreateInstanceMarker("KAV") == InstanceMarker::Created ? 'y' : 'n';
    if (write(toParent[1], &c, 1) != 1) _exit(2);
    if (read(toChild[0], &c, 1) != 1) _exit(3);  // hold it until told
    _exit(0);
  }
  char c = 0;
  ASSERT_EQ(read(toParent[0], &c, 1), 1);
  EXPECT_EQ(c, 'y');
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(CreateInstanceMarker("KAV"), InstanceMarker::AlreadyExists);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(1));  // not waited on
  ASSERT_EQ(write(toChild[1], "x", 1), 1);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_EQ(CreateInstanceMarker("KAV"), InstanceMarker::Created);
}
