// CPDFDataAdaptor: the COM class PDFDataAdaptor. Each IDataAdaptor method is a guard around
// the engine (CPDFInstance) it derives from: open a document, load a page to an analysis
// level, render page images and hand out the page's lists and page information.
//
// The object can be aggregated. Its non-delegating IUnknown (m_inner) owns the reference count
// and answers IUnknown and IDataAdaptor; the IDataAdaptor face delegates its IUnknown methods
// to the controlling unknown, which is the outer object when aggregated and m_inner otherwise.
#pragma once

#include <cstdint>
#include <string>

#include "engine/pdfinstance.h"
#include "velluma/velluma.h"

class CPDFDataAdaptor : public CPDFInstance, public IDataAdaptor {
 public:
  // Creates an adaptor (aggregated when pUnkOuter is given) and queries it for riid through its
  // own IUnknown: E_OUTOFMEMORY when it cannot be allocated; when the query fails the object
  // is destroyed and the query's result returned. *ppv must be non-null.
  static HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv);

  CPDFDataAdaptor(const CPDFDataAdaptor&) = delete;
  CPDFDataAdaptor& operator=(const CPDFDataAdaptor&) = delete;

  // IUnknown (delegating).
  HRESULT QueryInterface(REFIID riid, void** ppv) override;
  ULONG AddRef() override;
  ULONG Release() override;

  // IDataAdaptor
  HRESULT GetPaperInfo(long* ppPaperInfo) override;
  HRESULT GetCurPageInfo(long* ppPageInfo) override;
  HRESULT Open(unsigned long dwAppExt, const OLECHAR* szFileName) override;
  HRESULT Close() override;
  HRESULT LoadPage(int nPageNo, unsigned long dwLFlags, BOOL bGetAllPageInfo) override;
  HRESULT SavePageImage(int nPageNo, double dScale, const OLECHAR* szImageName,
                        long* plDeepenPixel) override;
  HRESULT GetPageImage(int nPageNo, double dViewScale, long* phDIB) override;
  HRESULT get_FileName(BSTR* pVal) override;
  HRESULT get_TotalPageCount(long* pVal) override;
  HRESULT GetPicList(RECT* prc, unsigned long dwFlags, IBlockList** ppVal) override;
  HRESULT GetTextList(RECT* prc, unsigned long dwFlags, IBlockList** ppVal) override;
  HRESULT GetArticleList(unsigned long dwFlags, IBlockList** ppVal) override;
  HRESULT get_CurrentPage(long* pVal) override;
  HRESULT SplitPDFMultiPage(unsigned long dwAppExt) override;

 private:
  // The non-delegating IUnknown.
  class CInnerUnknown final : public IUnknown {
   public:
    explicit CInnerUnknown(CPDFDataAdaptor* pOwner) : m_pOwner(pOwner) {}
    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;

   private:
    CPDFDataAdaptor* m_pOwner;
  };

  explicit CPDFDataAdaptor(IUnknown* pUnkOuter);
  // Closes an open document, then lets the module stop the kit when this was the last adaptor.
  ~CPDFDataAdaptor() override;

  // Whether a document is open and a page is loaded (page-info page number above 0).
  bool IsPageLoaded() const;

  CInnerUnknown m_inner;
  IUnknown* m_pControlling;  // the outer object, or &m_inner
  int32_t m_nRefCount;
  std::u16string m_strFileName;  // name the current document was opened under; empty if none
};
