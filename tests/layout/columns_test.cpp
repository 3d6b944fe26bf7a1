#include "layout/columns.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/pdfinstance.h"
#include "layout/formation.h"
#include "layout_fixture.h"
#include "vwin32/strings.h"

namespace {

class Columns : public LayoutTest {
 protected:
  void TearDown() override { list.DeleteBlockTree(); }

  // A classified paragraph of two lines 10 high and 2 apart, from top, each line two runs
  // that split it in half; its runs are numbered on from seq. Owned by whoever holds it.
  CTextBlock* Paragraph(int seq, double top, double left = 0, double right = 200) {
    CTextBlockArray runs;
    const double mid = (left + right) / 2;
    for (int line = 0; line < 2; ++line) {
      const double t = top + 12 * line;
      runs.Add(NewRun(seq++, left, t, mid, t + 10, 10, u"文字文字"));
      runs.Add(NewRun(seq++, mid, t, right, t + 10, 10, u"文字文字"));
    }
    CTextBlock* block = CombineBlocks(runs, true);
    ClassifyBlock(block);
    return block;
  }

  CTextBlockArray list;  // owns its blocks; deleted with their trees
};

TEST_F(Columns, LargeTextAndLonelyBlocksStayAsTheyAre) {
  EXPECT_EQ(RegroupColumnsImpl(list), 0);

  CTextBlock* body = Paragraph(5, 300);
  CTextBlock* title = NewRun(1, 0, 0, 400, 30, 30, u"大标题");
  list.Add(body);
  list.Add(title);
  EXPECT_EQ(RegroupColumnsImpl(list), 1);
  // The large text keeps its place ahead of the regrouped text, and is classified.
  ASSERT_EQ(list.GetSize(), 2);
  EXPECT_EQ(list[0], title);
  EXPECT_EQ(list[1], body);  // a group of one is not wrapped
  EXPECT_EQ(body->GetLevel(), 1);
  EXPECT_EQ(title->GetType(), TBT_TITLE);
}

TEST_F(Columns, AlignedParagraphsThatFollowInTheStreamJoin) {
  CTextBlock* first = Paragraph(1, 0);
  CTextBlock* second = Paragraph(5, 40);  // too far below for a plain follow-on
  ASSERT_TRUE(first->m_nFlags & TBF_TAIL_ALIGNED);
  ASSERT_TRUE(second->m_nFlags & TBF_HEAD_ALIGNED);
  const std::u16string joined = first->m_strText + second->m_strText;
  list.Add(second);
  list.Add(first);
  RegroupColumnsImpl(list);
  ASSERT_EQ(list.GetSize(), 1);
  CTextBlock* group = list[0];
  EXPECT_EQ(group->GetLevel(), 2);
  ASSERT_EQ(group->m_children.GetSize(), 2);
  EXPECT_EQ(group->m_children[0], first);
  EXPECT_EQ(group->m_strText, joined);
}

TEST_F(Columns, ParagraphsApartInStreamAndSpaceStaySeparate) {
  list.Add(Paragraph(1, 0));
  list.Add(Paragraph(10, 40));
  RegroupColumnsImpl(list);
  ASSERT_EQ(list.GetSize(), 2);
  for (CTextBlock* block : list) EXPECT_EQ(block->GetLevel(), 1);
}

TEST_F(Columns, NarrowMultiLineBlockDoesNotContinueItsColumn) {
  list.Add(Paragraph(1, 0));
  // Close below and as wide as the column: continues it.
  list.Add(Paragraph(10, 30));
  // Inside the column but 10 units short of its right edge.
  list.Add(Paragraph(10, 30, 0, 190));
  CTextBlockArray group;
  group.Add(list[0]);
  EXPECT_EQ(ColumnOf(list[2], {0, 201}), 0);
  bool straddles = false;
  EXPECT_EQ(ColumnOf(list[2], {0, 201}, &straddles), 0);
  EXPECT_TRUE(straddles);
  EXPECT_TRUE(IsGroupContinuation(group, list[1]));
  EXPECT_FALSE(IsGroupContinuation(group, list[2]));
  // A block across the gap between two columns straddles it.
  straddles = false;
  EXPECT_EQ(ColumnOf(list[1], {0, 90, 110, 201}, &straddles), -1);
  EXPECT_TRUE(straddles);
}

TEST_F(Columns, FlushPullsBackEarlierPiecesOfTheGroup) {
  CTextBlock* top = Paragraph(1, 0);
  CTextBlock* middle = Paragraph(10, 30);
  CTextBlock* bottom = Paragraph(20, 60);
  list.Add(top);
  list.Add(bottom);
  CTextBlockArray group;
  group.Add(middle);
  // The last output continues the group and is pulled back, then the one before it.
  FlushGroup(group, list);
  ASSERT_EQ(list.GetSize(), 1);
  CTextBlock* joined = list[0];
  EXPECT_EQ(joined->GetLevel(), 2);
  EXPECT_EQ(joined->m_children.GetSize(), 3);
  // A later group dissolves an earlier one only when the stream links the two.
  CTextBlock* apart = Paragraph(30, 90);
  group.RemoveAll();
  group.Add(apart);
  EXPECT_FALSE(GroupContinues(joined, group));
  CTextBlockArray spare;
  spare.Add(apart);
  CTextBlock* linked = Paragraph(24, 90);
  group.RemoveAll();
  group.Add(linked);
  EXPECT_TRUE(GroupContinues(joined, group));
  FlushGroup(group, list);  // joined is destroyed, its pieces move into the new group
  ASSERT_EQ(list.GetSize(), 1);
  EXPECT_EQ(list[0]->m_children.GetSize(), 4);
  EXPECT_EQ(list[0]->GetLevel(), 2);
  spare.DeleteBlockTree();
}

TEST_F(Columns, SelectBlocksMovesTheChosenBlocks) {
  CTextBlock* small = NewRun(1, 0, 0, 50, 10, 10, u"ab");
  CTextBlock* large = NewRun(2, 0, 20, 50, 50, 30, u"cd");
  list.Add(small);
  list.Add(large);
  CTextBlockArray target;
  const RECT area{0, 15, 100, 60};
  EXPECT_EQ(SelectBlocks(list, target, &area, SBT_ALL, 0), 1);
  EXPECT_EQ(SelectBlocks(list, target, nullptr, SBS_DETACH | SBT_FONT_ABOVE, 20), 1);
  ASSERT_EQ(list.GetSize(), 1);
  EXPECT_EQ(list[0], small);
  list.Add(large);
}

TEST(ColumnsSample, LeadArticleBodyIsOneGroup) {
  const std::string dir = VELLUMA_SAMPLES_DIR;
  CPDFInstance engine;
  engine.SetModuleDir(vwin32::FromUtf8(dir + "/no-such-folder"));
  ASSERT_EQ(engine.Open(vwin32::FromUtf8(dir + "/front-page.pdf").c_str()), S_OK);
  ASSERT_EQ(engine.LoadPage(1, LPF_TEXT | 2, FALSE), S_OK);
  // The article's body runs in four column pieces, the last two below its photo; the phrases
  // open the first piece and close the last.
  const std::u16string opening = u"本报讯（记者 林晓";
  const std::u16string closing = u"倒逼企业提升服务质量";
  int found = 0;
  for (const CTextBlock* block : engine.GetTextBlocks()) {
    if (block->m_strText.find(opening) == std::u16string::npos) continue;
    ++found;
    EXPECT_EQ(block->GetLevel(), 2);
    EXPECT_NE(block->m_strText.find(closing), std::u16string::npos);
    EXPECT_EQ(block->m_children.GetSize(), 4);
  }
  EXPECT_EQ(found, 1);
}

}  // namespace
