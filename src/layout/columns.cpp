// Column regrouping: joins the pieces of running columns into groups of level 2.
#include "layout/columns.h"

#include <algorithm>
#include <cmath>
#include <unordered_set>

#include "blocks/geometry.h"
#include "blocks/textblock.h"
#include "layout/formation.h"
#include "layout/orderings.h"
#include "layout/predicates.h"
#include "layout/rebuild.h"

namespace {

// Text of this font size or more (titles and other large text) is not regrouped.
constexpr double kLargeFontSize = 20;

double Width(const CTextBlock* b) {
  return b->m_dRight - b->m_dLeft;
}
double Height(const CTextBlock* b) {
  return b->m_dBottom - b->m_dTop;
}

bool StreamAdjacent(const CTextBlock* a, const CTextBlock* b) {
  return StreamOrderOf(a, b) != 0;
}

bool Selected(const CTextBlock* b, uint32_t test, double value) {
  switch (test) {
    case SBT_ALL:
      return true;
    case SBT_UNRECOGNISED:
      return (b->m_nFlags & TBF_UNRECOGNISED) != 0;
    case SBT_FONT_ABOVE:
      return b->m_dFontSize > value;
    case SBT_FONT_BELOW:
      return b->m_dFontSize < value;
    case SBT_TYPE:
      return static_cast<double>(b->GetType()) == value;
    case SBT_LEVEL_ABOVE:
      return b->GetLevel() > value;
    case SBT_LEVEL_EQUAL:
      return b->GetLevel() == value;
    case SBT_LEVEL_BELOW:
      return b->GetLevel() < value;
    default:
      return false;
  }
}

// Destroys a group container whose children have moved elsewhere.
void DestroyContainer(CTextBlock* block) {
  block->m_children.RemoveAll();
  delete block;
}

}  // namespace

int SelectBlocks(CTextBlockArray& source, CTextBlockArray& target, const RECT* area,
                 uint32_t selector, double value) {
  const uint32_t test = selector & 0xFFFF;
  const bool inside = (selector & SBS_INSIDE) != 0;
  const bool detach = (selector & SBS_DETACH) != 0;
  CTextBlockArray kept;
  int count = 0;
  for (CTextBlock* b : source) {
    const bool taken = (area == nullptr || b->IsInRect(*area, inside)) && Selected(b, test, value);
    if (taken) {
      target.Add(b);
      ++count;
    }
    if (!taken && detach) kept.Add(b);
  }
  // One rebuild of the source keeps the removal linear.
  if (detach && count > 0) source.Copy(kept);
  return count;
}

int ColumnOf(const CTextBlock* block, const std::vector<int>& intervals, bool* straddles) {
  const size_t pairs = intervals.size() / 2;
  for (size_t k = 0; k < pairs; ++k) {
    const double start = intervals[2 * k];
    const double end = intervals[2 * k + 1];
    if (straddles != nullptr && k > 0 && block->m_dLeft < intervals[2 * k - 1] &&
        block->m_dRight > start) {
      *straddles = true;
      return -1;
    }
    if (block->m_dLeft > start - 2 && block->m_dRight < end + 2) {
      if (straddles != nullptr && block->m_nLineCount > 1 &&
          (std::fabs(block->m_dLeft - start) > 3 || std::fabs(block->m_dRight - end) > 3)) {
        *straddles = true;
      }
      return static_cast<int>(k);
    }
  }
  return -1;
}

bool ParagraphContinues(const CTextBlock* a, const CTextBlock* b) {
  if (a->GetLevel() > 2 || b->GetLevel() > 2) return false;
  if (a->m_nLineCount <= 1 || b->m_nLineCount <= 1) return false;
  if (std::fabs(a->m_dFontSize - b->m_dFontSize) > 1) return false;
  const double half = a->m_dFontSize / 2;
  const int direction = DirectionOf(a);
  if (direction <= 5) {
    const bool vertical = direction >= 3;
    const double ea = vertical ? Height(a) : Width(a);
    const double eb = vertical ? Height(b) : Width(b);
    if (std::fabs(ea - eb) > half) return false;
  }
  if (std::fabs(Width(a) - Width(b)) > half) return false;
  const bool aHead = (a->m_nFlags & TBF_HEAD_ALIGNED) != 0;
  const bool aTail = (a->m_nFlags & TBF_TAIL_ALIGNED) != 0;
  const bool bHead = (b->m_nFlags & TBF_HEAD_ALIGNED) != 0;
  const bool bTail = (b->m_nFlags & TBF_TAIL_ALIGNED) != 0;
  if (b->m_pHead->m_nFirstSeq == a->m_pTail->m_nLastSeq + 1 && aTail && bHead) return true;
  return a->m_pHead->m_nFirstSeq == b->m_pTail->m_nLastSeq + 1 && aHead && bTail;
}

bool IsFollowedBy(const CTextBlock* s, const CTextBlock* p, bool adjacent, bool sameColumn,
                  bool within) {
  if (JoinDirection(s, DirectionOf(p)) == 0) return false;
  const double ws = Width(s);
  const double wp = Width(p);
  const bool single = s->m_nLineCount < 2 || p->m_nLineCount < 2;
  const double half = (ws + wp) / 2 * (single ? 0.9 : 0.1);
  const double dw = std::fabs(ws - wp);
  const double v = (s->m_dFontSize + p->m_dFontSize) / 2;
  const double dFont = std::fabs(s->m_dFontSize - p->m_dFontSize);
  double hShort = 0;
  double vShort = 0;
  const double hRatio = OverlapRatio(s->m_dLeft, s->m_dRight, p->m_dLeft, p->m_dRight, &hShort);
  const double vRatio = OverlapRatio(s->m_dTop, s->m_dBottom, p->m_dTop, p->m_dBottom, &vShort);
  const double hGap = std::max(s->m_dLeft, p->m_dLeft) - std::min(s->m_dRight, p->m_dRight);
  const double vGap = std::max(s->m_dTop, p->m_dTop) - std::min(s->m_dBottom, p->m_dBottom);

  if (hRatio < 0 && vRatio > 0) {
    // Side by side on the same lines.
    if (vShort < 0.2 || half < dw || dFont > 1) return false;
    const double a = (vRatio > 0.98 && StreamAdjacent(s, p)) ? 2 : 1.7;
    if (hGap > a * v) return false;
    if (adjacent) return true;
    return StreamAdjacent(s, p);
  }

  // One below the other.
  if (!(vRatio < 0)) return false;
  if (hRatio > 0) {
    if (!sameColumn && !(hShort >= 0.95 && hRatio >= 0.5)) return false;
  } else if (!sameColumn) {
    return false;
  }
  const bool sameType = s->GetType() == p->GetType();
  double a = 3.3;
  if (sameType) {
    a = 3.3;
  } else if (hShort > 0.98) {
    a = 6;
  } else if (s->m_nLineCount == 1) {
    a = (p->m_nLineCount > 1 && p->m_dTop < s->m_dBottom) ? 6 : 3.3;
  } else {
    a = (p->m_nLineCount == 1 && p->m_dBottom > s->m_dTop) ? 6 : 3.3;
  }
  if (dFont > a && dFont > 0.3 * v) return false;
  if (!within && vGap > (sameType ? 1.3 : 1.36) * v) return false;
  if (s->m_nLineCount == 1 && p->m_nLineCount > 1 && ws >= wp) return false;
  if (s->m_nLineCount > 1 && p->m_nLineCount == 1 && ws <= wp) return false;
  if (dw < 2 || adjacent) return true;
  return StreamAdjacent(s, p);
}

bool IsGroupContinuation(const CTextBlockArray& group, const CTextBlock* p) {
  if (group.IsEmpty()) return false;
  std::vector<int> intervals;
  const int cover = ColumnProfile(group, true, intervals);
  int col = -1;
  if (cover > 1) {
    bool straddles = false;
    col = ColumnOf(p, intervals, &straddles);
    if (straddles) return false;
  }

  double top = group[0]->m_dTop;
  double bottom = group[0]->m_dBottom;
  bool adjacent = false;
  for (const CTextBlock* s : group) {
    top = std::min(top, s->m_dTop);
    bottom = std::max(bottom, s->m_dBottom);
    if (!adjacent && StreamAdjacent(s, p)) {
      adjacent = true;
      if (ParagraphContinues(s, p)) return true;
    }
  }
  const bool within = top - 1 < p->m_dTop && bottom + 1 > p->m_dBottom;

  for (const CTextBlock* s : group) {
    const bool sameColumn = cover >= 2 && ColumnOf(s, intervals) == col;
    if (IsFollowedBy(s, p, adjacent, sameColumn, within)) return true;
  }
  return false;
}

bool GroupContinues(const CTextBlock* earlier, const CTextBlockArray& group) {
  const CTextBlockArray& children = earlier->m_children;
  if (children.IsEmpty() || group.IsEmpty()) return false;

  // Stream adjacency of some child and some block, through sets of the group's seams.
  std::unordered_set<int32_t> heads;
  std::unordered_set<int32_t> tails;
  for (const CTextBlock* g : group) {
    heads.insert(g->m_pHead->m_nFirstSeq);
    tails.insert(g->m_pTail->m_nLastSeq);
  }
  bool linked = false;
  for (const CTextBlock* k : children) {
    if (heads.count(k->m_pTail->m_nLastSeq + 1) != 0 ||
        tails.count(k->m_pHead->m_nFirstSeq - 1) != 0) {
      linked = true;
      break;
    }
  }
  if (!linked) return false;

  std::vector<int> earlierIntervals;
  std::vector<int> groupIntervals;
  ColumnProfile(children, true, earlierIntervals);
  ColumnProfile(group, true, groupIntervals);
  std::vector<int> childColumns;
  childColumns.reserve(static_cast<size_t>(children.GetSize()));
  for (const CTextBlock* k : children) childColumns.push_back(ColumnOf(k, earlierIntervals));

  for (const CTextBlock* g : group) {
    const int cg = ColumnOf(g, groupIntervals);
    if (cg < 0) continue;  // in no column of its profile: nothing to compare
    for (int i = 0; i < children.GetSize(); ++i) {
      const int ck = childColumns[static_cast<size_t>(i)];
      if (ck < 0) continue;
      double r = 0;
      OverlapRatio(groupIntervals[2 * cg], groupIntervals[2 * cg + 1], earlierIntervals[2 * ck],
                   earlierIntervals[2 * ck + 1], &r);
      if (IsFollowedBy(children[i], g, true, r > 0.95, false)) return true;
    }
  }
  return false;
}

void FlushGroup(CTextBlockArray& group, CTextBlockArray& output) {
  while (!output.IsEmpty()) {
    CTextBlock* q = output[output.GetSize() - 1];
    if (q->GetLevel() < 2) {
      if (!IsGroupContinuation(group, q)) break;
      group.Add(q);
      output.RemoveAt(output.GetSize() - 1);
    } else {
      if (!GroupContinues(q, group)) break;
      group.Append(q->m_children);
      output.RemoveAt(output.GetSize() - 1);
      DestroyContainer(q);
    }
  }
  output.Add(CombineBlocks(group, true));
}

int RegroupColumnsImpl(CTextBlockArray& list) {
  if (list.IsEmpty()) return 0;
  CTextBlockArray small;
  SelectBlocks(list, small, nullptr, SBS_DETACH | SBT_FONT_BELOW, kLargeFontSize);
  if (small.GetSize() >= 2) {
    SortBlocks(small, 9);
    CTextBlockArray group;
    CTextBlockArray output;
    group.Add(small[0]);
    for (int i = 1; i < small.GetSize(); ++i) {
      CTextBlock* p = small[i];
      if (IsGroupContinuation(group, p)) {
        group.Add(p);
      } else {
        FlushGroup(group, output);
        group.RemoveAll();
        group.Add(p);
      }
    }
    FlushGroup(group, output);
    small.Copy(output);
  }
  list.Append(small);
  for (CTextBlock* block : list) ClassifyBlock(block);
  return 1;
}
