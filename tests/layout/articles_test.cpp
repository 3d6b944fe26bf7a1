// Article assembly over blocks built by hand: title groups that split or give members back,
// and leftovers that become articles of their own. Every block ends in exactly one article.
#include "layout/articles.h"

#include <set>

#include "blocks/article.h"
#include "layout_fixture.h"

namespace {

class ArticlesTest : public LayoutTest {
 protected:
  void TearDown() override { articles.DeleteAllArticles(); }

  // A one-line block of the given type and direction, not owned by the fixture.
  CTextBlock* Line(int seq, double l, double t, double r, double fs, uint32_t type,
                   int direction = 1, const std::u16string& text = u"x") {
    CTextBlock* b = NewRun(seq, l, t, r, t + fs, fs, text);
    b->SetType(type);
    b->SetDirection(direction);
    return b;
  }

  // Every block the articles hold, each once.
  size_t HeldBlocks() {
    CTextBlockArray held;
    for (CArticle* a : articles) a->CollectBlocks(held, ART_TITLES | ART_BODY);
    std::set<CTextBlock*> unique(held.begin(), held.end());
    EXPECT_EQ(unique.size(), static_cast<size_t>(held.GetSize()));
    return unique.size();
  }

  CArticleArray articles;
};

// A kicker pair above a headline: the line of the kicker's size stays, the much smaller one
// goes back to the pool and starts an article of its own.
TEST_F(ArticlesTest, FarTitleOnTheUpperSideStartsItsOwnArticle) {
  CTextBlock* small = Line(1, 100, 100, 300, 14, TBT_TITLE, 1, u"small");
  CTextBlock* kicker = Line(2, 100, 118, 300, 20, TBT_TITLE, 1, u"kicker");
  CTextBlock* headline = Line(3, 100, 142, 300, 24, TBT_TITLE, 1, u"headline");
  CTextBlockArray texts = ListOf({small, kicker, headline});
  AssembleArticles(articles, texts, nullptr, &info);
  EXPECT_TRUE(texts.IsEmpty());
  ASSERT_EQ(articles.GetSize(), 2);
  EXPECT_EQ(articles[0]->m_pMainTitle, headline);
  EXPECT_EQ(articles[0]->m_pUpperTitle, kicker);
  EXPECT_EQ(articles[0]->m_pSubTitle, nullptr);
  EXPECT_EQ(articles[1]->m_pMainTitle, small);
  EXPECT_EQ(HeldBlocks(), 3u);
}

// A group whose main title has no usable direction: the other member is not dropped (it would
// be lost and leaked) but starts an article of its own.
TEST_F(ArticlesTest, TitleGroupWithoutDirectionLosesNoMember) {
  CTextBlock* first = Line(1, 100, 100, 300, 20, TBT_TITLE, 1, u"first");
  CTextBlock* main = Line(2, 100, 124, 300, 24, TBT_TITLE, 0, u"main");
  CTextBlockArray texts = ListOf({first, main});
  AssembleArticles(articles, texts, nullptr, &info);
  ASSERT_EQ(articles.GetSize(), 2);
  EXPECT_EQ(articles[0]->m_pMainTitle, main);
  EXPECT_EQ(articles[1]->m_pMainTitle, first);
  EXPECT_EQ(HeldBlocks(), 2u);
}

// Leftovers: a short title is a main title; a group opened by a title line is split into
// upper title, main title and body; a body block far from every title is a body.
TEST_F(ArticlesTest, LeftoversBecomeArticlesOfTheirOwn) {
  CTextBlock* title = Line(1, 100, 100, 300, 24, TBT_TITLE, 1, u"lone title");
  CTextBlock* note = Line(2, 100, 900, 160, 8, TBT_BODY, 1, u"note");
  CTextBlock* lead = Line(3, 500, 500, 700, 10, TBT_BODY, 1, u"lead");
  CTextBlock* head = Line(4, 500, 512, 700, 10, TBT_TITLE, 1, u"head");
  CTextBlock* p1 = Line(5, 500, 526, 700, 10, TBT_BODY, 1, u"p1");
  CTextBlock* p2 = Line(6, 500, 540, 700, 10, TBT_BODY, 1, u"p2");
  auto* group = new CTextBlock(&info);
  group->CopyAttributes(lead);
  for (CTextBlock* c : {lead, head, p1, p2}) {
    group->UnionWith(c);
    group->m_children.Add(c);
  }
  group->SetLevel(2);
  group->SetType(TBT_BODY);
  CTextBlockArray texts = ListOf({note, group});
  CTextBlockArray titles = ListOf({title});
  texts.Append(titles);
  AssembleArticles(articles, texts, nullptr, &info);
  ASSERT_EQ(articles.GetSize(), 3);
  EXPECT_EQ(articles[0]->m_pMainTitle, title);
  EXPECT_EQ(articles[0]->m_pBody, nullptr);
  EXPECT_EQ(articles[1]->m_pBody, note);
  EXPECT_EQ(articles[2]->m_pUpperTitle, lead);
  EXPECT_EQ(articles[2]->m_pMainTitle, head);
  ASSERT_NE(articles[2]->m_pBody, nullptr);
  EXPECT_EQ(Items(articles[2]->m_pBody->m_children), (std::vector<CTextBlock*>{p1, p2}));
  EXPECT_EQ(HeldBlocks(), 5u);
}

}  // namespace
