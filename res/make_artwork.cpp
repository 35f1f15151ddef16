// Writes the artwork drawn by res/artwork.cpp as the files the Windows resource script
// takes: make_artwork <folder> gives <folder>/banner.bmp (700 x 99, 24 bits) and
// <folder>/app.ico (64, 48, 32, 16 px, 32 bits).
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/console.h"
#include "platform/outputfile.h"
#include "res/artwork.h"

namespace {

void Put16(std::vector<std::uint8_t>& b, unsigned v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(std::vector<std::uint8_t>& b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// BITMAPINFOHEADER, then the rows bottom-up.
void PutDib(std::vector<std::uint8_t>& b, const platform::Image& img, int bits, int heightFactor) {
  Put32(b, 40);
  Put32(b, static_cast<std::uint32_t>(img.width));
  Put32(b, static_cast<std::uint32_t>(img.height * heightFactor));
  Put16(b, 1);
  Put16(b, static_cast<unsigned>(bits));
  Put32(b, 0);
  Put32(b, 0);
  Put32(b, 2835);
  Put32(b, 2835);
  Put32(b, 0);
  Put32(b, 0);
  for (int y = img.height - 1; y >= 0; --y) {
    std::size_t rowStart = b.size();
    for (int x = 0; x < img.width; ++x) {
      std::uint32_t p = img.argb[static_cast<std::size_t>(y * img.width + x)];
      b.push_back(static_cast<std::uint8_t>(p));
      b.push_back(static_cast<std::uint8_t>(p >> 8));
      b.push_back(static_cast<std::uint8_t>(p >> 16));
      if (bits == 32) b.push_back(static_cast<std::uint8_t>(p >> 24));
    }
    while ((b.size() - rowStart) % 4) b.push_back(0);
  }
}

bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  return platform::WriteWholeFile(path, bytes.data(), bytes.size());
}

}  // namespace

int main(int argc, char** argv) {
  argv = platform::Utf8Arguments(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_artwork <folder>\n");
    return 2;
  }
  std::string dir = argv[1];

  std::vector<std::uint8_t> dib;
  PutDib(dib, res::DrawBanner(), 24, 1);
  std::vector<std::uint8_t> bmp = {'B', 'M'};
  Put32(bmp, static_cast<std::uint32_t>(14 + dib.size()));
  Put32(bmp, 0);
  Put32(bmp, 14 + 40);
  bmp.insert(bmp.end(), dib.begin(), dib.end());

  const int sizes[] = {64, 48, 32, 16};
  std::vector<std::vector<std::uint8_t>> entries;
  for (int s : sizes) {
    platform::Image img = res::DrawIcon(s);
    std::vector<std::uint8_t> e;
    PutDib(e, img, 32, 2);
    std::size_t maskRow = static_cast<std::size_t>(((s + 31) / 32) * 4);
    e.insert(e.end(), maskRow * static_cast<std::size_t>(s), 0);  // AND mask: all opaque, alpha decides
    entries.push_back(e);
  }
  std::vector<std::uint8_t> ico;
  Put16(ico, 0);
  Put16(ico, 1);
  Put16(ico, 4);
  std::uint32_t offset = 6 + 16 * 4;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    ico.push_back(static_cast<std::uint8_t>(sizes[i] == 256 ? 0 : sizes[i]));
    ico.push_back(static_cast<std::uint8_t>(sizes[i] == 256 ? 0 : sizes[i]));
    ico.push_back(0);
    ico.push_back(0);
    Put16(ico, 1);
    Put16(ico, 32);
    Put32(ico, static_cast<std::uint32_t>(entries[i].size()));
    Put32(ico, offset);
    offset += static_cast<std::uint32_t>(entries[i].size());
  }
  for (const auto& e : entries) ico.insert(ico.end(), e.begin(), e.end());

  if (!WriteFile(dir + "/banner.bmp", bmp) || !WriteFile(dir + "/app.ico", ico)) {
    std::fprintf(stderr, "make_artwork: cannot write into %s\n", dir.c_str());
    return 1;
  }
  return 0;
}
