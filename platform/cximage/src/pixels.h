// Raw pixel access inside bitmap rows, shared by the image class's source files.
#pragma once

#include <velluma/wintypes.h>

namespace cximage_detail {

constexpr RGBQUAD kWhite{255, 255, 255, 0};

// Palette index of pixel x in a row of 1, 4 or 8 bits per pixel (leftmost pixel in the high
// bits of a byte, as in bitmaps).
inline BYTE ReadIndex(const BYTE* row, DWORD x, DWORD bpp) {
  switch (bpp) {
    case 8:
      return row[x];
    case 4:
      return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
    case 1:
      return (row[x >> 3] >> (7 - (x & 7))) & 1;
    default:
      return 0;
  }
}

inline void WriteIndex(BYTE* row, DWORD x, DWORD bpp, BYTE v) {
  switch (bpp) {
    case 8:
      row[x] = v;
      break;
    case 4: {
      BYTE& b = row[x >> 1];
      b = (x & 1) ? static_cast<BYTE>((b & 0xF0) | (v & 0x0F))
                  : static_cast<BYTE>((b & 0x0F) | ((v & 0x0F) << 4));
      break;
    }
    case 1: {
      BYTE& b = row[x >> 3];
      const BYTE bit = static_cast<BYTE>(0x80 >> (x & 7));
      b = (v & 1) ? static_cast<BYTE>(b | bit) : static_cast<BYTE>(b & ~bit);
      break;
    }
    default:
      break;
  }
}

// Colour of pixel x of a row; pal is the palette for 8 bits or less. rgbReserved is 0.
inline RGBQUAD ReadColor(const BYTE* row, DWORD x, DWORD bpp, const RGBQUAD* pal) {
  if (bpp <= 8) {
    RGBQUAD c = pal[ReadIndex(row, x, bpp)];
    c.rgbReserved = 0;
    return c;
  }
  const BYTE* p = row + static_cast<size_t>(x) * (bpp / 8);
  return RGBQUAD{p[0], p[1], p[2], 0};
}

inline bool SameRgb(RGBQUAD a, RGBQUAD b) {
  return a.rgbRed == b.rgbRed && a.rgbGreen == b.rgbGreen && a.rgbBlue == b.rgbBlue;
}

// Grey level of a colour (ITU-R 601 weights, rounded); exact for greys.
inline BYTE Luminance(RGBQUAD c) {
  return static_cast<BYTE>((299u * c.rgbRed + 587u * c.rgbGreen + 114u * c.rgbBlue + 500u) / 1000u);
}

// Bytes per stored row for a width and depth, padded to 4 bytes.
inline uint64_t StrideFor(uint64_t width, uint64_t bpp) {
  return (width * bpp + 31) / 32 * 4;
}

}  // namespace cximage_detail
