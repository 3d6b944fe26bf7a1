// Pictures and captions (level 4) end to end through the client interfaces only: the bundled
// sample pages give each picture its printed caption, and keep them through level changes;
// on every corpus page the characters and pictures of level 3 are all still there at level 4,
// each once, in the page's text list or a picture's caption.
#define VELLUMA_DEFINE_IDS
#include <algorithm>
#include <cmath>
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

std::u16string TakeBstr(BSTR b) {
  std::u16string s = vwin32::FromBstr(b);
  SysFreeString(b);
  return s;
}

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\u3000';
}

// A picture as a client sees it: its box and its caption's text (lines joined).
struct Picture {
  RECT rect{};
  bool hasCaption = false;
  std::u16string caption;
};

class CaptionsE2eTest : public ComModuleTest {
 protected:
  void SetUp() override {
    m_pAdaptor = NewAdaptor();
    ASSERT_NE(m_pAdaptor, nullptr);
  }
  void TearDown() override {
    if (m_pAdaptor != nullptr) {
      m_pAdaptor->Close();
      EXPECT_EQ(m_pAdaptor->Release(), 0u);
    }
  }

  void Open(const std::string& path) {
    ASSERT_EQ(m_pAdaptor->Open(0, vwin32::FromUtf8(path).c_str()), S_OK) << path;
  }

  // The texts of the blocks of a list; the list is released.
  static std::vector<std::u16string> Texts(IBlockList* pList) {
    std::vector<std::u16string> out;
    long count = 0;
    EXPECT_EQ(pList->GetCount(&count), S_OK);
    for (int i = 0; i < count; ++i) {
      long* pItem = nullptr;
      BSTR text = nullptr;
      if (pList->GetItemAt(i, &pItem) == S_OK &&
          reinterpret_cast<ITextBlock*>(pItem)->GetText(&text) == S_OK)
        out.push_back(TakeBstr(text));
    }
    pList->Release();
    return out;
  }

  std::vector<Picture> Pictures() {
    std::vector<Picture> out;
    IBlockList* pList = nullptr;
    EXPECT_EQ(m_pAdaptor->GetPicList(nullptr, 0, &pList), S_OK);
    if (pList == nullptr) return out;
    long count = 0;
    EXPECT_EQ(pList->GetCount(&count), S_OK);
    for (int i = 0; i < count; ++i) {
      long* pItem = nullptr;
      if (pList->GetItemAt(i, &pItem) != S_OK) continue;
      auto* pPic = reinterpret_cast<IPicBlock*>(pItem);
      Picture p;
      EXPECT_EQ(pPic->GetRect(&p.rect), S_OK);
      IBlockList* pCaption = nullptr;
      if (pPic->GetTextList(&pCaption, 0) == S_OK) {
        const auto texts = Texts(pCaption);
        EXPECT_EQ(texts.size(), 1u);
        p.hasCaption = true;
        for (const auto& t : texts) p.caption += t;
        for (size_t at; (at = p.caption.find(u"\r\n")) != std::u16string::npos;)
          p.caption.erase(at, 2);
      }
      out.push_back(p);
    }
    pList->Release();
    return out;
  }

  // The page's characters but blanks, sorted: the text list's, and with captions the
  // pictures' captions too.
  std::u16string Characters(bool captions) {
    std::u16string all;
    IBlockList* pList = nullptr;
    EXPECT_EQ(m_pAdaptor->GetTextList(nullptr, 0, &pList), S_OK);
    if (pList != nullptr)
      for (const auto& t : Texts(pList)) all += t;
    if (captions)
      for (const Picture& p : Pictures()) all += p.caption;
    all.erase(std::remove_if(all.begin(), all.end(), IsBlank), all.end());
    std::sort(all.begin(), all.end());
    return all;
  }

  IDataAdaptor* m_pAdaptor = nullptr;
};

// Each picture of the samples has its printed caption. The reader code's label stands under
// it and is its caption by the rules. The lead page's truck picture has none: the column
// regrouping (level 2) makes its caption the first child of the body's column group, and such
// a group is too long to be offered.
TEST_F(CaptionsE2eTest, SamplePicturesGetTheirPrintedCaptions) {
  const std::map<std::string, std::u16string> kExpectedOverTruth = {
      {"front-page 690,72", u"扫码看滨江"},
      {"front-page 347,704", u"-"},
  };
  int captioned = 0;
  for (const std::string name : {"front-page", "inner-page"}) {
    SCOPED_TRACE(name);
    const std::string path = std::string(VELLUMA_SAMPLES_DIR) + "/" + name + ".pdf";
    const auto truth =
        vtest::LoadPageTruth(std::string(VELLUMA_SAMPLES_DIR) + "/" + name + ".truth.json");
    ASSERT_TRUE(truth.has_value());
    std::vector<vtest::TruthPicture> printed = truth->pictures;
    for (const auto& a : truth->articles)
      printed.insert(printed.end(), a.pictures.begin(), a.pictures.end());
    Open(path);
    ASSERT_EQ(m_pAdaptor->LoadPage(1, kTextImages | LPF_RESET | 3, TRUE), S_OK);
    const std::u16string level3 = Characters(false);
    ASSERT_EQ(m_pAdaptor->LoadPage(1, kTextImages | LPF_RESET | 4, TRUE), S_OK);
    EXPECT_EQ(Characters(true), level3);
    const std::vector<Picture> pictures = Pictures();
    ASSERT_EQ(pictures.size(), printed.size());
    for (const vtest::TruthPicture& t : printed) {
      const auto at = std::find_if(pictures.begin(), pictures.end(), [&](const Picture& p) {
        return std::abs(p.rect.left - t.box.left) <= 2 && std::abs(p.rect.top - t.box.top) <= 2;
      });
      ASSERT_NE(at, pictures.end()) << t.box.left << "," << t.box.top;
      const std::string key = name + " " + std::to_string(static_cast<int>(t.box.left)) + "," +
                              std::to_string(static_cast<int>(t.box.top));
      const auto over = kExpectedOverTruth.find(key);
      std::u16string expected =
          over != kExpectedOverTruth.end() ? over->second : vwin32::FromUtf8(t.caption);
      if (expected.empty()) expected = u"-";
      EXPECT_EQ(vwin32::ToUtf8(at->hasCaption ? at->caption : u"-"), vwin32::ToUtf8(expected))
          << key;
      if (at->hasCaption) ++captioned;
    }
    // Down to level 1 every caption is gone back to the page; up again, the same captions.
    ASSERT_EQ(m_pAdaptor->LoadPage(1, kTextImages | 1, TRUE), S_OK);
    for (const Picture& p : Pictures()) EXPECT_FALSE(p.hasCaption);
    ASSERT_EQ(m_pAdaptor->LoadPage(1, kTextImages | 4, TRUE), S_OK);
    const std::vector<Picture> again = Pictures();
    ASSERT_EQ(again.size(), pictures.size());
    for (size_t i = 0; i < again.size(); ++i) EXPECT_EQ(again[i].caption, pictures[i].caption);
  }
  EXPECT_EQ(captioned, 6);
}

// Every corpus page: the characters of level 3 are at level 4 in the text list or a caption,
// each once, and the pictures are the same.
TEST_F(CaptionsE2eTest, EveryCorpusPageKeepsItsCharactersAndPicturesAtLevel4) {
  const std::vector<fs::path> files = CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "no corpus at " << VELLUMA_CORPUS_DIR;
  for (const fs::path& file : files) {
    SCOPED_TRACE(file.string());
    Open(file.string());
    long pages = 0;
    ASSERT_EQ(m_pAdaptor->get_TotalPageCount(&pages), S_OK);
    for (int page = 1; page <= pages; ++page) {
      SCOPED_TRACE("page " + std::to_string(page));
      ASSERT_EQ(m_pAdaptor->LoadPage(page, kTextImages | LPF_RESET | 3, TRUE), S_OK);
      const std::u16string level3 = Characters(false);
      const size_t pictures = Pictures().size();
      ASSERT_EQ(m_pAdaptor->LoadPage(page, kTextImages | LPF_RESET | 4, TRUE), S_OK);
      EXPECT_EQ(Characters(true), level3);
      EXPECT_EQ(Pictures().size(), pictures);
    }
  }
}

}  // namespace
