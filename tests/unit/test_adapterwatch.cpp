// Following an adapter by name while the system's interfaces change under it, and waking on
// the system's notice of the change. Inside the private test segment (run by netns.sh): the
// test makes and changes its own interfaces t0/t0p there.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/adapterwatch.h"

namespace {

void Ip(const std::string& command) { ASSERT_EQ(std::system(("ip " + command).c_str()), 0) << command; }
int Quiet(const char* command) { return std::system(command); }

TEST(AdapterByNameTest, FollowsTheNameThroughChanges) {
  (void)Quiet("ip link del t0 2>/dev/null; ip link del t9 2>/dev/null");
  struct Row {
    const char* what;
    const char* change;  // ip commands, ';'-separated
    const char* name;
    bool found;
    const char* ipv4;
    bool linkUp;
  } rows[] = {
      {"made, down, no address", "link add t0 type veth peer name t0p", "t0", true, "0.0.0.0", false},
      {"up with its link and an address",
       "link set t0p up; ip link set t0 up; ip addr add 10.9.0.1/24 dev t0", "t0", true, "10.9.0.1", true},
      {"a second address: the first stays", "addr add 10.9.0.7/24 dev t0", "t0", true, "10.9.0.1", true},
      {"the link's other end down: no carrier", "link set t0p down", "t0", true, "10.9.0.1", false},
      {"renamed: the old name is gone", "link set t0p up; ip link set t0 down; ip link set t0 name t9; ip link set t9 up",
       "t0", false, "", false},
      {"renamed: found under the new name", "link set t9 up", "t9", true, "10.9.0.1", true},
      {"gone", "link del t9", "t9", false, "", false},
      {"made again under the old name, another address",
       "link add t0 type veth peer name t0p; ip link set t0p up; ip link set t0 up; ip addr add 10.9.0.2/24 dev t0",
       "t0", true, "10.9.0.2", true},
      {"its address taken away", "addr flush dev t0", "t0", true, "0.0.0.0", true},
  };
  unsigned firstIndex = 0;
  for (const Row& r : rows) {
    Ip(r.change);
    // The system marks a link running a moment after it came up (its link watch is deferred
    // by up to a second): the lookup is asked again until it agrees, for at most 3 s.
    platform::AdapterInfo a;
    bool linkUp = !r.linkUp;
    bool found = false;
    for (int i = 0; i < 300; ++i) {
      found = platform::FindAdapterByName(r.name, &a, &linkUp);
      if (found == r.found && (!found || (linkUp == r.linkUp && a.ipv4 == r.ipv4))) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(found, r.found) << r.what;
    if (!found) continue;
    EXPECT_EQ(a.name, r.name) << r.what;
    EXPECT_EQ(a.ipv4, r.ipv4) << r.what;
    EXPECT_EQ(linkUp, r.linkUp) << r.what;
    if (firstIndex == 0) firstIndex = a.index;
    if (std::string(r.what).rfind("made again", 0) == 0) {
      EXPECT_NE(a.index, firstIndex) << "a new interface, a new index";
    }
  }
  (void)Quiet("ip link del t0 2>/dev/null");
}

bool Never() { return false; }
std::atomic<bool> g_stop{false};
bool StopAsked() { return g_stop.load(); }

TEST(AdapterChangeWatchTest, WakesOnAChangeWaitsOutItsTimeOtherwiseAndStopsAtOnce) {
  using Clock = std::chrono::steady_clock;
  platform::AdapterChangeWatch watch;
  ASSERT_TRUE(watch.Notifies());

  auto began = Clock::now();
  EXPECT_FALSE(watch.Wait(200, &Never));
  EXPECT_GE(Clock::now() - began, std::chrono::milliseconds(200));

  std::thread change([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    (void)Quiet("ip link add t5 type veth peer name t5p && ip addr add 10.9.5.1/24 dev t5");
  });
  began = Clock::now();
  EXPECT_TRUE(watch.Wait(5000, &Never));
  EXPECT_LT(Clock::now() - began, std::chrono::seconds(2));
  change.join();

  std::thread stop([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    g_stop = true;
  });
  began = Clock::now();
  while (watch.Wait(5000, &StopAsked)) {  // notices of t5 still queued are taken first
  }
  EXPECT_LT(Clock::now() - began, std::chrono::milliseconds(500));
  stop.join();
  (void)Quiet("ip link del t5");
}

}  // namespace
