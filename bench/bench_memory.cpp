// Peak resident size while the real worker sends a 150 MiB file (run it inside the test
// segment: tests/e2e/netns.sh build/linux/bench/bench_memory): the whole-file CRC, then
// two seconds of the carousel. Beside it, in a child process, the peer: the old design's
// CRC that holds the whole file in memory.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/adapters.h"
#include "platform/thread.h"
#include "transmit/crc32.h"
#include "transmit/datagram.h"
#include "transmit/sender.h"
#include "transmit/state.h"

namespace {

long PeakResidentKiB() {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  return -1;
}

// The old design's CRC: the length plus one byte allocated, the file read in one go.
long WholeFileCrcPeakKiB(const std::string& path) {
  int pipeFd[2];
  if (pipe(pipeFd) != 0) return -1;
  pid_t pid = fork();
  if (pid == 0) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    std::fseek(f, 0, SEEK_END);
    const long len = std::ftell(f);
    std::fseek(f, 0, SEEK_SET);
    auto* buf = static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(len) + 1));
    const std::size_t got = std::fread(buf, 1, static_cast<std::size_t>(len), f);
    volatile std::uint32_t crc = Crc32NoFinalXor(buf, static_cast<std::uint32_t>(got));
    (void)crc;
    std::free(buf);
    std::fclose(f);
    const long peak = PeakResidentKiB();
    if (write(pipeFd[1], &peak, sizeof peak) != sizeof peak) _exit(1);
    _exit(0);
  }
  close(pipeFd[1]);
  long peak = -1;
  if (read(pipeFd[0], &peak, sizeof peak) != sizeof peak) peak = -1;
  close(pipeFd[0]);
  waitpid(pid, nullptr, 0);
  return peak;
}

}  // namespace

int main() {
  std::vector<platform::AdapterInfo> all;
  platform::ListAdapters(all);
  std::intptr_t tx = -1;
  for (std::size_t i = 0; i < all.size() && i < 10; ++i)
    if (all[i].name == "v0") tx = static_cast<std::intptr_t>(i);
  if (tx < 0) {
    std::fprintf(stderr, "bench_memory: run it inside the test segment: tests/e2e/netns.sh bench_memory\n");
    return 2;
  }
  const std::string path = "/tmp/bench-memory-" + std::to_string(getpid()) + ".bin";
  constexpr std::size_t kSize = 150u << 20;
  {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::vector<std::uint8_t> block(1 << 20);
    for (std::size_t i = 0; i < kSize / block.size(); ++i) {
      std::memset(block.data(), static_cast<int>(i), block.size());
      std::fwrite(block.data(), 1, block.size(), f);
    }
    std::fclose(f);
  }
  const long before = PeakResidentKiB();

  ResetTransmissionState();
  SetTransmissionDefaults();
  g_nPolicy = 1;
  std::strncpy(g_szFilePath, path.c_str(), kFilePathSize - 1);
  MeasureBinFile(g_szFilePath);
  g_nRunState = RUN_STARTED;
  auto worker = platform::StartWorkerThread(TransmissionThreadProc, tx, platform::ThreadPriority::Normal);
  std::this_thread::sleep_for(std::chrono::seconds(2));
  g_bSending = 0;
  g_nRunState = RUN_STOPPED;
  worker->Join();
  const long sending = PeakResidentKiB();
  const std::uint32_t sent = g_dwPacketNo.load();
  const long peer = WholeFileCrcPeakKiB(path);
  std::remove(path.c_str());

  std::printf("Peak resident size while sending a 150 MiB file (CRC, then %u datagrams):\n", sent);
  std::printf("  before the transmission       %7.1f MiB\n", static_cast<double>(before) / 1024);
  std::printf("  worker (CRC in 1 MiB pieces)   %7.1f MiB\n", static_cast<double>(sending) / 1024);
  std::printf("  peer: whole file held for CRC %7.1f MiB  (%.1fx the worker)\n", static_cast<double>(peer) / 1024,
              static_cast<double>(peer) / static_cast<double>(sending));
  return sending < 32 * 1024 ? 0 : 1;
}
