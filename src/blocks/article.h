// CArticle: one story of the page (main title, optional upper title and subtitle, body and
// pictures), seen by clients as IArticle. The article owns its blocks and pictures.
#pragma once

#include <cstdint>
#include <string>

#include "blocks/blocklist.h"
#include "velluma/velluma.h"

class CPageInfo;
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
  // The article's HTML from its body; the captions' HTML wrapped into documents. S_OK.
  HRESULT BuildArticleHtml();

  // Extension point: the article operations of article assembly (RebuildBody, SettleTitles,
  // MoveFarTitles, SplitTitles, OverlapsTitles, OverlapsBlock, AcceptsPicture, AddBodyBlock,
  // SettleTitleKind, ChooseMainTitle, OverlapsArea) are added here with the layout stage.

  CTextBlock* m_pMainTitle;   // owned
  CTextBlock* m_pUpperTitle;  // owned
  CTextBlock* m_pSubTitle;    // owned
  CTextBlock* m_pBody;        // owned; a group of the body's blocks
  CPicBlockArray m_pics;      // pictures owned
  int32_t m_nArticleId;
  CPageInfo* m_pPageInfo;  // borrowed
  std::u16string m_strHtml;
};
