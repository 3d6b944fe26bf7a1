// Recognition end to end, as a user meets it: a news text set in a typeface that is not among
// the recognition library's references, embedded as subsets whose codes name nothing, loaded
// with recognition; the share of characters read right (ideographs, punctuation, the rest) and
// the time recognition adds to a level-1 load.
// Usage: velluma-recognise-bench [--text FILE] [FONTFILE:FACE ...]
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench_common.h"
#include "engine/pdfinstance.h"
#include "unmappedtext.h"
#include "velluma/velluma.h"
#include "vwin32/strings.h"

namespace {

std::u16string WithoutBlanks(const std::u16string& s) {
  std::u16string out;
  for (char16_t c : s)
    if (c != u' ' && c != u'\u3000' && c != u'\n' && c != u'\r') out.push_back(c);
  return out;
}

int Category(char16_t c) {
  if (c >= 0x4E00 && c <= 0x9FFF) return 0;
  if ((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z')) return 2;
  return 1;
}

// Page 1 at level 1, with recognition or without; the text of its blocks and the time taken.
std::u16string Load(CPDFInstance& engine, bool recognise, double& ms) {
  vbench::Stopwatch watch(true);
  engine.LoadPage(1, LPF_RESET | LPF_TEXT | (recognise ? LPF_RECOGNISE : 0) | 1, FALSE);
  ms = watch.ElapsedMs();
  std::u16string text;
  for (int i = 0; i < engine.m_textBlocks.GetSize(); ++i) text += engine.m_textBlocks[i]->m_strText;
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  std::string textFile = VELLUMA_BENCH_TEXT;
  std::vector<std::string> fonts;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--text" && i + 1 < argc)
      textFile = argv[++i];
    else
      fonts.push_back(argv[i]);
  }
  if (fonts.empty()) fonts = {GLYPHREC_TEST_FONTS};
  setenv("VELLUMA_GLYPHREC", VELLUMA_GLYPHREC_LIBRARY, 0);
  std::ifstream in(textFile, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  const std::u16string source = vwin32::FromUtf8(buffer.str());
  if (source.empty()) {
    std::fprintf(stderr, "velluma-recognise-bench: no text in %s\n", textFile.c_str());
    return 2;
  }
  std::printf("%-20s %6s %8s %9s %9s  %s\n", "typeface", "chars", "glyphs", "L1 ms", "+recog ms",
              "read right: ideographs, punctuation, Latin+digits");
  const bool listMisses = std::getenv("VELLUMA_BENCH_MISSES") != nullptr;
  for (const std::string& spec : fonts) {
    const size_t colon = spec.rfind(':');
    const std::string file = spec.substr(0, colon);
    const int face = colon == std::string::npos ? 0 : std::atoi(spec.c_str() + colon + 1);
    const auto page = vtest::UnmappedTextPdf(file, face, source);
    const std::string name = vbench::BaseName(spec);
    if (page.pdf.empty()) {
      std::printf("%-20s cannot be read\n", name.c_str());
      continue;
    }
    const std::string path = "/tmp/velluma-recognise-bench.pdf";
    std::ofstream(path, std::ios::binary) << page.pdf;
    CPDFInstance engine;
    if (engine.Open(vwin32::FromUtf8(path).c_str()) != S_OK) {
      std::printf("%-20s the page cannot be opened\n", name.c_str());
      continue;
    }
    double plain = 0, recognised = 0;
    Load(engine, false, plain);
    const std::u16string got = WithoutBlanks(Load(engine, true, recognised));
    const std::u16string want = WithoutBlanks(page.text);
    std::printf("%-20s %6zu %8d %9.1f %9.1f ", name.c_str(), want.size(), page.distinct, plain,
                recognised - plain);
    if (got.size() != want.size()) {
      std::printf(" lengths differ (%zu read); in order: %.2f%%\n", got.size(),
                  100 * vtest::TextAgreement(want, got));
      continue;
    }
    int total[3] = {}, right[3] = {};
    std::string misses;
    for (size_t i = 0; i < want.size(); ++i) {
      const int k = Category(want[i]);
      ++total[k];
      if (got[i] == want[i]) {
        ++right[k];
      } else if (listMisses) {
        misses += "  " + vwin32::ToUtf8(want.substr(i, 1)) + " read " +
                  vwin32::ToUtf8(got.substr(i, 1)) + "\n";
      }
    }
    for (int k = 0; k < 3; ++k)
      std::printf(" %.2f%% (%d/%d)", total[k] ? 100.0 * right[k] / total[k] : 100.0, right[k],
                  total[k]);
    std::printf("\n%s", misses.c_str());
  }
  return 0;
}
