// End to end through the client interfaces: a page set in an embedded subset font that has
// neither ToUnicode nor a Unicode cmap nor glyph names (only the (1,0) and (3,0) cmaps that
// take codes to glyphs) reads back, with the stand-in recognition library, as the text it was
// made from: its date and page identifier are recognised at level 3, and
// the page's other text blocks read as written; the glyph sheet export shows what the library read.
#define VELLUMA_DEFINE_IDS
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "../com/com_fixture.h"
#include "ttfwriter.h"
#include "vwin32/strings.h"

namespace {

// The characters of the subset, glyph i + 1 showing number i + 1; code 0x21 + i shows glyph i + 1.
const std::u16string kChars = u"2067年1月日第3版滨江报今天气晴,，";

std::string Codes(std::u16string_view text) {
  std::string out = "<";
  for (char16_t c : text) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned>(0x21 + kChars.find(c)));
    out += hex;
  }
  return out + ">";
}

std::string Show(double x, double y, double size, std::u16string_view text) {
  return "BT /F1 " + std::to_string(size) + " Tf " + std::to_string(x) + " " + std::to_string(y) +
         " Td " + Codes(text) + " Tj ET\n";
}

class RecognitionE2eTest : public ComModuleTest {};

TEST_F(RecognitionE2eTest, SubsetWithoutMapsReadsAsWritten) {
  vtest::TtfSpec spec;
  for (size_t i = 0; i < kChars.size(); ++i) {
    spec.glyphs.push_back(vtest::IdGlyph(static_cast<int>(i + 1)));
    spec.symbolMap.emplace_back(static_cast<int>(0x21 + i), static_cast<int>(i + 1));
  }
  vtest::SimpleFont font;
  // The library reads both commas as the shape they are; their advances say which form each is.
  const int narrow = static_cast<int>(kChars.find(u'，'));
  spec.glyphs[static_cast<size_t>(narrow)].advance = 300;
  font.program = vtest::BuildTrueType(spec);
  font.widths = {{0x21 + narrow, 300}};
  const std::string content = Show(40, 770, 12, u"2026年1月7日") + Show(480, 770, 12, u"第3版") +
                              Show(200, 700, 36, u"滨江报") + Show(40, 600, 12, u"今天气晴") +
                              Show(40, 585, 12, u"今天气晴") + Show(40, 540, 12, u"晴,江，");
  std::filesystem::create_directories(VELLUMA_TEST_TMP);
  const std::string path = std::string(VELLUMA_TEST_TMP) + "/subset-no-maps.pdf";
  std::ofstream(path, std::ios::binary) << vtest::SimpleFontPdf({font}, content, 600, 800);

  setenv("VELLUMA_GLYPHREC", VELLUMA_GLYPHREC_STUB, 1);
  setenv("VELLUMA_STUB_CHARS", vwin32::ToUtf8(kChars).c_str(), 1);
  IDataAdaptor* pAdaptor = NewAdaptor();
  ASSERT_NE(pAdaptor, nullptr);
  ASSERT_EQ(pAdaptor->Open(0, vwin32::FromUtf8(path).c_str()), S_OK);

  // Without recognition the subset's codes are no text.
  ASSERT_EQ(pAdaptor->LoadPage(1, LPF_TEXT | 3, TRUE), S_OK);
  long raw = 0;
  ASSERT_EQ(pAdaptor->GetCurPageInfo(&raw), S_OK);
  auto* pInfo = reinterpret_cast<IPageInfo*>(raw);
  BSTR b = nullptr;
  EXPECT_NE(pInfo->GetIssueDate(&b), S_OK);

  ASSERT_EQ(pAdaptor->LoadPage(1, LPF_TEXT | LPF_RECOGNISE | LPF_RESET | 3, TRUE), S_OK);
  ASSERT_EQ(pAdaptor->GetCurPageInfo(&raw), S_OK);
  pInfo = reinterpret_cast<IPageInfo*>(raw);
  ASSERT_EQ(pInfo->GetIssueDate(&b), S_OK);
  EXPECT_EQ(vwin32::ToUtf8(b), "2026年1月7日");
  SysFreeString(b);
  ASSERT_EQ(pInfo->GetPageId(&b), S_OK);
  EXPECT_EQ(vwin32::ToUtf8(b), "第3版");
  SysFreeString(b);

  // The sheet as the library saw it: one cell per distinct glyph, one record per cell.
  auto getSheet =
      reinterpret_cast<PFN_VellumaGetGlyphSheet>(dlsym(s_hModule, "VellumaGetGlyphSheet"));
  ASSERT_NE(getSheet, nullptr);
  HGLOBAL hDib = nullptr;
  long nResults = 0, nPairs = 0;
  ASSERT_EQ(getSheet(pAdaptor, &hDib, nullptr, &nResults, nullptr, &nPairs), S_OK);
  EXPECT_EQ(nPairs, static_cast<long>(kChars.size()));
  EXPECT_EQ(nResults, static_cast<long>(kChars.size()));
  ASSERT_NE(hDib, nullptr);
  const auto* header = static_cast<const BITMAPINFOHEADER*>(GlobalLock(hDib));
  EXPECT_EQ(header->biWidth, 1024);
  EXPECT_EQ(header->biHeight, 128);
  EXPECT_EQ(header->biBitCount, 1);
  GlobalUnlock(hDib);
  GlobalFree(hDib);

  // The page's text blocks at that level read as written.
  IBlockList* pList = nullptr;
  ASSERT_EQ(pAdaptor->GetTextList(nullptr, 0, &pList), S_OK);
  std::string all;
  long count = 0;
  pList->GetCount(&count);
  for (long i = 0; i < count; ++i) {
    long* pItem = nullptr;
    if (pList->GetItemAt(static_cast<int>(i), &pItem) != S_OK) continue;
    BSTR text = nullptr;
    if (reinterpret_cast<ITextBlock*>(pItem)->GetText(&text) == S_OK) {
      all += vwin32::ToUtf8(text) + "|";
      SysFreeString(text);
    }
  }
  pList->Release();
  EXPECT_NE(all.find("滨江报"), std::string::npos) << all;
  EXPECT_NE(all.find("今天气晴"), std::string::npos) << all;
  EXPECT_NE(all.find("晴，江,"), std::string::npos) << all;
  EXPECT_EQ(all.find('?'), std::string::npos) << all;

  pAdaptor->Close();
  EXPECT_EQ(pAdaptor->Release(), 0u);
}

}  // namespace
