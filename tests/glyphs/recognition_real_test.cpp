// End to end with the real recognition library beside the module: a news paragraph set in a
// typeface that is not among the library's references, embedded as subsets whose codes name
// nothing, reads back through the client interfaces as it was written, full-width
// punctuation included.
#define VELLUMA_DEFINE_IDS
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "../com/com_fixture.h"
#include "unmappedtext.h"
#include "vwin32/strings.h"

namespace {

const char16_t kParagraph[] =
    u"本报讯（记者 王明）昨天上午，全市春季植树活动在滨江公园举行。市民们三五成群，扛着铁锹、"
    u"提着水桶，种下了一千二百多棵树苗。“我们每年都来，孩子也很喜欢！”一位带着女儿的市民说。"
    u"据了解，今年全市计划新增绿地面积约三百公顷；沿江绿道全长11公里，设有21个驿站，"
    u"将于5月底全线贯通，受天气影响的项目顺延。";

class RealRecognitionTest : public ComModuleTest {
 protected:
  // The page through a new adaptor: its blocks' text at level 1 with recognition.
  static std::u16string ReadBack(const std::string& path);
};

std::u16string RealRecognitionTest::ReadBack(const std::string& path) {
  IDataAdaptor* pAdaptor = NewAdaptor();
  std::u16string got;
  if (pAdaptor == nullptr) return got;
  if (pAdaptor->Open(0, vwin32::FromUtf8(path).c_str()) == S_OK &&
      pAdaptor->LoadPage(1, LPF_TEXT | LPF_RECOGNISE | 1, TRUE) == S_OK) {
    IBlockList* pList = nullptr;
    long count = 0;
    if (pAdaptor->GetTextList(nullptr, 0, &pList) == S_OK) {
      pList->GetCount(&count);
      for (long i = 0; i < count; ++i) {
        long* pItem = nullptr;
        BSTR text = nullptr;
        if (pList->GetItemAt(static_cast<int>(i), &pItem) == S_OK &&
            reinterpret_cast<ITextBlock*>(pItem)->GetText(&text) == S_OK) {
          got += reinterpret_cast<const char16_t*>(text);
          SysFreeString(text);
        }
      }
      pList->Release();
    }
  }
  pAdaptor->Close();
  EXPECT_EQ(pAdaptor->Release(), 0u);
  return got;
}

TEST_F(RealRecognitionTest, UnmappedSubsetsReadAsWritten) {
  unsetenv("VELLUMA_GLYPHREC");  // the library beside the module
  std::filesystem::create_directories(VELLUMA_TEST_TMP);
  // The test typefaces, and a heavy sans whose 1 is a bare stroke, as l is.
  for (const std::string font :
       {GLYPHREC_TEST_FONTS "/usr/share/fonts/opentype/noto/NotoSansCJK-Bold.ttc:2"}) {
    SCOPED_TRACE(font);
    const std::string file = font.substr(0, font.rfind(':'));
    if (!std::filesystem::exists(file)) continue;
    const auto page =
        vtest::UnmappedTextPdf(file, std::atoi(font.c_str() + font.rfind(':') + 1), kParagraph);
    ASSERT_FALSE(page.pdf.empty());
    const std::string path = std::string(VELLUMA_TEST_TMP) + "/unmapped-paragraph.pdf";
    std::ofstream(path, std::ios::binary) << page.pdf;
    const std::u16string got = ReadBack(path);
    // A blank glyph reads as a blank, not as a placeholder.
    EXPECT_EQ(got.find(u'?'), std::u16string::npos) << vwin32::ToUtf8(got);
    EXPECT_GE(vtest::TextAgreement(page.text, got), 0.98) << vwin32::ToUtf8(got);
    // Marks that share a shape with other marks or characters, told apart by their advance,
    // their place in the em and what running text sets; close readings decided by the words
    // they stand in (a Hei 响 looks like 晌, a Hei 项 like 顶).
    for (std::u16string_view phrase :
         {u"（记者 王明）", u"昨天上午，", u"举行。", u"铁锹、", u"喜欢！”", u"公顷；",
          u"天气影响的项目", u"11公里", u"21个"})
      EXPECT_NE(got.find(phrase), std::u16string::npos)
          << vwin32::ToUtf8(phrase) << " in " << vwin32::ToUtf8(got);
  }
}

TEST_F(RealRecognitionTest, LatinPageReadsAsLatinText) {
  // A page without Chinese text takes no full-width forms and no ideographs for its letters;
  // the characters beside a glyph tell I from l and O from 0.
  unsetenv("VELLUMA_GLYPHREC");
  const char16_t latin[] =
      u"In 1932 the POLICE arrested 100 workers of the Indian Independence League in Ottawa. "
      u"All fellows will follow the rules, said Illa Iyer, 40, a well known lawyer, at 10 am.";
  for (const std::string font : {"/usr/share/fonts/truetype/dejavu/DejaVuSansCondensed.ttf:0",
                                 "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc:0"}) {
    SCOPED_TRACE(font);
    const std::string file = font.substr(0, font.rfind(':'));
    if (!std::filesystem::exists(file)) continue;
    const auto page = vtest::UnmappedTextPdf(file, 0, latin, 12);
    ASSERT_FALSE(page.pdf.empty());
    const std::string path = std::string(VELLUMA_TEST_TMP) + "/unmapped-latin.pdf";
    std::ofstream(path, std::ios::binary) << page.pdf;
    const std::u16string got = ReadBack(path);
    for (const char16_t c : got) EXPECT_LT(c, 0x2000) << vwin32::ToUtf8(got);
    EXPECT_GE(vtest::TextAgreement(page.text, got), 0.98) << vwin32::ToUtf8(got);
    for (std::u16string_view word : {u"In 1932", u"POLICE", u"100", u"Indian", u"Ottawa",
                                     u"All fellows will follow", u"Illa Iyer, 40"})
      EXPECT_NE(got.find(word), std::u16string::npos)
          << vwin32::ToUtf8(word) << " in " << vwin32::ToUtf8(got);
  }
}

}  // namespace
