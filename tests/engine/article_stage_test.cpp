// Level 5 on a written page: a masthead band, one story with kicker, headline spanning its two
// columns, subtitle, a body that runs on into the second column and a picture between the
// headline and the second column, a stray note and a stray picture. Checked through the
// articles' client slots where they answer, and through a reset to level 1 and back.
#include <string>

#include "blocks/article.h"
#include "blocks/picblock.h"
#include "engine_fixture.h"
#include "layout/orderings.h"
#include "pageinfo/pageinfo.h"

namespace {

using enginetest::Engine;

constexpr double kHeight = 800;

// One line of CJK text with its baseline at `top` points from the top of the page.
std::string Line(const std::string& font, double size, double x, double top,
                 const std::u16string& text) {
  return "BT /" + font + " " + vtest::PdfNum(size) + " Tf " + vtest::PdfNum(x) + " " +
         vtest::PdfNum(kHeight - top) + " Td " + vtest::PdfHexUtf16(text) + " Tj ET\n";
}

std::u16string Repeat(const std::u16string& unit, int n) {
  std::u16string s;
  for (int i = 0; i < n; ++i) s += unit;
  return s;
}

std::u16string Text(CTextBlock* b) {
  return b != nullptr ? b->m_strText : u"<none>";
}

class ArticleStage : public ::testing::Test {
 protected:
  void SetUp() override {
    vtest::PdfWriter w;
    const std::string song = w.AddCjkFont("STSong-Light");
    const std::string im = w.AddImage(enginetest::SolidImage(4, 4));
    std::string c;
    // Header band: masthead and the line under it.
    c += Line(song, 28, 40, 50, u"江城晚报");
    c += Line(song, 10, 40, 66, u"第二行刊头信息");
    // The story: kicker, headline over both columns, subtitle.
    c += Line(song, 14, 230, 120, u"引题文字在上");
    c += Line(song, 24, 60, 150, Repeat(u"标", 20));
    c += Line(song, 16, 68, 175, Repeat(u"副", 29));
    // Body: column 1 from the top, the picture at the top of column 2, column 2 below it.
    for (int i = 0; i < 14; ++i)
      c += Line(song, 10, 40, 200 + 15 * i, (i == 0 ? u"甲" : u"正") + Repeat(u"文", 24));
    c += enginetest::Draw(im, 310, kHeight - 290, 250, 100);
    for (int i = 0; i < 8; ++i)
      c += Line(song, 10, 310, 305 + 15 * i, Repeat(u"续", 24) + (i == 7 ? u"终" : u"续"));
    // A note far from every title, and a picture far from every article.
    c += Line(song, 9, 40, 700, u"读者来信请寄本报编辑部");
    c += enginetest::Draw(im, 400, kHeight - 760, 160, 100);
    w.AddPage(600, kHeight, c);
    engine.OpenDoc(w, "article-stage");
  }

  CArticle* Find(const std::u16string& mainTitle) {
    for (CArticle* a : *engine.GetArticles())
      if (a->m_pMainTitle != nullptr && a->m_pMainTitle->m_strText == mainTitle) return a;
    return nullptr;
  }

  Engine engine;
};

TEST_F(ArticleStage, StoryHeaderLeftoversAndResetCycle) {
  ASSERT_EQ(engine.LoadPage(1, LPF_TEXT | LPF_IMAGES | 0, TRUE), S_OK);
  const std::vector<std::u16string> runs = enginetest::TextsBySeq(engine.GetTextBlocks());

  ASSERT_EQ(engine.LoadPage(1, LPF_TEXT | LPF_IMAGES | 5, TRUE), S_OK);
  EXPECT_TRUE(engine.GetTextBlocks().IsEmpty());
  EXPECT_TRUE(engine.GetPicBlocks().IsEmpty());
  CArticleArray& articles = *engine.GetArticles();

  CArticle* story = Find(Repeat(u"标", 20));
  ASSERT_NE(story, nullptr);
  EXPECT_EQ(Text(story->m_pUpperTitle), u"引题文字在上");
  EXPECT_EQ(Text(story->m_pSubTitle), Repeat(u"副", 29));
  ASSERT_NE(story->m_pBody, nullptr);
  const std::u16string body = story->m_pBody->m_strText;
  EXPECT_EQ(body.find(u"甲"), 0u) << "the body starts with column 1";
  EXPECT_NE(body.find(u"续终"), std::u16string::npos) << "and runs on into column 2";
  EXPECT_EQ(story->m_pics.GetSize(), 1);
  // The body group has no HTML of its own: the article's comes from the body's blocks.
  std::u16string html;
  for (const CTextBlock* piece : story->m_pBody->m_children) html += piece->m_strHtml;
  EXPECT_EQ(story->m_strHtml, u"<html> <body> " + html + u" </body> </html>");

  // The header band comes last; the stray note and the stray picture are articles of their own.
  ASSERT_GE(articles.GetSize(), 4);
  CArticle* header = articles[articles.GetSize() - 1];
  EXPECT_EQ(Text(header->m_pMainTitle).find(u"江城晚报"), 0u);
  int notes = 0, pictures = 0;
  for (CArticle* a : articles) {
    if (a->m_pBody != nullptr && a->m_pBody->m_strText == u"读者来信请寄本报编辑部") {
      ++notes;
      EXPECT_EQ(a->m_pMainTitle, nullptr);
      IBlockList* pList = nullptr;
      EXPECT_EQ(a->GetPicList(&pList), E_FAIL);
      EXPECT_EQ(pList, nullptr);
    }
    if (a->m_pMainTitle == nullptr && a->m_pBody == nullptr && a->m_pics.GetSize() == 1) {
      ++pictures;
      BSTR html = nullptr;
      EXPECT_EQ(a->GetHtml(&html), E_FAIL);
    }
  }
  EXPECT_EQ(notes, 1);
  EXPECT_EQ(pictures, 1);
  for (int i = 0; i < articles.GetSize(); ++i) EXPECT_EQ(articles[i]->GetArticleId(), 0x10000 + i);

  // Back to level 0: every run returns once, the pictures return, the articles are gone.
  ASSERT_EQ(engine.LoadPage(1, LPF_TEXT | LPF_IMAGES | 0, TRUE), S_OK);
  EXPECT_EQ(enginetest::TextsBySeq(engine.GetTextBlocks()), runs);
  EXPECT_EQ(engine.GetPicBlocks().GetSize(), 2);
  EXPECT_TRUE(articles.IsEmpty());
  ASSERT_EQ(engine.LoadPage(1, LPF_TEXT | LPF_IMAGES | 5, TRUE), S_OK);
  story = Find(Repeat(u"标", 20));
  ASSERT_NE(story, nullptr);
  EXPECT_EQ(story->m_pBody->m_strText, body);
}

}  // namespace

namespace {

// Pictures in awkward numbers and places: one covering the page, two identical ones at one
// place, a mosaic of 200 small ones and a line of text; then an empty page. Level 5 places
// every picture and block in exactly one article and the reset gives them all back.
TEST(ArticleStageBadInput, PicturesEverywhereAndEmptyPage) {
  vtest::PdfWriter w;
  const std::string song = w.AddCjkFont("STSong-Light");
  const std::string im = w.AddImage(enginetest::SolidImage(2, 2));
  std::string c = enginetest::Draw(im, 0, 0, 600, kHeight);
  c += enginetest::Draw(im, 100, 100, 80, 60) + enginetest::Draw(im, 100, 100, 80, 60);
  for (int i = 0; i < 200; ++i)
    c += enginetest::Draw(im, 40 + (i % 10) * 34, 20 + (i / 10) * 18, 33, 17);
  c += Line(song, 10, 300, 300, u"图片之间的一行文字");
  w.AddPage(600, kHeight, c);
  w.AddPage(600, kHeight, "");
  Engine engine;
  engine.OpenDoc(w, "article-bad-input");
  for (int page : {1, 2}) {
    SCOPED_TRACE(page);
    ASSERT_EQ(engine.LoadPage(page, LPF_TEXT | LPF_IMAGES | 0, TRUE), S_OK);
    const std::vector<std::u16string> runs = enginetest::TextsBySeq(engine.GetTextBlocks());
    const int pictures = engine.GetPicBlocks().GetSize();
    EXPECT_EQ(pictures, page == 1 ? 203 : 0);
    ASSERT_EQ(engine.LoadPage(page, LPF_TEXT | LPF_IMAGES | 5, TRUE), S_OK);
    EXPECT_TRUE(engine.GetTextBlocks().IsEmpty());
    EXPECT_TRUE(engine.GetPicBlocks().IsEmpty());
    int held = 0;
    CTextBlockArray blocks;
    for (CArticle* a : *engine.GetArticles()) {
      held += a->m_pics.GetSize();
      a->CollectBlocks(blocks, ART_TITLES | ART_BODY | ART_CAPTIONS);
    }
    // The line inside the page-sized picture's frame is that picture's caption.
    EXPECT_EQ(held, pictures);
    EXPECT_EQ(blocks.GetSize(), runs.empty() ? 0 : 1);
    ASSERT_EQ(engine.LoadPage(page, LPF_TEXT | LPF_IMAGES | 0, TRUE), S_OK);
    EXPECT_EQ(enginetest::TextsBySeq(engine.GetTextBlocks()), runs);
    EXPECT_EQ(engine.GetPicBlocks().GetSize(), pictures);
  }
}

}  // namespace
