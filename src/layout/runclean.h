// Passes over the raw runs of a page before analysis: removal of runs that only draw patterns
// (a glyph repeated side by side or stacked, as rules and borders are often drawn) and of runs
// drawn twice at the same place (shadows and overprints).
#pragma once

#include "blocks/blocklist.h"

class CTextBlock;

// Removes pattern-drawing runs from a list of runs in stream order. The removed runs are
// deleted; the others keep their order. Returns the number removed.
int CleanRuns(CTextBlockArray& list);

// Sorts the runs into reading order (SortBlocks mode 3) and removes every run that repeats a
// run on the same baseline at the same place. The removed runs are deleted. Returns the number
// removed (0 for an empty list).
int RemoveRepeatedRuns(CTextBlockArray& list);

// How run r, the run after q in the stream, repeats q: 1 continues it to the right, 2 to the
// left, 3 below, 4 above; 0 when it does not repeat it (other font, not the next run, other
// size or characters, or not exactly beside or above/below it).
int RepeatKind(const CTextBlock* q, const CTextBlock* r);

// Whether the baselines of q and p lie within 0.95 font sizes of the lower of the two.
bool IsSameBaseline(const CTextBlock* q, const CTextBlock* p);

// Whether q is a second copy of p: every edge within max(1, 0.05 x S) of p's, or the same text
// (ignoring case), font and size, neighbours by IsNeighbourRun and every edge within
// max(1, 0.1 x S); S the sum of the two font sizes.
bool IsDuplicateRun(const CTextBlock* q, const CTextBlock* p);
