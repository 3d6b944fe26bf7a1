// Image class geometry: flip, mirror, crop, exact and arbitrary rotation, resampling.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <utility>

#include "cximage/ximage.h"
#include "test_images.h"

namespace {

using Map = std::function<std::pair<long, long>(long, long)>;

// An 11 x 5 test image of the given depth whose pixels (and alpha values) are told apart as
// far as the depth allows.
CxImage Pattern(DWORD bpp) {
  if (bpp > 4) return Numbered(11, 5, bpp, true);
  CxImage img;
  img.Create(11, 5, bpp);
  img.AlphaSet(BYTE{0});
  for (long y = 0; y < 5; ++y) {
    for (long x = 0; x < 11; ++x) {
      const BYTE v = static_cast<BYTE>(bpp == 1 ? (x * 7 + y * 3) % 5 == 0 : (x + 3 * y) % 16);
      img.SetPixelIndex(x, y, v);
      *img.AlphaGetPointer(x, y) = static_cast<BYTE>(x + 11 * y);
    }
  }
  return img;
}

// Every pixel of src at (x, y) is found in out at map(x, y), with its alpha.
int Mismatches(const CxImage& src, const CxImage& out, const Map& map) {
  int bad = 0;
  for (long y = 0; y < static_cast<long>(src.GetHeight()); ++y) {
    for (long x = 0; x < static_cast<long>(src.GetWidth()); ++x) {
      const auto [nx, ny] = map(x, y);
      const bool same = src.GetBpp() <= 8
                            ? src.GetPixelIndex(x, y) == out.GetPixelIndex(nx, ny)
                            : SameColor(src.GetPixelColor(x, y), out.GetPixelColor(nx, ny));
      bad += !same || src.AlphaGet(x, y) != out.AlphaGet(nx, ny) || !out.IsInside(nx, ny);
    }
  }
  return bad;
}

const DWORD kDepths[] = {1, 4, 8, 24, 32};

TEST(CxImageGeometry, FlipAndMirrorAtEveryDepth) {
  for (DWORD bpp : kDepths) {
    SCOPED_TRACE(bpp);
    CxImage src = Pattern(bpp);
    CxImage flipped(src);
    ASSERT_TRUE(flipped.Flip(false, true));
    EXPECT_EQ(Mismatches(src, flipped, [](long x, long y) { return std::pair(x, 4 - y); }), 0);
    CxImage mirrored(src);
    ASSERT_TRUE(mirrored.Mirror(false, true));
    EXPECT_EQ(Mismatches(src, mirrored, [](long x, long y) { return std::pair(10 - x, y); }), 0);
  }
  // The alpha channel may be left in place.
  CxImage img = Pattern(8);
  ASSERT_TRUE(img.Flip(false, false));
  EXPECT_EQ(img.AlphaGet(0, 0), 255);
  EXPECT_EQ(img.GetPixelIndex(0, 0), 44);
}

TEST(CxImageGeometry, QuarterTurnsAreExactAndCounterClockwise) {
  for (DWORD bpp : kDepths) {
    SCOPED_TRACE(bpp);
    CxImage src = Pattern(bpp);  // 11 x 5
    const long w = 11, h = 5;
    const std::pair<float, Map> cases[] = {
        {90.0f, [=](long x, long y) { return std::pair(h - 1 - y, x); }},
        {-270.0f, [=](long x, long y) { return std::pair(h - 1 - y, x); }},
        {180.0f, [=](long x, long y) { return std::pair(w - 1 - x, h - 1 - y); }},
        {270.0f, [=](long x, long y) { return std::pair(y, w - 1 - x); }},
        {-90.0f, [=](long x, long y) { return std::pair(y, w - 1 - x); }},
        {720.0f, [=](long x, long y) { return std::pair(x, y); }},
    };
    for (const auto& [angle, map] : cases) {
      SCOPED_TRACE(angle);
      CxImage out;
      ASSERT_TRUE(src.Rotate(angle, &out));
      EXPECT_EQ(out.GetBpp(), bpp);
      const bool quarter = std::fmod(std::fabs(angle), 180.0f) == 90.0f;
      EXPECT_EQ(out.GetWidth(), quarter ? 5u : 11u);
      EXPECT_EQ(out.GetHeight(), quarter ? 11u : 5u);
      EXPECT_EQ(Mismatches(src, out, map), 0);
    }
  }
  // In place, and with the palette kept.
  CxImage img = Pattern(4);
  const RGBQUAD red = Rgb(255, 0, 0);
  img.SetPalette(&red, 1);
  ASSERT_TRUE(img.Rotate(90));
  EXPECT_EQ(img.GetWidth(), 5u);
  EXPECT_TRUE(SameColor(img.GetPaletteColor(0), red));
}

// Centre of the dark pixels (red below 128), bottom-up.
std::pair<double, double> DarkCentre(const CxImage& img) {
  double sx = 0, sy = 0;
  int n = 0;
  for (long y = 0; y < static_cast<long>(img.GetHeight()); ++y) {
    for (long x = 0; x < static_cast<long>(img.GetWidth()); ++x) {
      if (img.GetPixelColor(x, y).rgbRed < 128) sx += x, sy += y, ++n;
    }
  }
  return n ? std::pair(sx / n, sy / n) : std::pair(-1.0, -1.0);
}

TEST(CxImageGeometry, ArbitraryAngleEnlargesCanvasWithWhite) {
  CxImage img = Solid(100, 50, 24, Rgb(200, 0, 0));
  img.AlphaSet(BYTE{255});
  CxImage out;
  ASSERT_TRUE(img.Rotate(30.0f, &out));
  // Bounding box of the rotated rectangle: 100 cos 30 + 50 sin 30 by 100 sin 30 + 50 cos 30.
  EXPECT_NEAR(out.GetWidth(), 111.6, 1.0);
  EXPECT_NEAR(out.GetHeight(), 93.3, 1.0);
  EXPECT_EQ(out.GetBpp(), 24u);
  const long w = out.GetWidth(), h = out.GetHeight();
  for (auto [x, y] :
       {std::pair(0L, 0L), std::pair(w - 1, 0L), std::pair(0L, h - 1), std::pair(w - 1, h - 1)}) {
    EXPECT_TRUE(SameColor(out.GetPixelColor(x, y), Rgb(255, 255, 255)));
    EXPECT_EQ(out.AlphaGet(x, y), 0);
  }
  EXPECT_TRUE(NearColor(out.GetPixelColor(w / 2, h / 2), Rgb(200, 0, 0), 2));
  EXPECT_EQ(out.AlphaGet(w / 2, h / 2), 255);
  EXPECT_EQ(img.GetWidth(), 100u);  // the source is unchanged

  // Direction: a dark block right of the centre moves up and right for 45 degrees.
  CxImage marker = Solid(60, 60, 24, Rgb(255, 255, 255));
  for (long y = 27; y < 33; ++y) marker.DrawLine(48, 55, y, y, Rgb(0, 0, 0));
  ASSERT_TRUE(marker.Rotate(45.0f));
  const double c = marker.GetWidth() / 2.0;
  const auto [mx, my] = DarkCentre(marker);
  EXPECT_NEAR(mx - c, 15.9, 3.0);
  EXPECT_NEAR(my - c, 15.9, 3.0);
}

TEST(CxImageGeometry, ArbitraryAngleDepths) {
  // 1 bit stays 1 bit, the uncovered corners taking the white index whichever it is.
  for (bool whiteIsZero : {false, true}) {
    CxImage mono;
    ASSERT_NE(mono.Create(40, 20, 1), nullptr);
    if (whiteIsZero) {
      const RGBQUAD pal[2] = {Rgb(255, 255, 255), Rgb(0, 0, 0)};
      mono.SetPalette(pal, 2);
      mono.Clear(0xFF);
    }
    ASSERT_TRUE(mono.Rotate(-30.0f));
    EXPECT_EQ(mono.GetBpp(), 1u);
    const DWORD w = mono.GetWidth();
    ASSERT_NE(w % 8, 0u);
    for (DWORD y = 0; y < mono.GetHeight(); ++y) {  // no bits beyond the last pixel
      ASSERT_EQ(mono.GetBits(y)[w / 8] & (0xFF >> (w % 8)), 0);
    }
    EXPECT_TRUE(SameColor(mono.GetPixelColor(0, 0), Rgb(255, 255, 255)));
    EXPECT_TRUE(
        SameColor(mono.GetPixelColor(mono.GetWidth() / 2, mono.GetHeight() / 2), Rgb(0, 0, 0)));
  }
  CxImage grey = Solid(20, 20, 8, Rgb(60, 60, 60));
  ASSERT_TRUE(grey.Rotate(10.0f));
  EXPECT_EQ(grey.GetBpp(), 8u);
  EXPECT_EQ(grey.GetPixelIndex(10, 10), 60);
  CxImage colour = Solid(20, 20, 8, Rgb(0, 0, 0));
  const RGBQUAD blue = Rgb(0, 0, 255);
  colour.SetPalette(&blue, 1);
  ASSERT_TRUE(colour.Rotate(10.0f));
  EXPECT_EQ(colour.GetBpp(), 24u);
  EXPECT_TRUE(NearColor(colour.GetPixelColor(10, 10), blue, 2));
  CxImage wide = Solid(20, 20, 32, Rgb(9, 9, 9));
  ASSERT_TRUE(wide.Rotate(10.0f));
  EXPECT_EQ(wide.GetBpp(), 32u);
  EXPECT_FALSE(wide.Rotate(std::nanf("")));
}

TEST(CxImageGeometry, CropUsesTopDownRectanglesAndClips) {
  for (DWORD bpp : kDepths) {
    SCOPED_TRACE(bpp);
    CxImage src = Pattern(bpp);  // 11 x 5
    CxImage out;
    ASSERT_TRUE(src.Crop(RECT{3, 1, 9, 4}, &out));
    EXPECT_EQ(out.GetWidth(), 6u);
    EXPECT_EQ(out.GetHeight(), 3u);
    // Output top-down row r is source top-down row 1 + r.
    int bad = 0;
    for (long y = 0; y < 3; ++y) {
      for (long x = 0; x < 6; ++x) {
        const long sy = 4 - (1 + (2 - y));
        bad += !SameColor(out.GetPixelColor(x, y), src.GetPixelColor(3 + x, sy)) ||
               out.AlphaGet(x, y) != src.AlphaGet(3 + x, sy);
      }
    }
    EXPECT_EQ(bad, 0);
  }
  CxImage img = Pattern(8);
  CxImage corner;
  ASSERT_TRUE(img.Crop(RECT{-5, -5, 2, 2}, &corner));  // top-left corner
  EXPECT_EQ(corner.GetHeight(), 2u);
  EXPECT_EQ(Label(corner, 0, 1), Label(img, 0, 4));
  ASSERT_TRUE(img.Crop(RECT{9, 3, 100, 100}, &corner));  // bottom-right corner
  EXPECT_EQ(corner.GetWidth(), 2u);
  EXPECT_EQ(Label(corner, 1, 0), Label(img, 10, 0));
  for (RECT r : {RECT{3, 3, 3, 5}, RECT{20, 0, 30, 5}, RECT{5, 4, 2, 1}}) {
    EXPECT_FALSE(img.Crop(r));
  }
  ASSERT_TRUE(img.Crop(1, 1, 2, 2));  // in place
  EXPECT_EQ(img.GetWidth(), 1u);
  EXPECT_EQ(Label(img, 0, 0), 1 + 11 * 3);
}

TEST(CxImageResample, NearestKeepsDepthAndPalette) {
  // Leptonica's sampling takes, for output pixel j, source pixel round(j * ws / wd) (top-down).
  CxImage img = Numbered(4, 4, 8, false);
  const RGBQUAD pal[2] = {Rgb(1, 0, 0), Rgb(2, 0, 0)};
  img.SetPalette(pal, 2);
  CxImage half;
  ASSERT_TRUE(img.Resample(2, 2, 0, &half));
  EXPECT_EQ(half.GetBpp(), 8u);
  EXPECT_TRUE(SameColor(half.GetPaletteColor(1), pal[1]));
  for (long y = 0; y < 2; ++y)
    for (long x = 0; x < 2; ++x) EXPECT_EQ(half.GetPixelIndex(x, y), 2 * x + 4 * (1 + 2 * y));
  ASSERT_TRUE(img.Resample(9, 7, 0));
  EXPECT_EQ(img.GetWidth(), 9u);
  EXPECT_EQ(img.GetPixelIndex(0, 0), 0);  // corners stay corners
  EXPECT_EQ(img.GetPixelIndex(8, 6), 15);

  CxImage mono;
  ASSERT_NE(mono.Create(6, 2, 1), nullptr);
  for (long x : {0L, 3L, 4L}) mono.SetPixelIndex(x, 1, 1);  // top row 100110
  for (int mode : {0, 1}) {
    CxImage out;
    ASSERT_TRUE(mono.Resample(3, 1, mode, &out));
    EXPECT_EQ(out.GetBpp(), 1u);
    EXPECT_EQ(out.GetPixelIndex(0, 0), 1);
    EXPECT_EQ(out.GetPixelIndex(1, 0), 0);
    EXPECT_EQ(out.GetPixelIndex(2, 0), 1);
  }
  EXPECT_EQ(mono.GetWidth(), 6u);
}

TEST(CxImageResample, InterpolatedSizesDepthsAndAlpha) {
  CxImage rgb = Solid(10, 10, 24, Rgb(50, 100, 150));
  rgb.AlphaSet(BYTE{200});
  CxImage out;
  ASSERT_TRUE(rgb.Resample(23, 7, 1, &out));
  EXPECT_EQ(out.GetWidth(), 23u);
  EXPECT_EQ(out.GetHeight(), 7u);
  EXPECT_EQ(out.GetBpp(), 24u);
  EXPECT_TRUE(NearColor(out.GetPixelColor(22, 6), Rgb(50, 100, 150), 2));
  EXPECT_NEAR(out.AlphaGet(11, 3), 200, 2);

  CxImage big = Solid(500, 10, 24, Rgb(90, 90, 90));  // strong reduction: area mapping
  ASSERT_TRUE(big.Resample(12, 1, 1));
  EXPECT_TRUE(NearColor(big.GetPixelColor(11, 0), Rgb(90, 90, 90), 2));
  CxImage grey = Solid(8, 8, 8, Rgb(30, 30, 30));
  ASSERT_TRUE(grey.Resample(5, 12));
  EXPECT_EQ(grey.GetBpp(), 8u);
  EXPECT_NEAR(grey.GetPixelIndex(2, 6), 30, 1);
  CxImage colour = Solid(8, 8, 4, Rgb(0, 0, 0));
  const RGBQUAD green = Rgb(0, 200, 0);
  colour.SetPalette(&green, 1);
  ASSERT_TRUE(colour.Resample(3, 3));
  EXPECT_EQ(colour.GetBpp(), 24u);
  EXPECT_TRUE(NearColor(colour.GetPixelColor(1, 1), green, 2));

  EXPECT_FALSE(rgb.Resample(0, 5));
  EXPECT_FALSE(rgb.Resample(5, -1));
  EXPECT_FALSE(rgb.Resample(200000, 200000));  // beyond the working limit, refused up front
  EXPECT_EQ(rgb.GetWidth(), 10u);
}

}  // namespace
