// Text intake on pages with known runs, and custom decoding with a font settings file.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "engine_fixture.h"
#include "vwin32/codepage.h"

namespace {

using enginetest::Engine;
using enginetest::FindRun;
using enginetest::TextsBySeq;

std::string Text(const std::string& font, double size, double x, double y,
                 const std::string& text) {
  return "BT /" + font + " " + vtest::PdfNum(size) + " Tf " + vtest::PdfNum(x) + " " +
         vtest::PdfNum(y) + " Td " + vtest::PdfLiteral(text) + " Tj ET\n";
}

TEST(TextIntake, DroppedRunsKeepTheirSequenceNumbersAndLeaveNoNames) {
  vtest::PdfWriter w;
  const std::string helv = w.AddStandardFont("Helvetica");
  const std::string times = w.AddStandardFont("Times-Roman");
  const std::string courier = w.AddStandardFont("Courier");
  w.AddPage(300, 400,
            Text(helv, 12, 20, 300, "First") + Text(times, 100, 0, 200, "WWWWWW") +  // too wide
                Text(courier, 12, 500, 300, "Outside") + Text(helv, 12, 20, 100, "Last"));
  Engine engine;
  engine.OpenDoc(w, "text-drops");
  ASSERT_EQ(engine.LoadPage(1, LPF_TEXT, FALSE), S_OK);

  auto runs = enginetest::RunsBySeq(engine.m_textBlocks);
  ASSERT_EQ(TextsBySeq(engine.m_textBlocks), (std::vector<std::u16string>{u"First", u"Last"}));
  EXPECT_EQ(runs[0]->m_nFirstSeq, 0);
  EXPECT_EQ(runs[1]->m_nFirstSeq, 3);
  // Only kept runs enter the name tables, each name once.
  const CPageInfo& info = *engine.m_pPageInfo;
  EXPECT_EQ(info.m_fontNames, std::vector<std::u16string>{u"Helvetica"});
  EXPECT_EQ(info.m_encodingNames, std::vector<std::u16string>{u"WinAnsiEncoding"});
  EXPECT_EQ(info.m_fontKeys.size(), 1u);
  EXPECT_EQ(runs[1]->m_nFontIndex, 0);
  // Page coordinates: y downward from the top of the page.
  EXPECT_NEAR(runs[0]->m_dBaselineY, 100, 1e-6);
  // Runs span their line cell, 0.12 em below the baseline to 0.88 em above it.
  EXPECT_NEAR(runs[0]->m_dBottom, 100 + 0.12 * 12, 1e-3);
  EXPECT_NEAR(runs[0]->m_dTop, 100 - 0.88 * 12, 1e-3);
}

TEST(TextIntake, DegenerateGlyphBoxesGetBoxesOnTheirOrigins) {
  vtest::PdfWriter w;
  const std::string helv = w.AddStandardFont("Helvetica");
  w.AddPage(300, 400, Text(helv, 20, 50, 300, "A B") + Text(helv, 10, 100, 200, " "));
  Engine engine;
  engine.OpenDoc(w, "text-degenerate");
  ASSERT_EQ(engine.LoadPage(1, LPF_TEXT, FALSE), S_OK);

  // The space of "A B" has no ink: half a size wide, 0.8 of a size above its origin.
  CTextBlock* ab = FindRun(engine.m_textBlocks, u"A B");
  ASSERT_NE(ab, nullptr);
  const PTK_CharRecord& space = ab->m_pChars[1];
  EXPECT_DOUBLE_EQ(space.dX0, space.dOriginX);
  EXPECT_NEAR(space.dX1 - space.dX0, 10, 1e-9);
  EXPECT_DOUBLE_EQ(space.dY0, space.dOriginY);
  EXPECT_NEAR(space.dY0 - space.dY1, 16, 1e-9);
  EXPECT_GT(ab->m_pChars[0].dX1 - ab->m_pChars[0].dX0, 5);  // a drawn glyph keeps its box

  // A run without ink gets a box of half a size by 0.8 of a size on its baseline origin.
  CTextBlock* blank = FindRun(engine.m_textBlocks, u" ");
  ASSERT_NE(blank, nullptr);
  EXPECT_NEAR(blank->m_dLeft, 100, 1e-6);
  EXPECT_NEAR(blank->m_dRight, 105, 1e-6);
  EXPECT_NEAR(blank->m_dTop, 192, 1e-6);
  EXPECT_NEAR(blank->m_dBottom, 200, 1e-6);
}

TEST(TextIntake, CustomRunsWithoutCodesAreFlaggedWithPlaceholders) {
  vtest::PdfWriter w;
  const std::string plain = w.AddType3Font("ABCDEF-HeiTi", 3);     // no "_" after the "-"
  const std::string listed = w.AddType3Font("GHIJKL-Song_B3", 3);  // family listed below
  const std::string helv = w.AddStandardFont("Helvetica");
  w.AddPage(400, 400,
            "BT /" + plain + " 20 Tf 50 300 Td (!\"#) Tj ET\n" + "BT /" + listed +
                " 20 Tf 50 200 Td (!\"#) Tj ET\n" + Text(helv, 12, 50, 100, "Plain"));
  Engine engine(enginetest::ModuleDirWithFontSettings(
      "custom", "<HGFontSet><Font Name=\"Song\"/></HGFontSet>"));
  engine.OpenDoc(w, "text-custom");
  ASSERT_EQ(engine.LoadPage(1, LPF_TEXT, FALSE), S_OK);

  EXPECT_EQ(engine.m_fontSetCounts[u"Song"], u"1");
  ASSERT_EQ(TextsBySeq(engine.m_textBlocks),
            (std::vector<std::u16string>{u"???", u"???", u"Plain"}));
  auto runs = enginetest::RunsBySeq(engine.m_textBlocks);
  EXPECT_NE(runs[0]->m_nFlags & 0x800000u, 0u);
  EXPECT_NE(runs[1]->m_nFlags & 0x800000u, 0u);
  EXPECT_EQ(runs[2]->m_nFlags & 0x800000u, 0u);
}

TEST(TextIntake, SubstitutionFontsMapTheirCharacters) {
  // D2A1 becomes A1A1 and D4A5 becomes A3A5 (code page 936 codes) in a substitution font.
  const std::u16string from{vwin32::AnsiCodeToUnicode(0xD2A1), vwin32::AnsiCodeToUnicode(0xD4A5)};
  const std::u16string to{vwin32::AnsiCodeToUnicode(0xA1A1), vwin32::AnsiCodeToUnicode(0xA3A5)};
  vtest::PdfWriter w;
  const std::string symbols = w.AddCjkFont("EU-B3");
  const std::string song = w.AddCjkFont("STSong-Light");
  w.AddPage(400, 400,
            "BT /" + symbols + " 12 Tf 50 300 Td " + vtest::PdfHexUtf16(from) + " Tj ET\n" +
                "BT /" + song + " 12 Tf 50 200 Td " + vtest::PdfHexUtf16(from) + " Tj ET\n");
  Engine engine;
  engine.OpenDoc(w, "text-substitution");
  ASSERT_EQ(engine.LoadPage(1, LPF_TEXT, FALSE), S_OK);
  EXPECT_EQ(TextsBySeq(engine.m_textBlocks), (std::vector<std::u16string>{to, from}));
  // The last code of the table's last row.
  EXPECT_EQ(engine.m_charMap[vwin32::AnsiCodeToUnicode(0xF4A4)], vwin32::AnsiCodeToUnicode(0xA65E));
}

TEST(TextIntake, FontsWithLowGlyphsHaveTheirSizesDividedBy1_8) {
  vtest::PdfWriter w;
  const std::string helv = w.AddStandardFont("Helvetica");
  const std::string times = w.AddStandardFont("Times-Roman");
  // Lower-case x reaches about half an em, capitals about 0.7 em.
  w.AddPage(400, 400, Text(helv, 18, 50, 300, "xxxx") + Text(times, 18, 50, 200, "HHHHHH"));
  Engine engine;
  engine.OpenDoc(w, "text-calibration");
  ASSERT_EQ(engine.LoadPage(1, LPF_TEXT, FALSE), S_OK);

  CTextBlock* low = FindRun(engine.m_textBlocks, u"xxxx");
  CTextBlock* high = FindRun(engine.m_textBlocks, u"HHHHHH");
  ASSERT_TRUE(low != nullptr && high != nullptr);
  EXPECT_LT(low->m_dGlyphHeightRatio, 0.55);
  EXPECT_NEAR(low->m_dFontSize, 10, 1e-9);
  EXPECT_NEAR(low->m_dRunValue, 10, 1e-9);
  EXPECT_GT(high->m_dGlyphHeightRatio, 0.6);
  EXPECT_GT(high->m_dGlyphWidthRatio, 3.0);  // six capitals wide
  EXPECT_NEAR(high->m_dFontSize, 18, 1e-9);
  // Body font size: weighted by text over the sizes strictly between 6 and 18.
  EXPECT_NEAR(engine.m_pPageInfo->m_dBodyFontSize, 10, 1e-9);
}

TEST(TextIntake, TakingInTextDropsTheGraphBlocks) {
  vtest::PdfWriter w;
  const std::string helv = w.AddStandardFont("Helvetica");
  w.AddPage(300, 300, "10 10 m 200 10 l S\n" + Text(helv, 12, 20, 200, "Words"));
  Engine engine;
  engine.OpenDoc(w, "text-graphs");
  ASSERT_EQ(engine.LoadPage(1, LPF_PATHS, FALSE), S_OK);
  EXPECT_EQ(engine.m_graphBlocks.GetSize(), 1);
  ASSERT_EQ(engine.LoadPage(1, LPF_TEXT | LPF_PATHS, FALSE), S_OK);
  EXPECT_EQ(engine.m_graphBlocks.GetSize(), 0);
  EXPECT_EQ(engine.GetState() & (PSW_TEXT | PSW_PATHS), PSW_TEXT | PSW_PATHS);
  // In one call paths come after text and stay.
  ASSERT_EQ(engine.LoadPage(1, LPF_TEXT | LPF_PATHS | LPF_RESET, FALSE), S_OK);
  EXPECT_EQ(engine.m_graphBlocks.GetSize(), 1);
}

TEST(CustomDecoding, FontSettingsDecideWhichFamiliesAreDecoded) {
  Engine engine(enginetest::ModuleDirWithFontSettings(
      "decoding",
      "<HGFontSet><Font Name=\"Song\"/><Font/><Group><Font Name=\"Kai\"/></Group>"
      "</HGFontSet>"));
  engine.ReadFontSettings();
  engine.ReadFontSettings();
  // Three "Font" elements at any depth but two children: the names past them read as empty.
  EXPECT_EQ(engine.m_fontSetCounts,
            (std::map<std::u16string, std::u16string>{{u"", u"4"}, {u"Song", u"2"}}));

  auto Run = [&](char16_t code) {
    auto block = std::make_unique<CTextBlock>(engine.m_pPageInfo);
    PTK_CharRecord c{};
    c.nCode = code;
    c.nNoCode = PTK_HAS_CODE;
    block->SetChars(&c, 1);
    return block;
  };
  // A character of the code page row B3 is decoded already.
  auto decoded = Run(vwin32::AnsiCodeToUnicode(0xB3A1));
  EXPECT_TRUE(engine.DecodeCustomRun(decoded.get(), u"ABCDEF-Song_B3"));
  EXPECT_EQ(decoded->m_strText, std::u16string(1, vwin32::AnsiCodeToUnicode(0xB3A1)));
  // A raw code of that row, reported as if it were UTF-16, is decoded from its two bytes.
  auto raw = Run(0xB3C8);
  EXPECT_FALSE(engine.DecodeCustomRun(raw.get(), u"ABCDEF-Kai_B3"));  // nested: not listed
  EXPECT_FALSE(engine.DecodeCustomRun(raw.get(), u"ABCDEF-Song_C4"));
  EXPECT_FALSE(engine.DecodeCustomRun(raw.get(), u"ABCDEF-Song"));
  EXPECT_EQ(raw->m_strText, u"\xB3C8");
  EXPECT_TRUE(engine.DecodeCustomRun(raw.get(), u"ABCDEF-Song_b3"));
  EXPECT_EQ(raw->m_strText, std::u16string(1, vwin32::AnsiCodeToUnicode(0xB3C8)));
}

}  // namespace
