// The send loop's file operations, the pause, the counters' wrap and the set-up refusals.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "platform/clock.h"
#include "tests/unit/temp_file.h"
#include "transmit/crc32.h"
#include "transmit/sender.h"
#include "transmit/state.h"

namespace {

class SenderTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetTransmissionState(); }
  void TearDown() override { ResetTransmissionState(); }
};

std::string RandomText(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(rng());
  return s;
}

TEST_F(SenderTest, CountersSkipTheLastValue) {
  const std::uint32_t cases[][2] = {{0, 1}, {1, 2}, {4294967293u, 4294967294u}, {4294967294u, 0}};
  for (const auto& c : cases) EXPECT_EQ(NextCounterValue(c[0]), c[1]) << c[0];
}

TEST_F(SenderTest, DefaultsSetGroupAndPause) {
  EXPECT_EQ(SetTransmissionDefaults(), 0);
  EXPECT_STREQ(g_szGroupAddr, "224.0.0.119");
  EXPECT_STREQ(g_szInterval, "1ms");
}

TEST_F(SenderTest, GetFileLengthRewinds) {
  TempFile t(RandomText(5000, 1));
  std::FILE* f = std::fopen(t.path().c_str(), "rb");
  ASSERT_NE(f, nullptr);
  std::fseek(f, 1234, SEEK_SET);
  EXPECT_EQ(GetFileLength(f), 5000);
  EXPECT_EQ(std::ftell(f), 0);
  std::fclose(f);
}

// Files that span several of the pieces it reads give the CRC of the whole file at once.
TEST_F(SenderTest, ComputeFileCrcCoversTheWholeFile) {
  for (std::size_t size : {1u, 1024u, 1060u, (1u << 20) + 1u, 3u * (1u << 20) + 517u}) {
    const std::string contents = RandomText(size, static_cast<unsigned>(size));
    TempFile t(contents);
    std::FILE* f = std::fopen(t.path().c_str(), "rb");
    ASSERT_NE(f, nullptr);
    g_dwFileCrc = 0;
    ASSERT_EQ(ComputeFileCrc(f), 0) << size;
    EXPECT_EQ(g_dwFileCrc, Crc32NoFinalXor(contents.data(), static_cast<std::uint32_t>(size))) << size;
    std::fclose(f);
  }
}

TEST_F(SenderTest, ComputeFileCrcRefusals) {
  EXPECT_EQ(ComputeFileCrc(nullptr), TX_ERR_ARG);
  TempFile empty("");
  std::FILE* f = std::fopen(empty.path().c_str(), "rb");
  ASSERT_NE(f, nullptr);
  g_dwFileCrc = 0x1234;
  EXPECT_EQ(ComputeFileCrc(f), TX_ERR_READ);
  EXPECT_EQ(g_dwFileCrc, 0x1234u);
  std::fclose(f);
}

TEST_F(SenderTest, ReadChunkCases) {
  const std::string contents = RandomText(2500, 5);
  TempFile t(contents);
  std::FILE* f = std::fopen(t.path().c_str(), "rb");
  ASSERT_NE(f, nullptr);
  std::uint8_t buf[1024];

  enum class Buffer { Read, Zeroed, Untouched };
  struct Case {
    std::uint32_t offset, len;
    std::int32_t result;  // a byte count for Read (1 and 3 are also refusal codes)
    Buffer buffer;
  };
  // Offsets at, inside and past the end; the short read at the end reads what is there, and
  // a chunk wholly past the end (a file that shrank) goes out as zeros, never stale bytes.
  const Case cases[] = {{0, 1024, 1024, Buffer::Read},          {1024, 1024, 1024, Buffer::Read},
                        {2048, 1024, 452, Buffer::Read},        {2499, 1024, 1, Buffer::Read},
                        {2500, 1024, TX_ERR_READ, Buffer::Zeroed}, {4000000000u, 10, TX_ERR_READ, Buffer::Zeroed},
                        {0, 0, TX_ERR_ARG, Buffer::Untouched}};
  for (const Case& c : cases) {
    std::memset(buf, 0xEE, sizeof buf);
    EXPECT_EQ(ReadChunk(f, c.offset, buf, c.len), c.result) << c.offset << "+" << c.len;
    const std::uint32_t read = c.buffer == Buffer::Read ? static_cast<std::uint32_t>(c.result) : 0;
    if (read > 0) {
      EXPECT_EQ(std::memcmp(buf, contents.data() + c.offset, read), 0);
    }
    for (std::uint32_t i = read; i < c.len; ++i) ASSERT_EQ(buf[i], 0) << c.offset << ": byte " << i;
    if (c.len < sizeof buf) {
      EXPECT_EQ(buf[c.len], 0xEE) << "nothing written past the chunk";
    }
  }
  EXPECT_EQ(ReadChunk(f, 0, nullptr, 10), TX_ERR_ARG);
  std::fclose(f);
}

TEST_F(SenderTest, WaitMillisecondsNeverReturnsEarly) {
  const std::int64_t freq = platform::CounterFrequency();
  for (std::uint32_t ms : {1u, 2u, 5u, 100u}) {
    const std::int64_t start = platform::CounterNow();
    WaitMilliseconds(ms);
    const std::int64_t elapsedMs = (platform::CounterNow() - start) * 1000 / freq;
    EXPECT_GE(elapsedMs, static_cast<std::int64_t>(ms));
  }
  const std::int64_t start = platform::CounterNow();
  WaitMilliseconds(0);
  EXPECT_LT((platform::CounterNow() - start) * 1000 / freq, 1);
}

TEST_F(SenderTest, NoAddressIsRefusedBeforeAnySocket) {
  platform::Socket s = 12345;
  EXPECT_EQ(OpenMulticastSocket(&s, "0.0.0.0"), TX_ERR_NIC_ADDR);
  EXPECT_EQ(s, 12345);  // nothing was opened into the place
}

// An address no interface holds cannot be bound: the set-up fails and leaves nothing open.
TEST_F(SenderTest, UnboundableAddressFailsTheSetUp) {
  SetTransmissionDefaults();
  g_dwGroupAddr = platform::InetAddr(g_szGroupAddr);
  for (const char* addr : {"", "not an address", "198.51.100.254"}) {
    platform::Socket s = platform::kInvalidSocket;
    EXPECT_EQ(OpenMulticastSocket(&s, addr), TX_ERR_SOCKET) << '"' << addr << '"';
  }
}

}  // namespace
