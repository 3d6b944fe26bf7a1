// List operations shared by the stages that take blocks out of the page's list and put them
// back: keeping the members of one list that another still holds, and flattening block trees
// back into their runs.
#pragma once

#include "blocks/blocklist.h"

// Sorts list into stream order (SortBlocks mode 0) and leaves in it only the blocks that keep
// also holds: the result is list ∩ keep in stream order. Blocks removed from list are not
// deleted.
void KeepOnly(CTextBlockArray& list, const CTextBlockArray& keep);

// Appends every leaf (level-0 block) of the trees in source to target, depth first in list
// order; with bDetach each leaf also leaves the list that held it (source or a child list).
// Returns whether target is non-empty.
bool FlattenToRuns(CTextBlockArray& source, CTextBlockArray& target, bool bDetach);
