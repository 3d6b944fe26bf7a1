// CPicBlock: one image placed on the page, seen by clients as IPicBlock; CGraphBlock: one
// polyline of the page's vector paths (no client interface).
#pragma once

#include <cximage/ximage.h>

#include <cstdint>

#include "blocks/blocklist.h"
#include "blocks/dynarray.h"
#include "blocks/geometry.h"
#include "blocks/regn.h"
#include "velluma/velluma.h"

class CPageInfo;
class CTextBlock;

class CPicBlock : public IPicBlock {
 public:
  // The page information object must outlive the block.
  explicit CPicBlock(CPageInfo* pPageInfo);
  CPicBlock(const CPicBlock&) = delete;
  CPicBlock& operator=(const CPicBlock&) = delete;
  // Deletes the image, the caption with its tree, then the region.
  ~CPicBlock() override;

  // ILabelPropBase / IBlock
  HRESULT GetLabelProp(long* plProp) override;
  HRESULT SetLabelProp(long lKey, long lValue) override;
  int GetPageIndex() override;
  HRESULT GetTextList(IBlockList** ppList, int nType) override;
  HRESULT GetPicList(IBlockList** ppList) override;
  HRESULT GetHtml(BSTR* pbstrHtml) override;
  // IPicBlock
  HRESULT GetRect(RECT* pRect) override;
  int SaveImage(const OLECHAR* szPath) override;
  HRESULT GetReservedProp(long* plProp) override;
  DWORD GetWidth() override;
  DWORD GetHeight() override;
  DWORD GetBpp() override;
  void* GetDIB() override;
  HRESULT GetRegionCount(int* pnCount) override;
  HRESULT GetRegion(int nIndex, IRegn** ppRegn) override;

  // Integer box of the visible box (picture rule: right and bottom raised by 0.99).
  RECT GetIntRect() const;

  // A new text block standing for the picture in text analysis: the visible box, type 0xFF,
  // first sequence number ~m_nSeq, text "FakePic: <m_nSeq>". The caller owns it.
  CTextBlock* MakePlaceholder() const;

  // Builds m_pImage from the kit's image (DIB header with its colour table, pixel rows padded
  // to 4 bytes) and, when both mask pointers are given, its soft mask: the mask, resampled to
  // the image's size if needed, becomes the alpha channel and the image is blended against
  // white. m_pImage is replaced in every case; returns whether the image itself was created.
  bool CreatePicImage(const BITMAPINFOHEADER* pHeader, const BYTE* pBits,
                      const BITMAPINFOHEADER* pMaskHeader, const BYTE* pMaskBits);

  // Caption operations of the level-4 stage (src/layout/captions.cpp).
  // Takes the caption off the picture. Without pGiveBack it is deleted with its tree. With it,
  // the blocks that were offered as candidates are appended there instead: a caption combined
  // from several candidates gives back those candidates and its own node is deleted, so that
  // the stage can run again without losing or nesting text.
  void ClearCaption(CTextBlockArray* pGiveBack = nullptr);
  // Adds p to the caption candidates; the container is made on first use.
  void AddCaptionBlock(CTextBlock* p);
  // Keeps the candidates of one side as the caption (one block, or a block combined from
  // several) and appends the others to R; the container is destroyed. Nothing unless the
  // caption is a container of candidates.
  void ChooseCaption(CTextBlockArray& R);

  int32_t m_nSeq;
  CRegn* m_pRegion;  // owned
  double m_dLeft;    // visible box
  double m_dTop;
  double m_dRight;
  double m_dBottom;
  CxImage* m_pImage;  // owned; null until built
  double m_dImgLeft;  // placement box of the whole image
  double m_dImgTop;
  double m_dImgRight;
  double m_dImgBottom;
  CPageInfo* m_pPageInfo;  // borrowed
  CTextBlock* m_pCaption;  // owned; a group whose children are the caption's blocks
  double m_dScaleX;        // only the signs are used
  double m_dScaleY;
  double m_dRotation;  // degrees

  // What m_pCaption is: a block as it was offered, a container of candidates while the stage
  // collects them, or a block that the stage combined from several candidates.
  enum CaptionKind : uint8_t { kCaptionBlock, kCaptionContainer, kCaptionCombined };
  CaptionKind m_nCaptionKind;
};

class CGraphBlock {
 public:
  CGraphBlock() = default;
  virtual ~CGraphBlock();

  int32_t m_nKind = 0;  // 3: polyline taken from a path
  CFloatPointArray m_points;
};

// The page's graph blocks, owned by the engine.
class CGraphBlockArray : public CDynArray<CGraphBlock*> {
 public:
  // Deletes every graph block, then empties the array and frees its storage.
  void DeleteAll();
};
