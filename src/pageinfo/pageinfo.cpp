#include "pageinfo/pageinfo.h"

#include "blocks/textblock.h"

CPageInfo::CPageInfo()
    : m_dPageWidth(0.0),
      m_dPageHeight(0.0),
      m_dImageWidth(0.0),
      m_dImageHeight(0.0),
      m_nPageIndex(0),
      m_pPageIdBlock(nullptr),
      m_pPageNameBlock(nullptr),
      m_pDateBlock(nullptr),
      m_dBodyFontSize(0.0),
      m_pConfig(nullptr) {
  m_pConfig = new St_CommonConfig();
}

CPageInfo::~CPageInfo() {
  Reset(false);
  delete m_pConfig;
}

// ---------------------------------------------------------------------------------------------
// Client interface

HRESULT CPageInfo::GetLabelProp(long*) {
  return E_FAIL;
}

HRESULT CPageInfo::SetLabelProp(long, long) {
  return E_FAIL;
}

int CPageInfo::GetPageIndex() {
  return m_nPageIndex;
}

HRESULT CPageInfo::GetPageSource(int* pIndex, BSTR* pPath) {
  if (m_nPageIndex <= 0 || m_strPageSource.empty()) return E_FAIL;
  if (pIndex == nullptr) return E_POINTER;
  const HRESULT hr = CopyToBstr(m_strPageSource, pPath);
  if (SUCCEEDED(hr)) *pIndex = m_nPageIndex;
  return hr;
}

HRESULT CPageInfo::GetPageId(BSTR* pbstr) {
  if (m_pPageIdBlock != nullptr) return CopyToBstr(m_pPageIdBlock->m_strText, pbstr);
  if (!m_strPageName.empty()) return CopyToBstr(m_strPageName, pbstr);
  return E_FAIL;
}

HRESULT CPageInfo::GetPageName(BSTR* pbstr) {
  if (m_pPageNameBlock == nullptr) return E_FAIL;
  return CopyToBstr(m_pPageNameBlock->m_strText, pbstr);
}

HRESULT CPageInfo::GetReservedText(BSTR*) {
  return E_FAIL;
}

HRESULT CPageInfo::GetIssueDate(BSTR* pbstr) {
  if (m_pDateBlock == nullptr) return E_FAIL;
  return CopyToBstr(m_pDateBlock->m_strText, pbstr);
}

double CPageInfo::GetPageWidth() {
  return m_dPageWidth;
}

double CPageInfo::GetPageHeight() {
  return m_dPageHeight;
}

double CPageInfo::GetImageWidth() {
  return m_dImageWidth;
}

double CPageInfo::GetImageHeight() {
  return m_dImageHeight;
}

HRESULT CPageInfo::GetPageCount(BSTR* pbstr) {
  if (m_strPageCount.empty()) return E_FAIL;
  return CopyToBstr(m_strPageCount, pbstr);
}

// ---------------------------------------------------------------------------------------------
// Operations of the component

void CPageInfo::Reset(bool bKeepIndex) {
  if (!bKeepIndex) m_nPageIndex = 0;
  CTextBlockArray recognised;
  CollectRecognisedBlocks(recognised, TBM_DETACH | TBM_TEXT | TBM_PICTURE);
  // A block whose type answers to neither group is dropped all the same, not leaked.
  for (CTextBlock** ppField : {&m_pPageIdBlock, &m_pPageNameBlock, &m_pDateBlock}) {
    if (*ppField != nullptr) recognised.Add(*ppField);
    *ppField = nullptr;
  }
  recognised.DeleteBlockTree();
  m_fontNames.clear();
  m_fontKeys.clear();
  m_encodingNames.clear();
  m_strPageSource.clear();
  m_strPageCount.clear();
}

bool CPageInfo::CollectRecognisedBlocks(CTextBlockArray& list, uint32_t nMask) {
  const bool bDetach = (nMask & TBM_DETACH) != 0;
  for (CTextBlock** ppField : {&m_pPageIdBlock, &m_pPageNameBlock, &m_pDateBlock}) {
    CTextBlock* pBlock = *ppField;
    if (pBlock == nullptr || !pBlock->AnswersToMask(nMask)) continue;
    list.Add(pBlock);
    if (bDetach) *ppField = nullptr;
  }
  return !list.IsEmpty();
}
