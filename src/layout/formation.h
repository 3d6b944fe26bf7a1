// Text block formation (analysis level 1): runs become text blocks, which are cleaned up,
// classified and given their HTML. Also the combination of blocks into a new block and the
// neighbourhood predicates of the later stages.
//
// Ownership: a block made by CombineBlocks or MergeBlocks borrows its members as children;
// containers emptied by a merge are destroyed. The page's list owns the top-level blocks.
#pragma once

#include <cstdint>

#include "blocks/blocklist.h"

class CTextBlock;

// The level-1 stage on the page's list, in place: clusters runs, absorbs stray characters,
// classifies, joins side-by-side blocks and fragments, sets order keys and fonts, classifies
// again and builds the HTML. 0 for an empty list (nothing done), else 1.
int FormTextBlocksImpl(CTextBlockArray& list);

// The steps of the stage, in the order in which it runs them.
void ClusterRuns(CTextBlockArray& list);
void AbsorbStrayChars(CTextBlockArray& list);
void JoinSideBySide(CTextBlockArray& list);
void JoinFragments(CTextBlockArray& list);
// Order key: a run's first sequence number; a block's truncated mean of the first sequence
// numbers of its leaf runs.
void SetOrderKey(CTextBlock* block);
// Font index of a block: the font that carries the most text among its leaf runs (the first
// met on a tie); unchanged when the leaves carry no text.
void SetBlockFont(CTextBlock* block);

// One block out of an ordered group: the single member itself, or a new block whose children
// are the members (borrowed), with their union box, their text-weighted mean font size and
// one level above the highest member; rebuilt when rebuild is set. Null for an empty group.
CTextBlock* CombineBlocks(const CTextBlockArray& group, bool rebuild);

// Combines a, b and c (c may be null) into one block. A block with children contributes its
// children and is destroyed; one without contributes itself.
CTextBlock* MergeBlocks(CTextBlock* a, CTextBlock* b, CTextBlock* c, bool rebuild);

// Sets and returns the type code: a code already set stays; a one-character run keeps 0;
// spaced level-1 text gets TBT_SPACED; large text TBT_TITLE; the rest TBT_BODY.
uint32_t ClassifyBlock(CTextBlock* block);

// Whether run b joins run a in a cluster (sizes must agree unless the two are adjacent in the
// stream and on one baseline).
bool IsRunJoinable(const CTextBlock* a, const CTextBlock* b);
// Whether two blocks (or any of their children) touch as neighbouring text.
bool IsTouching(const CTextBlock* a, const CTextBlock* b);
// Whether b continues a on the same lines.
bool IsLineContinuation(const CTextBlock* a, const CTextBlock* b);
// Whether a and b stand side by side and the content stream passes between them.
bool IsStreamContinuation(const CTextBlock* a, const CTextBlock* b);
// The number of places (up to cap) where the content stream passes directly from a run of one
// block to a run of the other. Each block's children (or the block itself) in their current
// order.
int CountStreamSteps(const CTextBlock* a, const CTextBlock* b, int cap);
// Whether q is a small piece that the stream places inside multi-line block a, standing just
// off a's lines.
bool IsEnclosedFragment(const CTextBlock* a, const CTextBlock* q);
// StreamOrderOf (which fragment joins use) is declared in layout/rebuild.h.
