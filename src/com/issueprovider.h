// CPDFIssueInfoProvider: the COM class PDFIssueInfoProvider and its dual interface
// IIssueInfoProvider. Each method returns S_OK and reports its outcome in the out value; the
// five properties answer from the last analysis (CIssueInfoInstance).
//
// The object holds an inner data adaptor, created with it from this module's class object, so
// that the page-content kit runs while a provider exists. It can be aggregated like the adaptor:
// the non-delegating IUnknown owns the reference count.
//
// Late binding: GetIDsOfNames maps member names (ignoring case) to the fixed dispatch
// identifiers of velluma.h and AnalysePage's parameter names to their positions; Invoke calls
// every member by identifier (issuedispatch.cpp).
#pragma once

#include <cstdint>

#include "issueinfo/issueinstance.h"
#include "velluma/velluma.h"

class CPDFIssueInfoProvider : public IIssueInfoProvider {
 public:
  // Creates a provider (aggregated when pUnkOuter is given) and queries it for riid: the inner
  // adaptor's creation result when that fails, E_OUTOFMEMORY when the object cannot be
  // allocated, else the query's result (the object is destroyed when the query fails).
  static HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv);

  CPDFIssueInfoProvider(const CPDFIssueInfoProvider&) = delete;
  CPDFIssueInfoProvider& operator=(const CPDFIssueInfoProvider&) = delete;

  // IUnknown (delegating)
  HRESULT QueryInterface(REFIID riid, void** ppv) override;
  ULONG AddRef() override;
  ULONG Release() override;

  // IDispatch
  HRESULT GetTypeInfoCount(UINT* pctinfo) override;
  HRESULT GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
  HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                        DISPID* rgDispId) override;
  HRESULT Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                 VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

  // IIssueInfoProvider
  HRESULT Close(long* pVal) override;
  HRESULT LoadIssueInfoXML(BSTR bstrConfigPath, long* pVal) override;
  HRESULT AnalysePage(BSTR bstrPathName, BSTR bstrPubName, BSTR bstrXmlPath, BOOL bFrontPage,
                      BOOL bGetAllPageInfo, long* pVal) override;
  HRESULT get_IssueNameStr(BSTR* pVal) override;
  HRESULT get_IssueDateStr(BSTR* pVal) override;
  HRESULT get_PageNameStr(BSTR* pVal) override;
  HRESULT get_PageIdStr(BSTR* pVal) override;
  HRESULT get_PageCountStr(BSTR* pVal) override;

 private:
  class CInnerUnknown final : public IUnknown {
   public:
    explicit CInnerUnknown(CPDFIssueInfoProvider* pOwner) : m_pOwner(pOwner) {}
    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;

   private:
    CPDFIssueInfoProvider* m_pOwner;
  };

  explicit CPDFIssueInfoProvider(IUnknown* pUnkOuter);
  // Releases the inner adaptor after the engine has closed its own document.
  virtual ~CPDFIssueInfoProvider();

  CInnerUnknown m_inner;
  IUnknown* m_pControlling;  // the outer object, or &m_inner
  int32_t m_nRefCount;
  IDataAdaptor* m_pAdaptor;  // the inner data adaptor (one reference)
  CIssueInfoInstance m_engine;
};
