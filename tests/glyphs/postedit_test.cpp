// The post-edit review without a window: the review list and its order, the contrast view's
// geometry and keys, typed and pasted characters, the status texts, and the write-back after
// the review closes.
#include <gtest/gtest.h>

#include <cstdlib>

#include "layout/listops.h"
#include "review_fixture.h"
#include "vwin32/format.h"
#include "vwin32/strings.h"

namespace {

// Restores the plug-in runner when a test ends.
struct RunnerScope {
  explicit RunnerScope(ReviewRunner runner) { SetReviewRunner(std::move(runner)); }
  ~RunnerScope() { SetReviewRunner(nullptr); }
};

std::vector<int> Cells(const std::vector<St_ContrastInfo>& list) {
  std::vector<int> cells;
  for (const St_ContrastInfo& e : list) cells.push_back(e.nCell);
  return cells;
}

// A view over n entries whose characters are 'A' + i, shown in a window 56 pixels high.
struct Grid {
  explicit Grid(int n) : results(static_cast<size_t>(n)), view(&list, nullptr) {
    for (int i = 0; i < n; ++i) {
      results[static_cast<size_t>(i)].wChar = static_cast<uint16_t>(u'A' + i);
      list.push_back({i, &results[static_cast<size_t>(i)]});
    }
    view.SetView(56, 0);
  }
  int Key(EReviewKey key, bool ctrl = false) {
    view.KeyDown(key, ctrl);
    return view.Selected();
  }
  std::vector<St_RecogResult> results;
  std::vector<St_ContrastInfo> list;
  CPicContrastView view;
};

TEST(ReviewList, EachCellOnceAtItsFirstOccurrenceInTheOrderOfShownValueMarkAndCharacter) {
  ReviewPage page;
  // Runs of two or more characters list every cell; a one-character run lists its cell only
  // when its text differs from the value its character record carries. Font 1's glyph 1 shows
  // the same bitmap as font 0's (cell 0) and was seen already.
  page.AddRun(0, {1, 2, 3}, u"丙甲乙");
  page.AddRun(0, {4}, u"丁", u"丁");
  page.AddRun(1, {1}, u"丙");
  page.AddRun(0, {5}, u"戊", u"?");
  page.AddRun(0, {4, 6}, u"丁己");  // cell 3 was decided by its first occurrence
  page.AddRun(0, {7}, u"庚");       // cell 6 has no result record
  for (auto [glyph, cell] : {std::pair{1, 0}, {2, 1}, {3, 2}, {4, 3}, {5, 4}, {6, 5}, {7, 6}})
    page.Map(0, glyph, cell);
  page.Map(1, 1, 0);
  St_RecogResult* r = page.Results(6);
  const char16_t chars[] = u"丙甲乙丁戊己";
  for (int i = 0; i < 6; ++i) r[i].wChar = chars[i];
  r[0].bShown = 90;  // cells 1 and 2 keep 255
  r[2].wFlags = RRF_MARKED;
  r[4].bShown = 90;
  r[4].wFlags = RRF_MARKED;
  r[5].bShown = 255;

  CTextBlockArray runs;
  FlattenToRuns(page.engine.m_textBlocks, runs, false);
  // 255: marked 乙 (2) first, then 己 (5) < 甲 (1); 90: marked 戊 (4), then 丙 (0).
  EXPECT_EQ(Cells(BuildReviewList(runs, page.engine.m_recog)), (std::vector<int>{2, 5, 1, 4, 0}));

  // Without results there is nothing to review, whatever the glyph map holds.
  page.engine.m_recog.FreeResults();
  EXPECT_TRUE(BuildReviewList(runs, page.engine.m_recog).empty());
  bool shown = false;
  RunnerScope scope([&](CReviewSession&, std::string&) { return shown = true, VREVIEW_SHOWN; });
  EXPECT_EQ(PostEdit(page.engine, page.engine.m_textBlocks), 1);
  CTextBlockArray none;
  EXPECT_EQ(PostEdit(page.engine, none), 1);
  EXPECT_FALSE(shown);
}

TEST(ContrastView, GeometryHitTestAndRowsToDraw) {
  Grid g(25);
  const RECT rc = CPicContrastView::EntryRect(13);
  EXPECT_EQ((std::vector<LONG>{rc.left, rc.top, rc.right, rc.bottom}),
            (std::vector<LONG>{160, 32, 208, 56}));
  EXPECT_EQ(g.view.HitTest(160, 32), 13);
  EXPECT_EQ(g.view.HitTest(207, 55), 13);
  EXPECT_EQ(g.view.HitTest(208, 40), -1);  // the gap between entries
  EXPECT_EQ(g.view.HitTest(3, 3), -1);
  EXPECT_EQ(g.view.HitTest(530, 10), -1);                   // beyond the tenth column
  EXPECT_EQ(g.view.HitTest(5 * 52 + 10, 2 * 28 + 10), -1);  // entry 25 does not exist
  EXPECT_EQ(g.view.HitTest(-10, -10), -1);
  EXPECT_EQ(g.view.ScrollSize().cx, 10);
  EXPECT_EQ(g.view.ScrollSize().cy, 3 * 28 + 8);
  int first = 0, end = 0;
  g.view.VisibleRange(0, 10, first, end);
  EXPECT_EQ(first, 0);
  EXPECT_EQ(end, 20);
  g.view.VisibleRange(30, 60, first, end);
  EXPECT_EQ(first, 10);
  EXPECT_EQ(end, 25);

  // 20,000 entries: the rows of a clip area, the last entry, nothing more.
  Grid big(20000);
  big.view.VisibleRange(28 * 1500, 28 * 1500 + 173, first, end);
  EXPECT_EQ(first, 15000);
  EXPECT_EQ(end, 15080);
  EXPECT_EQ(big.Key(EReviewKey::End, true), 19999);
  EXPECT_EQ(big.view.ScrollPos(), 1999 * 28 - 56 + 32);
  EXPECT_EQ(big.view.HitTest(9 * 52 + 4, 1999 * 28 + 4), 19999);
}

TEST(ContrastView, KeysAtTheEdgesOfTheGrid) {
  Grid g(25);
  ASSERT_TRUE(g.view.SelectEntry(24));
  EXPECT_EQ(g.view.ScrollPos(), 32);  // row 2 brought into a 56-pixel window
  EXPECT_EQ(g.Key(EReviewKey::Down), 24);
  EXPECT_EQ(g.Key(EReviewKey::End), 24);
  EXPECT_EQ(g.Key(EReviewKey::Right), 24);  // ignored
  EXPECT_EQ(g.Key(EReviewKey::Home), 20);
  EXPECT_EQ(g.Key(EReviewKey::End), 24);
  EXPECT_EQ(g.Key(EReviewKey::Left), 23);
  EXPECT_EQ(g.Key(EReviewKey::Home, true), 0);
  EXPECT_EQ(g.view.ScrollPos(), 0);
  EXPECT_EQ(g.Key(EReviewKey::Left), 0);  // ignored
  EXPECT_EQ(g.Key(EReviewKey::Up), 0);    // ignored
  EXPECT_EQ(g.Key(EReviewKey::End), 9);
  EXPECT_EQ(g.Key(EReviewKey::Down), 19);
  EXPECT_EQ(g.Key(EReviewKey::Down), 24);  // min(s + 10, n - 1)
  EXPECT_EQ(g.Key(EReviewKey::Up), 14);
  EXPECT_EQ(g.Key(EReviewKey::End, true), 24);
  // A page is the rows the window holds: 56 / 28 rows of ten.
  EXPECT_EQ(g.Key(EReviewKey::PageUp), 4);
  EXPECT_EQ(g.Key(EReviewKey::PageUp), 0);
  EXPECT_EQ(g.Key(EReviewKey::PageDown), 20);
  EXPECT_EQ(g.Key(EReviewKey::PageDown), 24);
  EXPECT_FALSE(g.view.SelectEntry(25));
  EXPECT_FALSE(g.view.SelectEntry(-1));
  EXPECT_EQ(g.view.Selected(), 24);

  EXPECT_EQ(g.view.KeyDown(EReviewKey::Enter, false), EKeyAction::Confirm);
  EXPECT_EQ(g.view.KeyDown(EReviewKey::C, true), EKeyAction::Copy);
  EXPECT_EQ(g.view.KeyDown(EReviewKey::V, true), EKeyAction::Paste);
  EXPECT_EQ(g.view.KeyDown(EReviewKey::C, false), EKeyAction::Pass);
  EXPECT_EQ(g.view.KeyDown(EReviewKey::Other, true), EKeyAction::Pass);
}

TEST(ContrastView, TypedAndPastedCharacters) {
  Grid g(3);
  g.view.SelectEntry(1);
  EXPECT_FALSE(g.view.TypeChar(31));       // control characters do not replace
  EXPECT_FALSE(g.view.TypeChar(0x1F600));  // nor what one UTF-16 unit cannot hold
  EXPECT_EQ(g.results[1].wFlags, 0);
  EXPECT_TRUE(g.view.TypeChar(32));
  EXPECT_EQ(g.results[1].wChar, u' ');
  EXPECT_EQ(g.results[1].wFlags, RRF_CHANGED);

  g.view.SelectEntry(2);
  EXPECT_EQ(g.view.CopyText(), u"C");
  EXPECT_FALSE(g.view.Paste(nullptr));  // no text on the clipboard
  EXPECT_FALSE(g.view.Paste(u""));
  EXPECT_EQ(g.results[2].wFlags, 0);
  EXPECT_TRUE(g.view.Paste(u"码字"));
  EXPECT_EQ(g.results[2].wChar, u'码');
  EXPECT_EQ(g.results[2].wFlags, RRF_CHANGED);

  CReviewSession session(g.list, nullptr);  // the same records through the window's interface
  const VReviewHost* host = session.Host();
  host->Select(host->pCtx, 0);
  EXPECT_EQ(host->Paste(host->pCtx, "\xE5\xAD\x97"), 1);  // 字 as UTF-8
  EXPECT_EQ(g.results[0].wChar, u'字');
  EXPECT_EQ(host->Paste(host->pCtx, nullptr), 0);
  char buf[64];
  const int length = host->Text(host->pCtx, VRT_COUNTS, buf, sizeof buf);
  EXPECT_EQ(length, static_cast<int>(std::strlen(buf)));
  EXPECT_STREQ(buf, "已修改：3    总字数：3");

  // An empty list: nothing is selected, nothing changes.
  std::vector<St_ContrastInfo> empty;
  CPicContrastView nothing(&empty, nullptr);
  EXPECT_FALSE(nothing.TypeChar(u'x'));
  EXPECT_FALSE(nothing.Paste(u"x"));
  EXPECT_EQ(nothing.CopyText(), u"");
  EXPECT_EQ(nothing.KeyDown(EReviewKey::End, true), EKeyAction::Handled);
  EXPECT_EQ(nothing.Selected(), 0);
}

TEST(ReviewTexts, StatusAsTheDialogShowsIt) {
  std::vector<St_RecogResult> r(2);
  std::vector<St_ContrastInfo> list = {{0, &r[0]}, {1, &r[1]}};
  r[1].wFlags = RRF_CHANGED | RRF_MARKED;
  EXPECT_EQ(CountsText(list), u"已修改：1    总字数：2");
  EXPECT_EQ(IndexText(12), u"12");

  r[0].wChar = u'报';
  r[0].bShown = 200;
  r[0].nFontClass = 2;  // a group: shown without its prefix
  EXPECT_EQ(ResultText(r[0]), u"报(200) [u+62a5]  2：黑体_中黑_细黑");
  r[0].nFontClass = 12;
  EXPECT_EQ(ResultText(r[0]), u"报(200) [u+62a5]  12：宋体");
  for (int c : {0, 70, 1000, -3}) {
    r[0].nFontClass = c;
    EXPECT_EQ(ResultText(r[0]), u"报(200) [u+62a5]  " + vwin32::Format(u"%d", c) + u"：字体无关");
  }
  r[0].wChar = 0;  // the shown text ends at a zero character
  EXPECT_EQ(ResultText(r[0]), u"");

  r[0].nCandidates = 2;
  r[0].candidates[0] = {u'报', 87, {}};
  r[0].candidates[1] = {u'极', 12, {}};
  EXPECT_EQ(CandidatesText(r[0]), u"报(87) 极(12) ");
  r[0].nCandidates = -1;
  EXPECT_EQ(CandidatesText(r[0]), u"");
  for (int k = 2; k < 16; ++k) r[0].candidates[k] = {u'字', 5, {}};
  r[0].nCandidates = 400;  // no further than the record's 16 candidates
  EXPECT_EQ(CandidatesText(r[0]).size(), 6u + 6u + 14u * 5u);
}

TEST(ReviewSheet, CellsCutFromTheSheetAndWhiteBeyondIt) {
  ReviewPage page;
  page.Sheet(20, 1);  // the sheet holds one row of cells where the glyph map promises two
  std::vector<uint32_t> px(64 * 64);
  CutCell(page.engine.m_recog.m_glyphSheet, 3, px.data());
  EXPECT_EQ(px[20 * 64 + 8], 0x000000u);  // ink of cell 3's bar, from the top of the cell
  EXPECT_EQ(px[20 * 64 + 8 + 2 * 3 + 4], 0xFFFFFFu);
  EXPECT_EQ(px[10 * 64 + 8], 0xFFFFFFu);
  CutCell(page.engine.m_recog.m_glyphSheet, 17, px.data());
  EXPECT_EQ(std::count(px.begin(), px.end(), 0xFFFFFFu), 64 * 64);
  CutCell(CxImage(), 0, px.data());
  EXPECT_EQ(std::count(px.begin(), px.end(), 0xFFFFFFu), 64 * 64);
}

// A page with four reviewed glyphs in one text block.
void FourGlyphs(ReviewPage& page) {
  page.AddRun(0, {1, 2}, u"??");
  page.AddRun(0, {3}, u"?", u"x");  // a one-character run whose text is not its code
  page.AddRun(0, {4, 1}, u"??");
  for (int g = 1; g <= 4; ++g) page.Map(0, g, g - 1);
  St_RecogResult* r = page.Results(4);
  const char16_t chars[] = u"新闻日报";
  for (int i = 0; i < 4; ++i) r[i].wChar = chars[i];
  page.Sheet(4);
  page.engine.m_textBlocks[0]->m_strText = u"????";
}

TEST(PostEdit, CorrectionsGoIntoTheTextsAndStayForTheNextReview) {
  ReviewPage page;
  FourGlyphs(page);
  CTextBlock* line = page.Line();

  // First review: 闻 (cell 1; entry 3 in the order 报新日闻) is retyped; the window is closed
  // (by any means).
  std::string counts;
  {
    RunnerScope scope([&](CReviewSession& s, std::string&) {
      EXPECT_EQ(s.List()[3].nCell, 1);
      s.View().SelectEntry(3);
      s.View().TypeChar(u'问');
      return VREVIEW_SHOWN;
    });
    EXPECT_EQ(PostEdit(page.engine, page.engine.m_textBlocks), 0);
  }
  EXPECT_EQ(line->m_children[0]->m_strText, u"新问");
  EXPECT_EQ(line->m_children[2]->m_strText, u"报新");
  EXPECT_EQ(line->m_strText, u"新问日报新");  // the block is rebuilt from its runs

  // A second review shows the correction and writes the results again.
  line->m_children[0]->m_strText = u"??";
  {
    RunnerScope scope([&](CReviewSession& s, std::string&) {
      counts = vwin32::ToUtf8(s.Text(VRT_COUNTS));
      s.View().SelectEntry(3);
      EXPECT_EQ(s.List()[3].nCell, 1);  // 问 still sorts after 日
      EXPECT_EQ(vwin32::ToUtf8(s.Text(VRT_RESULT)).substr(0, 3), "问");
      return VREVIEW_SHOWN;
    });
    EXPECT_EQ(PostEdit(page.engine, page.engine.m_textBlocks), 0);
  }
  EXPECT_EQ(counts, "已修改：1    总字数：4");
  EXPECT_EQ(line->m_children[0]->m_strText, u"新问");

  // No window could be shown: nothing to review, texts as they were.
  line->m_children[0]->m_strText = u"??";
  {
    RunnerScope scope([&](CReviewSession& s, std::string& reason) {
      s.View().TypeChar(u'X');
      reason = "test";
      return VREVIEW_NO_DISPLAY;
    });
    EXPECT_EQ(PostEdit(page.engine, page.engine.m_textBlocks), 1);
  }
  EXPECT_EQ(line->m_children[0]->m_strText, u"??");
}

TEST(PostEdit, WithoutADisplayTheStepReturnsAtOnce) {
  ReviewPage page;
  FourGlyphs(page);
  const char* display = std::getenv("DISPLAY");
  const std::string saved = display != nullptr ? display : "";
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  EXPECT_EQ(PostEdit(page.engine, page.engine.m_textBlocks), 1);
  EXPECT_EQ(page.Line()->m_children[0]->m_strText, u"??");
  EXPECT_EQ(page.engine.m_recog.m_pResults[0].wFlags, 0);
  if (display != nullptr) setenv("DISPLAY", saved.c_str(), 1);
}

}  // namespace
