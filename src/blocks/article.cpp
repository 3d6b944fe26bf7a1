#include "blocks/article.h"

#include "blocks/picblock.h"
#include "blocks/textblock.h"
#include "pageinfo/pageinfo.h"
#include "vwin32/format.h"

namespace {

constexpr const char16_t* kHtmlDocument = u"<html> <body> %s </body> </html>";

template <class TList>
HRESULT HandOutNonEmpty(TList* pList, IBlockList** ppList) {
  if (pList->IsEmpty()) {
    delete pList;
    if (ppList != nullptr) *ppList = nullptr;
    return E_FAIL;
  }
  return pList->HandOut(ppList);
}

// The HTML of a block: its own, or (a group, whose HTML the rebuild leaves empty) that of its
// blocks in reading order, each taken whole where it has HTML of its own.
void AppendBlockHtml(const CTextBlock* pBlock, std::u16string& html, int depth) {
  if (!pBlock->m_strHtml.empty()) {
    html += pBlock->m_strHtml;
    return;
  }
  if (depth > 64) return;
  for (const CTextBlock* pChild : pBlock->m_children)
    if (pChild != nullptr) AppendBlockHtml(pChild, html, depth + 1);
}

}  // namespace

CArticle::CArticle(CPageInfo* pPageInfo)
    : m_pMainTitle(nullptr),
      m_pUpperTitle(nullptr),
      m_pSubTitle(nullptr),
      m_pBody(nullptr),
      m_nArticleId(0),
      m_pPageInfo(pPageInfo) {}

CArticle::~CArticle() {
  DeleteTextBlockTree(m_pMainTitle);
  DeleteTextBlockTree(m_pSubTitle);
  DeleteTextBlockTree(m_pUpperTitle);
  DeleteTextBlockTree(m_pBody);
  m_pics.DeleteAllPics();
}

HRESULT CArticle::GetLabelProp(long*) {
  return E_FAIL;
}

HRESULT CArticle::SetLabelProp(long, long) {
  return E_FAIL;
}

int CArticle::GetPageIndex() {
  return m_pPageInfo->m_nPageIndex;
}

HRESULT CArticle::GetTextList(IBlockList** ppList, int nType) {
  const unsigned int uType = static_cast<unsigned int>(nType);
  if (uType > 4) return E_FAIL;
  auto* pList = new CTextBlockArray();
  try {
    const auto add = [pList](CTextBlock* pBlock) {
      if (pBlock != nullptr) pList->Add(pBlock);
    };
    switch (uType) {
      case 0:
        add(m_pUpperTitle);
        add(m_pMainTitle);
        add(m_pSubTitle);
        add(m_pBody);
        break;
      case 1:
        add(m_pMainTitle);
        break;
      case 2:
        add(m_pUpperTitle);
        break;
      case 3:
        add(m_pSubTitle);
        break;
      default:
        add(m_pBody);
        break;
    }
  } catch (...) {
    delete pList;
    throw;
  }
  return HandOutNonEmpty(pList, ppList);
}

HRESULT CArticle::GetPicList(IBlockList** ppList) {
  auto* pList = new CPicBlockArray();
  try {
    pList->Copy(m_pics);
  } catch (...) {
    delete pList;
    throw;
  }
  return HandOutNonEmpty(pList, ppList);
}

HRESULT CArticle::GetHtml(BSTR* pbstrHtml) {
  if (m_strHtml.empty()) return E_FAIL;
  return CopyToBstr(m_strHtml, pbstrHtml);
}

int CArticle::GetArticleId() {
  return m_nArticleId;
}

bool CArticle::CollectBlocks(CTextBlockArray& list, int nFlags) {
  const bool bDetach = nFlags < 0;
  const auto take = [&](CTextBlock*& pField) {
    if (pField == nullptr) return;
    list.Add(pField);
    if (bDetach) pField = nullptr;
  };
  if (nFlags & ART_TITLES) {
    take(m_pMainTitle);
    take(m_pSubTitle);
    take(m_pUpperTitle);
  }
  if (nFlags & ART_BODY) take(m_pBody);
  if (nFlags & ART_CAPTIONS) {
    for (CPicBlock* pPic : m_pics) {
      CTextBlock* pCaption = pPic->m_pCaption;
      if (pCaption == nullptr) continue;
      if (pCaption->GetLevel() != 0 && pCaption->m_children.IsEmpty()) continue;
      take(pPic->m_pCaption);
    }
  }
  return true;
}

bool CArticle::GetBoundingRect(RECT* pRect, int nFlags) {
  if (pRect == nullptr) return false;
  CTextBlockArray blocks;
  CollectBlocks(blocks, nFlags & ~ART_DETACH);
  bool bAny = false;
  const auto unite = [&](const RECT& rc) {
    if (!bAny) {
      *pRect = rc;
      bAny = true;
    } else {
      const RECT sum = *pRect;
      UnionRect(pRect, &sum, &rc);
    }
  };
  for (CTextBlock* pBlock : blocks) unite(pBlock->GetIntRect());
  if (nFlags & ART_PICTURES) {
    for (CPicBlock* pPic : m_pics) unite(pPic->GetIntRect());
  }
  return bAny;
}

void CArticle::SetArticleId(int nPosition) {
  const uint32_t page = static_cast<uint32_t>(GetPageIndex()) & 0xFFFFu;
  const uint32_t pos = static_cast<uint32_t>(nPosition) & 0xFFFFu;
  m_nArticleId = static_cast<int32_t>(page << 16 | pos);
}

HRESULT CArticle::BuildArticleHtml() {
  std::u16string body;
  if (m_pBody != nullptr) AppendBlockHtml(m_pBody, body, 0);
  if (!body.empty()) m_strHtml = vwin32::Format(kHtmlDocument, body.c_str());
  for (CPicBlock* pPic : m_pics) {
    CTextBlock* pCaption = pPic->m_pCaption;
    if (pCaption == nullptr || pCaption->m_strHtml.empty()) continue;
    const std::u16string previous = pCaption->m_strHtml;
    pCaption->m_strHtml = vwin32::Format(kHtmlDocument, previous.c_str());
  }
  return S_OK;
}
