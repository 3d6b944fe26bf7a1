// The component's side of glyph recognition: per page with glyphs that have no usable code,
// the median time to render every distinct glyph and pack the glyph sheet, and the distinct
// glyphs per second. The recognition library itself is not run.
#include <cstdio>
#include <string>
#include <vector>

#include "bench_common.h"
#include "engine/pdfinstance.h"
#include "glyphs/recognition.h"
#include "velluma/velluma.h"
#include "vwin32/strings.h"

int main(int argc, char** argv) {
  vbench::Options options;
  std::vector<std::string> files;
  const vbench::Program program{
      "velluma-glyphsheet-bench",
      "usage: velluma-glyphsheet-bench [FILE|DIR ...] [--repeat N] [--max-pages N] [--cpu]\n",
      false, "no PDF files found"};
  if (const auto status = vbench::Start(argc, argv, program, options, files)) return *status;
  std::printf("median of %d sheet builds per page (pages with flagged runs only)\n",
              options.repeat);
  std::printf("%-36s %5s %6s %7s %9s %10s\n", "file", "page", "runs", "cells", "ms", "glyphs/s");
  for (const std::string& file : files) {
    CPDFInstance engine;
    if (engine.Open(vwin32::FromUtf8(file).c_str()) != S_OK) continue;
    int pages = engine.GetPageCount();
    if (options.maxPages > 0 && pages > options.maxPages) pages = options.maxPages;
    for (int page = 1; page <= pages; ++page) {
      engine.LoadPage(page, LPF_RESET | LPF_TEXT, FALSE);
      CTextBlockArray runs;
      for (CTextBlock* b : engine.m_textBlocks)
        if ((b->m_nFlags & TBF_UNRECOGNISED) != 0) runs.Add(b);
      if (runs.IsEmpty()) continue;
      std::vector<double> times;
      int cells = 0;
      size_t keys = 0;
      for (int r = 0; r < options.repeat; ++r) {
        CGlyphRecogState state;
        PTK_SetSmoothTag(engine.m_hDoc, 0);
        vbench::Stopwatch watch(options.cpuTime);
        cells = BuildGlyphSheet(engine.m_hDoc, engine.m_pPageInfo, runs, state);
        times.push_back(watch.ElapsedMs());
        PTK_SetSmoothTag(engine.m_hDoc, 12);
        keys = state.m_glyphMap.size();
      }
      const double ms = vbench::Median(times);
      std::printf("%-36s %5d %6d %7d %9.2f %10.0f\n", vbench::BaseName(file).c_str(), page,
                  runs.GetSize(), cells, ms, ms > 0 ? keys * 1000.0 / ms : 0.0);
    }
  }
  return 0;
}
