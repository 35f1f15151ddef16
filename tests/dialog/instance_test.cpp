// The running-copy marker: held for the life of the process, never waited on. (Freed when
// the process ends: instance_process_test.cpp on POSIX; the window test of the Windows build.)
#include <gtest/gtest.h>

#include "platform/instance.h"
#include "scratch.h"

using platform::CreateInstanceMarker;
using platform::InstanceMarker;

TEST(InstanceMarker, ASecondHolderIsToldItExists) {
  ScratchFolder dir;
  EXPECT_EQ(CreateInstanceMarker("KAV"), InstanceMarker::Created);
  EXPECT_EQ(CreateInstanceMarker("KAV"), InstanceMarker::AlreadyExists);
  EXPECT_EQ(CreateInstanceMarker("other"), InstanceMarker::Created);  // names are apart
  EXPECT_EQ(CreateInstanceMarker(""), InstanceMarker::Failed);
}

TEST(InstanceMarker, ARuntimeDirectoryNotOfOurOwnFallsBack) {
  ScratchFolder dir;
  ScratchFolder::SetEnv("XDG_RUNTIME_DIR", "relative/path");  // not absolute: not used
  EXPECT_NE(CreateInstanceMarker("KAV-fallback-test"), InstanceMarker::Failed);
}

TEST(InstanceMarker, ReleasingLetsANewHolderMakeIt) {
  ScratchFolder dir;
  EXPECT_EQ(CreateInstanceMarker("KAV"), InstanceMarker::Created);
  platform::ReleaseInstanceMarkers();
  EXPECT_EQ(CreateInstanceMarker("KAV"), InstanceMarker::Created);
  EXPECT_EQ(CreateInstanceMarker("KAV"), InstanceMarker::AlreadyExists);
}
