#include "layout/runclean.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "blocks/textblock.h"
#include "layout/orderings.h"
#include "layout/predicates.h"
#include "vwin32/strings.h"

namespace {

constexpr int kMinPatternSteps = 10;     // a pattern sequence has more steps than this
constexpr int kMinVerticalRepeats = 25;  // equal texts and steps of a stacked pattern
constexpr int kCommonFontRuns = 100;     // a font with this many runs also sets ordinary text

bool SameTextNoCase(const CTextBlock* a, const CTextBlock* b) {
  return vwin32::EqualsNoCase(a->m_strText, b->m_strText);
}

bool Within(double a, double b, double tol) {
  return std::fabs(a - b) <= tol;
}

bool EdgesWithin(const CTextBlock* q, const CTextBlock* p, double tol) {
  return Within(q->m_dLeft, p->m_dLeft, tol) && Within(q->m_dTop, p->m_dTop, tol) &&
         Within(q->m_dRight, p->m_dRight, tol) && Within(q->m_dBottom, p->m_dBottom, tol);
}

// IsSameBaseline over the three values it reads.
bool OnSameBaseline(double qBase, double qSize, double pBase, double pSize) {
  const double lowerSize = (qBase > pBase) ? qSize : pSize;
  return std::fabs(qBase - pBase) <= 0.95 * lowerSize;
}

// A necessary condition of IsDuplicateRun: the left edges lie within the wider of its two
// tolerances.
bool LeftEdgesNear(double qLeft, double qSize, double pLeft, double pSize) {
  return Within(qLeft, pLeft, std::max(1.0, 0.1 * (qSize + pSize)));
}

// What the duplicate scan reads of every run, in one compact array.
struct ScanKey {
  double base;
  double size;
  double left;
};

// Keeps the runs not marked removed, in order, and deletes the others.
int DropRemoved(CTextBlockArray& list, const std::vector<bool>& removed) {
  std::vector<CTextBlock*> kept;
  kept.reserve(removed.size());
  std::vector<CTextBlock*> dropped;
  for (int i = 0; i < list.GetSize(); ++i) {
    (removed[static_cast<size_t>(i)] ? dropped : kept).push_back(list[i]);
  }
  if (dropped.empty()) return 0;
  list.SetSize(static_cast<int>(kept.size()));
  std::copy(kept.begin(), kept.end(), list.GetData());
  for (CTextBlock* run : dropped) DeleteTextBlockTree(run);
  return static_cast<int>(dropped.size());
}

// Bounds of fixed-size chunks of a list of runs, by which the duplicate scan skips whole chunks
// that can neither end the baseline nor hold a duplicate. The bounds are taken once; runs
// removed later only make them wider than needed, never wrong.
class CChunkBounds {
 public:
  static constexpr size_t kSize = 32;

  explicit CChunkBounds(const std::vector<ScanKey>& keys) {
    for (size_t lo = 0; lo < keys.size(); lo += kSize) {
      Chunk c;
      const ScanKey& first = keys[lo];
      c.minBase = c.maxBase = first.base;
      c.minSize = c.maxSize = first.size;
      c.minLeft = c.maxLeft = first.left;
      const size_t hi = std::min(keys.size(), lo + kSize);
      for (size_t i = lo; i < hi; ++i) {
        const ScanKey& k = keys[i];
        if (std::isnan(k.base) || std::isnan(k.size) || std::isnan(k.left)) c.usable = false;
        c.minBase = std::min(c.minBase, k.base);
        c.maxBase = std::max(c.maxBase, k.base);
        c.minSize = std::min(c.minSize, k.size);
        c.maxSize = std::max(c.maxSize, k.size);
        c.minLeft = std::min(c.minLeft, k.left);
        c.maxLeft = std::max(c.maxLeft, k.left);
      }
      m_chunks.push_back(c);
    }
  }

  // Whether every run of the chunk starting at index lo lies on p's baseline (OnSameBaseline)
  // and none has its left edge near p's (LeftEdgesNear).
  bool CanSkip(size_t lo, const ScanKey& p) const {
    const Chunk& c = m_chunks[lo / kSize];
    if (!c.usable || std::isnan(p.base) || std::isnan(p.size) || std::isnan(p.left)) {
      return false;
    }
    const double spread = std::max(c.maxBase - p.base, p.base - c.minBase);
    if (!(spread <= 0.95 * std::min(c.minSize, p.size))) return false;
    const double tol = std::max(1.0, 0.1 * (c.maxSize + p.size));
    return c.minLeft - p.left > tol || p.left - c.maxLeft > tol;
  }

 private:
  struct Chunk {
    double minBase, maxBase, minSize, maxSize, minLeft, maxLeft;
    bool usable = true;
  };
  std::vector<Chunk> m_chunks;
};

}  // namespace

int RepeatKind(const CTextBlock* q, const CTextBlock* r) {
  if (r->m_nFontIndex != q->m_nFontIndex) return 0;
  if (static_cast<int64_t>(r->m_nFirstSeq) != static_cast<int64_t>(q->m_nFirstSeq) + 1) return 0;

  const double qWidth = q->m_dRight - q->m_dLeft;
  const double rWidth = r->m_dRight - r->m_dLeft;
  const double qHeight = q->m_dBottom - q->m_dTop;
  const double rHeight = r->m_dBottom - r->m_dTop;
  if (rWidth < 0.1) return 0;
  if (std::fabs(q->m_dFontSize - r->m_dFontSize) > 0.01) return 0;
  if (std::fabs(qHeight - rHeight) > 0.01) return 0;
  if (std::fabs(qWidth - rWidth) > 0.01) return 0;

  if (q->m_nCharCount != r->m_nCharCount) return 0;
  if (r->m_nCharCount > 0 && (q->m_pChars == nullptr || r->m_pChars == nullptr)) return 0;
  for (int32_t i = 0; i < r->m_nCharCount; ++i) {
    if (r->m_pChars[i].nCode != q->m_pChars[i].nCode) return 0;
  }

  if (Within(q->m_dTop, r->m_dTop, 0.01)) {
    if (std::fabs(q->m_dRight - r->m_dLeft) <= 0.2) return 1;
    if (std::fabs(q->m_dLeft - r->m_dRight) <= 0.2) return 2;
    return 0;
  }
  if (Within(q->m_dLeft, r->m_dLeft, 0.01)) return r->m_dTop < q->m_dTop ? 4 : 3;
  return 0;
}

int CleanRuns(CTextBlockArray& list) {
  const int n = list.GetSize();
  if (n == 0) return 0;

  // 1. Find the fonts that draw long sequences of one glyph group repeated side by side or
  // stacked; stacked sequences of one text also count that text.
  std::unordered_map<int32_t, int> fontOrdinal;
  const auto registerFont = [&fontOrdinal](const CTextBlock* q) {
    fontOrdinal.try_emplace(q->m_nFontIndex, static_cast<int>(fontOrdinal.size()));
  };
  std::unordered_map<std::u16string, int> textRepeats;
  int kind = 0;
  int start = 0;
  int equalPairs = 0;
  for (int i = 0; i + 1 < n; ++i) {
    const CTextBlock* q = list[i];
    const CTextBlock* r = list[i + 1];
    const int next = RepeatKind(q, r);
    if (next != kind) {
      const int steps = i - start;
      if (kind != 0 && steps > kMinPatternSteps) {
        const bool vertical = kind == 3 || kind == 4;
        const bool flagged =
            (q->m_nFlags & TBF_RUN_FLAG) != 0 && (q->m_nFlags & TBF_UNRECOGNISED) != 0;
        if (vertical && equalPairs > kMinVerticalRepeats && steps > kMinVerticalRepeats) {
          ++textRepeats[q->m_strText];
          equalPairs = 0;
          registerFont(q);
        } else if (flagged && !(vertical && q->m_nCharCount > 1)) {
          registerFont(q);
        } else {
          equalPairs = 0;
        }
      }
      kind = next;
      start = i;
    }
    if (SameTextNoCase(q, r)) ++equalPairs;
  }
  if (fontOrdinal.empty()) return 0;

  // 2. How many runs of the page each registered font sets.
  std::unordered_map<int32_t, int> fontRuns;
  for (const CTextBlock* p : list) {
    if (fontOrdinal.count(p->m_nFontIndex) != 0) ++fontRuns[p->m_nFontIndex];
  }

  // 3. Backwards over the list: sequences of equal texts in a registered font are removed.
  // A sequence that is kept open while the texts change remembers its own range; a later pair
  // of equal texts opens a new sequence.
  std::vector<bool> removed(static_cast<size_t>(n), false);
  const auto removeRange = [&removed](int first, int last) {
    for (int i = first; i <= last; ++i) removed[static_cast<size_t>(i)] = true;
  };
  int equalCount = 1;
  bool open = false;
  bool held = false;  // kept open across a change of text
  int seqFirst = 0;
  int seqLast = 0;
  for (int j = n - 2; j >= 0; --j) {
    const CTextBlock* s = list[j];
    const CTextBlock* r = list[j + 1];
    if (fontOrdinal.count(r->m_nFontIndex) == 0) {
      open = false;
      continue;
    }
    if (SameTextNoCase(s, r)) {
      ++equalCount;
      if (!open || held) {
        open = true;
        held = false;
        seqLast = j + 1;
      }
      if (j == 0) {
        removeRange(0, seqLast);
        open = false;
      }
    } else if (open) {
      const int fontUse = fontRuns[r->m_nFontIndex];
      const bool repeatedText = textRepeats.count(r->m_strText) != 0;
      if ((equalCount > kMinVerticalRepeats && repeatedText) || fontUse < kCommonFontRuns) {
        removeRange(held ? seqFirst : j + 1, seqLast);
        open = false;
      } else if (!held) {
        held = true;
        seqFirst = j + 1;
      }
    }
  }
  return DropRemoved(list, removed);
}

bool IsSameBaseline(const CTextBlock* q, const CTextBlock* p) {
  return OnSameBaseline(q->m_dBaselineY, q->m_dFontSize, p->m_dBaselineY, p->m_dFontSize);
}

bool IsDuplicateRun(const CTextBlock* q, const CTextBlock* p) {
  const double S = q->m_dFontSize + p->m_dFontSize;
  if (EdgesWithin(q, p, std::max(1.0, 0.05 * S))) return true;
  if (q->m_strText.empty() || !SameTextNoCase(q, p)) return false;
  if (q->m_dFontSize != p->m_dFontSize || q->m_nFontIndex != p->m_nFontIndex) return false;
  if (!IsNeighbourRun(q, p, false)) return false;
  return EdgesWithin(q, p, std::max(1.0, 0.1 * S));
}

int RemoveRepeatedRuns(CTextBlockArray& list) {
  const int count = list.GetSize();
  if (count == 0) return 0;
  SortBlocks(list, 3);

  const std::vector<CTextBlock*> runs(list.begin(), list.end());
  const size_t n = runs.size();
  std::vector<ScanKey> keys;
  keys.reserve(n);
  for (const CTextBlock* r : runs) keys.push_back({r->m_dBaselineY, r->m_dFontSize, r->m_dLeft});
  std::vector<bool> removed(n, false);
  const CChunkBounds bounds(keys);
  constexpr size_t kNone = static_cast<size_t>(-1);

  // Each reference p is compared with the runs after it on its baseline; the first run that is
  // not a copy of p becomes the next reference, so every run of a line is compared with the
  // runs after it.
  size_t ref = 0;
  while (ref < n) {
    const ScanKey& p = keys[ref];
    size_t remembered = kNone;
    size_t j = ref + 1;
    while (j < n) {
      if (remembered != kNone && j % CChunkBounds::kSize == 0 && bounds.CanSkip(j, p)) {
        j += CChunkBounds::kSize;
        continue;
      }
      if (removed[j]) {
        ++j;
        continue;
      }
      const ScanKey& q = keys[j];
      if (!OnSameBaseline(q.base, q.size, p.base, p.size)) break;
      if (LeftEdgesNear(q.left, q.size, p.left, p.size) && IsDuplicateRun(runs[j], runs[ref])) {
        removed[j] = true;
      } else if (remembered == kNone) {
        remembered = j;
      }
      ++j;
    }
    // At the end of the baseline (or of the list) the first run that was kept leads on.
    ref = (remembered != kNone) ? remembered : j;
  }
  return DropRemoved(list, removed);
}
