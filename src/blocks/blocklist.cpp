#include "blocks/blocklist.h"

#include "blocks/article.h"
#include "blocks/picblock.h"
#include "blocks/textblock.h"

namespace {

template <class TArray>
HRESULT CountOf(const TArray& list, long* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = list.GetSize();
  return S_OK;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// CBlockListBase

HRESULT CBlockListBase::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IBlockList)) {
    *ppv = static_cast<IBlockList*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG CBlockListBase::AddRef() {
  return static_cast<ULONG>(++m_nRefCount);
}

ULONG CBlockListBase::Release() {
  const int32_t nCount = --m_nRefCount;
  if (nCount == 0) {
    delete this;
    return 0;
  }
  return static_cast<ULONG>(nCount);
}

HRESULT CBlockListBase::HandOut(IBlockList** ppVal) {
  const HRESULT hr = QueryInterface(IID_IBlockList, reinterpret_cast<void**>(ppVal));
  if (FAILED(hr)) delete this;
  return hr;
}

// ---------------------------------------------------------------------------------------------
// CTextBlockArray

HRESULT CTextBlockArray::GetCount(long* pVal) {
  return CountOf(*this, pVal);
}

HRESULT CTextBlockArray::GetItemAt(int nIndex, long** ppList) {
  if (nIndex < 0 || nIndex >= GetSize()) return E_INVALIDARG;
  if (ppList == nullptr) return E_POINTER;
  *ppList = reinterpret_cast<long*>(static_cast<ITextBlock*>(GetAt(nIndex)));
  return S_OK;
}

void CTextBlockArray::DeleteBlockTree() {
  for (CTextBlock* pBlock : *this) DeleteTextBlockTree(pBlock);
  RemoveAll();
}

// ---------------------------------------------------------------------------------------------
// CPicBlockArray

HRESULT CPicBlockArray::GetCount(long* pVal) {
  return CountOf(*this, pVal);
}

HRESULT CPicBlockArray::GetItemAt(int nIndex, long** ppList) {
  if (nIndex < 0 || nIndex >= GetSize()) return E_INVALIDARG;
  if (ppList == nullptr) return E_POINTER;
  *ppList = reinterpret_cast<long*>(static_cast<IPicBlock*>(GetAt(nIndex)));
  return S_OK;
}

void CPicBlockArray::DeleteAllPics() {
  for (CPicBlock* pPic : *this) delete pPic;
  RemoveAll();
}

// ---------------------------------------------------------------------------------------------
// CArticleArray

HRESULT CArticleArray::GetCount(long* pVal) {
  return CountOf(*this, pVal);
}

HRESULT CArticleArray::GetItemAt(int nIndex, long** ppList) {
  if (nIndex < 0 || nIndex >= GetSize()) return E_INVALIDARG;
  if (ppList == nullptr) return E_POINTER;
  *ppList = reinterpret_cast<long*>(static_cast<IArticle*>(GetAt(nIndex)));
  return S_OK;
}

void CArticleArray::DeleteAllArticles() {
  for (CArticle* pArticle : *this) delete pArticle;
  RemoveAll();
}
