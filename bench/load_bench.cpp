// Page loading at analysis levels 0, 1, 2, 4 and 5: per page, the median time of a fresh load at
// each level (intake alone at level 0), the runs per second of the level-2 load, and the peak
// resident memory of the process at the end. Targets: level 2 at most twice level 0, level 5
// at most 1.5 times level 2, and no page over 200 ms at level 2 or 5.
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_common.h"
#include "engine/pdfinstance.h"
#include "velluma/velluma.h"
#include "vwin32/strings.h"

namespace {

// One load of page `page` at `level` with text and images, from a reset page.
double LoadOnce(CPDFInstance& engine, int page, int level, bool cpu, size_t* runs) {
  vbench::Stopwatch watch(cpu);
  engine.LoadPage(page, LPF_RESET | LPF_TEXT | LPF_IMAGES | static_cast<unsigned long>(level),
                  FALSE);
  double ms = watch.ElapsedMs();
  if (runs && level == 0) *runs = static_cast<size_t>(engine.m_textBlocks.GetSize());
  return ms;
}

}  // namespace

int main(int argc, char** argv) {
  vbench::Options options;
  std::vector<std::string> files;
  const vbench::Program program{
      "velluma-load-bench",
      "usage: velluma-load-bench [FILE|DIR ...] [--repeat N] [--max-pages N] [--cpu]\n", false,
      "no PDF files found"};
  if (const auto status = vbench::Start(argc, argv, program, options, files)) return *status;
  std::printf("median of %d loads per level; each load starts from a reset page\n", options.repeat);
  constexpr int kLevels[] = {0, 1, 2, 4, 5};
  constexpr int kCount = sizeof kLevels / sizeof kLevels[0];
  std::printf("%-36s %5s %6s %9s %9s %9s %9s %9s %7s %7s %10s\n", "file", "page", "runs", "L0 ms",
              "L1 ms", "L2 ms", "L4 ms", "L5 ms", "L2/L0", "L5/L2", "runs/s L2");
  std::vector<double> ratios, ratios5;
  double worstL2 = 0, worstL5 = 0;
  for (const std::string& file : files) {
    CPDFInstance engine;
    if (engine.Open(vwin32::FromUtf8(file).c_str()) != S_OK) {
      std::printf("%-36s cannot be opened\n", vbench::BaseName(file).c_str());
      continue;
    }
    int pages = engine.GetPageCount();
    if (options.maxPages > 0 && pages > options.maxPages) pages = options.maxPages;
    for (int page = 1; page <= pages; ++page) {
      size_t runs = 0;
      double ms[kCount];
      LoadOnce(engine, page, 0, options.cpuTime, nullptr);  // warm the font and image caches
      for (int i = 0; i < kCount; ++i) {
        std::vector<double> times;
        for (int r = 0; r < options.repeat; ++r)
          times.push_back(LoadOnce(engine, page, kLevels[i], options.cpuTime, &runs));
        ms[i] = vbench::Median(times);
      }
      const double l0 = ms[0], l2 = ms[2], l5 = ms[4];
      const double ratio = l0 > 0 ? l2 / l0 : 0;
      const double ratio5 = l2 > 0 ? l5 / l2 : 0;
      ratios.push_back(ratio);
      ratios5.push_back(ratio5);
      worstL2 = std::max(worstL2, l2);
      worstL5 = std::max(worstL5, l5);
      std::printf("%-36s %5d %6zu %9.2f %9.2f %9.2f %9.2f %9.2f %7.2f %7.2f %10.0f%s\n",
                  vbench::BaseName(file).c_str(), page, runs, ms[0], ms[1], l2, ms[3], l5, ratio,
                  ratio5, l2 > 0 ? runs * 1000.0 / l2 : 0.0,
                  ratio > 2.0 || ratio5 > 1.5 || l2 > 200.0 || l5 > 200.0 ? " *" : "");
    }
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf(
      "summary: %zu pages; L2/L0 median %.2f; L5/L2 median %.2f; slowest level-2 load %.1f ms; "
      "slowest level-5 load %.1f ms; peak resident memory %.0f MB; targets: L2/L0 <= 2, "
      "L5/L2 <= 1.5, L2 and L5 < 200 ms per page (misses marked *)\n",
      ratios.size(), vbench::Median(ratios), vbench::Median(ratios5), worstL2, worstL5,
      usage.ru_maxrss / 1024.0);
  return 0;
}
