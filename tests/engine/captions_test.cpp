// Level 4 on written pages through page loading: which block each picture keeps, and that
// nothing is lost or doubled.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "blocks/picblock.h"
#include "engine_fixture.h"
#include "layout/listops.h"
#include "layout/stages.h"

namespace {

constexpr double kSize = 1000;
constexpr unsigned long kLoad = LPF_TEXT | LPF_IMAGES;

std::string Text(double size, double x, double y, const std::string& s) {
  return "BT /F1 " + vtest::PdfNum(size) + " Tf " + vtest::PdfNum(x) + " " + vtest::PdfNum(y) +
         " Td (" + s + ") Tj ET\n";
}

// Every run below what the page holds (text list, page information, captions), sorted.
std::vector<const CTextBlock*> HeldRuns(CPDFInstance& e) {
  CTextBlockArray all, leaves;
  GatherTextBlocks(e, all);
  FlattenToRuns(all, leaves, false);
  std::vector<const CTextBlock*> out(leaves.begin(), leaves.end());
  std::sort(out.begin(), out.end());
  return out;
}

// Each picture's caption in list order (pictures by top), "-" for none.
std::vector<std::u16string> Captions(CPDFInstance& e) {
  std::vector<std::u16string> out;
  for (const CPicBlock* s : e.m_picBlocks)
    out.push_back(s->m_pCaption ? s->m_pCaption->m_strText : u"-");
  return out;
}

// Written pages reach level 4 with the captions expected; on each the runs and pictures stay,
// each once, from level 0 to 4, through a second run of the stage on captioned pictures, down
// to 1 (no captions) and up to 4 again (the same captions).
TEST(Captions, PagesKeepTheirTextThroughLevelChangesAndGetTheirCaptions) {
  vtest::PdfWriter w;
  w.AddStandardFont();
  const std::string im = w.AddImage(enginetest::SolidImage(4, 4));
  const auto pic = [&](double x0, double y0, double x1, double y1) {
    return enginetest::Draw(im, x0, y0, x1 - x0, y1 - y0);
  };
  std::string mosaic;
  for (int r = 0; r < 20; ++r)
    for (int c = 0; c < 25; ++c) {
      const double x = 40 + 38 * c, y = 60 + 45 * r;
      mosaic += pic(x, y, x + 33, y + 33);
      if ((r + c) % 3 == 0) mosaic += Text(6, x + 4, y - 8, std::to_string(r * 25 + c));
    }
  const std::string lines =
      Text(10, 150, 700, "A body line of the page") + Text(10, 150, 688, "and one more of it");
  const std::vector<std::pair<std::string, std::vector<std::u16string>>> pages = {
      {// below; above; a headline under a picture is no caption
       pic(150, 600, 350, 720) + Text(9, 200, 590, "Below") + pic(450, 600, 650, 720) +
           Text(9, 500, 724, "Above") + pic(700, 600, 900, 720) + Text(24, 710, 575, "Headline") +
           // left and right within the picture's height
           pic(300, 300, 500, 420) + Text(9, 285, 350, "Left") + pic(600, 300, 800, 420) +
           Text(9, 803, 350, "Right") +
           // inside the frame; two characters above against a line below
           pic(150, 100, 350, 250) + Text(9, 170, 110, "Inside") + pic(450, 100, 650, 220) +
           Text(9, 540, 224, "Hi") + Text(9, 460, 90, "Under it"),
       {u"Below", u"Above", u"-", u"Left", u"Right", u"Inside", u"Under it"}},
      // a line between two stacked pictures lies below the upper one
      {pic(300, 500, 600, 650) + pic(300, 330, 600, 480) + Text(9, 320, 486, "Between"),
       {u"Between", u"-"}},
      // two blocks under one picture are combined
      {pic(500, 600, 900, 720) + Text(9, 510, 590, "Left part") + Text(9, 820, 590, "Right part"),
       {}},
      {pic(150, 600, 350, 720) + pic(600, 100, 800, 300), {u"-", u"-"}},  // no text
      {lines, {}},                                                        // no pictures
      {pic(0, 0, kSize, kSize) + lines, {}},                              // one all over the page
      {pic(300, 400, 500, 550) + pic(300, 400, 500, 550) + Text(9, 320, 390, "Twins") + lines,
       {u"Twins", u"-"}},  // two at one place
      {mosaic, {}},        // 500 small pictures
      {"", {}},            // empty
  };
  for (const auto& [content, expected] : pages) w.AddPage(kSize, kSize, content);
  enginetest::Engine e;
  e.OpenDoc(w, "caption-pages");
  for (int page = 1; page <= w.PageCount(); ++page) {
    SCOPED_TRACE("page " + std::to_string(page));
    ASSERT_EQ(e.LoadPage(page, kLoad, TRUE), S_OK);
    const auto runs = HeldRuns(e);
    const int pictures = e.m_picBlocks.GetSize();
    ASSERT_EQ(e.LoadPage(page, kLoad | 4, TRUE), S_OK);
    EXPECT_EQ(HeldRuns(e), runs);
    EXPECT_EQ(e.m_picBlocks.GetSize(), pictures);
    const auto captions = Captions(e);
    const auto& expected = pages[static_cast<size_t>(page - 1)].second;
    if (!expected.empty()) {
      EXPECT_EQ(captions, expected);
    }
    AttachCaptions(e);
    EXPECT_EQ(HeldRuns(e), runs);
    EXPECT_EQ(Captions(e), captions);
    ASSERT_EQ(e.LoadPage(page, kLoad | 1, TRUE), S_OK);
    EXPECT_EQ(HeldRuns(e), runs);
    EXPECT_EQ(Captions(e), std::vector<std::u16string>(static_cast<size_t>(pictures), u"-"));
    ASSERT_EQ(e.LoadPage(page, kLoad | 4, TRUE), S_OK);
    EXPECT_EQ(HeldRuns(e), runs);
    EXPECT_EQ(Captions(e), captions);
    if (page == 3) {
      ASSERT_EQ(pictures, 1);
      EXPECT_EQ(e.m_picBlocks[0]->m_nCaptionKind, CPicBlock::kCaptionCombined);
      EXPECT_EQ(captions[0].find(u"Left part"), 0u);
      EXPECT_NE(captions[0].find(u"Right part"), std::u16string::npos);
    }
    if (page == 8) {
      EXPECT_EQ(pictures, 500);
      EXPECT_GT(pictures - std::count(captions.begin(), captions.end(), u"-"), 100);
    }
  }
}

}  // namespace
