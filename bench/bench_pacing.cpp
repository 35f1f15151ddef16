// Pace of the real worker: 5000 datagrams sent through TransmissionThreadProc on the private
// test segment (run it with tests/e2e/netns.sh), timed by the kernel as they arrive on v1.
// Reports datagrams/s against the ideal 1 / (1 ms + per-datagram work), the gap error, and
// the CPU the worker used; once idle and once while two CPU-bound programs run. Beside it,
// the peer: the old design's busy-wait at the lowest priority, for at most a few seconds.
#include <linux/net_tstamp.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/adapters.h"
#include "platform/clock.h"
#include "platform/socket.h"
#include "platform/thread.h"
#include "transmit/datagram.h"
#include "transmit/sender.h"
#include "transmit/state.h"

namespace {

constexpr int kDatagrams = 5000;

double Seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; }

double ProcessCpu() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return Seconds(u.ru_utime) + Seconds(u.ru_stime);
}

double ThreadCpu() {
  rusage u{};
  getrusage(RUSAGE_THREAD, &u);
  return Seconds(u.ru_utime) + Seconds(u.ru_stime);
}

int OpenTimestampedListener(unsigned ifIndex) {
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &one, sizeof one);
  int rcvbuf = 8 << 20;
  setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(kUpgradePort);
  bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  ip_mreqn m{};
  m.imr_multiaddr.s_addr = platform::InetAddr(kGroupAddress);
  m.imr_ifindex = static_cast<int>(ifIndex);
  setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &m, sizeof m);
  timeval tv{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  return fd;
}

// Kernel arrival times (ns) of up to n datagrams, or fewer when none comes for a second.
std::vector<std::int64_t> Collect(int fd, int n) {
  std::vector<std::int64_t> times;
  times.reserve(static_cast<std::size_t>(n));
  std::uint8_t buf[2048];
  char control[256];
  while (static_cast<int>(times.size()) < n) {
    iovec iov{buf, sizeof buf};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    if (recvmsg(fd, &msg, 0) < 0) break;
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c != nullptr; c = CMSG_NXTHDR(&msg, c))
      if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
        timespec ts;
        std::memcpy(&ts, CMSG_DATA(c), sizeof ts);
        times.push_back(static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec);
      }
  }
  return times;
}

std::atomic<std::int64_t> g_passEnd{0};

void StopAfterOnePass(std::uint32_t) {
  g_passEnd = platform::CounterNow();
  g_bSending = 0;
  g_nRunState = RUN_STOPPED;
}

// Two CPU-bound programs, each ended after at most `seconds`.
std::vector<pid_t> StartLoad(int seconds) {
  std::vector<pid_t> pids;
  for (int i = 0; i < 2; ++i) {
    pid_t p = fork();
    if (p == 0) {
      alarm(static_cast<unsigned>(seconds));
      volatile std::uint64_t x = 0;
      for (;;) x = x + 1;
    }
    pids.push_back(p);
  }
  return pids;
}

void StopLoad(const std::vector<pid_t>& pids) {
  for (pid_t p : pids) {
    kill(p, SIGKILL);
    waitpid(p, nullptr, 0);
  }
}

struct Result {
  int received = 0;
  double rate = 0, p50 = 0, p99 = 0, max = 0, cpuShare = 0;
  double senderRate = 0;  // datagrams of the pass over the sender's own time for it
};

Result Summarise(const std::vector<std::int64_t>& t, double idealGapNs, double cpuSeconds) {
  Result r;
  r.received = static_cast<int>(t.size());
  if (t.size() < 2) return r;
  const double span = static_cast<double>(t.back() - t.front()) / 1e9;
  r.rate = static_cast<double>(t.size() - 1) / span;
  std::vector<double> err;
  for (std::size_t i = 1; i < t.size(); ++i) err.push_back(std::abs(static_cast<double>(t[i] - t[i - 1]) - idealGapNs) / 1000.0);
  std::sort(err.begin(), err.end());
  r.p50 = err[err.size() / 2];
  r.p99 = err[err.size() * 99 / 100];
  r.max = err.back();
  r.cpuShare = cpuSeconds / span;
  return r;
}

Result RunWorker(std::intptr_t adapter, unsigned rxIndex, const std::string& path, double idealGapNs) {
  ResetTransmissionState();
  SetTransmissionDefaults();
  g_nPolicy = 1;
  std::strncpy(g_szFilePath, path.c_str(), kFilePathSize - 1);
  MeasureBinFile(g_szFilePath);
  g_pfnPassDone = StopAfterOnePass;
  const int fd = OpenTimestampedListener(rxIndex);
  const double cpu0 = ProcessCpu(), self0 = ThreadCpu();
  const std::int64_t begin = platform::CounterNow();
  auto worker = platform::StartWorkerThread(TransmissionThreadProc, adapter, platform::ThreadPriority::Normal);
  const std::vector<std::int64_t> times = Collect(fd, kDatagrams);
  worker->Join();
  const double cpu = (ProcessCpu() - cpu0) - (ThreadCpu() - self0);
  close(fd);
  Result r = Summarise(times, idealGapNs, cpu);
  // The pass began after the whole-file CRC (a few ms at most for this file).
  r.senderRate = kDatagrams * 1e9 / static_cast<double>(g_passEnd.load() - begin);
  return r;
}

// The old design's loop: build, send, then spin 1 ms on the counter, at the lowest priority.
Result RunBusyWaitPeer(std::uint32_t srcAddr, unsigned rxIndex, double idealGapNs, double maxSeconds) {
  const int fd = OpenTimestampedListener(rxIndex);
  std::atomic<bool> stop{false};
  std::atomic<double> cpu{0};
  std::thread peer([&] {
    setpriority(PRIO_PROCESS, 0, 19);
    const double c0 = ThreadCpu();
    platform::Socket s = platform::OpenUdpSocket();
    platform::SetMulticastInterface(s, srcAddr);
    platform::SetMulticastLoop(s, 0);
    std::vector<std::uint8_t> chunk(1024, 0x5A);
    SDatagramHeader h{};
    const std::int64_t freq = platform::CounterFrequency();
    for (int i = 0; i < kDatagrams && !stop; ++i) {
      BuildDatagram(chunk.data(), h, 1024);
      platform::SendTo(s, g_aDatagram, kDatagramSize, platform::InetAddr(kGroupAddress),
                       platform::HostToNet16(kUpgradePort));
      const std::int64_t start = platform::CounterNow();
      while ((platform::CounterNow() - start) * 1000 / freq < 1) {
      }
    }
    platform::CloseSocket(s);
    cpu = ThreadCpu() - c0;
  });
  std::vector<std::int64_t> times;
  const std::int64_t end = platform::CounterNow() + static_cast<std::int64_t>(maxSeconds * 1e9);
  std::thread stopper([&] {
    while (!stop && platform::CounterNow() < end) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    stop = true;
  });
  times = Collect(fd, kDatagrams);
  stop = true;
  peer.join();
  stopper.join();
  close(fd);
  return Summarise(times, idealGapNs, cpu);
}

// Mean time of one datagram's work without the pause: chunk read, build and send, with a
// device listening on v1 as during the runs (its delivery is part of the cost of a send).
double PerDatagramWorkNs(std::uint32_t srcAddr, unsigned rxIndex, const std::string& path) {
  const int fd = OpenTimestampedListener(rxIndex);
  std::thread drain([fd] { Collect(fd, 1 << 30); });
  platform::Socket s = platform::OpenUdpSocket();
  platform::SetMulticastInterface(s, srcAddr);
  platform::SetMulticastLoop(s, 0);
  std::FILE* f = std::fopen(path.c_str(), "rb");
  SDatagramHeader h{};
  const int n = 2000;
  const std::int64_t t0 = platform::CounterNow();
  for (int i = 0; i < n; ++i) {
    ReadChunk(f, static_cast<std::uint32_t>(i) * 1024, g_aChunk, 1024);
    BuildDatagram(g_aChunk, h, 1024);
    platform::SendTo(s, g_aDatagram, kDatagramSize, platform::InetAddr(kGroupAddress), platform::HostToNet16(kUpgradePort));
    // Spaced out like the real stream, so that the listener sleeps between datagrams.
    const std::int64_t until = platform::CounterNow() + 200000;
    while (platform::CounterNow() < until) {
    }
  }
  const double ns = static_cast<double>(platform::CounterNow() - t0) / n - 200000;
  std::fclose(f);
  platform::CloseSocket(s);
  drain.join();  // ends a second after the last datagram
  close(fd);
  return ns;
}

void Print(const char* label, const Result& r, double idealRate) {
  std::printf("  %-46s %5d received  %7.1f datagrams/s (%6.2f%% of ideal)  gap error p50 %6.1f us  p99 %7.1f us"
              "  max %8.1f us  CPU %5.1f%% of a core\n",
              label, r.received, r.rate, 100.0 * r.rate / idealRate, r.p50, r.p99, r.max, 100.0 * r.cpuShare);
  if (r.senderRate > 0)
    std::printf("  %-46s %7.1f datagrams/s (%6.2f%% of ideal) by the sender's own clock, CRC included\n", "",
                r.senderRate, 100.0 * r.senderRate / idealRate);
}

}  // namespace

int main() {
  std::vector<platform::AdapterInfo> all;
  platform::ListAdapters(all);
  std::intptr_t tx = -1;
  unsigned rx = 0;
  std::uint32_t txAddr = 0;
  for (std::size_t i = 0; i < all.size() && i < 10; ++i) {
    if (all[i].name == "v0") {
      tx = static_cast<std::intptr_t>(i);
      txAddr = platform::InetAddr(all[i].ipv4.c_str());
    }
    if (all[i].name == "v1") rx = all[i].index;
  }
  if (tx < 0 || rx == 0) {
    std::fprintf(stderr, "bench_pacing: run it inside the test segment: tests/e2e/netns.sh %s\n", "bench_pacing");
    return 2;
  }
  const std::string path = "/tmp/bench-pacing-" + std::to_string(getpid()) + ".bin";
  {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::vector<std::uint8_t> chunk(1024);
    for (int i = 0; i < kDatagrams; ++i) {
      std::fill(chunk.begin(), chunk.end(), static_cast<std::uint8_t>(i));
      std::fwrite(chunk.data(), 1, chunk.size(), f);
    }
    std::fclose(f);
  }
  const double workNs = PerDatagramWorkNs(txAddr, rx, path);
  const double idealGapNs = 1e6 + workNs;
  const double idealRate = 1e9 / idealGapNs;
  std::printf("Pacing of %d datagrams, 1 ms pause; per-datagram work %.1f us, so the ideal is %.1f datagrams/s\n",
              kDatagrams, workNs / 1000, idealRate);

  Print("worker, idle machine", RunWorker(tx, rx, path, idealGapNs), idealRate);
  Print("peer: lowest-priority busy-wait, idle", RunBusyWaitPeer(txAddr, rx, idealGapNs, 8), idealRate);
  {
    auto load = StartLoad(30);
    Print("worker, two CPU-bound programs running", RunWorker(tx, rx, path, idealGapNs), idealRate);
    StopLoad(load);
  }
  {
    auto load = StartLoad(30);
    Print("peer: busy-wait, two CPU-bound programs (5 s)", RunBusyWaitPeer(txAddr, rx, idealGapNs, 5), idealRate);
    StopLoad(load);
  }
  std::remove(path.c_str());
  return 0;
}
