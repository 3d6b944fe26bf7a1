// Image class: creation, palettes, pixels, alpha, copies, depth, drawing and bitmap hand-over.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "cximage/ximage.h"
#include "test_images.h"

namespace {

TEST(CxImageCreate, BlankImageOfEveryDepth) {
  for (DWORD bpp : {1u, 4u, 8u, 24u, 32u}) {
    SCOPED_TRACE(bpp);
    CxImage img;
    BYTE* bits = static_cast<BYTE*>(img.Create(5, 3, bpp, 7));
    ASSERT_NE(bits, nullptr);
    const DWORD stride = (5 * bpp + 31) / 32 * 4;
    const DWORD colors = bpp <= 8 ? 1u << bpp : 0;
    EXPECT_EQ(img.GetType(), 7u);
    EXPECT_EQ(img.GetEffWidth(), stride);
    EXPECT_EQ(img.GetSize(), 40 + 4 * colors + stride * 3);
    EXPECT_EQ(img.GetBits(2), bits + 2 * stride);
    EXPECT_EQ(img.GetBits(3), nullptr);
    for (DWORD i = 0; i < stride * 3; ++i) ASSERT_EQ(bits[i], 0);
    BITMAPINFOHEADER head;
    std::memcpy(&head, img.GetDIB(), sizeof(head));
    // Packed fields are copied (braced) before comparison.
    EXPECT_EQ(LONG{head.biHeight}, 3);
    EXPECT_EQ(DWORD{head.biBitCount}, bpp);
    EXPECT_EQ(DWORD{head.biSizeImage}, stride * 3);
    if (colors) {
      EXPECT_EQ(reinterpret_cast<BYTE*>(img.GetPalette()), static_cast<BYTE*>(img.GetDIB()) + 40);
      EXPECT_EQ(img.GetPaletteColor(static_cast<BYTE>(colors - 1)).rgbRed, 255);
      EXPECT_TRUE(img.IsGrayScale());
    }
  }
}

TEST(CxImageCreate, RejectsBadArguments) {
  CxImage img;
  ASSERT_NE(img.Create(2, 2, 8), nullptr);
  EXPECT_EQ(img.Create(0, 5, 8), nullptr);
  EXPECT_FALSE(img.IsValid());  // a failed Create leaves the image empty
  for (DWORD bpp : {0u, 2u, 16u}) EXPECT_EQ(img.Create(4, 4, bpp), nullptr);
  EXPECT_EQ(img.Create(100000, 100000, 32), nullptr);
  EXPECT_EQ(img.Create(0xFFFFFFFFu, 1, 1), nullptr);
}

TEST(CxImageCreate, FromArrayFlipConventions) {
  // A 3 x 2 24-bit image: top row red, green, blue; bottom row white, black, grey.
  const BYTE top[9] = {0, 0, 255, 0, 255, 0, 255, 0, 0};
  const BYTE bottom[9] = {255, 255, 255, 0, 0, 0, 128, 128, 128};
  const DWORD pitch = 16;  // more than the padded 12
  BYTE bottomUp[2 * pitch] = {}, topDown[2 * pitch] = {};
  std::memcpy(bottomUp, bottom, 9);
  std::memcpy(bottomUp + pitch, top, 9);
  std::memcpy(topDown, top, 9);
  std::memcpy(topDown + pitch, bottom, 9);
  CxImage a, b;
  ASSERT_TRUE(a.CreateFromArray(bottomUp, 3, 2, 24, pitch, false));
  ASSERT_TRUE(b.CreateFromArray(topDown, 3, 2, 24, pitch, true));
  EXPECT_TRUE(SameColor(a.GetPixelColor(0, 1), Rgb(255, 0, 0)));  // top-left, bottom-up y = 1
  EXPECT_TRUE(SameColor(a.GetPixelColor(0, 0), Rgb(255, 255, 255)));
  EXPECT_EQ(a.GetBits(0)[9], 0);  // padding is not copied
  EXPECT_EQ(std::memcmp(a.GetDIB(), b.GetDIB(), a.GetSize()), 0);

  EXPECT_FALSE(b.CreateFromArray(nullptr, 3, 2, 1, 4, false));
  EXPECT_FALSE(b.IsValid());
  EXPECT_FALSE(b.CreateFromArray(topDown, 3, 2, 24, 8, false));  // pitch below 9 bytes
  // The source may be the image's own bits.
  ASSERT_TRUE(a.CreateFromArray(a.GetBits(), 3, 2, 24, a.GetEffWidth(), true));
  EXPECT_TRUE(SameColor(a.GetPixelColor(0, 1), Rgb(255, 255, 255)));
}

TEST(CxImagePixels, PaletteAndPixelsAtEveryDepth) {
  for (DWORD bpp : {1u, 4u, 8u, 24u, 32u}) {
    SCOPED_TRACE(bpp);
    CxImage img;
    ASSERT_NE(img.Create(9, 2, bpp), nullptr);
    img.SetPixelColor(8, 1, Rgb(255, 255, 255));
    img.SetPixelColor(9, 0, Rgb(255, 255, 255));  // outside: ignored
    EXPECT_TRUE(SameColor(img.GetPixelColor(8, 1), Rgb(255, 255, 255)));
    EXPECT_EQ(img.GetPixelColor(8, 1).rgbReserved, 255);  // no alpha channel: opaque
    EXPECT_TRUE(SameColor(img.GetPixelColor(7, 1), Rgb(0, 0, 0)));
  }
  CxImage img;
  ASSERT_NE(img.Create(9, 1, 4), nullptr);
  const RGBQUAD pal[3] = {Rgb(255, 0, 0), Rgb(0, 255, 0), Rgb(0, 0, 255)};
  EXPECT_TRUE(img.SetPalette(pal, 3));
  EXPECT_TRUE(SameColor(img.GetPaletteColor(3), Rgb(51, 51, 51)));  // grey ramp entry kept
  img.SetPixelColor(1, 0, Rgb(0, 10, 200));                         // nearest entry
  EXPECT_EQ(img.GetPixelIndex(1, 0), 2);
  EXPECT_FALSE(img.SetPalette(nullptr, 3));
  EXPECT_FALSE(Solid(1, 1, 24, Rgb(0, 0, 0)).SetPalette(pal, 3));

  CxImage mono;
  ASSERT_NE(mono.Create(9, 1, 1), nullptr);
  mono.SetPixelIndex(0, 0, 1);
  mono.SetPixelIndex(8, 0, 1);
  EXPECT_EQ(mono.GetBits()[0], 0x80);  // leftmost pixel in the high bit
  EXPECT_EQ(mono.GetBits()[1], 0x80);
}

TEST(CxImageAlpha, MaskThenStrip) {
  CxImage img = Solid(3, 1, 24, Rgb(200, 40, 0));
  img.SetPixelColor(2, 0, Rgb(0, 0, 100));
  CxImage mask;
  ASSERT_NE(mask.Create(3, 1, 8), nullptr);  // grey ramp: index = level
  mask.SetPixelIndex(0, 0, 255);
  mask.SetPixelIndex(2, 0, 128);
  ASSERT_TRUE(img.AlphaSet(mask));
  img.SetTransColor(Rgb(255, 255, 255));
  ASSERT_TRUE(img.AlphaStrip());
  EXPECT_FALSE(img.AlphaIsValid());
  EXPECT_TRUE(SameColor(img.GetPixelColor(0, 0), Rgb(200, 40, 0)));
  EXPECT_TRUE(SameColor(img.GetPixelColor(1, 0), Rgb(255, 255, 255)));  // masked out
  EXPECT_TRUE(SameColor(img.GetPixelColor(2, 0), Rgb(127, 127, 177)));

  // A 1-bit image under a 1-bit mask with an inverted palette (index 1 is black: masked out);
  // no transparent colour blends against white, a set one against itself.
  CxImage mono;
  ASSERT_NE(mono.Create(2, 1, 1), nullptr);
  const RGBQUAD inverted[2] = {Rgb(255, 255, 255), Rgb(0, 0, 0)};
  ASSERT_NE(mask.Create(2, 1, 1), nullptr);
  mask.SetPalette(inverted, 2);
  mask.SetPixelIndex(1, 0, 1);
  ASSERT_TRUE(mono.AlphaSet(mask));
  CxImage onRed(mono);
  onRed.SetTransColor(Rgb(255, 0, 0));
  ASSERT_TRUE(mono.AlphaStrip());
  ASSERT_TRUE(onRed.AlphaStrip());
  EXPECT_EQ(mono.GetBpp(), 24u);
  EXPECT_TRUE(SameColor(mono.GetPixelColor(0, 0), Rgb(0, 0, 0)));
  EXPECT_TRUE(SameColor(mono.GetPixelColor(1, 0), Rgb(255, 255, 255)));
  EXPECT_TRUE(SameColor(onRed.GetPixelColor(1, 0), Rgb(255, 0, 0)));

  // Size mismatch and empty masks are refused; stripping without alpha keeps the depth.
  EXPECT_FALSE(mask.AlphaSet(Solid(1, 1, 8, Rgb(0, 0, 0))));
  EXPECT_FALSE(mask.AlphaSet(CxImage()));
  EXPECT_TRUE(mask.AlphaStrip());
  EXPECT_EQ(mask.GetBpp(), 1u);
}

TEST(CxImageCopy, FlagsIndependenceAndDepth) {
  CxImage src = Numbered(2, 2, 8, true);
  src.SetTransIndex(3);
  src.SetJpegQuality(33);
  CxImage full(src);
  full.SetPixelIndex(1, 1, 9);
  EXPECT_EQ(src.GetPixelIndex(1, 1), 3);
  EXPECT_EQ(full.AlphaGet(1, 1), 252);
  EXPECT_EQ(full.GetJpegQuality(), 33);
  CxImage blank(src, false, true, false);
  EXPECT_EQ(blank.GetPixelIndex(1, 1), 0);
  EXPECT_FALSE(blank.AlphaIsValid());
  EXPECT_EQ(blank.GetTransIndex(), 3);
  CxImage assigned;
  assigned = src;
  assigned = assigned;  // self-assignment keeps the image
  EXPECT_EQ(assigned.GetPixelIndex(1, 1), 3);

  CxImage mono;
  ASSERT_NE(mono.Create(3, 1, 1), nullptr);
  const RGBQUAD pal[2] = {Rgb(10, 20, 30), Rgb(200, 100, 50)};
  mono.SetPalette(pal, 2);
  mono.SetPixelIndex(1, 0, 1);
  CxImage four(mono);
  ASSERT_TRUE(four.IncreaseBpp(4));
  EXPECT_EQ(four.GetPixelIndex(1, 0), 1);
  ASSERT_TRUE(mono.IncreaseBpp(24));
  EXPECT_TRUE(SameColor(mono.GetPixelColor(0, 0), pal[0]));
  EXPECT_TRUE(SameColor(mono.GetPixelColor(1, 0), pal[1]));
  EXPECT_FALSE(mono.IncreaseBpp(8));
  ASSERT_TRUE(mono.IncreaseBpp(32));
  EXPECT_TRUE(SameColor(mono.GetPixelColor(1, 0), pal[1]));
}

TEST(CxImageDraw, MixFromOneBitGlyphsWithClipping) {
  CxImage sheet;
  ASSERT_NE(sheet.Create(8, 8, 1), nullptr);
  const RGBQUAD pal[2] = {Rgb(255, 255, 255), Rgb(0, 0, 0)};
  sheet.SetPalette(pal, 2);
  CxImage glyph;  // white with black bottom-left and top-right pixels; white transparent
  ASSERT_NE(glyph.Create(3, 3, 1), nullptr);
  glyph.SetPalette(pal, 2);
  glyph.SetPixelIndex(0, 0, 1);
  glyph.SetPixelIndex(2, 2, 1);
  glyph.SetTransColor(Rgb(255, 255, 255));
  ASSERT_TRUE(sheet.MixFrom(glyph, -2, -2));  // only the top-right pixel lands, at (0, 0)
  ASSERT_TRUE(sheet.MixFrom(glyph, 6, 6));    // only the bottom-left lands, at (6, 6)
  ASSERT_TRUE(sheet.MixFrom(glyph, 100, -100));
  EXPECT_EQ(CountIndex(sheet, 1), 2);
  EXPECT_EQ(sheet.GetPixelIndex(0, 0), 1);
  EXPECT_EQ(sheet.GetPixelIndex(6, 6), 1);
  // Without a transparent colour white pixels overwrite.
  sheet.SetPixelIndex(4, 4, 1);
  glyph.SetTransIndex(-1);
  ASSERT_TRUE(sheet.MixFrom(glyph, 3, 3));
  EXPECT_EQ(sheet.GetPixelIndex(4, 4), 0);
  // Palettes that differ: colours are kept, not indices.
  CxImage plain;
  ASSERT_NE(plain.Create(3, 3, 1), nullptr);  // black, white
  ASSERT_TRUE(plain.MixFrom(glyph, 0, 0));
  EXPECT_EQ(plain.GetPixelIndex(0, 0), 0);
  EXPECT_EQ(plain.GetPixelIndex(1, 0), 1);
}

TEST(CxImageDraw, MixFromColourAlphaAndSelf) {
  CxImage rgb = Solid(2, 2, 24, Rgb(0, 0, 0));
  rgb.AlphaSet(BYTE{0});
  ASSERT_TRUE(rgb.MixFrom(Solid(1, 1, 24, Rgb(250, 0, 0)), 1, 1));
  EXPECT_TRUE(SameColor(rgb.GetPixelColor(1, 1), Rgb(250, 0, 0)));
  EXPECT_EQ(rgb.AlphaGet(1, 1), 255);
  EXPECT_EQ(rgb.AlphaGet(0, 1), 0);
  CxImage grey = Solid(1, 1, 8, Rgb(0, 0, 0));
  ASSERT_TRUE(grey.MixFrom(Solid(1, 1, 24, Rgb(100, 100, 100)), 0, 0));
  EXPECT_EQ(grey.GetPixelIndex(0, 0), 100);
  CxImage row = Numbered(3, 1, 8, false);  // mixed into itself: reads the pixels as they were
  ASSERT_TRUE(row.MixFrom(row, 1, 0));
  EXPECT_EQ(row.GetPixelIndex(2, 0), 1);
}

TEST(CxImageDraw, LinesAreClipped) {
  CxImage img = Solid(5, 4, 24, Rgb(255, 255, 255));
  img.DrawLine(-10, 20, 3, 3, Rgb(255, 0, 0));           // top row, both ends outside
  img.DrawLine(1, 1, INT_MIN, INT_MAX, Rgb(0, 255, 0));  // a column across everything, quickly
  for (long x = 0; x < 5; ++x) {
    EXPECT_TRUE(SameColor(img.GetPixelColor(x, 3), x == 1 ? Rgb(0, 255, 0) : Rgb(255, 0, 0)));
  }
  for (long y = 0; y < 4; ++y) EXPECT_TRUE(SameColor(img.GetPixelColor(1, y), Rgb(0, 255, 0)));
  CxImage diag = Solid(4, 4, 8, Rgb(0, 0, 0));
  diag.DrawLine(3, 0, 3, 0, Rgb(255, 255, 255));
  EXPECT_EQ(CountIndex(diag, 255), 4);
  for (long i = 0; i < 4; ++i) EXPECT_EQ(diag.GetPixelIndex(i, i), 255);
  CxImage mono;
  ASSERT_NE(mono.Create(4, 2, 1), nullptr);
  mono.AlphaSet(BYTE{255});
  mono.DrawLine(0, 3, 1, 1, Rgb(250, 250, 250, 9), true);  // nearest index: white (1)
  EXPECT_EQ(CountIndex(mono, 1), 4);
  EXPECT_EQ(mono.AlphaGet(2, 1), 9);
  EXPECT_EQ(mono.AlphaGet(2, 0), 255);
}

TEST(CxImageHandOver, CopyToHandleRoundTrip) {
  CxImage img = Numbered(3, 2, 8, false);
  HGLOBAL h = img.CopyToHandle();
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(GlobalSize(h), img.GetSize());
  const BYTE* p = static_cast<const BYTE*>(GlobalLock(h));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(std::memcmp(p, img.GetDIB(), img.GetSize()), 0);
  GlobalUnlock(h);
  GlobalFree(h);
}

TEST(CxImageFailures, EmptyImageRefusesEverything) {
  CxImage img;
  CxImage other = Solid(2, 2, 24, Rgb(1, 2, 3));
  EXPECT_EQ(img.GetBits(), nullptr);
  EXPECT_EQ(img.GetDIB(), nullptr);
  EXPECT_EQ(img.GetSize(), 0u);
  EXPECT_EQ(img.CopyToHandle(), nullptr);
  EXPECT_FALSE(img.AlphaSet(BYTE{1}));
  EXPECT_FALSE(img.AlphaSet(other));
  EXPECT_FALSE(img.AlphaStrip());
  EXPECT_FALSE(img.IncreaseBpp(24));
  EXPECT_FALSE(img.MixFrom(other, 0, 0));
  EXPECT_FALSE(other.MixFrom(img, 0, 0));
  EXPECT_FALSE(img.Flip());
  EXPECT_FALSE(img.Mirror());
  EXPECT_FALSE(img.Rotate(90));
  EXPECT_FALSE(img.Resample(4, 4));
  EXPECT_FALSE(img.Crop(RECT{0, 0, 1, 1}));
  EXPECT_FALSE(img.Save(u"never-written.jpg", CXIMAGE_FORMAT_JPG));
  img.Clear(3);
  img.DrawLine(0, 1, 0, 1, Rgb(1, 1, 1));
  EXPECT_FALSE(img.IsValid());
}

}  // namespace
