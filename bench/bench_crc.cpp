// CRC-32 throughput: each implementation of the system against zlib's crc32 and a plain
// memory read of the same 64 MiB buffer, in the same run; then the cost of one datagram.
#include <zlib.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "transmit/crc32.h"
#include "transmit/datagram.h"

namespace {

using Clock = std::chrono::steady_clock;

// Best of `rounds` timings of fn, in seconds.
double BestOf(int rounds, const std::function<void()>& fn) {
  double best = 1e30;
  for (int r = 0; r < rounds; ++r) {
    const auto t0 = Clock::now();
    fn();
    best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
  }
  return best;
}

volatile std::uint64_t g_sink;

}  // namespace

int main() {
  constexpr std::size_t kSize = 64u << 20;
  std::vector<std::uint8_t> buf(kSize);
  std::mt19937_64 rng(1);
  for (std::size_t i = 0; i < kSize; i += 8) {
    const std::uint64_t v = rng();
    std::memcpy(buf.data() + i, &v, 8);
  }
  const auto* p = buf.data();
  const auto len = static_cast<std::uint32_t>(kSize);

  struct Row {
    const char* name;
    std::function<void()> fn;
  };
  std::uint32_t check = 0;
  const Row rows[] = {
      {"memory read (sum of 64-bit words)",
       [&] {
         std::uint64_t s = 0;
         for (std::size_t i = 0; i < kSize; i += 8) {
           std::uint64_t v;
           std::memcpy(&v, p + i, 8);
           s += v;
         }
         g_sink = s;
       }},
      {"zlib crc32", [&] { g_sink = crc32(0, p, len); }},
      {"Crc32NoFinalXor (path chosen here)", [&] { check = Crc32NoFinalXor(p, len); }},
      {"Crc32Update (path chosen here)", [&] { g_sink = Crc32Update(0, p, len); }},
      {"accelerated path (carry-less multiply)", [&] { g_sink = crc32_detail::RegisterClmul(~0u, p, kSize); }},
      {"portable path (braided)", [&] { g_sink = crc32_detail::RegisterBraided(~0u, p, kSize); }},
      {"byte-wise table", [&] { g_sink = crc32_detail::RegisterBytewise(~0u, p, kSize); }},
  };
  std::printf("CRC-32 over a 64 MiB buffer (best of 5; carry-less multiply %s)\n",
              crc32_detail::HaveClmul() ? "available" : "NOT available: the portable path is used");
  double zlibSeconds = 0, readSeconds = 0;
  for (const Row& r : rows) {
    const double s = BestOf(5, r.fn);
    if (readSeconds == 0) readSeconds = s;
    if (std::strcmp(r.name, "zlib crc32") == 0) zlibSeconds = s;
    const double gbps = static_cast<double>(kSize) / s / 1e9;
    if (zlibSeconds > 0)
      std::printf("  %-40s %7.2f GB/s   %5.2fx zlib   %5.1f%% of the memory read\n", r.name, gbps, zlibSeconds / s,
                  100.0 * readSeconds / s);
    else
      std::printf("  %-40s %7.2f GB/s   (the memory read limit)\n", r.name, gbps);
  }
  if (check != ~static_cast<std::uint32_t>(crc32(0, p, len))) {
    std::printf("MISMATCH against zlib\n");
    return 1;
  }

  // One datagram: the CRC over 1056 bytes alone, and the whole build.
  constexpr int kDatagrams = 200000;
  SDatagramHeader h{};
  h.dwMagic = kDatagramMagic;
  h.dwDataLen = 1024;
  const double crcOnly = BestOf(5, [&] {
    std::uint32_t acc = 0;
    for (int i = 0; i < kDatagrams; ++i) acc ^= Crc32NoFinalXor(p + (i & 4095) * 16, 1056);
    g_sink = acc;
  });
  const double zlibOne = BestOf(5, [&] {
    std::uint32_t acc = 0;
    for (int i = 0; i < kDatagrams; ++i) acc ^= static_cast<std::uint32_t>(crc32(0, p + (i & 4095) * 16, 1056));
    g_sink = acc;
  });
  const double build = BestOf(5, [&] {
    for (int i = 0; i < kDatagrams; ++i) {
      h.dwPacketNo = static_cast<std::uint32_t>(i);
      BuildDatagram(p + (i & 4095) * 16, h, 1024);
    }
    g_sink = g_aDatagram[0];
  });
  std::printf("Per 1060-byte datagram:\n");
  std::printf("  %-36s %7.1f ns   %5.2fx zlib (%.1f ns)\n", "Crc32NoFinalXor of 1056 bytes", crcOnly / kDatagrams * 1e9,
              zlibOne / crcOnly, zlibOne / kDatagrams * 1e9);
  std::printf("  %-36s %7.1f ns\n", "BuildDatagram (clear, copy, CRC)", build / kDatagrams * 1e9);
  return 0;
}
