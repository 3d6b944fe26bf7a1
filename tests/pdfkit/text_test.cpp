// Text runs of the page-content kit, on PDFs written with known content streams.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "pdfkit/pdfkit.h"
#include "pdfwriter.h"
#include "vwin32/strings.h"

namespace {

struct CharView {
  int glyph, code, noCode;
  double ox, oy, x0, y0, x1, y1;
};

struct RunView {
  std::u16string text;  // codes, "?" for characters without a usable code
  std::u16string font, key, encoding;
  double size, vsize, x0, y0, x1, y1;
  int wmode;
  bool invisible;
  std::vector<CharView> chars;
};

class Kit {
 public:
  explicit Kit(const vtest::PdfWriter& writer, const std::string& name) {
    std::filesystem::create_directories(VELLUMA_TEST_TMP);
    path_ = std::string(VELLUMA_TEST_TMP) + "/text-" + name + ".pdf";
    EXPECT_TRUE(writer.Save(path_));
    doc_ = PTK_OpenDoc(vwin32::FromUtf8(path_).c_str(), 0);
  }
  // A file of the given objects (vtest::RawPdf).
  Kit(const std::vector<std::string>& objects, const std::string& name) {
    std::filesystem::create_directories(VELLUMA_TEST_TMP);
    path_ = std::string(VELLUMA_TEST_TMP) + "/text-" + name + ".pdf";
    FILE* f = std::fopen(path_.c_str(), "wb");
    EXPECT_NE(f, nullptr);
    if (!f) return;
    const std::string pdf = vtest::RawPdf(objects);
    std::fwrite(pdf.data(), 1, pdf.size(), f);
    std::fclose(f);
    doc_ = PTK_OpenDoc(vwin32::FromUtf8(path_).c_str(), 0);
  }
  ~Kit() {
    if (doc_) PTK_CloseDoc(doc_, 0);
  }
  PTK_HDOC doc() const { return doc_; }

  std::vector<RunView> Runs(int page = 1) const {
    std::vector<RunView> out;
    PTK_TextRun* first = nullptr;
    PTK_GetPageContentTextStream(doc_, page, &first);
    for (PTK_TextRun* r = first; r; r = r->pNext) {
      RunView v;
      v.font = r->pszFontName ? r->pszFontName : u"";
      v.key = r->pszFontKey ? r->pszFontKey : u"";
      v.encoding = r->pszEncoding ? r->pszEncoding : u"";
      v.size = r->dFontSize;
      v.vsize = r->dVertSize;
      v.x0 = r->dX0;
      v.y0 = r->dY0;
      v.x1 = r->dX1;
      v.y1 = r->dY1;
      v.wmode = r->nAttr1;
      v.invisible = r->bFlags & 1;
      for (uint32_t i = 0; i < r->nCharCount; ++i) {
        const PTK_CharRecord& c = r->pChars[i];
        v.text.push_back(c.nCode != 0 && c.nCode != c.nNoCode ? static_cast<char16_t>(c.nCode)
                                                              : u'?');
        v.chars.push_back(
            {c.nGlyph, c.nCode, c.nNoCode, c.dOriginX, c.dOriginY, c.dX0, c.dY0, c.dX1, c.dY1});
      }
      out.push_back(v);
    }
    PTK_FreePageContentTextStream(first);
    return out;
  }

 private:
  std::string path_;
  PTK_HDOC doc_ = nullptr;
};

std::vector<std::u16string> Texts(const std::vector<RunView>& runs) {
  std::vector<std::u16string> out;
  for (const RunView& r : runs) out.push_back(r.text);
  return out;
}

TEST(KitText, OperatorsAndLinesMakeSeparateRuns) {
  vtest::PdfWriter w;
  std::string f = w.AddStandardFont("Helvetica");
  w.AddPage(612, 792,
            "BT /" + f +
                " 12 Tf 72 700 Td (Hello) Tj ( World) Tj 0 -14 Td (Second line) Tj "
                "T* [(Kern) -50 (ed)] TJ ET");
  Kit kit(w, "operators");
  auto runs = kit.Runs();
  ASSERT_EQ(Texts(runs),
            (std::vector<std::u16string>{u"Hello", u" World", u"Second line", u"Kerned"}));
  const RunView& hello = runs[0];
  EXPECT_EQ(hello.font, u"Helvetica");
  EXPECT_EQ(hello.encoding, u"WinAnsiEncoding");
  EXPECT_NEAR(hello.size, 12, 1e-6);
  EXPECT_NEAR(hello.vsize, 12, 1e-6);
  EXPECT_EQ(hello.wmode, 0);
  EXPECT_FALSE(hello.invisible);
  EXPECT_NEAR(hello.chars[0].ox, 72, 1e-3);
  EXPECT_NEAR(hello.chars[0].oy, 700, 1e-3);
  // The run spans its line cell (0.12 em below the baseline to 0.88 em above it) whatever
  // its glyphs ink; the glyph boxes keep the ink: Helvetica's cap height is about 0.72 em.
  EXPECT_NEAR(hello.y0, 700 - 0.12 * 12, 1e-3);
  EXPECT_NEAR(hello.y1, 700 + 0.88 * 12, 1e-3);
  EXPECT_NEAR(hello.chars[0].y0, 700, 0.5);
  EXPECT_NEAR(hello.chars[0].y1, 700 + 0.72 * 12, 0.8);
  EXPECT_DOUBLE_EQ(hello.x0, 72);  // from the first origin to the last advance
  EXPECT_GT(hello.x1, 72 + 25);
  // Pen positions advance inside a run and continue across operators.
  EXPECT_GT(hello.chars[1].ox, hello.chars[0].ox);
  EXPECT_NEAR(runs[1].chars[0].ox, hello.x1, 2.0);
  EXPECT_NEAR(runs[2].chars[0].oy, 686, 1e-3);
  // Font keys name the font object and are the same for every run of the font.
  EXPECT_NE(hello.key.find(u" R"), std::u16string::npos);
  EXPECT_EQ(hello.key, runs[3].key);
  // A space has no ink: its glyph box collapses onto its origin.
  const CharView& space = runs[1].chars[0];
  EXPECT_EQ(space.code, ' ');
  EXPECT_LT(space.x1 - space.x0, 0.01);
  EXPECT_LT(space.y1 - space.y0, 0.01);
}

TEST(KitText, OneOperatorSplitsWhereThePenJumpsOrTurnsBackAndOverprintsOnce) {
  vtest::PdfWriter w;
  std::string f = w.AddStandardFont("Helvetica");
  w.AddPage(612, 792,
            "BT /" + f +
                " 10 Tf 72 600 Td [(Near) -300 (by)] TJ 0 -20 Td [(Far) -4000 (away)] TJ "
                "0 -20 Td [(Back) 3000 (wards)] TJ 0 -20 Td [(Up) (per)] TJ "
                // A bold face faked by drawing each glyph three times, 0.03 em apart.
                "0 -20 Td [(B) 637 (B) 637 (B) (old)] TJ ET "
                "BT /" +
                f + " 10 Tf 72 500 Td (base) Tj 5 Ts (sup) Tj ET");
  Kit kit(w, "jumps");
  EXPECT_EQ(Texts(kit.Runs()),
            (std::vector<std::u16string>{u"Nearby", u"Far", u"away", u"Back", u"wards", u"Upper",
                                         u"Bold", u"base", u"sup"}));
}

TEST(KitText, ChineseTextKeepsItsCodes) {
  vtest::PdfWriter w;
  std::string f = w.AddCjkFont("STSong-Light");
  w.AddPage(992, 1417,
            "BT /" + f + " 9 Tf 100 1300 Td " + vtest::PdfHexUtf16(u"第3版　要闻") + " Tj ET");
  Kit kit(w, "cjk");
  auto runs = kit.Runs();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].text, u"第3版　要闻");
  EXPECT_EQ(runs[0].font, u"STSong-Light");
  EXPECT_EQ(runs[0].encoding, u"UniGB-UCS2-H");
  EXPECT_NEAR(runs[0].size, 9, 1e-6);
  // Full-width characters advance one em, the ASCII digit half an em.
  EXPECT_NEAR(runs[0].chars[1].ox - runs[0].chars[0].ox, 9, 0.01);
  EXPECT_NEAR(runs[0].chars[2].ox - runs[0].chars[1].ox, 4.5, 0.01);
  // Ink boxes of the substituted CJK font are the glyphs' own, not the whole font box.
  const CharView& di = runs[0].chars[0];
  EXPECT_GT(di.x1 - di.x0, 4.5);
  EXPECT_LT(di.x1 - di.x0, 9.5);
  EXPECT_GT(di.y0, 1300 - 2.5);
  EXPECT_LT(di.y1, 1300 + 9.5);
}

TEST(KitText, CustomEncodedFontIsReportedWithoutCodes) {
  vtest::PdfWriter w;
  std::string f = w.AddType3Font("HGFKAB-HeiTi_B3", 4);
  w.AddPage(612, 792, "BT /" + f + " 20 Tf 100 400 Td (!\"#$) Tj ET");
  Kit kit(w, "custom");
  auto runs = kit.Runs();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].encoding, u"Custom");
  EXPECT_EQ(runs[0].font, u"HGFKAB-HeiTi_B3");
  EXPECT_EQ(runs[0].text, u"????");
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(runs[0].chars[i].code, 0x21 + i);
    EXPECT_EQ(runs[0].chars[i].noCode, runs[0].chars[i].code);
    EXPECT_EQ(runs[0].chars[i].glyph, 0x21 + i);
  }
  // Drawn glyphs have ink, so real boxes.
  EXPECT_GT(runs[0].chars[0].x1 - runs[0].chars[0].x0, 1);
}

TEST(KitText, InvisibleAndFormTextIsContentButAnnotationsAreNot) {
  vtest::PdfWriter w;
  std::string f = w.AddStandardFont("Times-Roman");
  std::string form = w.AddForm("BT /" + f + " 10 Tf 10 10 Td (In form) Tj ET", {0, 0, 200, 50});
  vtest::PageOptions opts;
  opts.annotationTexts = {"Annotation text"};
  w.AddPage(612, 792,
            "BT 3 Tr /" + f + " 10 Tf 72 700 Td (Hidden layer) Tj 0 Tr ET q 1 0 0 1 100 300 cm /" +
                form + " Do Q",
            opts);
  Kit kit(w, "invisible");
  auto runs = kit.Runs();
  ASSERT_EQ(Texts(runs), (std::vector<std::u16string>{u"Hidden layer", u"In form"}));
  EXPECT_TRUE(runs[0].invisible);
  EXPECT_FALSE(runs[1].invisible);
  EXPECT_NEAR(runs[1].chars[0].ox, 110, 1e-3);
  EXPECT_NEAR(runs[1].chars[0].oy, 310, 1e-3);
}

TEST(KitText, CoordinatesFollowTheDisplayedPage) {
  vtest::PdfWriter w;
  std::string f = w.AddStandardFont("Helvetica");
  vtest::PageOptions rotated;
  rotated.rotate = 90;
  w.AddPage(600, 800, "BT /" + f + " 10 Tf 100 50 Td (A) Tj ET", rotated);
  vtest::PageOptions cropped;
  cropped.cropBox = std::array<double, 4>{50, 100, 550, 700};
  w.AddPage(600, 800, "BT /" + f + " 10 Tf 100 150 Td (B) Tj ET", cropped);
  Kit kit(w, "frames");
  double x0, y0, x1, y1;
  ASSERT_TRUE(PTK_GetPageRect(kit.doc(), 1, 1, &x0, &y0, &x1, &y1));
  EXPECT_DOUBLE_EQ(x1 - x0, 800);
  EXPECT_DOUBLE_EQ(y1 - y0, 600);
  auto a = kit.Runs(1);
  ASSERT_EQ(a.size(), 1u);
  // Turned a quarter clockwise: user (100, 50) shows at (50, 100) from the top-left corner.
  EXPECT_NEAR(a[0].chars[0].ox, 50, 1e-3);
  EXPECT_NEAR(a[0].chars[0].oy, 600 - 100, 1e-3);
  EXPECT_NEAR(a[0].size, 10, 1e-6);

  ASSERT_TRUE(PTK_GetPageRect(kit.doc(), 2, 1, &x0, &y0, &x1, &y1));
  EXPECT_DOUBLE_EQ(x1 - x0, 500);
  EXPECT_DOUBLE_EQ(y1 - y0, 600);
  ASSERT_TRUE(PTK_GetPageRect(kit.doc(), 2, 0, &x0, &y0, &x1, &y1));
  EXPECT_DOUBLE_EQ(x0, -50);
  EXPECT_DOUBLE_EQ(y0, -100);
  auto b = kit.Runs(2);
  ASSERT_EQ(b.size(), 1u);
  EXPECT_NEAR(b[0].chars[0].ox, 50, 1e-3);
  EXPECT_NEAR(b[0].chars[0].oy, 50, 1e-3);
}

TEST(KitText, CompatibilityIdeographsBecomeUnifiedOnes) {
  // A ToUnicode map built by reversing a font's cmap reports 年 as U+F98E, 十 as U+2F17 and
  // 大 as U+2F24; the kit hands out the unified ideographs.
  std::string cmap =
      "/CIDInit /ProcSet findresource begin 12 dict begin begincmap /CMapName /T def "
      "1 begincodespacerange <00> <FF> endcodespacerange 4 beginbfchar <21> <F98E> "
      "<22> <2F17> <23> <2F24> <24> <FF11> endbfchar endcmap end end";
  std::string glyph = "1000 0 0 0 800 800 d1 0 0 800 800 re f";
  std::vector<std::string> objs = {
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 300] /Contents 4 0 R "
      "/Resources << /Font << /F1 5 0 R >> >> >>",
      vtest::PdfStream("BT /F1 20 Tf 20 100 Td (!\"#$) Tj ET"),
      "<< /Type /Font /Subtype /Type3 /Name /T3 /FontBBox [0 0 1000 1000] "
      "/FontMatrix [0.001 0 0 0.001 0 0] /FirstChar 33 /LastChar 36 "
      "/Widths [1000 1000 1000 1000] /Encoding << /Type /Encoding /Differences "
      "[33 /a /b /c /d] >> /CharProcs << /a 7 0 R /b 7 0 R /c 7 0 R /d 7 0 R >> "
      "/ToUnicode 6 0 R /Resources << >> >>",
      vtest::PdfStream(cmap),
      vtest::PdfStream(glyph)};
  Kit kit(objs, "compat");
  ASSERT_NE(kit.doc(), nullptr);
  const std::vector<RunView> runs = kit.Runs();
  ASSERT_EQ(runs.size(), 1u);
  // Full-width digits are left alone: the page-number patterns rely on them.
  EXPECT_EQ(runs[0].text, u"年十大１");
  EXPECT_EQ(runs[0].encoding, u"Differences");
}

TEST(KitText, LigatureGlyphsGiveTheirLetters) {
  // Typesetting programs name ligature glyphs f_l, fi, T_h or uni00660069 in the encoding and
  // often leave them out of the ToUnicode map; MuPDF then keeps only the first letter. A
  // ToUnicode entry of U+FB02 is read as its letters too, and a ligature drawn twice on one
  // place (a faked bold) stays one ligature.
  std::string cmap =
      "/CIDInit /ProcSet findresource begin 12 dict begin begincmap /CMapName /T def "
      "1 begincodespacerange <00> <FF> endcodespacerange 2 beginbfchar <25> <0061> "
      "<26> <FB02> endbfchar endcmap end end";
  auto font = [](const std::string& toUnicode) {
    return "<< /Type /Font /Subtype /Type3 /Name /T3 /FontBBox [0 0 1000 1000] "
           "/FontMatrix [0.001 0 0 0.001 0 0] /FirstChar 33 /LastChar 39 "
           "/Widths [1000 1000 1000 1000 1000 1000 1000] /Encoding << /Type /Encoding "
           "/Differences [33 /f_l /fi /T_h /uni00660069 /a /fl /g12] >> /CharProcs << /f_l 8 0 R "
           "/fi 8 0 R /T_h 8 0 R /uni00660069 8 0 R /a 8 0 R /fl 8 0 R /g12 8 0 R >> " +
           toUnicode + " /Resources << >> >>";
  };
  std::vector<std::string> objs = {
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 300] /Contents 4 0 R "
      "/Resources << /Font << /F1 5 0 R /F2 6 0 R >> >> >>",
      vtest::PdfStream("BT /F1 20 Tf 20 100 Td (!\"#$%&) Tj ET "
                       "BT /F2 20 Tf 20 50 Td [(!) 1000 (!#$%')] TJ ET"),
      font("/ToUnicode 7 0 R"),
      font(""),
      vtest::PdfStream(cmap),
      vtest::PdfStream("1000 0 0 0 800 800 d1 0 0 800 800 re f")};
  Kit kit(objs, "ligatures");
  ASSERT_NE(kit.doc(), nullptr);
  const std::vector<RunView> runs = kit.Runs();
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].text, u"flfiThfiafl");
  EXPECT_EQ(runs[1].text, u"flThfia?");
  // The letters of one glyph share its place.
  ASSERT_EQ(runs[1].chars.size(), 8u);
  EXPECT_EQ(runs[1].chars[0].ox, runs[1].chars[1].ox);
  EXPECT_EQ(runs[1].chars[0].x1, runs[1].chars[1].x1);
  EXPECT_LT(runs[1].chars[1].ox, runs[1].chars[2].ox);
}

TEST(KitText, BadArgumentsGiveNoStream) {
  vtest::PdfWriter w;
  std::string f = w.AddStandardFont();
  w.AddPage(612, 792, "BT /" + f + " 10 Tf 72 700 Td (x) Tj ET");
  Kit kit(w, "bad");
  PTK_TextRun* first = reinterpret_cast<PTK_TextRun*>(1);
  PTK_GetPageContentTextStream(kit.doc(), 0, &first);
  EXPECT_EQ(first, nullptr);
  first = reinterpret_cast<PTK_TextRun*>(1);
  PTK_GetPageContentTextStream(kit.doc(), 2, &first);
  EXPECT_EQ(first, nullptr);
  PTK_GetPageContentTextStream(nullptr, 1, &first);
  EXPECT_EQ(first, nullptr);
  PTK_GetPageContentTextStream(kit.doc(), 1, nullptr);
  PTK_FreePageContentTextStream(nullptr);
  // A page without text has no stream.
  vtest::PdfWriter empty;
  empty.AddPage(612, 792, "0 0 m 100 100 l S");
  Kit none(empty, "empty");
  EXPECT_TRUE(none.Runs().empty());
}

TEST(KitText, DocumentsWorkOnSeveralThreadsAtOnce) {
  vtest::PdfWriter w;
  std::string f = w.AddStandardFont();
  std::string cjk = w.AddCjkFont();
  std::string content;
  for (int i = 0; i < 60; ++i)
    content += "BT /" + f + " 8 Tf 40 " + std::to_string(780 - 12 * i) + " Td (Line " +
               std::to_string(i) + ") Tj /" + cjk + " 8 Tf " + vtest::PdfHexUtf16(u"新闻") +
               " Tj ET\n";
  w.AddPage(612, 792, content);
  Kit reference(w, "threads");
  auto expected = Texts(reference.Runs());
  ASSERT_EQ(expected.size(), 120u);
  std::vector<std::thread> threads;
  std::vector<int> ok(4, 0);
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      Kit kit(w, "threads" + std::to_string(t));
      bool same = true;
      for (int round = 0; round < 5; ++round) same = same && Texts(kit.Runs()) == expected;
      ok[t] = same;
    });
  for (auto& th : threads) th.join();
  for (int t = 0; t < 4; ++t) EXPECT_TRUE(ok[t]) << t;
}

}  // namespace
