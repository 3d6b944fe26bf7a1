#include "unmappedtext.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <vector>

#include "ttfwriter.h"

namespace vtest {
namespace {

constexpr int kCodesPerFont = 223;  // codes 0x21 .. 0xFF

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\u3000' || c == u'\n' || c == u'\r';
}

std::u16string WithoutBlanks(std::u16string_view s) {
  std::u16string out;
  for (char16_t c : s)
    if (!IsBlank(c)) out.push_back(c);
  return out;
}

// The glyph of character c at a 1000-unit em; false when the face lacks it.
bool CopyGlyph(FT_Face face, char16_t c, TtfGlyph& glyph) {
  const FT_UInt gid = FT_Get_Char_Index(face, c);
  if (gid == 0 ||
      FT_Load_Glyph(face, gid, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0)
    return false;
  const FT_GlyphSlot slot = face->glyph;
  if (slot->format != FT_GLYPH_FORMAT_OUTLINE) return false;
  const double scale = 1000.0 / face->units_per_EM;
  const FT_Outline& outline = slot->outline;
  int first = 0;
  for (int k = 0; k < outline.n_contours; ++k) {
    // Cubic segments (CFF faces) become one quadratic each, whose control point is where the
    // two cubic controls average out: close enough at the sizes glyphs are read.
    std::vector<TtfPoint> contour;
    const int last = outline.contours[k], count = last - first + 1;
    const auto at = [&](int i) { return outline.points[first + (i - first) % count]; };
    for (int i = first; i <= last; ++i) {
      const char tag = FT_CURVE_TAG(outline.tags[i]);
      FT_Vector p = outline.points[i];
      if (tag == FT_CURVE_TAG_CUBIC) {
        const FT_Vector p0 = at(i - 1 < first ? last : i - 1), c2 = at(i + 1), p3 = at(i + 2);
        p.x = (3 * (p.x + c2.x) - p0.x - p3.x) / 4;
        p.y = (3 * (p.y + c2.y) - p0.y - p3.y) / 4;
        ++i;  // the second control
      }
      contour.push_back({static_cast<int>(std::lround(p.x * scale)),
                         static_cast<int>(std::lround(p.y * scale)), tag == FT_CURVE_TAG_ON});
    }
    first = outline.contours[k] + 1;
    glyph.contours.push_back(std::move(contour));
  }
  glyph.advance = static_cast<int>(std::lround(slot->metrics.horiAdvance * scale));
  // A face that maps a printing character to an empty glyph lacks it.
  return !glyph.contours.empty() || IsBlank(c);
}

}  // namespace

UnmappedTextPage UnmappedTextPdf(const std::string& fontFile, int faceIndex,
                                 std::u16string_view text, double size) {
  UnmappedTextPage page;
  FT_Library library = nullptr;
  if (FT_Init_FreeType(&library) != 0) return page;
  FT_Face face = nullptr;
  if (FT_New_Face(library, fontFile.c_str(), faceIndex, &face) != 0) {
    FT_Done_FreeType(library);
    return page;
  }
  // Glyph i of the page is code 0x21 + i % 223 of font i / 223.
  std::map<char16_t, int> index;
  std::vector<TtfGlyph> glyphs;
  for (char16_t c : text) {
    if (c == u'\n' || index.count(c)) continue;
    TtfGlyph glyph;
    if (!CopyGlyph(face, c, glyph)) continue;
    index[c] = static_cast<int>(glyphs.size());
    glyphs.push_back(std::move(glyph));
  }
  FT_Done_Face(face);
  FT_Done_FreeType(library);
  if (glyphs.empty()) return page;

  std::vector<SimpleFont> fonts((glyphs.size() + kCodesPerFont - 1) / kCodesPerFont);
  for (size_t f = 0; f < fonts.size(); ++f) {
    TtfSpec spec;
    for (size_t i = f * kCodesPerFont; i < std::min(glyphs.size(), (f + 1) * kCodesPerFont); ++i) {
      const int code = 0x21 + static_cast<int>(i % kCodesPerFont);
      spec.glyphs.push_back(glyphs[i]);
      spec.symbolMap.emplace_back(code, static_cast<int>(spec.glyphs.size()));
      fonts[f].widths.emplace_back(code, glyphs[i].advance);
    }
    fonts[f].program = BuildTrueType(spec);
    fonts[f].baseFont = std::string("AAAAA") + static_cast<char>('A' + f % 26) + "+Subset";
  }

  // Lines of at most 495 points from (50, 790) down, paragraphs one line apart.
  const double left = 50, width = 495, lead = size * 1.5;
  double y = 790;
  std::string content;
  std::u16string line;
  double x = 0;
  auto flush = [&] {
    if (line.empty()) return;
    char head[96];
    std::snprintf(head, sizeof head, "BT 1 0 0 1 %.2f %.2f Tm", left, y);
    content += head;
    int current = -1;
    for (char16_t c : line) {
      const int i = index[c];
      if (i / kCodesPerFont != current) {
        current = i / kCodesPerFont;
        std::snprintf(head, sizeof head, " /F%d %.2f Tf", current + 1, size);
        content += head;
      }
      std::snprintf(head, sizeof head, " <%02X> Tj", 0x21 + i % kCodesPerFont);
      content += head;
    }
    content += " ET\n";
    page.text += line;
    line.clear();
    x = 0;
    y -= lead;
  };
  for (char16_t c : text) {
    if (y < 50) break;
    if (c == u'\n') {
      flush();
      continue;
    }
    const auto it = index.find(c);
    if (it == index.end()) continue;
    const double advance = glyphs[static_cast<size_t>(it->second)].advance * size / 1000;
    if (x + advance > width) flush();
    if (y < 50) break;
    line.push_back(c);
    x += advance;
  }
  if (y >= 50) flush();
  page.distinct = static_cast<int>(glyphs.size());
  page.pdf = SimpleFontPdf(fonts, content, 595, 842);
  return page;
}

double TextAgreement(std::u16string_view expected, std::u16string_view got) {
  const std::u16string a = WithoutBlanks(expected), b = WithoutBlanks(got);
  if (a.empty()) return b.empty() ? 1.0 : 0.0;
  std::vector<int> row(b.size() + 1, 0), next(b.size() + 1, 0);
  for (size_t i = 0; i < a.size(); ++i) {
    for (size_t j = 0; j < b.size(); ++j)
      next[j + 1] = a[i] == b[j] ? row[j] + 1 : std::max(row[j + 1], next[j]);
    std::swap(row, next);
  }
  return static_cast<double>(row[b.size()]) / static_cast<double>(a.size());
}

}  // namespace vtest
