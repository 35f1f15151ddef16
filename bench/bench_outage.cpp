// The sender while its adapter is gone: the real worker sends a file from v0 on the private
// test segment (run it with tests/e2e/netns.sh); v0 is deleted for 10 s and made again under
// the same name. Reports the process's share of a core while it waits, and the time from
// v0's return to the first datagram sent from it, once waking on the system's notice of
// adapter changes and once on the back-off alone. Goals: under 5% of a core; back within
// 1 s with notices, 2 s without.
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>

#include "platform/clock.h"
#include "platform/thread.h"
#include "transmit/datagram.h"
#include "transmit/reconnect.h"
#include "transmit/sender.h"
#include "transmit/state.h"

namespace {

constexpr int kOutageSeconds = 10;

double ProcessCpu() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double Now() { return static_cast<double>(platform::CounterNow()) / static_cast<double>(platform::CounterFrequency()); }

bool Sh(const char* command) { return std::system(command) == 0; }

// v0 as tests/e2e/netns.sh makes it: on br0, 10.77.0.1/24.
bool MakeSender() {
  return Sh("ip link add v0p type veth peer name v0 && ip link set v0p master br0 && ip link set v0p up && "
            "ip addr add 10.77.0.1/24 dev v0 && ip link set v0 up");
}

bool WaitForDatagrams(std::uint64_t after, double limitSeconds) {
  const double end = Now() + limitSeconds;
  while (g_qwDatagramsSent.load() <= after) {
    if (Now() > end) return false;
    platform::SleepMs(0);
  }
  return true;
}

bool Run(bool notices) {
  g_bWakeOnAdapterNotices = notices;
  g_nRunState = RUN_STARTED;
  SetChosenAdapter({"v0", "v0"});
  auto worker = platform::StartWorkerThread(&TransmissionThreadProc, -1, platform::ThreadPriority::Normal);
  if (!worker || !WaitForDatagrams(100, 5)) {
    std::printf("the worker did not send from v0\n");
    return false;
  }
  if (!Sh("ip link del v0")) return false;
  platform::SleepMs(200);  // the worker notices and begins to wait
  const double cpu0 = ProcessCpu(), wall0 = Now();
  platform::SleepMs(kOutageSeconds * 1000);
  const double share = (ProcessCpu() - cpu0) / (Now() - wall0) * 100;
  const std::uint64_t sentBefore = g_qwDatagramsSent.load();
  const double back = Now();
  if (!MakeSender()) return false;
  const bool resumed = WaitForDatagrams(sentBefore, 10);
  const double delay = Now() - back;
  g_nRunState = RUN_STOPPED;
  g_bSending = 0;
  worker->Join();
  std::printf("%-28s waiting: %5.2f%% of a core over %d s (goal < 5%%); back %s %.3f s after v0 (goal < %d s)\n",
              notices ? "with change notices:" : "on the back-off alone:", share, kOutageSeconds,
              resumed ? "in" : "NOT within", delay, notices ? 1 : 2);
  return resumed;
}

}  // namespace

int main() {
  if (!Sh("ip link show v0 >/dev/null 2>&1 && ip link show br0 >/dev/null 2>&1")) {
    std::fprintf(stderr, "bench_outage: run it inside the private test segment: tests/e2e/netns.sh %s\n",
                 "build/linux/bench/bench_outage");
    return 77;
  }
  const std::string path = "/tmp/bench_outage_" + std::to_string(::getpid()) + ".bin";
  {
    std::mt19937 rng(7);
    std::string bytes(2000000, '\0');
    for (char& c : bytes) c = static_cast<char>(rng());
    std::ofstream(path, std::ios::binary) << bytes;
  }
  SetTransmissionDefaults();
  g_nPolicy = 1;
  std::strncpy(g_szFilePath, path.c_str(), sizeof g_szFilePath - 1);
  if (MeasureBinFile(g_szFilePath) != 0) return 1;
  const bool ok = Run(true) && Run(false);
  std::remove(path.c_str());
  return ok ? 0 : 1;
}
