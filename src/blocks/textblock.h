// CTextBlock: the text record of every analysis level (a kit run, a block made of runs, a group
// of blocks), seen by clients as ITextBlock. Groups keep their constituents as borrowed pointers
// in m_children; a block is deleted together with everything below it by DeleteTextBlockTree or
// CTextBlockArray::DeleteBlockTree, called by the block's owner.
#pragma once

#include <pdfkit/pdfkit.h>

#include <cstdint>
#include <string>

#include "blocks/blocklist.h"
#include "blocks/geometry.h"
#include "blocks/regn.h"
#include "velluma/velluma.h"

class CPageInfo;

// Type codes: bits 0-7 of m_nFlags.
constexpr uint32_t TBT_NONE = 0x00;         // undetermined or single character
constexpr uint32_t TBT_TITLE = 0x11;        // title
constexpr uint32_t TBT_BODY = 0x20;         // body text
constexpr uint32_t TBT_SPACED = 0x22;       // spaced text (wide inner gaps)
constexpr uint32_t TBT_PARAGRAPHED = 0x23;  // paragraphed text
constexpr uint32_t TBT_PAGE_HEADER = 0xFE;  // page header line
constexpr uint32_t TBT_PICTURE = 0xFF;      // picture placeholder

// Fields of m_nFlags.
constexpr uint32_t TBF_TYPE_MASK = 0x000000FF;
constexpr uint32_t TBF_LEVEL_MASK = 0x00000F00;      // 0 run, 1 block of runs, 2+ groups
constexpr uint32_t TBF_DIRECTION_MASK = 0x0000F000;  // direction code
constexpr uint32_t TBF_HEAD_ALIGNED = 0x00100000;
constexpr uint32_t TBF_TAIL_ALIGNED = 0x00200000;
constexpr uint32_t TBF_RUN_FLAG = 0x00400000;      // copied from the kit's run
constexpr uint32_t TBF_UNRECOGNISED = 0x00800000;  // holds characters without a usable code

// Mask bits by which callers select blocks by type (see AnswersToMask).
constexpr uint32_t TBM_TEXT = 0x0000000F;
constexpr uint32_t TBM_PICTURE = 0x000000F0;
constexpr uint32_t TBM_DETACH = 0x80000000;  // collected blocks are also detached

class CTextBlock : public ITextBlock {
 public:
  // The page information object must outlive the block.
  explicit CTextBlock(CPageInfo* pPageInfo);
  CTextBlock(const CTextBlock&) = delete;
  CTextBlock& operator=(const CTextBlock&) = delete;
  // Frees the character records and their strings, the region and the children list's storage;
  // never the children.
  ~CTextBlock() override;

  // ILabelPropBase / IBlock
  HRESULT GetLabelProp(long* plProp) override;
  HRESULT SetLabelProp(long lKey, long lValue) override;
  int GetPageIndex() override;
  HRESULT GetTextList(IBlockList** ppList, int nType) override;
  HRESULT GetPicList(IBlockList** ppList) override;
  HRESULT GetHtml(BSTR* pbstrHtml) override;
  // ITextBlock
  int GetDirection() override;
  HRESULT GetFontName(BSTR* pbstrName) override;
  double GetFontSize() override;
  int GetTextLength() override;
  int GetReserved() override;
  HRESULT GetText(BSTR* pbstrText) override;
  HRESULT GetRegionCount(int* pnCount) override;
  HRESULT GetRegion(int nIndex, IRegn** ppRegn) override;

  // Every numeric field 0 except m_nRunAttr1 (1); head and tail the block itself; text, HTML
  // and children empty; no character records.
  void Reset();

  // Packed classification.
  uint32_t GetType() const { return m_nFlags & TBF_TYPE_MASK; }
  void SetType(uint32_t nType) { m_nFlags = (m_nFlags & ~TBF_TYPE_MASK) | (nType & 0xFF); }
  int GetLevel() const { return static_cast<int>((m_nFlags & TBF_LEVEL_MASK) >> 8); }
  void SetLevel(int nLevel) {
    m_nFlags = (m_nFlags & ~TBF_LEVEL_MASK) | ((static_cast<uint32_t>(nLevel) & 0xF) << 8);
  }
  void SetDirection(int nDirection) {
    m_nFlags = (m_nFlags & ~TBF_DIRECTION_MASK) | ((static_cast<uint32_t>(nDirection) & 0xF) << 12);
  }
  // Type groups: 0x00, 0x11-0x13 and 0x20-0x24 are text and answer to the low four bits of
  // the mask; 0xFE and 0xFF are picture-like and answer to bits 4-7; other types to neither.
  static bool TypeAnswersToMask(uint32_t nType, uint32_t nMask);
  bool AnswersToMask(uint32_t nMask) const { return TypeAnswersToMask(GetType(), nMask); }

  // Integer box (text rule: right and bottom raised by 0.999 before truncation).
  RECT GetIntRect() const;
  // Box union with another block; sequence numbers and line count widen with it. S_OK.
  HRESULT UnionWith(const CTextBlock* pOther);
  // Whether the integer box meets rc (bFull: lies wholly inside it).
  bool IsInRect(const RECT& rc, bool bFull) const;

  // Takes the kit's character records of a run. Records with code 0x2003 are skipped; the
  // others are copied with their ordinates converted to page coordinates and their strings
  // duplicated, and one UTF-16 unit per record is appended to the text ("?" and flag
  // TBF_UNRECOGNISED for a character without a code). Returns 0 when no record was taken
  // (the block is unchanged), else 1.
  int SetChars(const PTK_CharRecord* pSrc, int nCount);
  // Copies box, text, type and level bits, line count, sequence numbers, head and tail, order
  // key, font and font-key index, run attributes and flags, font size, run value, glyph ratios,
  // baseline and a deep copy of the character records. Direction and the other flag bits,
  // encoding index, run metrics, angles, region and children stay.
  void CopyAttributes(const CTextBlock* pOther);

  // m_strHtml = <p><font face = "name"  size = "%.2f"> <![CDATA[text]]></font></p>. Throws
  // std::out_of_range when the font index lies outside the page's font-name table. S_OK.
  HRESULT BuildBlockHtml();

  // Entry m_nFontIndex of the page's font-name table (std::out_of_range outside it).
  const std::u16string& FontName() const;

  // Extension point: the block operations of layout analysis (formation, rebuild, direction,
  // orderings) live in src/layout and work on the fields below.

  int32_t m_nFirstSeq;
  int32_t m_nLastSeq;
  double m_dLeft;
  double m_dTop;
  double m_dRight;
  double m_dBottom;
  CRegn* m_pRegion;  // owned
  std::u16string m_strText;
  int32_t m_nLineCount;
  std::u16string m_strHtml;
  CTextBlock* m_pHead;  // borrowed
  CTextBlock* m_pTail;  // borrowed
  int32_t m_nOrderKey;
  CTextBlockArray m_children;  // borrowed, reading order
  double m_dRunValue;
  double m_dFontSize;
  double m_dGlyphHeightRatio;
  double m_dGlyphWidthRatio;
  int32_t m_nFontIndex;
  int32_t m_nFontKeyIndex;
  double m_dBaselineX;
  double m_dBaselineY;
  int32_t m_nEncodingIndex;
  int32_t m_nRunAttr1;
  int32_t m_nRunAttr2;
  int32_t m_nRunAttr3;
  double m_dRunMetric1;
  double m_dRunMetric2;
  double m_dAngle1;
  double m_dAngle2;
  uint8_t m_bRunFlag1;
  uint8_t m_bRunFlag2;
  uint8_t m_bRunFlag3;
  PTK_CharRecord* m_pChars;  // owned, with the strings the records point to
  int32_t m_nCharCount;
  CPageInfo* m_pPageInfo;  // borrowed
  uint32_t m_nFlags;

 private:
  void FreeChars();
};

// Deletes a block with everything below it: the trees of its children, then the block. A null
// pointer is ignored.
void DeleteTextBlockTree(CTextBlock* pBlock);

// A new BSTR copy of text into *pbstr: S_OK, E_POINTER for a null pointer, E_OUTOFMEMORY.
HRESULT CopyToBstr(const std::u16string& text, BSTR* pbstr);
