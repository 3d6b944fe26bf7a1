#include "render.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include <iconv.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "velluma/wintypes.h"

namespace glyphrec {

struct FontRenderer::Impl {
  FT_Library lib = nullptr;
  FT_Face face = nullptr;
};

FontRenderer::FontRenderer() : impl_(std::make_unique<Impl>()) {
  FT_Init_FreeType(&impl_->lib);
}

FontRenderer::~FontRenderer() {
  if (impl_->face) FT_Done_Face(impl_->face);
  if (impl_->lib) FT_Done_FreeType(impl_->lib);
}

bool FontRenderer::Open(const std::string& path, int faceIndex) {
  if (!impl_->lib) return false;
  if (impl_->face) FT_Done_Face(impl_->face);
  impl_->face = nullptr;
  if (FT_New_Face(impl_->lib, path.c_str(), faceIndex, &impl_->face) != 0) return false;
  if (FT_Set_Pixel_Sizes(impl_->face, 0, kEm) != 0) return false;
  return true;
}

bool FontRenderer::Render(char32_t ch, Cell& cell, double embolden) const {
  cell = Cell{};
  FT_Face face = impl_->face;
  if (!face) return false;
  FT_UInt index = FT_Get_Char_Index(face, ch);
  if (index == 0) return false;
  if (FT_Load_Glyph(face, index, FT_LOAD_NO_BITMAP | FT_LOAD_TARGET_MONO) != 0) return false;
  if (face->glyph->format != FT_GLYPH_FORMAT_OUTLINE) return false;
  if (embolden > 0) FT_Outline_Embolden(&face->glyph->outline, FT_Pos(embolden * 64));
  if (FT_Render_Glyph(face->glyph, FT_RENDER_MODE_MONO) != 0) return false;
  const FT_Bitmap& bm = face->glyph->bitmap;
  if (bm.width == 0 || bm.rows == 0 || bm.pixel_mode != FT_PIXEL_MODE_MONO) return false;
  int w = int(bm.width), h = int(bm.rows);
  std::vector<uint8_t> bits(size_t(w) * h);
  for (int y = 0; y < h; ++y) {
    const uint8_t* row = bm.buffer + ptrdiff_t(y) * bm.pitch;
    for (int x = 0; x < w; ++x) bits[size_t(y) * w + x] = (row[x >> 3] >> (7 - (x & 7))) & 1;
  }
  // The ink's bottom above the baseline, as the sheet's offsets measure it.
  int xOffset = face->glyph->bitmap_left;
  int yOffset = int(kBaselineAboveBottom + (face->glyph->bitmap_top - h));
  PlaceGlyph(bits.data(), w, h, xOffset, yOffset, cell);
  return true;
}

namespace {
// GB 2312's codes of rows rowFrom to rowTo, decoded as the Windows code page (GBK) that
// producers use: its dot A1A4 is U+00B7 and its dash A1AA U+2014, where iconv's GB2312 says
// U+30FB and U+2015.
std::vector<char32_t> DecodeGb2312(int rowFrom, int rowTo) {
  std::vector<char32_t> out;
  iconv_t cd = iconv_open("UTF-32LE", "GBK");
  if (cd == iconv_t(-1)) return out;
  for (int hi = rowFrom; hi <= rowTo; ++hi) {
    for (int lo = 0xA1; lo <= 0xFE; ++lo) {
      char in[2] = {char(hi), char(lo)};
      char32_t u = 0;
      char* pin = in;
      char* pout = reinterpret_cast<char*>(&u);
      size_t nin = 2, nout = 4;
      if (iconv(cd, &pin, &nin, &pout, &nout) != size_t(-1) && nout == 0) out.push_back(u);
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  iconv_close(cd);
  return out;
}
}  // namespace

std::vector<char32_t> Gb2312Ideographs() {
  return DecodeGb2312(0xB0, 0xF7);
}

std::vector<TableIdeograph> GeneralStandardTable(const std::string& unihanMappings) {
  // Lines "U+XXXX<TAB>kTGH<TAB>2013:N" (N the table index: 1-3500 level 1, to 6500 level 2, to
  // 8105 level 3) and "U+XXXX<TAB>kGB0<TAB>RRCC".
  std::vector<std::pair<int, char32_t>> table;
  std::vector<char32_t> gb;
  FILE* in = unihanMappings.empty() ? nullptr : std::fopen(unihanMappings.c_str(), "r");
  if (!in) return {};
  char line[256];
  while (std::fgets(line, sizeof line, in)) {
    unsigned cp = 0;
    char field[16];
    int year = 0, index = 0;
    if (std::sscanf(line, "U+%x %15s", &cp, field) != 2) continue;
    if (std::strcmp(field, "kGB0") == 0) {
      gb.push_back(cp);
    } else if (std::strcmp(field, "kTGH") == 0 &&
               std::sscanf(line, "U+%*x %*s %d:%d", &year, &index) == 2 && index > 0) {
      table.emplace_back(index, cp);
    }
  }
  std::fclose(in);
  std::sort(gb.begin(), gb.end());
  std::sort(table.begin(), table.end());
  std::vector<TableIdeograph> out;
  for (const auto& [index, cp] : table) {
    if (cp > 0xFFFF) continue;
    out.push_back({cp,
                   index <= 3500   ? 1
                   : index <= 6500 ? 2
                                   : 3,
                   std::binary_search(gb.begin(), gb.end(), cp)});
  }
  return out;
}

std::vector<TableIdeograph> TableIdeographsBeyondGb2312(const std::string& unihanMappings) {
  auto out = GeneralStandardTable(unihanMappings);
  std::erase_if(out, [](const TableIdeograph& t) { return t.gb2312; });
  return out;
}

std::vector<char32_t> ReferenceCharacters(const std::string& unihanMappings) {
  std::vector<char32_t> out;
  for (char32_t c = 0x21; c <= 0x7E; ++c) out.push_back(c);
  for (int row : {0xA1, 0xA2, 0xA3, 0xA4, 0xA5}) {
    auto part = DecodeGb2312(row, row);
    out.insert(out.end(), part.begin(), part.end());
  }
  auto han = Gb2312Ideographs();
  out.insert(out.end(), han.begin(), han.end());
  for (const TableIdeograph& t : TableIdeographsBeyondGb2312(unihanMappings)) out.push_back(t.ch);
  return out;
}

std::vector<uint8_t> BuildSheet(const std::vector<Cell>& cells) {
  const int width = 16 * kCell, rows = int((cells.size() + 15) / 16), height = rows * kCell;
  const size_t stride = width / 8;
  std::vector<uint8_t> dib(sizeof(BITMAPINFOHEADER) + 8 + stride * height);
  BITMAPINFOHEADER hdr{};
  hdr.biSize = sizeof(hdr);
  hdr.biWidth = width;
  hdr.biHeight = height;
  hdr.biPlanes = 1;
  hdr.biBitCount = 1;
  hdr.biCompression = BI_RGB;
  hdr.biSizeImage = DWORD(stride * height);
  std::memcpy(dib.data(), &hdr, sizeof(hdr));
  // Palette: 0 white (background), 1 black (ink).
  const uint8_t palette[8] = {255, 255, 255, 0, 0, 0, 0, 0};
  std::memcpy(dib.data() + sizeof(hdr), palette, 8);
  uint8_t* bits = dib.data() + sizeof(hdr) + 8;
  auto set = [&](int x, int y) {  // y top-down
    bits[size_t(height - 1 - y) * stride + x / 8] |= uint8_t(0x80 >> (x & 7));
  };
  for (size_t i = 0; i < cells.size(); ++i) {
    int cx = int(i % 16) * kCell, cy = int(i / 16) * kCell;
    for (int y = 0; y < kCell; ++y)
      for (int x = 0; x < kCell; ++x)
        if (cells[i].get(x, y)) set(cx + x, cy + y);
    // Separator lines as the sheet draws them: left of each cell and under each full row.
    if (cx > 0)
      for (int y = 0; y < kCell; ++y) set(cx - 1, cy + y);
    if (i % 16 == 15)
      for (int x = 0; x < width; ++x) set(x, cy + kCell - 1);
  }
  return dib;
}

}  // namespace glyphrec
