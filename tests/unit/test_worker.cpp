// The worker end to end on a private test segment (run by netns.sh): it sends from v0,
// and the test listens on v1 as a device would.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <dlfcn.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>

#include "platform/adapters.h"
#include "platform/msgbox.h"
#include "platform/socket.h"
#include "platform/thread.h"
#include "tests/unit/temp_file.h"
#include "transmit/crc32.h"
#include "transmit/datagram.h"
#include "transmit/sender.h"
#include "transmit/state.h"

// A test can hold the worker inside its socket set-up, at its last step (the sending
// interface), until it lets it go: this program's own setsockopt stands in front of the C
// library's.
std::atomic<bool> g_holdSetUp{false};     // the next IP_MULTICAST_IF waits
std::atomic<bool> g_heldInSetUp{false};   // a worker is waiting there
std::atomic<bool> g_releaseSetUp{false};  // let it go on

extern "C" int setsockopt(int fd, int level, int name, const void* value, socklen_t len) noexcept {
  using Real = int (*)(int, int, int, const void*, socklen_t);
  static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "setsockopt"));
  if (level == IPPROTO_IP && name == IP_MULTICAST_IF && g_holdSetUp.exchange(false)) {
    g_heldInSetUp = true;
    while (!g_releaseSetUp.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return real(fd, level, name, value, len);
}

namespace {

std::optional<platform::AdapterInfo> FindAdapter(const std::string& name, std::intptr_t* listIndex) {
  std::vector<platform::AdapterInfo> all;
  platform::ListAdapters(all);
  for (std::size_t i = 0; i < all.size() && i < 10; ++i)
    if (all[i].name == name) {
      if (listIndex) *listIndex = static_cast<std::intptr_t>(i);
      return all[i];
    }
  return std::nullopt;
}

struct Box {
  std::string text, caption;
};
std::mutex g_boxMutex;
std::vector<Box> g_boxes;
void RecordBox(const char* text, const char* caption) {
  std::lock_guard<std::mutex> lock(g_boxMutex);
  g_boxes.push_back({text, caption});
}

struct Datagram {
  std::vector<std::uint8_t> bytes;
  std::uint32_t No() const { return LoadLE32(bytes.data() + kOffPacketNo); }
  std::uint32_t DataLen() const { return LoadLE32(bytes.data() + kOffDataLen); }
  std::uint16_t Force() const { return static_cast<std::uint16_t>(bytes[kOffForceFlag] | bytes[kOffForceFlag + 1] << 8); }
};

class WorkerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!FindAdapter("v0", &senderIndex_) || !FindAdapter("v1", nullptr))
      GTEST_SKIP() << "needs the private test segment of tests/e2e/netns.sh";
    ResetTransmissionState();
    SetTransmissionDefaults();
    g_nPolicy = 1;
    {
      std::lock_guard<std::mutex> lock(g_boxMutex);
      g_boxes.clear();
    }
    platform::SetMessageBoxHandler(RecordBox);
    ASSERT_EQ(platform::SocketStartup(2, 2, nullptr, nullptr), 0);
    started_ = true;
    listener_ = platform::OpenUdpSocket();
    ASSERT_NE(listener_, platform::kInvalidSocket);
    ASSERT_EQ(platform::SetReuseAddress(listener_, 1), 0);
    ASSERT_EQ(platform::BindIPv4(listener_, 0, platform::HostToNet16(kUpgradePort)), 0);
    ASSERT_EQ(platform::JoinMulticastGroupOnIndex(listener_, platform::InetAddr(kGroupAddress),
                                                  FindAdapter("v1", nullptr)->index),
              0);
  }

  void TearDown() override {
    Stop();
    if (listener_ != platform::kInvalidSocket) platform::CloseSocket(listener_);
    if (started_) platform::SocketCleanup();
    platform::SetMessageBoxHandler(nullptr);
    ResetTransmissionState();
  }

  // What Start does for the worker: the file measured, the run state set, the thread begun.
  void Start(const std::string& path, std::intptr_t adapter) {
    std::strncpy(g_szFilePath, path.c_str(), kFilePathSize - 1);
    if (MeasureBinFile(g_szFilePath) != 0) g_hdrTemplate = SDatagramHeader{};
    g_nRunState = RUN_STARTED;
    worker_ = platform::StartWorkerThread(TransmissionThreadProc, adapter, platform::ThreadPriority::Normal);
    ASSERT_NE(worker_, nullptr);
  }

  // What Stop does, then waits for the worker; answers its exit code.
  std::uint32_t Stop() {
    g_nRunState = RUN_STOPPED;
    g_bSending = 0;
    std::uint32_t code = worker_ ? worker_->Join() : 0;
    worker_.reset();
    return code;
  }

  std::optional<Datagram> Receive(int timeoutMs = 2000) {
    Datagram d;
    d.bytes.resize(2048);
    const long n = platform::ReceiveFrom(listener_, d.bytes.data(), d.bytes.size(), timeoutMs, nullptr);
    if (n <= 0) return std::nullopt;
    d.bytes.resize(static_cast<std::size_t>(n));
    return d;
  }

  std::size_t Drain() {
    std::size_t n = 0;
    while (Receive(50)) ++n;
    return n;
  }

  std::intptr_t senderIndex_ = -1;
  platform::Socket listener_ = platform::kInvalidSocket;
  bool started_ = false;
  std::unique_ptr<platform::WorkerThread> worker_;
};

std::string RandomText(std::size_t n) {
  std::mt19937 rng(static_cast<unsigned>(n));
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(rng());
  return s;
}

TEST_F(WorkerTest, SendsTheCarouselPassAfterPass) {
  const std::string contents = RandomText(2500);
  TempFile file(contents);
  Start(file.path(), senderIndex_);
  const std::uint32_t fileCrc = Crc32NoFinalXor(contents.data(), 2500);
  const std::uint32_t lengths[] = {1024, 1024, 452};
  for (int i = 0; i < 7; ++i) {
    std::optional<Datagram> d = Receive();
    ASSERT_TRUE(d) << "datagram " << i;
    const std::uint8_t* b = d->bytes.data();
    ASSERT_EQ(d->bytes.size(), kDatagramSize);
    EXPECT_EQ(d->No(), static_cast<std::uint32_t>(i % 3));
    EXPECT_EQ(d->DataLen(), lengths[i % 3]);
    EXPECT_EQ(LoadLE32(b + kOffCrc), Crc32NoFinalXor(b + 4, d->DataLen() + 32));
    EXPECT_EQ(LoadLE32(b + kOffMagic), kDatagramMagic);
    EXPECT_EQ(b[kOffImageType], 1);
    EXPECT_EQ(b[kOffPolicy], 1);
    EXPECT_EQ(LoadLE32(b + kOffPacketCount), 3u);
    EXPECT_EQ(LoadLE32(b + kOffTotalLen), 2500u);
    EXPECT_EQ(LoadLE32(b + kOffFileCrc), fileCrc);
    EXPECT_EQ(std::memcmp(b + kDatagramHeaderSize, contents.data() + (i % 3) * 1024, d->DataLen()), 0);
  }
  EXPECT_EQ(g_bSending, 1);
  EXPECT_GE(g_dwPassCount, 2u);
  EXPECT_EQ(Stop(), static_cast<std::uint32_t>(TX_OK));
  EXPECT_EQ(g_nResult, TX_OK);
  Drain();  // what was sent before the stop
  EXPECT_FALSE(Receive(100)) << "a datagram after the worker ended";
}

TEST_F(WorkerTest, OneChunkFileSendsDatagramZeroEveryPass) {
  TempFile file(RandomText(1024));
  Start(file.path(), senderIndex_);
  for (int i = 0; i < 5; ++i) {
    std::optional<Datagram> d = Receive();
    ASSERT_TRUE(d);
    EXPECT_EQ(d->No(), 0u);
    EXPECT_EQ(d->DataLen(), 1024u);
  }
  EXPECT_EQ(g_dwPacketNo, 0u);
  EXPECT_GE(g_dwPassCount, 4u);
}

TEST_F(WorkerTest, ForceFlagChangesOnlyAtAPassStart) {
  TempFile file(RandomText(20 * 1024));
  Start(file.path(), senderIndex_);
  std::vector<Datagram> got;
  bool flipped = false;
  while (got.size() < 100) {
    std::optional<Datagram> d = Receive();
    ASSERT_TRUE(d);
    if (!flipped && d->No() == 5) {
      g_bForceUpgrade = 1;
      flipped = true;
    }
    got.push_back(*d);
  }
  ASSERT_TRUE(flipped);
  // Within a pass the flag never changes; once it is 1, it stays 1.
  bool seenOne = false;
  for (std::size_t i = 0; i < got.size(); ++i) {
    if (i > 0 && got[i].No() != 0) {
      EXPECT_EQ(got[i].Force(), got[i - 1].Force()) << "datagram " << i;
    }
    if (seenOne) {
      EXPECT_EQ(got[i].Force(), 1) << i;
    }
    if (got[i].Force() == 1) seenOne = true;
  }
  EXPECT_TRUE(seenOne);
}

struct FatalCase {
  const char* what;
  bool fileExists;
  int language;
  std::int32_t result;
  std::vector<Box> boxes;
};

// Results that end the transmission for good: the worker's own box in the language of the
// moment (none for a language without texts), nothing sent, the flag left set.
TEST_F(WorkerTest, FatalResults) {
  const FatalCase cases[] = {
      {"file removed, English", false, 0, TX_ERR_OPEN,
       {{"Please make sure the file exist and it is readable!", "Error"}}},
      {"file removed, Chinese", false, 1, TX_ERR_OPEN, {{"请确认该文件存在并且可读!", "错误"}}},
      {"file removed, no language", false, 2, TX_ERR_OPEN, {}},
      {"empty file", true, 0, TX_ERR_CRC, {}},
  };
  for (const FatalCase& c : cases) {
    std::optional<TempFile> file;
    std::string path = "/nonexistent/upgrade.bin";
    if (c.fileExists) {
      file.emplace("");
      path = file->path();
    }
    g_nLanguage = c.language;
    g_nResult = 0;
    {
      std::lock_guard<std::mutex> lock(g_boxMutex);
      g_boxes.clear();
    }
    Start(path, senderIndex_);
    EXPECT_EQ(worker_->Join(), static_cast<std::uint32_t>(c.result)) << c.what;
    worker_.reset();
    EXPECT_EQ(g_nResult, c.result) << c.what;
    EXPECT_EQ(g_bSending, 1) << c.what;
    std::lock_guard<std::mutex> lock(g_boxMutex);
    ASSERT_EQ(g_boxes.size(), c.boxes.size()) << c.what;
    for (std::size_t i = 0; i < c.boxes.size(); ++i) {
      EXPECT_EQ(g_boxes[i].text, c.boxes[i].text) << c.what;
      EXPECT_EQ(g_boxes[i].caption, c.boxes[i].caption) << c.what;
    }
  }
  EXPECT_FALSE(Receive(100)) << "nothing is sent after a fatal result";
}

// Without an adapter the set-up fails again and again; Stop ends the worker before its
// next attempt, and no result reaches the dialog.
TEST_F(WorkerTest, StopWhileReconnecting) {
  TempFile file(RandomText(3000));
  for (std::intptr_t adapter : {std::intptr_t{-1}, std::intptr_t{9}}) {
    g_nResult = 77;
    Start(file.path(), adapter);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(g_bSending, 0);
    EXPECT_EQ(Stop(), static_cast<std::uint32_t>(TX_ERR_SOCKET)) << adapter;
    EXPECT_EQ(g_nResult, 77);
    EXPECT_STREQ(g_szNicAddr, "");
  }
  EXPECT_FALSE(Receive(100));
}

// Stop pressed while the worker sets up its socket, before it has set the keep-sending
// flag: the worker still ends without sending, instead of sending on with the window idle.
TEST_F(WorkerTest, StopDuringTheSocketSetUpEndsTheWorker) {
  TempFile file(RandomText(3000));
  g_nResult = 77;
  g_heldInSetUp = false;
  g_releaseSetUp = false;
  g_holdSetUp = true;
  Start(file.path(), senderIndex_);
  for (int i = 0; i < 2000 && !g_heldInSetUp.load(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_TRUE(g_heldInSetUp.load()) << "the worker never reached its socket set-up";

  g_nRunState = RUN_STOPPED;  // what Stop does
  g_bSending = 0;
  g_releaseSetUp = true;

  EXPECT_FALSE(Receive(300)) << "a datagram went out after Stop";
  EXPECT_EQ(g_bSending, 0);
  EXPECT_EQ(g_dwPassCount, 0u);
  EXPECT_EQ(Stop(), 0u);       // the set-up itself succeeded
  EXPECT_EQ(g_nResult, 77);    // no result reaches the dialog
}

TEST_F(WorkerTest, AdapterAddressByListIndex) {
  EXPECT_EQ(GetAdapterAddrByIndex(static_cast<std::int32_t>(senderIndex_)), 0);
  EXPECT_STREQ(g_szNicAddr, "10.77.0.1");
  std::memset(g_szNicAddr, 0, sizeof g_szNicAddr);
  EXPECT_EQ(GetAdapterAddrByIndex(-1), 0);
  EXPECT_EQ(GetAdapterAddrByIndex(10), 0);
  EXPECT_STREQ(g_szNicAddr, "");
}

}  // namespace
