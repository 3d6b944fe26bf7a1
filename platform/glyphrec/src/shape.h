// Glyph cells and their shape features, shared by the recognition library and the generator of
// its reference data, so that references and sheet cells are normalised by the same code.
#pragma once

#include <array>
#include <cstdint>

namespace glyphrec {

// One 64 x 64 cell of the glyph sheet, rows top-down, 1 = ink. The last column and the last
// row carry the sheet's separator lines and are never read as ink.
constexpr int kCell = 64;
constexpr int kCellInk = kCell - 1;
// The baseline lies 21.6 pixels above a cell's bottom edge in a 48-pixel em.
constexpr double kBaselineAboveBottom = 21.6;
constexpr int kEm = 48;

struct Cell {
  std::array<uint8_t, kCell * kCell> px{};
  uint8_t& at(int x, int y) { return px[y * kCell + x]; }
  uint8_t get(int x, int y) const { return px[y * kCell + x]; }
};

// Directional gradient features: 8 directions over an 8 x 8 normalised grid (fine) and over
// a 4 x 4 grid (coarse), plus the ink box in cell pixels (geometry).
constexpr int kDirs = 8;
constexpr int kFineGrid = 8;
constexpr int kCoarseGrid = 4;
constexpr int kFineDims = kDirs * kFineGrid * kFineGrid;        // 512
constexpr int kCoarseDims = kDirs * kCoarseGrid * kCoarseGrid;  // 128
constexpr int kGeomDims = 4;

struct Features {
  bool empty = true;
  std::array<uint8_t, kFineDims> fine{};
  std::array<uint8_t, kCoarseDims> coarse{};
  // Ink box: left, right, top, bottom (rows top-down), inclusive, in cell pixels.
  std::array<uint8_t, kGeomDims> geom{};
};

// Features of one cell.
void ExtractFeatures(const Cell& cell, Features& out);

// Places a glyph bitmap (rows top-down, 1 = ink) into a cell the way the glyph sheet does:
// xOffset is the ink's left edge from the pen origin and yOffset the ink's bottom edge above
// the cell's bottom, both in pixels of a 48-pixel em; the glyph is raised or clipped so that
// it stays inside the cell where it can.
void PlaceGlyph(const uint8_t* bits, int width, int height, int xOffset, int yOffset, Cell& cell);

// Squared distances between feature vectors.
int CoarseDistance(const uint8_t* a, const uint8_t* b);
int FineDistance(const uint8_t* a, const uint8_t* b);
int GeomDistance(const uint8_t* a, const uint8_t* b);

}  // namespace glyphrec
