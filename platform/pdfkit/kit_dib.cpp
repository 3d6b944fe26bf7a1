// Device-independent bitmaps of the page-content kit.
#include "kit_dib.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace pdfkit {

bool AllocDib(int width, int height, int bitCount, bool topDown, Dib* out) {
  out->header = nullptr;
  out->bits = nullptr;
  if (width <= 0 || height <= 0) return false;
  if (bitCount != 1 && bitCount != 8 && bitCount != 24) return false;
  const size_t stride = DibStride(width, bitCount);
  const size_t rows = static_cast<size_t>(height);
  if (stride > std::numeric_limits<DWORD>::max() / rows) return false;
  const size_t colours = bitCount <= 8 ? size_t{1} << bitCount : 0;
  auto* header = static_cast<BITMAPINFOHEADER*>(
      std::calloc(1, sizeof(BITMAPINFOHEADER) + colours * sizeof(RGBQUAD)));
  auto* bits = static_cast<uint8_t*>(std::calloc(rows, stride));
  if (!header || !bits) {
    std::free(header);
    std::free(bits);
    return false;
  }
  header->biSize = sizeof(BITMAPINFOHEADER);
  header->biWidth = width;
  header->biHeight = topDown ? -height : height;
  header->biPlanes = 1;
  header->biBitCount = static_cast<WORD>(bitCount);
  header->biCompression = BI_RGB;
  header->biSizeImage = static_cast<DWORD>(stride * rows);
  header->biClrUsed = static_cast<DWORD>(colours);
  out->header = header;
  out->bits = bits;
  return true;
}

void FreeDib(BITMAPINFOHEADER* header, uint8_t* bits) {
  std::free(header);
  std::free(bits);
}

namespace {

RGBQUAD Quad(uint32_t rgb) {
  RGBQUAD q;
  q.rgbRed = static_cast<BYTE>(rgb >> 16);
  q.rgbGreen = static_cast<BYTE>(rgb >> 8);
  q.rgbBlue = static_cast<BYTE>(rgb);
  q.rgbReserved = 0;
  return q;
}

// Composites a premultiplied component over white.
inline uint8_t OnWhite(uint8_t c, uint8_t alpha) {
  int v = c + 255 - alpha;
  return static_cast<uint8_t>(v > 255 ? 255 : v);
}

bool AreaInside(const fz_pixmap* pix, PixmapArea a) {
  return a.w > 0 && a.h > 0 && a.x0 >= 0 && a.y0 >= 0 && a.x0 <= pix->w - a.w &&
         a.y0 <= pix->h - a.h;
}

}  // namespace

void SetGreyRamp(BITMAPINFOHEADER* header) {
  RGBQUAD* colours = DibColors(header);
  const int n = 1 << header->biBitCount;
  for (int i = 0; i < n; ++i) {
    uint32_t g = static_cast<uint32_t>(i * 255 / (n - 1));
    colours[i] = Quad(g << 16 | g << 8 | g);
  }
}

void SetInkRamp(BITMAPINFOHEADER* header) {
  RGBQUAD* colours = DibColors(header);
  const int n = 1 << header->biBitCount;
  for (int i = 0; i < n; ++i) {
    uint32_t g = static_cast<uint32_t>(255 - i * 255 / (n - 1));
    colours[i] = Quad(g << 16 | g << 8 | g);
  }
}

void SetTwoColours(BITMAPINFOHEADER* header, uint32_t rgb0, uint32_t rgb1) {
  RGBQUAD* colours = DibColors(header);
  colours[0] = Quad(rgb0);
  colours[1] = Quad(rgb1);
}

bool DibFromPixmapChannel(const fz_pixmap* pix, PixmapArea area, Sample sample, int bitCount,
                          bool bottomUp, Dib* out) {
  out->header = nullptr;
  out->bits = nullptr;
  if (!pix || !pix->samples || pix->n < 1 || !AreaInside(pix, area)) return false;
  if (sample != Sample::kGreyOnWhite && !pix->alpha) return false;
  if (!AllocDib(area.w, area.h, bitCount, !bottomUp, out)) return false;
  const int n = pix->n;
  const int alphaIndex = n - 1;
  const bool composite = sample == Sample::kGreyOnWhite && pix->alpha && n > 1;
  const size_t stride = DibStride(area.w, bitCount);
  // Grey rows without alpha copy as they are.
  const bool copyRows = bitCount == 8 && n == 1 && !pix->alpha && sample == Sample::kGreyOnWhite;
  for (int y = 0; y < area.h; ++y) {
    const uint8_t* src = pix->samples + static_cast<ptrdiff_t>(area.y0 + y) * pix->stride +
                         static_cast<ptrdiff_t>(area.x0) * n;
    uint8_t* dst = out->bits + stride * static_cast<size_t>(bottomUp ? area.h - 1 - y : y);
    if (copyRows) {
      std::memcpy(dst, src, static_cast<size_t>(area.w));
      continue;
    }
    for (int x = 0; x < area.w; ++x, src += n) {
      uint8_t v;
      switch (sample) {
        case Sample::kGreyOnWhite:
          v = composite ? OnWhite(src[0], src[alphaIndex]) : src[0];
          break;
        case Sample::kAlpha:
          v = src[alphaIndex];
          break;
        default:
          v = static_cast<uint8_t>(255 - src[alphaIndex]);
          break;
      }
      if (bitCount == 8)
        dst[x] = v;
      else if (v >= 128)
        dst[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
    }
  }
  return true;
}

bool DibFromPixmapRgb(const fz_pixmap* pix, bool bottomUp, Dib* out) {
  out->header = nullptr;
  out->bits = nullptr;
  if (!pix || !pix->samples) return false;
  const int n = pix->n;
  const int colours = n - pix->alpha;
  if (colours != 1 && colours != 3) return false;
  if (!AllocDib(pix->w, pix->h, 24, !bottomUp, out)) return false;
  const size_t stride = DibStride(pix->w, 24);
  for (int y = 0; y < pix->h; ++y) {
    const uint8_t* src = pix->samples + static_cast<ptrdiff_t>(y) * pix->stride;
    uint8_t* dst = out->bits + stride * static_cast<size_t>(bottomUp ? pix->h - 1 - y : y);
    if (n == 3) {  // RGB without alpha, the common case
      for (int x = 0; x < pix->w; ++x, src += 3, dst += 3) {
        dst[0] = src[2];
        dst[1] = src[1];
        dst[2] = src[0];
      }
      continue;
    }
    for (int x = 0; x < pix->w; ++x, src += n, dst += 3) {
      uint8_t r = src[0];
      uint8_t g = colours == 3 ? src[1] : r;
      uint8_t b = colours == 3 ? src[2] : r;
      if (pix->alpha) {
        const uint8_t a = src[n - 1];
        r = OnWhite(r, a);
        g = OnWhite(g, a);
        b = OnWhite(b, a);
      }
      dst[0] = b;
      dst[1] = g;
      dst[2] = r;
    }
  }
  return true;
}

}  // namespace pdfkit
