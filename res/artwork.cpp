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

// Drawing at a scale: positions and sizes are given at the 96-DPI size and snapped to
// whole pixels at the drawing's scale, so that edges stay sharp at every scale, and cells
// that touch at the 96-DPI size still touch. A line one pixel wide stays one scaled pixel
// wide, at least one pixel.
struct Canvas {
  Image& img;
  double sx, sy;

  int X(double v) const { return static_cast<int>(std::lround(v * sx)); }
  int Y(double v) const { return static_cast<int>(std::lround(v * sy)); }
  void Rect(int x, int y, int w, int h, Rgb c, double alpha = 1.0) const {
    const int x0 = X(x), y0 = Y(y);
    const int cx = w == 1 ? std::max(1, X(1)) : std::max(1, X(x + w) - x0);
    const int cy = h == 1 ? std::max(1, Y(1)) : std::max(1, Y(y + h) - y0);
    FillRect(img, x0, y0, cx, cy, c, alpha);
  }
  // A shape given by its inside test at the 96-DPI size, coverage-sampled at the scale.
  template <class Inside>
  void Shape(Rgb c, double alpha, Inside inside) const {
    const double ax = sx, ay = sy;
    FillShape(img, c, alpha, [&](double x, double y) { return inside(x / ax, y / ay); });
  }
};

void DrawText(const Canvas& canvas, int x, int y, int cell, const char* text, Rgb c, double alpha) {
  for (const char* p = text; *p; ++p, x += 6 * cell) {
    const Glyph* g = nullptr;
    for (const Glyph& k : kFont)
      if (k.c == *p) g = &k;
    if (!g) continue;  // a blank
    for (int row = 0; row < 7; ++row)
      for (int col = 0; col < 5; ++col)
        if (g->rows[row] & (0x10 >> col)) canvas.Rect(x + col * cell, y + row * cell, cell, cell, c, alpha);
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

Image DrawBanner(double scaleX, double scaleY) {
  if (!(scaleX > 0)) scaleX = 1;
  if (!(scaleY > 0)) scaleY = 1;
  Image img = Blank(std::max(1, static_cast<int>(std::lround(700 * scaleX))),
                    std::max(1, static_cast<int>(std::lround(99 * scaleY))));
  const Canvas canvas{img, scaleX, scaleY};
  const Rgb night{0.04, 0.10, 0.26}, teal{0.05, 0.45, 0.55}, white{1, 1, 1}, amber{1.0, 0.75, 0.25};
  for (int y = 0; y < img.height; ++y) {
    for (int x = 0; x < img.width; ++x) {
      double t = x / std::max(1.0, img.width - 1.0) * 0.85 + y / std::max(1.0, img.height - 1.0) * 0.15;
      img.argb[static_cast<std::size_t>(y * img.width + x)] = Pack(Mix(night, teal, t));
    }
  }
  // Faint circuit traces: horizontal runs with a step and a pad at each end.
  for (int i = 0; i < 9; ++i) {
    int y = 12 + i * 9;
    int x0 = 150 + (i * 53) % 160;
    int x1 = x0 + 120 + (i * 37) % 200;
    int step = x0 + (x1 - x0) / 2;
    canvas.Rect(x0, y, step - x0, 1, white, 0.12);
    canvas.Rect(step, y, 1, 5, white, 0.12);
    canvas.Rect(step, y + 5, x1 - step, 1, white, 0.12);
    canvas.Rect(x0 - 2, y - 2, 5, 5, white, 0.18);
    canvas.Rect(x1 - 2, y + 3, 5, 5, white, 0.18);
  }
  // The chip with its pins and the arrow.
  for (int k = 0; k < 6; ++k) {
    canvas.Rect(30 + k * 11, 10, 5, 8, white, 0.7);
    canvas.Rect(30 + k * 11, 81, 5, 8, white, 0.7);
  }
  canvas.Shape({0.10, 0.16, 0.22}, 0.95, [](double x, double y) { return InRoundRect(x, y, 22, 17, 94, 82, 6); });
  canvas.Shape(amber, 1.0, [](double x, double y) { return InArrow(x, y, 40, 25, 76, 74); });
  // The words.
  DrawText(canvas, 121, 22, 4, "FIRMWARE UPGRADE", white, 0.95);
  DrawText(canvas, 123, 62, 2, "ZR880 MULTICAST", amber, 0.9);
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

const Image* BannerBitmap(int dpiX, int dpiY) {
  if (dpiX <= 0) dpiX = 96;
  if (dpiY <= 0) dpiY = 96;
  static std::mutex mutex;
  static std::map<std::pair<int, int>, Image> drawn;  // nodes stay where they are: the pointers stay good
  std::lock_guard<std::mutex> lock(mutex);
  auto it = drawn.find({dpiX, dpiY});
  if (it == drawn.end()) it = drawn.emplace(std::make_pair(dpiX, dpiY), DrawBanner(dpiX / 96.0, dpiY / 96.0)).first;
  return &it->second;
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
