#include "ttfwriter.h"

#include "pdfwriter.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <string_view>

namespace vtest {
namespace {

void U16(std::string& s, int v) {
  s.push_back(static_cast<char>((v >> 8) & 0xFF));
  s.push_back(static_cast<char>(v & 0xFF));
}
void U32(std::string& s, uint32_t v) {
  U16(s, static_cast<int>(v >> 16));
  U16(s, static_cast<int>(v & 0xFFFF));
}

// cmap format 4 with one segment per mapping and the closing 0xFFFF segment.
std::string Format4(std::vector<std::pair<int, int>> map) {
  std::sort(map.begin(), map.end());
  const int segs = static_cast<int>(map.size()) + 1;
  std::string t;
  U16(t, 4);
  U16(t, 16 + 8 * segs);
  U16(t, 0);
  U16(t, 2 * segs);
  int range = 1, log = 0;
  while (range * 2 <= segs) range *= 2, ++log;
  U16(t, 2 * range);
  U16(t, log);
  U16(t, 2 * segs - 2 * range);
  for (auto& [c, g] : map) U16(t, c);
  U16(t, 0xFFFF);
  U16(t, 0);
  for (auto& [c, g] : map) U16(t, c);
  U16(t, 0xFFFF);
  for (auto& [c, g] : map) U16(t, (g - c) & 0xFFFF);
  U16(t, 1);
  for (int i = 0; i < segs; ++i) U16(t, 0);
  return t;
}

std::string Cmap(const TtfSpec& spec) {
  std::vector<std::pair<std::pair<int, int>, std::string>> subs;
  if (!spec.symbolMap.empty()) {
    std::string f0;
    U16(f0, 0);
    U16(f0, 262);
    U16(f0, 0);
    std::string ids(256, '\0');
    std::vector<std::pair<int, int>> sym;
    for (auto& [code, gid] : spec.symbolMap) {
      if (code >= 0 && code < 256) ids[static_cast<size_t>(code)] = static_cast<char>(gid);
      sym.emplace_back(0xF000 + code, gid);
    }
    subs.push_back({{1, 0}, f0 + ids});
    subs.push_back({{3, 0}, Format4(sym)});
  }
  if (!spec.unicodeMap.empty()) subs.push_back({{3, 1}, Format4(spec.unicodeMap)});
  std::string t;
  U16(t, 0);
  U16(t, static_cast<int>(subs.size()));
  uint32_t offset = 4 + 8 * static_cast<uint32_t>(subs.size());
  std::string body;
  for (auto& [id, data] : subs) {
    U16(t, id.first);
    U16(t, id.second);
    U32(t, offset + static_cast<uint32_t>(body.size()));
    body += data;
  }
  return t + body;
}

}  // namespace

TtfGlyph IdGlyph(int id) {
  TtfGlyph g;
  g.boxes = {{100, 700, 900, 800}, {100, 0, 900, 100}, {100, 100, 200, 700}};
  for (int b = 0; b < 8; ++b) {
    if ((id >> b & 1) == 0) continue;
    const int x = 250 + 160 * (b % 4);
    const int y = b / 4 == 0 ? 470 : 200;
    g.boxes.push_back({x, y, x + 120, y + 130});
  }
  return g;
}

std::string BuildTrueType(const TtfSpec& spec) {
  const int n = static_cast<int>(spec.glyphs.size()) + 1;
  std::string glyf, loca, hmtx;
  int maxPoints = 0, maxContours = 0;
  U32(loca, 0);  // .notdef: empty
  U32(loca, 0);
  U16(hmtx, 1000);
  U16(hmtx, 0);
  for (const TtfGlyph& g : spec.glyphs) {
    std::vector<std::vector<TtfPoint>> contours;
    for (auto& b : g.boxes)
      contours.push_back({{b[0], b[1]}, {b[0], b[3]}, {b[2], b[3]}, {b[2], b[1]}});
    contours.insert(contours.end(), g.contours.begin(), g.contours.end());
    std::string d;
    int lsb = 0;
    if (!contours.empty()) {
      int x0 = 1 << 20, y0 = 1 << 20, x1 = -(1 << 20), y1 = -(1 << 20), points = 0;
      std::string ends, flags, xs, ys;
      int px = 0, py = 0;
      for (auto& contour : contours) {
        for (const TtfPoint& p : contour) {
          x0 = std::min(x0, p.x), y0 = std::min(y0, p.y);
          x1 = std::max(x1, p.x), y1 = std::max(y1, p.y);
          flags.push_back(p.onCurve ? '\x01' : '\0');
          U16(xs, (p.x - px) & 0xFFFF);
          U16(ys, (p.y - py) & 0xFFFF);
          px = p.x, py = p.y;
        }
        points += static_cast<int>(contour.size());
        U16(ends, points - 1);
      }
      lsb = x0;
      U16(d, static_cast<int>(contours.size()));
      U16(d, x0), U16(d, y0), U16(d, x1), U16(d, y1);
      d += ends;
      U16(d, 0);
      d += flags + xs + ys;
      while (d.size() % 4) d.push_back('\0');
      maxPoints = std::max(maxPoints, points);
      maxContours = std::max(maxContours, static_cast<int>(contours.size()));
    }
    glyf += d;
    U32(loca, static_cast<uint32_t>(glyf.size()));
    U16(hmtx, g.advance);
    U16(hmtx, lsb & 0xFFFF);
  }
  std::string head;
  U32(head, 0x00010000), U32(head, 0x00010000), U32(head, 0), U32(head, 0x5F0F3CF5);
  U16(head, 0x000B), U16(head, 1000);
  head.append(16, '\0');
  U16(head, 0), U16(head, (-120) & 0xFFFF), U16(head, 1000), U16(head, 880);
  U16(head, 0), U16(head, 8), U16(head, 2), U16(head, 1), U16(head, 0);
  std::string hhea;
  U32(hhea, 0x00010000), U16(hhea, 880), U16(hhea, (-120) & 0xFFFF), U16(hhea, 0);
  U16(hhea, 1000), U16(hhea, 0), U16(hhea, 0), U16(hhea, 1000), U16(hhea, 1), U16(hhea, 0);
  hhea.append(12, '\0');
  U16(hhea, n);
  std::string maxp;
  U32(maxp, 0x00010000), U16(maxp, n), U16(maxp, maxPoints), U16(maxp, maxContours);
  U16(maxp, 0), U16(maxp, 0), U16(maxp, 2);
  maxp.append(16, '\0');
  std::string post;
  U32(post, spec.names.empty() ? 0x00030000 : 0x00020000);
  post.append(28, '\0');
  if (!spec.names.empty()) {
    U16(post, n);
    U16(post, 0);
    std::string strings;
    for (int i = 1; i < n; ++i) {
      const std::string name = static_cast<size_t>(i - 1) < spec.names.size()
                                   ? spec.names[static_cast<size_t>(i - 1)]
                                   : "g" + std::to_string(i);
      U16(post, 258 + i - 1);
      strings.push_back(static_cast<char>(name.size()));
      strings += name;
    }
    post += strings;
  }
  std::map<std::string, std::string> tables = {{"cmap", Cmap(spec)}, {"glyf", glyf}, {"head", head},
                                               {"hhea", hhea},       {"hmtx", hmtx}, {"loca", loca},
                                               {"maxp", maxp},       {"post", post}};
  std::string out;
  const int count = static_cast<int>(tables.size());
  U32(out, 0x00010000);
  U16(out, count), U16(out, 128), U16(out, 3), U16(out, count * 16 - 128);
  uint32_t offset = 12 + 16 * static_cast<uint32_t>(count);
  std::string body;
  for (auto& [tag, data] : tables) {
    std::string padded = data;
    while (padded.size() % 4) padded.push_back('\0');
    uint32_t sum = 0;
    for (size_t i = 0; i < padded.size(); i += 4)
      sum += static_cast<uint32_t>(static_cast<unsigned char>(padded[i])) << 24 |
             static_cast<uint32_t>(static_cast<unsigned char>(padded[i + 1])) << 16 |
             static_cast<uint32_t>(static_cast<unsigned char>(padded[i + 2])) << 8 |
             static_cast<unsigned char>(padded[i + 3]);
    out += tag;
    U32(out, sum);
    U32(out, offset + static_cast<uint32_t>(body.size()));
    U32(out, static_cast<uint32_t>(data.size()));
    body += padded;
  }
  return out + body;
}

std::string SimpleFontPdf(const std::vector<SimpleFont>& fonts, const std::string& content,
                          double w, double h) {
  std::vector<std::string> objects(4);
  std::string fontRes;
  for (size_t i = 0; i < fonts.size(); ++i) {
    const SimpleFont& f = fonts[i];
    std::string name = "/";
    for (unsigned char c : f.baseFont) {
      if (c > 0x20 && c < 0x7F &&
          std::string_view("#()<>[]{}/%").find(static_cast<char>(c)) == std::string_view::npos) {
        name.push_back(static_cast<char>(c));
      } else {
        char hex[4];
        std::snprintf(hex, sizeof hex, "#%02X", c);
        name += hex;
      }
    }
    const size_t fontObj = objects.size() + 1;
    std::vector<int> advances(256, 1000);
    for (const auto& [code, width] : f.widths)
      if (code >= 0 && code < 256) advances[static_cast<size_t>(code)] = width;
    std::string widths;
    for (int advance : advances) widths += (widths.empty() ? "" : " ") + std::to_string(advance);
    objects.push_back("<< /Type /Font /Subtype /TrueType /BaseFont " + name +
                      " /FirstChar 0 /LastChar 255 /Widths [" + widths + "] /FontDescriptor " +
                      std::to_string(fontObj + 1) + " 0 R" +
                      (f.encoding.empty() ? "" : " /Encoding " + f.encoding) + " >>");
    objects.push_back(
        "<< /Type /FontDescriptor /FontName " + name + " /Flags " + std::to_string(f.flags) +
        " /FontBBox [0 -120 1000 880] /ItalicAngle 0 /Ascent 880 /Descent -120"
        " /CapHeight 700 /StemV 80" +
        (f.program.empty() ? "" : " /FontFile2 " + std::to_string(fontObj + 2) + " 0 R") + " >>");
    if (!f.program.empty()) objects.push_back(PdfStream(f.program));
    if (!f.toUnicode.empty()) {
      objects[fontObj - 1].insert(objects[fontObj - 1].size() - 2,
                                  "/ToUnicode " + std::to_string(objects.size() + 1) + " 0 R ");
      objects.push_back(PdfStream(f.toUnicode));
    }
    fontRes += " /F" + std::to_string(i + 1) + " " + std::to_string(fontObj) + " 0 R";
  }
  objects[0] = "<< /Type /Catalog /Pages 2 0 R >>";
  objects[1] = "<< /Type /Pages /Kids [3 0 R] /Count 1 >>";
  objects[2] = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + PdfNum(w) + " " + PdfNum(h) +
               "] /Resources << /Font <<" + fontRes + " >> >> /Contents 4 0 R >>";
  objects[3] = PdfStream(content);
  return RawPdf(objects);
}

}  // namespace vtest
