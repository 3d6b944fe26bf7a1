// The image class: creation, palette, pixels, transparency and alpha, depth, drawing and the
// hand-over of the packed bitmap.
#include "cximage/ximage.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

#include "pixels.h"

using namespace cximage_detail;

namespace {

constexpr size_t kHeaderBytes = sizeof(BITMAPINFOHEADER);

bool IsSupportedBpp(DWORD bpp) {
  return bpp == 1 || bpp == 4 || bpp == 8 || bpp == 24 || bpp == 32;
}

DWORD ColorsFor(DWORD bpp) {
  return bpp <= 8 ? (DWORD{1} << bpp) : 0;
}

// Rounded quotient n / d (halves away from minus infinity) for d > 0.
__int128 RoundDiv(__int128 n, __int128 d) {
  __int128 num = 2 * n + d;
  __int128 den = 2 * d;
  __int128 q = num / den;
  if ((num % den != 0) && (num < 0)) --q;  // floor for negative numerators
  return q;
}

}  // namespace

CxImage::CxImage(DWORD imagetype) : m_type(imagetype) {}

CxImage::CxImage(const CxImage& src, bool copypixels, bool /*copyselection*/, bool copyalpha) {
  if (src.IsValid()) {
    if (copypixels) {
      m_dib = src.m_dib;
      m_width = src.m_width;
      m_height = src.m_height;
      m_bpp = src.m_bpp;
      m_stride = src.m_stride;
    } else if (Create(src.m_width, src.m_height, src.m_bpp, src.m_type) != nullptr) {
      if (m_bpp <= 8) SetPalette(src.GetPalette(), src.GetNumColors());
    }
    if (copyalpha && IsValid()) m_alpha = src.m_alpha;
  }
  CopyAttributesFrom(src);
}

CxImage& CxImage::operator=(const CxImage& src) {
  if (this != &src) {
    CxImage copy(src);
    *this = std::move(copy);
  }
  return *this;
}

CxImage::~CxImage() = default;

void CxImage::CopyAttributesFrom(const CxImage& src) {
  m_type = src.m_type;
  m_jpegQuality = src.m_jpegQuality;
  m_transSet = src.m_transSet;
  m_transIndex = src.m_transIndex;
  m_transColor = src.m_transColor;
}

bool CxImage::Destroy() {
  std::vector<BYTE>().swap(m_dib);
  std::vector<BYTE>().swap(m_alpha);
  m_width = m_height = m_bpp = m_stride = 0;
  return true;
}

// ---------------------------------------------------------------------------------------------
// Creation

void* CxImage::Create(DWORD width, DWORD height, DWORD bpp, DWORD imagetype) {
  Destroy();
  m_transSet = false;
  m_transIndex = -1;
  m_transColor = RGBQUAD{0, 0, 0, 0};
  if (!IsSupportedBpp(bpp) || width == 0 || height == 0) return nullptr;
  if (width > static_cast<DWORD>(INT32_MAX) || height > static_cast<DWORD>(INT32_MAX)) {
    return nullptr;
  }
  const uint64_t stride = StrideFor(width, bpp);
  const uint64_t colors = ColorsFor(bpp);
  const uint64_t total = kHeaderBytes + colors * sizeof(RGBQUAD) + stride * height;
  if (total > kMaxDibBytes) return nullptr;
  try {
    m_dib.assign(static_cast<size_t>(total), 0);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  BITMAPINFOHEADER head{};
  head.biSize = sizeof(BITMAPINFOHEADER);
  head.biWidth = static_cast<LONG>(width);
  head.biHeight = static_cast<LONG>(height);
  head.biPlanes = 1;
  head.biBitCount = static_cast<WORD>(bpp);
  head.biCompression = BI_RGB;
  head.biSizeImage = static_cast<DWORD>(stride * height);
  head.biClrUsed = static_cast<DWORD>(colors);
  std::memcpy(m_dib.data(), &head, sizeof(head));
  m_width = width;
  m_height = height;
  m_bpp = bpp;
  m_stride = static_cast<DWORD>(stride);
  m_type = imagetype;
  if (bpp <= 8) SetGrayPalette();
  return RowPtr(0);
}

bool CxImage::CreateFromArray(const BYTE* bits, DWORD width, DWORD height, DWORD bpp,
                              DWORD bytesPerLine, bool flip) {
  if (bits == nullptr || !IsSupportedBpp(bpp) || width == 0 || height == 0) {
    Destroy();
    return false;
  }
  const uint64_t rowBytes = (uint64_t{width} * bpp + 7) / 8;
  if (bytesPerLine < rowBytes) {
    Destroy();
    return false;
  }
  // Built aside, so that bits may point into this image.
  CxImage img(m_type);
  img.m_jpegQuality = m_jpegQuality;
  if (img.Create(width, height, bpp, m_type) == nullptr) {
    Destroy();
    return false;
  }
  for (DWORD y = 0; y < height; ++y) {
    const BYTE* src = bits + static_cast<size_t>(y) * bytesPerLine;
    BYTE* dst = img.RowPtr(flip ? height - 1 - y : y);
    std::memcpy(dst, src, static_cast<size_t>(rowBytes));
  }
  *this = std::move(img);
  return true;
}

void CxImage::Clear(BYTE value) {
  if (!IsValid()) return;
  std::memset(RowPtr(0), value, static_cast<size_t>(m_stride) * m_height);
}

// ---------------------------------------------------------------------------------------------
// Description

BYTE* CxImage::PaletteBytes() const {
  return const_cast<BYTE*>(m_dib.data()) + kHeaderBytes;
}

BYTE* CxImage::RowPtr(DWORD row) const {
  return PaletteBytes() + size_t{GetNumColors()} * sizeof(RGBQUAD) + size_t{row} * m_stride;
}

BYTE* CxImage::GetBits(DWORD row) {
  if (!IsValid() || row >= m_height) return nullptr;
  return RowPtr(row);
}

const BYTE* CxImage::GetBits(DWORD row) const {
  if (!IsValid() || row >= m_height) return nullptr;
  return RowPtr(row);
}

void* CxImage::GetDIB() const {
  return IsValid() ? const_cast<BYTE*>(m_dib.data()) : nullptr;
}

DWORD CxImage::GetSize() const {
  return static_cast<DWORD>(m_dib.size());
}

HGLOBAL CxImage::CopyToHandle() const {
  if (!IsValid()) return nullptr;
  HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, m_dib.size());
  if (mem == nullptr) return nullptr;
  void* dst = GlobalLock(mem);
  if (dst == nullptr) {
    GlobalFree(mem);
    return nullptr;
  }
  std::memcpy(dst, m_dib.data(), m_dib.size());
  GlobalUnlock(mem);
  return mem;
}

// ---------------------------------------------------------------------------------------------
// Palette

DWORD CxImage::GetNumColors() const {
  return IsValid() ? ColorsFor(m_bpp) : 0;
}

RGBQUAD* CxImage::GetPalette() const {
  if (GetNumColors() == 0) return nullptr;
  return reinterpret_cast<RGBQUAD*>(PaletteBytes());
}

bool CxImage::SetPalette(const RGBQUAD* pal, DWORD count) {
  RGBQUAD* dst = GetPalette();
  if (dst == nullptr || pal == nullptr) return false;
  const DWORD n = std::min(count, GetNumColors());
  std::memmove(dst, pal, size_t{n} * sizeof(RGBQUAD));
  if (m_transIndex >= 0 && static_cast<DWORD>(m_transIndex) < n) {
    m_transColor = dst[m_transIndex];
  }
  return true;
}

bool CxImage::SetGrayPalette() {
  RGBQUAD* pal = GetPalette();
  if (pal == nullptr) return false;
  const DWORD n = GetNumColors();
  for (DWORD i = 0; i < n; ++i) {
    const BYTE v = static_cast<BYTE>(i * 255 / (n - 1));
    pal[i] = RGBQUAD{v, v, v, 0};
  }
  return true;
}

RGBQUAD CxImage::GetPaletteColor(BYTE idx) const {
  const RGBQUAD* pal = GetPalette();
  if (pal == nullptr || idx >= GetNumColors()) return RGBQUAD{0, 0, 0, 0};
  return pal[idx];
}

bool CxImage::IsGrayScale() const {
  const RGBQUAD* pal = GetPalette();
  if (pal == nullptr) return false;
  for (DWORD i = 0, n = GetNumColors(); i < n; ++i) {
    if (pal[i].rgbRed != pal[i].rgbGreen || pal[i].rgbRed != pal[i].rgbBlue) return false;
  }
  return true;
}

BYTE CxImage::GetNearestIndex(RGBQUAD c) const {
  const RGBQUAD* pal = GetPalette();
  if (pal == nullptr) return 0;
  long best = LONG_MAX;
  BYTE bestIndex = 0;
  for (DWORD i = 0, n = GetNumColors(); i < n; ++i) {
    const long dr = long{pal[i].rgbRed} - c.rgbRed;
    const long dg = long{pal[i].rgbGreen} - c.rgbGreen;
    const long db = long{pal[i].rgbBlue} - c.rgbBlue;
    const long d = dr * dr + dg * dg + db * db;
    if (d < best) {
      best = d;
      bestIndex = static_cast<BYTE>(i);
      if (d == 0) break;
    }
  }
  return bestIndex;
}

// ---------------------------------------------------------------------------------------------
// Pixels

bool CxImage::IsInside(long x, long y) const {
  return IsValid() && x >= 0 && y >= 0 && x < static_cast<long>(m_width) &&
         y < static_cast<long>(m_height);
}

RGBQUAD CxImage::GetPixelColor(long x, long y) const {
  if (!IsInside(x, y)) return RGBQUAD{0, 0, 0, 0};
  RGBQUAD c = ReadColor(RowPtr(static_cast<DWORD>(y)), static_cast<DWORD>(x), m_bpp, GetPalette());
  c.rgbReserved = AlphaGet(x, y);
  return c;
}

BYTE CxImage::GetPixelIndex(long x, long y) const {
  if (!IsInside(x, y) || m_bpp > 8) return 0;
  return ReadIndex(RowPtr(static_cast<DWORD>(y)), static_cast<DWORD>(x), m_bpp);
}

void CxImage::SetPixelColor(long x, long y, RGBQUAD c, bool setAlpha) {
  if (!IsInside(x, y)) return;
  BYTE* row = RowPtr(static_cast<DWORD>(y));
  const DWORD ux = static_cast<DWORD>(x);
  if (m_bpp <= 8) {
    WriteIndex(row, ux, m_bpp, GetNearestIndex(c));
  } else {
    BYTE* p = row + size_t{ux} * (m_bpp / 8);
    p[0] = c.rgbBlue;
    p[1] = c.rgbGreen;
    p[2] = c.rgbRed;
  }
  if (setAlpha && AlphaIsValid()) AlphaRow(static_cast<DWORD>(y))[ux] = c.rgbReserved;
}

void CxImage::SetPixelIndex(long x, long y, BYTE idx) {
  if (!IsInside(x, y) || m_bpp > 8 || idx >= GetNumColors()) return;
  WriteIndex(RowPtr(static_cast<DWORD>(y)), static_cast<DWORD>(x), m_bpp, idx);
}

// ---------------------------------------------------------------------------------------------
// Transparency and alpha

void CxImage::SetTransColor(RGBQUAD rgb) {
  m_transSet = true;
  m_transIndex = -1;
  m_transColor = rgb;
}

void CxImage::SetTransIndex(long idx) {
  if (idx < 0) {
    m_transSet = false;
    m_transIndex = -1;
    m_transColor = RGBQUAD{0, 0, 0, 0};
    return;
  }
  if (static_cast<unsigned long>(idx) >= GetNumColors()) return;
  m_transSet = true;
  m_transIndex = idx;
  m_transColor = GetPalette()[idx];
}

RGBQUAD CxImage::GetTransColor() const {
  if (!m_transSet) return RGBQUAD{0, 0, 0, 0};
  if (m_transIndex >= 0 && static_cast<unsigned long>(m_transIndex) < GetNumColors()) {
    return GetPalette()[m_transIndex];
  }
  return m_transColor;
}

bool CxImage::IsPixelTransparent(const BYTE* row, DWORD x) const {
  if (!m_transSet) return false;
  if (m_bpp <= 8) {
    const BYTE idx = ReadIndex(row, x, m_bpp);
    if (m_transIndex >= 0) return idx == m_transIndex;
    return SameRgb(GetPalette()[idx], m_transColor);
  }
  return SameRgb(ReadColor(row, x, m_bpp, nullptr), m_transColor);
}

bool CxImage::AlphaSet(BYTE level) {
  if (!IsValid()) return false;
  const uint64_t n = uint64_t{m_width} * m_height;
  if (n > kMaxDibBytes) return false;
  try {
    m_alpha.assign(static_cast<size_t>(n), level);
  } catch (const std::bad_alloc&) {
    m_alpha.clear();
    return false;
  }
  return true;
}

bool CxImage::AlphaSet(const CxImage& mask) {
  if (!IsValid() || !mask.IsValid() || mask.m_width != m_width || mask.m_height != m_height) {
    return false;
  }
  std::vector<BYTE> alpha;
  try {
    alpha.resize(size_t{m_width} * m_height);
  } catch (const std::bad_alloc&) {
    return false;
  }
  // Grey level of every palette entry, computed once.
  BYTE levels[256] = {};
  const RGBQUAD* pal = mask.GetPalette();
  for (DWORD i = 0, n = mask.GetNumColors(); i < n; ++i) levels[i] = Luminance(pal[i]);
  for (DWORD y = 0; y < m_height; ++y) {
    const BYTE* row = mask.RowPtr(y);
    BYTE* dst = alpha.data() + size_t{y} * m_width;
    for (DWORD x = 0; x < m_width; ++x) {
      dst[x] = mask.m_bpp <= 8 ? levels[ReadIndex(row, x, mask.m_bpp)]
                               : Luminance(ReadColor(row, x, mask.m_bpp, nullptr));
    }
  }
  m_alpha = std::move(alpha);
  return true;
}

void CxImage::AlphaDelete() {
  std::vector<BYTE>().swap(m_alpha);
}

BYTE CxImage::AlphaGet(long x, long y) const {
  if (!IsInside(x, y)) return 0;
  if (!AlphaIsValid()) return 255;
  return AlphaRow(static_cast<DWORD>(y))[x];
}

bool CxImage::AlphaStrip() {
  if (!IsValid()) return false;
  if (!AlphaIsValid()) return true;
  const RGBQUAD bg = m_transSet ? GetTransColor() : kWhite;
  CxImage out(m_type);
  if (out.Create(m_width, m_height, 24, m_type) == nullptr) return false;
  out.CopyAttributesFrom(*this);
  if (out.m_transIndex >= 0) {
    out.m_transIndex = -1;
    out.m_transColor = bg;
  }
  const RGBQUAD* pal = GetPalette();
  const auto blend = [](BYTE c, BYTE b, unsigned a) {
    return static_cast<BYTE>((c * a + b * (255u - a) + 127u) / 255u);
  };
  for (DWORD y = 0; y < m_height; ++y) {
    const BYTE* src = RowPtr(y);
    const BYTE* alpha = AlphaRow(y);
    BYTE* dst = out.RowPtr(y);
    for (DWORD x = 0; x < m_width; ++x, dst += 3) {
      const RGBQUAD c = ReadColor(src, x, m_bpp, pal);
      const unsigned a = alpha[x];
      dst[0] = blend(c.rgbBlue, bg.rgbBlue, a);
      dst[1] = blend(c.rgbGreen, bg.rgbGreen, a);
      dst[2] = blend(c.rgbRed, bg.rgbRed, a);
    }
  }
  *this = std::move(out);
  return true;
}

// ---------------------------------------------------------------------------------------------
// Depth

bool CxImage::IncreaseBpp(DWORD bpp) {
  if (!IsValid() || !IsSupportedBpp(bpp) || bpp < m_bpp) return false;
  if (bpp == m_bpp) return true;
  CxImage out(m_type);
  if (out.Create(m_width, m_height, bpp, m_type) == nullptr) return false;
  out.CopyAttributesFrom(*this);
  const RGBQUAD* pal = GetPalette();
  if (bpp <= 8) {
    // 1 -> 4 or 8, 4 -> 8: indices and palette kept, the new entries black.
    std::vector<RGBQUAD> table(out.GetNumColors(), RGBQUAD{0, 0, 0, 0});
    std::copy(pal, pal + GetNumColors(), table.begin());
    out.SetPalette(table.data(), static_cast<DWORD>(table.size()));
    for (DWORD y = 0; y < m_height; ++y) {
      const BYTE* src = RowPtr(y);
      BYTE* dst = out.RowPtr(y);
      for (DWORD x = 0; x < m_width; ++x) WriteIndex(dst, x, bpp, ReadIndex(src, x, m_bpp));
    }
  } else {
    const DWORD step = bpp / 8;
    for (DWORD y = 0; y < m_height; ++y) {
      const BYTE* src = RowPtr(y);
      BYTE* dst = out.RowPtr(y);
      for (DWORD x = 0; x < m_width; ++x, dst += step) {
        const RGBQUAD c = ReadColor(src, x, m_bpp, pal);
        dst[0] = c.rgbBlue;
        dst[1] = c.rgbGreen;
        dst[2] = c.rgbRed;
      }
    }
    if (out.m_transIndex >= 0) out.SetTransColor(GetTransColor());
  }
  out.m_alpha = std::move(m_alpha);
  *this = std::move(out);
  return true;
}

// ---------------------------------------------------------------------------------------------
// Drawing

bool CxImage::MixFrom(const CxImage& src, long x, long y) {
  if (!IsValid() || !src.IsValid()) return false;
  if (&src == this) {
    const CxImage copy(src);
    return MixFrom(copy, x, y);
  }
  // Overlap of src placed at (x, y) with this image, in this image's coordinates.
  const long long x0 = std::max<long long>(x, 0);
  const long long y0 = std::max<long long>(y, 0);
  const long long x1 = std::min<long long>(static_cast<long long>(x) + src.m_width, m_width);
  const long long y1 = std::min<long long>(static_cast<long long>(y) + src.m_height, m_height);
  if (x0 >= x1 || y0 >= y1) return true;

  // For palettised sources: the target index (palettised target) or colour of each index.
  const RGBQUAD* srcPal = src.GetPalette();
  const RGBQUAD* dstPal = GetPalette();
  BYTE indexMap[256];
  bool copyIndices = false;
  if (src.m_bpp <= 8 && m_bpp <= 8) {
    copyIndices = src.m_bpp == m_bpp;
    for (DWORD i = 0, n = src.GetNumColors(); i < n && copyIndices; ++i) {
      copyIndices = SameRgb(srcPal[i], dstPal[i]);
    }
    for (DWORD i = 0, n = src.GetNumColors(); i < n; ++i) {
      indexMap[i] = copyIndices ? static_cast<BYTE>(i) : GetNearestIndex(srcPal[i]);
    }
  }

  const bool alpha = AlphaIsValid();
  for (long long ty = y0; ty < y1; ++ty) {
    const DWORD sy = static_cast<DWORD>(ty - y);
    const BYTE* srow = src.RowPtr(sy);
    BYTE* drow = RowPtr(static_cast<DWORD>(ty));
    for (long long tx = x0; tx < x1; ++tx) {
      const DWORD sx = static_cast<DWORD>(tx - x);
      const DWORD dx = static_cast<DWORD>(tx);
      if (src.IsPixelTransparent(srow, sx)) continue;
      if (m_bpp <= 8) {
        const BYTE idx = src.m_bpp <= 8 ? indexMap[ReadIndex(srow, sx, src.m_bpp)]
                                        : GetNearestIndex(ReadColor(srow, sx, src.m_bpp, nullptr));
        WriteIndex(drow, dx, m_bpp, idx);
      } else {
        const RGBQUAD c = ReadColor(srow, sx, src.m_bpp, srcPal);
        BYTE* p = drow + size_t{dx} * (m_bpp / 8);
        p[0] = c.rgbBlue;
        p[1] = c.rgbGreen;
        p[2] = c.rgbRed;
      }
      if (alpha) {
        AlphaRow(static_cast<DWORD>(ty))[dx] =
            src.AlphaIsValid() ? src.AlphaRow(sy)[sx] : BYTE{255};
      }
    }
  }
  return true;
}

void CxImage::DrawLine(int startX, int endX, int startY, int endY, RGBQUAD color, bool setAlpha) {
  if (!IsValid()) return;
  // Steps along the major axis, restricted to the image, so that far-away end points cost
  // nothing; the minor coordinate is the rounded exact value.
  const long long dx = static_cast<long long>(endX) - startX;
  const long long dy = static_cast<long long>(endY) - startY;
  const bool xMajor = (dx < 0 ? -dx : dx) >= (dy < 0 ? -dy : dy);
  const long long d = xMajor ? dx : dy;   // major delta
  const long long dn = xMajor ? dy : dx;  // minor delta
  const long long s = xMajor ? startX : startY;
  const long long sn = xMajor ? startY : startX;
  const long long extent = xMajor ? m_width : m_height;
  long long lo = std::min(s, s + d);
  long long hi = std::max(s, s + d);
  lo = std::max(lo, 0LL);
  hi = std::min(hi, extent - 1);
  for (long long m = lo; m <= hi; ++m) {
    long long n = sn;
    if (d != 0) {
      const __int128 num = static_cast<__int128>(m - s) * dn;
      n = sn + static_cast<long long>(d > 0 ? RoundDiv(num, d) : RoundDiv(-num, -d));
    }
    const long long px = xMajor ? m : n;
    const long long py = xMajor ? n : m;
    if (px < 0 || py < 0 || px >= m_width || py >= m_height) continue;
    SetPixelColor(static_cast<long>(px), static_cast<long>(py), color, setAlpha);
  }
}

void CxImage::SetJpegQuality(BYTE q) {
  m_jpegQuality = std::clamp<BYTE>(q, 1, 100);
}

BYTE* CxImage::AlphaGetPointer(long x, long y) {
  if (!AlphaIsValid() || !IsInside(x, y)) return nullptr;
  return AlphaRow(static_cast<DWORD>(y)) + x;
}

const BYTE* CxImage::AlphaGetPointer(long x, long y) const {
  if (!AlphaIsValid() || !IsInside(x, y)) return nullptr;
  return AlphaRow(static_cast<DWORD>(y)) + x;
}
