// Time to analyse a 150 MiB upgrade package and a 150 MiB image unit file with a warm cache,
// beside a peer measured in the same run: reading the same file whole through stdio, which is
// what the analysis would cost if it read more than headers.
//
//   bench_inspect [DIR]   (the two files are made in DIR, default the temporary directory)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "inspect/analysis.h"
#include "inspect/trace.h"
#include "tools/mkfile/builder.h"

namespace {

constexpr std::uint64_t kSize = 157286400;  // 150 MiB, the largest "bin" file accepted
constexpr int kRuns = 30;

double MedianMs(const std::function<void()>& work) {
  work();  // warm the cache
  std::vector<double> ms;
  for (int i = 0; i < kRuns; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    work();
    const auto t1 = std::chrono::steady_clock::now();
    ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
  }
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}

void ReadWhole(const std::string& path) {
  static std::vector<char> buffer(1 << 20);
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return;
  while (std::fread(buffer.data(), 1, buffer.size(), f) == buffer.size()) {
  }
  std::fclose(f);
}

mkfile::CFileImage Package() {
  mkfile::SPackagePlan p;
  p.strVersion = "BENCH-1.0";
  for (const char* name : {"BOOT", "ROUTER", "MODEM"}) {
    mkfile::SUnitPlan u;
    u.strName = name;
    u.info = mkfile::Bytes(4096, 0x3C);
    u.dwPayloadLen = 40u << 20;
    p.units.push_back(u);
  }
  p.qwSize = kSize;
  return mkfile::BuildPackage(p);
}

mkfile::CFileImage Image() {
  mkfile::SImagePlan s;
  mkfile::SImageUnitPlan u;
  u.strInfo = "BENCH:Q770:2.0.0";
  u.dwDataLen = 10485760 - 98;  // 14 units of 10 MiB
  s.units = std::vector<mkfile::SImageUnitPlan>(14, u);
  u.dwDataLen = 10485760 - 92 - 98;  // and one that ends at 150 MiB
  s.units.push_back(u);
  return mkfile::BuildImage(s);
}

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path dir = argc > 1 ? std::filesystem::path(argv[1]) : std::filesystem::temp_directory_path();
  const std::string pkg = (dir / "bench-inspect-package.bin").string();
  const std::string img = (dir / "bench-inspect-image.bin").string();
  const mkfile::CFileImage package = Package();
  const mkfile::CFileImage image = Image();
  if (package.Size() != kSize || image.Size() != kSize || !package.WriteTo(pkg) || !image.WriteTo(img)) {
    std::fprintf(stderr, "bench_inspect: cannot make the files in %s\n", dir.string().c_str());
    return 1;
  }
  inspect::SetTraceSink([](const char*, std::size_t) {});

  std::string verdictPkg, verdictImg;
  const double msPkg = MedianMs([&] { verdictPkg = inspect::AnalyseFile(pkg.c_str(), "bin", 0).strVersionLine; });
  const double msImg = MedianMs([&] { verdictImg = inspect::AnalyseFile(img.c_str(), "bin", 0).strVersionLine; });
  const double msReadPkg = MedianMs([&] { ReadWhole(pkg); });
  const double msReadImg = MedianMs([&] { ReadWhole(img); });

  std::printf("150 MiB files, warm cache, median of %d runs (files are sparse beyond their headers)\n", kRuns);
  std::printf("  package    analysis %8.3f ms  (%s)   whole-file read %8.1f ms   ratio %.0fx\n", msPkg,
              verdictPkg.c_str(), msReadPkg, msReadPkg / msPkg);
  std::printf("  image unit analysis %8.3f ms  (%s)   whole-file read %8.1f ms   ratio %.0fx\n", msImg,
              verdictImg.c_str(), msReadImg, msReadImg / msImg);
  std::printf("  target: under 10 ms each: %s\n", msPkg < 10.0 && msImg < 10.0 ? "met" : "NOT met");
  std::filesystem::remove(pkg);
  std::filesystem::remove(img);
  return 0;
}
