// CRC-32 routines: catalogue check values, continuation, and agreement of every
// implementation with the byte-wise reference and with zlib.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "transmit/crc32.h"

namespace {

struct CheckValue {
  const char* text;
  std::uint32_t jamcrc;  // Crc32NoFinalXor
  std::uint32_t crc32;   // Crc32Update from 0
};

// CRC-32/JAMCRC and CRC-32/ISO-HDLC of the published CRC catalogue, and the system's own
// examples.
const CheckValue kCheckValues[] = {
    {"", 0xFFFFFFFFu, 0x00000000u},
    {"abc", 0xCADBBE3Du, 0x352441C2u},
    {"123456789", 0x340BC6D9u, 0xCBF43926u},
    {"The quick brown fox jumps over the lazy dog", 0xBEB05CC6u, 0x414FA339u},
};

TEST(Crc32, CatalogueCheckValues) {
  for (const CheckValue& c : kCheckValues) {
    const auto len = static_cast<std::uint32_t>(std::strlen(c.text));
    EXPECT_EQ(Crc32NoFinalXor(c.text, len), c.jamcrc) << '"' << c.text << '"';
    EXPECT_EQ(Crc32Update(0, c.text, len), c.crc32) << '"' << c.text << '"';
  }
}

std::vector<std::uint8_t> RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<std::uint8_t> v(n);
  for (auto& b : v) b = static_cast<std::uint8_t>(rng());
  return v;
}

TEST(Crc32, UpdateContinuesAcrossAnySplit) {
  EXPECT_EQ(Crc32Update(Crc32Update(0, "ab", 2), "c", 1), 0x352441C2u);
  const std::vector<std::uint8_t> data = RandomBytes(5000, 7);
  const std::uint32_t whole = Crc32Update(0, data.data(), 5000);
  for (std::uint32_t split : {0u, 1u, 7u, 8u, 63u, 64u, 65u, 1024u, 4999u, 5000u}) {
    const std::uint32_t first = Crc32Update(0, data.data(), split);
    EXPECT_EQ(Crc32Update(first, data.data() + split, 5000 - split), whole) << "split at " << split;
  }
}

TEST(Crc32, NoFinalXorIsTheComplementOfTheCommonCrc) {
  const std::vector<std::uint8_t> data = RandomBytes(3000, 11);
  for (std::uint32_t len : {0u, 1u, 35u, 1060u, 3000u})
    EXPECT_EQ(Crc32NoFinalXor(data.data(), len), ~Crc32Update(0, data.data(), len)) << len;
}

// Every length from 0 to 300 at every alignment within 16 bytes, then a few large ones:
// the fold's block edges (16, 64), the braids' 40-byte blocks (two at least, so from 80) and
// the byte-wise tails are all crossed.
TEST(Crc32, ImplementationsAgreeWithReferenceAndZlib) {
  const std::vector<std::uint8_t> data = RandomBytes((1u << 20) + 64, 3);
  auto check = [&data](std::size_t offset, std::size_t len) {
    const std::uint8_t* p = data.data() + offset;
    const std::uint32_t ref = crc32_detail::RegisterBytewise(0xFFFFFFFFu, p, len);
    ASSERT_EQ(crc32_detail::RegisterBraided(0xFFFFFFFFu, p, len), ref) << offset << "+" << len;
    ASSERT_EQ(crc32_detail::RegisterClmul(0xFFFFFFFFu, p, len), ref) << offset << "+" << len;
    ASSERT_EQ(Crc32Update(0, p, static_cast<std::uint32_t>(len)),
              static_cast<std::uint32_t>(crc32(0, p, static_cast<uInt>(len))))
        << offset << "+" << len;
  };
  for (std::size_t offset = 0; offset < 16; ++offset)
    for (std::size_t len = 0; len <= 300; ++len) check(offset, len);
  for (std::size_t len : {1023u, 1024u, 1025u, 1060u, 65536u + 13u, 1u << 20}) check(1, len);
}

}  // namespace
