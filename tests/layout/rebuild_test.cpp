#include "layout/rebuild.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "layout/predicates.h"
#include "layout_fixture.h"

namespace {

const std::u16string kIdeo = u"\u3000";

TextLine Line(double l, double t, double r, double b, const std::u16string& text, double fs = 10) {
  TextLine line;
  line.m_dLeft = l;
  line.m_dTop = t;
  line.m_dRight = r;
  line.m_dBottom = b;
  line.m_dFontSize = fs;
  line.m_dBaselineY = b - 2;
  line.m_strText = text;
  return line;
}

}  // namespace

class RebuildTest : public LayoutTest {
 protected:
  // A line of runs of two characters, each 20 wide, from x = left on, at the given top.
  void AddLine(std::vector<CTextBlock*>& runs, int& seq, double left, double top, int count,
               const std::u16string& text) {
    for (int i = 0; i < count; ++i) {
      runs.push_back(Run(seq++, left + 20 * i, top, left + 20 * i + 20, top + 10, 10, text));
    }
  }

  CTextBlock* BlockOf(const std::vector<CTextBlock*>& runs) {
    CTextBlock* block = Block(1, {runs[0]});
    for (size_t i = 1; i < runs.size(); ++i) {
      block->UnionWith(runs[i]);
      block->m_children.Add(runs[i]);
    }
    return block;
  }
};

TEST(FillGap, CountsUnitsByStepAndTitleRule) {
  std::u16string text = u"ab";
  EXPECT_EQ(FillGap(text, 10, 2 * 0.8 * 10 + 0.1, true, 10), 2);
  EXPECT_EQ(text, u"ab  ");

  text = u"ab";
  EXPECT_EQ(FillGap(text, 10, 8, true, 10), 0);  // not above one step, body-sized text
  EXPECT_EQ(text, u"ab");

  text = u"Title";  // title-sized: a gap below one step still counts once from 0.6 body
  EXPECT_EQ(FillGap(text, 25, 7, true, 10), 1);
  EXPECT_EQ(text, u"Title ");
  EXPECT_EQ(FillGap(text, 25, 5, true, 10), 0);

  text = u"\u6807\u9898";  // non-ASCII steps by the full size
  EXPECT_EQ(FillGap(text, 10, 25, false, 10), 2);
  EXPECT_EQ(text, u"\u6807\u9898" + kIdeo + kIdeo);

  text = u"x";  // a zero size must not loop
  EXPECT_EQ(FillGap(text, 0, 50, true, 10), 0);
}

TEST_F(RebuildTest, AsciiLineFillsGapsWithBlanks) {
  CTextBlock* a = Run(0, 0, 0, 20, 10, 10, u"ab");
  CTextBlock* b = Run(1, 36.1, 0, 56.1, 10, 10, u"cd");
  CTextBlock* block = Block(1, {b, a});
  EXPECT_EQ(Rebuild(block), 1);
  EXPECT_EQ(DirectionOf(block), 1);
  EXPECT_EQ(block->m_strText, u"ab  cd");
  EXPECT_EQ(block->m_nLineCount, 1);
  EXPECT_EQ(block->m_pHead, a);
  EXPECT_EQ(block->m_pTail, b);
  EXPECT_TRUE(block->m_nFlags & TBF_HEAD_ALIGNED);
  EXPECT_TRUE(block->m_nFlags & TBF_TAIL_ALIGNED);
}

TEST_F(RebuildTest, ParagraphIndentInCjkText) {
  std::vector<CTextBlock*> runs;
  int seq = 0;
  AddLine(runs, seq, 20, 0, 3, u"\u4e2d\u6587");  // two character widths in
  AddLine(runs, seq, 0, 14, 4, u"\u6587\u5b57");  // flush left
  CTextBlock* block = BlockOf(runs);
  Rebuild(block);
  EXPECT_EQ(block->m_nLineCount, 2);
  EXPECT_EQ(block->m_strText, kIdeo + kIdeo + u"\u4e2d\u6587\u4e2d\u6587\u4e2d\u6587" +
                                  u"\u6587\u5b57\u6587\u5b57\u6587\u5b57\u6587\u5b57");
}

TEST_F(RebuildTest, ParagraphStartsInAsciiText) {
  std::vector<CTextBlock*> runs;
  int seq = 0;
  AddLine(runs, seq, 0, 0, 4, u"ab");
  AddLine(runs, seq, 0, 14, 4, u"cd");
  AddLine(runs, seq, 10, 28, 3, u"ef");  // indented by one font size: a new paragraph
  runs.push_back(Run(seq++, 70, 28, 80, 38, 10, u"g"));
  CTextBlock* block = BlockOf(runs);
  Rebuild(block);
  EXPECT_EQ(block->m_nLineCount, 3);
  EXPECT_EQ(block->GetType(), TBT_NONE);
  EXPECT_EQ(block->m_strText,
            u"abababab"
            u"cdcdcdcd"
            u"\r\n  efefefg");
}

TEST_F(RebuildTest, TwoLinesWithWideGapsAreSpacedWithoutIndents) {
  CTextBlock* a = Run(0, 0, 0, 10, 10, 10, u"a");
  CTextBlock* b = Run(1, 30, 0, 40, 10, 10, u"b");
  CTextBlock* c = Run(2, 60, 0, 70, 10, 10, u"c");
  CTextBlock* d = Run(3, 10, 14, 20, 24, 10, u"d");  // indented second line
  CTextBlock* e = Run(4, 40, 14, 50, 24, 10, u"e");
  CTextBlock* block = Block(1, {a, b, c, d, e});
  Rebuild(block);
  EXPECT_EQ(block->GetType(), TBT_SPACED);
  EXPECT_EQ(block->m_strText, u"a  b  c\r\nd  e");
}

TEST_F(RebuildTest, TableOfFourRowsIsSpacedText) {
  std::vector<CTextBlock*> runs;
  for (int row = 0; row < 4; ++row) {
    runs.push_back(Run(2 * row, 0, 14 * row, 20, 14 * row + 10, 10, u"ab"));
    runs.push_back(Run(2 * row + 1, 60, 14 * row, 80, 14 * row + 10, 10, u"cd"));
  }
  CTextBlock* block = BlockOf(runs);
  EXPECT_TRUE(IsSpacedText(block));
  std::vector<int> intervals;
  EXPECT_EQ(ColumnProfile(block->m_children, false, intervals), 4);
  EXPECT_EQ(intervals, (std::vector<int>{0, 21, 60, 81}));

  Rebuild(block);
  EXPECT_EQ(block->GetType(), TBT_SPACED);
  EXPECT_EQ(block->m_nLineCount, 4);
  EXPECT_EQ(block->m_strText, u"ab    cd\r\nab    cd\r\nab    cd\r\nab    cd");
}

TEST_F(RebuildTest, NarrowGapsMergeIntoOneInterval) {
  CTextBlockArray list =
      ListOf({Run(0, 0, 0, 20, 10, 10, u"ab"), Run(1, 25, 0, 45, 10, 10, u"cd")});
  std::vector<int> intervals;
  EXPECT_EQ(ColumnProfile(list, true, intervals), 1);
  EXPECT_EQ(intervals, (std::vector<int>{0, 46}));
  EXPECT_EQ(ColumnProfile(CTextBlockArray(), true, intervals), 0);
  EXPECT_TRUE(intervals.empty());
}

TEST_F(RebuildTest, VerticalColumnGapsBecomeIdeographicSpaces) {
  CTextBlock* c0 = Run(0, 0, 0, 10, 10, 10, u"\u4e00");
  CTextBlock* c1 = Run(1, 0, 45, 10, 55, 10, u"\u4e8c");  // 3.5 sizes below c0
  CTextBlock* c2 = Run(2, 0, 75, 10, 85, 10, u"\u4e09");  // exactly 2 sizes below c1
  CTextBlock* block = Block(1, {c2, c0, c1});
  Rebuild(block);
  ASSERT_EQ(DirectionOf(block), 5);
  EXPECT_EQ(block->m_strText, u"\u4e00" + kIdeo + kIdeo + kIdeo + u"\u4e8c" + kIdeo + u"\u4e09");
  EXPECT_EQ(block->m_nLineCount, 1);
}

TEST_F(RebuildTest, VerticalColumnThatStartsLowBreaksAndIndents) {
  CTextBlock* block =
      Block(1, {Run(0, 0, 0, 10, 10, 10, u"1"), Run(1, 0, 10, 10, 20, 10, u"2"),
                Run(2, 0, 20, 10, 30, 10, u"3"), Run(3, 20, 20, 30, 30, 10, u"4"),
                Run(4, 20, 30, 30, 40, 10, u"5"), Run(5, 20, 40, 30, 50, 10, u"6")});
  Rebuild(block);
  ASSERT_EQ(DirectionOf(block), 3);
  EXPECT_EQ(block->m_nLineCount, 2);
  EXPECT_EQ(block->m_strText, u"123\r\n" + kIdeo + u"456");
}

TEST_F(RebuildTest, RaggedLinesAreParagraphed) {
  std::vector<TextLine> lines;
  for (int i = 0; i < 6; ++i) {
    lines.push_back(Line(0, 14 * i, i % 2 ? 80 : 100, 14 * i + 10, std::u16string(1, u'a' + i)));
  }
  double left = 0, right = 100;
  EXPECT_TRUE(IsParagraphed(lines, left, right));
  EXPECT_EQ(right, 100);

  CTextBlock* block = Block(1, {Run(0, 0, 0, 100, 80)});
  block->m_nLineCount = 6;
  AssembleLines(block, 0, true, lines, false);
  EXPECT_EQ(block->GetType(), TBT_PARAGRAPHED);
  EXPECT_EQ(block->m_strText, u"ab\r\ncd\r\nef");

  // Justified lines and lines that are not flush left are not paragraphed.
  std::vector<TextLine> justified;
  for (int i = 0; i < 6; ++i) justified.push_back(Line(0, 14 * i, 100, 14 * i + 10, u"x"));
  EXPECT_FALSE(IsParagraphed(justified, left, right));
  lines[3].m_dLeft = 20;
  left = 0;
  right = 100;
  EXPECT_FALSE(IsParagraphed(lines, left, right));
}

TEST_F(RebuildTest, AlignedGroupMembersJoinWithoutLineBreak) {
  CTextBlock* p = Run(0, 0, 0, 100, 30, 10, u"first");
  CTextBlock* q = Run(1, 0, 40, 100, 70, 10, u"second");
  CTextBlock* r = Run(2, 0, 80, 100, 110, 10, u"third");
  for (CTextBlock* child : {p, q, r}) {
    child->SetType(TBT_BODY);
    child->SetDirection(1);
    child->m_nLineCount = 3;
  }
  p->m_nFlags |= TBF_TAIL_ALIGNED;
  q->m_nFlags |= TBF_HEAD_ALIGNED;  // q is not tail aligned: r starts a new line
  r->m_nFlags |= TBF_HEAD_ALIGNED;
  CTextBlock* group = Block(2, {q, r, p});
  Rebuild(group);
  EXPECT_EQ(DirectionOf(group), 1);
  EXPECT_EQ(Items(group->m_children), (std::vector<CTextBlock*>{p, q, r}));
  EXPECT_EQ(group->m_strText, u"firstsecond\r\nthird");
  EXPECT_EQ(group->m_nLineCount, 9);
  EXPECT_EQ(group->m_pHead, p);
  EXPECT_EQ(group->m_pTail, r);
}

TEST_F(RebuildTest, SpacedGroupMembersOnOneLineAreSeparatedByGap) {
  CTextBlock* p = Run(0, 0, 0, 20, 10, 10, u"ab");
  CTextBlock* q = Run(1, 45, 0, 65, 10, 10, u"cd");
  for (CTextBlock* child : {p, q}) {
    child->SetType(TBT_SPACED);
    child->m_nFlags |= TBF_HEAD_ALIGNED | TBF_TAIL_ALIGNED;
  }
  CTextBlock* group = Block(2, {p, q});
  AssembleGroup(group);
  EXPECT_EQ(group->m_strText, u"ab" + kIdeo + kIdeo + u"cd");
}

TEST_F(RebuildTest, OrderGroupMovesChildrenNextToTheirStreamNeighbours) {
  CTextBlock* a = Run(0, 0, 0, 40, 10);
  CTextBlock* b = Run(1, 50, 0, 90, 10);
  CTextBlock* c = Run(2, 0, 20, 40, 30);
  CTextBlock* group = Block(2, {b, c, a});  // column order alone gives a, c, b
  OrderGroup(group);
  EXPECT_EQ(Items(group->m_children), (std::vector<CTextBlock*>{a, b, c}));
  EXPECT_EQ(StreamOrderOf(a, b), -1);
  EXPECT_EQ(StreamOrderOf(b, a), 1);
  EXPECT_EQ(StreamOrderOf(a, c), 0);
}

TEST_F(RebuildTest, RebuildTreeRebuildsGroupsBottomUp) {
  CTextBlock* a = Run(0, 0, 0, 20, 10, 10, u"ab");
  CTextBlock* b = Run(1, 20, 0, 40, 10, 10, u"cd");
  CTextBlock* inner = Block(1, {a, b});
  CTextBlock* outer = Block(2, {inner});
  CTextBlock* run = Run(5, 0, 50, 10, 60, 10, u"z");
  CTextBlockArray list = ListOf({outer, run});
  a->m_strText = u"AB";
  RebuildTree(list);
  EXPECT_EQ(inner->m_strText, u"ABcd");
  EXPECT_EQ(outer->m_strText, u"ABcd");
  EXPECT_EQ(run->m_strText, u"z");
}

TEST_F(RebuildTest, SlantedLinesAreGroupedAcrossTheSlope) {
  std::vector<CTextBlock*> runs;
  const std::u16string texts[] = {u"a", u"b", u"c", u"d", u"e", u"f", u"g", u"h"};
  for (int i = 0; i < 8; ++i) {
    const double left = 10 * (i % 4);
    const double top = (i < 4 ? 0 : 20) + 3 * (i % 4);
    runs.push_back(Run(i, left, top, left + 10, top + 10, 10, texts[i]));
  }
  CTextBlock* block =
      BlockOf({runs[5], runs[0], runs[7], runs[2], runs[1], runs[4], runs[6], runs[3]});
  Rebuild(block);
  ASSERT_EQ(DirectionOf(block), 6);
  EXPECT_EQ(block->m_nLineCount, 2);
  EXPECT_EQ(block->m_strText, u"abcdefgh");
  EXPECT_EQ(Items(block->m_children), runs);
  EXPECT_EQ(block->m_pHead, runs[0]);
  EXPECT_EQ(block->m_pTail, runs[7]);
}
