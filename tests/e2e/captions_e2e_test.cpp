// Pictures and captions (level 4) end to end through the client interfaces only. On the
// bundled samples and every corpus page, the characters of level 3 are all at level 4, each
// once, in the text list or a picture's caption, and the pictures stay. The samples' pictures
// carry their printed captions, and keep them through a change to level 1 and back.
#define VELLUMA_DEFINE_IDS
#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "../com/com_fixture.h"
#include "pagetruth.h"
#include "vwin32/strings.h"

namespace {

namespace fs = std::filesystem;

constexpr unsigned long kTextImages = LPF_TEXT | LPF_IMAGES;

// The texts of a list's blocks (lines joined); the list is released.
std::vector<std::u16string> Texts(IBlockList* pList) {
  std::vector<std::u16string> out;
  long count = 0;
  pList->GetCount(&count);
  for (int i = 0; i < count; ++i) {
    long* pItem = nullptr;
    BSTR text = nullptr;
    if (pList->GetItemAt(i, &pItem) != S_OK ||
        reinterpret_cast<ITextBlock*>(pItem)->GetText(&text) != S_OK)
      continue;
    std::u16string t = vwin32::FromBstr(text);
    SysFreeString(text);
    for (size_t at; (at = t.find(u"\r\n")) != std::u16string::npos;) t.erase(at, 2);
    out.push_back(t);
  }
  pList->Release();
  return out;
}

class CaptionsE2eTest : public ComModuleTest {
 protected:
  void SetUp() override { ASSERT_NE(m_pAdaptor = NewAdaptor(), nullptr); }
  void TearDown() override { EXPECT_EQ(m_pAdaptor->Release(), 0u); }

  // Picture box (left, top) and caption ("-" for none), in list order.
  std::vector<std::pair<std::string, std::u16string>> Pictures() {
    std::vector<std::pair<std::string, std::u16string>> out;
    IBlockList* pList = nullptr;
    EXPECT_EQ(m_pAdaptor->GetPicList(nullptr, 0, &pList), S_OK);
    long count = 0;
    if (pList != nullptr) pList->GetCount(&count);
    for (int i = 0; i < count; ++i) {
      long* pItem = nullptr;
      pList->GetItemAt(i, &pItem);
      auto* pPic = reinterpret_cast<IPicBlock*>(pItem);
      RECT rc{};
      pPic->GetRect(&rc);
      IBlockList* pCaption = nullptr;
      std::vector<std::u16string> caption{u"-"};
      if (pPic->GetTextList(&pCaption, 0) == S_OK) caption = Texts(pCaption);
      EXPECT_EQ(caption.size(), 1u);
      out.emplace_back(std::to_string(rc.left) + "," + std::to_string(rc.top), caption.at(0));
    }
    if (pList != nullptr) pList->Release();
    return out;
  }

  // The page's characters but blanks, sorted: the text list's, and the captions'.
  std::u16string Characters() {
    std::u16string all;
    IBlockList* pList = nullptr;
    EXPECT_EQ(m_pAdaptor->GetTextList(nullptr, 0, &pList), S_OK);
    for (const auto& t : Texts(pList)) all += t;
    for (const auto& [box, caption] : Pictures())
      if (caption != u"-") all += caption;
    std::erase_if(all, [](char16_t c) { return c == u' ' || c == u'\u3000'; });
    std::sort(all.begin(), all.end());
    return all;
  }

  IDataAdaptor* m_pAdaptor = nullptr;
};

TEST_F(CaptionsE2eTest, Level4KeepsEveryCharacterAndGivesThePrintedCaptions) {
  // The reader code's label stands under it and is its caption by the rules. The truck
  // picture's caption is made the first child of the body's column group at level 2, too long
  // to be offered.
  const std::map<std::string, std::u16string> kNotInTruth = {{"front-page 690,72", u"扫码看滨江"},
                                                             {"front-page 347,704", u"-"}};
  std::vector<fs::path> files = CorpusFiles();
  files.insert(files.begin(), {fs::path(VELLUMA_SAMPLES_DIR) / "front-page.pdf",
                               fs::path(VELLUMA_SAMPLES_DIR) / "inner-page.pdf"});
  int captioned = 0;
  for (const fs::path& file : files) {
    SCOPED_TRACE(file.string());
    ASSERT_EQ(m_pAdaptor->Open(0, vwin32::FromUtf8(file.string()).c_str()), S_OK);
    long pages = 0;
    ASSERT_EQ(m_pAdaptor->get_TotalPageCount(&pages), S_OK);
    for (int page = 1; page <= pages; ++page) {
      SCOPED_TRACE("page " + std::to_string(page));
      ASSERT_EQ(m_pAdaptor->LoadPage(page, kTextImages | LPF_RESET | 3, TRUE), S_OK);
      const std::u16string level3 = Characters();
      const size_t pictures = Pictures().size();
      ASSERT_EQ(m_pAdaptor->LoadPage(page, kTextImages | LPF_RESET | 4, TRUE), S_OK);
      EXPECT_EQ(Characters(), level3);
      const auto captions = Pictures();
      EXPECT_EQ(captions.size(), pictures);

      const auto truth = vtest::LoadPageTruth(fs::path(file).replace_extension(".truth.json"));
      if (!truth) continue;
      std::vector<vtest::TruthPicture> printed = truth->pictures;
      for (const auto& a : truth->articles)
        printed.insert(printed.end(), a.pictures.begin(), a.pictures.end());
      std::map<std::string, std::u16string> expected;
      for (const auto& t : printed) {
        const std::string box = std::to_string(static_cast<int>(t.box.left)) + "," +
                                std::to_string(static_cast<int>(t.box.top));
        const auto over = kNotInTruth.find(file.stem().string() + " " + box);
        expected[box] = over != kNotInTruth.end() ? over->second
                        : t.caption.empty()       ? u"-"
                                                  : vwin32::FromUtf8(t.caption);
      }
      for (const auto& [box, caption] : captions) {
        EXPECT_EQ(vwin32::ToUtf8(caption), vwin32::ToUtf8(expected[box])) << box;
        captioned += caption != u"-";
      }
      ASSERT_EQ(m_pAdaptor->LoadPage(page, kTextImages | 1, TRUE), S_OK);
      for (const auto& [box, caption] : Pictures()) EXPECT_EQ(caption, u"-");
      ASSERT_EQ(m_pAdaptor->LoadPage(page, kTextImages | 4, TRUE), S_OK);
      EXPECT_EQ(Pictures(), captions);
    }
  }
  EXPECT_EQ(captioned, 6);
}

}  // namespace
