// Neighbourhood predicates and block measures shared by the layout stages.
#pragma once

#include "blocks/blocklist.h"
#include "blocks/textblock.h"

// The direction code of a block (bits 12-15 of m_nFlags).
inline int DirectionOf(const CTextBlock* block) {
  return static_cast<int>((block->m_nFlags & TBF_DIRECTION_MASK) >> 12);
}

// Whether two pieces of text continue one another on a line or from one line to the next.
// loose admits more distant pieces of text that overlap vertically.
bool IsNeighbourRun(const CTextBlock* a, const CTextBlock* b, bool loose);

// The direction that block and a partner of the given direction would have together, or 0
// when the two directions are incompatible.
int JoinDirection(const CTextBlock* block, int direction);

// Text-length-weighted mean font size of the list. restricted counts only font sizes strictly
// between 6 and 18 unless no element has one. When the counted elements carry no text, the
// font size of the first counted element; 0 for an empty list.
double MeanFontSize(const CTextBlockArray& list, bool restricted);
