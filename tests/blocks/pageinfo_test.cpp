#include <gtest/gtest.h>

#include "block_fixture.h"

TEST(PageInfo, NothingToReportBeforeAPageIsLoaded) {
  CPageInfo info;
  IPageInfo* ip = &info;
  BSTR bstr = nullptr;
  int index = -5;
  EXPECT_EQ(ip->GetPageIndex(), 0);
  EXPECT_EQ(ip->GetPageSource(&index, &bstr), E_FAIL);
  EXPECT_EQ(index, -5);
  EXPECT_EQ(ip->GetPageName(&bstr), E_FAIL);
  EXPECT_EQ(ip->GetIssueDate(&bstr), E_FAIL);
  EXPECT_EQ(ip->GetPageCount(&bstr), E_FAIL);
  EXPECT_EQ(ip->GetPageId(&bstr), E_FAIL);
  EXPECT_EQ(ip->GetReservedText(&bstr), E_FAIL);
  EXPECT_EQ(bstr, nullptr);
  EXPECT_EQ(ip->GetImageWidth(), 0.0);
  EXPECT_EQ(ip->GetLabelProp(nullptr), E_FAIL);

  // A page name alone answers the page identifier.
  info.m_strPageName = u"doc_0001";
  ASSERT_EQ(ip->GetPageId(&bstr), S_OK);
  EXPECT_EQ(TakeBstr(bstr), u"doc_0001");
  // A page source needs a page index.
  info.m_strPageSource = u"/tmp/a.pdf";
  EXPECT_EQ(ip->GetPageSource(&index, &bstr), E_FAIL);
  info.m_nPageIndex = 4;
  ASSERT_EQ(ip->GetPageSource(&index, &bstr), S_OK);
  EXPECT_EQ(index, 4);
  EXPECT_EQ(TakeBstr(bstr), u"/tmp/a.pdf");
}

TEST(PageInfo, RecognisedBlocksAnswerAndTakePrecedence) {
  CPageInfo info;
  info.m_strPageName = u"doc_0001";
  info.m_pPageIdBlock = MakeBlock(&info, 0, 0, 10, 10, u"头版");
  info.m_pPageIdBlock->m_nFlags = TBT_PAGE_HEADER;
  info.m_pPageNameBlock = MakeBlock(&info, 0, 0, 1, 1, u"要闻");
  info.m_pDateBlock = MakeBlock(&info, 0, 0, 1, 1, u"2008年1月1日");
  info.m_strPageCount = u"16";
  IPageInfo* ip = &info;
  BSTR bstr = nullptr;
  ASSERT_EQ(ip->GetPageId(&bstr), S_OK);
  EXPECT_EQ(TakeBstr(bstr), u"头版");
  ASSERT_EQ(ip->GetPageName(&bstr), S_OK);
  EXPECT_EQ(TakeBstr(bstr), u"要闻");
  ASSERT_EQ(ip->GetIssueDate(&bstr), S_OK);
  EXPECT_EQ(TakeBstr(bstr), u"2008年1月1日");
  ASSERT_EQ(ip->GetPageCount(&bstr), S_OK);
  EXPECT_EQ(TakeBstr(bstr), u"16");

  // An empty identifier block still answers (with an empty text).
  info.m_pPageIdBlock->m_strText.clear();
  ASSERT_EQ(ip->GetPageId(&bstr), S_OK);
  EXPECT_EQ(TakeBstr(bstr), u"");
}  // the destructor deletes the three blocks

TEST(PageInfo, CollectRecognisedBlocksByMaskAndDetach) {
  CPageInfo info;
  CTextBlock* date = MakeBlock(&info, 0, 0, 1, 1, u"date");
  date->SetType(TBT_BODY);
  info.m_pDateBlock = date;
  info.m_pPageIdBlock = MakeBlock(&info, 0, 0, 1, 1, u"头版");
  info.m_pPageIdBlock->SetType(TBT_PAGE_HEADER);

  CTextBlockArray list;
  EXPECT_TRUE(info.CollectRecognisedBlocks(list, 0x0F));
  ASSERT_EQ(list.GetSize(), 1);
  EXPECT_EQ(list[0], date);
  EXPECT_EQ(info.m_pDateBlock, date);

  CTextBlockArray taken;
  EXPECT_TRUE(info.CollectRecognisedBlocks(taken, 0x8000000F));
  EXPECT_EQ(info.m_pDateBlock, nullptr);
  CTextBlockArray again;
  EXPECT_FALSE(info.CollectRecognisedBlocks(again, 0x8000000F));

  // Order: page identifier, page name, date.
  info.m_pDateBlock = date;
  CTextBlockArray all;
  EXPECT_TRUE(info.CollectRecognisedBlocks(all, 0xFF));
  ASSERT_EQ(all.GetSize(), 2);
  EXPECT_EQ(all[0], info.m_pPageIdBlock);
  EXPECT_EQ(all[1], date);
}

TEST(PageInfo, ResetDropsPageContentAndKeepsTheRest) {
  CPageInfo info;
  info.m_dPageWidth = 600;
  info.m_dPageHeight = 800;
  info.m_dImageWidth = 1200;
  info.m_dImageHeight = 1600;
  info.m_nPageIndex = 2;
  info.m_strDocPath = u"/d/x.pdf";
  info.m_strPageSource = u"/d/x.pdf";
  info.m_strPageCount = u"8";
  info.m_strPageName = u"x_0002";
  info.m_dBodyFontSize = 9.5;
  info.m_fontNames = {u"F"};
  info.m_fontKeys = {u"1 0 R"};
  info.m_encodingNames = {u"Custom"};
  info.m_pConfig->m_lists[CCL_PAGE_COUNT].push_back(u"\\d+版");
  info.m_pPageIdBlock = MakeBlock(&info, 0, 0, 1, 1, u"id");
  info.m_pPageIdBlock->SetType(TBT_PAGE_HEADER);
  info.m_pPageNameBlock = MakeBlock(&info, 0, 0, 1, 1, u"name");
  info.m_pPageNameBlock->SetType(0x30);  // answers to no mask: dropped all the same
  info.m_pDateBlock = MakeBlock(&info, 0, 0, 1, 1, u"date");
  info.m_pDateBlock->m_children.Add(MakeBlock(&info, 0, 0, 1, 1, u"part"));

  info.Reset(true);
  EXPECT_EQ(info.m_nPageIndex, 2);
  EXPECT_EQ(info.m_pPageIdBlock, nullptr);
  EXPECT_EQ(info.m_pPageNameBlock, nullptr);
  EXPECT_EQ(info.m_pDateBlock, nullptr);
  EXPECT_TRUE(info.m_fontNames.empty());
  EXPECT_TRUE(info.m_fontKeys.empty());
  EXPECT_TRUE(info.m_encodingNames.empty());
  EXPECT_TRUE(info.m_strPageSource.empty());
  EXPECT_TRUE(info.m_strPageCount.empty());
  EXPECT_EQ(info.m_dPageHeight, 800);
  EXPECT_EQ(info.GetImageWidth(), 1200);
  EXPECT_EQ(info.m_strDocPath, u"/d/x.pdf");
  EXPECT_EQ(info.m_strPageName, u"x_0002");
  EXPECT_EQ(info.m_dBodyFontSize, 9.5);
  EXPECT_EQ(info.m_pConfig->m_lists[CCL_PAGE_COUNT].size(), 1u);

  info.Reset(false);
  EXPECT_EQ(info.m_nPageIndex, 0);
}
