#include "shape.h"

#include <algorithm>
#include <cmath>

namespace glyphrec {

namespace {

// Quantisation scales of the L2-normalised square-rooted feature vectors.
constexpr double kFineScale = 700.0;
constexpr double kCoarseScale = 500.0;

struct DirSplit {
  int k = 0;  // first of the two neighbouring directions
  float a = 0, b = 0;
};

// Sobel gradients of a bilevel image are integers in [-4, 4]; their split into the two
// neighbouring of eight directions (parallelogram rule) is tabulated once.
struct DirTable {
  DirSplit t[9][9];
  DirTable() {
    const double step = M_PI / 4;
    for (int gy = -4; gy <= 4; ++gy) {
      for (int gx = -4; gx <= 4; ++gx) {
        DirSplit& s = t[gy + 4][gx + 4];
        if (gx == 0 && gy == 0) continue;
        double mag = std::sqrt(double(gx * gx + gy * gy));
        double th = std::atan2(double(gy), double(gx));
        if (th < 0) th += 2 * M_PI;
        int k = int(th / step) % kDirs;
        double phi = th - k * step;
        s.k = k;
        s.a = float(mag * std::sin(step - phi) / std::sin(step));
        s.b = float(mag * std::sin(phi) / std::sin(step));
      }
    }
  }
};

const DirTable& Dirs() {
  static const DirTable table;
  return table;
}

// Maps pixel centres lo..hi to [0, 1]: half by equalised stroke-edge density (so that strokes
// spread evenly, whatever the typeface's proportions) and half linearly.
void BuildMap(const float* density, int lo, int hi, float* map) {
  int n = hi - lo + 1;
  double total = 0;
  for (int i = lo; i <= hi; ++i) total += density[i];
  double alpha = total > 0 ? 0.5 * total / n : 1.0;
  double sum = total + alpha * n;
  double cum = 0;
  for (int i = lo; i <= hi; ++i) {
    double d = density[i] + alpha;
    double nonlinear = (cum + 0.5 * d) / sum;
    double linear = (i - lo + 0.5) / n;
    map[i] = float(0.5 * nonlinear + 0.5 * linear);
    cum += d;
  }
}

template <size_t N>
void Finish(const float* raw, double scale, std::array<uint8_t, N>& out) {
  double norm = 0;
  float v[N];
  for (size_t i = 0; i < N; ++i) {
    v[i] = std::sqrt(raw[i]);
    norm += double(v[i]) * v[i];
  }
  norm = norm > 0 ? std::sqrt(norm) : 1;
  for (size_t i = 0; i < N; ++i) {
    double q = std::lround(v[i] / norm * scale);
    out[i] = uint8_t(std::min(255.0, q));
  }
}

}  // namespace

void PlaceGlyph(const uint8_t* bits, int width, int height, int xOffset, int yOffset, Cell& cell) {
  if (!bits || width <= 0 || height <= 0) return;
  int x = std::max(0, xOffset);
  int pos = yOffset < 0 ? 0 : (yOffset + height < kCell ? yOffset : kCellInk - height);
  int top = kCellInk - pos - (height - 1);  // top-down row of the glyph's first row
  for (int r = 0; r < height; ++r) {
    int y = top + r;
    if (y < 0 || y >= kCellInk) continue;
    for (int c = 0; c < width && x + c < kCellInk; ++c) {
      if (bits[size_t(r) * width + c]) cell.at(x + c, y) = 1;
    }
  }
}

void ExtractFeatures(const Cell& cell, Features& out) {
  out = Features{};
  // The image padded by two blank pixels on each side: gradients are taken one pixel around the
  // ink, and their neighbours need no bounds checks.
  constexpr int B = 2, P = kCellInk + 2 * B;
  uint8_t img[P * P] = {};
  int x0 = kCellInk, x1 = -1, y0 = kCellInk, y1 = -1;
  for (int y = 0; y < kCellInk; ++y) {
    for (int x = 0; x < kCellInk; ++x) {
      if (!cell.get(x, y)) continue;
      img[(y + B) * P + x + B] = 1;
      x0 = std::min(x0, x);
      x1 = std::max(x1, x);
      y0 = std::min(y0, y);
      y1 = std::max(y1, y);
    }
  }
  if (x1 < 0) return;
  out.empty = false;
  out.geom = {uint8_t(x0), uint8_t(x1), uint8_t(y0), uint8_t(y1)};
  auto I = [&](int x, int y) { return int(img[(y + B) * P + x + B]); };

  // Stroke-edge densities along both axes, over the ink box and one pixel around it.
  float dx[P] = {}, dy[P] = {};
  for (int y = y0; y <= y1; ++y) {
    for (int x = x0; x <= x1; ++x) {
      if (!I(x, y)) continue;
      dx[x + 1] += float(!I(x - 1, y)) + float(!I(x + 1, y));
      dy[y + 1] += float(!I(x, y - 1)) + float(!I(x, y + 1));
    }
  }
  float mx[P], my[P];
  BuildMap(dx, x0, x1 + 2, mx);
  BuildMap(dy, y0, y1 + 2, my);
  // Keep the aspect ratio of thin shapes partly (a dash is no square): the short side spans
  // sqrt(sin(pi/2 * ratio)) of the grid, centred.
  int w = x1 - x0 + 1, h = y1 - y0 + 1;
  double r1 = double(std::min(w, h)) / std::max(w, h);
  double r2 = std::sqrt(std::sin(M_PI / 2 * r1));
  double sx = w >= h ? 1.0 : r2, sy = h >= w ? 1.0 : r2;

  float fine[kFineDims] = {};
  const DirTable& dirs = Dirs();
  for (int y = y0 - 1; y <= y1 + 1; ++y) {
    for (int x = x0 - 1; x <= x1 + 1; ++x) {
      int gx = I(x + 1, y - 1) + 2 * I(x + 1, y) + I(x + 1, y + 1) - I(x - 1, y - 1) -
               2 * I(x - 1, y) - I(x - 1, y + 1);
      int gy = I(x - 1, y + 1) + 2 * I(x, y + 1) + I(x + 1, y + 1) - I(x - 1, y - 1) -
               2 * I(x, y - 1) - I(x + 1, y - 1);
      if (gx == 0 && gy == 0) continue;
      const DirSplit& s = dirs.t[gy + 4][gx + 4];
      double X = 0.5 + (mx[x + 1] - 0.5) * sx, Y = 0.5 + (my[y + 1] - 0.5) * sy;
      double u = X * kFineGrid - 0.5, v = Y * kFineGrid - 0.5;
      int i0 = int(std::floor(u)), j0 = int(std::floor(v));
      float fu = float(u - i0), fv = float(v - j0);
      for (int dj = 0; dj < 2; ++dj) {
        int j = std::clamp(j0 + dj, 0, kFineGrid - 1);
        float wv = dj ? fv : 1 - fv;
        for (int di = 0; di < 2; ++di) {
          int i = std::clamp(i0 + di, 0, kFineGrid - 1);
          float wgt = wv * (di ? fu : 1 - fu);
          float* bin = fine + (j * kFineGrid + i) * kDirs;
          bin[s.k] += wgt * s.a;
          bin[(s.k + 1) % kDirs] += wgt * s.b;
        }
      }
    }
  }
  float coarse[kCoarseDims] = {};
  for (int j = 0; j < kFineGrid; ++j) {
    for (int i = 0; i < kFineGrid; ++i) {
      const float* src = fine + (j * kFineGrid + i) * kDirs;
      float* dst = coarse + ((j / 2) * kCoarseGrid + i / 2) * kDirs;
      for (int d = 0; d < kDirs; ++d) dst[d] += src[d];
    }
  }
  Finish(fine, kFineScale, out.fine);
  Finish(coarse, kCoarseScale, out.coarse);
}

namespace {
template <int N>
int SquaredDistance(const uint8_t* a, const uint8_t* b) {
  int sum = 0;
  for (int i = 0; i < N; ++i) {
    int d = int(a[i]) - int(b[i]);
    sum += d * d;
  }
  return sum;
}
}  // namespace

__attribute__((target_clones("avx2", "default"))) int CoarseDistance(const uint8_t* a,
                                                                     const uint8_t* b) {
  return SquaredDistance<kCoarseDims>(a, b);
}

__attribute__((target_clones("avx2", "default"))) int FineDistance(const uint8_t* a,
                                                                   const uint8_t* b) {
  return SquaredDistance<kFineDims>(a, b);
}

// A small mark keeps its size from typeface to typeface far better than its place in the em
// (a centred 。 is still no ｏ): when the cell's ink spans under 16 pixels and one of the two
// boxes is more than 1.6 times the other's larger side, the difference of the sides counts
// tenfold on top of the boxes' distance.
int GeomDistance(const uint8_t* a, const uint8_t* b) {
  constexpr int kSmallMark = 16, kSizeWeight = 10;
  int d = SquaredDistance<kGeomDims>(a, b);
  int sa = std::max(a[1] - a[0], a[3] - a[2]) + 1;
  if (sa >= kSmallMark) return d;
  int sb = std::max(b[1] - b[0], b[3] - b[2]) + 1;
  int lo = std::min(sa, sb), hi = std::max(sa, sb);
  return hi * 10 > lo * 16 ? d + kSizeWeight * (hi - lo) * (hi - lo) : d;
}

}  // namespace glyphrec
