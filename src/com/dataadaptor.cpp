// CPDFDataAdaptor: the IDataAdaptor methods, aggregation and the object's lifetime.
#include "com/dataadaptor.h"

#include <memory>
#include <new>

#include "blocks/article.h"
#include "com/module.h"
#include "engine/render.h"
#include "layout/stages.h"
#include "vwin32/strings.h"

namespace {

// Text blocks raise their box's right and bottom edges by 0.999, pictures by 0.99 (the
// blocks' GetIntRect); a block is listed when its integer box meets *prc, and with bit 0x1 of
// the flags only when it lies wholly inside.
constexpr unsigned long kListInside = 0x1;
// Bit 0x2 of the list flags runs the post-edit step over the listed text.
constexpr unsigned long kListPostEdit = 0x2;

bool PassesFilter(const RECT& own, const RECT* prc, unsigned long dwFlags) {
  if (prc == nullptr) return true;
  RECT meet;
  if (!IntersectRect(&meet, &own, prc)) return false;
  return (dwFlags & kListInside) == 0 || EqualRect(&meet, &own) != 0;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Creation, identity and lifetime

HRESULT CPDFDataAdaptor::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) {
  CPDFDataAdaptor* pObj = new (std::nothrow) CPDFDataAdaptor(pUnkOuter);
  if (pObj == nullptr) return E_OUTOFMEMORY;
  // The query through the object's own IUnknown takes the first reference; when it fails the
  // object is destroyed, without ever having been seen by the caller.
  pObj->m_nRefCount = 1;
  const HRESULT hr = pObj->m_inner.QueryInterface(riid, ppv);
  pObj->m_inner.Release();
  return hr;
}

CPDFDataAdaptor::CPDFDataAdaptor(IUnknown* pUnkOuter)
    : m_inner(this), m_pControlling(pUnkOuter != nullptr ? pUnkOuter : &m_inner), m_nRefCount(0) {
  vmodule::Lock();
  // The first live adaptor starts the kit before the object answers any query.
  vmodule::AdaptorCreated();
}

CPDFDataAdaptor::~CPDFDataAdaptor() {
  m_strFileName.clear();
  if (IsOpen()) CPDFInstance::Close();
  // The last adaptor stops the kit; the engine part, destroyed after this, no longer calls it
  // because its document is closed.
  vmodule::AdaptorDestroyed();
  vmodule::Unlock();
}

HRESULT CPDFDataAdaptor::CInnerUnknown::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  if (riid == IID_IUnknown) {
    *ppv = static_cast<IUnknown*>(this);
  } else if (riid == IID_IDataAdaptor) {
    *ppv = static_cast<IDataAdaptor*>(m_pOwner);
  } else {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  static_cast<IUnknown*>(*ppv)->AddRef();
  return S_OK;
}

ULONG CPDFDataAdaptor::CInnerUnknown::AddRef() {
  return static_cast<ULONG>(++m_pOwner->m_nRefCount);
}

ULONG CPDFDataAdaptor::CInnerUnknown::Release() {
  const int32_t n = --m_pOwner->m_nRefCount;
  if (n == 0) delete m_pOwner;
  return static_cast<ULONG>(n);
}

HRESULT CPDFDataAdaptor::QueryInterface(REFIID riid, void** ppv) {
  return m_pControlling->QueryInterface(riid, ppv);
}

ULONG CPDFDataAdaptor::AddRef() {
  return m_pControlling->AddRef();
}

ULONG CPDFDataAdaptor::Release() {
  return m_pControlling->Release();
}

bool CPDFDataAdaptor::IsPageLoaded() const {
  return IsOpen() && m_pPageInfo != nullptr && m_pPageInfo->m_nPageIndex > 0;
}

// ---------------------------------------------------------------------------------------------
// IDataAdaptor

HRESULT CPDFDataAdaptor::GetPaperInfo(long* ppPaperInfo) {
  if (ppPaperInfo == nullptr) return E_POINTER;
  *ppPaperInfo = 0;
  return S_OK;
}

HRESULT CPDFDataAdaptor::GetCurPageInfo(long* ppPageInfo) {
  if (ppPageInfo == nullptr) return E_POINTER;
  if (!IsPageLoaded()) return E_FAIL;
  *ppPageInfo = reinterpret_cast<long>(static_cast<IPageInfo*>(m_pPageInfo));
  return S_OK;
}

HRESULT CPDFDataAdaptor::Open(unsigned long /*dwAppExt*/, const OLECHAR* szFileName) {
  // The same file again (ignoring case) keeps the document and its loaded page.
  if (IsOpen() && vwin32::EqualsNoCase(m_strFileName, vwin32::View(szFileName))) return S_OK;
  const HRESULT hr = CPDFInstance::Open(szFileName);
  if (SUCCEEDED(hr))
    m_strFileName = vwin32::View(szFileName);
  else
    m_strFileName.clear();
  return hr;
}

HRESULT CPDFDataAdaptor::Close() {
  m_strFileName.clear();
  CPDFInstance::Close();
  return S_OK;
}

HRESULT CPDFDataAdaptor::LoadPage(int nPageNo, unsigned long dwLFlags, BOOL bGetAllPageInfo) {
  if (!IsOpen()) return E_FAIL;
  // Only the low 16 bits of the flag decide: 0x10000 counts as false, 0xFFFF as true.
  const BOOL bAll = static_cast<int16_t>(bGetAllPageInfo & 0xFFFF);
  return CPDFInstance::LoadPage(nPageNo, dwLFlags, bAll);
}

HRESULT CPDFDataAdaptor::SavePageImage(int nPageNo, double dScale, const OLECHAR* szImageName,
                                       long* plDeepenPixel) {
  if (!IsOpen()) return E_FAIL;
  std::unique_ptr<CxImage> image = RenderPage(*this, nPageNo, dScale, plDeepenPixel);
  if (!image) return E_FAIL;
  if (m_pPageInfo != nullptr) {
    m_pPageInfo->m_dImageWidth = static_cast<double>(image->GetWidth());
    m_pPageInfo->m_dImageHeight = static_cast<double>(image->GetHeight());
  }
  // JPEG whatever the name's extension; a failed write is not reported.
  image->SetJpegQuality(100);
  image->Save(szImageName, CXIMAGE_FORMAT_JPG);
  return S_OK;
}

HRESULT CPDFDataAdaptor::GetPageImage(int nPageNo, double dViewScale, long* phDIB) {
  if (phDIB == nullptr) return E_POINTER;
  if (!IsPageLoaded()) return E_FAIL;
  std::unique_ptr<CxImage> image = RenderPage(*this, nPageNo, dViewScale, nullptr);
  if (!image) return E_FAIL;
  HGLOBAL hDib = image->CopyToHandle();
  // A handle that could not be allocated is a failure, not an empty success.
  if (hDib == nullptr) return E_FAIL;
  *phDIB = reinterpret_cast<long>(hDib);
  return S_OK;
}

HRESULT CPDFDataAdaptor::get_FileName(BSTR* pVal) {
  if (pVal == nullptr) return E_POINTER;
  if (m_strFileName.empty()) return E_FAIL;
  BSTR bstr = vwin32::ToBstr(m_strFileName);
  if (bstr == nullptr) return E_OUTOFMEMORY;
  *pVal = bstr;
  return S_OK;
}

HRESULT CPDFDataAdaptor::get_TotalPageCount(long* pVal) {
  if (pVal == nullptr) return E_POINTER;
  if (!IsOpen()) return E_FAIL;
  *pVal = GetPageCount();
  return S_OK;
}

HRESULT CPDFDataAdaptor::GetPicList(RECT* prc, unsigned long dwFlags, IBlockList** ppVal) {
  if (ppVal == nullptr) return E_POINTER;
  if (!IsPageLoaded()) return E_FAIL;
  auto* pList = new (std::nothrow) CPicBlockArray();
  if (pList == nullptr) return E_OUTOFMEMORY;
  for (int i = 0; i < m_picBlocks.GetSize(); ++i) {
    CPicBlock* pBlock = m_picBlocks[i];
    if (PassesFilter(pBlock->GetIntRect(), prc, dwFlags)) pList->Add(pBlock);
  }
  return pList->HandOut(ppVal);
}

HRESULT CPDFDataAdaptor::GetTextList(RECT* prc, unsigned long dwFlags, IBlockList** ppVal) {
  if (ppVal == nullptr) return E_POINTER;
  if (!IsPageLoaded()) return E_FAIL;
  auto* pList = new (std::nothrow) CTextBlockArray();
  if (pList == nullptr) return E_OUTOFMEMORY;
  for (int i = 0; i < m_textBlocks.GetSize(); ++i) {
    CTextBlock* pBlock = m_textBlocks[i];
    if (PassesFilter(pBlock->GetIntRect(), prc, dwFlags)) pList->Add(pBlock);
  }
  if ((dwFlags & kListPostEdit) != 0) PostEdit(*this, *pList);
  return pList->HandOut(ppVal);
}

HRESULT CPDFDataAdaptor::GetArticleList(unsigned long dwFlags, IBlockList** ppVal) {
  if (ppVal == nullptr) return E_POINTER;
  if (!IsPageLoaded()) return E_FAIL;
  auto* pList = new (std::nothrow) CArticleArray();
  if (pList == nullptr) return E_OUTOFMEMORY;
  if (m_pArticles != nullptr) pList->Append(*m_pArticles);
  if ((dwFlags & kListPostEdit) != 0) {
    CTextBlockArray text;  // borrows the articles' blocks
    for (int i = 0; i < pList->GetSize(); ++i)
      (*pList)[i]->CollectBlocks(text, ART_TITLES | ART_BODY | ART_CAPTIONS);
    PostEdit(*this, text);
  }
  return pList->HandOut(ppVal);
}

HRESULT CPDFDataAdaptor::get_CurrentPage(long* pVal) {
  if (pVal == nullptr) return E_POINTER;
  if (!IsOpen()) return E_FAIL;
  *pVal = m_pPageInfo != nullptr ? m_pPageInfo->m_nPageIndex : 0;
  return S_OK;
}

HRESULT CPDFDataAdaptor::SplitPDFMultiPage(unsigned long dwAppExt) {
  if (dwAppExt != 0) SetPageSources(*this, reinterpret_cast<IAppExtension*>(dwAppExt));
  return S_FALSE;
}
