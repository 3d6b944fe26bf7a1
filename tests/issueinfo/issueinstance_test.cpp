// The issue engine directly: the spread rule of the configured path, which moves the front-page
// region of the stored record.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "issueinfo/issueinstance.h"
#include "pdfwriter.h"
#include "vwin32/strings.h"

namespace {

std::string Cjk(const std::string& font, double x, double y, const std::u16string& text) {
  return "BT /" + font + " 12 Tf " + vtest::PdfNum(x) + " " + vtest::PdfNum(y) + " Td " +
         vtest::PdfHexUtf16(text) + " Tj ET\n";
}

// A spread 2400 units wide, not a front page, no count in either half: the left half is tried,
// then the right half, and the record keeps the right half for the next call.
TEST(IssueInstanceTest, SpreadMovesTheStoredFrontRegion) {
  const std::filesystem::path dir = std::filesystem::path(VELLUMA_TEST_TMP) / "spread";
  std::filesystem::create_directories(dir / "Config");
  std::ofstream(dir / "Config" / "IssueInfo.xml")
      << "<IssueInfoSet><IssueInfo IssueName=\"S\">"
         "<FrontPage Left=\"0\" Top=\"0\" Right=\"2400\" Bottom=\"100\"/>"
         "</IssueInfo></IssueInfoSet>";
  vtest::PdfWriter w;
  const std::string song = w.AddCjkFont("STSong-Light");
  w.AddPage(2400, 800,
            Cjk(song, 40, 770, u"第2版") + Cjk(song, 2300, 770, u"第3版") +
                Cjk(song, 400, 400, u"正文内容"));
  const std::string pdf = (dir / "spread.pdf").string();
  ASSERT_TRUE(w.Save(pdf));

  CIssueInfoInstance engine;
  ASSERT_EQ(engine.LoadIssueInfo(vwin32::FromUtf8(dir.string())), 1);
  long nResult = -1;
  ASSERT_TRUE(engine.AnalysePage(vwin32::FromUtf8(pdf), u"S", u"", false, false, nResult));
  EXPECT_EQ(nResult, 1);
  const velluma::St_IssueRecord* record = engine.Publications().Find(u"S");
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->rcFrontPage.left, 1200);
  EXPECT_EQ(record->rcFrontPage.right, 2400);
  EXPECT_EQ(engine.m_strPageCount, u"0");
  EXPECT_EQ(engine.m_strPageId, u"");
}

}  // namespace
