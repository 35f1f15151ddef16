// The Linux adapter list keeps only interfaces that can carry the sender's IPv4 multicast
// stream: a table of interface flags as the kernel reports them for common devices.
#include <gtest/gtest.h>
#include <net/if.h>

#include <vector>

#include "platform/adapters.h"
#include "platform/posix/adapter_filter.h"

namespace {

struct Row {
  const char* device;
  unsigned flags;
  bool listed;
};

TEST(AdapterFilter, ListsOnlyInterfacesThatCanCarryTheStream) {
  const Row rows[] = {
      {"ethernet, up", IFF_UP | IFF_BROADCAST | IFF_RUNNING | IFF_MULTICAST, true},
      {"ethernet, cable out", IFF_UP | IFF_BROADCAST | IFF_MULTICAST, true},
      {"ethernet, down (the worker waits for it)", IFF_BROADCAST | IFF_MULTICAST, true},
      {"veth of the test segment", IFF_UP | IFF_BROADCAST | IFF_RUNNING | IFF_MULTICAST, true},
      {"point-to-point tunnel with multicast", IFF_UP | IFF_POINTOPOINT | IFF_RUNNING | IFF_MULTICAST, true},
      {"loopback", IFF_UP | IFF_LOOPBACK | IFF_RUNNING, false},
      {"loopback with multicast switched on", IFF_UP | IFF_LOOPBACK | IFF_RUNNING | IFF_MULTICAST, false},
      {"ifb0, down", IFF_BROADCAST | IFF_NOARP, false},
      {"ifb0, up", IFF_UP | IFF_BROADCAST | IFF_RUNNING | IFF_NOARP, false},
      {"wireguard", IFF_UP | IFF_POINTOPOINT | IFF_RUNNING | IFF_NOARP, false},
      {"no flags readable", 0u, false},
  };
  for (const Row& r : rows) EXPECT_EQ(platform::CarriesMulticastStream(r.flags), r.listed) << r.device;
}

// Whatever this machine has, the list read from it never holds its loopback device.
TEST(AdapterFilter, TheSystemsListHoldsNoLoopback) {
  std::vector<platform::AdapterInfo> list;
  const platform::AdapterListStatus status = platform::ListAdapters(list);
  ASSERT_NE(status, platform::AdapterListStatus::Error);
  for (const platform::AdapterInfo& a : list) {
    EXPECT_NE(a.name, "lo");
    EXPECT_EQ(if_nametoindex(a.name.c_str()), a.index) << a.name;
  }
}

}  // namespace
