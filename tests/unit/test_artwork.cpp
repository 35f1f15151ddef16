// The banner drawn for screens of more dots per inch: the size asked for, and the same
// picture - the words, the chip and the traces in the same places - as at 96 DPI.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "res/artwork.h"

namespace {

int Channel(std::uint32_t p, int shift) { return static_cast<int>((p >> shift) & 0xFF); }

// The mean difference per colour channel (0 to 255) between the 96-DPI banner and the scaled
// one sampled back at the 96-DPI pixel centres, and the share of pixels that differ by more
// than a quarter of the range (a word or a shape out of place).
void CompareWithTheOriginal(const platform::Image& big, double sx, double sy, double& mean, double& farShare) {
  const platform::Image small = res::DrawBanner();
  double sum = 0;
  int far = 0;
  for (int y = 0; y < small.height; ++y) {
    for (int x = 0; x < small.width; ++x) {
      const int bx = std::min(big.width - 1, static_cast<int>((x + 0.5) * sx));
      const int by = std::min(big.height - 1, static_cast<int>((y + 0.5) * sy));
      const std::uint32_t a = small.argb[static_cast<std::size_t>(y * small.width + x)];
      const std::uint32_t b = big.argb[static_cast<std::size_t>(by * big.width + bx)];
      int worst = 0;
      for (int shift : {0, 8, 16}) {
        const int d = std::abs(Channel(a, shift) - Channel(b, shift));
        sum += d;
        worst = std::max(worst, d);
      }
      if (worst > 64) ++far;
    }
  }
  const double pixels = static_cast<double>(small.width) * small.height;
  mean = sum / (pixels * 3);
  farShare = far / pixels;
}

TEST(Banner, DrawnLargerItIsTheSamePicture) {
  struct Row {
    int dpiX, dpiY, width, height;
  } rows[] = {
      {96, 96, 700, 99}, {120, 120, 875, 124}, {144, 144, 1050, 149}, {192, 192, 1400, 198}, {219, 204, 1597, 210},
  };
  for (const Row& r : rows) {
    const platform::Image* img = res::BannerBitmap(r.dpiX, r.dpiY);
    ASSERT_NE(img, nullptr);
    EXPECT_EQ(img->width, r.width) << r.dpiX;
    EXPECT_EQ(img->height, r.height) << r.dpiY;
    ASSERT_EQ(img->argb.size(), static_cast<std::size_t>(r.width) * static_cast<std::size_t>(r.height));
    double mean = 0, farShare = 0;
    CompareWithTheOriginal(*img, r.dpiX / 96.0, r.dpiY / 96.0, mean, farShare);
    EXPECT_LT(mean, 4.0) << r.dpiX << "x" << r.dpiY;
    EXPECT_LT(farShare, 0.03) << r.dpiX << "x" << r.dpiY;
    EXPECT_EQ(res::BannerBitmap(r.dpiX, r.dpiY), img) << "drawn once";
  }
  // At 96 DPI the very picture of the resource file.
  const platform::Image original = res::DrawBanner();
  EXPECT_EQ(res::BannerBitmap(96, 96)->argb, original.argb);
}

}  // namespace
