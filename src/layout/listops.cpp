#include "layout/listops.h"

#include <unordered_set>

#include "blocks/textblock.h"
#include "layout/orderings.h"

void KeepOnly(CTextBlockArray& list, const CTextBlockArray& keep) {
  // Membership by identity: sequence numbers need not be unique once blocks were combined, so a
  // merge walk over two sorted lists could drop a block that keep holds.
  SortBlocks(list, 0);
  const std::unordered_set<const CTextBlock*> kept(keep.GetData(), keep.GetData() + keep.GetSize());
  CTextBlockArray result;
  for (CTextBlock* block : list)
    if (kept.count(block) != 0) result.Add(block);
  list.Copy(result);
}

namespace {

// Depth-first walk; depth bounds hostile or cyclic trees (a block is never its own ancestor in
// trees the stages build, but the walk must not recurse without end if one ever were).
void Flatten(CTextBlockArray& source, CTextBlockArray& target, bool bDetach, int depth) {
  if (depth > 64) return;
  CTextBlockArray remaining;
  for (CTextBlock* block : source) {
    if (block == nullptr) continue;
    if (block->GetLevel() == 0) {
      target.Add(block);
      if (!bDetach) remaining.Add(block);
      continue;
    }
    Flatten(block->m_children, target, bDetach, depth + 1);
    remaining.Add(block);
  }
  if (bDetach) source.Copy(remaining);
}

}  // namespace

bool FlattenToRuns(CTextBlockArray& source, CTextBlockArray& target, bool bDetach) {
  Flatten(source, target, bDetach, 0);
  return !target.IsEmpty();
}
