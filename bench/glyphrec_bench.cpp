// Glyph recognition: distinct glyphs per second over a whole sheet and the accuracy of the top
// candidate, per typeface. Each typeface's reference characters are rendered as the glyph sheet
// draws them and read by libglyphrec.so. The default typefaces are never references
// (leave-one-typeface-out); a reference typeface given on the command line shows the accuracy
// on known shapes. Cells without ink (a blank glyph) are counted apart: no shape names them, the
// component chooses U+3000 or a space from the glyph's advance.
// Usage: velluma-glyphrec-bench [FONTFILE[:FACE] ...]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_common.h"
#include "render.h"

using namespace glyphrec;

namespace {

struct Tally {
  int total = 0, right = 0;
  int widthPairs = 0;  // read as the other width's form of the mark: the component's choice
  double Percent() const { return total ? 100.0 * right / total : 0; }
};

enum { kHan, kPunct, kLatin, kKana, kBeyond, kBlank, kCategories };

int Category(char32_t c, const std::vector<char32_t>& beyond) {
  if (std::binary_search(beyond.begin(), beyond.end(), c)) return kBeyond;
  if (IsIdeograph(c)) return kHan;
  if (IsLatinOrDigit(c)) return kLatin;
  if (IsKana(c)) return kKana;
  return kPunct;
}

// The full-width form of an ASCII mark or letter, or the ASCII form of a full-width one.
char32_t OtherWidth(char32_t c) {
  if (c >= 0x21 && c <= 0x7E) return c + 0xFEE0;
  if (c >= 0xFF01 && c <= 0xFF5E) return c - 0xFEE0;
  return 0;
}

// Resident memory of the process in MB (VmRSS), or -1.
long ResidentMb() {
  FILE* f = std::fopen("/proc/self/status", "r");
  if (!f) return -1;
  char line[256];
  long kb = -1;
  while (std::fgets(line, sizeof line, f))
    if (std::sscanf(line, "VmRSS: %ld", &kb) == 1) break;
  std::fclose(f);
  return kb < 0 ? -1 : kb / 1024;
}

bool IsBlank(const Cell& cell) {
  return std::none_of(cell.px.begin(), cell.px.end(), [](uint8_t v) { return v != 0; });
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> fonts;
  for (int i = 1; i < argc; ++i) fonts.push_back(argv[i]);
  if (fonts.empty()) fonts = {GLYPHREC_TEST_FONTS};
  const auto chars = ReferenceCharacters(GLYPHREC_UNIHAN);
  std::vector<char32_t> beyond;
  for (const TableIdeograph& t : TableIdeographsBeyondGb2312(GLYPHREC_UNIHAN))
    beyond.push_back(t.ch);
  std::sort(beyond.begin(), beyond.end());
  const char* names[kCategories] = {"ideographs", "punctuation",   "latin+digits",
                                    "kana",       "beyond-GB2312", "blank"};
  {
    // The first sheet maps the reference data: the library's start-up time.
    std::vector<St_RecogResult> results;
    vbench::Stopwatch watch;
    RecogniseSheet(&CreateRecogPageInstance, BuildSheet({Cell{}}), results);
    std::printf("first sheet (maps the reference data): %.1f ms\n", watch.ElapsedMs());
  }
  std::printf("%-40s %7s %9s %8s  %s\n", "typeface", "glyphs", "glyphs/s", "CPU s",
              "top-1 accuracy");
  for (const std::string& spec : fonts) {
    size_t colon = spec.rfind(':');
    bool hasFace = colon != std::string::npos && colon + 1 < spec.size() &&
                   spec.find_first_not_of("0123456789", colon + 1) == std::string::npos;
    std::string file = hasFace ? spec.substr(0, colon) : spec;
    int face = hasFace ? std::atoi(spec.c_str() + colon + 1) : 0;
    FontRenderer font;
    if (!font.Open(file, face)) {
      std::printf("%-40s cannot be opened\n", spec.c_str());
      continue;
    }
    std::vector<Cell> cells;
    std::vector<char32_t> truth;
    Cell cell;
    for (char32_t c : chars) {
      if (!font.Render(c, cell)) continue;
      cells.push_back(cell);
      truth.push_back(c);
    }
    auto dib = BuildSheet(cells);
    std::vector<St_RecogResult> results;
    vbench::Stopwatch watch(true);  // CPU time: the machine is shared
    HRESULT hr = RecogniseSheet(&CreateRecogPageInstance, dib, results);
    double ms = watch.ElapsedMs();
    if (hr < 0 || results.size() < cells.size()) {
      std::printf("%-40s recognition failed (0x%08x)\n", spec.c_str(), unsigned(hr));
      continue;
    }
    Tally tally[kCategories];
    std::vector<int> category(truth.size());
    for (size_t i = 0; i < truth.size(); ++i) {
      category[i] = IsBlank(cells[i]) ? kBlank : Category(truth[i], beyond);
      Tally& t = tally[category[i]];
      ++t.total;
      t.right += results[i].wChar == truth[i];
      t.widthPairs += results[i].wChar != truth[i] && results[i].wChar == OtherWidth(truth[i]);
    }
    std::string name =
        file.substr(file.rfind('/') + 1) + (hasFace ? ":" + std::to_string(face) : "");
    std::printf("%-40s %7zu %9.0f %8.2f ", name.c_str(), cells.size(), cells.size() / ms * 1000,
                ms / 1000);
    for (int k = 0; k < kBlank; ++k) {
      if (!tally[k].total) continue;
      std::printf(" %s %.2f%% (%d/%d", names[k], tally[k].Percent(), tally[k].right,
                  tally[k].total);
      if (tally[k].widthPairs) std::printf(", +%d width pairs", tally[k].widthPairs);
      std::printf(")");
    }
    // Cells without ink: no shape names them.
    if (tally[kBlank].total) std::printf(" %s %d", names[kBlank], tally[kBlank].total);
    std::printf("\n");
    if (std::getenv("GLYPHREC_BENCH_MISSES")) {
      for (size_t i = 0; i < truth.size(); ++i) {
        if (results[i].wChar != truth[i] && category[i] != kLatin && category[i] != kKana &&
            category[i] != kBlank)
          std::printf("  miss U+%04X -> U+%04X score %d\n", unsigned(truth[i]),
                      unsigned(results[i].wChar), results[i].bShown);
      }
    }
  }
  // The sheets are gone: what stays is the library's (the mapped references, Tesseract's models).
  std::printf("resident memory after the sheets: %ld MB\n", ResidentMb());
  return 0;
}
