// Page renderings of the page-content kit: the CropBox drawn by MuPDF's draw device straight
// into the rows of a top-down 24-bit BGR DIB.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "kit_dib.h"
#include "kit_internal.h"

namespace pdfkit {
namespace {

constexpr double kMaxThumbnailPixels = 400e6;

// Draws the page into the DIB's rows: the pixmap shares the DIB's memory and row stride.
bool DrawPage(PTK_Document* hDoc, const PageFrame& frame, double ppuX, double ppuY, double thicken,
              const Dib& dib) {
  fz_context* ctx = hDoc->ctx;
  const int w = dib.header->biWidth;
  const int h = -dib.header->biHeight;
  const int stride = static_cast<int>(DibStride(w, 24));
  const float oldMinWidth = fz_graphics_min_line_width(ctx);
  const int oldTextAa = fz_text_aa_level(ctx);
  const int oldGraphicsAa = fz_graphics_aa_level(ctx);
  fz_pixmap* pix = nullptr;
  fz_device* dev = nullptr;
  fz_cookie cookie = {};
  PageGuard guard(hDoc, hDoc->cachedPageNo, &cookie);
  bool ok = false;
  fz_var(pix);
  fz_var(dev);
  fz_var(ok);
  fz_try(ctx) {
    pix = fz_new_pixmap_with_data(ctx, fz_device_bgr(ctx), w, h, nullptr, 0, stride, dib.bits);
    fz_set_aa_level(ctx, 8);
    fz_set_graphics_min_line_width(ctx, static_cast<float>(thicken));
    // Kit coordinates (points, y upward from the CropBox's lower edge) to pixels.
    const fz_matrix toPixels =
        fz_make_matrix(static_cast<float>(ppuX), 0, 0, static_cast<float>(-ppuY), 0,
                       static_cast<float>(frame.height * ppuY));
    dev = fz_new_draw_device(ctx, toPixels, pix);
    ok = true;
    // Content MuPDF cannot interpret to the end (a broken inline image, the memory cap)
    // leaves what was drawn before it: the rendering is still the page's best picture.
    fz_try(ctx) {
      RunPageContents(hDoc, frame, dev, &cookie);
      fz_close_device(ctx, dev);
    }
    fz_catch(ctx) {}
  }
  fz_always(ctx) {
    fz_drop_device(ctx, dev);
    fz_drop_pixmap(ctx, pix);
    fz_set_graphics_min_line_width(ctx, oldMinWidth);
    fz_set_text_aa_level(ctx, oldTextAa);
    fz_set_graphics_aa_level(ctx, oldGraphicsAa);
  }
  fz_catch(ctx) {
    ok = false;
  }
  // A page past the limits has no rendering (what was drawn is only part of it).
  return ok && !guard.tripped && !PastLimits(hDoc, hDoc->cachedPageNo);
}

bool LoadFrame(PTK_Document* hDoc, int nPage, PageFrame* frame) {
  fz_context* ctx = hDoc->ctx;
  bool ok = false;
  fz_var(ok);
  fz_try(ctx) {
    LoadPageFrame(hDoc, nPage, frame);
    ok = true;
  }
  fz_catch(ctx) {
    ok = false;
  }
  return ok;
}

}  // namespace
}  // namespace pdfkit

PTK_API uint8_t PTK_GetPageThumbnail(PTK_HDOC hDoc, int32_t nPage, BITMAPINFOHEADER** ppHeader,
                                     uint8_t** ppBits, double dScaleX, double dScaleY,
                                     double dThicken) {
  if (ppHeader) *ppHeader = nullptr;
  if (ppBits) *ppBits = nullptr;
  if (!ppHeader || !ppBits || !pdfkit::ValidPage(hDoc, nPage)) return 0;
  if (!std::isfinite(dScaleX) || !std::isfinite(dScaleY) || dScaleX <= 0 || dScaleY <= 0) return 0;
  if (!std::isfinite(dThicken) || dThicken < 0) dThicken = 0;

  pdfkit::PageFrame frame;
  if (!pdfkit::LoadFrame(hDoc, nPage, &frame)) return 0;
  // Pixels per inch = scale * 96 * 72 * unit; pixels per page unit = that times the unit.
  const double unit = PTK_GetPageUnit(hDoc, nPage);
  const double ppuX = dScaleX * 96.0 * 72.0 * unit * unit;
  const double ppuY = dScaleY * 96.0 * 72.0 * unit * unit;
  const double w = std::max(1.0, std::round(frame.width * ppuX));
  const double h = std::max(1.0, std::round(frame.height * ppuY));
  if (!std::isfinite(w) || !std::isfinite(h) || w * h > pdfkit::kMaxThumbnailPixels) return 0;

  pdfkit::Dib dib;
  if (!pdfkit::AllocDib(static_cast<int>(w), static_cast<int>(h), 24, true, &dib)) return 0;
  std::memset(dib.bits, 0xFF, dib.header->biSizeImage);
  const double metresPerInch = 0.0254;
  dib.header->biXPelsPerMeter = static_cast<LONG>(std::lround(ppuX / unit / metresPerInch));
  dib.header->biYPelsPerMeter = static_cast<LONG>(std::lround(ppuY / unit / metresPerInch));
  // A rendering of a few pixels shows nothing legible; it is handed out blank without
  // interpreting the page, so that callers asking for one as a formality stay cheap.
  if (w * h <= pdfkit::kBlankThumbnailPixels) {
    *ppHeader = dib.header;
    *ppBits = dib.bits;
    return 1;
  }
  if (!pdfkit::DrawPage(hDoc, frame, ppuX, ppuY, dThicken, dib)) {
    pdfkit::FreeDib(dib.header, dib.bits);
    return 0;
  }
  *ppHeader = dib.header;
  *ppBits = dib.bits;
  return 1;
}

PTK_API void PTK_FreePageThumbnail(BITMAPINFOHEADER* pHeader, uint8_t* pBits) {
  pdfkit::FreeDib(pHeader, pBits);
}
