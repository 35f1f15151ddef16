// The device simulator's checks, fed with datagrams built the way the sender builds them.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "tools/devsim/receiver.h"
#include "transmit/crc32.h"
#include "transmit/datagram.h"
#include "transmit/state.h"

namespace {

// The datagrams of one pass of `file`, as the send loop builds them.
std::vector<std::vector<std::uint8_t>> Pass(const std::vector<std::uint8_t>& file, std::uint16_t force = 0) {
  SDatagramHeader h{};
  h.dwMagic = kDatagramMagic;
  h.byImageType = 1;
  h.byPolicy = 1;
  h.wForceFlag = force;
  h.dwTotalLen = static_cast<std::uint32_t>(file.size());
  h.dwPacketCount = DatagramCount(h.dwTotalLen);
  h.dwFileCrc = Crc32NoFinalXor(file.data(), h.dwTotalLen);
  std::vector<std::vector<std::uint8_t>> out;
  for (std::uint32_t no = 0; no < h.dwPacketCount; ++no) {
    const std::uint32_t len = std::min<std::uint32_t>(1024, h.dwTotalLen - no * 1024);
    h.dwPacketNo = no;
    h.dwDataLen = len;
    BuildDatagram(file.data() + no * 1024, h, len);
    out.emplace_back(g_aDatagram, g_aDatagram + kDatagramSize);
  }
  return out;
}

std::vector<std::uint8_t> File(std::size_t n) {
  std::mt19937 rng(static_cast<unsigned>(n));
  std::vector<std::uint8_t> f(n);
  for (auto& b : f) b = static_cast<std::uint8_t>(rng());
  return f;
}

TEST(DeviceReceiver, CollectsAcrossPassesWithLoss) {
  const auto file = File(10 * 1024 + 300);
  DeviceReceiver r(1 << 20);
  auto pass = Pass(file, 1);
  // First pass loses every third datagram; the second fills the gaps.
  for (std::size_t i = 0; i < pass.size(); ++i)
    if (i % 3 != 1) r.Feed(pass[i].data(), pass[i].size());
  EXPECT_FALSE(r.Complete());
  EXPECT_EQ(r.ChunksMissing(), 4u);
  for (const auto& d : pass) r.Feed(d.data(), d.size());
  ASSERT_TRUE(r.Complete());
  EXPECT_TRUE(r.FileCrcMatches());
  EXPECT_EQ(r.File(), file);
  EXPECT_EQ(r.Stats().duplicates, 7u);
  EXPECT_EQ(r.Stats().passesSeen, 2u);
  EXPECT_EQ(r.ForceFlag(), 1);
  EXPECT_EQ(r.Policy(), 1);
}

TEST(DeviceReceiver, RejectsDamagedDatagrams) {
  const auto file = File(3000);
  const auto pass = Pass(file);
  struct Case {
    const char* what;
    std::size_t offset;  // byte to change; kDatagramSize: truncate instead
    std::uint8_t value;
    std::uint64_t ReceiverStats::*counter;
  };
  const Case cases[] = {
      {"data byte", 100, 0x5A, &ReceiverStats::crcFailures},
      {"header CRC", 0, 0x00, &ReceiverStats::crcFailures},
      {"size", kDatagramSize, 0, &ReceiverStats::wrongSize},
  };
  for (const Case& c : cases) {
    DeviceReceiver r(1 << 20);
    std::vector<std::uint8_t> d = pass[0];
    if (c.offset == kDatagramSize) {
      d.resize(1059);
    } else {
      d[c.offset] ^= static_cast<std::uint8_t>(c.value == 0 ? 0xFF : c.value);
    }
    r.Feed(d.data(), d.size());
    EXPECT_EQ(r.Stats().*c.counter, 1u) << c.what;
    EXPECT_EQ(r.Stats().accepted, 0u) << c.what;
  }
}

// Fields rewritten with a valid CRC: a device must still refuse what disagrees with the
// stream, and never read past the datagram for a length it announces.
TEST(DeviceReceiver, RefusesInconsistentFieldsWithValidCrc) {
  const auto file = File(3000);
  const auto pass = Pass(file);
  struct Case {
    const char* what;
    std::size_t offset;
    std::uint32_t value;
  };
  const Case cases[] = {
      {"number past the count", kOffPacketNo, 3},
      {"data length above 1024", kOffDataLen, 5000},
      {"short first chunk", kOffDataLen, 1000},
      {"other total length", kOffTotalLen, 4000},
      {"other file CRC", kOffFileCrc, 1},
  };
  for (const Case& c : cases) {
    DeviceReceiver r(1 << 20);
    r.Feed(pass[1].data(), pass[1].size());  // locks the stream
    std::vector<std::uint8_t> d = pass[0];
    StoreLE32(d.data() + c.offset, c.value);
    const std::uint32_t len = std::min<std::uint32_t>(LoadLE32(d.data() + kOffDataLen), 1024);
    StoreLE32(d.data(), Crc32NoFinalXor(d.data() + 4, len + 32));
    r.Feed(d.data(), d.size());
    EXPECT_EQ(r.Stats().inconsistent, 1u) << c.what;
    EXPECT_EQ(r.Stats().accepted, 1u) << c.what;
  }
}

TEST(DeviceReceiver, RefusesAStreamLargerThanItsLimit) {
  const auto file = File(5000);
  const auto pass = Pass(file);
  DeviceReceiver r(4096);
  r.Feed(pass[0].data(), pass[0].size());
  EXPECT_FALSE(r.Locked());
  EXPECT_EQ(r.Stats().inconsistent, 1u);
}

}  // namespace
