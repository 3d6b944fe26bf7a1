// Reference rendering: glyphs of a typeface drawn with FreeType into sheet cells exactly as the
// glyph sheet places them, the character repertoire of the references, and a packed glyph
// sheet built from cells. Used by the reference generator, the tests and the benchmark.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "charclass.h"
#include "shape.h"

namespace glyphrec {

class FontRenderer {
 public:
  FontRenderer();
  ~FontRenderer();
  FontRenderer(const FontRenderer&) = delete;
  FontRenderer& operator=(const FontRenderer&) = delete;

  // Opens face faceIndex of a font file; false when it cannot be read.
  bool Open(const std::string& path, int faceIndex = 0);
  // Draws character ch at a 48-pixel em into cell (cleared first); embolden thickens the
  // outline by that many pixels. False when the typeface lacks the character or it has no ink.
  bool Render(char32_t ch, Cell& cell, double embolden = 0) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// An ideograph of the 2013 Table of General Standard Chinese Characters, with its level in that
// table (1 and 2 common, 3 names, places and special terms) and whether GB 2312 has it.
struct TableIdeograph {
  char32_t ch = 0;
  int level = 0;
  bool gb2312 = false;
};
// The table's ideographs in table order, read from Unihan's other-mappings file (fields kTGH and
// kGB0; the build unpacks it). Only the basic plane: a result names one UTF-16 unit. Empty when
// the file cannot be read.
std::vector<TableIdeograph> GeneralStandardTable(const std::string& unihanMappings);
// Those that GB 2312 lacks.
std::vector<TableIdeograph> TableIdeographsBeyondGb2312(const std::string& unihanMappings);

// The characters the references cover, in order: ASCII, the GB 2312 symbol rows (punctuation,
// numbered list marks, full-width forms, kana), the GB 2312 ideographs and, given the Unihan file, the table's
// ideographs beyond GB 2312.
std::vector<char32_t> ReferenceCharacters(const std::string& unihanMappings = {});
// The GB 2312 ideographs alone, in code order.
std::vector<char32_t> Gb2312Ideographs();

// A packed 1-bit device-independent bitmap (header, two palette entries, bottom-up rows)
// holding cells in sheet order, 16 to a row, with the sheet's separator lines.
std::vector<uint8_t> BuildSheet(const std::vector<Cell>& cells);

}  // namespace glyphrec

#include "kit/glyphrec.h"

namespace glyphrec {

// Hands a packed sheet to a page object made by create as the component does (a global memory
// block, RecognisePage, GetResultCount, GetResults, Release); returns RecognisePage's result.
HRESULT RecogniseSheet(PFN_CreateRecogPageInstance create, const std::vector<uint8_t>& dib,
                       std::vector<St_RecogResult>& results);

}  // namespace glyphrec
