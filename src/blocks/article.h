// CArticle: one story of the page (main title, optional upper title and subtitle, body and
// pictures), seen by clients as IArticle. The article owns its blocks and pictures.
#pragma once

#include <cstdint>
#include <string>

#include "blocks/blocklist.h"
#include "velluma/velluma.h"

class CPageInfo;
class CPicBlock;
class CTextBlock;

// Selection flags of CollectBlocks and GetBoundingRect.
constexpr int ART_TITLES = 0x1;                            // main title, subtitle, upper title
constexpr int ART_BODY = 0x2;                              // body
constexpr int ART_CAPTIONS = 0x4;                          // captions of the pictures
constexpr int ART_PICTURES = 0x8;                          // pictures (GetBoundingRect only)
constexpr int ART_DETACH = static_cast<int>(0x80000000u);  // collected blocks are detached

class CArticle : public IArticle {
 public:
  // The page information object must outlive the article.
  explicit CArticle(CPageInfo* pPageInfo);
  CArticle(const CArticle&) = delete;
  CArticle& operator=(const CArticle&) = delete;
  // Deletes the main title, subtitle, upper title and body with their trees, then the pictures.
  ~CArticle() override;

  // ILabelPropBase / IBlock
  HRESULT GetLabelProp(long* plProp) override;
  HRESULT SetLabelProp(long lKey, long lValue) override;
  int GetPageIndex() override;
  // nType, taken as unsigned: 0 all titles and the body, 1 main title, 2 upper title,
  // 3 subtitle, 4 body; above 4 E_FAIL with *ppList untouched.
  HRESULT GetTextList(IBlockList** ppList, int nType) override;
  HRESULT GetPicList(IBlockList** ppList) override;
  HRESULT GetHtml(BSTR* pbstrHtml) override;
  // IArticle
  int GetArticleId() override;

  // Appends the blocks selected by nFlags (ART_*) to list and returns true: titles as main
  // title, subtitle, upper title; the body; the captions in picture order (a caption above
  // level 0 without children is skipped). With ART_DETACH the appended blocks are also taken
  // out of the article, so the list's owner owns them.
  bool CollectBlocks(CTextBlockArray& list, int nFlags);
  // Smallest integer rectangle holding the selected blocks (text rule) and, with ART_PICTURES,
  // the pictures' visible boxes (picture rule). False when nothing contributed. Never detaches.
  bool GetBoundingRect(RECT* pRect, int nFlags);

  // m_nArticleId = page index (low 16 bits) << 16 | nPosition (low 16 bits).
  void SetArticleId(int nPosition);
  // The article's HTML from its body (a group body by the HTML of its blocks in reading
  // order); the captions' HTML wrapped into documents. S_OK.
  HRESULT BuildArticleHtml();

  // Layout operations of article assembly (defined with the stage in src/layout/articles.cpp).
  // B below is the page's body font size.

  // Makes the main title out of a title group: the single member, or the largest one, the
  // members before it (in reading order for the group's direction) becoming the upper title and
  // those after it the subtitle (exchanged for direction 4). Members of a side whose size is
  // far from the side's largest go back to pPool. Members that no title field can take (a
  // group without a usable direction) go back to pPool as well, or stay in the article as its
  // subtitle when there is no pool.
  void ChooseMainTitle(CTextBlockArray& group, CTextBlockArray* pPool);
  // Combines one side of the main title into a single block (null for an empty side); a member
  // whose font size differs from the side's largest by more than 2 goes back to pPool first.
  static CTextBlock* SplitTitles(CTextBlockArray& side, CTextBlockArray* pPool);
  // Walking side from its last member to its first, members whose font size differs from
  // dSize by more than 2 leave side for pPool (in their order, at its front). Without a pool
  // nothing moves.
  static void MoveFarTitles(CTextBlockArray& side, double dSize, CTextBlockArray* pPool);
  // Whether a box belongs to the article by its titles; *pValue receives the overlap measure
  // used to choose among articles.
  bool OverlapsTitles(double dLeft, double dTop, double dRight, double dBottom,
                      double* pValue) const;
  bool OverlapsBlock(const CTextBlock* pBlock, double* pValue) const;
  // Whether a picture belongs to the article: by its titles, by a body block, or by lying
  // within the article's titles and body.
  bool AcceptsPicture(const CPicBlock* pPic, double* pValue);
  // Whether the integer box and the article's whole rectangle share more than half of either.
  bool OverlapsArea(const RECT& box);
  // Adds a text block to the body container (created on first use with the block's
  // attributes).
  void AddBodyBlock(CTextBlock* pBlock);
  // Turns the body container into a combined, rebuilt block of its children.
  void RebuildBody();
  // Decides whether a vertical main title reads in columns left to right (3), right to left
  // (4) or stays vertical (5).
  void SettleTitleKind();
  // Moves a title-like first body piece into the subtitle, and splits a main title of two
  // sizes into upper title or subtitle and main title.
  void SettleTitles();

  CTextBlock* m_pMainTitle;   // owned
  CTextBlock* m_pUpperTitle;  // owned
  CTextBlock* m_pSubTitle;    // owned
  CTextBlock* m_pBody;        // owned; a group of the body's blocks
  CPicBlockArray m_pics;      // pictures owned
  int32_t m_nArticleId;
  CPageInfo* m_pPageInfo;  // borrowed
  std::u16string m_strHtml;
};
