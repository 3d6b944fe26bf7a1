// Level 4: pictures and captions on written pages, through page loading. Which block each
// picture keeps, and on every page that nothing is lost or doubled: the runs under the page's
// text list, the page information and the captions are the runs of the page, each once,
// through level changes and a second run of the stage.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "blocks/picblock.h"
#include "engine_fixture.h"
#include "layout/listops.h"
#include "layout/stages.h"

namespace {

using enginetest::Draw;
using enginetest::Engine;

constexpr double kSize = 1000;
constexpr unsigned long kLoad = LPF_TEXT | LPF_IMAGES;

std::string Text(double size, double x, double y, const std::string& s) {
  return "BT /F1 " + vtest::PdfNum(size) + " Tf " + vtest::PdfNum(x) + " " + vtest::PdfNum(y) +
         " Td (" + s + ") Tj ET\n";
}

// Page coordinates (y downward) of a written box.
bool Near(const CPicBlock* s, double x0, double y0, double x1, double y1) {
  return std::abs(s->m_dLeft - x0) < 1 && std::abs(s->m_dTop - (kSize - y1)) < 1 &&
         std::abs(s->m_dRight - x1) < 1 && std::abs(s->m_dBottom - (kSize - y0)) < 1;
}

std::u16string CaptionOf(const CPicBlock* s) {
  if (s->m_pCaption == nullptr) return u"-";
  std::u16string t = s->m_pCaption->m_strText;
  for (size_t at; (at = t.find(u"\r\n")) != std::u16string::npos;) t.replace(at, 2, u" ");
  return t;
}

CPicBlock* PictureAt(Engine& e, double x0, double y0, double x1, double y1) {
  for (CPicBlock* s : e.m_picBlocks)
    if (Near(s, x0, y0, x1, y1)) return s;
  ADD_FAILURE() << "no picture at " << x0 << "," << y0;
  return nullptr;
}

bool PageHolds(Engine& e, const std::u16string& text) {
  for (const CTextBlock* b : e.m_textBlocks)
    if (b->m_strText.find(text) != std::u16string::npos) return true;
  return false;
}

// Every run below what the page holds, each as often as it is held, sorted.
std::vector<const CTextBlock*> HeldRuns(Engine& e) {
  CTextBlockArray all;
  GatherTextBlocks(e, all);
  CTextBlockArray leaves;
  FlattenToRuns(all, leaves, false);
  std::vector<const CTextBlock*> out(leaves.begin(), leaves.end());
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<std::u16string> Captions(Engine& e) {
  std::vector<std::u16string> out;
  for (const CPicBlock* s : e.m_picBlocks) out.push_back(CaptionOf(s));
  return out;
}

class CaptionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_font = m_writer.AddStandardFont();
    m_image = m_writer.AddImage(enginetest::SolidImage(4, 4));
  }
  std::string Pic(double x0, double y0, double x1, double y1) {
    return Draw(m_image, x0, y0, x1 - x0, y1 - y0);
  }
  vtest::PdfWriter m_writer;
  std::string m_font, m_image;
};

TEST_F(CaptionsTest, EachPictureKeepsTheCaptionOfItsSide) {
  m_writer.AddPage(kSize, kSize,
                   // below, above
                   Pic(150, 600, 350, 720) + Text(9, 200, 590, "Below the picture") +
                       Pic(450, 600, 650, 720) + Text(9, 500, 724, "Above the picture") +
                       // left and right, within the picture's height
                       Pic(300, 300, 500, 420) + Text(9, 285, 350, "Left") +
                       Pic(600, 300, 800, 420) + Text(9, 803, 350, "Right") +
                       // inside the frame, near its foot
                       Pic(150, 100, 350, 250) + Text(9, 170, 110, "Inside the frame") +
                       // a line of two characters above, two longer lines below
                       Pic(450, 100, 650, 220) + Text(9, 540, 224, "Hi") +
                       Text(9, 460, 90, "First line under it") +
                       Text(9, 460, 79, "and the second line") +
                       // a headline right under a picture is no caption
                       Pic(700, 600, 900, 720) + Text(24, 710, 575, "Headline"));
  Engine e;
  e.OpenDoc(m_writer, "caption-sides");
  ASSERT_EQ(e.LoadPage(1, kLoad | 4, TRUE), S_OK);
  ASSERT_EQ(e.m_picBlocks.GetSize(), 7);
  EXPECT_EQ(CaptionOf(PictureAt(e, 150, 600, 350, 720)), u"Below the picture");
  EXPECT_EQ(CaptionOf(PictureAt(e, 450, 600, 650, 720)), u"Above the picture");
  EXPECT_EQ(CaptionOf(PictureAt(e, 300, 300, 500, 420)), u"Left");
  EXPECT_EQ(CaptionOf(PictureAt(e, 600, 300, 800, 420)), u"Right");
  EXPECT_EQ(CaptionOf(PictureAt(e, 150, 100, 350, 250)), u"Inside the frame");
  const std::u16string twoLines = CaptionOf(PictureAt(e, 450, 100, 650, 220));
  EXPECT_EQ(twoLines.find(u"First line under it"), 0u) << vwin32::ToUtf8(twoLines);
  EXPECT_NE(twoLines.find(u"the second line"), std::u16string::npos);
  EXPECT_TRUE(PageHolds(e, u"Hi"));
  EXPECT_EQ(CaptionOf(PictureAt(e, 700, 600, 900, 720)), u"-");
  EXPECT_TRUE(PageHolds(e, u"Headline"));

  // Through the client interface: the caption alone, with its markup.
  CPicBlock* below = PictureAt(e, 150, 600, 350, 720);
  IBlockList* pList = nullptr;
  ASSERT_EQ(below->GetTextList(&pList, 0), S_OK);
  long count = 0;
  EXPECT_EQ(pList->GetCount(&count), S_OK);
  EXPECT_EQ(count, 1);
  pList->Release();
  BSTR html = nullptr;
  ASSERT_EQ(below->GetHtml(&html), S_OK);
  EXPECT_NE(std::u16string(vwin32::FromBstr(html)).find(u"Below the picture"),
            std::u16string::npos);
  SysFreeString(html);
  pList = nullptr;
  EXPECT_EQ(PictureAt(e, 700, 600, 900, 720)->GetTextList(&pList, 0), E_FAIL);
  EXPECT_EQ(pList, nullptr);
}

// A line between two stacked pictures lies below the upper one: that side wins.
TEST_F(CaptionsTest, LineBetweenTwoPicturesGoesToThePictureAboveIt) {
  m_writer.AddPage(kSize, kSize,
                   Pic(300, 500, 600, 650) + Pic(300, 330, 600, 480) +
                       Text(9, 320, 486, "Between two pictures"));
  Engine e;
  e.OpenDoc(m_writer, "caption-between");
  ASSERT_EQ(e.LoadPage(1, kLoad | 4, TRUE), S_OK);
  EXPECT_EQ(CaptionOf(PictureAt(e, 300, 500, 600, 650)), u"Between two pictures");
  EXPECT_EQ(CaptionOf(PictureAt(e, 300, 330, 600, 480)), u"-");
}

// Unusual pages reach level 4; the runs and pictures of each page stay, each once, from level
// 0 to 4, back to 1 and up to 4 again (the same captions), and through a second run of the
// stage on captioned pictures.
TEST_F(CaptionsTest, NothingIsLostOrDoubledThroughLevelChanges) {
  std::string mosaic;
  for (int r = 0; r < 20; ++r)
    for (int c = 0; c < 25; ++c) {
      const double x = 40 + 38 * c, y = 60 + 45 * r;
      mosaic += Pic(x, y, x + 33, y + 33);
      if ((r + c) % 3 == 0) mosaic += Text(6, x + 4, y - 8, std::to_string(r * 25 + c));
    }
  const std::string twins = Pic(300, 400, 500, 550) + Pic(300, 400, 500, 550);
  const std::string lines = Text(10, 150, 700, "A body line of the page") +
                            Text(10, 150, 688, "and one more line of it") +
                            Text(9, 320, 390, "Under the twins");
  m_writer.AddPage(kSize, kSize, Pic(150, 600, 350, 720) + Pic(600, 100, 800, 300));  // no text
  m_writer.AddPage(kSize, kSize, lines);                                              // no pictures
  m_writer.AddPage(kSize, kSize, Pic(0, 0, kSize, kSize) + lines);  // one picture, all page
  m_writer.AddPage(kSize, kSize, twins + lines);                    // two at one place
  m_writer.AddPage(kSize, kSize, mosaic);                           // 500 small pictures
  m_writer.AddPage(kSize, kSize, "");                               // empty
  m_writer.AddPage(kSize, kSize,
                   Pic(150, 600, 350, 720) + Text(9, 200, 590, "Below") + Pic(150, 100, 350, 250) +
                       Text(9, 170, 110, "Inside") +
                       // two blocks under one picture, combined
                       Pic(500, 600, 900, 720) + Text(9, 510, 590, "Left part") +
                       Text(9, 820, 590, "Right part"));
  Engine e;
  e.OpenDoc(m_writer, "caption-pages");
  for (int page = 1; page <= m_writer.PageCount(); ++page) {
    SCOPED_TRACE("page " + std::to_string(page));
    ASSERT_EQ(e.LoadPage(page, kLoad, TRUE), S_OK);
    const auto runs = HeldRuns(e);
    const int pictures = e.m_picBlocks.GetSize();

    ASSERT_EQ(e.LoadPage(page, kLoad | 4, TRUE), S_OK);
    EXPECT_EQ(HeldRuns(e), runs);
    EXPECT_EQ(e.m_picBlocks.GetSize(), pictures);
    const auto captions = Captions(e);

    AttachCaptions(e);  // again, on pictures that have their captions
    EXPECT_EQ(HeldRuns(e), runs);
    EXPECT_EQ(Captions(e), captions);

    ASSERT_EQ(e.LoadPage(page, kLoad | 1, TRUE), S_OK);
    EXPECT_EQ(HeldRuns(e), runs);
    for (const CPicBlock* s : e.m_picBlocks) EXPECT_EQ(s->m_pCaption, nullptr);

    ASSERT_EQ(e.LoadPage(page, kLoad | 4, TRUE), S_OK);
    EXPECT_EQ(HeldRuns(e), runs);
    EXPECT_EQ(Captions(e), captions);

    if (page == 4) {  // one of the twins has the caption, the other none
      EXPECT_EQ(captions, (std::vector<std::u16string>{u"Under the twins", u"-"}));
    }
    if (page == 5) {
      EXPECT_EQ(pictures, 500);
      EXPECT_GT(std::count_if(captions.begin(), captions.end(),
                              [](const std::u16string& c) { return c != u"-"; }),
                100);
    }
    if (page == 7) {
      ASSERT_EQ(captions.size(), 3u);
      EXPECT_EQ(captions[0], u"Below");
      EXPECT_EQ(captions[2], u"Inside");
      EXPECT_EQ(captions[1].find(u"Left part"), 0u);
      EXPECT_NE(captions[1].find(u"Right part"), std::u16string::npos);
      EXPECT_EQ(e.m_picBlocks[1]->m_nCaptionKind, CPicBlock::kCaptionCombined);
    }
  }
}

}  // namespace
