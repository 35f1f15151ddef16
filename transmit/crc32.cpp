// CRC-32 over the reflected polynomial 0xEDB88320: a byte-wise reference, a braided
// portable path, and on x86-64 a carry-less-multiply fold (Gopal et al., "Fast CRC Computation for Generic
// Polynomials Using PCLMULQDQ Instruction", Intel, 2009) picked at run time.
#include "transmit/crc32.h"

#include <array>
#include <bit>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define UPGRADE_HAVE_CLMUL_PATH 1
#endif

namespace crc32_detail {
namespace {

constexpr std::uint32_t kPoly = 0xEDB88320u;

// The braided portable path: the data is read as 64-bit words dealt round-robin to kBraids
// independent CRC registers, so that the processor works on kBraids look-up chains at once
// instead of waiting for one (the arrangement of zlib's crc32, derived here).
constexpr std::size_t kWordBytes = 8;
constexpr std::size_t kBraids = 6;  // one more than zlib's five: a little faster here (DESIGN.md)
constexpr std::size_t kBlockBytes = kWordBytes * kBraids;

using Table = std::array<std::uint32_t, 256>;

// Entry n: the register after the single byte n from a zero register.
constexpr Table MakeByteTable() {
  Table t{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1u) ? (c >> 1) ^ kPoly : c >> 1;
    t[n] = c;
  }
  return t;
}

constexpr Table kByteTable = MakeByteTable();

// kBraidTables[k][n]: byte n at position k of a word, carried over the rest of its word and
// the other braids' words to the start of the same braid's next word (kBlockBytes - 1 - k
// zero bytes after it), where the braid's register is added into the data.
constexpr std::array<Table, kWordBytes> MakeBraidTables() {
  std::array<Table, kWordBytes> t{};
  for (std::size_t k = 0; k < kWordBytes; ++k)
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = kByteTable[n];
      for (std::size_t z = 0; z < kBlockBytes - 1 - k; ++z) c = (c >> 8) ^ kByteTable[c & 0xFFu];
      t[k][n] = c;
    }
  return t;
}

constexpr std::array<Table, kWordBytes> kBraidTables = MakeBraidTables();

// The eight bytes as a little-endian number, whatever the host's byte order.
inline std::uint64_t Le64(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native == std::endian::big) {
    std::uint64_t r = 0;
    for (std::size_t i = 0; i < kWordBytes; ++i) r |= static_cast<std::uint64_t>(p[i]) << (8 * i);
    v = r;
  }
  return v;
}

// One braid's step: the look-ups of all eight bytes of the word.
inline std::uint32_t BraidStep(std::uint64_t w) {
  const auto& t = kBraidTables;
  return t[0][w & 0xFFu] ^ t[1][(w >> 8) & 0xFFu] ^ t[2][(w >> 16) & 0xFFu] ^ t[3][(w >> 24) & 0xFFu] ^
         t[4][(w >> 32) & 0xFFu] ^ t[5][(w >> 40) & 0xFFu] ^ t[6][(w >> 48) & 0xFFu] ^ t[7][w >> 56];
}

// The plain serial step over a whole word that already holds the register in its low bytes.
inline std::uint32_t SerialWord(std::uint64_t c) {
  for (std::size_t k = 0; k < kWordBytes; ++k) c = (c >> 8) ^ kByteTable[c & 0xFFu];
  return static_cast<std::uint32_t>(c);
}

}  // namespace

std::uint32_t RegisterBytewise(std::uint32_t reg, const std::uint8_t* p, std::size_t len) {
  for (std::size_t i = 0; i < len; ++i) reg = (reg >> 8) ^ kByteTable[(reg ^ p[i]) & 0xFFu];
  return reg;
}

std::uint32_t RegisterBraided(std::uint32_t reg, const std::uint8_t* p, std::size_t len) {
  if (len >= 2 * kBlockBytes) {
    std::size_t blocks = len / kBlockBytes;
    std::array<std::uint32_t, kBraids> crc{};
    crc[0] = reg;
    // Every block but the last: each braid's register goes into its next word.
    static_assert(kBraids == 6, "the step below is written out for six braids");
    for (; blocks > 1; --blocks, p += kBlockBytes) {
      const std::uint64_t w0 = Le64(p) ^ crc[0], w1 = Le64(p + 8) ^ crc[1], w2 = Le64(p + 16) ^ crc[2],
                          w3 = Le64(p + 24) ^ crc[3], w4 = Le64(p + 32) ^ crc[4], w5 = Le64(p + 40) ^ crc[5];
      crc[0] = BraidStep(w0);
      crc[1] = BraidStep(w1);
      crc[2] = BraidStep(w2);
      crc[3] = BraidStep(w3);
      crc[4] = BraidStep(w4);
      crc[5] = BraidStep(w5);
    }
    // The last block joins the braids: word by word, serially, each with its braid's register.
    reg = 0;
    for (std::size_t j = 0; j < kBraids; ++j) reg = SerialWord(Le64(p + kWordBytes * j) ^ crc[j] ^ reg);
    p += kBlockBytes;
    len %= kBlockBytes;
  }
  return RegisterBytewise(reg, p, len);
}

#if defined(UPGRADE_HAVE_CLMUL_PATH)
namespace {

#define UPGRADE_CLMUL_TARGET __attribute__((target("pclmul,sse4.1")))

// One 128-bit fold: x times the constant pair k, plus the next 16 bytes.
UPGRADE_CLMUL_TARGET inline __m128i Fold(__m128i x, __m128i k, __m128i next) {
  __m128i lo = _mm_clmulepi64_si128(x, k, 0x00);
  __m128i hi = _mm_clmulepi64_si128(x, k, 0x11);
  return _mm_xor_si128(_mm_xor_si128(hi, lo), next);
}

inline __m128i Load(const std::uint8_t* q) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(q)); }

// Folds len bytes (at least 64, a multiple of 16) into the register.
UPGRADE_CLMUL_TARGET std::uint32_t FoldClmul(std::uint32_t reg, const std::uint8_t* p, std::size_t len) {
  // Fold constants for 0xEDB88320 in the bit-reflected domain: x^(4*128+32), x^(4*128-32)
  // mod P; x^(128+32), x^(128-32); x^64; then P' and P for the Barrett reduction.
  alignas(16) static const std::uint64_t k1k2[2] = {0x0154442bd4u, 0x01c6e41596u};
  alignas(16) static const std::uint64_t k3k4[2] = {0x01751997d0u, 0x00ccaa009eu};
  alignas(16) static const std::uint64_t k5k0[2] = {0x0163cd6124u, 0};
  alignas(16) static const std::uint64_t poly[2] = {0x01db710641u, 0x01f7011641u};

  __m128i x1 = Load(p), x2 = Load(p + 16), x3 = Load(p + 32), x4 = Load(p + 48);
  x1 = _mm_xor_si128(x1, _mm_cvtsi32_si128(static_cast<int>(reg)));
  __m128i k = _mm_load_si128(reinterpret_cast<const __m128i*>(k1k2));
  p += 64;
  len -= 64;

  while (len >= 64) {
    x1 = Fold(x1, k, Load(p));
    x2 = Fold(x2, k, Load(p + 16));
    x3 = Fold(x3, k, Load(p + 32));
    x4 = Fold(x4, k, Load(p + 48));
    p += 64;
    len -= 64;
  }

  k = _mm_load_si128(reinterpret_cast<const __m128i*>(k3k4));
  x1 = Fold(x1, k, x2);
  x1 = Fold(x1, k, x3);
  x1 = Fold(x1, k, x4);
  while (len >= 16) {
    x1 = Fold(x1, k, Load(p));
    p += 16;
    len -= 16;
  }

  // 128 bits to 64.
  const __m128i mask32 = _mm_setr_epi32(~0, 0, ~0, 0);
  x2 = _mm_clmulepi64_si128(x1, k, 0x10);
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), x2);
  k = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(k5k0));
  x2 = _mm_srli_si128(x1, 4);
  x1 = _mm_clmulepi64_si128(_mm_and_si128(x1, mask32), k, 0x00);
  x1 = _mm_xor_si128(x1, x2);

  // Barrett reduction to 32 bits.
  k = _mm_load_si128(reinterpret_cast<const __m128i*>(poly));
  x2 = _mm_clmulepi64_si128(_mm_and_si128(x1, mask32), k, 0x10);
  x2 = _mm_clmulepi64_si128(_mm_and_si128(x2, mask32), k, 0x00);
  x1 = _mm_xor_si128(x1, x2);
  return static_cast<std::uint32_t>(_mm_extract_epi32(x1, 1));
}

}  // namespace

bool HaveClmul() {
  static const bool have = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
  return have;
}

std::uint32_t RegisterClmul(std::uint32_t reg, const std::uint8_t* p, std::size_t len) {
  if (len >= 64 && HaveClmul()) {
    std::size_t folded = len & ~static_cast<std::size_t>(15);
    reg = FoldClmul(reg, p, folded);
    p += folded;
    len -= folded;
  }
  return RegisterBraided(reg, p, len);
}
#else
bool HaveClmul() { return false; }

std::uint32_t RegisterClmul(std::uint32_t reg, const std::uint8_t* p, std::size_t len) {
  return RegisterBraided(reg, p, len);
}
#endif

}  // namespace crc32_detail

std::uint32_t Crc32NoFinalXor(const void* data, std::uint32_t len) {
  return crc32_detail::RegisterClmul(0xFFFFFFFFu, static_cast<const std::uint8_t*>(data), len);
}

std::uint32_t Crc32Update(std::uint32_t crc, const void* data, std::uint32_t len) {
  return ~crc32_detail::RegisterClmul(~crc, static_cast<const std::uint8_t*>(data), len);
}
