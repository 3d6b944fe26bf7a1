// Entry points of the analysis stages that page loading runs, and the analysis reset and
// gathering over what the stages built.
#include "layout/stages.h"

#include <algorithm>
#include <cmath>
#include <unordered_set>

#include "blocks/textblock.h"
#include "engine/pdfinstance.h"
#include "layout/articles.h"
#include "layout/captions.h"
#include "layout/columns.h"
#include "layout/formation.h"
#include "layout/listops.h"
#include "layout/orderings.h"
#include "pageinfo/pageinfo.h"

// Clusters runs into text blocks, classifies them and builds their HTML.
int FormTextBlocks(CTextBlockArray& list) {
  return FormTextBlocksImpl(list);
}

// Joins column pieces into running groups of level 2.
int RegroupColumns(CTextBlockArray& list) {
  return RegroupColumnsImpl(list);
}

// The page's margins hold its page number, date and name: the blocks of the top corners, the
// left margin and (without extra candidates) the top fifth go to the recognition, and what it
// does not keep returns to the end of the page's list in stream order.
int ExtractPageInfo(CPDFInstance& engine, CTextBlockArray* pExtra, BOOL bBuiltIn, BOOL bFull) {
  CPageInfo* info = engine.GetPageInfo();
  if (info == nullptr) return 0;
  const LONG h = ClampToLong(info->m_dPageHeight);
  const LONG c = ClampToLong(info->m_dPageHeight / 5);
  const LONG w = ClampToLong(info->m_dPageWidth);
  const LONG wl = ClampToLong(info->m_dPageWidth - 200);
  const RECT areas[] = {
      {0, 0, 200, 2 * c},  // top-left corner
      {0, 0, 120, h},      // left margin
      {wl, 0, w, 2 * c},   // top-right corner
      {0, 0, w, c},        // top fifth, only without extra candidates
  };
  CTextBlockArray& page = engine.GetTextBlocks();
  CTextBlockArray selected;
  const int nAreas = pExtra != nullptr ? 3 : 4;
  for (int i = 0; i < nAreas; ++i) SelectBlocks(page, selected, &areas[i], SBS_DETACH | SBT_ALL, 0);

  CTextBlockArray candidates;
  if (pExtra != nullptr) candidates.Append(*pExtra);
  candidates.Append(selected);
  std::unordered_set<const CTextBlock*> offered(candidates.GetData(),
                                                candidates.GetData() + candidates.GetSize());
  info->RecognisePageInfo(candidates, bBuiltIn, bFull);
  SortBlocks(candidates, 0);
  KeepOnly(selected, candidates);
  page.Append(selected);
  if (pExtra != nullptr) KeepOnly(*pExtra, candidates);
  // Blocks that the recognition hands back without having been offered (a block it held from
  // an earlier run on this page and has now replaced) belong to the page again, not to nobody.
  for (CTextBlock* block : candidates)
    if (offered.count(block) == 0) page.Add(block);
  return 0;
}

// Offers the short text blocks to the pictures they fit best and gives each picture its caption.
int AttachCaptions(CPDFInstance& engine) {
  return AttachCaptionsImpl(engine.GetTextBlocks(), engine.GetPicBlocks());
}

// Header articles, then titles, bodies and pictures assembled into articles.
int BuildArticles(CPDFInstance& engine) {
  return BuildArticlesImpl(engine);
}

// Takes the runs back out of the articles, the captions, groups, blocks and recognised
// page-information blocks and leaves them as the page's flat list.
void ResetAnalysis(CPDFInstance& engine) {
  CTextBlockArray runs;
  // Articles (level 5) give back the runs of their titles, bodies and captions, and their
  // pictures return to the page.
  DissolveArticles(engine, runs);
  CTextBlockArray& page = engine.GetTextBlocks();
  CPicBlockArray& pictures = engine.GetPicBlocks();
  CTextBlockArray captions;
  CollectCaptions(pictures, captions, 0x800000FFu);
  FlattenToRuns(captions, runs, true);
  captions.DeleteBlockTree();
  // A caption passed over holds no runs; the pictures are left without captions.
  for (CPicBlock* s : pictures) s->ClearCaption();
  FlattenToRuns(page, runs, true);
  page.DeleteBlockTree();
  if (CPageInfo* info = engine.GetPageInfo()) {
    // Recognised blocks of text types give their runs back; the synthetic front-page block
    // (type 0xFE) carries no page text and is deleted.
    CTextBlockArray recognised;
    info->CollectRecognisedBlocks(recognised, 0x8000000Fu);
    FlattenToRuns(recognised, runs, true);
    recognised.DeleteBlockTree();
    info->CollectRecognisedBlocks(recognised, 0x800000FFu);
    recognised.DeleteBlockTree();
    // The page-count text was recognised with those blocks; a lower level reports none.
    info->m_strPageCount.clear();
  }
  page.Append(runs);
  engine.SetLevel(0);
}

// The articles' blocks, the pictures' captions, the recognised page-information blocks, then the
// page's list.
void GatherTextBlocks(CPDFInstance& engine, CTextBlockArray& list) {
  GatherArticleBlocks(engine, list);
  CollectCaptions(engine.GetPicBlocks(), list, 255);
  if (CPageInfo* info = engine.GetPageInfo()) info->CollectRecognisedBlocks(list, 15);
  list.Append(engine.m_textBlocks);
}
