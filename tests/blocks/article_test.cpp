#include <gtest/gtest.h>

#include "block_fixture.h"
#include "blocks/article.h"
#include "blocks/picblock.h"

namespace {

long CountOf(IBlockList* list) {
  long n = -1;
  list->GetCount(&n);
  return n;
}

ITextBlock* ItemOf(IBlockList* list, int i) {
  long* item = nullptr;
  list->GetItemAt(i, &item);
  return reinterpret_cast<ITextBlock*>(item);
}

CPicBlock* MakePic(CPageInfo* info, double l, double t, double r, double b) {
  auto* pic = new CPicBlock(info);
  pic->m_dLeft = l, pic->m_dTop = t, pic->m_dRight = r, pic->m_dBottom = b;
  return pic;
}

}  // namespace

class ArticleTest : public ::testing::Test {
 protected:
  CPageInfo info;
};

TEST_F(ArticleTest, TextListByKind) {
  CArticle article(&info);
  article.m_pMainTitle = MakeBlock(&info, 0, 0, 10, 10, u"title");
  article.m_pBody = MakeBlock(&info, 0, 10, 10, 50, u"body");
  article.m_pBody->m_children.Add(MakeBlock(&info, 0, 10, 10, 50, u"para"));
  IArticle* ip = &article;

  IBlockList* list = nullptr;
  ASSERT_EQ(ip->GetTextList(&list, 0), S_OK);
  ASSERT_EQ(CountOf(list), 2);
  EXPECT_EQ(ItemOf(list, 0), static_cast<ITextBlock*>(article.m_pMainTitle));
  EXPECT_EQ(ItemOf(list, 1), static_cast<ITextBlock*>(article.m_pBody));
  list->Release();

  article.m_pUpperTitle = MakeBlock(&info, 0, 0, 1, 1, u"upper");
  article.m_pSubTitle = MakeBlock(&info, 0, 0, 1, 1, u"sub");
  ASSERT_EQ(ip->GetTextList(&list, 0), S_OK);
  ASSERT_EQ(CountOf(list), 4);
  EXPECT_EQ(ItemOf(list, 0), static_cast<ITextBlock*>(article.m_pUpperTitle));
  EXPECT_EQ(ItemOf(list, 2), static_cast<ITextBlock*>(article.m_pSubTitle));
  list->Release();
  const struct {
    int type;
    CTextBlock* block;
  } single[] = {{1, article.m_pMainTitle},
                {2, article.m_pUpperTitle},
                {3, article.m_pSubTitle},
                {4, article.m_pBody}};
  for (const auto& s : single) {
    ASSERT_EQ(ip->GetTextList(&list, s.type), S_OK) << s.type;
    EXPECT_EQ(CountOf(list), 1);
    EXPECT_EQ(ItemOf(list, 0), static_cast<ITextBlock*>(s.block));
    list->Release();
  }
}

TEST_F(ArticleTest, MissingKindsAndUnknownKinds) {
  CArticle article(&info);
  article.m_pMainTitle = MakeBlock(&info, 0, 0, 10, 10);
  IArticle* ip = &article;
  IBlockList* list = reinterpret_cast<IBlockList*>(0x1);
  EXPECT_EQ(ip->GetTextList(&list, 2), E_FAIL);
  EXPECT_EQ(list, nullptr);
  list = reinterpret_cast<IBlockList*>(0x1);
  EXPECT_EQ(ip->GetTextList(&list, 5), E_FAIL);
  EXPECT_EQ(list, reinterpret_cast<IBlockList*>(0x1));
  EXPECT_EQ(ip->GetTextList(&list, -1), E_FAIL);  // taken as unsigned
  EXPECT_EQ(list, reinterpret_cast<IBlockList*>(0x1));
  EXPECT_EQ(ip->GetPicList(&list), E_FAIL);
  EXPECT_EQ(list, nullptr);
}

TEST_F(ArticleTest, IdentifierAndHtml) {
  info.m_nPageIndex = 2;
  CArticle article(&info);
  article.SetArticleId(2);
  EXPECT_EQ(static_cast<IArticle&>(article).GetArticleId(), 0x00020002);
  info.m_nPageIndex = 0x12345;
  article.SetArticleId(0x10001);
  EXPECT_EQ(article.GetArticleId(), 0x23450001);

  // Without a body the article has no HTML.
  BSTR html = nullptr;
  article.BuildArticleHtml();
  EXPECT_EQ(article.GetHtml(&html), E_FAIL);

  article.m_pMainTitle = MakeBlock(&info, 0, 0, 1, 1);
  article.m_pMainTitle->m_strHtml = u"<p>t</p>";
  article.m_pBody = MakeBlock(&info, 0, 0, 1, 1);
  article.m_pBody->m_strHtml = u"<p>x</p>";
  CPicBlock* captioned = MakePic(&info, 0, 0, 1, 1);
  captioned->m_pCaption = MakeBlock(&info, 0, 0, 1, 1);
  captioned->m_pCaption->m_strHtml = u"<p>c</p>";
  article.m_pics.Add(captioned);
  article.m_pics.Add(MakePic(&info, 0, 0, 1, 1));
  ASSERT_EQ(article.BuildArticleHtml(), S_OK);
  ASSERT_EQ(article.GetHtml(&html), S_OK);
  EXPECT_EQ(TakeBstr(html), u"<html> <body> <p>x</p> </body> </html>");
  ASSERT_EQ(captioned->GetHtml(&html), S_OK);
  EXPECT_EQ(TakeBstr(html), u"<html> <body> <p>c</p> </body> </html>");
}

TEST_F(ArticleTest, BoundingRectOfPicturesAndText) {
  CArticle article(&info);
  article.m_pics.Add(MakePic(&info, 10, 10, 20.5, 20));
  article.m_pics.Add(MakePic(&info, 30, 5, 40, 15.01));
  RECT rc{};
  EXPECT_FALSE(article.GetBoundingRect(&rc, 3));
  ASSERT_TRUE(article.GetBoundingRect(&rc, 8));
  EXPECT_EQ(rc.left, 10);
  EXPECT_EQ(rc.top, 5);
  EXPECT_EQ(rc.right, 40);
  EXPECT_EQ(rc.bottom, 20);

  article.m_pBody = MakeBlock(&info, 5, 50, 10.002, 60);
  ASSERT_TRUE(article.GetBoundingRect(&rc, 255));
  EXPECT_EQ(rc.left, 5);
  EXPECT_EQ(rc.right, 40);
  EXPECT_EQ(rc.bottom, 60);
  ASSERT_TRUE(article.GetBoundingRect(&rc, 3));
  EXPECT_EQ(rc.right, 11);  // text rule
  // A detaching flag does not detach here.
  ASSERT_TRUE(article.GetBoundingRect(&rc, ART_DETACH | ART_BODY));
  EXPECT_NE(article.m_pBody, nullptr);
}

TEST_F(ArticleTest, CollectBlocksOrderSkipsAndDetach) {
  CArticle article(&info);
  article.m_pMainTitle = MakeBlock(&info, 0, 0, 1, 1, u"main");
  article.m_pUpperTitle = MakeBlock(&info, 0, 0, 1, 1, u"upper");
  article.m_pSubTitle = MakeBlock(&info, 0, 0, 1, 1, u"sub");
  article.m_pBody = MakeBlock(&info, 0, 0, 1, 1, u"body");
  CPicBlock* withRun = MakePic(&info, 0, 0, 1, 1);
  withRun->m_pCaption = MakeBlock(&info, 0, 0, 1, 1, u"run caption");
  CPicBlock* emptyGroup = MakePic(&info, 0, 0, 1, 1);
  emptyGroup->m_pCaption = MakeBlock(&info, 0, 0, 1, 1, u"empty group");
  emptyGroup->m_pCaption->SetLevel(2);
  article.m_pics.Add(withRun);
  article.m_pics.Add(emptyGroup);

  CTextBlockArray list;
  EXPECT_TRUE(article.CollectBlocks(list, ART_TITLES | ART_BODY | ART_CAPTIONS));
  ASSERT_EQ(list.GetSize(), 5);
  EXPECT_EQ(list[0]->m_strText, u"main");
  EXPECT_EQ(list[1]->m_strText, u"sub");
  EXPECT_EQ(list[2]->m_strText, u"upper");
  EXPECT_EQ(list[3]->m_strText, u"body");
  EXPECT_EQ(list[4]->m_strText, u"run caption");
  EXPECT_NE(article.m_pMainTitle, nullptr);

  // Detached blocks belong to the list's owner; the skipped caption stays with its picture.
  CTextBlockArray taken;
  article.CollectBlocks(taken, ART_DETACH | ART_TITLES | ART_CAPTIONS);
  EXPECT_EQ(taken.GetSize(), 4);
  EXPECT_EQ(article.m_pMainTitle, nullptr);
  EXPECT_EQ(article.m_pUpperTitle, nullptr);
  EXPECT_EQ(withRun->m_pCaption, nullptr);
  EXPECT_NE(emptyGroup->m_pCaption, nullptr);
  EXPECT_NE(article.m_pBody, nullptr);
  taken.DeleteBlockTree();
  EXPECT_EQ(taken.GetSize(), 0);
}
