#include "blocks/textblock.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "pageinfo/pageinfo.h"
#include "vwin32/format.h"
#include "vwin32/strings.h"

namespace {

constexpr int32_t kEmSpace = 0x2003;  // dropped from runs

// A new copy of a zero-terminated string, or null for null.
const char16_t* DupString(const char16_t* psz) {
  if (psz == nullptr) return nullptr;
  const size_t n = vwin32::StrLen(psz);
  auto* copy = new char16_t[n + 1];
  std::memcpy(copy, psz, (n + 1) * sizeof(char16_t));
  return copy;
}

void FreeRecords(PTK_CharRecord* pChars, int32_t nCount) {
  if (pChars == nullptr) return;
  for (int32_t i = 0; i < nCount; ++i) delete[] pChars[i].pszText;
  delete[] pChars;
}

// Copies of n records with their strings duplicated; on failure nothing is leaked.
PTK_CharRecord* CopyRecords(const PTK_CharRecord* pSrc, int32_t n) {
  auto* pCopy = new PTK_CharRecord[n];
  int32_t i = 0;
  try {
    for (; i < n; ++i) {
      pCopy[i] = pSrc[i];
      pCopy[i].pszText = DupString(pSrc[i].pszText);
    }
  } catch (...) {
    FreeRecords(pCopy, i);
    throw;
  }
  return pCopy;
}

}  // namespace

HRESULT CopyToBstr(const std::u16string& text, BSTR* pbstr) {
  if (pbstr == nullptr) return E_POINTER;
  BSTR bstr = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (bstr == nullptr) return E_OUTOFMEMORY;
  *pbstr = bstr;
  return S_OK;
}

void DeleteTextBlockTree(CTextBlock* pBlock) {
  if (pBlock == nullptr) return;
  pBlock->m_children.DeleteBlockTree();
  delete pBlock;
}

CTextBlock::CTextBlock(CPageInfo* pPageInfo)
    : m_pRegion(nullptr), m_pChars(nullptr), m_nCharCount(0), m_pPageInfo(pPageInfo) {
  m_pRegion = new CRegn();
  Reset();
}

CTextBlock::~CTextBlock() {
  FreeChars();
  delete m_pRegion;
}

void CTextBlock::FreeChars() {
  FreeRecords(m_pChars, m_nCharCount);
  m_pChars = nullptr;
  m_nCharCount = 0;
}

void CTextBlock::Reset() {
  m_nFirstSeq = 0;
  m_nLastSeq = 0;
  m_dLeft = m_dTop = m_dRight = m_dBottom = 0.0;
  m_strText.clear();
  m_nLineCount = 0;
  m_strHtml.clear();
  m_pHead = this;
  m_pTail = this;
  m_nOrderKey = 0;
  m_children.RemoveAll();
  m_dRunValue = 0.0;
  m_dFontSize = 0.0;
  m_dGlyphHeightRatio = 0.0;
  m_dGlyphWidthRatio = 0.0;
  m_nFontIndex = 0;
  m_nFontKeyIndex = 0;
  m_dBaselineX = m_dBaselineY = 0.0;
  m_nEncodingIndex = 0;
  m_nRunAttr1 = 1;
  m_nRunAttr2 = 0;
  m_nRunAttr3 = 0;
  m_dRunMetric1 = m_dRunMetric2 = 0.0;
  m_dAngle1 = m_dAngle2 = 0.0;
  m_bRunFlag1 = m_bRunFlag2 = m_bRunFlag3 = 0;
  FreeChars();
  m_nFlags = 0;
}

// ---------------------------------------------------------------------------------------------
// Client interface

HRESULT CTextBlock::GetLabelProp(long*) {
  return E_FAIL;
}

HRESULT CTextBlock::SetLabelProp(long, long) {
  return E_FAIL;
}

int CTextBlock::GetPageIndex() {
  return m_pPageInfo->m_nPageIndex;
}

HRESULT CTextBlock::GetTextList(IBlockList** ppList, int) {
  if (GetLevel() <= 1) return E_FAIL;
  auto* pList = new CTextBlockArray();
  try {
    pList->Copy(m_children);
  } catch (...) {
    delete pList;
    throw;
  }
  return pList->HandOut(ppList);
}

HRESULT CTextBlock::GetPicList(IBlockList**) {
  return E_FAIL;
}

HRESULT CTextBlock::GetHtml(BSTR* pbstrHtml) {
  if (m_strHtml.empty()) return E_FAIL;
  return CopyToBstr(m_strHtml, pbstrHtml);
}

int CTextBlock::GetDirection() {
  return static_cast<int>((m_nFlags & TBF_DIRECTION_MASK) >> 12);
}

HRESULT CTextBlock::GetFontName(BSTR* pbstrName) {
  // A client call must not raise: an index outside the table answers E_FAIL.
  const auto& names = m_pPageInfo->m_fontNames;
  if (m_nFontIndex < 0 || static_cast<size_t>(m_nFontIndex) >= names.size()) return E_FAIL;
  return CopyToBstr(names[static_cast<size_t>(m_nFontIndex)], pbstrName);
}

double CTextBlock::GetFontSize() {
  return m_dFontSize;
}

int CTextBlock::GetTextLength() {
  return static_cast<int>(m_strText.size());
}

int CTextBlock::GetReserved() {
  return 0;
}

HRESULT CTextBlock::GetText(BSTR* pbstrText) {
  return CopyToBstr(m_strText, pbstrText);
}

HRESULT CTextBlock::GetRegionCount(int* pnCount) {
  if (pnCount == nullptr) return E_POINTER;
  *pnCount = 1;
  return S_OK;
}

HRESULT CTextBlock::GetRegion(int nIndex, IRegn** ppRegn) {
  if (nIndex != 0) return E_FAIL;
  if (ppRegn == nullptr) return E_POINTER;
  m_pRegion->SetBoxOutline(m_dLeft, m_dTop, m_dRight, m_dBottom, m_pPageInfo->m_nPageIndex);
  *ppRegn = m_pRegion;
  return S_OK;
}

// ---------------------------------------------------------------------------------------------
// Operations of the component

bool CTextBlock::TypeAnswersToMask(uint32_t nType, uint32_t nMask) {
  if (nType == 0x00 || (nType >= 0x11 && nType <= 0x13) || (nType >= 0x20 && nType <= 0x24)) {
    return (nMask & TBM_TEXT) != 0;
  }
  if (nType == TBT_PAGE_HEADER || nType == TBT_PICTURE) return (nMask & TBM_PICTURE) != 0;
  return false;
}

RECT CTextBlock::GetIntRect() const {
  return MakeIntRect(m_dLeft, m_dTop, m_dRight, m_dBottom, kTextRectRaise);
}

HRESULT CTextBlock::UnionWith(const CTextBlock* pOther) {
  m_dLeft = std::min(m_dLeft, pOther->m_dLeft);
  m_dTop = std::min(m_dTop, pOther->m_dTop);
  m_dRight = std::max(m_dRight, pOther->m_dRight);
  m_dBottom = std::max(m_dBottom, pOther->m_dBottom);
  m_nFirstSeq = std::min(m_nFirstSeq, pOther->m_nFirstSeq);
  m_nLastSeq = std::max(m_nLastSeq, pOther->m_nLastSeq);
  m_nLineCount = std::max(m_nLineCount, pOther->m_nLineCount);
  return S_OK;
}

bool CTextBlock::IsInRect(const RECT& rc, bool bFull) const {
  const RECT own = GetIntRect();
  RECT meet;
  if (!IntersectRect(&meet, &own, &rc)) return false;
  return bFull ? EqualRect(&meet, &own) != 0 : true;
}

int CTextBlock::SetChars(const PTK_CharRecord* pSrc, int nCount) {
  if (pSrc == nullptr || nCount <= 0) return 0;
  int32_t n = 0;
  for (int i = 0; i < nCount; ++i) {
    if (pSrc[i].nCode != kEmSpace) ++n;
  }
  if (n == 0) return 0;

  const double dPageHeight = m_pPageInfo->m_dPageHeight;
  auto* pChars = new PTK_CharRecord[n];
  std::u16string text;
  bool bUnrecognised = false;
  int32_t k = 0;
  try {
    text.reserve(static_cast<size_t>(n));
    for (int i = 0; i < nCount; ++i) {
      const PTK_CharRecord& src = pSrc[i];
      if (src.nCode == kEmSpace) continue;
      PTK_CharRecord& dst = pChars[k];
      dst = src;
      dst.pszText = nullptr;
      dst.dOriginY = dPageHeight - src.dOriginY;
      dst.dY0 = dPageHeight - src.dY0;
      dst.dY1 = dPageHeight - src.dY1;
      dst.pszText = DupString(src.pszText);
      ++k;
      if (src.nCode != 0 && src.nCode != src.nNoCode) {
        text.push_back(static_cast<char16_t>(src.nCode));
      } else {
        text.push_back(u'?');
        bUnrecognised = true;
      }
    }
  } catch (...) {
    FreeRecords(pChars, k);
    throw;
  }
  // Records taken earlier are replaced, not leaked.
  FreeChars();
  m_pChars = pChars;
  m_nCharCount = n;
  m_strText += text;
  if (bUnrecognised) m_nFlags |= TBF_UNRECOGNISED;
  return 1;
}

void CTextBlock::CopyAttributes(const CTextBlock* pOther) {
  if (pOther == this) return;
  // The character records first: if copying them fails, nothing has changed.
  PTK_CharRecord* pChars = nullptr;
  if (pOther->m_nCharCount > 0 && pOther->m_pChars != nullptr) {
    pChars = CopyRecords(pOther->m_pChars, pOther->m_nCharCount);
  }
  std::u16string text = pOther->m_strText;

  FreeChars();
  m_pChars = pChars;
  m_nCharCount = pChars != nullptr ? pOther->m_nCharCount : 0;
  m_strText = std::move(text);

  m_dLeft = pOther->m_dLeft;
  m_dTop = pOther->m_dTop;
  m_dRight = pOther->m_dRight;
  m_dBottom = pOther->m_dBottom;
  constexpr uint32_t kTypeAndLevel = TBF_TYPE_MASK | TBF_LEVEL_MASK;
  m_nFlags = (m_nFlags & ~kTypeAndLevel) | (pOther->m_nFlags & kTypeAndLevel);
  m_nLineCount = pOther->m_nLineCount;
  m_nFirstSeq = pOther->m_nFirstSeq;
  m_nLastSeq = pOther->m_nLastSeq;
  m_pHead = pOther->m_pHead;
  m_pTail = pOther->m_pTail;
  m_nOrderKey = pOther->m_nOrderKey;
  m_nFontIndex = pOther->m_nFontIndex;
  m_nFontKeyIndex = pOther->m_nFontKeyIndex;
  m_nRunAttr1 = pOther->m_nRunAttr1;
  m_nRunAttr2 = pOther->m_nRunAttr2;
  m_nRunAttr3 = pOther->m_nRunAttr3;
  m_bRunFlag1 = pOther->m_bRunFlag1;
  m_bRunFlag2 = pOther->m_bRunFlag2;
  m_bRunFlag3 = pOther->m_bRunFlag3;
  m_dFontSize = pOther->m_dFontSize;
  m_dRunValue = pOther->m_dRunValue;
  m_dGlyphHeightRatio = pOther->m_dGlyphHeightRatio;
  m_dGlyphWidthRatio = pOther->m_dGlyphWidthRatio;
  m_dBaselineX = pOther->m_dBaselineX;
  m_dBaselineY = pOther->m_dBaselineY;
}

const std::u16string& CTextBlock::FontName() const {
  return m_pPageInfo->m_fontNames.at(static_cast<size_t>(m_nFontIndex));
}

HRESULT CTextBlock::BuildBlockHtml() {
  const std::u16string fontTag =
      vwin32::Format(u"<font face = \"%s\"  size = \"%.2f\">", FontName().c_str(), m_dFontSize);
  const std::u16string inner =
      vwin32::Format(u"%s <![CDATA[%s]]></font>", fontTag.c_str(), m_strText.c_str());
  m_strHtml = vwin32::Format(u"<p>%s</p>", inner.c_str());
  return S_OK;
}
