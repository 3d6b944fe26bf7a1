// A page whose glyphs were recognised, built by hand: runs in one text block of the engine, a
// glyph sheet, a glyph map and result records, as glyph recognition leaves them.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "blocks/textblock.h"
#include "engine/pdfinstance.h"
#include "glyphs/review.h"
#include "layout/stages.h"

class ReviewPage {
 public:
  ReviewPage() {
    engine.GetPageInfo()->m_dPageHeight = 1000;
    engine.GetPageInfo()->m_fontNames = {u"F0", u"F1"};
    m_pLine = new CTextBlock(engine.GetPageInfo());
    m_pLine->SetLevel(1);
    engine.m_textBlocks.Add(m_pLine);
  }

  // A run of font nFont at the end of the line: glyph codes, its text and the UTF-16 values
  // its character records carry (u'?' each when codes is empty).
  CTextBlock* AddRun(int nFont, const std::vector<int>& glyphs, const std::u16string& text,
                     std::u16string codes = u"") {
    auto* run = new CTextBlock(engine.GetPageInfo());
    std::vector<PTK_CharRecord> records;
    const double left = 10.0 * m_nChars + 50;
    for (size_t k = 0; k < glyphs.size(); ++k) {
      PTK_CharRecord c{};
      c.nGlyph = glyphs[k];
      c.nCode = k < codes.size() ? codes[k] : u'?';
      c.dOriginX = left + 10.0 * static_cast<double>(k);
      c.dOriginY = 900;
      c.dX1 = c.dOriginX + 10;
      c.dY1 = 910;
      records.push_back(c);
    }
    run->SetChars(records.data(), static_cast<int>(records.size()));
    run->m_strText = text;
    run->m_nFontIndex = nFont;
    run->m_dFontSize = 10;
    run->m_dLeft = left;
    run->m_dRight = left + 10.0 * static_cast<double>(glyphs.size());
    run->m_dTop = 90;
    run->m_dBottom = 100;
    run->m_dBaselineX = left;
    run->m_dBaselineY = 98;
    run->m_nLineCount = 1;
    run->m_nFirstSeq = run->m_nLastSeq = run->m_nOrderKey = m_pLine->m_children.GetSize();
    m_nChars += static_cast<int>(glyphs.size());
    m_pLine->m_children.Add(run);
    return run;
  }

  // Glyph key (font, glyph) shows cell nCell.
  void Map(int nFont, int nGlyph, int nCell) {
    engine.m_recog
        .m_glyphMap[(static_cast<uint32_t>(nFont) << 16) | static_cast<uint32_t>(nGlyph)] =
        static_cast<uint32_t>(nCell);
  }

  // nCount result records as the library leaves them before filling: zero, shown value 255.
  St_RecogResult* Results(int nCount) {
    engine.m_recog.FreeResults();
    engine.m_recog.m_pResults = new St_RecogResult[nCount];
    std::memset(engine.m_recog.m_pResults, 0, sizeof(St_RecogResult) * static_cast<size_t>(nCount));
    for (int i = 0; i < nCount; ++i) engine.m_recog.m_pResults[i].bShown = 255;
    engine.m_recog.m_nResultCount = nCount;
    return engine.m_recog.m_pResults;
  }

  // A sheet of nCells cells (white paper, black ink) with a bar in each cell whose length
  // tells the cells apart; nRows overrides the height in rows of cells.
  void Sheet(int nCells, int nRows = -1) {
    CxImage& sheet = engine.m_recog.m_glyphSheet;
    const int rows = nRows >= 0 ? nRows : (nCells + 15) / 16;
    sheet.Create(1024, static_cast<DWORD>(rows * 64), 1);
    const RGBQUAD pal[2] = {{255, 255, 255, 0}, {0, 0, 0, 0}};
    sheet.SetPalette(pal, 2);
    for (int i = 0; i < nCells && i / 16 < rows; ++i) {
      const long top = (i / 16) * 64;
      for (long x = 8; x < 8 + 2 * (i % 24) + 4; ++x) {
        for (long y = 20; y < 44; ++y) {
          sheet.SetPixelIndex((i % 16) * 64 + x,
                              static_cast<long>(sheet.GetHeight()) - 1 - (top + y), 1);
        }
      }
    }
  }

  CTextBlock* Line() const { return m_pLine; }

  CPDFInstance engine;

 private:
  CTextBlock* m_pLine;
  int m_nChars = 0;
};
