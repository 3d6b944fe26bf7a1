// Glyph bitmaps: depth by smoothing tag, byte-identical renderings of identical glyphs,
// cropping to ink, fonts found by key.
#include <cstring>

#include "kit_fixture.h"

namespace {

using kittest::Bitmap;
using kittest::Colours;
using kittest::Doc;
using kittest::Pixel;
using kittest::Rgb;

// The key "<num> 0 R" of the first Type 3 font object in a file written by the writer.
std::u16string Type3Key(const std::string& bytes) {
  const size_t at = bytes.find(" 0 obj\n<< /Type /Font /Subtype /Type3");
  if (at == std::string::npos) return u"";
  size_t start = at;
  while (start > 0 && bytes[start - 1] >= '0' && bytes[start - 1] <= '9') --start;
  return vwin32::FromUtf8(bytes.substr(start, at - start) + " 0 R");
}

class GlyphTest : public ::testing::Test {
 protected:
  static vtest::PdfWriter Writer() {
    vtest::PdfWriter writer;
    writer.AddType3Font("KitGlyphs", 3);
    writer.AddStandardFont("Helvetica");
    writer.AddPage(300, 300, "BT /F1 20 Tf 10 200 Td (!\"#!) Tj /F2 20 Tf 10 100 Td (A B) Tj ET");
    return writer;
  }
  GlyphTest() : doc_(Writer(), "glyphs"), key_(Type3Key(doc_.bytes())) {
    desc_.pszFontKey = key_.c_str();
    desc_.dStretchX = desc_.dStretchY = 1.0;
    desc_.dScaleX = desc_.dScaleY = 48;
  }

  bool Render(int glyph, Bitmap* out, double scale = 48) {
    PTK_CharRecord ch{};
    ch.nGlyph = glyph;
    desc_.dScaleX = desc_.dScaleY = scale;
    return PTK_GetCharBitmap(doc_.get(), &desc_, &ch, &out->header, &out->bits) != 0;
  }

  static std::string Bytes(const Bitmap& b) {
    const size_t colours = b.header->biBitCount <= 8 ? size_t{1} << b.header->biBitCount : 0;
    std::string s(reinterpret_cast<const char*>(b.header), sizeof(BITMAPINFOHEADER) + 4 * colours);
    s.append(reinterpret_cast<const char*>(b.bits), b.header->biSizeImage);
    return s;
  }

  Doc doc_;
  std::u16string key_;
  PTK_RunDesc desc_{};
};

TEST_F(GlyphTest, BilevelGlyphsAreIdenticalForIdenticalGlyphs) {
  ASSERT_FALSE(key_.empty());
  PTK_SetSmoothTag(doc_.get(), 0);
  Bitmap a, again, other;
  ASSERT_TRUE(Render(0x21, &a));
  ASSERT_TRUE(Render(0x21, &again));
  ASSERT_TRUE(Render(0x22, &other));
  EXPECT_EQ(Bytes(a), Bytes(again));
  EXPECT_NE(Bytes(a), Bytes(other));

  const BITMAPINFOHEADER* h = a.header;
  EXPECT_EQ(h->biBitCount, 1);
  EXPECT_LT(h->biHeight, 0);  // top-down
  const int height = -h->biHeight;
  EXPECT_EQ(Rgb(Colours(h)[0]), 0xFFFFFFu);
  EXPECT_EQ(Rgb(Colours(h)[1]), 0x000000u);
  // Cropped to ink: the bar spans 0.8 em, the glyph 0.06 .. 0.88 em upward.
  EXPECT_NEAR(h->biWidth, 0.8 * 48, 1.5);
  EXPECT_NEAR(height, 0.82 * 48, 2);
  // The bar is the top of the glyph: the top row is ink from edge to edge.
  for (int x = 0; x < h->biWidth; ++x) EXPECT_EQ(Pixel(h, a.bits, x, height - 1), 1u) << x;
  bool bottomInk = false;
  for (int x = 0; x < h->biWidth; ++x) bottomInk |= Pixel(h, a.bits, x, 0) == 1;
  EXPECT_TRUE(bottomInk);
  // No bits beyond the last pixel of a row.
  const size_t stride = kittest::Stride(h);
  for (int y = 0; y < height; ++y)
    for (int x = h->biWidth; x < static_cast<int>(stride * 8); ++x)
      EXPECT_EQ(Pixel(h, a.bits, x, y), 0u);
}

TEST_F(GlyphTest, SmoothTagSelectsEightBitCoverage) {
  ASSERT_FALSE(key_.empty());
  PTK_SetSmoothTag(doc_.get(), 12);
  Bitmap a, b;
  ASSERT_TRUE(Render(0x23, &a));
  ASSERT_TRUE(Render(0x23, &b));
  EXPECT_EQ(Bytes(a), Bytes(b));
  const BITMAPINFOHEADER* h = a.header;
  EXPECT_EQ(h->biBitCount, 8);
  EXPECT_EQ(Rgb(Colours(h)[0]), 0xFFFFFFu);
  EXPECT_EQ(Rgb(Colours(h)[255]), 0x000000u);
  EXPECT_EQ(Pixel(h, a.bits, h->biWidth / 2, -h->biHeight - 2), 255u);  // inside the bar
}

TEST_F(GlyphTest, FontsOfTheTextStreamAndLargeSizes) {
  PTK_TextRun* runs = nullptr;
  PTK_GetPageContentTextStream(doc_.get(), 1, &runs);
  const PTK_TextRun* helvetica = nullptr;
  for (const PTK_TextRun* r = runs; r; r = r->pNext)
    if (r->pszFontName && std::u16string(r->pszFontName) == u"Helvetica") helvetica = r;
  if (!helvetica) {
    PTK_FreePageContentTextStream(runs);
    GTEST_SKIP() << "the text stream gave no Helvetica run";
  }
  ASSERT_GE(helvetica->nCharCount, 3u);
  PTK_RunDesc desc{};
  desc.pszFontKey = helvetica->pszFontKey;
  desc.dScaleX = desc.dScaleY = 48;
  PTK_SetSmoothTag(doc_.get(), 0);
  Bitmap letter, space, large;
  EXPECT_EQ(
      PTK_GetCharBitmap(doc_.get(), &desc, &helvetica->pChars[0], &letter.header, &letter.bits), 1);
  // A space has no ink.
  EXPECT_EQ(PTK_GetCharBitmap(doc_.get(), &desc, &helvetica->pChars[1], &space.header, &space.bits),
            0);
  EXPECT_EQ(space.header, nullptr);
  // Beyond the glyph renderer's size limit the glyph is still drawn.
  desc.dScaleX = desc.dScaleY = 400;
  EXPECT_EQ(PTK_GetCharBitmap(doc_.get(), &desc, &helvetica->pChars[0], &large.header, &large.bits),
            1);
  PTK_FreePageContentTextStream(runs);
  ASSERT_NE(letter.header, nullptr);
  ASSERT_NE(large.header, nullptr);
  EXPECT_NEAR(-letter.header->biHeight, 0.718 * 48, 2);  // cap height of A
  EXPECT_NEAR(-large.header->biHeight, 0.718 * 400, 6);
}

TEST_F(GlyphTest, BadRequestsFail) {
  Bitmap b;
  PTK_CharRecord ch{};
  ch.nGlyph = 0x21;
  EXPECT_EQ(PTK_GetCharBitmap(nullptr, &desc_, &ch, &b.header, &b.bits), 0);
  EXPECT_EQ(PTK_GetCharBitmap(doc_.get(), nullptr, &ch, &b.header, &b.bits), 0);
  EXPECT_EQ(PTK_GetCharBitmap(doc_.get(), &desc_, nullptr, &b.header, &b.bits), 0);
  for (const char16_t* key : {u"", u"no such font", u"99999 0 R", u"1 0 R", u"-3 0 R"}) {
    PTK_RunDesc desc = desc_;
    desc.pszFontKey = key;
    EXPECT_EQ(PTK_GetCharBitmap(doc_.get(), &desc, &ch, &b.header, &b.bits), 0);
  }
  for (double scale : {0.0, -5.0, 1e9, std::numeric_limits<double>::quiet_NaN()}) {
    PTK_RunDesc desc = desc_;
    desc.dScaleX = desc.dScaleY = scale;
    EXPECT_EQ(PTK_GetCharBitmap(doc_.get(), &desc, &ch, &b.header, &b.bits), 0);
  }
  for (int glyph : {0x7F /* no procedure */, 256, 100000, -1}) {
    ch.nGlyph = glyph;
    EXPECT_EQ(PTK_GetCharBitmap(doc_.get(), &desc_, &ch, &b.header, &b.bits), 0) << glyph;
  }
  EXPECT_EQ(b.header, nullptr);
  EXPECT_EQ(b.bits, nullptr);
}

}  // namespace
