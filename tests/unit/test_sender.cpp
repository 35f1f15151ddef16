// The send loop's file operations, the pause, the counters' wrap and the set-up refusals.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>
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

// A pass through ChunkReader gives every chunk as ReadChunk would, reading a block (and so
// looking at the file) only at the first chunk and every 64th after it; a block of exactly
// 3 bytes (also the code of an offset past the end) is read, not taken for a refusal.
TEST_F(SenderTest, ChunkReaderReadsABlockAtATime) {
  const std::uint32_t block = kReadAheadChunks * 1024;
  for (const std::uint32_t length : {1u, 1024u, 3000u, block, block + 3, 2 * block + 1027}) {
    const std::string contents = RandomText(length, length);
    TempFile t(contents);
    std::FILE* f = std::fopen(t.path().c_str(), "rb");
    ASSERT_NE(f, nullptr);
    ChunkReader reader(f);
    for (int pass = 0; pass < 2; ++pass) {
      reader.BeginPass();
      for (std::uint32_t offset = 0, i = 0; offset < length; offset += 1024, ++i) {
        const std::uint32_t len = std::min(1024u, length - offset);
        std::uint8_t buf[1025];
        buf[len] = 0xEE;
        const ChunkReader::Got got = reader.Chunk(offset, buf, len);
        EXPECT_EQ(got, i % kReadAheadChunks == 0 ? ChunkReader::Got::NewBlock : ChunkReader::Got::Held)
            << length << ": chunk " << i << ", pass " << pass;
        ASSERT_EQ(std::memcmp(buf, contents.data() + offset, len), 0) << length << ": chunk " << i;
        ASSERT_EQ(buf[len], 0xEE) << "nothing written past the chunk";
      }
    }
    std::fclose(f);
  }
}

// The file cut short after the first block was read: a chunk the file can no longer supply
// whole is short, with what is left of it and zeros, never bytes of the earlier block; a
// chunk of 3 bytes (also the code of a refusal) is told apart from a refusal.
TEST_F(SenderTest, ChunkReaderTellsAFileCutShort) {
  const std::uint32_t block = kReadAheadChunks * 1024;
  struct Case {
    std::uint32_t cutTo, len;
    std::uint32_t left;  // bytes of the chunk at 64 KiB still in the file
  };
  const Case cases[] = {{block + 100, 1024, 100}, {block + 3, 1024, 3}, {block, 1024, 0}, {1000, 1024, 0},
                        {3 * block, 1024, 1024},  {block, 1, 0},        {block, 2, 0},     {block, 3, 0},
                        {block + 3, 3, 3},        {block + 2, 3, 2}};
  for (const Case& c : cases) {
    const std::string contents = RandomText(3 * block, 7);
    TempFile t(contents);
    std::FILE* f = std::fopen(t.path().c_str(), "rb");
    ASSERT_NE(f, nullptr);
    ChunkReader reader(f);
    reader.BeginPass();
    std::uint8_t buf[1025];
    for (std::uint32_t i = 0; i < kReadAheadChunks; ++i) reader.Chunk(i * 1024, buf, 1024);
    std::filesystem::resize_file(t.path(), c.cutTo);
    std::memset(buf, 0xEE, sizeof buf);
    const ChunkReader::Got got = reader.Chunk(block, buf, c.len);
    EXPECT_EQ(got, c.left == c.len ? ChunkReader::Got::NewBlock : ChunkReader::Got::Short) << c.cutTo << "+" << c.len;
    EXPECT_EQ(std::memcmp(buf, contents.data() + block, c.left), 0) << c.cutTo;
    for (std::uint32_t i = c.left; i < c.len; ++i) ASSERT_EQ(buf[i], 0) << c.cutTo << ": byte " << i;
    EXPECT_EQ(buf[c.len], 0xEE) << "nothing written past the chunk";
    if (c.left == 0 && c.len == 1024) {  // and the chunks after it
      std::memset(buf, 0xEE, sizeof buf);
      EXPECT_EQ(reader.Chunk(block + 1024, buf, 1024), ChunkReader::Got::Short) << c.cutTo;
      for (std::uint32_t i = 0; i < 1024; ++i) ASSERT_EQ(buf[i], 0) << c.cutTo;
    }
    std::fclose(f);
  }
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
