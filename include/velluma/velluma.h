// Client interface of the Velluma component: the COM classes and interfaces a host creates
// (PDFDataAdaptor / IDataAdaptor, PDFIssueInfoProvider / IIssueInfoProvider), the list interface
// IBlockList, and the abstract block and page interfaces reached through them.
//
// Slot order is binding: every interface below lists its methods in vtable order. The block
// family (IRegn, ILabelPropBase, IBlock, ITextBlock, IPicBlock, IArticle, IPageInfo) is not
// reference counted; its objects belong to the component and are neither released nor deleted
// by clients (their destructors are protected). The last slot of each complete interface
// (IRegn, ITextBlock, IPicBlock, IArticle, IPageInfo) is a virtual destructor, which the
// Itanium C++ ABI lays out as two vtable entries (complete-object and deleting destructor);
// the shared bases ILabelPropBase and IBlock have no destructor slot, so that it comes after
// the methods of the interface that declares it.
//
// Strings are UTF-16. A BSTR returned through an out parameter is new and the caller frees it
// with SysFreeString. Ownership and lifetime rules: docs/abi.md.
#pragma once

#include "velluma/unknwn.h"
#include "velluma/wintypes.h"

// ---------------------------------------------------------------------------------------------
// Identifiers. Defined in the component module (exported from libvelluma.so). A client that
// does not link against the module defines VELLUMA_DEFINE_IDS in exactly one of its source files
// before including this header, which then emits the definitions there.

extern "C" {
extern const CLSID CLSID_PDFDataAdaptor;        // {B21FEF21-3481-4620-B09F-021BD7262912}
extern const CLSID CLSID_PDFIssueInfoProvider;  // {3BA0ABED-148B-4F1F-ABA3-EA8E0CD1BC83}
extern const IID IID_IDataAdaptor;              // {FDB88522-1A64-4B45-A3CB-E209C93E86C2}
extern const IID IID_IBlockList;                // {FDB88522-1A64-4B45-A3CB-E209C93E86C3}
extern const IID IID_IIssueInfoProvider;        // {7F68E595-5489-43AA-B676-07D0C945E8DC}
extern const GUID LIBID_VellumaLib;             // {962CD658-6AB1-4340-B7E8-F9360D4525C0}
extern const GUID APPID_Velluma;                // {6554855F-24EB-4B7C-A193-8E87817D07D2}
}

#ifdef VELLUMA_DEFINE_IDS
extern "C" {
const CLSID CLSID_PDFDataAdaptor = {
    0xB21FEF21, 0x3481, 0x4620, {0xB0, 0x9F, 0x02, 0x1B, 0xD7, 0x26, 0x29, 0x12}};
const CLSID CLSID_PDFIssueInfoProvider = {
    0x3BA0ABED, 0x148B, 0x4F1F, {0xAB, 0xA3, 0xEA, 0x8E, 0x0C, 0xD1, 0xBC, 0x83}};
const IID IID_IDataAdaptor = {
    0xFDB88522, 0x1A64, 0x4B45, {0xA3, 0xCB, 0xE2, 0x09, 0xC9, 0x3E, 0x86, 0xC2}};
const IID IID_IBlockList = {
    0xFDB88522, 0x1A64, 0x4B45, {0xA3, 0xCB, 0xE2, 0x09, 0xC9, 0x3E, 0x86, 0xC3}};
const IID IID_IIssueInfoProvider = {
    0x7F68E595, 0x5489, 0x43AA, {0xB6, 0x76, 0x07, 0xD0, 0xC9, 0x45, 0xE8, 0xDC}};
const GUID LIBID_VellumaLib = {
    0x962CD658, 0x6AB1, 0x4340, {0xB7, 0xE8, 0xF9, 0x36, 0x0D, 0x45, 0x25, 0xC0}};
const GUID APPID_Velluma = {
    0x6554855F, 0x24EB, 0x4B7C, {0xA1, 0x93, 0x8E, 0x87, 0x81, 0x7D, 0x07, 0xD2}};
}
#endif

// ---------------------------------------------------------------------------------------------
// Load flags of IDataAdaptor::LoadPage (dwLFlags). Other bits are ignored.

constexpr unsigned long LPF_LEVEL_MASK = 0x000F;  // requested analysis level 0 to 15
constexpr unsigned long LPF_TEXT = 0x0100;        // take in text
constexpr unsigned long LPF_IMAGES = 0x0200;      // take in images
constexpr unsigned long LPF_PATHS = 0x0400;       // take in paths
constexpr unsigned long LPF_POSTEDIT = 0x2000;    // run the post-edit step
constexpr unsigned long LPF_RECOGNISE = 0x4000;   // run glyph recognition
constexpr unsigned long LPF_RESET = 0x8000;       // reset the page even if it is the current one

// ---------------------------------------------------------------------------------------------
// The list interface (COM, reference counted).

// A read-only, reference-counted view of blocks or articles. Items are not reference counted:
// each is the ITextBlock*, IPicBlock* or IArticle* of the element, passed through a long*.
struct IBlockList : public IUnknown {
  // 3: number of elements.
  virtual HRESULT STDMETHODCALLTYPE GetCount(long* pVal) = 0;
  // 4: element nIndex (0 .. count-1); E_INVALIDARG outside, *ppList untouched.
  virtual HRESULT STDMETHODCALLTYPE GetItemAt(int nIndex, long** ppList) = 0;
};

// ---------------------------------------------------------------------------------------------
// Block interfaces (not reference counted; owned by the component).

// Outline polygon of a block.
struct IRegn {
  // 0: with pPoints null, writes the number of points to *pnCount; otherwise writes the points
  //    (coordinates truncated toward zero) to pPoints[0 .. n-1] and leaves *pnCount untouched.
  virtual HRESULT STDMETHODCALLTYPE GetPoints(POINT* pPoints, int* pnCount) = 0;
  // 1: page index the outline was built for.
  virtual int STDMETHODCALLTYPE GetPageIndex() = 0;

 protected:
  // 2: destructor (two ABI entries).
  virtual ~IRegn() = default;
};

struct ILabelPropBase {
  // 0, 1: not supported by any object of the component; both return E_FAIL.
  virtual HRESULT STDMETHODCALLTYPE GetLabelProp(long* plProp) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetLabelProp(long lKey, long lValue) = 0;

 protected:
  // Not virtual: the destructor slot belongs to the most derived interface, after its methods.
  ~ILabelPropBase() = default;
};

struct IBlock : public ILabelPropBase {
  // 2: page index of the block's page.
  virtual int STDMETHODCALLTYPE GetPageIndex() = 0;
  // 3: the block's text blocks as a new list (count 1, released by the caller).
  virtual HRESULT STDMETHODCALLTYPE GetTextList(IBlockList** ppList, int nType) = 0;
  // 4: the block's pictures as a new list.
  virtual HRESULT STDMETHODCALLTYPE GetPicList(IBlockList** ppList) = 0;
  // 5: HTML of the block; E_FAIL when there is none.
  virtual HRESULT STDMETHODCALLTYPE GetHtml(BSTR* pbstrHtml) = 0;

 protected:
  ~IBlock() = default;
};

struct ITextBlock : public IBlock {
  // 6: direction code (bits 12-15 of the block's flags, shifted down).
  virtual int STDMETHODCALLTYPE GetDirection() = 0;
  // 7: font name.
  virtual HRESULT STDMETHODCALLTYPE GetFontName(BSTR* pbstrName) = 0;
  // 8: font size in page units.
  virtual double STDMETHODCALLTYPE GetFontSize() = 0;
  // 9: text length in UTF-16 units.
  virtual int STDMETHODCALLTYPE GetTextLength() = 0;
  // 10: always 0.
  virtual int STDMETHODCALLTYPE GetReserved() = 0;
  // 11: the text ("\r\n" between lines); always S_OK.
  virtual HRESULT STDMETHODCALLTYPE GetText(BSTR* pbstrText) = 0;
  // 12: number of outline regions (always 1).
  virtual HRESULT STDMETHODCALLTYPE GetRegionCount(int* pnCount) = 0;
  // 13: outline region 0 (owned by the block); E_FAIL for any other index.
  virtual HRESULT STDMETHODCALLTYPE GetRegion(int nIndex, IRegn** ppRegn) = 0;

 protected:
  // 14: destructor (two ABI entries).
  virtual ~ITextBlock() = default;
};

struct IPicBlock : public IBlock {
  // 6: integer box of the whole image's placement on the page.
  virtual HRESULT STDMETHODCALLTYPE GetRect(RECT* pRect) = 0;
  // 7: writes the image as a JPEG file; 0 when written, 1 when not.
  virtual int STDMETHODCALLTYPE SaveImage(const OLECHAR* szPath) = 0;
  // 8: not supported; E_FAIL.
  virtual HRESULT STDMETHODCALLTYPE GetReservedProp(long* plProp) = 0;
  // 9, 10, 11: image width and height in pixels, bits per pixel.
  virtual DWORD STDMETHODCALLTYPE GetWidth() = 0;
  virtual DWORD STDMETHODCALLTYPE GetHeight() = 0;
  virtual DWORD STDMETHODCALLTYPE GetBpp() = 0;
  // 12: the image as a packed device-independent bitmap, owned by the block.
  virtual void* STDMETHODCALLTYPE GetDIB() = 0;
  // 13, 14: as for text blocks; the outline is the visible part of the picture.
  virtual HRESULT STDMETHODCALLTYPE GetRegionCount(int* pnCount) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetRegion(int nIndex, IRegn** ppRegn) = 0;

 protected:
  // 15: destructor (two ABI entries).
  virtual ~IPicBlock() = default;
};

struct IArticle : public IBlock {
  // 6: page index in bits 16-31, position in the page's article list in bits 0-15.
  virtual int STDMETHODCALLTYPE GetArticleId() = 0;

 protected:
  // 7: destructor (two ABI entries).
  virtual ~IArticle() = default;
};

struct IPageInfo : public ILabelPropBase {
  // 2: page index of the loaded page (from 1; 0 when no page is loaded).
  virtual int STDMETHODCALLTYPE GetPageIndex() = 0;
  // 3: page index and the path of the file the page comes from.
  virtual HRESULT STDMETHODCALLTYPE GetPageSource(int* pIndex, BSTR* pPath) = 0;
  // 4 to 7: recognised page identifier, page name, (reserved: always E_FAIL), issue date.
  virtual HRESULT STDMETHODCALLTYPE GetPageId(BSTR* pbstr) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetPageName(BSTR* pbstr) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetReservedText(BSTR* pbstr) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetIssueDate(BSTR* pbstr) = 0;
  // 8 to 11: page size in page units, size in pixels of the last saved page image.
  virtual double STDMETHODCALLTYPE GetPageWidth() = 0;
  virtual double STDMETHODCALLTYPE GetPageHeight() = 0;
  virtual double STDMETHODCALLTYPE GetImageWidth() = 0;
  virtual double STDMETHODCALLTYPE GetImageHeight() = 0;
  // 12: page-count text found on the page.
  virtual HRESULT STDMETHODCALLTYPE GetPageCount(BSTR* pbstr) = 0;

 protected:
  // 13: destructor (two ABI entries).
  virtual ~IPageInfo() = default;
};

// ---------------------------------------------------------------------------------------------
// The data adaptor (class PDFDataAdaptor).

struct IDataAdaptor : public IUnknown {
  // 1 (vtable 3): always writes 0.
  virtual HRESULT STDMETHODCALLTYPE GetPaperInfo(long* ppPaperInfo) = 0;
  // 2: the IPageInfo* of the loaded page (not reference counted).
  virtual HRESULT STDMETHODCALLTYPE GetCurPageInfo(long* ppPageInfo) = 0;
  // 3: opens a PDF file; dwAppExt is ignored.
  virtual HRESULT STDMETHODCALLTYPE Open(unsigned long dwAppExt, const OLECHAR* szFileName) = 0;
  // 4
  virtual HRESULT STDMETHODCALLTYPE Close() = 0;
  // 5: loads page nPageNo (from 1) as dwLFlags (LPF_*) ask.
  virtual HRESULT STDMETHODCALLTYPE LoadPage(int nPageNo, unsigned long dwLFlags,
                                             BOOL bGetAllPageInfo) = 0;
  // 6: renders a page and saves it as a JPEG file.
  virtual HRESULT STDMETHODCALLTYPE SavePageImage(int nPageNo, double dScale,
                                                  const OLECHAR* szImageName,
                                                  long* plDeepenPixel) = 0;
  // 7: renders a page into a packed DIB in a new global memory block (freed by the caller).
  virtual HRESULT STDMETHODCALLTYPE GetPageImage(int nPageNo, double dViewScale, long* phDIB) = 0;
  // 8: property FileName.
  virtual HRESULT STDMETHODCALLTYPE get_FileName(BSTR* pVal) = 0;
  // 9: property TotalPageCount.
  virtual HRESULT STDMETHODCALLTYPE get_TotalPageCount(long* pVal) = 0;
  // 10 to 12: new lists of the loaded page's pictures, text blocks and articles.
  virtual HRESULT STDMETHODCALLTYPE GetPicList(RECT* prc, unsigned long dwFlags,
                                               IBlockList** ppVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTextList(RECT* prc, unsigned long dwFlags,
                                                IBlockList** ppVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetArticleList(unsigned long dwFlags, IBlockList** ppVal) = 0;
  // 13: property CurrentPage.
  virtual HRESULT STDMETHODCALLTYPE get_CurrentPage(long* pVal) = 0;
  // 14: takes in the per-page source files of a multi-page document; always S_FALSE.
  virtual HRESULT STDMETHODCALLTYPE SplitPDFMultiPage(unsigned long dwAppExt) = 0;
};

// ---------------------------------------------------------------------------------------------
// The issue-information provider (class PDFIssueInfoProvider), a dual interface.

// Dispatch identifiers of IIssueInfoProvider's members.
constexpr DISPID DISPID_IssueInfo_Close = 0x60020000;
constexpr DISPID DISPID_IssueInfo_LoadIssueInfoXML = 0x60020001;
constexpr DISPID DISPID_IssueInfo_AnalysePage = 0x60020002;
constexpr DISPID DISPID_IssueInfo_IssueNameStr = 0x60020003;
constexpr DISPID DISPID_IssueInfo_IssueDateStr = 0x60020004;
constexpr DISPID DISPID_IssueInfo_PageNameStr = 0x60020005;
constexpr DISPID DISPID_IssueInfo_PageIdStr = 0x60020006;
constexpr DISPID DISPID_IssueInfo_PageCountStr = 0x60020007;

// Every member returns S_OK; outcomes are reported in the out values.
struct IIssueInfoProvider : public IDispatch {
  // vtable 7
  virtual HRESULT STDMETHODCALLTYPE Close(long* pVal) = 0;
  // 8: pVal 1 when the publication table was read, else 0.
  virtual HRESULT STDMETHODCALLTYPE LoadIssueInfoXML(BSTR bstrConfigPath, long* pVal) = 0;
  // 9: pVal 0 when the analysis succeeded, 1 when not (not written when the file does not open).
  virtual HRESULT STDMETHODCALLTYPE AnalysePage(BSTR bstrPathName, BSTR bstrPubName,
                                                BSTR bstrXmlPath, BOOL bFrontPage,
                                                BOOL bGetAllPageInfo, long* pVal) = 0;
  // 10 to 14: properties (new BSTR copies).
  virtual HRESULT STDMETHODCALLTYPE get_IssueNameStr(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IssueDateStr(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_PageNameStr(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_PageIdStr(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_PageCountStr(BSTR* pVal) = 0;
};

// ---------------------------------------------------------------------------------------------
// Module extension: the flag word of a text block.
//
// No interface slot hands out a block's type code and level, which a host needs to tell titles
// from body text. libvelluma.so therefore also exports this function (look it up by name; a
// module without it simply does not offer the information):
//   bits 0-7 type (0x00 undetermined, 0x11 title, 0x20 body text, 0x22 spaced text,
//   0x23 paragraphed text, 0xFE page header line), bits 8-11 level, bits 12-15 direction,
//   bit 20 head aligned, bit 21 tail aligned, bit 23 unrecognised glyphs.
// S_OK with *pdwFlags written for a text block of this module; E_POINTER for a null argument;
// E_INVALIDARG (nothing written) for a picture, an article or any other block.
extern "C" HRESULT VellumaGetBlockFlags(IBlock* pBlock, unsigned long* pdwFlags);
using PFN_VellumaGetBlockFlags = HRESULT (*)(IBlock* pBlock, unsigned long* pdwFlags);

// ---------------------------------------------------------------------------------------------
// Module extension: the glyph sheet of the current page.
//
// What glyph recognition (LPF_RECOGNISE) left for the adaptor's current page: the sheet the
// recognition library read (1 bit per pixel, 1024 pixels wide, 64 x 64 cells, 16 to a row,
// cell i in column i % 16 and row i / 16 from the top), its 280-byte result records (one per
// cell, in cell order: character at 0, flags at 2, font class at 4, candidate count at 18,
// candidates of 16 bytes (character, score) from 20) and the glyph map (pairs of glyph key and
// cell; key = font index << 16 | glyph code; ascending keys).
//   phDib: when not null, receives a new global block with a copy of the sheet as a packed
//   bitmap; the caller frees it with GlobalFree.
//   pResults, pnResults: when pnResults is not null, *pnResults is the capacity of pResults in
//   records on entry (pResults may be null with capacity 0) and the number of records on return;
//   min(capacity, count) records are copied.
//   pMap, pnMapPairs: the same for the glyph map (two unsigned longs per pair).
// S_OK; E_POINTER for a null adaptor; E_INVALIDARG for an object that is not a data adaptor of
// this module; E_FAIL (nothing written) when the page has no glyph sheet.
extern "C" HRESULT VellumaGetGlyphSheet(IDataAdaptor* pAdaptor, HGLOBAL* phDib, void* pResults,
                                        long* pnResults, unsigned long* pMap, long* pnMapPairs);
using PFN_VellumaGetGlyphSheet = HRESULT (*)(IDataAdaptor* pAdaptor, HGLOBAL* phDib, void* pResults,
                                             long* pnResults, unsigned long* pMap,
                                             long* pnMapPairs);
