// Characters of simple fonts without ToUnicode: GBK byte pairs in a WinAnsi font, what an
// embedded program's Unicode cmap and glyph names say, and fonts whose codes nothing names.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "pdfkit/pdfkit.h"
#include "ttfwriter.h"
#include "vwin32/strings.h"

namespace {

struct Decoded {
  std::u16string text;  // "?" for a character without a usable code
  std::u16string encoding;
};

// The text of the first run of the page, which shows one font.
Decoded Decode(const std::vector<vtest::SimpleFont>& fonts, const std::string& content,
               const std::string& name) {
  std::filesystem::create_directories(VELLUMA_TEST_TMP);
  const std::string path = std::string(VELLUMA_TEST_TMP) + "/fontdecode-" + name + ".pdf";
  std::ofstream(path, std::ios::binary) << vtest::SimpleFontPdf(fonts, content);
  Decoded out;
  PTK_HDOC doc = PTK_OpenDoc(vwin32::FromUtf8(path).c_str(), 0);
  EXPECT_NE(doc, nullptr) << name;
  if (!doc) return out;
  PTK_TextRun* first = nullptr;
  PTK_GetPageContentTextStream(doc, 1, &first);
  EXPECT_NE(first, nullptr) << name;
  if (first) {
    out.encoding = first->pszEncoding;
    for (const PTK_TextRun* r = first; r; r = r->pNext)
      for (uint32_t i = 0; i < r->nCharCount; ++i) {
        const PTK_CharRecord& c = r->pChars[i];
        out.text.push_back(c.nNoCode == PTK_HAS_CODE ? static_cast<char16_t>(c.nCode) : u'?');
      }
  }
  PTK_FreePageContentTextStream(first);
  PTK_CloseDoc(doc, 0);
  return out;
}

const std::string kShow = "BT /F1 20 Tf 40 200 Td (!\"#) Tj ET";

std::string Program(std::vector<std::pair<int, int>> unicode, std::vector<std::string> names,
                    bool symbolCmap) {
  vtest::TtfSpec spec;
  for (int id = 1; id <= 3; ++id) spec.glyphs.push_back(vtest::IdGlyph(id));
  spec.unicodeMap = std::move(unicode);
  spec.names = std::move(names);
  if (symbolCmap) spec.symbolMap = {{0x21, 1}, {0x22, 2}, {0x23, 3}};
  return vtest::BuildTrueType(spec);
}

TEST(FontDecodeTest, GbkPairsInWinAnsiFont) {
  vtest::SimpleFont song;
  song.baseFont = "\xCB\xCE\xCC\xE5";  // 宋体 in GBK
  song.encoding = "/WinAnsiEncoding";
  const Decoded d = Decode({song}, "BT /F1 12 Tf 40 200 Td <D6D0CEC4C8D5B1A8> Tj ET", "gbk");
  EXPECT_EQ(d.text, u"中文日报");
  EXPECT_EQ(d.encoding, u"GBK-EUC-H");
}

TEST(FontDecodeTest, EmbeddedProgramNamesItsGlyphs) {
  // A subset with a (3,1) cmap, codes mapped to glyphs by names that name nothing.
  vtest::SimpleFont cmap;
  cmap.program = Program({{0x65E5, 1}, {0x62A5, 2}, {0x41, 3}}, {"g1", "g2", "g3"}, false);
  cmap.encoding = "<< /Differences [33 /g1 /g2 /g3] >>";
  Decoded d = Decode({cmap}, kShow, "cmap31");
  EXPECT_EQ(d.text, u"日报A");
  EXPECT_NE(d.encoding, u"Custom");

  // No /Encoding: the program's (3,0) cmap gives the glyphs and its glyph names the
  // characters (uniXXXX, uXXXXX and glyph-list names).
  vtest::SimpleFont names;
  names.program = Program({}, {"uni65E5", "u62A5", "A"}, true);
  d = Decode({names}, kShow, "postnames");
  EXPECT_EQ(d.text, u"日报A");

  // uniXXXX names in /Differences over a program that names nothing.
  vtest::SimpleFont diff;
  diff.program = Program({}, {}, true);
  diff.encoding = "<< /Differences [33 /uni65E5 /u62A5 /g3] >>";
  d = Decode({diff}, kShow, "diffnames");
  EXPECT_EQ(d.text, u"日报?");
}

TEST(FontDecodeTest, UnnamedSubsetIsCustom) {
  // No /Encoding, (1,0) and (3,0) cmaps only, glyph names like g12: the codes would read as
  // "!\"#" if taken as ASCII.
  vtest::SimpleFont subset;
  subset.program = Program({}, {"g12", "g13", "g14"}, true);
  Decoded d = Decode({subset}, kShow, "unnamed");
  EXPECT_EQ(d.text, u"???");
  EXPECT_EQ(d.encoding, u"Custom");
  // A ToUnicode map that gives U+FFFD for every code names nothing either.
  subset.toUnicode =
      "/CIDInit /ProcSet findresource begin 12 dict begin begincmap 1 begincodespacerange <00> "
      "<FF> endcodespacerange 1 beginbfrange <21> <23> <FFFD> endbfrange endcmap end end";
  d = Decode({subset}, kShow, "fffd");
  EXPECT_EQ(d.text, u"???");
  EXPECT_EQ(d.encoding, u"Custom");
  subset.toUnicode.clear();
  subset.program = Program({}, {}, true);  // no glyph names at all
  d = Decode({subset}, kShow, "nonames");
  EXPECT_EQ(d.text, u"???");
  EXPECT_EQ(d.encoding, u"Custom");
}

}  // namespace
