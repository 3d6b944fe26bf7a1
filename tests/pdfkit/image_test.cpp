// The image stream: placement and clip boxes, scale signs and rotation, pixels and masks.
#include <cmath>
#include <numbers>

#include "kit_fixture.h"

namespace {

using kittest::Colours;
using kittest::Doc;
using kittest::ImageStream;
using kittest::Pixel;
using kittest::Rgb;

vtest::ImageSpec RgbImage() {
  vtest::ImageSpec im;
  im.kind = vtest::ImageSpec::Rgb24;
  im.width = 2;
  im.height = 2;
  im.pixels = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};
  return im;
}

// One image drawn with the given content ("/Im1" names it).
std::vector<PTK_ImageRecord> Records(const std::string& content, const std::string& name,
                                     const vtest::ImageSpec& image = RgbImage()) {
  vtest::PdfWriter writer;
  EXPECT_EQ(writer.AddImage(image), "Im1");
  writer.AddPage(600, 800, content);
  Doc doc(writer, name);
  ImageStream stream(doc.get(), 1);
  std::vector<PTK_ImageRecord> out;
  for (const PTK_ImageRecord* r : stream.list()) out.push_back(*r);
  return out;  // geometry only: the pixel pointers die with the stream
}

void ExpectBox(const PTK_ImageRecord& r, double x0, double top, double x1, double bottom) {
  EXPECT_NEAR(r.dX0, x0, 1e-3);
  EXPECT_NEAR(r.dYTop, top, 1e-3);
  EXPECT_NEAR(r.dX1, x1, 1e-3);
  EXPECT_NEAR(r.dYBottom, bottom, 1e-3);
}

void ExpectClip(const PTK_ImageRecord& r, double x0, double bottom, double x1, double top) {
  EXPECT_NEAR(r.dClipX0, x0, 1e-3);
  EXPECT_NEAR(r.dClipYBottom, bottom, 1e-3);
  EXPECT_NEAR(r.dClipX1, x1, 1e-3);
  EXPECT_NEAR(r.dClipYTop, top, 1e-3);
}

TEST(KitImages, UprightPlacement) {
  auto recs = Records("q 200 0 0 100 50 60 cm /Im1 Do Q", "img-upright");
  ASSERT_EQ(recs.size(), 1u);
  ExpectBox(recs[0], 50, 160, 250, 60);
  ExpectClip(recs[0], 50, 60, 250, 160);  // no clip: the placement box
  EXPECT_NEAR(recs[0].dScaleX, 200, 1e-3);
  EXPECT_NEAR(recs[0].dScaleY, 100, 1e-3);
  EXPECT_NEAR(recs[0].dRotation, 0, 1e-9);
  EXPECT_NEAR(recs[0].dDpiX, 2 * 72.0 / 200, 1e-6);
  EXPECT_NEAR(recs[0].dDpiY, 2 * 72.0 / 100, 1e-6);
  EXPECT_EQ(recs[0].pMask, nullptr);
}

TEST(KitImages, ScaleSignsAndRotation) {
  // Flipped vertically: same box, negative y scale.
  auto flipped = Records("q 200 0 0 -100 50 160 cm /Im1 Do Q", "img-flipped");
  ASSERT_EQ(flipped.size(), 1u);
  ExpectBox(flipped[0], 50, 160, 250, 60);
  EXPECT_NEAR(flipped[0].dScaleX, 200, 1e-3);
  EXPECT_NEAR(flipped[0].dScaleY, -100, 1e-3);

  auto mirrored = Records("q -200 0 0 100 250 60 cm /Im1 Do Q", "img-mirrored");
  ASSERT_EQ(mirrored.size(), 1u);
  ExpectBox(mirrored[0], 50, 160, 250, 60);
  EXPECT_NEAR(mirrored[0].dScaleX, -200, 1e-3);
  EXPECT_NEAR(mirrored[0].dScaleY, 100, 1e-3);

  // A quarter turn counter-clockwise: width 200 along +y, height 100 along -x.
  auto turned = Records("q 0 200 -100 0 300 100 cm /Im1 Do Q", "img-turned");
  ASSERT_EQ(turned.size(), 1u);
  ExpectBox(turned[0], 200, 300, 300, 100);
  EXPECT_NEAR(turned[0].dRotation, std::numbers::pi / 2, 1e-6);
  EXPECT_NEAR(turned[0].dScaleX, 200, 1e-3);
  EXPECT_NEAR(turned[0].dScaleY, 100, 1e-3);
}

TEST(KitImages, ClipBoxAndInvisibleImages) {
  auto clipped = Records("q 100 100 50 30 re W n 200 0 0 100 50 60 cm /Im1 Do Q", "img-clipped");
  ASSERT_EQ(clipped.size(), 1u);
  ExpectBox(clipped[0], 50, 160, 250, 60);
  ExpectClip(clipped[0], 100, 100, 150, 130);

  // Nested clips intersect; the clip ends with Q.
  auto nested = Records(
      "q 0 0 160 800 re W n q 100 0 500 130 re W n 200 0 0 100 50 60 cm /Im1 Do Q Q "
      "q 200 0 0 100 50 300 cm /Im1 Do Q",
      "img-nested");
  ASSERT_EQ(nested.size(), 2u);
  ExpectClip(nested[0], 100, 0, 160, 130);  // the clips alone, not cut to the image
  ExpectClip(nested[1], 50, 300, 250, 400);

  // A clip that misses the image hides it.
  auto hidden = Records("q 400 400 10 10 re W n 200 0 0 100 50 60 cm /Im1 Do Q", "img-hidden");
  EXPECT_TRUE(hidden.empty());
}

TEST(KitImages, ContentOrderFormsAndInlineImages) {
  vtest::ImageSpec gray;
  gray.kind = vtest::ImageSpec::Gray8;
  gray.width = 3;
  gray.height = 1;
  gray.pixels = {0, 128, 255};
  vtest::PdfWriter writer;
  ASSERT_EQ(writer.AddImage(RgbImage()), "Im1");
  const std::string form = writer.AddForm("q 100 0 0 50 0 0 cm /Im1 Do Q", {0, 0, 100, 50});
  writer.AddPage(600, 800,
                 "q 1 0 0 1 200 300 cm /" + form + " Do Q q 30 0 0 10 5 6 cm " +
                     vtest::InlineImage(gray) + " Q q 20 0 0 20 0 0 cm /Im1 Do Q");
  Doc doc(writer, "img-order");
  ImageStream stream(doc.get(), 1);
  auto list = stream.list();
  ASSERT_EQ(list.size(), 3u);
  ExpectBox(*list[0], 200, 350, 300, 300);
  ExpectBox(*list[1], 5, 16, 35, 6);
  ExpectBox(*list[2], 0, 20, 20, 0);
  ASSERT_NE(list[1]->pHeader, nullptr);
  EXPECT_EQ(list[1]->pHeader->biBitCount, 8);
  EXPECT_EQ(Pixel(list[1]->pHeader, list[1]->pBits, 1, 0), 128u);
}

// ---- pixels ------------------------------------------------------------------------------

struct Decoded {
  Doc doc;
  ImageStream stream;
  const PTK_ImageRecord* rec = nullptr;
  Decoded(const vtest::ImageSpec& image, const std::string& name)
      : doc(Page(image), name), stream(doc.get(), 1) {
    if (stream.first) rec = stream.first;
  }
  static vtest::PdfWriter Page(const vtest::ImageSpec& image) {
    vtest::PdfWriter writer;
    EXPECT_EQ(writer.AddImage(image), "Im1");
    writer.AddPage(600, 800, "q 0 0 1 rg 100 0 0 100 10 10 cm /Im1 Do Q");
    return writer;
  }
};

// Rows are top-down (negative height): image row r is row height - 1 - r from the bottom.
TEST(KitImages, GrayAndRgbPixels) {
  vtest::ImageSpec gray;
  gray.kind = vtest::ImageSpec::Gray8;
  gray.width = 3;
  gray.height = 2;
  gray.pixels = {0, 100, 200, 50, 150, 250};
  Decoded g(gray, "img-gray");
  ASSERT_NE(g.rec, nullptr);
  ASSERT_NE(g.rec->pHeader, nullptr);
  const BITMAPINFOHEADER* h = g.rec->pHeader;
  EXPECT_EQ(h->biBitCount, 8);
  EXPECT_EQ(h->biWidth, 3);
  EXPECT_EQ(h->biHeight, -2);
  EXPECT_EQ(Rgb(Colours(h)[0]), 0x000000u);
  EXPECT_EQ(Rgb(Colours(h)[255]), 0xFFFFFFu);
  for (int r = 0; r < 2; ++r)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(Pixel(h, g.rec->pBits, x, 1 - r), gray.pixels[r * 3 + x]);

  Decoded c(RgbImage(), "img-rgb");
  ASSERT_NE(c.rec, nullptr);
  ASSERT_NE(c.rec->pHeader, nullptr);
  h = c.rec->pHeader;
  EXPECT_EQ(h->biBitCount, 24);
  EXPECT_EQ(h->biHeight, -2);
  EXPECT_EQ(Pixel(h, c.rec->pBits, 0, 1), 0xFF0000u);
  EXPECT_EQ(Pixel(h, c.rec->pBits, 1, 1), 0x00FF00u);
  EXPECT_EQ(Pixel(h, c.rec->pBits, 0, 0), 0x0000FFu);
  EXPECT_EQ(Pixel(h, c.rec->pBits, 1, 0), 0xFFFFFFu);
}

TEST(KitImages, PaletteAndTinyImages) {
  vtest::ImageSpec indexed;
  indexed.kind = vtest::ImageSpec::Indexed8;
  indexed.width = 3;
  indexed.height = 1;
  indexed.palette = {10, 20, 30, 200, 100, 50};
  indexed.pixels = {1, 0, 1};
  Decoded p(indexed, "img-indexed");
  ASSERT_NE(p.rec, nullptr);
  ASSERT_NE(p.rec->pHeader, nullptr);
  EXPECT_EQ(p.rec->pHeader->biBitCount, 24);
  EXPECT_EQ(Pixel(p.rec->pHeader, p.rec->pBits, 0, 0), 0xC86432u);
  EXPECT_EQ(Pixel(p.rec->pHeader, p.rec->pBits, 1, 0), 0x0A141Eu);
  EXPECT_EQ(Pixel(p.rec->pHeader, p.rec->pBits, 2, 0), 0xC86432u);

  vtest::ImageSpec dot;
  dot.kind = vtest::ImageSpec::Gray8;
  dot.width = 1;
  dot.height = 1;
  dot.pixels = {77};
  dot.flate = false;
  Decoded t(dot, "img-tiny");
  ASSERT_NE(t.rec, nullptr);
  ASSERT_NE(t.rec->pHeader, nullptr);
  EXPECT_EQ(t.rec->pHeader->biWidth, 1);
  EXPECT_EQ(t.rec->pHeader->biHeight, -1);
  EXPECT_EQ(Pixel(t.rec->pHeader, t.rec->pBits, 0, 0), 77u);
}

TEST(KitImages, BilevelAndStencilPixels) {
  // 10 x 3, 1 = white; a checker row, an all-white row, an all-black row.
  vtest::ImageSpec bilevel;
  bilevel.kind = vtest::ImageSpec::Bilevel1;
  bilevel.width = 10;
  bilevel.height = 3;
  bilevel.pixels = {0xAA, 0x80, 0xFF, 0xC0, 0x00, 0x00};
  Decoded b(bilevel, "img-bilevel");
  ASSERT_NE(b.rec, nullptr);
  ASSERT_NE(b.rec->pHeader, nullptr);
  const BITMAPINFOHEADER* h = b.rec->pHeader;
  EXPECT_EQ(h->biBitCount, 1);
  EXPECT_EQ(h->biWidth, 10);
  EXPECT_EQ(h->biHeight, -3);
  EXPECT_EQ(Rgb(Colours(h)[0]), 0x000000u);
  EXPECT_EQ(Rgb(Colours(h)[1]), 0xFFFFFFu);
  for (int x = 0; x < 10; ++x) {
    EXPECT_EQ(Pixel(h, b.rec->pBits, x, 2), x % 2 == 0 ? 1u : 0u) << x;
    EXPECT_EQ(Pixel(h, b.rec->pBits, x, 1), 1u) << x;
    EXPECT_EQ(Pixel(h, b.rec->pBits, x, 0), 0u) << x;
  }
  // The bits beyond the last pixel of a row are zero.
  EXPECT_EQ(b.rec->pBits[kittest::Stride(h) * 1 + 1], 0xC0);

  // Stencil: sample 0 paints; painted pixels are black (index 0).
  vtest::ImageSpec stencil;
  stencil.kind = vtest::ImageSpec::StencilMask1;
  stencil.width = 8;
  stencil.height = 2;
  stencil.pixels = {0x0F, 0xF0};
  Decoded s(stencil, "img-stencil");
  ASSERT_NE(s.rec, nullptr);
  ASSERT_NE(s.rec->pHeader, nullptr);
  h = s.rec->pHeader;
  EXPECT_EQ(h->biBitCount, 1);
  EXPECT_EQ(Rgb(Colours(h)[0]), 0x000000u);
  EXPECT_EQ(s.rec->pBits[0], 0x0F);  // top-down: the image's first row comes first
  EXPECT_EQ(s.rec->pBits[kittest::Stride(h) * 1], 0xF0);
  ExpectBox(*s.rec, 10, 110, 110, 10);
}

TEST(KitImages, SoftMaskPair) {
  vtest::ImageSpec im = RgbImage();
  im.smaskWidth = 4;
  im.smaskHeight = 2;
  im.smask = {0, 50, 100, 150, 200, 250, 255, 10};
  Decoded m(im, "img-smask");
  ASSERT_NE(m.rec, nullptr);
  ASSERT_NE(m.rec->pHeader, nullptr);
  ASSERT_NE(m.rec->pMask, nullptr);
  const BITMAPINFOHEADER* h = m.rec->pMask->pHeader;
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->biBitCount, 8);
  EXPECT_EQ(h->biWidth, 4);
  EXPECT_EQ(h->biHeight, -2);
  EXPECT_EQ(Rgb(Colours(h)[200]), 0xC8C8C8u);
  for (int r = 0; r < 2; ++r)
    for (int x = 0; x < 4; ++x)
      EXPECT_EQ(Pixel(h, m.rec->pMask->pBits, x, 1 - r), im.smask[r * 4 + x]);
  // The image itself is unchanged by its mask.
  EXPECT_EQ(Pixel(m.rec->pHeader, m.rec->pBits, 0, 1), 0xFF0000u);
}

// ---- hostile pages -----------------------------------------------------------------------

TEST(KitImages, HostilePagesFailCleanly) {
  // An inline image MuPDF refuses (100000 x 100000 pixels, a few bytes of data), deep q
  // nesting, a form that draws itself and a flood of image operators.
  std::string deep;
  for (int i = 0; i < 10000; ++i) deep += "q 1 0 0 1 0.01 0 cm ";
  deep += "10 0 0 10 0 0 cm /Im1 Do ";
  for (int i = 0; i < 10000; ++i) deep += "Q ";
  std::string flood;
  for (int i = 0; i < 10000; ++i) flood += "/Im1 Do ";

  vtest::PdfWriter writer;
  ASSERT_EQ(writer.AddImage(RgbImage()), "Im1");
  ASSERT_EQ(writer.AddForm("q 0.5 0 0 0.5 0 0 cm /Fm1 Do Q /Im1 Do", {0, 0, 1, 1}), "Fm1");
  writer.AddPage(200, 200, "q 100 0 0 100 0 0 cm BI /W 100000 /H 100000 /BPC 8 /CS /G ID abc EI Q");
  writer.AddPage(200, 200, deep);
  writer.AddPage(200, 200, "q 100 0 0 100 0 0 cm /Fm1 Do Q");
  writer.AddPage(200, 200, "q 10 0 0 10 0 0 cm " + flood + "Q");
  Doc doc(writer, "img-hostile");
  for (int page = 1; page <= 4; ++page) {
    SCOPED_TRACE(page);
    ImageStream images(doc.get(), page);
    kittest::PathStream paths(doc.get(), page);
    // A rendering keeps whatever could be drawn.
    kittest::Bitmap bmp;
    EXPECT_EQ(PTK_GetPageThumbnail(doc.get(), page, &bmp.header, &bmp.bits, 0.5, 0.5, 0), 1);
  }
  EXPECT_EQ(ImageStream(doc.get(), 2).list().size(), 1u);
  EXPECT_FALSE(ImageStream(doc.get(), 3).list().empty());
  EXPECT_EQ(ImageStream(doc.get(), 4).list().size(), 10000u);
}

}  // namespace
