#include "pictures.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace samples {
namespace {

constexpr double kPi = 3.14159265358979323846;

// A small RGB canvas with the few shapes the scenes need (coordinates in pixels, y down).
class Canvas {
 public:
  Canvas(int w, int h) : w_(w), h_(h), px_(static_cast<size_t>(w) * h * 3, 255) {}
  int w() const { return w_; }
  int h() const { return h_; }

  void Set(int x, int y, double r, double g, double b, double alpha = 1) {
    if (x < 0 || y < 0 || x >= w_ || y >= h_) return;
    uint8_t* p = &px_[(static_cast<size_t>(y) * w_ + x) * 3];
    const double c[3] = {r, g, b};
    for (int i = 0; i < 3; ++i)
      p[i] = static_cast<uint8_t>(std::clamp(p[i] * (1 - alpha) + c[i] * alpha, 0.0, 255.0));
  }
  void VerticalGradient(int y0, int y1, const double top[3], const double bottom[3]) {
    for (int y = y0; y < y1; ++y) {
      const double t = y1 - y0 > 1 ? double(y - y0) / (y1 - y0 - 1) : 0;
      for (int x = 0; x < w_; ++x)
        Set(x, y, top[0] + (bottom[0] - top[0]) * t, top[1] + (bottom[1] - top[1]) * t,
            top[2] + (bottom[2] - top[2]) * t);
    }
  }
  void Rect(int x0, int y0, int x1, int y1, double r, double g, double b, double alpha = 1) {
    for (int y = std::max(0, y0); y < std::min(h_, y1); ++y)
      for (int x = std::max(0, x0); x < std::min(w_, x1); ++x) Set(x, y, r, g, b, alpha);
  }
  // A disc with a soft edge one pixel wide.
  void Disc(double cx, double cy, double radius, double r, double g, double b, double alpha = 1) {
    for (int y = int(cy - radius - 1); y <= int(cy + radius + 1); ++y)
      for (int x = int(cx - radius - 1); x <= int(cx + radius + 1); ++x) {
        const double d = std::hypot(x + 0.5 - cx, y + 0.5 - cy);
        const double cover = std::clamp(radius + 0.5 - d, 0.0, 1.0);
        if (cover > 0) Set(x, y, r, g, b, alpha * cover);
      }
  }
  void Line(double x0, double y0, double x1, double y1, double width, double r, double g,
            double b) {
    const int steps = int(std::max(std::fabs(x1 - x0), std::fabs(y1 - y0)) * 2) + 1;
    for (int i = 0; i <= steps; ++i) {
      const double t = double(i) / steps;
      Disc(x0 + (x1 - x0) * t, y0 + (y1 - y0) * t, width / 2, r, g, b);
    }
  }

  vtest::ImageSpec Rgb() const {
    vtest::ImageSpec im;
    im.kind = vtest::ImageSpec::Rgb24;
    im.width = w_;
    im.height = h_;
    im.pixels = px_;
    return im;
  }
  vtest::ImageSpec Gray() const {
    vtest::ImageSpec im;
    im.kind = vtest::ImageSpec::Gray8;
    im.width = w_;
    im.height = h_;
    im.pixels.resize(static_cast<size_t>(w_) * h_);
    for (size_t i = 0; i < im.pixels.size(); ++i)
      im.pixels[i] = static_cast<uint8_t>(
          (px_[3 * i] * 299 + px_[3 * i + 1] * 587 + px_[3 * i + 2] * 114 + 500) / 1000);
    return im;
  }

 private:
  int w_, h_;
  std::vector<uint8_t> px_;
};

// Deterministic pseudo-random numbers (a 32-bit linear congruential generator).
class Lcg {
 public:
  explicit Lcg(uint32_t seed) : s_(seed) {}
  uint32_t Next() {
    s_ = s_ * 1664525u + 1013904223u;
    return s_ >> 8;
  }
  double Unit() { return (Next() & 0xFFFF) / 65535.0; }

 private:
  uint32_t s_;
};

}  // namespace

vtest::ImageSpec HeatingPlantPhoto(int w, int h) {
  Canvas c(w, h);
  const int horizon = h * 64 / 100;
  const double skyTop[3] = {38, 62, 120}, skyLow[3] = {236, 170, 120};
  c.VerticalGradient(0, horizon, skyTop, skyLow);
  const double groundTop[3] = {226, 230, 236}, groundLow[3] = {178, 186, 198};
  c.VerticalGradient(horizon, h, groundTop, groundLow);
  c.Disc(w * 0.78, horizon - h * 0.12, h * 0.07, 255, 224, 160);
  // Plant halls and a row of housing blocks.
  c.Rect(int(w * 0.05), int(horizon - h * 0.18), int(w * 0.42), horizon, 70, 74, 88);
  c.Rect(int(w * 0.42), int(horizon - h * 0.26), int(w * 0.58), horizon, 58, 60, 72);
  for (int i = 0; i < 6; ++i) {
    const int x0 = int(w * (0.6 + 0.065 * i)), top = int(horizon - h * (0.14 + 0.03 * (i % 3)));
    c.Rect(x0, top, x0 + int(w * 0.055), horizon, 92, 96, 112);
    for (int y = top + 4; y < horizon - 4; y += 7)
      for (int x = x0 + 3; x < x0 + int(w * 0.055) - 3; x += 6)
        c.Rect(x, y, x + 3, y + 3, 250, 214, 130);
  }
  // Chimneys with plumes of steam.
  for (int k = 0; k < 2; ++k) {
    const double cx = w * (0.16 + 0.14 * k);
    c.Rect(int(cx - w * 0.018), int(horizon - h * 0.5), int(cx + w * 0.018),
           int(horizon - h * 0.18), 150, 146, 140);
    c.Rect(int(cx - w * 0.018), int(horizon - h * 0.47), int(cx + w * 0.018),
           int(horizon - h * 0.44), 190, 40, 40);
    for (int i = 0; i < 7; ++i)
      c.Disc(cx + i * w * 0.03, horizon - h * (0.52 + 0.035 * i), h * (0.04 + 0.012 * i), 246, 246,
             250, 0.75);
  }
  // Pipes in the foreground.
  c.Rect(0, int(horizon + h * 0.12), w, int(horizon + h * 0.15), 120, 60, 40);
  c.Rect(0, int(horizon + h * 0.2), w, int(horizon + h * 0.23), 160, 90, 50);
  return c.Rgb();
}

vtest::ImageSpec TruckLinePhoto(int w, int h) {
  Canvas c(w, h);
  const int horizon = h * 45 / 100;
  const double skyTop[3] = {110, 160, 215}, skyLow[3] = {210, 228, 240};
  c.VerticalGradient(0, horizon, skyTop, skyLow);
  const double padTop[3] = {170, 170, 168}, padLow[3] = {120, 120, 118};
  c.VerticalGradient(horizon, h, padTop, padLow);
  c.Rect(0, int(horizon - h * 0.2), int(w * 0.7), horizon, 236, 236, 232);  // factory hall
  for (int x = 8; x < int(w * 0.7) - 8; x += 22)
    c.Rect(x, int(horizon - h * 0.16), x + 14, int(horizon - h * 0.06), 120, 150, 180);
  for (int i = 0; i < 4; ++i) {
    const int x0 = int(w * (0.04 + 0.24 * i)), y1 = int(h * (0.86 - 0.02 * i));
    const int cab = int(w * 0.07), body = int(w * 0.12), tall = int(h * 0.26);
    c.Rect(x0, y1 - tall, x0 + cab, y1 - int(h * 0.05), 30, 90, 170);            // cab
    c.Rect(x0 + 4, y1 - tall + 5, x0 + cab - 4, y1 - tall + 22, 190, 220, 240);  // windscreen
    c.Rect(x0 + cab + 2, y1 - tall + 8, x0 + cab + body, y1 - int(h * 0.05), 220, 224, 230);
    c.Rect(x0 + cab + 6, y1 - tall + 16, x0 + cab + body - 6, y1 - tall + 24, 40, 160, 90);
    for (double wx : {0.3, 0.75, 0.95})
      c.Disc(x0 + (cab + body) * wx, y1 - h * 0.04, h * 0.045, 25, 25, 28);
  }
  return c.Rgb();
}

vtest::ImageSpec PaperCutPhoto(int w, int h) {
  Canvas c(w, h);
  const double top[3] = {200, 196, 190}, low[3] = {150, 146, 140};
  c.VerticalGradient(0, h, top, low);
  c.Rect(0, int(h * 0.78), w, h, 110, 96, 86);  // table edge
  const double cx = w * 0.42, cy = h * 0.46, radius = h * 0.36;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const double dx = x + 0.5 - cx, dy = y + 0.5 - cy, d = std::hypot(dx, dy);
      const double a = std::atan2(dy, dx);
      const double edge = radius * (0.78 + 0.22 * std::cos(8 * a));
      const bool hole = std::fabs(d - radius * 0.45) < radius * 0.06 &&
                        std::cos(16 * a) > 0.2;  // ring of cut-outs
      if (d < edge && !hole && d > radius * 0.08) c.Set(x, y, 70, 40, 40);
    }
  // Hands and scissors, roughly.
  c.Disc(w * 0.82, h * 0.7, h * 0.12, 230, 200, 180);
  c.Line(w * 0.7, h * 0.6, w * 0.62, h * 0.5, 3, 40, 40, 40);
  c.Line(w * 0.7, h * 0.6, w * 0.6, h * 0.58, 3, 40, 40, 40);
  return c.Gray();
}

vtest::ImageSpec FireCheckPhoto(int w, int h) {
  Canvas c(w, h);
  const double wallTop[3] = {205, 200, 190}, wallLow[3] = {175, 170, 160};
  c.VerticalGradient(0, h, wallTop, wallLow);
  for (int y = 6; y < int(h * 0.62); y += 20)
    for (int x = 6; x < w; x += 26) c.Rect(x, y, x + 16, y + 12, 90, 120, 150);
  c.Rect(0, int(h * 0.7), w, h, 80, 80, 84);                                       // street
  c.Rect(int(w * 0.08), int(h * 0.5), int(w * 0.62), int(h * 0.86), 200, 30, 30);  // engine
  c.Rect(int(w * 0.5), int(h * 0.55), int(w * 0.6), int(h * 0.66), 180, 210, 230);
  c.Rect(int(w * 0.08), int(h * 0.6), int(w * 0.45), int(h * 0.63), 240, 240, 240);
  c.Line(w * 0.15, h * 0.5, w * 0.55, h * 0.12, 4, 200, 200, 205);  // ladder
  c.Line(w * 0.18, h * 0.52, w * 0.58, h * 0.14, 4, 200, 200, 205);
  for (double wx : {0.18, 0.3, 0.52}) c.Disc(w * wx, h * 0.87, h * 0.05, 20, 20, 20);
  // Two figures in dark uniforms.
  for (double fx : {0.74, 0.84}) {
    c.Disc(w * fx, h * 0.5, h * 0.035, 230, 200, 170);
    c.Rect(int(w * fx - w * 0.025), int(h * 0.54), int(w * fx + w * 0.025), int(h * 0.8), 40, 50,
           70);
  }
  return c.Rgb();
}

vtest::ImageSpec SnowRiverPhoto(int w, int h) {
  Canvas c(w, h);
  const double sky[3] = {200, 205, 212}, skyLow[3] = {228, 230, 234};
  c.VerticalGradient(0, h / 2, sky, skyLow);
  const double water[3] = {120, 130, 140}, waterLow[3] = {90, 100, 112};
  c.VerticalGradient(h / 2, h, water, waterLow);
  c.Rect(0, int(h * 0.42), w, int(h * 0.5), 240, 240, 244);  // snowy bank
  // Bridge: deck and arches.
  c.Rect(0, int(h * 0.3), w, int(h * 0.34), 70, 70, 76);
  for (int k = 0; k < 3; ++k) {
    const double cx = w * (0.2 + 0.3 * k), r = w * 0.13;
    for (int i = 0; i <= 60; ++i) {
      const double a = kPi * i / 60;
      c.Disc(cx + r * std::cos(a), h * 0.5 - r * 0.6 * std::sin(a), 2, 70, 70, 76);
    }
  }
  Lcg rng(20261207);
  for (int i = 0; i < w * h / 60; ++i)
    c.Disc(rng.Unit() * w, rng.Unit() * h, 0.6 + rng.Unit() * 1.2, 255, 255, 255, 0.85);
  return c.Gray();
}

vtest::ImageSpec LightShowPhoto(int w, int h) {
  Canvas c(w, h);
  const int shore = h * 55 / 100;
  const double skyTop[3] = {8, 12, 40}, skyLow[3] = {40, 30, 80};
  c.VerticalGradient(0, shore, skyTop, skyLow);
  const double riverTop[3] = {30, 26, 60}, riverLow[3] = {6, 8, 24};
  c.VerticalGradient(shore, h, riverTop, riverLow);
  // Skyline and its lit windows.
  Lcg rng(77);
  for (int x = 0; x < w;) {
    const int bw = 14 + int(rng.Unit() * 30), bh = int(h * (0.12 + rng.Unit() * 0.3));
    c.Rect(x, shore - bh, x + bw - 2, shore, 20, 20, 34);
    for (int y = shore - bh + 4; y < shore - 3; y += 6)
      for (int wx = x + 3; wx < x + bw - 5; wx += 5)
        if (rng.Unit() < 0.45) c.Rect(wx, y, wx + 2, y + 3, 250, 220, 140);
    x += bw;
  }
  // Light show: coloured discs in arcs, mirrored in the water.
  const double colours[4][3] = {{255, 80, 90}, {90, 200, 255}, {255, 210, 80}, {170, 110, 255}};
  for (int i = 0; i < 40; ++i) {
    const double t = i / 39.0, x = w * (0.05 + 0.9 * t);
    const double y = shore - h * (0.35 + 0.12 * std::sin(t * kPi * 3));
    const double* col = colours[i % 4];
    c.Disc(x, y, 2.5 + (i % 3), col[0], col[1], col[2], 0.9);
    c.Disc(x, 2 * shore - y, 2 + (i % 3), col[0], col[1], col[2], 0.35);
  }
  return c.Rgb();
}

vtest::ImageSpec ReaderCode(int modules, int scale) {
  std::vector<std::vector<bool>> dark(modules, std::vector<bool>(modules));
  Lcg rng(12345);
  for (auto& row : dark)
    for (size_t x = 0; x < row.size(); ++x) row[x] = rng.Next() & 1;
  auto finder = [&](int ox, int oy) {
    for (int y = -1; y <= 7; ++y)
      for (int x = -1; x <= 7; ++x) {
        if (ox + x < 0 || oy + y < 0 || ox + x >= modules || oy + y >= modules) continue;
        const int ring = std::max(std::abs(x - 3), std::abs(y - 3));
        dark[oy + y][ox + x] = ring == 3 || ring <= 1;
      }
  };
  finder(0, 0);
  finder(modules - 7, 0);
  finder(0, modules - 7);
  vtest::ImageSpec im;
  im.kind = vtest::ImageSpec::Bilevel1;
  im.width = im.height = (modules + 2) * scale;  // one module of quiet zone
  const int rowBytes = (im.width + 7) / 8;
  im.pixels.assign(static_cast<size_t>(rowBytes) * im.height, 0xFF);
  for (int y = 0; y < im.height; ++y)
    for (int x = 0; x < im.width; ++x) {
      const int mx = x / scale - 1, my = y / scale - 1;
      if (mx < 0 || my < 0 || mx >= modules || my >= modules || !dark[my][mx]) continue;
      im.pixels[static_cast<size_t>(y) * rowBytes + x / 8] &= ~(0x80 >> (x % 8));
    }
  return im;
}

}  // namespace samples
