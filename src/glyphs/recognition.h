// Glyph recognition: the glyphs of runs whose characters have no usable code are rendered once
// each, packed into a bilevel glyph sheet of 64 x 64 cells (16 to a row), read by the
// recognition library (libglyphrec.so, loaded at run time) and written back into the runs.
#pragma once

#include <cstdint>
#include <vector>

#include "blocks/blocklist.h"
#include "engine/recogstate.h"
#include "kit/glyphrec.h"
#include "kit/pdfkit.h"

class CPageInfo;
class CTextBlock;

// One distinct glyph image while the sheet is built: offsets in a 48-pixel em, its size (each
// kept as a byte, the four as one word for comparison) and the bitmap.
struct St_ImageNode {
  uint8_t x = 0, y = 0, w = 0, h = 0;
  CxImage image;
  uint32_t Word() const {
    return static_cast<uint32_t>(x) | static_cast<uint32_t>(y) << 8 |
           static_cast<uint32_t>(w) << 16 | static_cast<uint32_t>(h) << 24;
  }
};

// Sheet geometry.
constexpr int kGlyphCell = 64;
constexpr int kGlyphCellsPerRow = 16;
constexpr int kGlyphSheetWidth = kGlyphCell * kGlyphCellsPerRow;  // 1024
// At most this many cells on one sheet (4,096 rows, 32 MB); further glyphs keep placeholders.
constexpr int kMaxGlyphCells = 1 << 16;

// Glyph key: the run's font index in the high 16 bits, the glyph code in the low 16 bits.
uint32_t GlyphKey(const CTextBlock& run, int nChar);

// Renders character nChar of run through the kit into node (1 bit per pixel, white
// transparent, bits beyond each row's last pixel cleared). False when the kit cannot render it.
bool RenderGlyphNode(PTK_HDOC hDoc, const CPageInfo* pInfo, const CTextBlock& run, int nChar,
                     St_ImageNode& node);

// Builds the sheet and the glyph map of state from the runs, in order: each key rendered
// once, identical images sharing one cell. Returns the number of cells.
int BuildGlyphSheet(PTK_HDOC hDoc, const CPageInfo* pInfo, const CTextBlockArray& runs,
                    CGlyphRecogState& state);

// Draws the nodes into a new sheet (frees their images). False when the sheet cannot be made.
bool PlaceGlyphNodes(std::vector<St_ImageNode>& nodes, CxImage& sheet);

// The recognition library's entry point, looked up in this order: the file named by
// VELLUMA_GLYPHREC, libglyphrec.so beside libvelluma.so, libglyphrec.so by name. Null when none
// loads (the library stays loaded once found).
PFN_CreateRecogPageInstance LoadRecognitionLibrary();

// Has the library read the sheet of state. 0: results stored (possibly none); 1: the library
// gave no result; E_FAIL: no library or no page object.
HRESULT RunRecognitionLibrary(CGlyphRecogState& state);

// Writes the results into the runs' texts, character by character (texts keep their length).
void ApplyRecogResults(const CGlyphRecogState& state, CTextBlockArray& runs);
