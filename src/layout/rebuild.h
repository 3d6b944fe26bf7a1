// Rebuilding a text block from its children: writing direction, child order, lines, text (with
// the blanks, ideographic spaces, line breaks and paragraph indents the geometry implies), line
// count, first and last runs and the alignment flags.
#pragma once

#include <string>
#include <vector>

#include "blocks/blocklist.h"

class CTextBlock;

// A line under assembly: the box, font size and baseline of its runs and their joined text.
struct TextLine {
  double m_dLeft = 0;
  double m_dTop = 0;
  double m_dRight = 0;
  double m_dBottom = 0;
  double m_dFontSize = 0;
  double m_dBaselineY = 0;
  std::u16string m_strText;
};

// Recomputes the derived attributes of block from its children (a run is left unchanged).
// Returns 1 (0 for a null block).
int Rebuild(CTextBlock* block);

// Rebuilds every block of level 1 and more in list, the children of groups first.
void RebuildTree(CTextBlockArray& list);

// The spaced-text test: the children's column profile (not in columns mode) reaches a coverage
// of 4 and keeps at least two separate intervals.
bool IsSpacedText(const CTextBlock* block);

// -1 when b directly follows a in the content stream (b's first run comes right after a's last
// run), 1 when a directly follows b, else 0.
int StreamOrderOf(const CTextBlock* a, const CTextBlock* b);

// Lines and text of a level-1 block whose children are sorted into horizontal reading order.
void AssembleHorizontal(CTextBlock* block, bool rtl);
// Column text of a level-1 block whose children are sorted into column order.
void AssembleVertical(CTextBlock* block, bool rtl);
// Lines and text of a level-1 block of slanted lines, the runs of each line given in order.
void AssembleSlanted(CTextBlock* block, const std::vector<CTextBlockArray>& lines);

// Joins prepared lines into the block text (m_nLineCount must be their number) and decides the
// type codes TBT_SPACED and TBT_PARAGRAPHED. byBaseline measures the line step by baselines
// instead of tops.
void AssembleLines(CTextBlock* block, int gapCount, bool ascii, const std::vector<TextLine>& lines,
                   bool byBaseline);

// Appends to text the blanks (ascii) or ideographic spaces that a gap between two pieces of
// text of the given size stands for, and returns how many. body is the page's body font size.
int FillGap(std::u16string& text, double size, double gap, bool ascii, double body);

// Puts the children of a group into column order and moves children that the stream places
// elsewhere next to their stream neighbours.
void OrderGroup(CTextBlock* block);
// Text and line count of a group from its children.
void AssembleGroup(CTextBlock* block);

// Sets the head-aligned and tail-aligned flags from the block's head and tail runs.
void SetAlignmentFlags(CTextBlock* block);

// The x intervals covered by blocks. intervals receives the boundaries as flat pairs (start,
// first uncovered x); the result is the largest coverage (0 for an empty list). columnsMode
// counts every covered x; otherwise x covered by a tenth of the largest coverage or less counts
// as a gap.
int ColumnProfile(const CTextBlockArray& blocks, bool columnsMode, std::vector<int>& intervals);

// The ragged-line test: every line flush left, at most half of them flush right, and the right
// edges swing back and forth often enough. left and right are widened to the lines' extent;
// right grows by 5 when fewer than 3 lines are flush right.
bool IsParagraphed(const std::vector<TextLine>& lines, double& left, double& right);
