// Analysis level 2: the pieces of running columns (paragraphs, parts of paragraphs that lie in
// one column) are joined, in reading order, into groups whose text runs on across the pieces.
// Text of font size 20 or more is left where it is.
//
// Ownership: a group borrows its members as children; the page list holds the groups.
#pragma once

#include <cstdint>
#include <vector>

#include "blocks/blocklist.h"
#include "velluma/wintypes.h"

class CTextBlock;

// Selector bits of SelectBlocks besides the test in the low 16 bits.
constexpr uint32_t SBS_INSIDE = 0x10000000;  // the block must lie wholly inside the area
constexpr uint32_t SBS_DETACH = 0x20000000;  // selected blocks also leave the source

// Selector tests (low 16 bits of the selector).
constexpr uint32_t SBT_ALL = 0;
constexpr uint32_t SBT_UNRECOGNISED = 1;
constexpr uint32_t SBT_FONT_ABOVE = 2;
constexpr uint32_t SBT_FONT_BELOW = 3;
constexpr uint32_t SBT_TYPE = 4;
constexpr uint32_t SBT_LEVEL_ABOVE = 5;
constexpr uint32_t SBT_LEVEL_EQUAL = 6;
constexpr uint32_t SBT_LEVEL_BELOW = 7;

// Appends to target, in source order, every block of source whose integer box meets area (when
// given; with SBS_INSIDE it must lie wholly inside) and that passes the test chosen by the low
// 16 bits of selector against value. With SBS_DETACH the selected blocks leave source. Returns
// the number selected.
int SelectBlocks(CTextBlockArray& source, CTextBlockArray& target, const RECT* area,
                 uint32_t selector, double value);

// The level-2 stage on the page's list (implementation behind RegroupColumns): blocks of font
// size below 20 are grouped and appended after the others, then every block is classified.
// 0 for an empty list, else 1.
int RegroupColumnsImpl(CTextBlockArray& list);

// Whether block p continues the group (ordered list of blocks) as the next piece of its text.
bool IsGroupContinuation(const CTextBlockArray& group, const CTextBlock* p);

// Pulls the last outputs that continue the group back into it (groups of level 2 and more are
// dissolved into it and destroyed), then appends the combined, rebuilt group to output.
void FlushGroup(CTextBlockArray& group, CTextBlockArray& output);

// Whether p continues the text of s. adjacent: p is stream-adjacent to the group of s;
// sameColumn: the two lie in the same column of the group; within: p lies inside the group's
// vertical extent.
bool IsFollowedBy(const CTextBlock* s, const CTextBlock* p, bool adjacent, bool sameColumn,
                  bool within);

// Whether b is the next paragraph after a (or a after b) in one column: both multi-line, equal
// in size and width, and joined in the stream with the alignment flags at the seam.
bool ParagraphContinues(const CTextBlock* a, const CTextBlock* b);

// Whether the group continues earlier, a block of level 2 or more.
bool GroupContinues(const CTextBlock* earlier, const CTextBlockArray& group);

// The index of the interval pair (flat start/end list) that holds block, or -1. With straddles
// given: -1 and *straddles set when the block spans the gap between two columns, and *straddles
// set when a multi-line block does not fill its column (more than 3 units short on a side).
int ColumnOf(const CTextBlock* block, const std::vector<int>& intervals, bool* straddles = nullptr);
