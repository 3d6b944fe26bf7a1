#include "sheet.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "velluma/wintypes.h"

namespace glyphrec {

namespace {
// Cells read at most (a page has a few thousand distinct glyphs); a header promising more is
// cut there rather than read for hours.
constexpr size_t kMaxCells = 1 << 16;
}  // namespace

bool Sheet::Parse(const uint8_t* dib, size_t size) {
  *this = Sheet{};
  if (!dib || size < sizeof(BITMAPINFOHEADER)) return false;
  BITMAPINFOHEADER hdr;
  std::memcpy(&hdr, dib, sizeof(hdr));
  if (hdr.biSize < sizeof(hdr) || hdr.biSize > size || hdr.biBitCount != 1 ||
      hdr.biCompression != BI_RGB || hdr.biWidth <= 0 || hdr.biHeight == 0 ||
      hdr.biHeight == INT32_MIN) {
    return false;
  }
  if (hdr.biClrUsed > 2) return false;  // a 1-bit bitmap has two colours at most
  size_t colours = hdr.biClrUsed == 0 ? 2 : hdr.biClrUsed;
  size_t offset = size_t(hdr.biSize) + colours * 4;
  if (offset > size) return false;
  width_ = hdr.biWidth;
  height_ = hdr.biHeight < 0 ? -int64_t(hdr.biHeight) : hdr.biHeight;
  bottomUp_ = hdr.biHeight > 0;
  stride_ = size_t((width_ + 31) / 32) * 4;
  bits_ = dib + offset;
  rowsPresent_ = std::min<size_t>(size_t(height_), (size - offset) / stride_);
  // Every cell the header promises counts, so that result i stays cell i; cells whose rows the
  // buffer lacks read as unreadable.
  size_t rows = size_t(height_) / kCell + (height_ % kCell ? 1 : 0);
  cells_ = std::min(rows * 16, kMaxCells);

  // Ink is the darker palette entry; a palette that makes most of the sheet dark (or has two
  // equal entries) is not trusted and the rarer bit value is ink.
  auto lum = [&](size_t i) {
    if (i >= colours) return i == 0 ? 255 : 0;
    const uint8_t* q = dib + hdr.biSize + i * 4;
    return (q[2] * 299 + q[1] * 587 + q[0] * 114) / 1000;
  };
  int l0 = lum(0), l1 = lum(1);
  size_t ones = 0, total = 0;
  for (size_t r = 0; r < rowsPresent_; ++r) {
    const uint8_t* row = bits_ + r * stride_;
    size_t full = size_t(width_) / 8;
    for (size_t b = 0; b < full; ++b) ones += std::popcount(unsigned(row[b]));
    total += full * 8;
  }
  int rarer = ones * 2 <= total ? 1 : 0;
  if (l0 == l1) {
    ink_ = rarer;
  } else {
    ink_ = l1 < l0 ? 1 : 0;
    if (ink_ != rarer && total > 0) ink_ = rarer;
  }
  return true;
}

bool Sheet::ReadCell(size_t i, Cell& cell) const {
  cell = Cell{};
  if (i >= cells_) return false;
  int64_t x0 = int64_t(i % 16) * kCell, y0 = int64_t(i / 16) * kCell;
  bool any = false;
  for (int y = 0; y < kCellInk; ++y) {
    int64_t top = y0 + y;  // row counted from the top of the sheet
    if (top >= height_) break;
    int64_t mem = bottomUp_ ? height_ - 1 - top : top;
    if (mem < 0 || size_t(mem) >= rowsPresent_) continue;
    any = true;
    const uint8_t* row = bits_ + size_t(mem) * stride_;
    for (int x = 0; x < kCellInk && x0 + x < width_; ++x) {
      int64_t px = x0 + x;
      int bit = (row[px >> 3] >> (7 - (px & 7))) & 1;
      cell.at(x, y) = uint8_t(bit == ink_);
    }
  }
  return any;
}

}  // namespace glyphrec
