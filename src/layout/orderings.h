// The orderings of text blocks shared by every layout stage.
//
// All sorts go through SafeSort (layout/sortutil.h): stable, deterministic and safe with the
// tolerance-based comparisons below, which are not strict weak orderings.
#pragma once

#include "blocks/blocklist.h"

class CTextBlock;

// Sorts list in place by mode:
//   0  ascending m_nFirstSeq
//   1  ascending top (tops closer than 0.1 equal), then ascending left (closer than 0.1 equal)
//   2  ascending left (lefts closer than 0.1 equal), then ascending top
//   3, 4  ReadingOrderCompare mode 1;  5 mode 2;  6 mode 3;  7 mode 4
//   8  column order (ColumnOrderCompare)
//   9  ascending m_nOrderKey;  10 ascending m_nFontIndex;  11 descending font size
// Any other mode leaves the list as it is.
void SortBlocks(CTextBlockArray& list, int mode);

// Sorts a block's children for a direction 0-10: 0 and 1 reading order mode 1, 2 mode 2,
// 3 mode 3, 4 mode 4, 5 column order, 6 mode 6, 7 mode 7, 8 mode 8, 9 mode 9, 10 mode 8.
// Any other direction leaves the list as it is.
void SortChildren(CTextBlockArray& children, int direction);

// Reading-order comparison: negative when a comes first. Modes 1 and 2 read lines (2 right to
// left), 3 and 4 columns (4 right to left), 6 and 7 by left edges, 8 to 10 by tops; other modes
// behave as mode 1.
int ReadingOrderCompare(const CTextBlock* a, const CTextBlock* b, int mode);

// Column order of SortBlocks mode 8: -1 (a first) when b.m_dRight >= a.m_dLeft and
// (b.m_dLeft > a.m_dRight or b.m_dTop > a.m_dTop), else 1; never 0.
int ColumnOrderCompare(const CTextBlock* a, const CTextBlock* b);
