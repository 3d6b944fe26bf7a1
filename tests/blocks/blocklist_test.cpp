#include <gtest/gtest.h>

#include "block_fixture.h"
#include "blocks/article.h"
#include "blocks/picblock.h"

namespace {

// A group of level 2 with n children, each child with one grandchild.
CTextBlock* MakeGroup(CPageInfo* info, int n) {
  CTextBlock* group = MakeBlock(info, 0, 0, 1, 1, u"group");
  group->SetLevel(2);
  for (int i = 0; i < n; ++i) {
    CTextBlock* child = MakeBlock(info, 0, 0, 1, 1, u"child");
    child->SetLevel(1);
    child->m_children.Add(MakeBlock(info, 0, 0, 1, 1, u"run"));
    group->m_children.Add(child);
  }
  return group;
}

}  // namespace

class BlockListTest : public ::testing::Test {
 protected:
  CPageInfo info;
};

TEST_F(BlockListTest, OnlyGroupsAnswerTextList) {
  CTextBlock run(&info);
  CTextBlock block(&info);
  block.SetLevel(1);
  IBlockList* list = reinterpret_cast<IBlockList*>(0x1);
  EXPECT_EQ(run.GetTextList(&list, 0), E_FAIL);
  EXPECT_EQ(block.GetTextList(&list, 0), E_FAIL);
  EXPECT_EQ(list, reinterpret_cast<IBlockList*>(0x1));

  CTextBlockArray page;
  page.Add(MakeGroup(&info, 3));
  ASSERT_EQ(page[0]->GetTextList(&list, 0), S_OK);
  long n = 0;
  EXPECT_EQ(list->GetCount(&n), S_OK);
  EXPECT_EQ(n, 3);
  page.DeleteBlockTree();  // the list borrowed; it is released after its blocks are gone
  EXPECT_EQ(list->Release(), 0u);
}

TEST_F(BlockListTest, HandedOutListCountsReferences) {
  CTextBlock* group = MakeGroup(&info, 2);
  IBlockList* list = nullptr;
  ASSERT_EQ(group->GetTextList(&list, 0), S_OK);
  EXPECT_EQ(list->AddRef(), 2u);
  EXPECT_EQ(list->Release(), 1u);

  void* unk = nullptr;
  ASSERT_EQ(list->QueryInterface(IID_IUnknown, &unk), S_OK);
  EXPECT_EQ(unk, static_cast<void*>(list));
  void* same = nullptr;
  ASSERT_EQ(list->QueryInterface(IID_IBlockList, &same), S_OK);
  EXPECT_EQ(same, static_cast<void*>(list));
  EXPECT_EQ(list->Release(), 2u);
  EXPECT_EQ(list->Release(), 1u);
  void* disp = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(list->QueryInterface(IID_IDispatch, &disp), E_NOINTERFACE);
  EXPECT_EQ(disp, nullptr);
  EXPECT_EQ(list->QueryInterface(IID_IDataAdaptor, &disp), E_NOINTERFACE);

  // Releasing the last reference leaves the group's own list and the children intact.
  EXPECT_EQ(list->Release(), 0u);
  ASSERT_EQ(group->m_children.GetSize(), 2);
  EXPECT_EQ(group->m_children[1]->m_strText, u"child");
  DeleteTextBlockTree(group);
}

TEST_F(BlockListTest, ItemAccessOutsideTheListIsRejected) {
  auto* list = new CPicBlockArray();
  IBlockList* ip = nullptr;
  ASSERT_EQ(list->HandOut(&ip), S_OK);
  long n = -1;
  ASSERT_EQ(ip->GetCount(&n), S_OK);
  EXPECT_EQ(n, 0);
  long* item = reinterpret_cast<long*>(0x1);
  EXPECT_EQ(ip->GetItemAt(0, &item), E_INVALIDARG);

  CPicBlock pic(&info);
  list->Add(&pic);
  EXPECT_EQ(ip->GetItemAt(-1, &item), E_INVALIDARG);
  EXPECT_EQ(ip->GetItemAt(1, &item), E_INVALIDARG);
  EXPECT_EQ(item, reinterpret_cast<long*>(0x1));
  ASSERT_EQ(ip->GetItemAt(0, &item), S_OK);
  EXPECT_EQ(reinterpret_cast<IPicBlock*>(item), static_cast<IPicBlock*>(&pic));
  EXPECT_EQ(ip->Release(), 0u);  // the picture lives on

  // Inside the component an index outside raises.
  CArticleArray articles;
  EXPECT_THROW(articles.GetAt(0), std::out_of_range);
}

TEST_F(BlockListTest, DeepDeletesFreeEverythingBelow) {
  // Checked by the leak detector: every block, image, caption and article is freed once.
  CTextBlockArray texts;
  texts.Add(MakeGroup(&info, 2));
  texts.Add(MakeBlock(&info, 0, 0, 1, 1));
  CTextBlockArray copy = texts;  // a plain copy borrows the same blocks
  EXPECT_EQ(copy.m_nRefCount, 0);
  texts.DeleteBlockTree();
  EXPECT_TRUE(texts.IsEmpty());

  CPicBlockArray pics;
  CPicBlock* pic = new CPicBlock(&info);
  pic->m_pCaption = MakeGroup(&info, 2);
  pic->m_pImage = new CxImage();
  pics.Add(pic);
  pics.DeleteAllPics();

  CArticleArray articles;
  auto* article = new CArticle(&info);
  article->m_pBody = MakeGroup(&info, 3);
  article->m_pMainTitle = MakeBlock(&info, 0, 0, 1, 1);
  auto* artPic = new CPicBlock(&info);
  artPic->m_pCaption = MakeGroup(&info, 1);
  article->m_pics.Add(artPic);
  articles.Add(article);
  articles.Add(new CArticle(&info));
  articles.DeleteAllArticles();
  EXPECT_EQ(articles.GetSize(), 0);

  CGraphBlockArray graphs;
  auto* graph = new CGraphBlock();
  graph->m_nKind = 3;
  graph->m_points.Add({1, 2});
  graphs.Add(graph);
  graphs.DeleteAll();
}
