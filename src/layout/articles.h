// Analysis level 5: article assembly. The band at the top of the page (masthead, header line)
// becomes articles of its own; then every title group starts an article, text blocks and
// pictures join the article whose titles or body they belong to, and whatever is left becomes
// articles of its own. Afterwards the page's text and picture lists are empty: every text
// block and picture is held by exactly one article.
//
// Ownership: articles own their titles, body and pictures; the page's article list owns the
// articles (CPDFInstance).
#pragma once

#include "blocks/blocklist.h"

class CPDFInstance;
class CPageInfo;

// The level-5 stage over the engine's text blocks and pictures into its article list: header
// articles come last; every article is numbered and given its HTML. Returns 0.
int BuildArticlesImpl(CPDFInstance& engine);

// Articles of the band at the top of the page, appended to out. The band's text blocks and
// pictures leave the page's lists.
void BuildHeaderArticles(CPDFInstance& engine, CArticleArray& out);

// Assembles texts (and pictures, when given) into articles appended to articles. texts and
// pictures are left empty; every block and picture ends in exactly one article.
void AssembleArticles(CArticleArray& articles, CTextBlockArray& texts, CPicBlockArray* pictures,
                      CPageInfo* pPageInfo);

// Takes the engine's articles apart: the runs of their titles, bodies and captions are appended
// to runs (the emptied containers are deleted), their pictures return to the page's picture
// list, and the articles are deleted.
void DissolveArticles(CPDFInstance& engine, CTextBlockArray& runs);

// Appends the titles, bodies and captions of the engine's articles to list; nothing moves.
void GatherArticleBlocks(CPDFInstance& engine, CTextBlockArray& list);
