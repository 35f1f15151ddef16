// upgrade-devsim: behaves like one device on one segment. Joins 224.0.0.119:13456 on a named
// interface and hears only that interface, checks every datagram, collects the file of one
// stream across passes, verifies its CRC, writes it and prints what it saw.
#include <CLI/CLI.hpp>

#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "platform/adapters.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/socket.h"
#include "res/version.h"
#include "tools/common/outfile.h"
#include "tools/devsim/receiver.h"
#include "tools/devsim/summary.h"
#include "transmit/datagram.h"
#include "transmit/sender.h"

namespace {

std::atomic<int> g_interrupted{0};
extern "C" void OnSignal(int sig) { g_interrupted = sig; }

// The longest wait a test can mean: one day.
constexpr double kMaxTimeoutSeconds = 86400;

struct Options {
  std::string iface;
  std::string out;
  std::string name;
  double timeout = 60;
  double drop = 0;
  unsigned seed = 1;
  unsigned maxMiB = 512;
  bool json = false;
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

double Seconds(std::int64_t ticks, std::int64_t freq) { return static_cast<double>(ticks) / static_cast<double>(freq); }

int Run(const Options& o) {
  // The output is made (as a temporary file beside it) before listening, so a folder that
  // is missing or cannot be written is found at once, not after the whole reception.
  tools::COutputFile out;
  std::string error;
  if (!o.out.empty() && !out.Open(o.out, &error)) {
    std::fprintf(stderr, "upgrade-devsim: --out: %s\n", error.c_str());
    return 2;
  }
  unsigned ifIndex = 0;
  if (!FindInterfaceIndex(o.iface, ifIndex)) {
    std::fprintf(stderr, "upgrade-devsim: no interface \"%s\"\n", o.iface.c_str());
    return 2;
  }
  const std::uint32_t group = platform::InetAddr(kGroupAddress);
  std::uint8_t major = 0, minor = 0;
  if (platform::SocketStartup(2, 2, &major, &minor) != 0) {
    std::fprintf(stderr, "upgrade-devsim: the socket layer cannot start\n");
    return 1;
  }
  // Only this interface: no datagrams of memberships other sockets hold on other
  // interfaces, the membership on this interface's index, and the arrival interface and
  // destination of every datagram checked.
  platform::Socket s = platform::OpenUdpSocket();
  if (s == platform::kInvalidSocket || platform::SetReuseAddress(s, 1) != 0 ||
      platform::SetMulticastAll(s, 0) != 0 || platform::SetPacketInfo(s, 1) != 0 ||
      platform::BindIPv4(s, 0, platform::HostToNet16(kUpgradePort)) != 0 ||
      platform::JoinMulticastGroupOnIndex(s, group, ifIndex) != 0) {
    std::fprintf(stderr, "upgrade-devsim: cannot listen on %s:%u on %s\n", kGroupAddress, kUpgradePort,
                 o.iface.c_str());
    if (s != platform::kInvalidSocket) platform::CloseSocket(s);
    platform::SocketCleanup();
    return 1;
  }
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  std::fprintf(stderr, "%s: listening on %s (%s:%u)%s\n", o.name.c_str(), o.iface.c_str(), kGroupAddress,
               kUpgradePort, o.drop > 0 ? ", dropping on purpose" : "");

  DeviceReceiver receiver(o.maxMiB * 1024u * 1024u);
  SDeviceReport report;
  std::mt19937 rng(o.seed);
  std::bernoulli_distribution drop(o.drop);
  std::vector<std::uint8_t> buf(2048);
  const std::int64_t freq = platform::CounterFrequency();
  const std::int64_t start = platform::CounterNow();
  // At most a day of ticks: no overflow for any counter frequency up to 10^14 per second.
  const std::int64_t end = start + static_cast<std::int64_t>(std::ceil(o.timeout * static_cast<double>(freq)));
  std::int64_t streamStart = 0;
  while (!receiver.Complete() && g_interrupted.load() == 0 && platform::CounterNow() < end) {
    platform::SReceiveInfo info;
    const long n = platform::ReceiveWithInfo(s, buf.data(), buf.size(), 100, &info);
    if (n <= 0) continue;
    if (info.ifaceIndex != ifIndex || info.toAddr != group) {
      ++report.otherInterface;  // not on this segment's group: never seen by this device
      continue;
    }
    if (o.drop > 0 && drop(rng)) {
      ++report.dropped;
      continue;
    }
    const std::int64_t now = platform::CounterNow();
    if (report.firstDatagramSeconds < 0) report.firstDatagramSeconds = Seconds(now - start, freq);
    const std::uint32_t heldBefore = receiver.DatagramCount() - receiver.ChunksMissing();
    const auto result = receiver.Feed(buf.data(), static_cast<std::size_t>(n));
    if (result == DeviceReceiver::EFeed::kStarted || result == DeviceReceiver::EFeed::kSwitched) streamStart = now;
    if (result == DeviceReceiver::EFeed::kSwitched)
      std::fprintf(stderr,
                   "%s: another stream keeps arriving (%u bytes, %u datagrams, file CRC 0x%08X): starting over on "
                   "it, %u chunk(s) of the earlier one dropped\n",
                   o.name.c_str(), receiver.TotalLength(), receiver.DatagramCount(), receiver.AnnouncedFileCrc(),
                   heldBefore);
    if (receiver.Complete()) report.completeSeconds = Seconds(now - streamStart, freq);
  }
  platform::CloseSocket(s);
  platform::SocketCleanup();
  report.interrupted = g_interrupted.load() != 0;

  if (receiver.FileCrcMatches() && !o.out.empty()) {
    const auto& file = receiver.File();
    report.written = out.Write(file.data(), file.size()) && out.Commit(file.size(), &error);
    if (!report.written) std::fprintf(stderr, "upgrade-devsim: %s\n", error.c_str());
  }
  out.Discard();
  const std::string text = o.json ? SummaryJson(o.name, o.out, receiver, report) : SummaryText(o.name, o.out, receiver, report);
  std::fputs(text.c_str(), stdout);
  std::fflush(stdout);
  if (!receiver.FileCrcMatches()) return 1;
  return o.out.empty() || report.written ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  argv = platform::Utf8Arguments(argc, argv);
  Options o;
  CLI::App app{"Simulated upgrade device: receives the multicast upgrade stream on one interface only,\n"
               "checks every datagram, collects the file of one stream across passes and verifies it.\n"
               "Exit status 0 when the file arrived whole with its CRC right (and was written), 1 when\n"
               "not, 2 for a usage error."};
  app.allow_windows_style_options(false);  // "/path" is a path on every system
  app.failure_message([](const CLI::App*, const CLI::Error& e) { return "upgrade-devsim: " + std::string(e.what()) + "\n"; });
  app.set_version_flag("--version", res::VersionLine("upgrade-devsim"));
  app.add_option("--interface,-i", o.iface, "Interface to listen on (its system name, e.g. eth0)")->required();
  app.add_option("--out,-o", o.out, "Write the received file here once it is whole and verified (a regular or new file)");
  app.add_option("--timeout", o.timeout, "Give up after this many seconds, above 0 and at most 86400 (default 60)")
      ->check([](const std::string& text) -> std::string {
        double v = 0;
        const bool read = CLI::detail::lexical_cast(text, v);
        // Written so that NaN fails too.
        if (read && v > 0 && v <= kMaxTimeoutSeconds) return {};
        return "takes seconds above 0 and at most 86400, not \"" + text + "\"";
      });
  app.add_option("--drop", o.drop, "Drop this share of datagrams on purpose, 0 to 1 (loss injection)")
      ->check([](const std::string& text) -> std::string {
        double v = 0;
        if (CLI::detail::lexical_cast(text, v) && v >= 0 && v <= 1) return {};
        return "takes a share from 0 to 1, not \"" + text + "\"";
      });
  app.add_option("--seed", o.seed, "Seed of the loss injection (default 1)");
  app.add_option("--name", o.name, "Name to print in the summary (default: devsim-INTERFACE)");
  app.add_option("--max-mib", o.maxMiB, "Largest file accepted, in MiB (default 512)")->check(CLI::Range(1u, 2047u));
  app.add_flag("--json", o.json, "Print the summary as one JSON object");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : 2;
  }
  if (o.name.empty()) o.name = "devsim-" + o.iface;
  return Run(o);
}
