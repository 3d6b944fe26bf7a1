// velluma glyphs: the glyph sheet of one page as the recognition library saw it. Each cell
// with its glyph image, the recognised character, the candidates with their scores, the font
// class and the glyphs (font index and glyph code) that share the cell. Read through the
// module's VellumaGetGlyphSheet export after a page load with glyph recognition.
#include <dlfcn.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "velluma/velluma.h"
#include "vjson/json.h"
#include "vwin32/strings.h"

int RunGlyphs(IDataAdaptor* adaptor, int argc, char** argv);

namespace {

constexpr int kCell = 64;
constexpr int kCellsPerRow = 16;
constexpr size_t kRecordSize = 280;

[[noreturn]] void Fail(const std::string& message) {
  throw std::runtime_error(message);
}

struct Cell {
  char16_t ch = 0;
  int flags = 0;
  int fontClass = 0;
  int shown = 255;
  std::vector<std::pair<char16_t, int>> candidates;
  std::vector<std::pair<int, int>> glyphs;  // font index, glyph code
  std::vector<std::string> rows;            // top-down, '#' ink, '.' paper
};

uint16_t U16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}

// The cells of the sheet, read from the packed bitmap, the result records and the glyph map.
std::vector<Cell> ReadCells(const uint8_t* dib, size_t dibSize, const std::vector<uint8_t>& results,
                            const std::vector<unsigned long>& map) {
  BITMAPINFOHEADER h;
  if (dibSize < sizeof h) Fail("the glyph sheet is damaged");
  std::memcpy(&h, dib, sizeof h);
  const bool topDown = h.biHeight < 0;
  const long width = h.biWidth, height = topDown ? -static_cast<long>(h.biHeight) : h.biHeight;
  const size_t stride = static_cast<size_t>((width + 31) / 32 * 4);
  const size_t offset = h.biSize + 2 * sizeof(RGBQUAD);
  if (h.biBitCount != 1 || width != kCell * kCellsPerRow || height % kCell != 0 ||
      offset + stride * static_cast<size_t>(height) > dibSize)
    Fail("the glyph sheet is not a 1-bit sheet of 64-pixel cells");
  RGBQUAD pal[2];
  std::memcpy(pal, dib + h.biSize, sizeof pal);
  const bool inkIsOne = pal[1].rgbRed + pal[1].rgbGreen + pal[1].rgbBlue <
                        pal[0].rgbRed + pal[0].rgbGreen + pal[0].rgbBlue;
  const uint8_t* bits = dib + offset;
  const size_t count = std::max(results.size() / kRecordSize, [&] {
    size_t n = 0;
    for (size_t i = 1; i < map.size(); i += 2) n = std::max<size_t>(n, map[i] + 1);
    return n;
  }());
  std::vector<Cell> cells(count);
  for (size_t i = 0; i < count; ++i) {
    Cell& c = cells[i];
    const long cx = static_cast<long>(i % kCellsPerRow) * kCell;
    const long cy = static_cast<long>(i / kCellsPerRow) * kCell;
    for (long y = 0; y < kCell && cy + y < height; ++y) {
      const long row = topDown ? cy + y : height - 1 - (cy + y);
      std::string line;
      for (long x = 0; x < kCell - 1; ++x) {
        const long px = cx + x;
        const bool one =
            (bits[static_cast<size_t>(row) * stride + static_cast<size_t>(px / 8)] >> (7 - px % 8) &
             1) != 0;
        line.push_back(one == inkIsOne ? '#' : '.');
      }
      c.rows.push_back(line);
    }
    if ((i + 1) * kRecordSize <= results.size()) {
      const uint8_t* r = results.data() + i * kRecordSize;
      c.ch = U16(r);
      c.flags = U16(r + 2);
      int32_t fontClass;
      std::memcpy(&fontClass, r + 4, 4);
      c.fontClass = fontClass;
      c.shown = r[276];
      const int n = std::min<int>(static_cast<int16_t>(U16(r + 18)), 16);
      for (int k = 0; k < n; ++k)
        c.candidates.emplace_back(U16(r + 20 + 16 * k), U16(r + 22 + 16 * k));
    }
  }
  for (size_t i = 0; i + 1 < map.size(); i += 2)
    if (map[i + 1] < count)
      cells[map[i + 1]].glyphs.emplace_back(static_cast<int>(map[i] >> 16),
                                            static_cast<int>(map[i] & 0xFFFF));
  return cells;
}

std::string Char(char16_t c) {
  return c == 0 ? std::string() : vwin32::ToUtf8(std::u16string(1, c));
}

std::string Html(std::string_view s) {
  std::string out;
  for (char c : s)
    out += c == '<' ? "&lt;" : c == '>' ? "&gt;" : c == '&' ? "&amp;" : std::string(1, c);
  return out;
}

void WriteJson(std::ostream& os, const std::string& file, int page,
               const std::vector<Cell>& cells) {
  os << "{\"file\":" << vjson::JsonString(file) << ",\"page\":" << page << ",\"cells\":[";
  for (size_t i = 0; i < cells.size(); ++i) {
    const Cell& c = cells[i];
    os << (i ? ",\n" : "\n") << "{\"cell\":" << i << ",\"char\":" << vjson::JsonString(Char(c.ch))
       << ",\"flags\":" << c.flags << ",\"fontClass\":" << c.fontClass << ",\"shown\":" << c.shown
       << ",\"candidates\":[";
    for (size_t k = 0; k < c.candidates.size(); ++k)
      os << (k ? "," : "") << "{\"char\":" << vjson::JsonString(Char(c.candidates[k].first))
         << ",\"score\":" << c.candidates[k].second << "}";
    os << "],\"glyphs\":[";
    for (size_t k = 0; k < c.glyphs.size(); ++k)
      os << (k ? "," : "") << "{\"font\":" << c.glyphs[k].first
         << ",\"glyph\":" << c.glyphs[k].second << "}";
    os << "],\"bitmap\":[";
    for (size_t k = 0; k < c.rows.size(); ++k) os << (k ? "," : "") << "\"" << c.rows[k] << "\"";
    os << "]}";
  }
  os << "\n]}\n";
}

void WriteHtml(std::ostream& os, const std::string& file, int page,
               const std::vector<Cell>& cells) {
  os << "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>glyph sheet</title><style>"
        "table{border-collapse:collapse}td,th{border:1px solid #ccc;padding:2px 6px}"
        ".g{line-height:0}.g i{display:inline-block;width:2px;height:2px}.g b{display:inline-block;"
        "width:2px;height:2px;background:#000}.c{font-size:28px}</style></head><body>\n<h1>"
     << Html(file) << ", page " << page << ": " << cells.size() << " cells</h1>\n"
     << "<table><tr><th>cell</th><th>glyph</th><th>read</th><th>candidates</th><th>font class</th>"
        "<th>glyphs (font:code)</th></tr>\n";
  for (size_t i = 0; i < cells.size(); ++i) {
    const Cell& c = cells[i];
    os << "<tr><td>" << i << "</td><td class=\"g\">";
    for (const std::string& row : c.rows) {
      for (char p : row) os << (p == '#' ? "<b></b>" : "<i></i>");
      os << "<br>";
    }
    os << "</td><td class=\"c\">" << Html(Char(c.ch)) << "</td><td>";
    for (const auto& [ch, score] : c.candidates) os << Html(Char(ch)) << " " << score << "<br>";
    os << "</td><td>" << c.fontClass << "</td><td>";
    for (const auto& [font, glyph] : c.glyphs) os << font << ":" << glyph << " ";
    os << "</td></tr>\n";
  }
  os << "</table></body></html>\n";
}

}  // namespace

// velluma glyphs FILE --page N [-o sheet.html | --format json]
int RunGlyphs(IDataAdaptor* adaptor, int argc, char** argv) {
  std::string file, out, format = "text";
  int page = 1;
  for (int k = 2; k < argc; ++k) {
    const std::string a = argv[k];
    auto value = [&]() -> std::string {
      if (k + 1 >= argc) Fail("option " + a + " needs a value");
      return argv[++k];
    };
    if (a == "--page") {
      const std::string v = value();
      char* end = nullptr;
      page = static_cast<int>(std::strtol(v.c_str(), &end, 10));
      if (v.empty() || *end || page < 1) Fail("option --page needs a page number, not '" + v + "'");
    } else if (a == "--format") {
      format = value();
      if (format != "json" && format != "text" && format != "html")
        Fail("unknown format '" + format + "' (text, json or html)");
    } else if (a == "-o" || a == "--output") {
      out = value();
    } else if (a.size() > 1 && a[0] == '-') {
      Fail("unknown option '" + a + "'; try 'velluma --help'");
    } else if (file.empty()) {
      file = a;
    } else {
      Fail("unexpected argument '" + a + "'");
    }
  }
  if (file.empty()) Fail("glyphs needs a FILE");
  if (!out.empty() && format == "text") format = out.ends_with(".json") ? "json" : "html";
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) Fail("cannot open " + file + ": no such file");
  const std::u16string wide = vwin32::FromUtf8(std::filesystem::absolute(file, ec).string());
  if (FAILED(adaptor->Open(0, wide.c_str()))) Fail(file + ": the PDF file cannot be read");
  long count = 0;
  adaptor->get_TotalPageCount(&count);
  if (page > count)
    Fail(file + ": page " + std::to_string(page) + " out of range (the document has " +
         std::to_string(count) + (count == 1 ? " page)" : " pages)"));
  if (FAILED(adaptor->LoadPage(page, LPF_TEXT | LPF_RECOGNISE, TRUE)))
    Fail(file + ": page " + std::to_string(page) + " cannot be loaded");

  // The export lives in the module the adaptor came from.
  Dl_info info{};
  void* code = *reinterpret_cast<void**>(*reinterpret_cast<void***>(adaptor));
  void* module =
      dladdr(code, &info) != 0 ? dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD) : nullptr;
  auto getSheet =
      module ? reinterpret_cast<PFN_VellumaGetGlyphSheet>(dlsym(module, "VellumaGetGlyphSheet"))
             : nullptr;
  if (module) dlclose(module);
  if (!getSheet) Fail("the component module offers no glyph sheet (VellumaGetGlyphSheet)");

  std::vector<Cell> cells;
  HGLOBAL hDib = nullptr;
  long nResults = 0, nPairs = 0;
  if (getSheet(adaptor, &hDib, nullptr, &nResults, nullptr, &nPairs) == S_OK) {
    std::vector<uint8_t> results(static_cast<size_t>(nResults) * kRecordSize);
    std::vector<unsigned long> map(static_cast<size_t>(nPairs) * 2);
    GlobalFree(hDib);
    hDib = nullptr;
    getSheet(adaptor, &hDib, results.data(), &nResults, map.data(), &nPairs);
    results.resize(std::min(results.size(), static_cast<size_t>(nResults) * kRecordSize));
    const auto* dib = static_cast<const uint8_t*>(GlobalLock(hDib));
    try {
      cells = ReadCells(dib, GlobalSize(hDib), results, map);
    } catch (...) {
      GlobalUnlock(hDib);
      GlobalFree(hDib);
      throw;
    }
    GlobalUnlock(hDib);
    GlobalFree(hDib);
  }

  std::ofstream file_out;
  if (!out.empty()) {
    file_out.open(out, std::ios::binary | std::ios::trunc);
    if (!file_out) Fail("cannot write " + out);
  }
  std::ostream& os = out.empty() ? std::cout : file_out;
  if (format == "json") {
    WriteJson(os, file, page, cells);
  } else if (format == "html") {
    WriteHtml(os, file, page, cells);
  } else {
    os << file << ", page " << page << ": " << cells.size() << " cells\n";
    for (size_t i = 0; i < cells.size(); ++i) {
      const Cell& c = cells[i];
      os << i << "\t" << (c.ch ? Char(c.ch) : "-") << "\tclass " << c.fontClass << "\t";
      for (const auto& [ch, score] : c.candidates) os << Char(ch) << ":" << score << " ";
      os << "\n";
    }
  }
  os.flush();
  if (!os) Fail("cannot write " + (out.empty() ? std::string("standard output") : out));
  return 0;
}
