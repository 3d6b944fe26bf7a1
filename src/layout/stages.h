// Entry points of the analysis stages that page loading (CPDFInstance::LoadPage) runs after
// intake: glyph recognition and post-edit, the analysis reset and gathering, and the stages
// of analysis levels 1 to 5. The results are informative only; LoadPage ignores them.
#pragma once

#include "blocks/blocklist.h"
#include "velluma/wintypes.h"

class CPDFInstance;

// Level 1: turns the page's runs into text blocks, in place. 0 for an empty list, else 1.
int FormTextBlocks(CTextBlockArray& list);

// Level 2: joins the pieces of running columns into groups, in place. 0 for an empty list,
// else 1.
int RegroupColumns(CTextBlockArray& list);

// Level 3: takes the text blocks of the page margins (and of pExtra, when given) out of the
// page's list, hands them to the page-information recognition with bBuiltIn and bFull and
// puts back what it did not keep. Returns 0.
int ExtractPageInfo(CPDFInstance& engine, CTextBlockArray* pExtra, BOOL bBuiltIn, BOOL bFull);

// Level 4: gives the page's pictures their captions. 1 when there is nothing to do (no text
// blocks or no pictures), else 0.
int AttachCaptions(CPDFInstance& engine);

// Level 5: assembles the page's articles from its text blocks and pictures into the engine's
// article list. Returns 0.
int BuildArticles(CPDFInstance& engine);

// Takes every piece of text back out of what the stages built (articles, captions, groups,
// recognised page-information blocks), leaves the page's text list as flat runs and clears
// the level field of the page state word.
void ResetAnalysis(CPDFInstance& engine);

// Appends every text block of the page to list without taking anything away; ownership does
// not change.
void GatherTextBlocks(CPDFInstance& engine, CTextBlockArray& list);

// Glyph recognition over pList (the engine's text blocks when null), restricted to pClip when
// given: renders the glyphs of the runs flagged as unrecognised onto a sheet, has the
// recognition library read it and writes the characters back. Returns 0.
int RecogniseGlyphs(CPDFInstance& engine, const RECT* pClip = nullptr,
                    CTextBlockArray* pList = nullptr);

// The post-edit step over the runs of list: a user reviews the recognised characters. 1 when
// there was nothing to review, else 0.
int PostEdit(CPDFInstance& engine, CTextBlockArray& list);
