#include "context.h"

#include <algorithm>
#include <string_view>
#include <unordered_set>

namespace glyphrec {
namespace {

// A sheet is Japanese when this many distinct cells read as hiragana with this score at least.
constexpr size_t kJapaneseHiragana = 8;
constexpr int kConfidentKana = 50;
// A cell read as kana on another page takes a candidate at most this far below.
constexpr int kKanaMargin = 15;
// Marks that hang at the top of the em reach within 0.38 em of its top: their ink starts above
// this row (rows top-down; the baseline lies 21.6 rows above the cell's bottom, the em reaches
// 0.88 em above it).
constexpr int kHangingTopRow = static_cast<int>(kCell - kBaselineAboveBottom - 0.62 * kEm);
// A rare look-alike gives way to the common reading at most this far below it.
constexpr int kLookAlikeMargin = 15;

// Look-alikes that running text almost never sets, each with the reading it takes instead and
// how far below that reading may be: a radical standing alone, the ratio sign (a colon set in
// the middle of the em, as a Hei or Kai colon is; any distance), a full-width letter o and a
// katakana dot.
struct LookAlike {
  char16_t rare, common;
  int margin;
};
constexpr LookAlike kRareLookAlikes[] = {{u'丶', u'、', kLookAlikeMargin},
                                         {u'∶', u'：', 100},
                                         {u'ｏ', u'。', kLookAlikeMargin},
                                         {u'囗', u'口', kLookAlikeMargin},
                                         {u'・', u'·', kLookAlikeMargin}};

bool IsKana(char16_t c) {
  return c >= 0x3040 && c <= 0x30FF;
}
bool IsHiragana(char16_t c) {
  return c >= 0x3041 && c <= 0x309F;
}
bool IsHanging(char16_t c) {
  return std::u16string_view(u"‘’“”'\"`＇＂｀′″").find(c) != std::u16string_view::npos;
}

// Moves the best candidate that passes keep to the front, when there is one and the best does
// not pass; false when nothing moved.
template <typename Keep>
bool Promote(std::vector<Candidate>& cands, Keep keep) {
  if (cands.empty() || keep(cands.front())) return false;
  const auto it = std::find_if(cands.begin(), cands.end(), keep);
  if (it == cands.end()) return false;
  std::rotate(cands.begin(), it, it + 1);
  return true;
}

}  // namespace

void ApplySheetContext(std::vector<CellReading>& cells) {
  std::unordered_set<char16_t> hiragana;
  for (const CellReading& cell : cells)
    if (!cell.cands.empty() && IsHiragana(cell.cands.front().ch) &&
        cell.cands.front().score >= kConfidentKana)
      hiragana.insert(cell.cands.front().ch);
  const bool japanese = hiragana.size() >= kJapaneseHiragana;

  for (CellReading& cell : cells) {
    if (cell.cands.empty() || !cell.inked) continue;
    if (!japanese) {
      const int floor = cell.cands.front().score - kKanaMargin;
      Promote(cell.cands, [&](const Candidate& c) { return !IsKana(c.ch) && c.score >= floor; });
    }
    if (cell.inkBox[2] > kHangingTopRow)
      Promote(cell.cands, [](const Candidate& c) { return !IsHanging(c.ch); });
    for (const LookAlike& pair : kRareLookAlikes) {
      if (cell.cands.front().ch != pair.rare) continue;
      const int floor = cell.cands.front().score - pair.margin;
      Promote(cell.cands,
              [&](const Candidate& c) { return c.ch == pair.common && c.score >= floor; });
    }
  }
}

}  // namespace glyphrec
