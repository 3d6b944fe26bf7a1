// CPDFIssueInfoProvider: creation, identity, lifetime and the IIssueInfoProvider methods.
#include "com/issueprovider.h"

#include <new>

#include "com/dataadaptor.h"
#include "com/module.h"
#include "vwin32/strings.h"

namespace {

// A new BSTR copy of text in *pVal.
HRESULT CopyOut(const std::u16string& text, BSTR* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = vwin32::ToBstr(text);
  return *pVal != nullptr ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

HRESULT CPDFIssueInfoProvider::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  // The inner adaptor first: without it the provider is not created.
  IDataAdaptor* pAdaptor = nullptr;
  HRESULT hr = vmodule::GetDataAdaptorFactory()->CreateInstance(
      nullptr, IID_IDataAdaptor, reinterpret_cast<void**>(&pAdaptor));
  if (FAILED(hr)) return hr;
  CPDFIssueInfoProvider* pObj = new (std::nothrow) CPDFIssueInfoProvider(pUnkOuter);
  if (pObj == nullptr) {
    pAdaptor->Release();
    return E_OUTOFMEMORY;
  }
  pObj->m_pAdaptor = pAdaptor;
  pObj->m_nRefCount = 1;
  hr = pObj->m_inner.QueryInterface(riid, ppv);
  pObj->m_inner.Release();
  return hr;
}

CPDFIssueInfoProvider::CPDFIssueInfoProvider(IUnknown* pUnkOuter)
    : m_inner(this),
      m_pControlling(pUnkOuter != nullptr ? pUnkOuter : &m_inner),
      m_nRefCount(0),
      m_pAdaptor(nullptr) {
  vmodule::Lock();
}

CPDFIssueInfoProvider::~CPDFIssueInfoProvider() {
  // Both engines close their documents while the kit still runs: releasing the inner adaptor
  // may stop it.
  m_engine.CloseIssue();
  m_engine.FullEngine().Close();
  if (m_pAdaptor != nullptr) m_pAdaptor->Release();
  vmodule::Unlock();
}

HRESULT CPDFIssueInfoProvider::CInnerUnknown::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  if (riid == IID_IUnknown) {
    *ppv = static_cast<IUnknown*>(this);
  } else if (riid == IID_IIssueInfoProvider || riid == IID_IDispatch) {
    *ppv = static_cast<IIssueInfoProvider*>(m_pOwner);
  } else {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  static_cast<IUnknown*>(*ppv)->AddRef();
  return S_OK;
}

ULONG CPDFIssueInfoProvider::CInnerUnknown::AddRef() {
  return static_cast<ULONG>(++m_pOwner->m_nRefCount);
}

ULONG CPDFIssueInfoProvider::CInnerUnknown::Release() {
  const int32_t n = --m_pOwner->m_nRefCount;
  if (n == 0) delete m_pOwner;
  return static_cast<ULONG>(n);
}

HRESULT CPDFIssueInfoProvider::QueryInterface(REFIID riid, void** ppv) {
  return m_pControlling->QueryInterface(riid, ppv);
}

ULONG CPDFIssueInfoProvider::AddRef() {
  return m_pControlling->AddRef();
}

ULONG CPDFIssueInfoProvider::Release() {
  return m_pControlling->Release();
}

// ---------------------------------------------------------------------------------------------
// IIssueInfoProvider

HRESULT CPDFIssueInfoProvider::Close(long* pVal) {
  m_pAdaptor->Close();
  m_engine.CloseIssue();
  if (pVal != nullptr) *pVal = 0;
  return S_OK;
}

HRESULT CPDFIssueInfoProvider::LoadIssueInfoXML(BSTR bstrConfigPath, long* pVal) {
  long nResult = 0;
  try {
    nResult = m_engine.LoadIssueInfo(vwin32::FromBstr(bstrConfigPath));
  } catch (...) {
    nResult = 0;  // out of memory while reading: the table is not read
  }
  if (pVal != nullptr) *pVal = nResult;
  return S_OK;
}

HRESULT CPDFIssueInfoProvider::AnalysePage(BSTR bstrPathName, BSTR bstrPubName, BSTR bstrXmlPath,
                                           BOOL bFrontPage, BOOL bGetAllPageInfo, long* pVal) {
  long nResult = 1;
  bool bAnswered = false;
  try {
    bAnswered = m_engine.AnalysePage(vwin32::FromBstr(bstrPathName), vwin32::FromBstr(bstrPubName),
                                     vwin32::FromBstr(bstrXmlPath), bFrontPage != 0,
                                     bGetAllPageInfo != 0, nResult);
  } catch (...) {
    // A page the engine cannot hold (out of memory, a damaged structure) fails the analysis;
    // the engine's own page is dropped so that the object stays usable.
    m_engine.CloseOwnPage();
    bAnswered = true;
    nResult = 1;
  }
  if (bAnswered && pVal != nullptr) *pVal = nResult;
  return S_OK;
}

HRESULT CPDFIssueInfoProvider::get_IssueNameStr(BSTR* pVal) {
  return CopyOut(m_engine.m_strIssueName, pVal);
}

HRESULT CPDFIssueInfoProvider::get_IssueDateStr(BSTR* pVal) {
  return CopyOut(m_engine.m_strIssueDate, pVal);
}

HRESULT CPDFIssueInfoProvider::get_PageNameStr(BSTR* pVal) {
  return CopyOut(m_engine.m_strPageName, pVal);
}

HRESULT CPDFIssueInfoProvider::get_PageIdStr(BSTR* pVal) {
  return CopyOut(m_engine.m_strPageId, pVal);
}

HRESULT CPDFIssueInfoProvider::get_PageCountStr(BSTR* pVal) {
  return CopyOut(m_engine.m_strPageCount, pVal);
}
