// Writes the reference data of the recognition library: every reference character rendered
// from each reference typeface, its shape features and the typeface's font class.
// Usage:
//   glyphrec-genrefs OUT [--unihan MAPPINGS] CLASS:FONTFILE[:FACE][:EMBOLDEN][:marks|:nomarks|:latin] ...
// With --unihan (Unihan's other-mappings file), the ideographs of the 2013 general standard
// table that GB 2312 lacks are references too.
// A typeface given with "marks" adds only its punctuation and symbols, which vary in place and
// size from typeface to typeface far more than ideographs do, and more of their designs cost
// little time and space. One given with "nomarks" adds all but those: a thickened Song's — is as
// thick as 一 and sits where a Hei 一 does. One given with "latin" adds only ASCII letters and
// digits: Latin faces (italics among them) that pages set their Latin text in, where the CJK faces
// have one upright design each.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "refdata.h"
#include "render.h"
#include "shape.h"

using namespace glyphrec;

namespace {

// Percent added to the distance of a rare character, so that close calls between look-alikes
// go to what Chinese newspapers print more often: nothing for GB 2312's level-1 ideographs (its
// 3,755 most frequent), the punctuation of Chinese text and ASCII letters and digits; a little
// for level-2 ideographs; more for other ASCII marks, full-width letters, kana and symbols, for
// the general standard table's ideographs beyond GB 2312 (by their level in that table) and for
// GB 2312's ideographs that the table left out (mostly radicals such as 丶 and 丨, which look like
// marks). (Larger penalties for ASCII marks and full-width letters cost more than they won on
// the benchmark's typefaces.)
struct Rarity {
  std::u32string level1;              // GB 2312 level 1
  std::vector<TableIdeograph> table;  // the general standard table, sorted by character
};

int Penalty(char32_t c, const Rarity& rarity) {
  // By table level (1 to 3), for the table's ideographs beyond GB 2312: as much as GB 2312's
  // level 2 for the common ones, a little more for the rest. Larger values cost these characters
  // more than they won for GB 2312's.
  constexpr int kBeyondGb2312[4] = {0, 4, 4, 6};
  // GB 2312's ideographs that the table left out: 丶 gives way to 、 and 丨 to ｜.
  constexpr int kOutsideTable = 20;
  static const std::u32string common =
      U"，。、；：？！“”‘’（）《》〈〉【】「」『』〔〕…—·％＋－／＝";
  if (common.find(c) != std::u32string::npos) return 0;
  if (IsIdeograph(c)) {
    auto t = std::lower_bound(rarity.table.begin(), rarity.table.end(), c,
                              [](const TableIdeograph& e, char32_t v) { return e.ch < v; });
    bool inTable = t != rarity.table.end() && t->ch == c;
    if (inTable && !t->gb2312) return kBeyondGb2312[t->level];
    if (!inTable && !rarity.table.empty()) return kOutsideTable;
    return rarity.level1.find(c) != std::u32string::npos ? 0 : 4;
  }
  if ((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z')) return 0;
  if (c >= 0xFF10 && c <= 0xFF19) return 0;  // full-width digits
  if (c < 0x80) return 8;                    // ASCII marks
  return 10;
}

}  // namespace

int main(int argc, char** argv) {
  int first = 2;
  std::string unihan;
  if (argc > 3 && std::strcmp(argv[2], "--unihan") == 0) {
    unihan = argv[3];
    first = 4;
  }
  if (argc <= first) {
    std::fprintf(
        stderr,
        "usage: %s OUT [--unihan MAPPINGS] CLASS:FONTFILE[:FACE][:EMBOLDEN][:marks|:nomarks|:latin]"
        " ...\n",
        argv[0]);
    return 2;
  }
  const auto chars = ReferenceCharacters(unihan);
  const auto han = Gb2312Ideographs();
  Rarity rarity;
  rarity.level1.assign(han.begin(), han.begin() + std::min<size_t>(3755, han.size()));
  rarity.table = GeneralStandardTable(unihan);
  std::sort(rarity.table.begin(), rarity.table.end(),
            [](const TableIdeograph& a, const TableIdeograph& b) { return a.ch < b.ch; });
  if (!unihan.empty() && rarity.table.empty())
    std::fprintf(stderr, "glyphrec-genrefs: no general standard table in %s\n", unihan.c_str());
  std::vector<uint16_t> outChars;
  std::vector<uint8_t> outClasses, outPenalties, coarse, fine, geom;
  int fonts = 0;
  for (int a = first; a < argc; ++a) {
    std::string spec = argv[a];
    std::vector<std::string> parts;
    for (size_t p = 0; p != std::string::npos;) {
      size_t q = spec.find(':', p);
      parts.push_back(spec.substr(p, q == std::string::npos ? q : q - p));
      p = q == std::string::npos ? q : q + 1;
    }
    if (parts.size() < 2) continue;
    int cls = std::atoi(parts[0].c_str());
    int face = parts.size() > 2 ? std::atoi(parts[2].c_str()) : 0;
    double embolden = parts.size() > 3 ? std::atof(parts[3].c_str()) : 0;
    const std::string only = parts.size() > 4 ? parts[4] : "";
    FontRenderer font;
    if (!font.Open(parts[1], face)) {
      std::fprintf(stderr, "glyphrec-genrefs: skipping %s (cannot open)\n", parts[1].c_str());
      continue;
    }
    ++fonts;
    Cell cell;
    Features f;
    for (char32_t ch : chars) {
      const bool latin = (ch >= U'0' && ch <= U'9') || (ch >= U'A' && ch <= U'Z') ||
                         (ch >= U'a' && ch <= U'z');
      if (ch > 0xFFFF || (only == "marks" && !IsMark(ch)) || (only == "nomarks" && IsMark(ch)) ||
          (only == "latin" && !latin))
        continue;
      if (!font.Render(ch, cell, embolden)) continue;
      ExtractFeatures(cell, f);
      if (f.empty) continue;
      outChars.push_back(uint16_t(ch));
      outClasses.push_back(uint8_t(cls));
      outPenalties.push_back(uint8_t(Penalty(ch, rarity)));
      coarse.insert(coarse.end(), f.coarse.begin(), f.coarse.end());
      fine.insert(fine.end(), f.fine.begin(), f.fine.end());
      geom.insert(geom.end(), f.geom.begin(), f.geom.end());
    }
  }
  if (fonts == 0) {
    std::fprintf(stderr, "glyphrec-genrefs: no reference typeface could be read\n");
    return 1;
  }
  const size_t n = outChars.size();
  RefLayout layout(n);
  std::vector<uint8_t> file(layout.total);
  RefHeader hdr{};
  std::memcpy(hdr.magic, kRefMagic, sizeof(hdr.magic));
  hdr.count = uint32_t(n);
  hdr.fineDims = kFineDims;
  hdr.coarseDims = kCoarseDims;
  hdr.geomDims = kGeomDims;
  std::memcpy(file.data(), &hdr, sizeof(hdr));
  std::memcpy(file.data() + layout.chars, outChars.data(), n * 2);
  std::memcpy(file.data() + layout.classes, outClasses.data(), n);
  std::memcpy(file.data() + layout.penalties, outPenalties.data(), n);
  std::memcpy(file.data() + layout.coarse, coarse.data(), coarse.size());
  std::memcpy(file.data() + layout.fine, fine.data(), fine.size());
  std::memcpy(file.data() + layout.geom, geom.data(), geom.size());
  std::string tmp = std::string(argv[1]) + ".tmp";
  FILE* out = std::fopen(tmp.c_str(), "wb");
  if (!out) return 1;
  bool ok = std::fwrite(file.data(), 1, file.size(), out) == file.size();
  ok = std::fclose(out) == 0 && ok;
  if (!ok || std::rename(tmp.c_str(), argv[1]) != 0) {
    std::remove(tmp.c_str());
    std::fprintf(stderr, "glyphrec-genrefs: cannot write %s\n", argv[1]);
    return 1;
  }
  std::printf("glyphrec-genrefs: %zu references from %d typefaces\n", n, fonts);
  return 0;
}
