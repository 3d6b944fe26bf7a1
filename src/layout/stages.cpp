// The analysis stages as they stand: each entry point gives the result of a stage that found
// nothing to do, so that page loading runs end to end while the stages are built.
#include "layout/stages.h"

#include "engine/pdfinstance.h"
#include "layout/columns.h"
#include "layout/formation.h"

// Clusters runs into text blocks, classifies them and builds their HTML.
int FormTextBlocks(CTextBlockArray& list) {
  return FormTextBlocksImpl(list);
}

// Joins column pieces into running groups of level 2.
int RegroupColumns(CTextBlockArray& list) {
  return RegroupColumnsImpl(list);
}

// Will hand the margin blocks to CPageInfo::RecognisePageInfo and put back what it leaves.
int ExtractPageInfo(CPDFInstance&, CTextBlockArray*, BOOL, BOOL) {
  return 0;
}

// Will collect caption candidates around each picture and choose its caption.
int AttachCaptions(CPDFInstance&) {
  return 1;
}

// Will build the header articles, then assemble titles, bodies and pictures into articles.
int BuildArticles(CPDFInstance&) {
  return 0;
}

// Will dissolve articles, captions, groups and recognised blocks back into runs.
void ResetAnalysis(CPDFInstance& engine) {
  engine.SetLevel(0);
}

// Will also gather article blocks, captions and recognised blocks.
void GatherTextBlocks(CPDFInstance& engine, CTextBlockArray& list) {
  list.Append(engine.m_textBlocks);
}

// Will render the flagged runs' glyphs onto a sheet and apply the library's results.
int RecogniseGlyphs(CPDFInstance&, const RECT*, CTextBlockArray*) {
  return 0;
}

// Will let a user review the recognised characters in a dialog and write them back.
int PostEdit(CPDFInstance&, CTextBlockArray&) {
  return 1;
}
