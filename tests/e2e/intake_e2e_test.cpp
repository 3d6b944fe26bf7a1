// End to end: the pages of the bundled sample pages and of the corpus of real newspaper PDFs
// (when present) load with text, image and path intake, yield runs where the kit finds text
// and pictures where the file has images, and leave blocks that keep their invariants.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/pdfinstance.h"
#include "vwin32/strings.h"

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> PdfsIn(const fs::path& dir) {
  std::vector<fs::path> out;
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) return out;
  for (const fs::directory_entry& e : fs::directory_iterator(dir, ec)) {
    std::string ext = e.path().extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
    if (e.is_regular_file() && ext == ".pdf") out.push_back(e.path());
  }
  std::sort(out.begin(), out.end());
  return out;
}

bool KitHasText(PTK_HDOC doc, int page) {
  const CKitTextStream stream(doc, page);
  return stream.First() != nullptr;
}

// Whether the kit reports an image placed at least 32 x 32 units large.
bool KitHasLargeImage(PTK_HDOC doc, int page) {
  const CKitImageStream stream(doc, page);
  for (const PTK_ImageRecord* r = stream.First(); r != nullptr; r = r->pNext) {
    if (r->dX1 - r->dX0 >= 32 && r->dYTop - r->dYBottom >= 32 && r->pBits != nullptr) return true;
  }
  return false;
}

void CheckRuns(CPDFInstance& engine, const std::string& where) {
  const CPageInfo& info = *engine.m_pPageInfo;
  for (const CTextBlock* b : engine.m_textBlocks) {
    ASSERT_EQ(b->GetLevel(), 0) << where;
    ASSERT_GE(b->m_nFontIndex, 0) << where;
    ASSERT_LT(static_cast<size_t>(b->m_nFontIndex), info.m_fontNames.size()) << where;
    ASSERT_LT(static_cast<size_t>(b->m_nFontKeyIndex), info.m_fontKeys.size()) << where;
    ASSERT_LT(static_cast<size_t>(b->m_nEncodingIndex), info.m_encodingNames.size()) << where;
    ASSERT_GT(b->m_nCharCount, 0) << where;
    ASSERT_TRUE(std::isfinite(b->m_dLeft) && std::isfinite(b->m_dTop) &&
                std::isfinite(b->m_dRight) && std::isfinite(b->m_dBottom))
        << where;
    ASSERT_GE(b->m_dRight - b->m_dLeft, 1.0 - 1e-9) << where;
    ASSERT_GE(b->m_dBottom - b->m_dTop, 2.0 - 1e-9) << where;
    ASSERT_GE(b->m_dFontSize, 0.5) << where;
    if ((b->m_nFlags & TBF_UNRECOGNISED) != 0) {
      ASSERT_EQ(b->m_strText.size(), static_cast<size_t>(b->m_nCharCount)) << where;
    }
  }
  for (const CPicBlock* p : engine.m_picBlocks) {
    ASSERT_NE(p->m_pImage, nullptr) << where;
    ASSERT_TRUE(p->m_pImage->IsValid()) << where;
    ASSERT_LT(p->m_dImgLeft, p->m_dImgRight) << where;
    ASSERT_LT(p->m_dImgTop, p->m_dImgBottom) << where;
  }
}

// Loads every page of the file.
void LoadPages(const fs::path& file) {
  SCOPED_TRACE(file.string());
  CPDFInstance engine;
  // No configuration: the font settings file of the build tree is not wanted here.
  engine.SetModuleDir(vwin32::FromUtf8(file.parent_path().string() + "/no-such-folder"));
  ASSERT_EQ(engine.Open(vwin32::FromUtf8(file.string()).c_str()), S_OK);
  const int nPages = engine.GetPageCount();
  ASSERT_GT(nPages, 0);
  size_t nRuns = 0, nPictures = 0;
  bool bImages = false;
  for (int page = 1; page <= nPages; ++page) {
    const std::string where = file.filename().string() + " page " + std::to_string(page);
    ASSERT_EQ(engine.LoadPage(page, LPF_TEXT | LPF_IMAGES | LPF_PATHS, FALSE), S_OK) << where;
    EXPECT_EQ(engine.GetState() & 0x7u, 0x7u) << where;
    EXPECT_EQ(engine.m_pPageInfo->m_nPageIndex, page) << where;
    if (KitHasText(engine.GetDocument(), page)) {
      EXPECT_FALSE(engine.m_textBlocks.IsEmpty()) << where;
    }
    bImages = bImages || KitHasLargeImage(engine.GetDocument(), page);
    nRuns += static_cast<size_t>(engine.m_textBlocks.GetSize());
    nPictures += static_cast<size_t>(engine.m_picBlocks.GetSize());
    CheckRuns(engine, where);
    // Raising the level forms text blocks out of those runs and regroups the columns.
    const bool bHadRuns = !engine.m_textBlocks.IsEmpty();
    ASSERT_EQ(engine.LoadPage(page, LPF_TEXT | 2, FALSE), S_OK) << where;
    EXPECT_EQ(engine.GetLevel(), 2) << where;
    EXPECT_EQ(!engine.m_textBlocks.IsEmpty(), bHadRuns) << where;
  }
  EXPECT_GT(nRuns, 0u);
  if (bImages) {
    EXPECT_GT(nPictures, 0u);
  }
  // Going back to the first page after the last one works as well.
  EXPECT_EQ(engine.LoadPage(1, LPF_TEXT | 1, FALSE), S_OK);
  EXPECT_EQ(engine.Close(), S_OK);
}

TEST(IntakeEndToEnd, SamplePages) {
  const std::vector<fs::path> files = PdfsIn(VELLUMA_SAMPLES_DIR);
  ASSERT_FALSE(files.empty()) << "no samples in " << VELLUMA_SAMPLES_DIR;
  for (const fs::path& file : files) LoadPages(file);
}

// Every page of every corpus file, in order: long documents must not wear the engine down.
TEST(IntakeEndToEnd, EveryCorpusPage) {
  const std::vector<fs::path> files = PdfsIn(VELLUMA_CORPUS_DIR);
  if (files.empty()) GTEST_SKIP() << "no corpus at " << VELLUMA_CORPUS_DIR;
  for (const fs::path& file : files) LoadPages(file);
}

}  // namespace
