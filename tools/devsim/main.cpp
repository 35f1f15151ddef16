// upgrade-devsim: behaves like one device on the segment. Joins 224.0.0.119:13456 on a named
// interface, checks every datagram, collects the file across passes, verifies its CRC,
// writes it and prints what it saw.
#include <CLI/CLI.hpp>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "platform/adapters.h"
#include "platform/clock.h"
#include "platform/socket.h"
#include "res/version.h"
#include "tools/devsim/receiver.h"
#include "transmit/datagram.h"
#include "transmit/sender.h"

namespace {

std::atomic<int> g_interrupted{0};
extern "C" void OnSignal(int sig) { g_interrupted = sig; }

struct Options {
  std::string iface;
  std::string out;
  std::string name;
  double timeout = 60;
  double drop = 0;
  unsigned seed = 1;
  unsigned maxMiB = 512;
};

bool FindInterfaceIndex(const std::string& name, unsigned& index) {
  std::vector<platform::AdapterInfo> all;
  platform::ListAdapters(all);
  for (const auto& a : all)
    if (a.name == name) {
      index = a.index;
      return true;
    }
  return false;
}

void PrintSummary(const Options& o, const DeviceReceiver& r, bool written) {
  const ReceiverStats& s = r.Stats();
  const char* verdict = r.FileCrcMatches() ? "file complete, CRC right"
                        : r.Complete()     ? "file complete, CRC WRONG"
                                           : "file incomplete";
  std::printf("%s: %s\n", o.name.c_str(), verdict);
  std::printf("  datagrams checked   %llu\n",
              static_cast<unsigned long long>(s.datagrams));
  std::printf("  wrong size          %llu\n", static_cast<unsigned long long>(s.wrongSize));
  std::printf("  CRC failures        %llu\n", static_cast<unsigned long long>(s.crcFailures));
  std::printf("  bad magic           %llu\n", static_cast<unsigned long long>(s.badMagic));
  std::printf("  inconsistent        %llu\n", static_cast<unsigned long long>(s.inconsistent));
  std::printf("  duplicates          %llu\n", static_cast<unsigned long long>(s.duplicates));
  std::printf("  passes seen         %u\n", s.passesSeen);
  std::printf("  chunks              %u of %u, %u missing\n", r.DatagramCount() - r.ChunksMissing(),
              r.DatagramCount(), r.ChunksMissing());
  std::printf("  file length         %u\n", r.TotalLength());
  if (r.Complete())
    std::printf("  file CRC            0x%08X announced, 0x%08X computed\n", r.AnnouncedFileCrc(), r.ComputedFileCrc());
  else
    std::printf("  file CRC            0x%08X announced\n", r.AnnouncedFileCrc());
  std::printf("  force flag          %u\n", r.ForceFlag());
  std::printf("  policy              %u\n", r.Policy());
  std::printf("  image type          %u\n", r.ImageType());
  if (written) std::printf("  written to          %s\n", o.out.c_str());
  std::fflush(stdout);
}

int Run(const Options& o) {
  unsigned ifIndex = 0;
  if (!FindInterfaceIndex(o.iface, ifIndex)) {
    std::fprintf(stderr, "upgrade-devsim: no interface \"%s\"\n", o.iface.c_str());
    return 2;
  }
  const std::uint32_t group = platform::InetAddr(kGroupAddress);
  std::uint8_t major = 0, minor = 0;
  if (platform::SocketStartup(2, 2, &major, &minor) != 0) {
    std::fprintf(stderr, "upgrade-devsim: the socket layer cannot start\n");
    return 2;
  }
  platform::Socket s = platform::OpenUdpSocket();
  if (s == platform::kInvalidSocket || platform::SetReuseAddress(s, 1) != 0 ||
      platform::BindIPv4(s, 0, platform::HostToNet16(kUpgradePort)) != 0 ||
      platform::JoinMulticastGroupOnIndex(s, group, ifIndex) != 0) {
    std::fprintf(stderr, "upgrade-devsim: cannot listen on %s:%u on %s\n", kGroupAddress, kUpgradePort,
                 o.iface.c_str());
    if (s != platform::kInvalidSocket) platform::CloseSocket(s);
    platform::SocketCleanup();
    return 2;
  }
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  std::fprintf(stderr, "%s: listening on %s (%s:%u)%s\n", o.name.c_str(), o.iface.c_str(), kGroupAddress,
               kUpgradePort, o.drop > 0 ? ", dropping on purpose" : "");

  DeviceReceiver receiver(o.maxMiB * 1024u * 1024u);
  std::mt19937 rng(o.seed);
  std::bernoulli_distribution drop(o.drop);
  std::vector<std::uint8_t> buf(2048);
  std::uint64_t dropped = 0;
  const std::int64_t freq = platform::CounterFrequency();
  const std::int64_t end = platform::CounterNow() + static_cast<std::int64_t>(o.timeout * static_cast<double>(freq));
  while (!receiver.Complete() && g_interrupted.load() == 0 && platform::CounterNow() < end) {
    const long n = platform::ReceiveFrom(s, buf.data(), buf.size(), 100, nullptr);
    if (n <= 0) continue;
    if (o.drop > 0 && drop(rng)) {
      ++dropped;
      continue;
    }
    receiver.Feed(buf.data(), static_cast<std::size_t>(n));
  }
  platform::CloseSocket(s);
  platform::SocketCleanup();

  bool written = false;
  if (receiver.FileCrcMatches() && !o.out.empty()) {
    std::FILE* f = std::fopen(o.out.c_str(), "wb");
    const auto& file = receiver.File();
    written = f != nullptr && std::fwrite(file.data(), 1, file.size(), f) == file.size();
    if (f != nullptr && std::fclose(f) != 0) written = false;
    if (!written) std::fprintf(stderr, "upgrade-devsim: cannot write %s\n", o.out.c_str());
  }
  PrintSummary(o, receiver, written);
  if (o.drop > 0) std::printf("  dropped on purpose  %llu\n", static_cast<unsigned long long>(dropped));
  if (!receiver.FileCrcMatches()) return 1;
  return o.out.empty() || written ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  CLI::App app{"Simulated upgrade device: receives the multicast upgrade stream on one interface,\n"
               "checks every datagram, collects the file across passes and verifies it.\n"
               "Exit status 0 when the file arrived whole with its CRC right."};
  app.allow_windows_style_options(false);  // "/path" is a path on every system
  app.set_version_flag("--version", res::VersionLine("upgrade-devsim"));
  app.add_option("--interface,-i", o.iface, "Interface to listen on (its system name, e.g. eth0)")->required();
  app.add_option("--out,-o", o.out, "Write the received file here once it is whole and verified");
  app.add_option("--timeout", o.timeout, "Give up after this many seconds (default 60)")->check(CLI::PositiveNumber);
  app.add_option("--drop", o.drop, "Drop this share of datagrams on purpose, 0 to 1 (loss injection)")
      ->check(CLI::Range(0.0, 1.0));
  app.add_option("--seed", o.seed, "Seed of the loss injection (default 1)");
  app.add_option("--name", o.name, "Name to print in the summary (default: devsim-INTERFACE)");
  app.add_option("--max-mib", o.maxMiB, "Largest file accepted, in MiB (default 512)")->check(CLI::Range(1u, 2047u));
  CLI11_PARSE(app, argc, argv);
  if (o.name.empty()) o.name = "devsim-" + o.iface;
  return Run(o);
}
