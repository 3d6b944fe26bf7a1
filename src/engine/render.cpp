// Page rendering into a CxImage and the per-page source list of a multi-page document.
#include "engine/render.h"

#include <cstdlib>
#include <new>
#include <string>

#include "engine/pdfinstance.h"
#include "kit/pdfkit.h"
#include "vwin32/screen.h"
#include "vwin32/strings.h"

std::unique_ptr<CxImage> RenderPage(const CPDFInstance& engine, int nPageNo, double dScale,
                                    const long* plThicken) {
  if (!engine.IsOpen()) return nullptr;
  PTK_HDOC hDoc = engine.GetDocument();

  // The box query decides whether the page exists; its values are not needed.
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  if (!PTK_GetPageRect(hDoc, nPageNo, PTK_BOX_RENDER, &x0, &y0, &x1, &y1)) return nullptr;

  const double dUnit = PTK_GetPageUnit(hDoc, nPageNo);
  const double dPpiX = vwin32::GetScreenPixelsPerInch(false);
  const double dPpiY = vwin32::GetScreenPixelsPerInch(true);
  const double f = dScale / dUnit;
  const double dThicken = plThicken != nullptr ? static_cast<double>(*plThicken) : kDefaultThicken;

  BITMAPINFOHEADER* pHeader = nullptr;
  uint8_t* pBits = nullptr;
  if (!PTK_GetPageThumbnail(hDoc, nPageNo, &pHeader, &pBits, f / dPpiX, f / dPpiY, dThicken) ||
      pHeader == nullptr || pBits == nullptr) {
    PTK_FreePageThumbnail(pHeader, pBits);
    return nullptr;
  }

  // The kit's rendering is handed back whatever happens below.
  struct Release {
    BITMAPINFOHEADER* h;
    uint8_t* b;
    ~Release() { PTK_FreePageThumbnail(h, b); }
  } release{pHeader, pBits};

  const DWORD width = static_cast<DWORD>(pHeader->biWidth);
  const DWORD height = static_cast<DWORD>(std::abs(static_cast<long>(pHeader->biHeight)));
  const DWORD bpp = pHeader->biBitCount;
  const DWORD bytesPerLine = ((bpp * width + 31) / 32) * 4;
  // Rows come top-down when the header's height is negative.
  const bool topDown = pHeader->biHeight < 0;

  auto image = std::make_unique<CxImage>();
  if (!image->CreateFromArray(pBits, width, height, bpp, bytesPerLine, topDown)) return nullptr;
  image->AlphaSet(255);
  if (image->GetBpp() < 24) image->IncreaseBpp(24);
  image->SetJpegQuality(100);
  return image;
}

HRESULT SetPageSources(CPDFInstance& engine, IAppExtension* pExt) {
  St_AppExtInfo* pInfo = nullptr;
  const HRESULT hr = pExt->FetchInfo(&pInfo, 0);
  if (FAILED(hr)) return hr;

  engine.m_pageSources.RemoveAll();
  const std::u16string_view list =
      pInfo != nullptr ? vwin32::View(pInfo->pszPageSources) : std::u16string_view();
  if (!list.empty()) {
    // With a separator appended, every piece ends at a ";": "a;;b;" gives a, "", b and "".
    const std::u16string all = std::u16string(list) + u";";
    size_t start = 0;
    for (size_t pos = all.find(u';'); pos != std::u16string::npos; pos = all.find(u';', start)) {
      engine.m_pageSources.Add(all.substr(start, pos - start));
      start = pos + 1;
    }
  }
  pExt->ReleaseInfo(&pInfo);
  return hr;
}
