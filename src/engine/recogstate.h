// The recognition state of an analysis engine: what glyph recognition leaves for the post-edit
// step of the same page. Both engines (the data adaptor's and the issue analysis') hold one.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "kit/glyphrec.h"
#include "kit/ximage.h"

class CGlyphRecogState {
 public:
  CGlyphRecogState() = default;
  CGlyphRecogState(const CGlyphRecogState&) = delete;
  CGlyphRecogState& operator=(const CGlyphRecogState&) = delete;
  ~CGlyphRecogState() { FreeResults(); }

  // Frees the result records (none afterwards).
  void FreeResults() {
    delete[] m_pResults;
    m_pResults = nullptr;
    m_nResultCount = 0;
  }

  // What the page reset drops: the glyph sheet, the glyph map, the results, the work map and
  // the work list.
  void Clear() {
    m_glyphSheet.Destroy();
    m_glyphMap.clear();
    FreeResults();
    m_workMap.clear();
    m_workList.clear();
  }

  std::map<uint32_t, uint32_t> m_glyphMap;  // glyph key -> cell index of the sheet
  CxImage m_glyphSheet;                     // 1 bit per pixel, 64 x 64 cells, 16 per row
  St_RecogResult* m_pResults = nullptr;     // owned; one per cell, null when none
  int32_t m_nResultCount = 0;
  std::vector<int32_t> m_workList;              // working list of recognition and review
  std::map<std::u16string, int32_t> m_workMap;  // working map of recognition and review
};
