// Reading the glyph sheet: a packed 1-bit device-independent bitmap cut into 64 x 64 cells,
// 16 to a row, in cell order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "shape.h"

namespace glyphrec {

class Sheet {
 public:
  // Reads the header and locates the rows in a packed bitmap of size bytes. False when it is
  // no uncompressed 1-bit bitmap. Rows that the buffer does not hold read as blank.
  bool Parse(const uint8_t* dib, size_t size);
  // Number of cells the sheet holds.
  size_t CellCount() const { return cells_; }
  // Cell i; false when none of its rows is in the buffer.
  bool ReadCell(size_t i, Cell& cell) const;

 private:
  const uint8_t* bits_ = nullptr;
  size_t stride_ = 0, rowsPresent_ = 0, cells_ = 0;
  int64_t width_ = 0, height_ = 0;
  bool bottomUp_ = true;
  int ink_ = 1;  // the bit value that is ink
};

}  // namespace glyphrec
