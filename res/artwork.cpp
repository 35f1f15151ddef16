// The banner and the application icon, drawn in code (no picture files are kept).
//
// Banner: a night-blue to teal gradient with faint circuit traces, a chip with an upward
// arrow on the left and "FIRMWARE UPGRADE" / "ZR880 MULTICAST" in a 5 x 7 pixel font.
// Icon: a rounded blue square with a white upward arrow over a row of chip pins.
#include "res/artwork.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "res/resource.h"

namespace res {
namespace {

using platform::Image;

struct Rgb {
  double r, g, b;
};

std::uint32_t Pack(Rgb c, double a = 1.0) {
  auto ch = [](double v) { return static_cast<std::uint32_t>(std::clamp(v, 0.0, 1.0) * 255.0 + 0.5); };
  return (ch(a) << 24) | (ch(c.r) << 16) | (ch(c.g) << 8) | ch(c.b);
}

Rgb Unpack(std::uint32_t p) {
  return {((p >> 16) & 0xFF) / 255.0, ((p >> 8) & 0xFF) / 255.0, (p & 0xFF) / 255.0};
}

Rgb Mix(Rgb a, Rgb b, double t) { return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t}; }

void Blend(Image& img, int x, int y, Rgb c, double alpha) {
  if (x < 0 || y < 0 || x >= img.width || y >= img.height || alpha <= 0) return;
  std::uint32_t& p = img.argb[static_cast<std::size_t>(y) * static_cast<std::size_t>(img.width) + static_cast<std::size_t>(x)];
  double a0 = ((p >> 24) & 0xFF) / 255.0;
  Rgb under = Unpack(p);
  double a = alpha + a0 * (1 - alpha);
  Rgb out = a > 0 ? Rgb{(c.r * alpha + under.r * a0 * (1 - alpha)) / a, (c.g * alpha + under.g * a0 * (1 - alpha)) / a,
                        (c.b * alpha + under.b * a0 * (1 - alpha)) / a}
                  : c;
  p = Pack(out, a);
}

void FillRect(Image& img, int x0, int y0, int w, int h, Rgb c, double alpha = 1.0) {
  for (int y = y0; y < y0 + h; ++y)
    for (int x = x0; x < x0 + w; ++x) Blend(img, x, y, c, alpha);
}

// Coverage-sampled shapes (4 x 4 samples per pixel).
template <class Inside>
void FillShape(Image& img, Rgb c, double alpha, Inside inside) {
  for (int y = 0; y < img.height; ++y) {
    for (int x = 0; x < img.width; ++x) {
      int hits = 0;
      for (int sy = 0; sy < 4; ++sy)
        for (int sx = 0; sx < 4; ++sx)
          if (inside(x + (sx + 0.5) / 4.0, y + (sy + 0.5) / 4.0)) ++hits;
      if (hits) Blend(img, x, y, c, alpha * hits / 16.0);
    }
  }
}

bool InRoundRect(double px, double py, double x0, double y0, double x1, double y1, double r) {
  if (px < x0 || px > x1 || py < y0 || py > y1) return false;
  double cx = std::clamp(px, x0 + r, x1 - r);
  double cy = std::clamp(py, y0 + r, y1 - r);
  return (px - cx) * (px - cx) + (py - cy) * (py - cy) <= r * r;
}

// An upward arrow in the box (x0, y0)-(x1, y1): a triangle head over a shaft.
bool InArrow(double px, double py, double x0, double y0, double x1, double y1) {
  double w = x1 - x0, h = y1 - y0, mid = (x0 + x1) / 2;
  double headBottom = y0 + h * 0.5;
  if (py >= y0 && py <= headBottom) {
    double half = (py - y0) / (headBottom - y0) * w / 2;
    return std::fabs(px - mid) <= half;
  }
  return py > headBottom && py <= y1 && std::fabs(px - mid) <= w * 0.18;
}

// 5 x 7 glyphs, one byte per row, bit 4 the leftmost column.
struct Glyph {
  char c;
  std::uint8_t rows[7];
};
constexpr Glyph kFont[] = {
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}}, {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}},
    {'D', {0x1E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x1E}}, {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}},
    {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}}, {'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}}, {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}}, {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
    {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}}, {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}},
    {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}}, {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'W', {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}}, {'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}},
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
};

// Text in the glyph cells, each cell a square of `scale` pixels filled by `rect`.
template <class Rect>
void DrawText(Rect rect, int x, int y, int scale, const char* text, Rgb c, double alpha) {
  for (const char* p = text; *p; ++p, x += 6 * scale) {
    const Glyph* g = nullptr;
    for (const Glyph& k : kFont)
      if (k.c == *p) g = &k;
    if (!g) continue;  // a blank
    for (int row = 0; row < 7; ++row)
      for (int col = 0; col < 5; ++col)
        if (g->rows[row] & (0x10 >> col)) rect(x + col * scale, y + row * scale, scale, scale, c, alpha);
  }
}

Image Blank(int w, int h) {
  Image img;
  img.width = w;
  img.height = h;
  img.argb.assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), 0);
  return img;
}

}  // namespace

Image DrawBanner(int scalePercent) {
  // Drawn in the banner's own 700 x 99 units, each unit scalePercent / 100 pixels wide: the
  // edges of rectangles fall on whole pixels, shapes are sampled at the pixels' own places.
  const double s = std::max(scalePercent, 1) / 100.0;
  auto px = [s](double v) { return static_cast<int>(std::lround(v * s)); };
  Image img = Blank(px(700), px(99));
  const Rgb night{0.04, 0.10, 0.26}, teal{0.05, 0.45, 0.55}, white{1, 1, 1}, amber{1.0, 0.75, 0.25};
  for (int y = 0; y < img.height; ++y) {
    for (int x = 0; x < img.width; ++x) {
      double t = x / s / 699.0 * 0.85 + y / s / 98.0 * 0.15;
      img.argb[static_cast<std::size_t>(y * img.width + x)] = Pack(Mix(night, teal, t));
    }
  }
  auto rect = [&](int x0, int y0, int w, int h, Rgb c, double alpha) {
    FillRect(img, px(x0), px(y0), px(x0 + w) - px(x0), px(y0 + h) - px(y0), c, alpha);
  };
  auto shape = [&](Rgb c, double alpha, auto inside) {
    FillShape(img, c, alpha, [&](double x, double y) { return inside(x / s, y / s); });
  };
  // Faint circuit traces: horizontal runs with a step and a pad at each end.
  for (int i = 0; i < 9; ++i) {
    int y = 12 + i * 9;
    int x0 = 150 + (i * 53) % 160;
    int x1 = x0 + 120 + (i * 37) % 200;
    int step = x0 + (x1 - x0) / 2;
    rect(x0, y, step - x0, 1, white, 0.12);
    rect(step, y, 1, 5, white, 0.12);
    rect(step, y + 5, x1 - step, 1, white, 0.12);
    rect(x0 - 2, y - 2, 5, 5, white, 0.18);
    rect(x1 - 2, y + 3, 5, 5, white, 0.18);
  }
  // The chip with its pins and the arrow.
  for (int k = 0; k < 6; ++k) {
    rect(30 + k * 11, 10, 5, 8, white, 0.7);
    rect(30 + k * 11, 81, 5, 8, white, 0.7);
  }
  shape({0.10, 0.16, 0.22}, 0.95, [](double x, double y) { return InRoundRect(x, y, 22, 17, 94, 82, 6); });
  shape(amber, 1.0, [](double x, double y) { return InArrow(x, y, 40, 25, 76, 74); });
  // The words.
  DrawText(rect, 121, 22, 4, "FIRMWARE UPGRADE", white, 0.95);
  DrawText(rect, 123, 62, 2, "ZR880 MULTICAST", amber, 0.9);
  return img;
}

Image DrawIcon(int size) {
  Image img = Blank(size, size);
  const double s = size;
  const Rgb top{0.15, 0.45, 0.85}, bottom{0.05, 0.20, 0.50};
  for (int y = 0; y < size; ++y) {
    Rgb c = Mix(top, bottom, y / std::max(1.0, s - 1));
    FillShape(img, c, 1.0, [=](double px, double py) {
      return py >= y && py < y + 1 && InRoundRect(px, py, 0.5, 0.5, s - 0.5, s - 0.5, s * 0.18);
    });
  }
  const Rgb white{1, 1, 1}, amber{1.0, 0.78, 0.3};
  FillShape(img, white, 1.0, [=](double px, double py) { return InArrow(px, py, s * 0.25, s * 0.14, s * 0.75, s * 0.70); });
  for (int k = 0; k < 4; ++k) {
    double x0 = s * (0.20 + k * 0.17);
    FillShape(img, amber, 1.0, [=](double px, double py) {
      return px >= x0 && px <= x0 + s * 0.09 && py >= s * 0.77 && py <= s * 0.87;
    });
  }
  return img;
}

const Image* BannerBitmap(int scalePercent) {
  // Made once per scale; the window asks for one or two scales in a run.
  static std::mutex mutex;
  static std::map<int, std::unique_ptr<const Image>> banners;
  std::lock_guard<std::mutex> lock(mutex);
  std::unique_ptr<const Image>& banner = banners[scalePercent];
  if (!banner) banner = std::make_unique<const Image>(DrawBanner(scalePercent));
  return banner.get();
}

platform::IconHandle AppIcon() {
  static const platform::IconSet icon = [] {
    platform::IconSet set;
    set.resourceId = IDR_MAINFRAME;
    for (int size : {64, 48, 32, 16}) set.sizes.push_back(DrawIcon(size));
    return set;
  }();
  return &icon;
}

}  // namespace res
