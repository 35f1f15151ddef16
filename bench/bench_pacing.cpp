// Pace of the real worker: 5000 datagrams sent through TransmissionThreadProc on the private
// test segment (run it with tests/e2e/netns.sh), timed by the kernel as they arrive on v1.
// Reports datagrams/s against the ideal 1 / (1 ms + per-datagram work), the gap error, the
// shortest and longest gap and the CPU the worker used, for each scheduling mode the worker
// can get here (real time as this process; the fall-back in a child that may not have it),
// idle and beside one CPU-bound program per core. Beside it, the peer: the old design's
// busy-wait at the lowest priority, for at most a few seconds.
//   bench_pacing --listen N [PIDFILE]   only listens: the pace of another sender (the Windows
//   build under Wine), with the CPU of the processes whose ids PIDFILE holds.
#include <linux/net_tstamp.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <fstream>
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
  setsockopt(fd, SOL_SOCKET, SO_RXQ_OVFL, &one, sizeof one);  // datagrams the socket dropped
  int rcvbuf = 8 << 20;  // beyond rmem_max where the process may (root); else up to rmem_max
  if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &rcvbuf, sizeof rcvbuf) != 0)
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(kUpgradePort);
  bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  ip_mreqn m{};
  m.imr_multiaddr.s_addr = platform::InetAddr(kGroupAddress);
  m.imr_ifindex = static_cast<int>(ifIndex);
  setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &m, sizeof m);
  return fd;
}

// Kernel arrival times (ns) of up to n datagrams, or fewer when none comes for a second.
// The datagrams are taken every 10 ms, as many as have come, and the listener never waits in
// the socket: a device on another machine costs the sender nothing, and a listener blocked
// in recvmsg here would make each send wake it, which on this machine's virtual processors
// added 14-16 us to every send of a real-time sender (a wake-up on the other core).
// `dropped` is how many the socket had to drop for want of room: reported, never silently
// left out of the figures.
struct Arrivals {
  std::vector<std::int64_t> times;
  std::uint32_t dropped = 0;
};
Arrivals Collect(int fd, int n) {
  Arrivals got;
  std::vector<std::int64_t>& times = got.times;
  times.reserve(static_cast<std::size_t>(n));
  constexpr int kTakeEveryMs = 10;
  int quiet = 0;  // ms without a datagram
  std::uint8_t buf[2048];
  char control[256];
  while (static_cast<int>(times.size()) < n) {
    iovec iov{buf, sizeof buf};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    if (recvmsg(fd, &msg, MSG_DONTWAIT) < 0) {
      if (errno != EAGAIN && errno != EWOULDBLOCK) break;
      if ((quiet += kTakeEveryMs) > 1000) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(kTakeEveryMs));
      continue;
    }
    quiet = 0;
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c != nullptr; c = CMSG_NXTHDR(&msg, c))
      if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SO_RXQ_OVFL) {
        std::uint32_t total;
        std::memcpy(&total, CMSG_DATA(c), sizeof total);
        got.dropped = std::max(got.dropped, total);
      } else if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
        timespec ts;
        std::memcpy(&ts, CMSG_DATA(c), sizeof ts);
        times.push_back(static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec);
      }
  }
  return got;
}

std::atomic<std::int64_t> g_passEnd{0};

void StopAfterOnePass(std::uint32_t) {
  g_passEnd = platform::CounterNow();
  g_bSending = 0;
  g_nRunState = RUN_STOPPED;
}

int Cores() { return std::max(1, static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN))); }

// One CPU-bound program per core, each ended after at most `seconds`.
std::vector<pid_t> StartLoad(int seconds) {
  std::vector<pid_t> pids;
  for (int i = 0; i < Cores(); ++i) {
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
  double minGap = 0, maxGap = 0;  // us
  int under095 = 0;               // gaps under 0.95 ms: bursts
  std::uint32_t dropped = 0;      // lost by the listener's socket (its figures are then unsound)
  double senderRate = 0;  // datagrams of the pass over the sender's own time for it
  platform::SchedulingMode mode = platform::SchedulingMode::Normal;
};

Result Summarise(const Arrivals& a, double idealGapNs, double cpuSeconds) {
  const std::vector<std::int64_t>& t = a.times;
  Result r;
  r.dropped = a.dropped;
  r.received = static_cast<int>(t.size());
  if (t.size() < 2) return r;
  const double span = static_cast<double>(t.back() - t.front()) / 1e9;
  r.rate = static_cast<double>(t.size() - 1) / span;
  std::vector<double> err;
  r.minGap = 1e30;
  for (std::size_t i = 1; i < t.size(); ++i) {
    const double gap = static_cast<double>(t[i] - t[i - 1]);
    err.push_back(std::abs(gap - idealGapNs) / 1000.0);
    r.minGap = std::min(r.minGap, gap / 1000.0);
    r.maxGap = std::max(r.maxGap, gap / 1000.0);
    if (gap < 950000) ++r.under095;
  }
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
  const platform::SchedulingMode mode = worker->Scheduling();
  const Arrivals arrivals = Collect(fd, kDatagrams);
  worker->Join();
  const double cpu = (ProcessCpu() - cpu0) - (ThreadCpu() - self0);
  close(fd);
  Result r = Summarise(arrivals, idealGapNs, cpu);
  // The pass began after the whole-file CRC (a few ms at most for this file).
  r.senderRate = kDatagrams * 1e9 / static_cast<double>(g_passEnd.load() - begin);
  r.mode = mode;
  return r;
}

// The worker as a process without the right to real time (RLIMIT_RTPRIO 0, and not root):
// run in a child, the result passed back through a pipe.
Result RunWorkerRefusedRealtime(std::intptr_t adapter, unsigned rxIndex, const std::string& path, double idealGapNs) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  const pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    rlimit none{0, 0};
    setrlimit(RLIMIT_RTPRIO, &none);
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(1);
    const Result r = RunWorker(adapter, rxIndex, path, idealGapNs);
    (void)!write(fds[1], &r, sizeof r);
    _exit(0);
  }
  close(fds[1]);
  Result r;
  if (read(fds[0], &r, sizeof r) != static_cast<ssize_t>(sizeof r)) r = Result{};
  close(fds[0]);
  waitpid(child, nullptr, 0);
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
  const std::int64_t end = platform::CounterNow() + static_cast<std::int64_t>(maxSeconds * 1e9);
  std::thread stopper([&] {
    while (!stop && platform::CounterNow() < end) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    stop = true;
  });
  const Arrivals arrivals = Collect(fd, kDatagrams);
  stop = true;
  peer.join();
  stopper.join();
  close(fd);
  return Summarise(arrivals, idealGapNs, cpu);
}

// Median time of one datagram's work without the pause: chunk read, build and send, with a
// device listening on v1 as during the runs (its delivery is part of the cost of a send).
double PerDatagramWorkNs(std::uint32_t srcAddr, unsigned rxIndex, const std::string& path) {
  const int fd = OpenTimestampedListener(rxIndex);
  std::thread drain([fd] { Collect(fd, 1 << 30); });
  platform::Socket s = platform::OpenUdpSocket();
  platform::SetMulticastInterface(s, srcAddr);
  platform::SetMulticastLoop(s, 0);
  std::FILE* f = std::fopen(path.c_str(), "rb");
  ChunkReader reader(f);
  reader.BeginPass();
  SDatagramHeader h{};
  const int n = 2000;
  // The median of each datagram's own time: a datagram preempted by another program on a
  // loaded machine does not count as work.
  std::vector<std::int64_t> each;
  for (int i = 0; i < n; ++i) {
    const std::int64_t t0 = platform::CounterNow();
    reader.Chunk(static_cast<std::uint32_t>(i) * 1024, g_aChunk, 1024);
    BuildDatagram(g_aChunk, h, 1024);
    platform::SendTo(s, g_aDatagram, kDatagramSize, platform::InetAddr(kGroupAddress), platform::HostToNet16(kUpgradePort));
    each.push_back(platform::CounterNow() - t0);
    // Spaced out like the real stream, so that the listener sleeps between datagrams.
    const std::int64_t until = platform::CounterNow() + 200000;
    while (platform::CounterNow() < until) {
    }
  }
  std::nth_element(each.begin(), each.begin() + n / 2, each.end());
  const double ns = static_cast<double>(each[n / 2]);
  std::fclose(f);
  platform::CloseSocket(s);
  drain.join();  // ends a second after the last datagram
  close(fd);
  return ns;
}

void Print(const std::string& label, const Result& r, double idealRate) {
  std::printf("  %-46s %5d received  %7.1f datagrams/s (%6.2f%% of ideal)  gap error p50 %6.1f us  p99 %7.1f us"
              "  gaps %7.1f to %8.1f us (%d under 950 us)  CPU %5.1f%% of a core\n",
              label.c_str(), r.received, r.rate, 100.0 * r.rate / idealRate, r.p50, r.p99, r.minGap, r.maxGap,
              r.under095, 100.0 * r.cpuShare);
  if (r.dropped > 0) std::printf("  %-46s %u datagram(s) dropped by the listener's socket: the figures above miss them\n", "", r.dropped);
  if (r.senderRate > 0)
    std::printf("  %-46s %7.1f datagrams/s (%6.2f%% of ideal) by the sender's own clock, CRC included\n", "",
                r.senderRate, 100.0 * r.senderRate / idealRate);
}

}  // namespace

// Processor seconds (user + system) of the processes listed in the file, from /proc.
double CpuOfListed(const std::string& pidFile) {
  std::ifstream in(pidFile);
  double total = 0;
  long pid = 0;
  while (in >> pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const std::size_t close = line.rfind(')');
    if (close == std::string::npos) continue;
    std::vector<std::string> fields;
    std::string f;
    for (std::size_t i = close + 2; i <= line.size(); ++i) {
      if (i == line.size() || line[i] == ' ') {
        fields.push_back(f);
        f.clear();
      } else {
        f += line[i];
      }
    }
    // utime and stime are fields 14 and 15 of the line, 12 and 13 after the name.
    if (fields.size() > 12) total += (std::stod(fields[11]) + std::stod(fields[12])) / static_cast<double>(sysconf(_SC_CLK_TCK));
  }
  return total;
}

// Listens on v1 for n datagrams of another sender; the ideal is 1 ms + the work measured here.
int Listen(unsigned rx, int n, const std::string& pidFile) {
  const int fd = OpenTimestampedListener(rx);
  // The first datagram, then the processor time of the listed processes from there on.
  Arrivals arrivals = Collect(fd, 1);
  for (int waited = 0; arrivals.times.empty() && waited < 60; ++waited) arrivals = Collect(fd, 1);
  if (arrivals.times.empty()) {
    std::fprintf(stderr, "bench_pacing: nothing arrived\n");
    return 1;
  }
  const double cpu0 = pidFile.empty() ? 0 : CpuOfListed(pidFile);
  const Arrivals rest = Collect(fd, n - 1);
  const double cpu = pidFile.empty() ? 0 : CpuOfListed(pidFile) - cpu0;
  arrivals.times.insert(arrivals.times.end(), rest.times.begin(), rest.times.end());
  arrivals.dropped = std::max(arrivals.dropped, rest.dropped);  // the socket's count runs on
  close(fd);
  const Result r = Summarise(arrivals, 1e6, cpu);
  std::printf("listened: %d received  %.1f datagrams/s  gap error p50 %.1f us  p99 %.1f us (against 1 ms)  gaps %.1f to %.1f us"
              " (%d under 950 us)  CPU %.1f%% of a core\n",
              r.received, r.rate, r.p50, r.p99, r.minGap, r.maxGap, r.under095, 100.0 * r.cpuShare);
  if (r.dropped > 0) std::printf("listened: %u datagram(s) dropped by the listener's socket: the figures above miss them\n", r.dropped);
  return 0;
}

int main(int argc, char** argv) {
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
  if (argc >= 3 && std::strcmp(argv[1], "--listen") == 0) return Listen(rx, std::atoi(argv[2]), argc >= 4 ? argv[3] : "");
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

  // The file must be readable by the child that runs without the right to real time.
  chmod(path.c_str(), 0644);
  std::printf("%d cores; the busy runs have one CPU-bound program per core\n", Cores());
  for (int refused = 0; refused < 2; ++refused) {
    for (int busy = 0; busy < 2; ++busy) {
      std::vector<pid_t> load;
      if (busy) load = StartLoad(30);
      const Result r = refused ? RunWorkerRefusedRealtime(tx, rx, path, idealGapNs) : RunWorker(tx, rx, path, idealGapNs);
      StopLoad(load);
      Print(std::string("worker (") + platform::SchedulingModeName(r.mode) + "), " + (busy ? "busy machine" : "idle"), r,
            idealRate);
    }
  }
  Print("peer: lowest-priority busy-wait, idle", RunBusyWaitPeer(txAddr, rx, idealGapNs, 8), idealRate);
  {
    auto load = StartLoad(30);
    Print("peer: busy-wait, busy machine (5 s)", RunBusyWaitPeer(txAddr, rx, idealGapNs, 5), idealRate);
    StopLoad(load);
  }
  std::remove(path.c_str());
  return 0;
}
