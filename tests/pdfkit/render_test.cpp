// Page renderings: size and depth at the header's resolution, orientation, thickening,
// annotations left out, failures.
#include <limits>

#include "kit_fixture.h"

namespace {

using kittest::Bitmap;
using kittest::Doc;
using kittest::Pixel;

// 200 x 100 points: a red square in the upper-left corner, a hairline across the lower half.
vtest::PdfWriter TestPage() {
  vtest::PageOptions options;
  options.annotationTexts = {"NOT CONTENT"};
  options.annotationRects = {{{120, 60, 190, 90}}};
  vtest::PdfWriter writer;
  writer.AddPage(200, 100, "1 0 0 rg 0 50 50 50 re f 0 G 0.05 w 10 25 m 190 25 l S", options);
  vtest::PageOptions turned;
  turned.rotate = 90;
  writer.AddPage(200, 100, "", turned);
  return writer;
}

int DarkPixels(const Bitmap& b) {
  int n = 0;
  const int h = -b.header->biHeight;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < b.header->biWidth; ++x)
      if ((Pixel(b.header, b.bits, x, y) & 0xFF) < 128) ++n;
  return n;
}

TEST(KitRender, SizeDepthAndOrientation) {
  Doc doc(TestPage(), "render");
  // Scale 0.75 is 72 pixels per inch: one pixel per point.
  Bitmap b;
  ASSERT_EQ(PTK_GetPageThumbnail(doc.get(), 1, &b.header, &b.bits, 0.75, 0.75, 0), 1);
  EXPECT_EQ(b.header->biWidth, 200);
  EXPECT_EQ(b.header->biHeight, -100);  // top-down rows
  EXPECT_EQ(b.header->biBitCount, 24);
  EXPECT_EQ(b.header->biSizeImage, kittest::Stride(b.header) * 100);
  // Rows counted from the bottom: row 89 is the tenth from the top.
  EXPECT_EQ(Pixel(b.header, b.bits, 10, 89), 0xFF0000u);   // red, upper left
  EXPECT_EQ(Pixel(b.header, b.bits, 10, 9), 0xFFFFFFu);    // white below it
  EXPECT_EQ(Pixel(b.header, b.bits, 150, 74), 0xFFFFFFu);  // the annotation is not drawn

  // Scale 1.5 is 144 pixels per inch; the two axes scale independently.
  Bitmap big;
  ASSERT_EQ(PTK_GetPageThumbnail(doc.get(), 1, &big.header, &big.bits, 1.5, 0.75, 0), 1);
  EXPECT_EQ(big.header->biWidth, 400);
  EXPECT_EQ(big.header->biHeight, -100);
  EXPECT_EQ(Pixel(big.header, big.bits, 90, 89), 0xFF0000u);
  EXPECT_EQ(Pixel(big.header, big.bits, 110, 89), 0xFFFFFFu);

  // A quarter-turned page renders as displayed.
  Bitmap turned;
  ASSERT_EQ(PTK_GetPageThumbnail(doc.get(), 2, &turned.header, &turned.bits, 0.75, 0.75, 0), 1);
  EXPECT_EQ(turned.header->biWidth, 100);
  EXPECT_EQ(turned.header->biHeight, -200);
}

TEST(KitRender, ThickeningWidensHairlinesOnlyWhileAsked) {
  Doc doc(TestPage(), "render-thicken");
  Bitmap thin, thick, again;
  ASSERT_EQ(PTK_GetPageThumbnail(doc.get(), 1, &thin.header, &thin.bits, 0.75, 0.75, 0), 1);
  ASSERT_EQ(PTK_GetPageThumbnail(doc.get(), 1, &thick.header, &thick.bits, 0.75, 0.75, 3), 1);
  ASSERT_EQ(PTK_GetPageThumbnail(doc.get(), 1, &again.header, &again.bits, 0.75, 0.75, 0), 1);
  const int thinDark = DarkPixels(thin), thickDark = DarkPixels(thick);
  EXPECT_GE(thickDark, thinDark + 2 * 150);
  EXPECT_EQ(DarkPixels(again), thinDark);
}

TEST(KitRender, RejectsBadScales) {
  Doc doc(TestPage(), "render-bad");
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (auto [sx, sy] : {std::pair{0.0, 1.0},
                        {1.0, -1.0},
                        {nan, 1.0},
                        {1.0, inf},
                        {2000.0, 2000.0} /* beyond 400 megapixels */}) {
    Bitmap b;
    EXPECT_EQ(PTK_GetPageThumbnail(doc.get(), 1, &b.header, &b.bits, sx, sy, 0), 0) << sx;
    EXPECT_EQ(b.header, nullptr);
    EXPECT_EQ(b.bits, nullptr);
  }
  // A tiny scale still gives one pixel.
  Bitmap dot;
  ASSERT_EQ(PTK_GetPageThumbnail(doc.get(), 1, &dot.header, &dot.bits, 1e-6, 1e-6, 0), 1);
  EXPECT_EQ(dot.header->biWidth, 1);
  EXPECT_EQ(dot.header->biHeight, -1);
}

}  // namespace
