// The bundled sample pages: regenerating them gives the committed bytes, they read back
// cleanly, and their truth files describe what MuPDF finds on them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "mupdf_probe.h"
#include "pagetruth.h"

namespace vtest {
namespace {

namespace fs = std::filesystem;

const char* const kSampleNames[] = {"front-page", "inner-page"};

std::string ReadAll(const fs::path& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

TEST(Samples, RegeneratingGivesTheCommittedFiles) {
  const fs::path out = fs::path(VELLUMA_TEST_TMP) / "samples-regenerated";
  fs::remove_all(out);
  fs::create_directories(out);
  const std::string command = std::string(VELLUMA_MKSAMPLES) + " " + out.string();
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  for (const char* name : kSampleNames)
    for (const char* ext : {".pdf", ".truth.json"}) {
      const std::string file = std::string(name) + ext;
      const std::string fresh = ReadAll(out / file);
      ASSERT_FALSE(fresh.empty()) << file;
      EXPECT_TRUE(fresh == ReadAll(fs::path(VELLUMA_SAMPLES_DIR) / file))
          << file << " differs from the generator's output: run velluma-mksamples "
          << VELLUMA_SAMPLES_DIR;
    }
  fs::remove_all(out);
}

// The page's characters in content order, with their origins.
struct PageChars {
  std::u32string text;  // white space removed
  std::vector<ProbeChar> chars;
};

PageChars Load(MuProbe& probe) {
  PageChars p;
  std::vector<ProbeChar> all;
  EXPECT_TRUE(probe.Chars(0, false, all));
  for (const ProbeChar& c : all) {
    if (c.unicode == U' ' || c.unicode == U'\u3000') continue;
    p.text += c.unicode;
    p.chars.push_back(c);
  }
  return p;
}

std::u32string Compact(const std::string& utf8) {
  std::u32string out;
  for (size_t i = 0; i < utf8.size();) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    const int n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    char32_t cp = n == 1 ? c : c & (0x3F >> (n - 1));
    for (int k = 1; k < n && i + k < utf8.size(); ++k) cp = (cp << 6) | (utf8[i + k] & 0x3F);
    i += n;
    if (cp != U' ' && cp != U'\u3000') out += cp;
  }
  return out;
}

// Checks that the text is on the page and, when a box is given, that the characters of one
// of its occurrences have their origins inside the box.
void ExpectText(const PageChars& page, const std::string& text, const TruthBox* box) {
  const std::u32string want = Compact(text);
  size_t at = page.text.find(want);
  ASSERT_NE(at, std::u32string::npos) << "missing: " << text;
  if (!box) return;
  for (; at != std::u32string::npos; at = page.text.find(want, at + 1)) {
    bool inside = true;
    for (size_t i = at; i < at + want.size(); ++i) {
      const ProbeChar& c = page.chars[i];
      inside &= c.x >= box->left - 1 && c.x <= box->right + 1 && c.y >= box->top - 1 &&
                c.y <= box->bottom + 1;
    }
    if (inside) return;
  }
  ADD_FAILURE() << text << " is not inside [" << box->left << ", " << box->top << ", " << box->right
                << ", " << box->bottom << "]";
}

class SamplePage : public testing::TestWithParam<const char*> {};

TEST_P(SamplePage, TruthMatchesWhatMuPdfReads) {
  const std::string name = GetParam();
  const auto truth = LoadPageTruth(std::string(VELLUMA_SAMPLES_DIR) + "/" + name + ".truth.json");
  ASSERT_TRUE(truth);
  EXPECT_EQ(truth->file, name + ".pdf");
  auto probe = MuProbe::Open(ReadAll(fs::path(VELLUMA_SAMPLES_DIR) / truth->file));
  ASSERT_TRUE(probe);
  EXPECT_FALSE(probe->WasRepaired());
  EXPECT_EQ(probe->PageCount(), 1);
  double bounds[4];
  ASSERT_TRUE(probe->Bounds(0, bounds));
  EXPECT_DOUBLE_EQ(bounds[2] - bounds[0], truth->width);
  EXPECT_DOUBLE_EQ(bounds[3] - bounds[1], truth->height);

  const PageChars page = Load(*probe);
  for (const TruthText* t : {&truth->pageId, &truth->issueDate, &truth->lunarDate,
                             &truth->pageCount, &truth->issueNumber})
    ExpectText(page, t->text, &t->box);
  if (!truth->pageName.text.empty()) ExpectText(page, truth->pageName.text, &truth->pageName.box);
  // The page id sits in a top corner.
  EXPECT_LE(truth->pageId.box.top, 150);
  EXPECT_TRUE(truth->pageId.box.left <= 150 || truth->pageId.box.right >= truth->width - 150);
  for (const TruthText& t : truth->otherTexts) ExpectText(page, t.text, &t.box);

  size_t pictures = truth->pictures.size();
  for (const TruthArticle& a : truth->articles) {
    SCOPED_TRACE(a.id);
    bool custom = false;
    for (const TruthCustomRun& r : truth->customRuns)
      custom |= a.headline.text.find(r.text) != std::string::npos;
    if (!custom) ExpectText(page, a.headline.text, &a.headline.box);
    if (!a.kicker.text.empty()) ExpectText(page, a.kicker.text, &a.kicker.box);
    if (!a.subtitle.text.empty()) ExpectText(page, a.subtitle.text, &a.subtitle.box);
    if (!a.firstLine.empty()) ExpectText(page, a.firstLine, &a.columns.front());
    if (!a.lastLine.empty()) ExpectText(page, a.lastLine, &a.columns.back());
    if (!a.jumpLine.empty()) ExpectText(page, a.jumpLine, nullptr);
    for (const TruthPicture& p : a.pictures) ExpectText(page, p.caption, &p.captionBox);
    pictures += a.pictures.size();
  }
  // Custom-encoded runs read as U+FFFD, one per glyph, inside their boxes.
  for (const TruthCustomRun& r : truth->customRuns) {
    size_t inside = 0;
    for (const ProbeChar& c : page.chars)
      inside += c.unicode == U'\uFFFD' && c.font == r.font && c.x >= r.box.left - 1 &&
                c.x <= r.box.right && c.y >= r.box.top && c.y <= r.box.bottom;
    EXPECT_EQ(inside, r.codes.size() / 2) << r.text;
  }
  std::vector<ProbeImage> images;
  ASSERT_TRUE(probe->Images(0, images));
  EXPECT_EQ(images.size(), pictures);
  EXPECT_TRUE(probe->Warnings().empty()) << probe->Warnings().front();
}

INSTANTIATE_TEST_SUITE_P(Bundled, SamplePage, testing::ValuesIn(kSampleNames));

TEST(PageTruth, JsonRoundTripsAndRejectsMalformedInput) {
  const std::string text = ReadAll(fs::path(VELLUMA_SAMPLES_DIR) / "inner-page.truth.json");
  const auto truth = ParsePageTruth(text);
  ASSERT_TRUE(truth);
  EXPECT_EQ(ToJson(*truth), text);
  EXPECT_EQ(truth->pageId.text, "A3");
  EXPECT_EQ(truth->pageName.text, "要闻");

  PageTruth t;
  t.pageId = {"A\"1\\\n\u00e9", {1.25, 2, 3, 4}};
  const auto back = ParsePageTruth(ToJson(t));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->pageId.text, t.pageId.text);
  EXPECT_DOUBLE_EQ(back->pageId.box.left, 1.3);  // one decimal is kept
  EXPECT_EQ(ParsePageTruth(R"({"pageId": {"text": "\u4e2d\ud83d\ude00"}})")->pageId.text,
            "中\xF0\x9F\x98\x80");

  for (const char* bad : {"", "{", "[]", R"({"width": "wide"})", R"({"pageId": {"box": [1, 2]}})",
                          R"({"articles": [{"id": 5}]})", R"({"a": 1} x)", "{\"a\": \"\x01\"}"})
    EXPECT_FALSE(ParsePageTruth(bad)) << bad;
  EXPECT_FALSE(LoadPageTruth("/nonexistent/truth.json"));
}

}  // namespace
}  // namespace vtest
