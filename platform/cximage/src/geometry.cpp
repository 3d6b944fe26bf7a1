// Flip, mirror and crop on the bitmap itself; resampling and rotation through Leptonica.
#include <leptonica/allheaders.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <numbers>

#include "cximage/ximage.h"
#include "pixels.h"

using namespace cximage_detail;

namespace {

struct PixDeleter {
  void operator()(PIX* p) const { pixDestroy(&p); }
};
using PixPtr = std::unique_ptr<PIX, PixDeleter>;

// Leptonica keeps rows top-down in 32-bit words whose most significant byte holds the leftmost
// pixel; on a little-endian machine that is a byte-swapped bitmap row. Images are moved in and
// out as byte streams (bitmap order: leftmost pixel first, 32-bit pixels as R, G, B, 0) and
// swapped once.
PixPtr MakePix(DWORD w, DWORD h, int depth, const std::function<void(DWORD, BYTE*)>& fillRow) {
  PixPtr pix(pixCreate(static_cast<l_int32>(w), static_cast<l_int32>(h), depth));
  if (!pix) return pix;
  l_uint32* data = pixGetData(pix.get());
  const l_int32 wpl = pixGetWpl(pix.get());
  for (DWORD i = 0; i < h; ++i) fillRow(i, reinterpret_cast<BYTE*>(data + size_t{i} * wpl));
  pixEndianByteSwap(pix.get());
  return pix;
}

void ReadPix(PIX* pix, const std::function<void(DWORD, const BYTE*)>& takeRow) {
  pixEndianByteSwap(pix);
  const l_uint32* data = pixGetData(pix);
  const l_int32 wpl = pixGetWpl(pix);
  const DWORD h = static_cast<DWORD>(pixGetHeight(pix));
  for (DWORD i = 0; i < h; ++i) takeRow(i, reinterpret_cast<const BYTE*>(data + size_t{i} * wpl));
}

// How an image's pixels are handed to Leptonica.
enum class Plane {
  kIndex,    // palette indices at the image's own depth (sampling operations only)
  kColor,    // 32-bit RGB
  kGray,     // 8-bit grey levels from a grey palette
  kChannel,  // 8-bit alpha values or the fourth byte of 32-bit pixels
};

using PixOp = std::function<PIX*(PIX*, Plane)>;

// Whether an image of w x h pixels stays within the working limit: its 32-bit Leptonica
// form (the largest plane Transform makes) no larger than the largest bitmap an image holds.
bool FitsWorkingSize(double w, double h) {
  return w <= INT32_MAX && h <= INT32_MAX &&
         w * h * 4 <= static_cast<double>(CxImage::kMaxDibBytes);
}

// Runs op over every plane of src (pixels, fourth byte of 32-bit pixels, alpha) and assembles
// the results into out. interpolate: the operation mixes neighbouring pixels, so palette
// indices are replaced by grey levels or colours (except at 1 bit, where op must sample).
bool Transform(const CxImage& src, CxImage& out, bool interpolate, const PixOp& op) {
  const DWORD w = src.GetWidth();
  const DWORD h = src.GetHeight();
  const DWORD bpp = src.GetBpp();
  const RGBQUAD* pal = src.GetPalette();

  Plane main = Plane::kColor;
  if (bpp <= 8)
    main = (bpp == 1 || !interpolate) ? Plane::kIndex
           : src.IsGrayScale()        ? Plane::kGray
                                      : Plane::kColor;
  const DWORD outBpp = main == Plane::kIndex ? bpp : main == Plane::kGray ? 8 : bpp == 32 ? 32 : 24;

  PixPtr in;
  switch (main) {
    case Plane::kIndex: {
      const size_t rowBytes = (size_t{w} * bpp + 7) / 8;
      in = MakePix(w, h, static_cast<int>(bpp), [&](DWORD i, BYTE* line) {
        std::memcpy(line, src.GetBits(h - 1 - i), rowBytes);
      });
      break;
    }
    case Plane::kGray:
      in = MakePix(w, h, 8, [&](DWORD i, BYTE* line) {
        const BYTE* row = src.GetBits(h - 1 - i);
        for (DWORD x = 0; x < w; ++x) line[x] = pal[ReadIndex(row, x, bpp)].rgbRed;
      });
      break;
    default:
      in = MakePix(w, h, 32, [&](DWORD i, BYTE* line) {
        const BYTE* row = src.GetBits(h - 1 - i);
        for (DWORD x = 0; x < w; ++x, line += 4) {
          const RGBQUAD c = ReadColor(row, x, bpp, pal);
          line[0] = c.rgbRed;
          line[1] = c.rgbGreen;
          line[2] = c.rgbBlue;
          line[3] = 0;
        }
      });
      break;
  }
  if (!in) return false;
  PixPtr res(op(in.get(), main));
  in.reset();
  if (!res) return false;
  const DWORD nw = static_cast<DWORD>(pixGetWidth(res.get()));
  const DWORD nh = static_cast<DWORD>(pixGetHeight(res.get()));

  // One 8-bit plane through op; null unless it comes out at the main plane's size.
  const auto channel = [&](const std::function<BYTE(DWORD, DWORD)>& value) -> PixPtr {
    PixPtr c = MakePix(w, h, 8, [&](DWORD i, BYTE* line) {
      for (DWORD x = 0; x < w; ++x) line[x] = value(h - 1 - i, x);
    });
    if (!c) return c;
    PixPtr r(op(c.get(), Plane::kChannel));
    if (r && (static_cast<DWORD>(pixGetWidth(r.get())) != nw ||
              static_cast<DWORD>(pixGetHeight(r.get())) != nh)) {
      r.reset();
    }
    return r;
  };
  PixPtr fourth;
  if (outBpp == 32) {
    fourth = channel([&](DWORD y, DWORD x) { return src.GetBits(y)[size_t{x} * 4 + 3]; });
    if (!fourth) return false;
  }
  PixPtr alpha;
  if (src.AlphaIsValid()) {
    alpha = channel([&](DWORD y, DWORD x) { return src.AlphaGetPointer(0, y)[x]; });
    if (!alpha) return false;
  }

  CxImage img;
  if (img.Create(nw, nh, outBpp, src.GetType()) == nullptr) return false;
  img.SetJpegQuality(src.GetJpegQuality());
  if (main == Plane::kIndex) img.SetPalette(pal, src.GetNumColors());
  if (src.IsTransparent()) {
    if (src.GetTransIndex() >= 0 && main == Plane::kIndex) {
      img.SetTransIndex(src.GetTransIndex());
    } else {
      img.SetTransColor(src.GetTransColor());
    }
  }
  const size_t outRowBytes = (size_t{nw} * outBpp + 7) / 8;
  const DWORD tailBits = static_cast<DWORD>((size_t{nw} * outBpp) % 8);
  ReadPix(res.get(), [&](DWORD i, const BYTE* line) {
    BYTE* row = img.GetBits(nh - 1 - i);
    if (main == Plane::kIndex || main == Plane::kGray) {
      std::memcpy(row, line, outRowBytes);
      // Leptonica may leave bits set beyond the last pixel; rows end clean.
      if (tailBits != 0) row[outRowBytes - 1] &= static_cast<BYTE>(0xFF << (8 - tailBits));
      return;
    }
    const DWORD step = outBpp / 8;
    for (DWORD x = 0; x < nw; ++x, line += 4, row += step) {
      row[0] = line[2];
      row[1] = line[1];
      row[2] = line[0];
    }
  });
  if (fourth) {
    ReadPix(fourth.get(), [&](DWORD i, const BYTE* line) {
      BYTE* row = img.GetBits(nh - 1 - i);
      for (DWORD x = 0; x < nw; ++x) row[size_t{x} * 4 + 3] = line[x];
    });
  }
  if (alpha) {
    if (!img.AlphaSet(0)) return false;
    ReadPix(alpha.get(), [&](DWORD i, const BYTE* line) {
      std::memcpy(img.AlphaGetPointer(0, static_cast<long>(nh - 1 - i)), line, nw);
    });
  }
  out = std::move(img);
  return true;
}

}  // namespace

bool CxImage::Flip(bool /*flipSelection*/, bool flipAlpha) {
  if (!IsValid()) return false;
  std::vector<BYTE> tmp(m_stride);
  for (DWORD top = 0, bottom = m_height - 1; top < bottom; ++top, --bottom) {
    std::memcpy(tmp.data(), RowPtr(top), m_stride);
    std::memcpy(RowPtr(top), RowPtr(bottom), m_stride);
    std::memcpy(RowPtr(bottom), tmp.data(), m_stride);
  }
  if (flipAlpha && AlphaIsValid()) {
    for (DWORD top = 0, bottom = m_height - 1; top < bottom; ++top, --bottom) {
      std::swap_ranges(AlphaRow(top), AlphaRow(top) + m_width, AlphaRow(bottom));
    }
  }
  return true;
}

bool CxImage::Mirror(bool /*mirrorSelection*/, bool mirrorAlpha) {
  if (!IsValid()) return false;
  std::vector<BYTE> tmp(m_stride);
  const DWORD step = m_bpp / 8;
  for (DWORD y = 0; y < m_height; ++y) {
    BYTE* row = RowPtr(y);
    if (m_bpp <= 8) {
      std::memcpy(tmp.data(), row, m_stride);
      for (DWORD x = 0; x < m_width; ++x) {
        WriteIndex(row, x, m_bpp, ReadIndex(tmp.data(), m_width - 1 - x, m_bpp));
      }
    } else {
      for (DWORD l = 0, r = m_width - 1; l < r; ++l, --r) {
        std::swap_ranges(row + size_t{l} * step, row + size_t{l} * step + step,
                         row + size_t{r} * step);
      }
    }
  }
  if (mirrorAlpha && AlphaIsValid()) {
    for (DWORD y = 0; y < m_height; ++y) std::reverse(AlphaRow(y), AlphaRow(y) + m_width);
  }
  return true;
}

bool CxImage::Crop(long left, long top, long right, long bottom, CxImage* dst) {
  if (!IsValid()) return false;
  const long long l = std::max<long long>(left, 0);
  const long long t = std::max<long long>(top, 0);
  const long long r = std::min<long long>(right, m_width);
  const long long b = std::min<long long>(bottom, m_height);
  if (r <= l || b <= t) return false;
  const DWORD nw = static_cast<DWORD>(r - l);
  const DWORD nh = static_cast<DWORD>(b - t);
  const DWORD x0 = static_cast<DWORD>(l);
  const DWORD y0 = static_cast<DWORD>(m_height - b);  // bottom row of the cut, bottom-up

  CxImage out(m_type);
  if (out.Create(nw, nh, m_bpp, m_type) == nullptr) return false;
  out.CopyAttributesFrom(*this);
  if (m_bpp <= 8) out.SetPalette(GetPalette(), GetNumColors());
  for (DWORD y = 0; y < nh; ++y) {
    const BYTE* src = RowPtr(y0 + y);
    BYTE* d = out.RowPtr(y);
    if (m_bpp >= 8) {
      const DWORD step = m_bpp / 8;
      std::memcpy(d, src + size_t{x0} * step, size_t{nw} * step);
    } else {
      for (DWORD x = 0; x < nw; ++x) WriteIndex(d, x, m_bpp, ReadIndex(src, x0 + x, m_bpp));
    }
  }
  if (AlphaIsValid()) {
    if (!out.AlphaSet(0)) return false;
    for (DWORD y = 0; y < nh; ++y) std::memcpy(out.AlphaRow(y), AlphaRow(y0 + y) + x0, nw);
  }
  if (dst != nullptr) {
    *dst = std::move(out);
  } else {
    *this = std::move(out);
  }
  return true;
}

bool CxImage::Crop(const RECT& rect, CxImage* dst) {
  return Crop(rect.left, rect.top, rect.right, rect.bottom, dst);
}

bool CxImage::Resample(long newx, long newy, int mode, CxImage* dst) {
  if (!IsValid() || newx <= 0 || newy <= 0 || !FitsWorkingSize(newx, newy)) return false;
  CxImage& target = dst != nullptr ? *dst : *this;
  if (static_cast<DWORD>(newx) == m_width && static_cast<DWORD>(newy) == m_height) {
    if (dst != nullptr && dst != this) *dst = *this;
    return true;
  }
  const float sx = static_cast<float>(newx) / static_cast<float>(m_width);
  const float sy = static_cast<float>(newy) / static_cast<float>(m_height);
  const bool interpolate = mode != 0;
  CxImage out;
  const bool ok = Transform(*this, out, interpolate, [&](PIX* pix, Plane plane) -> PIX* {
    if (!interpolate || plane == Plane::kIndex) return pixScaleBySampling(pix, sx, sy);
    return pixScaleGeneral(pix, sx, sy, 0.0f, 0);
  });
  if (!ok || out.GetWidth() != static_cast<DWORD>(newx) ||
      out.GetHeight() != static_cast<DWORD>(newy)) {
    return false;
  }
  target = std::move(out);
  return true;
}

bool CxImage::Rotate(float angle, CxImage* dst) {
  if (!IsValid() || !std::isfinite(angle)) return false;
  CxImage& target = dst != nullptr ? *dst : *this;
  double a = std::fmod(static_cast<double>(angle), 360.0);
  if (a < 0) a += 360.0;
  const double quads = std::round(a / 90.0);
  CxImage out;
  bool ok = false;
  if (std::fabs(a - quads * 90.0) < 1e-4) {
    // Lossless: Leptonica counts quarter turns clockwise.
    const int ccw = static_cast<int>(quads) % 4;
    if (ccw == 0) {
      if (dst != nullptr && dst != this) *dst = *this;
      return true;
    }
    const int cw = (4 - ccw) % 4;
    ok = Transform(*this, out, false,
                   [&](PIX* pix, Plane) -> PIX* { return pixRotateOrth(pix, cw); });
  } else {
    if (a > 180.0) a -= 360.0;
    const double sine = std::fabs(std::sin(a * std::numbers::pi / 180.0));
    const double cosine = std::fabs(std::cos(a * std::numbers::pi / 180.0));
    if (!FitsWorkingSize(m_width * cosine + m_height * sine + 2,
                         m_width * sine + m_height * cosine + 2)) {
      return false;
    }
    // Leptonica's angles run clockwise, in radians.
    const float radians = static_cast<float>(-a * std::numbers::pi / 180.0);
    const l_int32 w = static_cast<l_int32>(m_width);
    const l_int32 h = static_cast<l_int32>(m_height);
    // At 1 bit Leptonica's "white" is bit 0; bring in whichever bit the palette shows whiter.
    const l_int32 indexFill = GetNearestIndex(kWhite) == 0 ? L_BRING_IN_WHITE : L_BRING_IN_BLACK;
    ok = Transform(*this, out, true, [&](PIX* pix, Plane plane) -> PIX* {
      switch (plane) {
        case Plane::kIndex:
          return pixRotate(pix, radians,
                           std::fabs(radians) > 0.06f ? L_ROTATE_SAMPLING : L_ROTATE_SHEAR,
                           indexFill, w, h);
        case Plane::kChannel:
          return pixRotate(pix, radians, L_ROTATE_AREA_MAP, L_BRING_IN_BLACK, w, h);
        default:
          return pixRotate(pix, radians, L_ROTATE_AREA_MAP, L_BRING_IN_WHITE, w, h);
      }
    });
  }
  if (!ok) return false;
  target = std::move(out);
  return true;
}
