// Readings that the whole sheet corrects, after every cell has its candidates.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "matcher.h"
#include "shape.h"

namespace glyphrec {

struct CellReading {
  std::vector<Candidate> cands;             // best first
  bool inked = false;                       // the cell was read and holds ink
  std::array<uint8_t, kGeomDims> inkBox{};  // as in Features
};

// 1. Script: a sheet whose readings hold few hiragana is no Japanese page, so a cell read as
//    kana there (カ for 力, ロ for 口, ニ for 二) takes its best candidate that is not kana, when
//    one comes close enough.
// 2. Place in the em: marks that hang at the top of the em (‘ ’ “ ” ' " `) share their shapes
//    with commas and stops that sit lower (a Kai comma floats half an em up). A cell whose ink
//    starts lower than a hanging mark's does takes its best candidate that is not one. (Only
//    that way round: vertical text sets its commas at the top of the em.)
// 3. Look-alikes that running text almost never sets (丶 ∶ ｏ 囗 ・) give way to the common
//    reading (、 ： 。 口 ·) when it comes close.
void ApplySheetContext(std::vector<CellReading>& cells);

}  // namespace glyphrec
