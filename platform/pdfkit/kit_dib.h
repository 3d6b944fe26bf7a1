// Device-independent bitmaps handed out by the kit: a header with its colour table in one
// malloc'ed block and the pixel rows in another, so that the PTK_Free* functions release
// them with free(). The conversions read MuPDF pixmaps as plain memory: they never call
// MuPDF and never throw.
#pragma once

#include <cstddef>
#include <cstdint>

#include "velluma/wintypes.h"

extern "C" {
#include <mupdf/fitz.h>
}

namespace pdfkit {

struct Dib {
  BITMAPINFOHEADER* header = nullptr;
  uint8_t* bits = nullptr;
};

// Bytes per row of a DIB: rows are padded to 4 bytes.
inline size_t DibStride(int width, int bitCount) {
  return (static_cast<size_t>(width) * static_cast<size_t>(bitCount) + 31) / 32 * 4;
}

// The colour table behind a header (null for more than 8 bits per pixel).
inline RGBQUAD* DibColors(BITMAPINFOHEADER* header) {
  return header->biBitCount <= 8 ? reinterpret_cast<RGBQUAD*>(header + 1) : nullptr;
}

// Allocates a DIB of width x height pixels (both positive) with 1, 8 or 24 bits per pixel and
// a colour table of 2^bitCount entries for 8 bits or less (filled with black). Rows are
// zeroed. topDown writes a negative biHeight. False (and nothing allocated) on failure.
bool AllocDib(int width, int height, int bitCount, bool topDown, Dib* out);

// Frees both blocks (either may be null).
void FreeDib(BITMAPINFOHEADER* header, uint8_t* bits);

// Colour tables.
void SetGreyRamp(BITMAPINFOHEADER* header);  // index i -> grey i (0 black .. 255 white)
void SetInkRamp(BITMAPINFOHEADER* header);   // index i -> grey 255 - i (ink coverage)
void SetTwoColours(BITMAPINFOHEADER* header, uint32_t rgb0, uint32_t rgb1);

// Which value of a pixmap pixel the single-channel conversions take.
enum class Sample {
  kGreyOnWhite,  // first colour component, composited over white when the pixmap has alpha
  kAlpha,        // the alpha (last) component as it is
  kInvAlpha,     // 255 minus the alpha component
};

// Pixmap rows to DIB rows. bottomUp: the pixmap's first row becomes the last row in memory.
// (x0, y0, w, h) is the area of the pixmap to take, in pixmap pixels (0-based).
struct PixmapArea {
  int x0, y0, w, h;
};
inline PixmapArea WholePixmap(const fz_pixmap* pix) {
  return {0, 0, pix->w, pix->h};
}

// One value per pixel: 8 bits (index = value) or 1 bit (bit set when value >= 128).
// The colour table is left to the caller.
bool DibFromPixmapChannel(const fz_pixmap* pix, PixmapArea area, Sample sample, int bitCount,
                          bool bottomUp, Dib* out);

// 24-bit BGR from a grey or RGB pixmap (other colour spaces must be converted first), alpha
// composited over white.
bool DibFromPixmapRgb(const fz_pixmap* pix, bool bottomUp, Dib* out);

}  // namespace pdfkit
