// Page images and page splitting: rendering a page of the engine's open document into a
// CxImage, and taking in the per-page source files of a multi-page document from the host's
// extension object.
#pragma once

#include <cstdint>
#include <memory>

#include "kit/ximage.h"
#include "velluma/wintypes.h"

class CPDFInstance;

// The host's information record behind the extension object. Only the page source field is
// read: a zero-terminated UTF-16 list of per-page source files separated by ";". It is the
// record's fourth field, after three 32-bit fields (offset 12 on 32-bit hosts, 16 on 64-bit
// ones, where the pointer is naturally aligned).
struct St_AppExtInfo {
  uint32_t dwReserved[3];
  const OLECHAR* pszPageSources;
};

// The host's extension object as passed to SplitPDFMultiPage. Only its first two table slots
// are called.
struct IAppExtension {
  // Slot 0: gives back a record obtained from FetchInfo; *ppInfo is the record pointer.
  virtual void STDMETHODCALLTYPE ReleaseInfo(St_AppExtInfo** ppInfo) = 0;
  // Slot 1: fetches the record into *ppInfo; nReserved is 0. Negative on failure.
  virtual HRESULT STDMETHODCALLTYPE FetchInfo(St_AppExtInfo** ppInfo, int32_t nReserved) = 0;

 protected:
  ~IAppExtension() = default;
};

// Default minimum line width in pixels when the caller gives none.
constexpr double kDefaultThicken = 1.5;

// Renders page nPageNo (from 1) of the engine's open document at dScale (1.0: one pixel per
// page unit at the screen's resolution), strokes thickened to *plThicken pixels (1.5 when
// null). The image has 24 bits per pixel or more, alpha 255 everywhere and JPEG quality 100.
// Null when no document is open, the page has no box or the kit cannot render it. The loaded
// page is neither read nor changed.
std::unique_ptr<CxImage> RenderPage(const CPDFInstance& engine, int nPageNo, double dScale,
                                    const long* plThicken);

// Fetches the host's information record and replaces the engine's page sources with the names
// of its ";"-separated list, empty names included ("a;;b;" gives a, "", b, ""). An empty list
// gives no names. When the fetch fails its result is returned and the sources stay as they
// were; otherwise the record is given back and the fetch's result returned.
HRESULT SetPageSources(CPDFInstance& engine, IAppExtension* pExt);
