// The device simulator's checks, fed with datagrams built the way the sender builds them.
#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "tools/devsim/receiver.h"
#include "tools/devsim/summary.h"
#include "transmit/crc32.h"
#include "transmit/datagram.h"
#include "transmit/state.h"

namespace {

using Datagram = std::vector<std::uint8_t>;

// The datagrams of one pass of `file`, as the send loop builds them (with another file CRC
// when `crc` is given).
std::vector<Datagram> Pass(const std::vector<std::uint8_t>& file, std::uint16_t force = 0,
                           std::optional<std::uint32_t> crc = std::nullopt) {
  SDatagramHeader h{};
  h.dwMagic = kDatagramMagic;
  h.byImageType = 1;
  h.byPolicy = 1;
  h.wForceFlag = force;
  h.dwTotalLen = static_cast<std::uint32_t>(file.size());
  h.dwPacketCount = DatagramCount(h.dwTotalLen);
  h.dwFileCrc = crc.value_or(Crc32NoFinalXor(file.data(), h.dwTotalLen));
  std::vector<Datagram> out;
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
  EXPECT_EQ(r.PassesSeen(), 2u);
  // Pass 1 lost 1, 4 and 7 within what it heard and 10 after its last datagram.
  ASSERT_EQ(r.Passes().size(), 2u);
  EXPECT_EQ(r.Passes()[0].lost, 4u);
  EXPECT_EQ(r.Passes()[0].received, 7u);
  EXPECT_EQ(r.Passes()[1].lost, 0u);
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

// Rewrites a 32-bit field and seals the datagram with a right header CRC again.
Datagram With(Datagram d, std::size_t offset, std::uint32_t value) {
  StoreLE32(d.data() + offset, value);
  const std::uint32_t len = std::min<std::uint32_t>(LoadLE32(d.data() + kOffDataLen), 1024);
  StoreLE32(d.data(), Crc32NoFinalXor(d.data() + 4, len + 32));
  return d;
}

// Fields rewritten with a valid CRC: a device must still refuse what disagrees with the
// stream or with itself, and never read past the datagram for a length it announces.
TEST(DeviceReceiver, RefusesInconsistentFieldsWithValidCrc) {
  const auto file = File(3000);
  const auto pass = Pass(file);
  struct Case {
    const char* what;
    std::size_t offset;
    std::uint32_t value;
    std::uint64_t ReceiverStats::*counter;
  };
  const Case cases[] = {
      {"number past the count", kOffPacketNo, 3, &ReceiverStats::badNumber},
      {"data length above 1024", kOffDataLen, 5000, &ReceiverStats::badDataLength},
      {"short first chunk", kOffDataLen, 1000, &ReceiverStats::badDataLength},
      {"total length of another count", kOffTotalLen, 4000, &ReceiverStats::badStream},
      {"count of another total length", kOffPacketCount, 4, &ReceiverStats::badStream},
      {"count 0", kOffPacketCount, 0, &ReceiverStats::badStream},
      {"magic", kOffMagic, 0xB0A555ABu, &ReceiverStats::badMagic},
      {"other file CRC: another stream", kOffFileCrc, 1, &ReceiverStats::otherStream},
  };
  for (const Case& c : cases) {
    DeviceReceiver r(1 << 20);
    r.Feed(pass[1].data(), pass[1].size());  // the device's stream
    const Datagram d = With(pass[0], c.offset, c.value);
    r.Feed(d.data(), d.size());
    EXPECT_EQ(r.Stats().*c.counter, 1u) << c.what;
    EXPECT_EQ(r.Stats().accepted, 1u) << c.what;
    EXPECT_EQ(r.TotalLength(), 3000u) << c.what;
  }
}

// Streams no sender sends, each datagram with a right CRC: never taken, whatever comes first.
TEST(DeviceReceiver, NeverTakesAStreamThatCannotBe) {
  const auto empty = Pass({});  // count 0, length 0, file CRC 0xFFFFFFFF
  ASSERT_EQ(empty.size(), 0u);
  SDatagramHeader h{};
  h.dwMagic = kDatagramMagic;
  h.byImageType = 1;
  h.dwFileCrc = 0xFFFFFFFFu;
  BuildDatagram(nullptr, h, 0);
  const Datagram emptyStream(g_aDatagram, g_aDatagram + kDatagramSize);
  const auto pass = Pass(File(3000));
  const struct {
    const char* what;
    Datagram d;
    std::uint32_t limit;
  } cases[] = {
      {"empty stream", emptyStream, 1 << 20},
      {"count above what the total gives", With(pass[0], kOffPacketCount, 5), 1 << 20},
      {"total above what the count gives", With(pass[0], kOffTotalLen, 5000), 1 << 20},
      {"stream above the size limit", pass[0], 2048},
  };
  for (const auto& c : cases) {
    DeviceReceiver r(c.limit);
    for (int i = 0; i < 20; ++i) r.Feed(c.d.data(), c.d.size());
    EXPECT_FALSE(r.Locked()) << c.what;
    EXPECT_FALSE(r.Complete()) << c.what;
    EXPECT_EQ(r.Stats().badStream, 20u) << c.what;
    EXPECT_TRUE(r.Streams().empty()) << c.what;
  }
}

// Which stream the device ends with, fed a sequence of datagrams of three streams.
TEST(DeviceReceiver, StartsOverOnlyWhenAnotherStreamKeepsArriving) {
  const auto oldFile = File(11 * 1024), newFile = File(20 * 1024 + 5), thirdFile = File(15 * 1024);
  const auto oldPass = Pass(oldFile), newPass = Pass(newFile), thirdPass = Pass(thirdFile);
  using Step = std::pair<char, std::uint32_t>;  // stream ('o', 'n', 't') and datagram number
  auto run = [](char s, std::uint32_t from, std::uint32_t to) {
    std::vector<Step> v;
    for (std::uint32_t i = from; i < to; ++i) v.emplace_back(s, i);
    return v;
  };
  auto join = [](std::initializer_list<std::vector<Step>> parts) {
    std::vector<Step> v;
    for (const auto& p : parts) v.insert(v.end(), p.begin(), p.end());
    return v;
  };
  const std::uint32_t k = DeviceReceiver::kSwitchAfter;
  std::vector<Step> turns;  // n0 t0 n1 t1 ...: neither makes a run
  for (std::uint32_t i = 0; i < 2 * k; ++i) {
    turns.emplace_back('n', i);
    turns.emplace_back('t', i);
  }
  const struct {
    const char* what;
    std::vector<Step> steps;
    std::uint32_t switches;
    char stream;  // the device's stream at the end
    bool complete;
  } cases[] = {
      {"old stopped half way, new sent for two passes", join({run('o', 0, 5), run('n', 0, 21), run('n', 0, 21)}), 1,
       'n', true},
      {"a stray of the old amid the new", join({run('n', 0, 10), {{'o', 3}}, run('n', 10, 21)}), 0, 'n', true},
      {"a stale datagram first, then the new for two passes", join({{{'o', 3}}, run('n', 0, 21), run('n', 0, 21)}), 1,
       'n', true},
      {"one short of the run, broken by the own stream",
       join({run('o', 0, 2), run('n', 0, k - 1), {{'o', 2}}, run('n', k - 1, 2 * k - 2)}), 0, 'o', false},
      {"exactly the run", join({run('o', 0, 2), run('n', 0, k)}), 1, 'n', false},
      {"two other streams taking turns", join({run('o', 0, 1), turns, run('o', 1, 11)}), 0, 'o', true},
      {"a one-datagram stream repeating is a run", join({run('o', 0, 3), std::vector<Step>(k, Step{'s', 0})}), 1, 's',
       true},
  };
  const auto single = Pass(File(100));
  for (const auto& c : cases) {
    DeviceReceiver r(1 << 20);
    for (const auto& [s, no] : c.steps) {
      const auto& pass = s == 'o' ? oldPass : s == 'n' ? newPass : s == 't' ? thirdPass : single;
      r.Feed(pass[no].data(), pass[no].size());
    }
    const std::uint32_t total = c.stream == 'o'   ? 11 * 1024
                                : c.stream == 'n' ? 20 * 1024 + 5
                                : c.stream == 't' ? 15 * 1024
                                                  : 100;
    EXPECT_EQ(r.Stats().switches, c.switches) << c.what;
    EXPECT_EQ(r.TotalLength(), total) << c.what;
    EXPECT_EQ(r.Complete(), c.complete) << c.what;
    EXPECT_EQ(r.FileCrcMatches(), c.complete) << c.what;
    if (c.complete && c.stream == 'n') {
      EXPECT_EQ(r.File(), newFile) << c.what;
    }
  }
}

TEST(DeviceReceiver, AWholeFileWithAWrongCrcIsCompleteButNotRight) {
  const auto file = File(2500);
  const auto pass = Pass(file, 0, 0x12345678u);
  DeviceReceiver r(1 << 20);
  for (const auto& d : pass) r.Feed(d.data(), d.size());
  EXPECT_TRUE(r.Complete());
  EXPECT_FALSE(r.FileCrcMatches());
  EXPECT_EQ(r.ComputedFileCrc(), Crc32NoFinalXor(file.data(), 2500));
}

// A stream of strays (each a stream of its own) is counted, not recorded without end.
TEST(DeviceReceiver, RecordsAFixedNumberOfStreams) {
  DeviceReceiver r(1 << 20);
  for (std::uint32_t i = 0; i < DeviceReceiver::kMaxStreams + 4; ++i) {
    const auto pass = Pass(File(100 + i));
    r.Feed(pass[0].data(), pass[0].size());
  }
  EXPECT_EQ(r.Streams().size(), DeviceReceiver::kMaxStreams);
  EXPECT_EQ(r.StreamsNotRecorded(), 4u);
  EXPECT_EQ(r.TotalLength(), 100u);  // single strays: the first stays the device's stream
}

TEST(DeviceSummary, JsonEscapesTheNameAndCarriesTheCounts) {
  const auto pass = Pass(File(3000));
  DeviceReceiver r(1 << 20);
  for (const auto& d : pass) r.Feed(d.data(), d.size());
  SDeviceReport report;
  report.completeSeconds = 0.25;
  const std::string json = SummaryJson("dev \"1\"\n", "", r, report);
  EXPECT_NE(json.find("\"name\":\"dev \\\"1\\\"\\u000a\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"crc_right\":true"), std::string::npos) << json;
  EXPECT_NE(json.find("\"lost_per_pass\":[0]"), std::string::npos) << json;
  EXPECT_NE(json.find("\"time_to_file_s\":0.250000"), std::string::npos) << json;
  EXPECT_EQ(json.back(), '\n');
  EXPECT_EQ(json.find('\n'), json.size() - 1);  // one line
}

}  // namespace
