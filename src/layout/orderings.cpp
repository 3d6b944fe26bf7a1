#include "layout/orderings.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <vector>

#include "blocks/geometry.h"
#include "blocks/textblock.h"
#include "layout/sortutil.h"

namespace {

// The fields that the orderings read, copied out of the blocks so that a sort walks one
// compact array instead of blocks scattered over the heap. Field names follow CTextBlock so
// that one template serves both.
struct BlockKey {
  double m_dLeft;
  double m_dTop;
  double m_dRight;
  double m_dBottom;
  double m_dBaselineY;
  double m_dFontSize;
  int32_t m_nFirstSeq;
  int32_t m_nLastSeq;
  int32_t m_nOrderKey;
  int32_t m_nFontIndex;
  CTextBlock* pBlock;
};

BlockKey KeyOf(CTextBlock* p) {
  return {p->m_dLeft,
          p->m_dTop,
          p->m_dRight,
          p->m_dBottom,
          p->m_dBaselineY,
          p->m_dFontSize,
          p->m_nFirstSeq,
          p->m_nLastSeq,
          p->m_nOrderKey,
          p->m_nFontIndex,
          p};
}

// -1, 0 or 1 for a < b, equal (or unordered), a > b.
template <class T>
int Sign3(T a, T b) {
  if (a < b) return -1;
  if (b < a) return 1;
  return 0;
}

// Ascending with values closer than tol counting as equal.
int CompareLoose(double a, double b, double tol) {
  if (std::fabs(a - b) < tol) return 0;
  return Sign3(a, b);
}

int CompareTopLeft(const BlockKey& a, const BlockKey& b) {
  const int byTop = CompareLoose(a.m_dTop, b.m_dTop, 0.1);
  if (byTop != 0) return byTop;
  return CompareLoose(a.m_dLeft, b.m_dLeft, 0.1);
}

int CompareLeftTop(const BlockKey& a, const BlockKey& b) {
  const int byLeft = CompareLoose(a.m_dLeft, b.m_dLeft, 0.1);
  if (byLeft != 0) return byLeft;
  return Sign3(a.m_dTop, b.m_dTop);
}

template <class B>
int CompareColumns(const B& a, const B& b) {
  if (b.m_dRight >= a.m_dLeft && (b.m_dLeft > a.m_dRight || b.m_dTop > a.m_dTop)) return -1;
  return 1;
}

template <class B>
int CompareReading(const B& a, const B& b, int mode) {
  const bool rtl = mode == 2 || mode == 4;
  int hOrd = (b.m_dLeft + b.m_dRight > a.m_dLeft + a.m_dRight) ? -1 : 1;
  if (rtl) hOrd = -hOrd;
  const int vOrd = (b.m_dTop + b.m_dBottom > a.m_dTop + a.m_dBottom) ? -1 : 1;

  // The font size of the lower line decides how far apart two baselines may be.
  const double w = (a.m_dBaselineY > b.m_dBaselineY) ? a.m_dFontSize : b.m_dFontSize;
  const double dBase = std::fabs(a.m_dBaselineY - b.m_dBaselineY);
  const double tol = (dBase > 0.95 * w) ? -0.05 : -0.08;

  const double hRatio = OverlapRatio(a.m_dLeft, a.m_dRight, b.m_dLeft, b.m_dRight);
  const double vRatio = OverlapRatio(a.m_dTop, a.m_dBottom, b.m_dTop, b.m_dBottom);

  switch (mode) {
    case 3:
    case 4:
      if (hRatio < 0) return hOrd;
      if (vRatio < 0) return vOrd;
      break;
    case 6:
    case 7:
      if (a.m_dLeft < b.m_dLeft) return hOrd;
      break;
    case 8:
    case 9:
    case 10:
      if (a.m_dTop < b.m_dTop) return vOrd;
      break;
    default:
      if (vRatio < tol) return vOrd;
      if (hRatio < 0) return hOrd;
      break;
  }

  if (hRatio > 0.5 && vRatio > 0.5) {
    // Overlapping blocks: stream order. The difference is clamped to the int range.
    const int64_t diff = static_cast<int64_t>(a.m_nFirstSeq) - b.m_nLastSeq;
    if (diff > INT_MAX) return INT_MAX;
    if (diff < INT_MIN) return INT_MIN;
    return static_cast<int>(diff);
  }
  return (hRatio < vRatio) ? hOrd : vOrd;
}

// Sorts the list by cmp over the blocks' keys.
template <class Compare>
void SortList(CTextBlockArray& list, Compare cmp) {
  const int n = list.GetSize();
  if (n < 2) return;
  std::vector<BlockKey> keys;
  keys.reserve(static_cast<size_t>(n));
  for (CTextBlock* p : list) keys.push_back(KeyOf(p));
  SafeSort(keys, cmp);
  for (int i = 0; i < n; ++i) list[i] = keys[static_cast<size_t>(i)].pBlock;
}

void SortByReadingOrder(CTextBlockArray& list, int mode) {
  SortList(list,
           [mode](const BlockKey& a, const BlockKey& b) { return CompareReading(a, b, mode); });
}

void SortByColumns(CTextBlockArray& list) {
  SortList(list, CompareColumns<BlockKey>);
}

}  // namespace

int ColumnOrderCompare(const CTextBlock* a, const CTextBlock* b) {
  return CompareColumns(*a, *b);
}

int ReadingOrderCompare(const CTextBlock* a, const CTextBlock* b, int mode) {
  return CompareReading(*a, *b, mode);
}

void SortBlocks(CTextBlockArray& list, int mode) {
  switch (mode) {
    case 0:
      SortList(list, [](const BlockKey& a, const BlockKey& b) {
        return Sign3(a.m_nFirstSeq, b.m_nFirstSeq);
      });
      break;
    case 1:
      SortList(list, CompareTopLeft);
      break;
    case 2:
      SortList(list, CompareLeftTop);
      break;
    case 3:
    case 4:
      SortByReadingOrder(list, 1);
      break;
    case 5:
      SortByReadingOrder(list, 2);
      break;
    case 6:
      SortByReadingOrder(list, 3);
      break;
    case 7:
      SortByReadingOrder(list, 4);
      break;
    case 8:
      SortByColumns(list);
      break;
    case 9:
      SortList(list, [](const BlockKey& a, const BlockKey& b) {
        return Sign3(a.m_nOrderKey, b.m_nOrderKey);
      });
      break;
    case 10:
      SortList(list, [](const BlockKey& a, const BlockKey& b) {
        return Sign3(a.m_nFontIndex, b.m_nFontIndex);
      });
      break;
    case 11:
      SortList(list, [](const BlockKey& a, const BlockKey& b) {
        return Sign3(b.m_dFontSize, a.m_dFontSize);
      });
      break;
    default:
      break;
  }
}

void SortChildren(CTextBlockArray& children, int direction) {
  switch (direction) {
    case 0:
    case 1:
      SortByReadingOrder(children, 1);
      break;
    case 2:
    case 3:
    case 4:
      SortByReadingOrder(children, direction);
      break;
    case 5:
      SortByColumns(children);
      break;
    case 6:
    case 7:
    case 8:
    case 9:
      SortByReadingOrder(children, direction);
      break;
    case 10:
      SortByReadingOrder(children, 8);
      break;
    default:
      break;
  }
}
