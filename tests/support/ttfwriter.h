// A writer of tiny TrueType programs for tests: glyphs made of rectangles, a choice of cmaps and
// glyph names, so that tests can embed fonts whose codes do or do not name characters.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vtest {

struct TtfPoint {
  int x = 0, y = 0;
  bool onCurve = true;
};

struct TtfGlyph {
  std::vector<std::array<int, 4>> boxes;        // filled rectangles x0, y0, x1, y1 (1000-unit em)
  std::vector<std::vector<TtfPoint>> contours;  // quadratic outlines besides the boxes
  int advance = 1000;
};

struct TtfSpec {
  std::vector<TtfGlyph> glyphs;                 // glyph ids 1 .. n (glyph 0 is an empty .notdef)
  std::vector<std::pair<int, int>> unicodeMap;  // (3,1) cmap: character -> glyph id
  std::vector<std::pair<int, int>> symbolMap;   // (3,0) cmap at 0xF000 + code and (1,0): code -> id
  std::vector<std::string> names;               // post glyph names of glyphs 1 .. n; none: format 3
};

// The font program (sfnt bytes).
std::string BuildTrueType(const TtfSpec& spec);

// A glyph that shows the number id (1 .. 255) as 8 squares between a frame of three bars:
// bars along the top (y 700..800), bottom (0..100) and left (x 100..200); bit b (0 = lowest) is a
// square in column b % 4 (x 250 + 160 * column, 120 wide) and row b / 4 (row 0 at y 470..600,
// row 1 at 200..330). Recognition stubs read the number back from the glyph's ink box.
TtfGlyph IdGlyph(int id);

// A simple TrueType font of a written PDF.
struct SimpleFont {
  std::string program;                      // FontFile2 bytes; empty: the font is not embedded
  std::string baseFont = "ABCDEF+Test";     // bytes of the name (escaped as the file is written)
  std::string encoding;                     // the /Encoding value as PDF text; empty: none
  int flags = 4;                            // descriptor flags (4: symbolic)
  std::string toUnicode;                    // a ToUnicode CMap's text; empty: none
  std::vector<std::pair<int, int>> widths;  // code -> advance (1000-unit em) where not 1000
};

// A one-page PDF (w x h points) whose resources name the fonts /F1, /F2 ... in order.
std::string SimpleFontPdf(const std::vector<SimpleFont>& fonts, const std::string& content,
                          double w = 400, double h = 300);

}  // namespace vtest
