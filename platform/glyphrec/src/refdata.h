// The reference data file (refs.bin): shape features of reference glyphs, written by the
// generator at build time and mapped read-only by the library. Little-endian, in this order:
// the header, the characters (uint16 each), the font classes (uint8 each), the rarity
// penalties (uint8 each, percent added to a distance), the coarse features, the fine features
// and the ink boxes; each array starts on an 8-byte boundary.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "shape.h"

namespace glyphrec {

constexpr char kRefMagic[8] = {'V', 'G', 'L', 'Y', 'R', 'E', 'F', '2'};

struct RefHeader {
  char magic[8];
  uint32_t count;
  uint32_t fineDims;
  uint32_t coarseDims;
  uint32_t geomDims;
};
static_assert(sizeof(RefHeader) == 24);

// Byte offsets of the arrays for count references.
struct RefLayout {
  size_t chars, classes, penalties, coarse, fine, geom, total;
  explicit RefLayout(size_t count) {
    auto up = [](size_t v) { return (v + 7) & ~size_t(7); };
    chars = sizeof(RefHeader);
    classes = up(chars + count * 2);
    penalties = up(classes + count);
    coarse = up(penalties + count);
    fine = up(coarse + count * kCoarseDims);
    geom = up(fine + count * kFineDims);
    total = up(geom + count * kGeomDims);
  }
};

// Font classes of results (the style of the reference that matched).
constexpr int kClassUnknown = 0;   // no shape matched: independent of the typeface
constexpr int kClassSong = 1;      // the Song/Ming group
constexpr int kClassHei = 2;       // the Hei (sans) group
constexpr int kClassKai = 3;       // the Kai group
constexpr int kClassFangSong = 4;  // the FangSong group

}  // namespace glyphrec
