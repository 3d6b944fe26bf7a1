#include <gtest/gtest.h>

#include <stdexcept>

#include "block_fixture.h"

class TextBlockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    info.m_dPageHeight = 800;
    info.m_nPageIndex = 3;
    info.m_fontNames = {u"Arial", u"SimSun"};
  }
  CPageInfo info;
};

TEST_F(TextBlockTest, EmptyBlockAnswers) {
  CTextBlock block(&info);
  ITextBlock* ip = &block;
  EXPECT_EQ(ip->GetPageIndex(), 3);
  BSTR bstr = nullptr;
  EXPECT_EQ(ip->GetHtml(&bstr), E_FAIL);
  EXPECT_EQ(bstr, nullptr);
  ASSERT_EQ(ip->GetText(&bstr), S_OK);  // empty text is still a string
  ASSERT_NE(bstr, nullptr);
  EXPECT_EQ(TakeBstr(bstr), u"");
  EXPECT_EQ(ip->GetLabelProp(nullptr), E_FAIL);
  EXPECT_EQ(ip->GetPicList(nullptr), E_FAIL);
}

TEST_F(TextBlockTest, FlagsPackTypeLevelAndDirectionIndependently) {
  CTextBlock block(&info);
  block.m_nFlags = TBF_UNRECOGNISED | TBF_HEAD_ALIGNED;
  block.SetType(TBT_PARAGRAPHED);
  block.SetLevel(2);
  block.SetDirection(9);
  EXPECT_EQ(block.m_nFlags, 0x00909223u);
  EXPECT_EQ(static_cast<ITextBlock&>(block).GetDirection(), 9);
  block.SetType(TBT_PICTURE);
  block.SetLevel(1);
  EXPECT_EQ(block.m_nFlags, 0x009091FFu);
  EXPECT_EQ(block.GetLevel(), 1);

  // Type groups against the caller's mask.
  for (uint32_t type : {0x00u, 0x11u, 0x13u, 0x20u, 0x24u}) {
    EXPECT_TRUE(CTextBlock::TypeAnswersToMask(type, 0x1)) << type;
    EXPECT_FALSE(CTextBlock::TypeAnswersToMask(type, 0xF0)) << type;
  }
  for (uint32_t type : {0xFEu, 0xFFu}) {
    EXPECT_TRUE(CTextBlock::TypeAnswersToMask(type, 0x10)) << type;
    EXPECT_FALSE(CTextBlock::TypeAnswersToMask(type, 0x0F)) << type;
  }
  for (uint32_t type : {0x10u, 0x14u, 0x25u, 0xFDu}) {
    EXPECT_FALSE(CTextBlock::TypeAnswersToMask(type, 0xFF)) << type;
  }
}

TEST_F(TextBlockTest, SetCharsSkipsEmSpaceFlipsOrdinatesAndDuplicatesStrings) {
  const char16_t ligature[] = u"ffi";
  PTK_CharRecord src[5] = {MakeChar(u'A', 10, 700), MakeChar(0x2003, 15, 700),
                           MakeChar(0xFB03, 20, 700, ligature), MakeChar(0, 25, 700),
                           MakeChar(0x41, 30, 700)};
  src[4].nNoCode = 0x41;  // code without a usable Unicode value
  CTextBlock block(&info);
  block.m_strText = u">";
  ASSERT_EQ(block.SetChars(src, 5), 1);
  ASSERT_EQ(block.m_nCharCount, 4);
  EXPECT_EQ(block.m_strText, u">A\uFB03??");
  EXPECT_NE(block.m_nFlags & TBF_UNRECOGNISED, 0u);

  const PTK_CharRecord& lig = block.m_pChars[1];
  EXPECT_EQ(lig.nCode, 0xFB03);
  EXPECT_EQ(lig.nGlyph, 0xFB03 + 1000);
  EXPECT_DOUBLE_EQ(lig.dOriginX, 20);  // abscissas unchanged
  EXPECT_DOUBLE_EQ(lig.dX1, 25);
  EXPECT_DOUBLE_EQ(lig.dOriginY, 100);  // 800 - 700
  EXPECT_DOUBLE_EQ(lig.dY0, 102);
  EXPECT_DOUBLE_EQ(lig.dY1, 92);
  ASSERT_NE(lig.pszText, nullptr);
  EXPECT_NE(lig.pszText, ligature);
  EXPECT_EQ(std::u16string(lig.pszText), u"ffi");
  EXPECT_EQ(block.m_pChars[0].pszText, nullptr);

  // A second run replaces the records (no leak) and appends its text.
  PTK_CharRecord more[1] = {MakeChar(u'Z', 1, 1, ligature)};
  ASSERT_EQ(block.SetChars(more, 1), 1);
  EXPECT_EQ(block.m_nCharCount, 1);
  EXPECT_EQ(block.m_strText, u">A\uFB03??Z");
}

TEST_F(TextBlockTest, SetCharsOfOnlyEmSpacesTakesNothing) {
  PTK_CharRecord src[2] = {MakeChar(0x2003, 1, 1), MakeChar(0x2003, 2, 1)};
  CTextBlock block(&info);
  EXPECT_EQ(block.SetChars(src, 2), 0);
  EXPECT_EQ(block.SetChars(src, 0), 0);
  EXPECT_EQ(block.m_pChars, nullptr);
  EXPECT_EQ(block.m_nCharCount, 0);
  EXPECT_EQ(block.m_strText, u"");
  EXPECT_EQ(block.m_nFlags, 0u);
}

TEST_F(TextBlockTest, CopyAttributesCopiesTheListedFieldsAndDeepCopiesRecords) {
  const char16_t s[] = u"xy";
  PTK_CharRecord three[3] = {MakeChar('a', 0, 0, s), MakeChar('b', 1, 0, s), MakeChar('c', 2, 0)};
  PTK_CharRecord five[5] = {MakeChar('1', 0, 0, s), MakeChar('2', 0, 0, s), MakeChar('3', 0, 0, s),
                            MakeChar('4', 0, 0), MakeChar('5', 0, 0)};
  auto* from = new CTextBlock(&info);
  from->SetChars(three, 3);
  from->m_dLeft = 1;
  from->m_dBottom = 9;
  from->m_nFlags = 0x00F0A311;  // type 0x11, level 3, direction 10, high bits
  from->m_nFirstSeq = 4;
  from->m_nLastSeq = 8;
  from->m_nFontIndex = 1;
  from->m_nEncodingIndex = 6;
  from->m_dFontSize = 10.5;
  from->m_dGlyphHeightRatio = 0.7;
  from->m_dGlyphWidthRatio = 0.4;
  from->m_dAngle1 = 90;
  from->m_dRunMetric1 = 0.8;
  from->m_bRunFlag2 = 7;
  from->m_dBaselineY = 33;

  CTextBlock to(&info);
  to.SetChars(five, 5);
  to.m_nFlags = 0x00002000;  // direction 2, type 0, level 0
  to.CopyAttributes(from);

  EXPECT_EQ(to.m_nFlags, 0x00002311u);  // type and level taken, direction and flags kept
  EXPECT_EQ(to.m_strText, u"abc");
  EXPECT_EQ(to.m_dLeft, 1);
  EXPECT_EQ(to.m_dBottom, 9);
  EXPECT_EQ(to.m_nFirstSeq, 4);
  EXPECT_EQ(to.m_nLastSeq, 8);
  EXPECT_EQ(to.m_nFontIndex, 1);
  EXPECT_EQ(to.m_nEncodingIndex, 0);
  EXPECT_EQ(to.m_dFontSize, 10.5);
  EXPECT_EQ(to.m_dGlyphHeightRatio, 0.7);
  EXPECT_EQ(to.m_dGlyphWidthRatio, 0.4);
  EXPECT_EQ(to.m_dAngle1, 0);
  EXPECT_EQ(to.m_dRunMetric1, 0);
  EXPECT_EQ(to.m_bRunFlag2, 7);
  EXPECT_EQ(to.m_dBaselineY, 33);
  EXPECT_EQ(to.m_pHead, from);
  ASSERT_EQ(to.m_nCharCount, 3);
  EXPECT_EQ(to.m_pChars[2].nCode, 'c');
  ASSERT_NE(to.m_pChars[0].pszText, nullptr);
  EXPECT_NE(to.m_pChars[0].pszText, from->m_pChars[0].pszText);
  delete from;  // the copies stay valid
  EXPECT_EQ(std::u16string(to.m_pChars[1].pszText), u"xy");

  // Copying from a block without records leaves none.
  CTextBlock empty(&info);
  to.CopyAttributes(&empty);
  EXPECT_EQ(to.m_pChars, nullptr);
  EXPECT_EQ(to.m_nCharCount, 0);
}

TEST_F(TextBlockTest, HtmlIsExactAndTextUnescaped) {
  CTextBlock block(&info);
  block.m_nFontIndex = 1;
  block.m_dFontSize = 10.5;
  block.m_strText = u"A<B";
  ASSERT_EQ(block.BuildBlockHtml(), S_OK);
  const std::u16string expected =
      u"<p><font face = \"SimSun\"  size = \"10.50\"> <![CDATA[A<B]]></font></p>";
  EXPECT_EQ(block.m_strHtml, expected);
  BSTR bstr = nullptr;
  ASSERT_EQ(static_cast<ITextBlock&>(block).GetHtml(&bstr), S_OK);
  EXPECT_EQ(TakeBstr(bstr), expected);
  block.m_dFontSize = 2.0 / 3.0;
  block.BuildBlockHtml();
  EXPECT_NE(block.m_strHtml.find(u"size = \"0.67\""), std::u16string::npos);
}

TEST_F(TextBlockTest, FontIndexOutsideTheTable) {
  CTextBlock block(&info);
  block.m_nFontIndex = 2;
  EXPECT_THROW(block.BuildBlockHtml(), std::out_of_range);
  BSTR bstr = nullptr;
  EXPECT_EQ(static_cast<ITextBlock&>(block).GetFontName(&bstr), E_FAIL);
  block.m_nFontIndex = -1;
  EXPECT_EQ(static_cast<ITextBlock&>(block).GetFontName(&bstr), E_FAIL);
  block.m_nFontIndex = 0;
  ASSERT_EQ(static_cast<ITextBlock&>(block).GetFontName(&bstr), S_OK);
  EXPECT_EQ(TakeBstr(bstr), u"Arial");
}

TEST_F(TextBlockTest, RegionIsRebuiltFromTheBoxAndOnlyIndexZeroExists) {
  CTextBlock block(&info);
  ITextBlock* ip = &block;
  int count = 0;
  ASSERT_EQ(ip->GetRegionCount(&count), S_OK);
  EXPECT_EQ(count, 1);
  IRegn* first = nullptr;
  IRegn* second = nullptr;
  ASSERT_EQ(ip->GetRegion(0, &first), S_OK);
  block.m_dRight = 50;
  ASSERT_EQ(ip->GetRegion(0, &second), S_OK);
  EXPECT_EQ(first, second);
  POINT pts[4];
  second->GetPoints(pts, &count);
  EXPECT_EQ(pts[1].x, 50);
  IRegn* untouched = reinterpret_cast<IRegn*>(0x1);
  EXPECT_EQ(ip->GetRegion(1, &untouched), E_FAIL);
  EXPECT_EQ(untouched, reinterpret_cast<IRegn*>(0x1));
}

TEST_F(TextBlockTest, UnionAndContainment) {
  CTextBlock a(&info);
  a.m_dLeft = 10, a.m_dTop = 10, a.m_dRight = 20, a.m_dBottom = 20;
  a.m_nFirstSeq = 5, a.m_nLastSeq = 6, a.m_nLineCount = 1;
  CTextBlock b(&info);
  b.m_dLeft = 15, b.m_dTop = 5, b.m_dRight = 30, b.m_dBottom = 18;
  b.m_nFirstSeq = 2, b.m_nLastSeq = 4, b.m_nLineCount = 3;
  EXPECT_EQ(a.UnionWith(&b), S_OK);
  EXPECT_EQ(a.m_dTop, 5);
  EXPECT_EQ(a.m_dRight, 30);
  EXPECT_EQ(a.m_nFirstSeq, 2);
  EXPECT_EQ(a.m_nLastSeq, 6);
  EXPECT_EQ(a.m_nLineCount, 3);

  // Integer box of a is (10, 5, 30, 20).
  EXPECT_TRUE(a.IsInRect(RECT{0, 0, 31, 21}, true));
  EXPECT_FALSE(a.IsInRect(RECT{0, 0, 25, 21}, true));
  EXPECT_TRUE(a.IsInRect(RECT{0, 0, 25, 21}, false));
  EXPECT_FALSE(a.IsInRect(RECT{30, 0, 40, 40}, false));  // touching edges only
}
