// The operator flow over the real sender, inside the private test segment of
// tests/e2e/netns.sh: the window (headless host) sends from v0, a simulated device or the
// test itself listens on v1. Skipped outside the segment.
#include <spawn.h>
#include <sys/wait.h>

#include <fstream>
#include <random>

#include "../dialog/flow_support.h"
#include "platform/socket.h"
#include "transmit/datagram.h"

#ifndef UPGRADE_DEVSIM
#define UPGRADE_DEVSIM "upgrade-devsim"
#endif

extern char** environ;

using namespace flow;

namespace {

// Index of the interface of this name in the list the window shows; -1 when absent.
int ListIndex(const std::string& name, unsigned* ifaceIndex = nullptr) {
  std::vector<platform::AdapterInfo> all;
  platform::ListAdapters(all);
  for (std::size_t i = 0; i < all.size() && i < kAdapterEntries; ++i)
    if (all[i].name == name) {
      if (ifaceIndex) *ifaceIndex = all[i].index;
      return static_cast<int>(i);
    }
  return -1;
}

// A package the analysis accepts, of `size` bytes, pseudo-random after its units so that a
// chunk in the wrong place shows.
mkfile::CFileImage RandomPackage(std::uint64_t size) {
  mkfile::CFileImage image = GoodPackage();
  const std::uint64_t from = 0x2000;
  mkfile::Bytes noise(size - from);
  std::mt19937 rng(static_cast<unsigned>(size));
  for (auto& b : noise) b = static_cast<std::uint8_t>(rng());
  image.Put(from, noise);
  image.Resize(size);
  return image;
}

std::string ReadAll(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

int Sh(const std::string& command) { return std::system(command.c_str()); }

class NetnsFlowTest : public FlowTestBase {
 protected:
  void SetUp() override {
    FlowTestBase::SetUp();
    g_pfnListAdapters = &platform::ListAdapters;  // the segment's own interfaces
    sender = ListIndex("v0");
    if (sender < 0 || ListIndex("v1", &deviceIface) < 0) GTEST_SKIP() << "needs the private test segment of tests/e2e/netns.sh";
  }
  void TearDown() override {
    if (sender >= 0) Sh("ip addr replace 10.77.0.1/24 dev v0");  // as the segment made it
    if (listener != platform::kInvalidSocket) {
      platform::CloseSocket(listener);
      platform::SocketCleanup();
    }
    FlowTestBase::TearDown();
  }
  void Listen() {
    ASSERT_EQ(platform::SocketStartup(2, 2, nullptr, nullptr), 0);
    listener = platform::OpenUdpSocket();
    ASSERT_NE(listener, platform::kInvalidSocket);
    ASSERT_EQ(platform::SetReuseAddress(listener, 1), 0);
    ASSERT_EQ(platform::BindIPv4(listener, 0, platform::HostToNet16(kUpgradePort)), 0);
    ASSERT_EQ(platform::JoinMulticastGroupOnIndex(listener, platform::InetAddr(kGroupAddress), deviceIface), 0);
  }
  // The packet number and force flag of the next datagram on v1.
  bool Receive(std::uint32_t& no, std::uint16_t& force) {
    std::uint8_t buf[2048];
    const long n = platform::ReceiveFrom(listener, buf, sizeof buf, 2000, nullptr);
    if (n != static_cast<long>(kDatagramSize)) return false;
    no = LoadLE32(buf + kOffPacketNo);
    force = static_cast<std::uint16_t>(buf[kOffForceFlag] | buf[kOffForceFlag + 1] << 8);
    return true;
  }
  // Chooses the file and the sender's adapter.
  void Prepare(HeadlessWindow& w, const std::string& path) {
    Choose(w, path);
    ASSERT_TRUE(w.Control(IDC_BTN_START).enabled) << w.Control(IDC_STATIC_VERSION).text;
    ASSERT_TRUE(w.SelectItem(IDC_COMBO_NIC, sender));
    ASSERT_EQ(w.Control(IDC_COMBO_NIC).text.rfind("v0", 0), 0u);
  }

  int sender = -1;
  unsigned deviceIface = 0;
  platform::Socket listener = platform::kInvalidSocket;
};

}  // namespace

TEST_F(NetnsFlowTest, ADeviceReceivesTheChosenFileWholeAndStopEndsIt) {
  const std::string path = Write("upgrade.bin", RandomPackage(300000));  // 293 datagrams a pass
  const std::string out = dir.Path("received.bin");
  std::vector<std::string> args = {UPGRADE_DEVSIM, "-i", "v1", "-o", out, "--timeout", "20", "--name", "device"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t device = 0;
  ASSERT_EQ(posix_spawn(&device, UPGRADE_DEVSIM, nullptr, nullptr, argv.data(), environ), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the device listens

  int status = -1;
  Run([&](HeadlessWindow& w) {
    Prepare(w, path);
    ASSERT_TRUE(w.Click(IDC_BTN_START));
    EXPECT_EQ(ControlsOf(w), kSending);
    std::uint32_t maxPacket = 0;
    int maxPos = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      ASSERT_TRUE(w.TickTimer(1));
      if (!w.Control(IDC_EDIT_PACKETNO).text.empty())
        maxPacket = std::max<std::uint32_t>(maxPacket, static_cast<std::uint32_t>(std::stoul(w.Control(IDC_EDIT_PACKETNO).text)));
      maxPos = std::max(maxPos, w.Control(IDC_PROGRESS).pos);
      if (waitpid(device, &status, WNOHANG) == device) break;
    }
    EXPECT_EQ(g_bSending.load(), 1);
    EXPECT_GT(maxPacket, 100u);      // the datagram number moved on
    EXPECT_GT(maxPos, 0);            // and the bar
    EXPECT_TRUE(host.MessageBoxes().empty());
    ASSERT_TRUE(w.Click(IDC_BTN_STOP));
    EXPECT_TRUE(WaitFor([] { return TransmissionWorkersRunning() == 0; }, std::chrono::milliseconds(1000)));
    EXPECT_EQ(g_nResult.load(), 0);  // the send loop ended on the stop
    EXPECT_EQ(ControlsOf(w), kIdleReady);
    EXPECT_TRUE(w.Timers().empty());
  });
  ASSERT_TRUE(WIFEXITED(status)) << "the device did not finish";
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadAll(out), ReadAll(path));
}

TEST_F(NetnsFlowTest, TheForceFlagReachesTheDatagramsFromTheNextPass) {
  Listen();
  const std::string path = Write("upgrade.bin", RandomPackage(0x10000));  // 64 datagrams a pass
  Run([&](HeadlessWindow& w) {
    Prepare(w, path);
    ASSERT_TRUE(w.Click(IDC_BTN_START));
    std::uint32_t no = 0;
    std::uint16_t force = 9;
    // The middle of a pass sent without the flag.
    do {
      ASSERT_TRUE(Receive(no, force));
      ASSERT_EQ(force, 0);
    } while (no != 20);
    ASSERT_TRUE(w.Click(IDC_CHECK_FORCE));
    ASSERT_EQ(g_bForceUpgrade.load(), 1);
    // The rest of this pass keeps the flag it began with ...
    std::uint32_t last = no;
    for (;;) {
      ASSERT_TRUE(Receive(no, force));
      if (no < last) break;  // the next pass has begun
      EXPECT_EQ(force, 0) << "datagram " << no << " of the pass under way";
      last = no;
    }
    // ... and the next two passes carry it, from their first datagram.
    EXPECT_EQ(no, 0u);
    int passes = 0;
    for (last = no; passes < 2;) {
      EXPECT_EQ(force, 1) << "datagram " << no;
      ASSERT_TRUE(Receive(no, force));
      if (no < last) ++passes;
      last = no;
    }
    ASSERT_TRUE(w.Click(IDC_BTN_STOP));
  });
}

TEST_F(NetnsFlowTest, StopWhileTheWorkersOwnBoxIsOpen) {
  const std::string path = Write("upgrade.bin", RandomPackage(0x10000));
  ASSERT_EQ(Sh("ip addr flush dev v0"), 0);  // the adapter has no address: the worker retries
  Run([&](HeadlessWindow& w) {
    Prepare(w, path);
    ASSERT_TRUE(w.Click(IDC_BTN_START));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(g_bSending.load(), 0);
    // The file goes; then the adapter gets its address and the send loop begins.
    std::filesystem::rename(path, path + ".away");
    ASSERT_EQ(Sh("ip addr add 10.77.0.1/24 dev v0"), 0);
    ASSERT_TRUE(WaitFor([] { return g_bSending.load() == 1; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the worker's box is up
    ASSERT_TRUE(w.Click(IDC_BTN_STOP));
    EXPECT_TRUE(w.Timers().empty());
    EXPECT_EQ(TransmissionWorkersRunning(), 1);  // still in its box
    ASSERT_EQ(host.PumpUnownedBoxes(std::chrono::milliseconds(2000)), 1);
    ASSERT_TRUE(WaitFor([] { return TransmissionWorkersRunning() == 0; }));
    ASSERT_EQ(host.MessageBoxes().size(), 1u);
    EXPECT_EQ(host.MessageBoxes()[0].owner, platform::headless::Owner::None);
    EXPECT_TRUE(host.MessageBoxes()[0].fromOtherThread);
    EXPECT_EQ(LastBox(), "Error: Please make sure the file exist and it is readable!");
    EXPECT_EQ(g_nResult.load(), TX_ERR_OPEN);
    EXPECT_EQ(ControlsOf(w), kIdleReady);

    // The file is back: the next transmission's first tick shows the result left over and
    // sets the idle states while the new worker sends.
    std::filesystem::rename(path + ".away", path);
    // Stop's refresh did not find the remembered entry, which held no address then.
    ASSERT_TRUE(w.SelectItem(IDC_COMBO_NIC, sender));
    ASSERT_TRUE(w.Click(IDC_BTN_START));
    EXPECT_EQ(ControlsOf(w), kSending);
    ASSERT_TRUE(WaitFor([] { return g_bSending.load() == 1; }));
    ASSERT_TRUE(w.TickTimer(1));
    EXPECT_EQ(LastBox(), "Error: Opening the package file is failed!");
    EXPECT_EQ(host.MessageBoxes().back().owner, platform::headless::Owner::Dialog);
    EXPECT_EQ(ControlsOf(w), kIdleReady);
    EXPECT_EQ(TransmissionWorkersRunning(), 1);  // still sending
    // Stop is disabled now; the first press of Start clears the flag: the worker ends (before
    // the press checks and measures the file again) and nothing new starts.
    ASSERT_TRUE(w.Click(IDC_BTN_START));
    EXPECT_EQ(TransmissionWorkersRunning(), 0);
    EXPECT_EQ(g_nResult.load(), 0);
    EXPECT_EQ(g_bSending.load(), 0);
    EXPECT_EQ(ControlsOf(w), kIdleReady);
    EXPECT_TRUE(w.Timers().count(1) == 1);  // the timer of the transmission before goes on
  });
}
