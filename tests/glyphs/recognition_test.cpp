// Glyph recognition inside the engine: the sheet's geometry, glyphs shared between fonts, the
// state a page without flagged runs leaves alone, and a library that fails.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "engine/pdfinstance.h"
#include "glyphs/recognition.h"
#include "layout/stages.h"
#include "ttfwriter.h"
#include "vwin32/strings.h"

namespace {

// A black image of w x h pixels, 1 bit per pixel, white transparent.
St_ImageNode Node(int w, int h, int x, int y) {
  St_ImageNode n;
  n.image.Create(static_cast<DWORD>(w), static_cast<DWORD>(h), 1);
  const RGBQUAD pal[2] = {{0xFF, 0xFF, 0xFF, 0}, {0, 0, 0, 0}};
  n.image.SetPalette(pal, 2);
  n.image.Clear(0xFF);
  n.image.SetTransColor(pal[0]);
  n.x = static_cast<uint8_t>(x);
  n.y = static_cast<uint8_t>(y);
  n.w = static_cast<uint8_t>(w);
  n.h = static_cast<uint8_t>(h);
  return n;
}

bool Ink(const CxImage& sheet, long x, long yFromTop) {
  return sheet.GetPixelIndex(x, static_cast<long>(sheet.GetHeight()) - 1 - yFromTop) == 1;
}

TEST(GlyphSheetTest, SeventeenCellsAndATallGlyph) {
  std::vector<St_ImageNode> nodes;
  nodes.push_back(Node(20, 70, 3, 10));  // taller than its cell: 63 - 70 = -7 above the bottom
  for (int i = 1; i < 17; ++i) nodes.push_back(Node(10, 10, -5, 8));
  CxImage sheet;
  ASSERT_TRUE(PlaceGlyphNodes(nodes, sheet));
  EXPECT_EQ(sheet.GetWidth(), 1024u);
  EXPECT_EQ(sheet.GetHeight(), 128u);
  // Cell 16 is the first of the second row: x from max(0, -5), 8 rows above the row's bottom.
  EXPECT_TRUE(Ink(sheet, 0, 127 - 8));
  EXPECT_TRUE(Ink(sheet, 9, 127 - 17));
  EXPECT_FALSE(Ink(sheet, 10, 127 - 8));
  EXPECT_FALSE(Ink(sheet, 5, 127 - 18));
  // Cell 1 sits in the first row, 64 pixels on.
  EXPECT_TRUE(Ink(sheet, 64 + 2, 63 - 8));
  // The tall glyph: its lowest 7 rows lie below its cell's bottom edge (top-down row 63).
  EXPECT_TRUE(Ink(sheet, 3 + 5, 63 + 7));
  EXPECT_FALSE(Ink(sheet, 3 + 5, 63 + 8));
  // Separators: the row line under a full row, column lines left of each cell.
  EXPECT_TRUE(Ink(sheet, 500, 63));
  EXPECT_TRUE(Ink(sheet, 127, 30));
  EXPECT_FALSE(Ink(sheet, 500, 127));  // the second row is not full
}

class RecognitionTest : public ::testing::Test {
 protected:
  static std::string Write(const std::string& name, const std::string& bytes) {
    std::filesystem::create_directories(VELLUMA_TEST_TMP);
    const std::string path = std::string(VELLUMA_TEST_TMP) + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  // Two embedded subsets of the same program, named differently; nothing names their codes.
  static std::string TwoFonts() {
    vtest::TtfSpec spec;
    for (int id = 1; id <= 2; ++id) spec.glyphs.push_back(vtest::IdGlyph(id));
    spec.symbolMap = {{0x21, 1}, {0x22, 2}};
    vtest::SimpleFont a, b;
    a.program = b.program = vtest::BuildTrueType(spec);
    a.baseFont = "AAAAAA+One";
    b.baseFont = "BBBBBB+Two";
    return vtest::SimpleFontPdf(
        {a, b}, "BT /F1 20 Tf 40 200 Td (!\"!) Tj ET BT /F2 20 Tf 40 150 Td (!) Tj ET");
  }
  void SetUp() override { setenv("VELLUMA_STUB_CHARS", "日报", 1); }
};

TEST_F(RecognitionTest, FontsShareCellsAndUnflaggedPagesKeepTheState) {
  setenv("VELLUMA_GLYPHREC", VELLUMA_GLYPHREC_STUB, 1);
  CPDFInstance engine;
  ASSERT_EQ(engine.Open(vwin32::FromUtf8(Write("two-fonts.pdf", TwoFonts())).c_str()), S_OK);
  ASSERT_EQ(engine.LoadPage(1, LPF_TEXT | LPF_RECOGNISE, FALSE), S_OK);
  const CGlyphRecogState& state = engine.m_recog;
  // Glyph 0x21 of both fonts renders the same: one cell, two keys.
  ASSERT_EQ(state.m_glyphMap.size(), 3u);
  EXPECT_EQ(state.m_glyphSheet.GetHeight(), 64u);
  std::map<uint32_t, int> cellUse;
  for (const auto& [key, cell] : state.m_glyphMap) ++cellUse[cell];
  EXPECT_EQ(cellUse.size(), 2u);
  ASSERT_EQ(state.m_nResultCount, 2);
  std::u16string texts;
  for (const CTextBlock* b : engine.m_textBlocks) texts += b->m_strText + u"|";
  EXPECT_EQ(texts, u"日报日|日|");

  // A list without flagged runs renders nothing and leaves the state as it was.
  const St_RecogResult* results = state.m_pResults;
  CTextBlockArray none;
  RecogniseGlyphs(engine, nullptr, &none);
  EXPECT_EQ(state.m_pResults, results);
  EXPECT_EQ(state.m_glyphMap.size(), 3u);
  EXPECT_TRUE(state.m_glyphSheet.IsValid());
}

TEST_F(RecognitionTest, FailingLibraryKeepsPlaceholders) {
  setenv("VELLUMA_GLYPHREC", VELLUMA_GLYPHREC_STUB, 1);
  for (const char* failure : {"create", "page"}) {
    setenv("VELLUMA_STUB_FAIL", failure, 1);
    CPDFInstance engine;
    ASSERT_EQ(engine.Open(vwin32::FromUtf8(Write("failing.pdf", TwoFonts())).c_str()), S_OK);
    ASSERT_EQ(engine.LoadPage(1, LPF_TEXT | LPF_RECOGNISE, FALSE), S_OK);
    std::u16string texts;
    for (const CTextBlock* b : engine.m_textBlocks) texts += b->m_strText + u"|";
    EXPECT_EQ(texts, u"???|?|") << failure;
    EXPECT_EQ(engine.m_recog.m_pResults, nullptr) << failure;
    EXPECT_TRUE(engine.m_recog.m_glyphSheet.IsValid()) << failure;
    EXPECT_EQ(engine.GetState() & PSW_RECOGNISED, PSW_RECOGNISED) << failure;
  }
  unsetenv("VELLUMA_STUB_FAIL");
}

}  // namespace
