// upgrade-emit (tests only): sends hand-made upgrade datagrams into the private test segment,
// built as the sender builds them, with the stream's fields overridable - the streams no
// sender sends (count 0, a total length that disagrees with the count) and stray datagrams
// of another stream. Runs only inside tests/e2e/netns.sh.
//
//   upgrade-emit --from ADDR FILE [--to ADDR] [--first N] [--last N] [--passes P] [--count N]
//                [--total N] [--file-crc N] [--gap-ms MS]
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/socket.h"
#include "transmit/crc32.h"
#include "transmit/datagram.h"
#include "transmit/sender.h"

int main(int argc, char** argv) {
  std::string from, path, to = kGroupAddress;
  std::optional<std::uint32_t> first, last, count, total, fileCrc;
  unsigned passes = 1, gapMs = 1;
  CLI::App app{"Sends hand-made upgrade datagrams (tests only, inside the test segment)."};
  app.failure_message([](const CLI::App*, const CLI::Error& e) { return "upgrade-emit: " + std::string(e.what()) + "\n"; });
  app.add_option("--from", from, "IPv4 address of the adapter to send from")->required();
  app.add_option("FILE", path, "The file whose chunks the datagrams carry")->required()->check(CLI::ExistingFile);
  app.add_option("--to", to, "Destination address (default: the group 224.0.0.119)");
  app.add_option("--first", first, "First datagram number (default 0)");
  app.add_option("--last", last, "Last datagram number (default: the count minus 1, at least 0)");
  app.add_option("--passes", passes, "Passes over first..last (default 1)");
  app.add_option("--count", count, "Datagram count field (default: from the file's length)");
  app.add_option("--total", total, "Total length field (default: the file's length)");
  app.add_option("--file-crc", fileCrc, "File CRC field (default: the file's)");
  app.add_option("--gap-ms", gapMs, "Pause after each datagram (default 1)");
  CLI11_PARSE(app, argc, argv);

  std::ifstream in(path, std::ios::binary);
  const std::vector<std::uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  SDatagramHeader h{};
  h.dwMagic = kDatagramMagic;
  h.byImageType = kImageTypePlain;
  h.byPolicy = 1;
  h.dwTotalLen = total.value_or(static_cast<std::uint32_t>(file.size()));
  h.dwPacketCount = count.value_or(DatagramCount(static_cast<std::uint32_t>(file.size())));
  h.dwFileCrc = fileCrc.value_or(Crc32NoFinalXor(file.data(), static_cast<std::uint32_t>(file.size())));
  const std::uint32_t from0 = first.value_or(0);
  const std::uint32_t lastNo = last.value_or(h.dwPacketCount > 0 ? h.dwPacketCount - 1 : 0);

  const std::uint32_t addr = platform::InetAddr(from.c_str());
  platform::Socket s = platform::OpenUdpSocket();
  if (s == platform::kInvalidSocket || platform::SetReuseAddress(s, 1) != 0 || platform::SetMulticastInterface(s, addr) != 0 ||
      platform::SetMulticastTtl(s, 3) != 0 || platform::SetMulticastLoop(s, 0) != 0 ||
      platform::BindIPv4(s, addr, 0) != 0) {  // any port: not to hear its own unicast
    std::fprintf(stderr, "upgrade-emit: cannot send from %s\n", from.c_str());
    return 1;
  }
  const std::uint32_t dest = platform::InetAddr(to.c_str());
  unsigned long sent = 0;
  std::vector<std::uint8_t> chunk(kChunkSize);
  for (unsigned p = 0; p < passes; ++p) {
    for (std::uint32_t no = from0; no <= lastNo; ++no) {
      // The data length the stated total gives this number; the bytes are the file's.
      const std::uint64_t at = static_cast<std::uint64_t>(no) * kChunkSize;
      const std::uint32_t len = at >= h.dwTotalLen ? 0 : static_cast<std::uint32_t>(std::min<std::uint64_t>(kChunkSize, h.dwTotalLen - at));
      std::fill(chunk.begin(), chunk.end(), 0);
      for (std::uint32_t i = 0; i < len && at + i < file.size(); ++i) chunk[i] = file[static_cast<std::size_t>(at + i)];
      h.dwPacketNo = no;
      h.dwDataLen = len;
      BuildDatagram(chunk.data(), h, len);
      if (platform::SendTo(s, g_aDatagram, kDatagramSize, dest, platform::HostToNet16(kUpgradePort)) ==
          static_cast<long>(kDatagramSize))
        ++sent;
      if (gapMs > 0) platform::SleepMs(gapMs);
      if (no == 0xFFFFFFFFu) break;
    }
  }
  platform::CloseSocket(s);
  std::printf("upgrade-emit: %lu datagram(s) sent\n", sent);
  return 0;
}
