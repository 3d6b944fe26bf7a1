// End to end through the client interfaces only: libvelluma.so loaded as a host loads it, the
// bundled sample pages analysed to column groups (level 2), page information (level 3) and
// articles (level 5) and compared with what their generator printed, a written page whose date
// uses a compatibility ideograph, and every corpus page at levels 3 and 5.
#define VELLUMA_DEFINE_IDS
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "../com/com_fixture.h"
#include "pagetruth.h"
#include "pdfwriter.h"
#include "vwin32/strings.h"

namespace {

namespace fs = std::filesystem;

constexpr unsigned long kTextImages = LPF_TEXT | LPF_IMAGES;
constexpr unsigned long kTypeTitle = 0x11;
const std::string kFailed = "<failed " + std::to_string(E_FAIL) + ">";

// A text block as a client sees it.
struct Block {
  std::string text;  // the lines joined, "\r\n" removed
  vtest::TruthBox box;
  unsigned long type = 0;
  std::vector<Block> children;
};

std::string TakeBstr(BSTR b) {
  std::string s = vwin32::ToUtf8(vwin32::FromBstr(b));
  SysFreeString(b);
  return s;
}

std::string Str(const vtest::TruthBox& b) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "[%.1f %.1f %.1f %.1f]", b.left, b.top, b.right, b.bottom);
  return buf;
}

bool Near(const vtest::TruthBox& a, const vtest::TruthBox& b, double tol) {
  return std::abs(a.left - b.left) <= tol && std::abs(a.top - b.top) <= tol &&
         std::abs(a.right - b.right) <= tol && std::abs(a.bottom - b.bottom) <= tol;
}

// Body lines start with ideographic spaces the analysis may fold into the paragraph.
std::string TrimIndent(std::string s) {
  while (s.rfind("\u3000", 0) == 0) s.erase(0, 3);
  return s;
}

void Flatten(const std::vector<Block>& blocks, std::vector<const Block*>& out) {
  for (const Block& b : blocks) {
    out.push_back(&b);
    Flatten(b.children, out);
  }
}

// Leaves (the page's runs) of block trees: their number and the characters they hold.
struct Leaves {
  size_t count = 0, chars = 0;
  bool operator==(const Leaves&) const = default;
};

void CountLeaves(const std::vector<Block>& blocks, Leaves& out) {
  for (const Block& b : blocks) {
    if (b.children.empty()) {
      ++out.count;
      out.chars += vwin32::FromUtf8(b.text).size();
    }
    CountLeaves(b.children, out);
  }
}

// An article as a client reads it: titles and body (text empty when absent), all its text
// blocks (GetTextList 0) and its pictures' captions.
struct Story {
  long id = 0;
  Block kicker, headline, subtitle, body, all;
  std::vector<std::vector<Block>> captions;  // one list per picture (empty: no caption)
};

struct InfoCase {
  const char* file;
  std::string pageId, pageName, pageCount;  // kFailed: the getter fails
};

class AnalysisE2eTest : public ComModuleTest {
 protected:
  void SetUp() override {
    m_pFlags = reinterpret_cast<PFN_VellumaGetBlockFlags>(dlsym(s_hModule, "VellumaGetBlockFlags"));
    ASSERT_NE(m_pFlags, nullptr);
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
    const std::u16string wide = vwin32::FromUtf8(path);
    ASSERT_EQ(m_pAdaptor->Open(0, wide.c_str()), S_OK) << path;
  }

  std::vector<Block> ReadList(IBlockList* pList, int depth) {
    std::vector<Block> out;
    long count = 0;
    EXPECT_EQ(pList->GetCount(&count), S_OK);
    for (int i = 0; i < count; ++i) {
      long* pItem = nullptr;
      if (pList->GetItemAt(i, &pItem) == S_OK)
        out.push_back(Read(reinterpret_cast<ITextBlock*>(pItem), depth));
    }
    pList->Release();
    return out;
  }

  Block Read(ITextBlock* pBlock, int depth) {
    Block b;
    BSTR text = nullptr;
    EXPECT_EQ(pBlock->GetText(&text), S_OK);
    b.text = TakeBstr(text);
    for (size_t at; (at = b.text.find("\r\n")) != std::string::npos;) b.text.erase(at, 2);
    IRegn* pRegn = nullptr;
    int n = 0;
    if (pBlock->GetRegion(0, &pRegn) == S_OK && pRegn->GetPoints(nullptr, &n) == S_OK && n > 0) {
      std::vector<POINT> points(static_cast<size_t>(n));
      pRegn->GetPoints(points.data(), &n);
      b.box = {1e9, 1e9, -1e9, -1e9};
      for (const POINT& p : points)
        b.box = {std::min<double>(b.box.left, p.x), std::min<double>(b.box.top, p.y),
                 std::max<double>(b.box.right, p.x), std::max<double>(b.box.bottom, p.y)};
    }
    unsigned long flags = 0;
    EXPECT_EQ(m_pFlags(pBlock, &flags), S_OK);
    b.type = flags & 0xFF;
    IBlockList* pChildren = nullptr;
    if (depth < 8 && SUCCEEDED(pBlock->GetTextList(&pChildren, 0)) && pChildren != nullptr)
      b.children = ReadList(pChildren, depth + 1);
    return b;
  }

  std::vector<Block> TextList() {
    IBlockList* pList = nullptr;
    EXPECT_EQ(m_pAdaptor->GetTextList(nullptr, 0, &pList), S_OK);
    return pList != nullptr ? ReadList(pList, 0) : std::vector<Block>{};
  }

  IPageInfo* PageInfo() {
    long raw = 0;
    EXPECT_EQ(m_pAdaptor->GetCurPageInfo(&raw), S_OK);
    return reinterpret_cast<IPageInfo*>(raw);
  }

  // A page-information text, or kFailed when the getter fails with E_FAIL.
  static std::string Info(IPageInfo* pInfo, HRESULT (IPageInfo::*get)(BSTR*)) {
    BSTR b = nullptr;
    const HRESULT hr = (pInfo->*get)(&b);
    return hr == S_OK ? TakeBstr(b) : "<failed " + std::to_string(hr) + ">";
  }

  // The page's articles: each as its titles, body and pictures (the pictures' captions read
  // through the pictures).
  std::vector<Story> Articles() {
    std::vector<Story> out;
    IBlockList* pList = nullptr;
    EXPECT_EQ(m_pAdaptor->GetArticleList(0, &pList), S_OK);
    if (pList == nullptr) return out;
    long count = 0;
    EXPECT_EQ(pList->GetCount(&count), S_OK);
    for (int i = 0; i < count; ++i) {
      long* pItem = nullptr;
      EXPECT_EQ(pList->GetItemAt(i, &pItem), S_OK);
      auto* pArticle = reinterpret_cast<IArticle*>(pItem);
      Story story;
      story.id = pArticle->GetArticleId();
      Block* parts[] = {&story.all, &story.headline, &story.kicker, &story.subtitle, &story.body};
      for (int type = 0; type <= 4; ++type) {
        IBlockList* pText = nullptr;
        if (pArticle->GetTextList(&pText, type) == S_OK) {
          std::vector<Block> list = ReadList(pText, 1);
          if (type > 0) {
            *parts[type] = list.at(0);
          } else {
            parts[type]->children = std::move(list);
          }
        }
      }
      IBlockList* pPics = nullptr;
      if (pArticle->GetPicList(&pPics) == S_OK) {
        long n = 0;
        pPics->GetCount(&n);
        for (int k = 0; k < n; ++k) {
          long* pPic = nullptr;
          pPics->GetItemAt(k, &pPic);
          IBlockList* pCaption = nullptr;
          auto* pPicture = reinterpret_cast<IPicBlock*>(pPic);
          story.captions.push_back(pPicture->GetTextList(&pCaption, 0) == S_OK
                                       ? ReadList(pCaption, 1)
                                       : std::vector<Block>{});
        }
        pPics->Release();
      }
      out.push_back(std::move(story));
    }
    pList->Release();
    return out;
  }

  long PictureCount() {
    IBlockList* pList = nullptr;
    EXPECT_EQ(m_pAdaptor->GetPicList(nullptr, 0, &pList), S_OK);
    long n = 0;
    if (pList != nullptr) pList->GetCount(&n), pList->Release();
    return n;
  }

  void CheckSamples(bool knownMisses);
  void CheckInfoCycle(const InfoCase& c, int passes);
  int CheckStories(const vtest::PageTruth& truth, bool knownMisses);
  std::string CheckStorySamples(bool knownMisses);

  IDataAdaptor* m_pAdaptor = nullptr;
  PFN_VellumaGetBlockFlags m_pFlags = nullptr;
};

// Printed items the analysis does not reproduce; DISABLED_KnownMissesMatchThePrintedPage checks
// them. "/right": right edges of the column boxes.
const std::set<std::string> kMisses = {
    "trucks/headline",      // its last two glyphs are custom-encoded: text ends in "??"
    "first-snow/headline",  // two custom-encoded glyphs come out as "?"
    "trade/subtitle",       // typed body text (0x20), not title
    "roads/kicker",         // typed body text
    "roads/subtitle",       // typed body text; right edge 445 for 452.8
    "canteens/kicker",      // typed body text
    "canteens/subtitle",    // typed body text
    "lead/columns",         // last column ends above the jump line the printed box includes
    "trucks/columns",       // the picture caption is the group's first child
    "briefs/columns",       // the headline is the group's first child
    // Column right edges up to 9 pt short where the widest line ends in punctuation.
    "lead/right", "heritage/right", "safety/right", "trade/right", "lead-continued/right",
    "roads/right", "canteens/right"};

// Titles: one block with the printed text, in place, typed as a title. Column groups: one child
// per printed column, in place, the group holding the first and the last line. Checks the items
// that are not known misses, or only those.
void CheckArticles(const std::vector<Block>& blocks, const vtest::PageTruth& truth,
                   bool knownMisses) {
  const auto wanted = [&](const std::string& key) {
    return (kMisses.count(key) != 0) == knownMisses;
  };
  std::vector<const Block*> all;
  Flatten(blocks, all);
  for (const vtest::TruthArticle& a : truth.articles) {
    const std::pair<const char*, const vtest::TruthText*> titles[] = {
        {"kicker", &a.kicker}, {"headline", &a.headline}, {"subtitle", &a.subtitle}};
    for (const auto& [what, title] : titles) {
      const std::string key = a.id + "/" + what;
      if (title->text.empty() || !wanted(key)) continue;
      std::vector<const Block*> found;
      for (const Block* b : all)
        if (b->text == title->text) found.push_back(b);
      EXPECT_EQ(found.size(), 1u) << key << ": " << title->text;
      if (found.size() != 1) continue;
      EXPECT_TRUE(Near(found[0]->box, title->box, 3.0))
          << key << ": " << Str(found[0]->box) << " printed " << Str(title->box);
      EXPECT_EQ(found[0]->type, kTypeTitle) << key;
    }
    // Without the right grouping there are no column edges to compare.
    if (a.columns.size() < 2 || (!knownMisses && kMisses.count(a.id + "/columns") != 0)) continue;
    const bool columns = wanted(a.id + "/columns"), right = wanted(a.id + "/right");
    if (!columns && !right) continue;
    const std::string first = TrimIndent(a.firstLine), last = TrimIndent(a.lastLine);
    const Block* group = nullptr;
    for (const Block* b : all)
      if (!b->children.empty() && b->text.find(first) != std::string::npos) group = b;
    EXPECT_NE(group, nullptr) << a.id << ": no group holds " << first;
    if (group == nullptr) continue;
    EXPECT_NE(group->text.find(last), std::string::npos) << a.id << ": no " << last;
    EXPECT_EQ(group->children.size(), a.columns.size())
        << a.id << ": first child " << Str(group->children[0].box);
    if (group->children.size() != a.columns.size()) continue;
    for (size_t i = 0; i < a.columns.size(); ++i) {
      vtest::TruthBox box = group->children[i].box;
      if (!right) box.right = a.columns[i].right;
      if (!columns)
        box.left = a.columns[i].left, box.top = a.columns[i].top, box.bottom = a.columns[i].bottom;
      EXPECT_TRUE(Near(box, a.columns[i], 4.0))
          << a.id << " column " << i << ": " << Str(group->children[i].box) << " printed "
          << Str(a.columns[i]);
    }
  }
}

std::string SamplePath(const std::string& name) {
  return std::string(VELLUMA_SAMPLES_DIR) + "/" + name;
}

void AnalysisE2eTest::CheckSamples(bool knownMisses) {
  for (const std::string name : {"front-page", "inner-page"}) {
    SCOPED_TRACE(name);
    const auto truth = vtest::LoadPageTruth(SamplePath(name + ".truth.json"));
    ASSERT_TRUE(truth.has_value());
    Open(SamplePath(name + ".pdf"));
    ASSERT_EQ(m_pAdaptor->LoadPage(1, kTextImages | 2, TRUE), S_OK);
    CheckArticles(TextList(), *truth, knownMisses);
  }
}

TEST_F(AnalysisE2eTest, Level2TitlesAndColumnsMatchThePrintedPage) {
  CheckSamples(false);
}

// Product faults and limits: the items of kMisses.
TEST_F(AnalysisE2eTest, DISABLED_KnownMissesMatchThePrintedPage) {
  CheckSamples(true);
}

// Stories of the samples that level 5 does not assemble as printed; DISABLED_KnownMisses...
// checks them.
const std::set<std::string> kStoryMisses = {
    "trucks", "first-snow",  // the headline's custom-encoded glyphs read "?"
    "safety",                // the picture stands beside the heads, apart from title and body
    // Kicker and subtitle are typed body text: the subtitle becomes the body, the real body
    // (too far below the headline) a story of its own.
    "trade", "roads", "canteens"};

// Every printed story is one article: its headline the main title, its kicker and subtitle
// the upper title and subtitle, its first and last body lines in the body, its pictures with
// it. Returns how many stories came out whole; checks the stories that are not known misses,
// or only those.
int AnalysisE2eTest::CheckStories(const vtest::PageTruth& truth, bool knownMisses) {
  const std::vector<Story> stories = Articles();
  int whole = 0;
  for (const vtest::TruthArticle& a : truth.articles) {
    std::vector<const Story*> found;
    for (const Story& s : stories)
      if (s.headline.text == a.headline.text) found.push_back(&s);
    std::vector<std::string> faults;
    if (found.size() != 1) {
      faults.push_back("headline in " + std::to_string(found.size()) + " articles");
    } else {
      const Story& s = *found[0];
      if (s.kicker.text != a.kicker.text) faults.push_back("kicker '" + s.kicker.text + "'");
      if (s.subtitle.text != a.subtitle.text)
        faults.push_back("subtitle '" + s.subtitle.text + "'");
      for (const std::string& line : {a.firstLine, a.lastLine})
        if (s.body.text.find(TrimIndent(line)) == std::string::npos)
          faults.push_back("body lacks '" + line + "'");
      if (s.captions.size() != a.pictures.size())
        faults.push_back(std::to_string(s.captions.size()) + " pictures");
    }
    if (faults.empty()) ++whole;
    if ((kStoryMisses.count(a.id) != 0) != knownMisses) continue;
    std::string all;
    for (const std::string& f : faults) all += f + "; ";
    EXPECT_TRUE(faults.empty()) << a.id << ": " << all;
  }
  return whole;
}

// Checks the samples' stories at level 5; returns how many of them came out whole.
std::string AnalysisE2eTest::CheckStorySamples(bool knownMisses) {
  int whole = 0, total = 0;
  for (const std::string name : {"front-page", "inner-page"}) {
    SCOPED_TRACE(name);
    const auto truth = vtest::LoadPageTruth(SamplePath(name + ".truth.json"));
    EXPECT_TRUE(truth.has_value());
    if (!truth.has_value()) continue;
    Open(SamplePath(name + ".pdf"));
    EXPECT_EQ(m_pAdaptor->LoadPage(1, kTextImages | 5, TRUE), S_OK);
    whole += CheckStories(*truth, knownMisses);
    total += static_cast<int>(truth->articles.size());
  }
  return std::to_string(whole) + "/" + std::to_string(total);
}

TEST_F(AnalysisE2eTest, Level5StoriesMatchThePrintedPage) {
  RecordProperty("whole_stories", CheckStorySamples(false));
}

TEST_F(AnalysisE2eTest, DISABLED_KnownStoryMissesMatchThePrintedPage) {
  CheckStorySamples(true);
}

// Runs of level 3 (text list) against runs of level 5 (articles' blocks and captions); pictures
// likewise. At level 5 the page's own lists are empty.
void ExpectEverythingInArticles(const Leaves& text3, long pictures3,
                                const std::vector<Story>& stories, size_t pageText,
                                long pagePictures) {
  Leaves text5;
  long pictures5 = 0;
  std::set<long> ids;
  for (const Story& s : stories) {
    CountLeaves(s.all.children, text5);
    for (const std::vector<Block>& caption : s.captions) CountLeaves(caption, text5);
    pictures5 += static_cast<long>(s.captions.size());
    ids.insert(s.id);
  }
  EXPECT_EQ(text5.count, text3.count);
  EXPECT_EQ(text5.chars, text3.chars);
  EXPECT_EQ(pictures5, pictures3);
  EXPECT_EQ(pageText, 0u);
  EXPECT_EQ(pagePictures, 0);
  EXPECT_EQ(ids.size(), stories.size()) << "article identifiers repeat";
}

// Level 5 holds every run and picture of level 3 in exactly one article; a lower level gives
// every run back to the page; level 5 again builds the same articles.
TEST_F(AnalysisE2eTest, Level5KeepsEveryRunAndRebuildsAfterAReset) {
  for (const std::string name : {"front-page", "inner-page"}) {
    SCOPED_TRACE(name);
    Open(SamplePath(name + ".pdf"));
    ASSERT_EQ(m_pAdaptor->LoadPage(1, kTextImages | 3, TRUE), S_OK);
    Leaves text3;
    CountLeaves(TextList(), text3);
    const long pictures = PictureCount();
    ASSERT_EQ(m_pAdaptor->LoadPage(1, kTextImages | 1, TRUE), S_OK);
    Leaves text1;
    CountLeaves(TextList(), text1);
    ASSERT_EQ(m_pAdaptor->LoadPage(1, kTextImages | 5, TRUE), S_OK);
    const std::vector<Story> first = Articles();
    ExpectEverythingInArticles(text3, pictures, first, TextList().size(), PictureCount());
    for (size_t i = 0; i < first.size(); ++i) EXPECT_EQ(first[i].id, 0x10000 | long(i));

    ASSERT_EQ(m_pAdaptor->LoadPage(1, kTextImages | 1, TRUE), S_OK);
    IBlockList* pArticles = nullptr;
    ASSERT_EQ(m_pAdaptor->GetArticleList(0, &pArticles), S_OK);
    long count = -1;
    pArticles->GetCount(&count);
    pArticles->Release();
    EXPECT_EQ(count, 0);
    Leaves again;
    CountLeaves(TextList(), again);
    EXPECT_EQ(again, text1);
    EXPECT_EQ(PictureCount(), pictures);

    ASSERT_EQ(m_pAdaptor->LoadPage(1, kTextImages | 5, TRUE), S_OK);
    const std::vector<Story> second = Articles();
    ASSERT_EQ(second.size(), first.size());
    for (size_t i = 0; i < first.size(); ++i) {
      EXPECT_EQ(second[i].headline.text, first[i].headline.text);
      EXPECT_EQ(second[i].body.text, first[i].body.text);
      EXPECT_EQ(second[i].captions.size(), first[i].captions.size());
    }
  }
}

const InfoCase kFrontInfo{"front-page.pdf", "A1", "滨江日报", "今日16版"};
const InfoCase kInnerInfo{"inner-page.pdf", "A3", "要闻", kFailed};

// Level 3 recognises the page information and takes its blocks out of the text list; a load at a
// lower level resets the analysis and gives them back; with two passes, level 3 again recognises
// the same.
void AnalysisE2eTest::CheckInfoCycle(const InfoCase& c, int passes) {
  SCOPED_TRACE(c.file);
  const std::string date = "2026年12月7日 星期一";
  Open(SamplePath(c.file));
  for (int pass = 0; pass < passes; ++pass) {
    ASSERT_EQ(m_pAdaptor->LoadPage(1, kTextImages | 3, TRUE), S_OK);
    IPageInfo* pInfo = PageInfo();
    ASSERT_NE(pInfo, nullptr);
    EXPECT_EQ(Info(pInfo, &IPageInfo::GetPageId), c.pageId);
    EXPECT_EQ(Info(pInfo, &IPageInfo::GetPageName), c.pageName);
    EXPECT_EQ(Info(pInfo, &IPageInfo::GetIssueDate), date);
    EXPECT_EQ(Info(pInfo, &IPageInfo::GetPageCount), c.pageCount);
    const std::vector<Block> blocks = TextList();
    std::vector<const Block*> all;
    Flatten(blocks, all);
    for (const Block* b : all)
      for (const std::string& taken : {c.pageId, c.pageName, date, c.pageCount})
        EXPECT_NE(b->text, taken);
    ASSERT_EQ(m_pAdaptor->LoadPage(1, kTextImages | 1, TRUE), S_OK);
    EXPECT_EQ(Info(PageInfo(), &IPageInfo::GetIssueDate), kFailed);
    const std::vector<Block> reset = TextList();
    EXPECT_TRUE(std::any_of(reset.begin(), reset.end(),
                            [&](const Block& b) { return b.text == c.pageId; }));
  }
}

TEST_F(AnalysisE2eTest, Level3PageInformationIsRecognisedAndResetByALowerLevel) {
  CheckInfoCycle(kFrontInfo, 2);
  // The inner page's date is split off a run: the block left behind must stay usable.
  CheckInfoCycle(kInnerInfo, 2);
}

// A load at a lower level reports no page count (recognition has not run at that level).
TEST_F(AnalysisE2eTest, LowerLevelLoadForgetsThePageCount) {
  Open(SamplePath("front-page.pdf"));
  ASSERT_EQ(m_pAdaptor->LoadPage(1, kTextImages | 3, TRUE), S_OK);
  ASSERT_EQ(m_pAdaptor->LoadPage(1, kTextImages | 1, TRUE), S_OK);
  EXPECT_EQ(Info(PageInfo(), &IPageInfo::GetPageCount), kFailed);
}

// A font whose ToUnicode map was built by reversing a cmap reports 年 as the compatibility
// ideograph U+F98E; the issue date comes out with the unified one.
TEST_F(AnalysisE2eTest, IssueDateWithCompatibilityIdeographIsUnified) {
  const std::string cmap =
      "/CIDInit /ProcSet findresource begin 12 dict begin begincmap /CMapName /T def "
      "1 begincodespacerange <00> <FF> endcodespacerange "
      "3 beginbfchar <21> <F98E> <22> <6708> <23> <65E5> endbfchar "
      "1 beginbfrange <30> <39> <0030> endbfrange endcmap end end";
  const std::vector<std::string> objects = {
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 600 800] /Contents 4 0 R "
      "/Resources << /Font << /F1 5 0 R >> >> >>",
      vtest::PdfStream("BT /F1 12 Tf 40 770 Td (2026!12\"7#) Tj ET"),
      "<< /Type /Font /Subtype /Type3 /FontBBox [0 0 1000 1000] "
      "/FontMatrix [0.001 0 0 0.001 0 0] /FirstChar 33 /LastChar 57 /Widths [1000 1000 1000 "
      "0 0 0 0 0 0 0 0 0 0 0 0 500 500 500 500 500 500 500 500 500 500] /Encoding << /Type "
      "/Encoding /Differences "
      "[33 /w /w /w 48 /n /n /n /n /n /n /n /n /n /n] >> "
      "/CharProcs << /w 7 0 R /n 8 0 R >> /ToUnicode 6 0 R /Resources << >> >>",
      vtest::PdfStream(cmap),
      vtest::PdfStream("1000 0 0 0 900 800 d1 100 0 800 800 re f"),
      vtest::PdfStream("500 0 0 0 450 700 d1 50 0 400 700 re f")};
  const std::string path = std::string(VELLUMA_TEST_TMP) + "/compat-date.pdf";
  std::ofstream(path, std::ios::binary) << vtest::RawPdf(objects);
  Open(path);
  ASSERT_EQ(m_pAdaptor->LoadPage(1, kTextImages | 3, TRUE), S_OK);
  EXPECT_EQ(Info(PageInfo(), &IPageInfo::GetIssueDate), "2026年12月7日");
}

// One pass over the corpus at level 3 with text and images; the page information may be
// anything, but reading it must work. Level 5 then holds every run and picture of level 3 in
// exactly one article.
TEST_F(AnalysisE2eTest, EveryCorpusPageLoadsAtLevels3And5) {
  const std::vector<fs::path> files = CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "no corpus at " << VELLUMA_CORPUS_DIR;
  for (const fs::path& file : files) {
    SCOPED_TRACE(file.string());
    Open(file.string());
    long pages = 0;
    ASSERT_EQ(m_pAdaptor->get_TotalPageCount(&pages), S_OK);
    for (int page = 1; page <= pages; ++page) {
      ASSERT_EQ(m_pAdaptor->LoadPage(page, kTextImages | 3, TRUE), S_OK) << "page " << page;
      IPageInfo* pInfo = PageInfo();
      ASSERT_NE(pInfo, nullptr);
      EXPECT_EQ(pInfo->GetPageIndex(), page);
      for (auto get : {&IPageInfo::GetPageId, &IPageInfo::GetPageName, &IPageInfo::GetIssueDate,
                       &IPageInfo::GetPageCount})
        Info(pInfo, get);
      Leaves text3;
      CountLeaves(TextList(), text3);
      const long pictures = PictureCount();
      // From the runs again, so that both levels ran each lower stage once.
      ASSERT_EQ(m_pAdaptor->LoadPage(page, LPF_RESET | kTextImages | 5, TRUE), S_OK)
          << "page " << page;
      ExpectEverythingInArticles(text3, pictures, Articles(), TextList().size(), PictureCount());
    }
  }
}

}  // namespace
