// Level 3 on a written page: the margin blocks go to page-information recognition, what it
// keeps leaves the page's list, and lower levels give every run back.
#include <string>

#include "engine_fixture.h"
#include "pageinfo/pageinfo.h"

namespace {

using enginetest::Engine;

// One text object with a CJK font (UTF-16 codes) at the given baseline origin (PDF space).
std::string Cjk(const std::string& font, double size, double x, double y,
                const std::u16string& text) {
  return "BT /" + font + " " + vtest::PdfNum(size) + " Tf " + vtest::PdfNum(x) + " " +
         vtest::PdfNum(y) + " Td " + vtest::PdfHexUtf16(text) + " Tj ET\n";
}

bool ListHas(CTextBlockArray& list, const std::u16string& text) {
  for (const CTextBlock* b : list)
    if (b->m_strText.find(text) != std::u16string::npos) return true;
  return false;
}

std::u16string Read(CPageInfo& info, HRESULT (CPageInfo::*get)(BSTR*)) {
  BSTR b = nullptr;
  if (FAILED((info.*get)(&b))) return u"<none>";
  std::u16string s(b);
  SysFreeString(b);
  return s;
}

class PageInfoStage : public ::testing::Test {
 protected:
  void SetUp() override {
    vtest::PdfWriter w;
    const std::string song = w.AddCjkFont("STSong-Light");
    // Page 600 x 800: page identifier top left, date top right, body in the middle, a note in
    // the left margin low on the page.
    w.AddPage(600, 800,
              Cjk(song, 14, 40, 770, u"第3版") + Cjk(song, 10, 430, 770, u"2026年12月7日") +
                  Cjk(song, 10, 200, 400, u"正文第一行文字内容") +
                  Cjk(song, 10, 200, 385, u"正文第二行文字内容") + Cjk(song, 8, 20, 200, u"边注"));
    engine.OpenDoc(w, "pageinfo-stage");
  }

  size_t RunCount() {
    size_t n = 0;
    for (const CTextBlock* b : engine.GetTextBlocks()) n += b->GetLevel() == 0 ? 1 : 0;
    return n;
  }

  Engine engine;
};

TEST_F(PageInfoStage, RecognisedBlocksLeaveThePageAndComeBackOnReset) {
  ASSERT_EQ(engine.LoadPage(1, LPF_TEXT | 1, TRUE), S_OK);
  const int nLevel1 = engine.GetTextBlocks().GetSize();

  ASSERT_EQ(engine.LoadPage(1, LPF_TEXT | 3, TRUE), S_OK);
  CPageInfo& info = *engine.GetPageInfo();
  EXPECT_EQ(Read(info, &CPageInfo::GetPageId), u"第3版");
  EXPECT_EQ(Read(info, &CPageInfo::GetIssueDate), u"2026年12月7日");
  CTextBlockArray& page = engine.GetTextBlocks();
  EXPECT_FALSE(ListHas(page, u"第3版"));
  EXPECT_FALSE(ListHas(page, u"2026年"));
  // The margin note was offered and not kept: it is back, after the body, in the list.
  ASSERT_TRUE(ListHas(page, u"边注"));
  EXPECT_EQ(page[page.GetSize() - 1]->m_strText, u"边注");
  EXPECT_TRUE(ListHas(page, u"正文第一行"));

  // Raising the level runs the stages again; the recognised blocks are kept, not lost twice.
  ASSERT_EQ(engine.LoadPage(1, LPF_TEXT | 4, TRUE), S_OK);
  EXPECT_EQ(Read(info, &CPageInfo::GetPageId), u"第3版");
  EXPECT_EQ(Read(info, &CPageInfo::GetIssueDate), u"2026年12月7日");

  // A lower level dissolves everything back into runs, recognised blocks included.
  ASSERT_EQ(engine.LoadPage(1, LPF_TEXT | 0, TRUE), S_OK);
  EXPECT_EQ(engine.GetLevel(), 0);
  EXPECT_EQ(RunCount(), static_cast<size_t>(page.GetSize()));
  EXPECT_TRUE(ListHas(page, u"第3版"));
  EXPECT_EQ(Read(info, &CPageInfo::GetIssueDate), u"<none>");
  ASSERT_EQ(engine.LoadPage(1, LPF_TEXT | 1, TRUE), S_OK);
  EXPECT_EQ(page.GetSize(), nLevel1);
}

TEST_F(PageInfoStage, ConfiguredModeWithoutConfigurationRecognisesNothing) {
  ASSERT_EQ(engine.LoadPage(1, LPF_TEXT | 3, FALSE), S_OK);
  CPageInfo& info = *engine.GetPageInfo();
  EXPECT_EQ(Read(info, &CPageInfo::GetIssueDate), u"<none>");
  EXPECT_EQ(Read(info, &CPageInfo::GetPageCount), u"<none>");
  // No page identifier: the page name made from the document's name stands in.
  EXPECT_EQ(Read(info, &CPageInfo::GetPageId), u"pageinfo-stage");
  EXPECT_TRUE(ListHas(engine.GetTextBlocks(), u"第3版"));
}

TEST(PageInfoStageConfigured, ExpressionsBesideTheModuleDriveConfiguredMode) {
  // A publisher's configuration in Config/ of the module folder.
  const std::string dir = enginetest::TempDir("module-common-config");
  std::filesystem::create_directories(dir + "/Config");
  std::ofstream(dir + "/Config/CommonConfig.xml")
      << "<CommonConfig><IsDateBlock><Style>\\d{4}年\\d+月</Style></IsDateBlock>"
         "<IsPageIdBlock><Style>^第\\d+版$</Style></IsPageIdBlock>"
         "<PageCount><Style>共\\d+版</Style></PageCount></CommonConfig>";
  vtest::PdfWriter w;
  const std::string song = w.AddCjkFont("STSong-Light");
  w.AddPage(600, 800,
            Cjk(song, 14, 40, 770, u"第3版") + Cjk(song, 10, 430, 770, u"2026年12月7日") +
                Cjk(song, 10, 40, 600, u"本期共8版"));
  Engine engine(dir);
  engine.OpenDoc(w, "pageinfo-configured");
  ASSERT_EQ(engine.LoadPage(1, LPF_TEXT | 3, FALSE), S_OK);
  CPageInfo& info = *engine.GetPageInfo();
  EXPECT_EQ(Read(info, &CPageInfo::GetPageId), u"第3版");
  EXPECT_EQ(Read(info, &CPageInfo::GetIssueDate), u"2026年12月7日");
  EXPECT_EQ(Read(info, &CPageInfo::GetPageCount), u"共8版");
  EXPECT_EQ(info.ParsePageCount(), 8);
}

}  // namespace
