// Recognition of page count, date, page identifier and page name among candidate blocks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "blocks/textblock.h"
#include "pageinfo/pageinfo.h"

namespace {

class RecognitionTest : public ::testing::Test {
 protected:
  void SetUp() override { info.m_dPageWidth = 1000; }
  // Blocks left in the list belong to the test; recognised ones to info.
  void TearDown() override { list.DeleteBlockTree(); }

  // A one-line block added to the list.
  CTextBlock* Add(const std::u16string& text, double left = 400, double top = 400,
                  double right = 500, int lines = 1) {
    auto* block = new CTextBlock(&info);
    block->m_strText = text;
    block->m_dLeft = left;
    block->m_dTop = top;
    block->m_dRight = right;
    block->m_dBottom = top + 20;
    block->m_dFontSize = 10;
    block->m_nLineCount = lines;
    block->m_dBaselineX = left;
    block->m_dBaselineY = top + 16;
    list.Add(block);
    return block;
  }
  std::vector<std::u16string> Texts() {
    std::vector<std::u16string> texts;
    for (const CTextBlock* block : list) texts.push_back(block->m_strText);
    return texts;
  }

  CPageInfo info;
  CTextBlockArray list;
};

TEST(RegexSearchTest, SpansFaultyAndHostileExpressions) {
  int start = -1;
  int end = -1;
  ASSERT_TRUE(CPageInfo::RegexSearch(u"见第3版", u"第[0-9]版", start, end));
  EXPECT_EQ(start, 1);
  EXPECT_EQ(end, 4);
  EXPECT_FALSE(CPageInfo::RegexSearch(u"abc", u"(unclosed", start, end));
  EXPECT_FALSE(CPageInfo::RegexSearch(u"", u"x", start, end));
  EXPECT_TRUE(
      CPageInfo::RegexSearch(u"a\xD800"
                             u"b",
                             u"a.b", start, end));  // lone surrogate
  // Catastrophic backtracking stops at the limit and reads as no match.
  const std::u16string hostile = std::u16string(40, u'a') + u"!";
  EXPECT_FALSE(CPageInfo::RegexSearch(hostile, u"(a+)+$", start, end));
}

TEST(NumberTest, PageCountsAndNormalisation) {
  const struct {
    std::u16string count;
    int value;
  } cases[] = {{u"今日16版", 16}, {u"本期十版", 10},     {u"十五版", 15},      {u"二十版", 20},
               {u"二十五", 25},   {u"今日 １６ 版", 16}, {u"今日\r\n八版", 8}, {u"", 0}};
  for (const auto& c : cases) {
    CPageInfo info;
    info.m_strPageCount = c.count;
    EXPECT_EQ(info.ParsePageCount(), c.value);
  }
  std::u16string text = u"2OO8年l月B～—";
  CPageInfo::NormaliseDigits(text);
  EXPECT_EQ(text, u"2008年1月8一一");
}

TEST_F(RecognitionTest, DateTexts) {
  const struct {
    std::u16string text;
    int lines;
    bool date;
  } cases[] = {{u"2008年5月6日 星期二", 1, true}, {u"2008.5.6", 1, true},      {u"星期二", 1, true},
               {u"今天是星期二晚上", 1, false},   {u"2008年5月6日", 5, false}, {u"", 1, false}};
  for (const auto& c : cases) {
    int start = 0;
    int end = 0;
    EXPECT_EQ(info.IsDateText(Add(c.text, 0, 0, 10, c.lines), start, end, TRUE), c.date)
        << testing::PrintToString(c.lines);
  }
}

TEST_F(RecognitionTest, DateCandidatesChoiceAndCombination) {
  Add(u"2008年5月", 0, 40);
  Add(u"正文");
  Add(u"2008年5月6日 星期二", 0, 60);
  CTextBlock* date = info.FindDateBlock(list, TRUE);
  ASSERT_NE(date, nullptr);
  EXPECT_EQ(date->m_strText, u"2008年5月6日 星期二");
  EXPECT_EQ(Texts(), (std::vector<std::u16string>{u"正文", u"2008年5月"}));
  delete date;

  // Neither candidate passes the year-month test: both are combined under a new block.
  list.DeleteBlockTree();
  Add(u"星期二", 0, 40, 20);
  Add(u"星期三", 30, 40, 80);
  date = info.FindDateBlock(list, TRUE);
  ASSERT_NE(date, nullptr);
  EXPECT_EQ(date->m_children.GetSize(), 2);
  EXPECT_TRUE(list.IsEmpty());
  DeleteTextBlockTree(date);
}

TEST_F(RecognitionTest, ConfiguredDateChoiceTakesTopmostIssueDateMatch) {
  info.m_pConfig->m_lists[CCL_IS_DATE_BLOCK] = {u"DATE"};
  info.m_pConfig->m_lists[CCL_ISSUE_DATE] = {u"FULL"};
  Add(u"DATE FULL", 0, 90);
  Add(u"DATE", 0, 10);
  Add(u"DATE FULL", 0, 50);
  CTextBlock* date = info.FindDateBlock(list, FALSE);
  ASSERT_NE(date, nullptr);
  EXPECT_EQ(date->m_dTop, 50);
  EXPECT_EQ(list.GetSize(), 2);
  delete date;
}

TEST_F(RecognitionTest, DateSplitOffLongGroupedBlock) {
  CTextBlock* head = Add(u"本报讯记者某某报道", 0, 0, 90);
  CTextBlock* when = Add(u"2008年5月6日", 100, 0, 200);
  CTextBlock* tail = Add(u"星期二", 200, 0, 240);
  list.RemoveAll();
  CTextBlock* group = Add(u"本报讯记者某某报道2008年5月6日星期二", 0, 0, 240);
  for (CTextBlock* child : {head, when, tail}) group->m_children.Add(child);
  group->SetLevel(1);
  CTextBlock* date = info.FindDateBlock(list, TRUE);
  ASSERT_NE(date, nullptr);
  EXPECT_NE(date, group);
  EXPECT_EQ(date->m_strText, u"2008年5月6日星期二");
  ASSERT_EQ(list.GetSize(), 1);
  EXPECT_EQ(list[0], group);
  EXPECT_EQ(group->m_strText, u"本报讯记者某某报道");
  // The run left over was folded into the block: it must not name the deleted run.
  EXPECT_EQ(group->m_pHead, group);
  EXPECT_EQ(group->m_pTail, group);
  DeleteTextBlockTree(date);
}

// A date line joined with the lunar-date line below it into one text block, grouped into a
// column group alone or with a count notice: the split moves the whole block, or cannot split;
// either way the issue date is the date alone.
TEST_F(RecognitionTest, DateJoinedWithLunarLineKeepsOnlyTheDate) {
  for (const bool withNotice : {false, true}) {
    SCOPED_TRACE(withNotice);
    CTextBlock* dateLine = Add(u"2010年3月8日 星期一", 430, 30, 540);
    CTextBlock* lunarLine = Add(u"农历庚寅年正月廿三", 430, 44, 520);
    CTextBlock* notice = Add(u"今日八版", 430, 64, 480);
    list.RemoveAll();
    CTextBlock* joined = Add(u"2010年3月8日 星期一\r\n农历庚寅年正月廿三", 430, 30, 540, 2);
    list.RemoveAll();
    joined->m_children.Add(dateLine);
    joined->m_children.Add(lunarLine);
    joined->SetLevel(1);
    CTextBlock* group = Add(joined->m_strText + (withNotice ? u"\r\n今日八版" : u""), 430, 30, 540,
                            withNotice ? 3 : 2);
    group->m_children.Add(joined);
    if (withNotice)
      group->m_children.Add(notice);
    else
      delete notice;
    group->SetLevel(2);
    CTextBlock* date = info.FindDateBlock(list, TRUE);
    ASSERT_NE(date, nullptr);
    EXPECT_EQ(date->m_strText, u"2010年3月8日 星期一");
    DeleteTextBlockTree(date);
    list.DeleteBlockTree();
  }
}

TEST_F(RecognitionTest, SplitOffSpanLeavesBlockWhenChildrenDoNotCarryTheSpan) {
  CTextBlock* other = Add(u"无关", 0, 0, 20);
  list.RemoveAll();
  CTextBlock* group = Add(u"完全不同的文字内容", 0, 0, 90);
  group->m_children.Add(other);
  group->SetLevel(1);
  EXPECT_EQ(CPageInfo::SplitOffSpan(group, 2, 40), nullptr);
  EXPECT_EQ(group->m_children.GetSize(), 1);
}

TEST_F(RecognitionTest, PageIdentifierBlocks) {
  const struct {
    std::u16string text;
    double left, top;
    bool id;
  } cases[] = {{u"第3版", 100, 100, true},    {u"第3版", 100, 151, false},
               {u"上接第3版", 100, 0, false}, {u"A3版", 900, 0, true},
               {u"B12", 0, 0, true},          {u"第3版", 400, 0, false}};
  for (const auto& c : cases) {
    EXPECT_EQ(info.CheckPageIdBlock(Add(c.text, c.left, c.top, c.left + 40), TRUE), c.id)
        << testing::PrintToString(c.left + c.top);
  }
}

TEST_F(RecognitionTest, FrontPageNeedsTwoIndicators) {
  Add(u"第1234期");
  EXPECT_EQ(info.FindPageIdBlock(list, TRUE), nullptr);
  info.m_strPageCount = u"今日16版";
  CTextBlock* front = info.FindPageIdBlock(list, TRUE);
  ASSERT_NE(front, nullptr);
  EXPECT_EQ(front->m_strText, u"头版");
  EXPECT_EQ(front->m_nFlags, 0xFEu);
  EXPECT_EQ(front->m_dFontSize, 20.0);
  EXPECT_EQ(list.GetSize(), 1);
  delete front;
}

TEST_F(RecognitionTest, RecognisePageAndRunAgain) {
  Add(u"今日16版", 300, 700);
  Add(u"第1234期", 300, 800);
  Add(u"2008年5月6日 星期二", 0, 20, 200);
  CTextBlock* name = Add(u"要闻", 50, 60, 90);
  name->m_dFontSize = 20;
  ASSERT_EQ(info.RecognisePageInfo(list, TRUE, TRUE), S_OK);
  EXPECT_EQ(info.m_strPageCount, u"今日16版");
  ASSERT_NE(info.m_pDateBlock, nullptr);
  ASSERT_NE(info.m_pPageIdBlock, nullptr);
  EXPECT_EQ(info.m_pPageIdBlock->m_strText, u"头版");
  EXPECT_EQ(info.m_pPageNameBlock, name);

  // Run again with a real page identifier: the synthetic block is dropped, and fields whose
  // find yields nothing keep their blocks.
  CTextBlock* id = Add(u"第1版", 0, 0, 40);
  CTextBlock* date = info.m_pDateBlock;
  info.RecognisePageInfo(list, TRUE, TRUE);
  EXPECT_EQ(info.m_pPageIdBlock, id);
  EXPECT_EQ(info.m_pDateBlock, date);
  EXPECT_EQ(info.m_pPageNameBlock, name);

  // A new date block sends the old one back to the list; the front-page indicators, still
  // present, do not displace the real page identifier.
  Add(u"2009年1月2日 星期五", 0, 20, 200);
  info.RecognisePageInfo(list, TRUE, TRUE);
  EXPECT_EQ(info.m_pDateBlock->m_strText, u"2009年1月2日 星期五");
  EXPECT_EQ(info.m_pPageIdBlock, id);
  EXPECT_EQ(list[list.GetSize() - 1], date);
}

TEST_F(RecognitionTest, ConfiguredModeWithoutConfigurationFindsNothing) {
  Add(u"今日16版");
  Add(u"2008年5月6日 星期二", 0, 20, 200);
  Add(u"第1版", 0, 0, 40);
  info.RecognisePageInfo(list, FALSE, TRUE);
  EXPECT_TRUE(info.m_strPageCount.empty());
  EXPECT_EQ(info.m_pDateBlock, nullptr);
  EXPECT_EQ(info.m_pPageIdBlock, nullptr);
  EXPECT_EQ(list.GetSize(), 3);
}

}  // namespace
