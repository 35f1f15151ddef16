// CRC-32 over the reflected polynomial 0xEDB88320: a byte-wise reference, slicing-by-8,
// and on x86-64 a carry-less-multiply fold (Gopal et al., "Fast CRC Computation for Generic
// Polynomials Using PCLMULQDQ Instruction", Intel, 2009) picked at run time.
#include "transmit/crc32.h"

#include <array>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define UPGRADE_HAVE_CLMUL_PATH 1
#endif

namespace crc32_detail {
namespace {

constexpr std::uint32_t kPoly = 0xEDB88320u;

// kTables[0] is the standard table: entry n is n shifted through eight reflected steps.
// kTables[k][n] is the register after entry n and k more zero bytes, for slicing-by-8.
using Tables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr Tables MakeTables() {
  Tables t{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1u) ? (c >> 1) ^ kPoly : c >> 1;
    t[0][n] = c;
  }
  for (std::size_t k = 1; k < 8; ++k)
    for (std::size_t n = 0; n < 256; ++n) t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFFu];
  return t;
}

constexpr Tables kTables = MakeTables();

}  // namespace

std::uint32_t RegisterBytewise(std::uint32_t reg, const std::uint8_t* p, std::size_t len) {
  for (std::size_t i = 0; i < len; ++i) reg = (reg >> 8) ^ kTables[0][(reg ^ p[i]) & 0xFFu];
  return reg;
}

std::uint32_t RegisterSlicing8(std::uint32_t reg, const std::uint8_t* p, std::size_t len) {
  while (len >= 8) {
    // Little-endian assembly of the two words, whatever the host's byte order.
    std::uint32_t lo = reg ^ (static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
                              static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24);
    std::uint32_t hi = static_cast<std::uint32_t>(p[4]) | static_cast<std::uint32_t>(p[5]) << 8 |
                       static_cast<std::uint32_t>(p[6]) << 16 | static_cast<std::uint32_t>(p[7]) << 24;
    reg = kTables[7][lo & 0xFFu] ^ kTables[6][(lo >> 8) & 0xFFu] ^ kTables[5][(lo >> 16) & 0xFFu] ^
          kTables[4][lo >> 24] ^ kTables[3][hi & 0xFFu] ^ kTables[2][(hi >> 8) & 0xFFu] ^
          kTables[1][(hi >> 16) & 0xFFu] ^ kTables[0][hi >> 24];
    p += 8;
    len -= 8;
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
  return RegisterSlicing8(reg, p, len);
}
#else
bool HaveClmul() { return false; }

std::uint32_t RegisterClmul(std::uint32_t reg, const std::uint8_t* p, std::size_t len) {
  return RegisterSlicing8(reg, p, len);
}
#endif

}  // namespace crc32_detail

std::uint32_t Crc32NoFinalXor(const void* data, std::uint32_t len) {
  return crc32_detail::RegisterClmul(0xFFFFFFFFu, static_cast<const std::uint8_t*>(data), len);
}

std::uint32_t Crc32Update(std::uint32_t crc, const void* data, std::uint32_t len) {
  return ~crc32_detail::RegisterClmul(~crc, static_cast<const std::uint8_t*>(data), len);
}
