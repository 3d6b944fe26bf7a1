#include <gtest/gtest.h>

#include <string>

#include "engine/pdfinstance.h"
#include "layout/formation.h"
#include "layout_fixture.h"
#include "vwin32/strings.h"

namespace {

class Formation : public LayoutTest {
 protected:
  void TearDown() override { list.DeleteBlockTree(); }

  // A level-1 block over new runs, as clustering makes it; owned by whoever holds it.
  CTextBlock* NewBlock(std::initializer_list<CTextBlock*> runs) {
    CTextBlockArray group;
    for (CTextBlock* run : runs) group.Add(run);
    return CombineBlocks(group, true);
  }

  CTextBlockArray list;  // owns its blocks; deleted with their trees
};

TEST_F(Formation, EmptyAndLonelyRuns) {
  EXPECT_EQ(FormTextBlocksImpl(list), 0);
  EXPECT_TRUE(list.IsEmpty());

  // A run that joins nothing stays a run; a single character keeps no type.
  list.Add(NewRun(0, 0, 0, 10, 10, 10, u"x"));
  list.Add(NewRun(1, 500, 500, 560, 510, 10, u"alone"));
  EXPECT_EQ(FormTextBlocksImpl(list), 1);
  ASSERT_EQ(list.GetSize(), 2);
  for (CTextBlock* block : list) EXPECT_EQ(block->GetLevel(), 0);
  EXPECT_EQ(list[0]->GetType(), TBT_NONE);
  EXPECT_EQ(list[1]->GetType(), TBT_BODY);
}

TEST_F(Formation, DifferentSizesJoinOnlyNextInStream) {
  CTextBlock* small = Run(1, 0, 100, 50, 109, 9);
  CTextBlock* next = Run(2, 52, 98, 100, 110, 12);
  next->m_dBaselineY = small->m_dBaselineY + 0.3;
  EXPECT_TRUE(IsRunJoinable(small, next));
  CTextBlock* later = Run(5, 52, 98, 100, 110, 12);
  later->m_dBaselineY = small->m_dBaselineY + 0.3;
  EXPECT_FALSE(IsRunJoinable(small, later));
  // Equal sizes need no stream neighbourhood.
  CTextBlock* same = Run(5, 52, 100, 100, 109, 9);
  EXPECT_TRUE(IsRunJoinable(small, same));
}

TEST_F(Formation, StreamSteps) {
  CTextBlock* a = Block(1, {Run(1, 0, 0, 10, 10), Run(3, 0, 12, 10, 22)});
  CTextBlock* b = Block(1, {Run(2, 20, 0, 30, 10), Run(4, 20, 12, 30, 22)});
  EXPECT_EQ(CountStreamSteps(a, b, 3), 3);
  EXPECT_EQ(CountStreamSteps(b, a, 3), 3);
  EXPECT_EQ(CountStreamSteps(a, b, 2), 2);
  EXPECT_EQ(CountStreamSteps(a, Run(10, 20, 0, 30, 10), 3), 0);
  EXPECT_EQ(CountStreamSteps(a, Run(4, 20, 0, 30, 10), 3), 1);
}

TEST_F(Formation, ParagraphLinesJoinAcrossLines) {
  list.Add(NewRun(0, 0, 100, 200, 110, 10, u"first line"));
  list.Add(NewRun(1, 0, 112, 180, 122, 10, u"second"));
  list.Add(NewRun(2, 0, 124, 150, 134, 10, u"third"));
  list.Add(NewRun(3, 600, 700, 700, 710, 10, u"elsewhere"));
  ASSERT_EQ(FormTextBlocksImpl(list), 1);
  ASSERT_EQ(list.GetSize(), 2);
  CTextBlock* paragraph = list[0]->GetLevel() == 1 ? list[0] : list[1];
  ASSERT_EQ(paragraph->GetLevel(), 1);
  EXPECT_EQ(paragraph->m_children.GetSize(), 3);
  EXPECT_EQ(paragraph->m_nOrderKey, 1);  // (0 + 1 + 2) / 3
  EXPECT_EQ(paragraph->GetType(), TBT_BODY);
  EXPECT_NE(paragraph->m_strText.find(u"first line"), std::u16string::npos);
  EXPECT_EQ(paragraph->m_strHtml.rfind(u"<p><font face = \"F0\"  size = \"10.00\"> <![CDATA[", 0),
            0u);
}

TEST_F(Formation, BlockFontIsTheOneWithMostText) {
  CTextBlock* a = NewRun(0, 0, 100, 40, 110, 10, u"ab");
  CTextBlock* b = NewRun(1, 42, 100, 140, 110, 10, u"longer");
  b->m_nFontIndex = 2;
  list.Add(NewBlock({a, b}));
  SetBlockFont(list[0]);
  EXPECT_EQ(list[0]->m_nFontIndex, 2);
}

TEST_F(Formation, SuperscriptAfterParagraphIsAbsorbed) {
  CTextBlock* paragraph = NewBlock({NewRun(10, 0, 100, 200, 110, 10, u"words"),
                                    NewRun(11, 0, 112, 180, 122, 10, u"more words")});
  // Directly after the paragraph's last run, inside its box.
  CTextBlock* superscript = NewRun(12, 181, 111, 184, 116, 5, u"1");
  // Inside the box too, but elsewhere in the stream.
  CTextBlock* stranger = NewRun(40, 190, 112, 194, 118, 5, u"2");
  list.Add(superscript);
  list.Add(paragraph);
  list.Add(stranger);
  AbsorbStrayChars(list);
  ASSERT_EQ(list.GetSize(), 2);
  EXPECT_EQ(list[0], stranger);
  CTextBlock* joined = list[1];
  EXPECT_EQ(joined->GetLevel(), 1);
  ASSERT_EQ(joined->m_children.GetSize(), 3);
  EXPECT_NE(joined->m_children.Find(superscript), -1);
  EXPECT_EQ(joined->m_nLastSeq, 12);
}

TEST_F(Formation, FragmentBetweenTwoBlocksJoinsBoth) {
  list.Add(NewRun(1, 0, 100, 40, 110, 10, u"left"));
  list.Add(NewRun(2, 43, 100, 49, 110, 10, u"-"));
  list.Add(NewRun(3, 52, 100, 90, 110, 10, u"right"));
  list.Add(NewRun(9, 300, 100, 340, 110, 10, u"other"));
  JoinFragments(list);
  ASSERT_EQ(list.GetSize(), 2);
  EXPECT_EQ(list[0]->GetLevel(), 1);
  EXPECT_EQ(list[0]->m_children.GetSize(), 3);

  // Too far from the next piece (more than half its font size): nothing joins.
  list.DeleteBlockTree();
  list.Add(NewRun(1, 0, 100, 40, 110, 10, u"left"));
  list.Add(NewRun(2, 43, 100, 49, 110, 10, u"-"));
  list.Add(NewRun(3, 56, 100, 90, 110, 10, u"right"));
  JoinFragments(list);
  EXPECT_EQ(list.GetSize(), 3);
}

TEST_F(Formation, SideBySideBlocksJoinWhenTheStreamAlternates) {
  list.Add(
      NewBlock({NewRun(1, 0, 100, 40, 110, 10, u"aaaa"), NewRun(3, 0, 112, 40, 122, 10, u"cc")}));
  list.Add(NewBlock(
      {NewRun(2, 60, 100, 100, 110, 10, u"bbbb"), NewRun(4, 60, 112, 100, 122, 10, u"dd")}));
  EXPECT_TRUE(IsStreamContinuation(list[0], list[1]));
  JoinSideBySide(list);
  ASSERT_EQ(list.GetSize(), 1);
  EXPECT_EQ(list[0]->m_children.GetSize(), 4);

  // The same geometry with a stream that finishes one block before the other: two blocks.
  list.DeleteBlockTree();
  list.Add(
      NewBlock({NewRun(1, 0, 100, 40, 110, 10, u"aaaa"), NewRun(2, 0, 112, 40, 122, 10, u"cc")}));
  list.Add(NewBlock(
      {NewRun(10, 60, 100, 100, 110, 10, u"bbbb"), NewRun(11, 60, 112, 100, 122, 10, u"dd")}));
  EXPECT_FALSE(IsStreamContinuation(list[0], list[1]));
  EXPECT_FALSE(IsLineContinuation(list[0], list[1]));
  JoinSideBySide(list);
  EXPECT_EQ(list.GetSize(), 2);
}

TEST_F(Formation, TitleClassification) {
  auto classify = [&](double size, int lines, size_t length) {
    CTextBlock* block = Run(0, 0, 0, 100, 10, size, std::u16string(length, u'a'));
    block->m_nLineCount = lines;
    return ClassifyBlock(block);
  };
  // Body size 10.
  EXPECT_EQ(classify(13, 2, 25), TBT_TITLE);
  EXPECT_EQ(classify(13, 2, 30), TBT_BODY);
  EXPECT_EQ(classify(12, 2, 29), TBT_TITLE);  // exactly 1.2 times
  EXPECT_EQ(classify(11.9, 1, 5), TBT_BODY);
  EXPECT_EQ(classify(13, 3, 25), TBT_BODY);
  EXPECT_EQ(classify(20, 9, 400), TBT_TITLE);  // exactly twice
  EXPECT_EQ(classify(19.9, 9, 400), TBT_BODY);
  EXPECT_EQ(classify(30, 1, 1), TBT_NONE);  // a single character has no type
  CTextBlock* kept = Run(0, 0, 0, 100, 10, 30, u"abc");
  kept->SetType(TBT_PAGE_HEADER);
  EXPECT_EQ(ClassifyBlock(kept), TBT_PAGE_HEADER);
}

TEST(FormationSample, FrontPageHeadlineIsOneBlock) {
  const std::string dir = VELLUMA_SAMPLES_DIR;
  CPDFInstance engine;
  engine.SetModuleDir(vwin32::FromUtf8(dir + "/no-such-folder"));
  ASSERT_EQ(engine.Open(vwin32::FromUtf8(dir + "/front-page.pdf").c_str()), S_OK);
  ASSERT_EQ(engine.LoadPage(1, LPF_TEXT | 1, FALSE), S_OK);
  const CTextBlockArray& blocks = engine.GetTextBlocks();
  ASSERT_FALSE(blocks.IsEmpty());
  const std::u16string headline = u"全市百万户居民温暖过冬";
  int found = 0;
  for (const CTextBlock* block : blocks) {
    EXPECT_FALSE(block->m_strHtml.empty());
    if (block->m_strText.find(headline) != std::u16string::npos) {
      ++found;
      EXPECT_EQ(block->GetType(), TBT_TITLE);
    }
  }
  EXPECT_EQ(found, 1);
}

}  // namespace
