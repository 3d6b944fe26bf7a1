#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "layout/orderings.h"
#include "layout/sortutil.h"
#include "layout_fixture.h"

using Orderings = LayoutTest;

TEST_F(Orderings, StreamKeyFontAndSizeModes) {
  CTextBlock* a = Run(3, 0, 0, 10, 10, 9);
  CTextBlock* b = Run(1, 0, 0, 10, 10, 12);
  CTextBlock* c = Run(2, 0, 0, 10, 10, 10);
  a->m_nOrderKey = 5;
  b->m_nOrderKey = 7;
  c->m_nOrderKey = -1;
  a->m_nFontIndex = 2;
  b->m_nFontIndex = 0;
  c->m_nFontIndex = 1;

  CTextBlockArray list = ListOf({a, b, c});
  SortBlocks(list, 0);
  EXPECT_EQ(Items(list), (std::vector<CTextBlock*>{b, c, a}));
  SortBlocks(list, 9);
  EXPECT_EQ(Items(list), (std::vector<CTextBlock*>{c, a, b}));
  SortBlocks(list, 10);
  EXPECT_EQ(Items(list), (std::vector<CTextBlock*>{b, c, a}));
  SortBlocks(list, 11);  // descending size
  EXPECT_EQ(Items(list), (std::vector<CTextBlock*>{b, c, a}));
  SortBlocks(list, 12);  // unknown mode: unchanged
  EXPECT_EQ(Items(list), (std::vector<CTextBlock*>{b, c, a}));
}

TEST_F(Orderings, TopLeftAndLeftTopWithTolerance) {
  CTextBlock* a = Run(0, 50, 10.00, 60, 20);
  CTextBlock* b = Run(1, 20, 10.05, 30, 20);  // same top within 0.1: ordered by left
  CTextBlock* c = Run(2, 90, 5, 99, 15);
  CTextBlock* d = Run(3, 20.05, 10.02, 30, 20);  // top and left both equal to b's
  CTextBlockArray list = ListOf({a, d, b, c});
  SortBlocks(list, 1);
  EXPECT_EQ(Items(list), (std::vector<CTextBlock*>{c, d, b, a}));  // d stays ahead of b

  CTextBlock* e = Run(4, 10.00, 50, 20, 60);
  CTextBlock* f = Run(5, 10.08, 40, 20, 50);  // same left within 0.1: ordered by top
  CTextBlock* g = Run(6, 5, 90, 9, 99);
  CTextBlockArray cols = ListOf({e, f, g});
  SortBlocks(cols, 2);
  EXPECT_EQ(Items(cols), (std::vector<CTextBlock*>{g, f, e}));
}

// Two lines of two runs, or two columns of two runs.
TEST_F(Orderings, ReadingOrderModes) {
  CTextBlock* l1a = Run(0, 0, 0, 40, 10);
  CTextBlock* l1b = Run(1, 50, 0, 90, 10);
  CTextBlock* l2a = Run(2, 0, 12, 40, 22);
  CTextBlock* l2b = Run(3, 50, 12, 90, 22);

  CTextBlockArray list = ListOf({l2b, l1b, l2a, l1a});
  SortBlocks(list, 3);
  EXPECT_EQ(Items(list), (std::vector<CTextBlock*>{l1a, l1b, l2a, l2b}));
  SortBlocks(list, 5);  // lines read right to left
  EXPECT_EQ(Items(list), (std::vector<CTextBlock*>{l1b, l1a, l2b, l2a}));
  SortBlocks(list, 6);  // columns, left column first
  EXPECT_EQ(Items(list), (std::vector<CTextBlock*>{l1a, l2a, l1b, l2b}));
  SortBlocks(list, 7);  // columns, right column first
  EXPECT_EQ(Items(list), (std::vector<CTextBlock*>{l1b, l2b, l1a, l2a}));
  SortBlocks(list, 8);  // column order
  EXPECT_EQ(Items(list), (std::vector<CTextBlock*>{l1a, l2a, l1b, l2b}));

  CTextBlockArray children = ListOf({l2b, l1b, l2a, l1a});
  SortChildren(children, 1);
  EXPECT_EQ(Items(children), (std::vector<CTextBlock*>{l1a, l1b, l2a, l2b}));
  SortChildren(children, 2);
  EXPECT_EQ(Items(children), (std::vector<CTextBlock*>{l1b, l1a, l2b, l2a}));
  SortChildren(children, 4);
  EXPECT_EQ(Items(children), (std::vector<CTextBlock*>{l1b, l2b, l1a, l2a}));
  SortChildren(children, 5);
  EXPECT_EQ(Items(children), (std::vector<CTextBlock*>{l1a, l2a, l1b, l2b}));

  CTextBlock* v1 = Run(0, 0, 0, 10, 10);
  CTextBlock* v2 = Run(1, 1, 12, 11, 22);
  CTextBlock* v3 = Run(2, 0, 24, 10, 34);
  for (int direction : {8, 9, 10}) {
    CTextBlockArray column = ListOf({v3, v1, v2});
    SortChildren(column, direction);
    EXPECT_EQ(Items(column), (std::vector<CTextBlock*>{v1, v2, v3})) << direction;
  }
}

TEST_F(Orderings, ReadingOrderCompareEdgeCases) {
  // Vertically apart by a ratio of -0.061: lines when the baselines are a line apart, but
  // taken as one line (decided horizontally) when the baselines nearly agree.
  CTextBlock* a = Run(0, 50, 0, 60, 10);
  CTextBlock* b = Run(1, 0, 11.3, 10, 21.3);
  EXPECT_EQ(ReadingOrderCompare(a, b, 1), -1);
  b->m_dBaselineY = a->m_dBaselineY + 0.5;
  EXPECT_EQ(ReadingOrderCompare(a, b, 1), 1);
  EXPECT_EQ(ReadingOrderCompare(a, b, 2), -1);  // right to left

  // Heavily overlapping blocks compare by stream position: a.m_nFirstSeq - b.m_nLastSeq.
  CTextBlock* c = Run(7, 0, 0, 10, 10);
  CTextBlock* d = Run(3, 1, 1, 10, 10);
  d->m_nLastSeq = 4;
  EXPECT_EQ(ReadingOrderCompare(c, d, 1), 3);
  EXPECT_EQ(ReadingOrderCompare(d, c, 3), -4);
  EXPECT_EQ(ReadingOrderCompare(c, c, 1), 0);

  // Modes 6 and 7 decide by the left edge only when a's is smaller; modes 8 to 10 by the top.
  CTextBlock* e = Run(0, 0, 20, 100, 30);
  CTextBlock* f = Run(1, 10, 0, 20, 10);
  EXPECT_EQ(ReadingOrderCompare(e, f, 6), 1);  // centre of f lies left of e's centre
  EXPECT_EQ(ReadingOrderCompare(f, e, 7),
            -1);  // f is not left of e: decided by the centres' heights
  EXPECT_EQ(ReadingOrderCompare(f, e, 9), -1);
  EXPECT_EQ(ReadingOrderCompare(e, f, 10), 1);

  // Extreme stream positions do not overflow.
  CTextBlock* g = Run(INT32_MAX, 0, 0, 10, 10);
  CTextBlock* h = Run(INT32_MIN, 0, 0, 10, 10);
  EXPECT_GT(ReadingOrderCompare(g, h, 1), 0);
  EXPECT_LT(ReadingOrderCompare(h, g, 1), 0);

  // Degenerate boxes give NaN ratios and still an answer.
  CTextBlock* p = Run(0, 5, 5, 5, 5);
  CTextBlock* q = Run(1, 5, 5, 5, 5);
  const int r = ReadingOrderCompare(p, q, 1);
  EXPECT_TRUE(r == 1 || r == -1);
}

TEST_F(Orderings, ColumnOrderIsNeverEqual) {
  CTextBlock* a = Run(0, 0, 0, 10, 10);
  EXPECT_EQ(ColumnOrderCompare(a, a), 1);
  CTextBlock* b = Run(1, 20, 0, 30, 10);
  EXPECT_EQ(ColumnOrderCompare(a, b), -1);
  EXPECT_EQ(ColumnOrderCompare(b, a), 1);
}

// Inconsistent comparisons must neither crash nor lose elements, and the same input must
// always give the same order.
TEST_F(Orderings, SortIsSafeAndDeterministic) {
  std::vector<int> values(5000);
  for (size_t i = 0; i < values.size(); ++i) values[i] = static_cast<int>(i);
  std::mt19937 rng(7);
  SafeSort(values, [&rng](int, int) { return static_cast<int>(rng() % 3) - 1; });
  std::vector<int> sorted = values;
  std::sort(sorted.begin(), sorted.end());
  for (size_t i = 0; i < sorted.size(); ++i) ASSERT_EQ(sorted[i], static_cast<int>(i));

  std::uniform_real_distribution<double> pos(0, 500);
  CTextBlockArray list;
  for (int i = 0; i < 3000; ++i) {
    const double l = pos(rng), t = pos(rng);
    CTextBlock* run = Run(i % 50, l, t, l + pos(rng) / 20, t + pos(rng) / 50, 5 + i % 7);
    if (i % 97 == 0) run->m_dLeft = std::numeric_limits<double>::quiet_NaN();
    list.Add(run);
  }
  const std::vector<CTextBlock*> original = Items(list);
  for (int mode = 0; mode <= 11; ++mode) {
    CTextBlockArray first, second;
    first.Copy(list);
    second.Copy(list);
    SortBlocks(first, mode);
    SortBlocks(second, mode);
    EXPECT_EQ(Items(first), Items(second)) << "mode " << mode;
    std::vector<CTextBlock*> a = Items(first), b = original;
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    EXPECT_EQ(a, b) << "mode " << mode;
  }
}

TEST_F(Orderings, SafeSortOnABlockList) {
  CTextBlock* a = Run(0, 0, 0, 10, 10, 12);
  CTextBlock* b = Run(1, 0, 0, 10, 10, 9);
  CTextBlock* c = Run(2, 0, 0, 10, 10, 12);
  CTextBlockArray list = ListOf({a, b, c});
  SafeSort(list, [](const CTextBlock* x, const CTextBlock* y) {
    return (x->m_dFontSize > y->m_dFontSize) - (x->m_dFontSize < y->m_dFontSize);
  });
  EXPECT_EQ(Items(list), (std::vector<CTextBlock*>{b, a, c}));
}
