// Page loading at analysis levels 0, 1, 2 and 4: per page, the median time of a fresh load at each
// level (intake alone at level 0), the runs per second of the level-2 load, and the peak
// resident memory of the process at the end.
#include <sys/resource.h>

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
  std::printf("%-36s %5s %6s %9s %9s %9s %9s %7s %10s\n", "file", "page", "runs", "L0 ms", "L1 ms",
              "L2 ms", "L4 ms", "L2/L0", "runs/s L2");
  std::vector<double> ratios;
  double worstL2 = 0;
  double worstL4 = 0;
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
      constexpr int kLevels[] = {0, 1, 2, 4};
      double ms[5] = {};
      LoadOnce(engine, page, 0, options.cpuTime, nullptr);  // warm the font and image caches
      for (const int level : kLevels) {
        std::vector<double> times;
        for (int r = 0; r < options.repeat; ++r)
          times.push_back(LoadOnce(engine, page, level, options.cpuTime, &runs));
        ms[level] = vbench::Median(times);
      }
      const double ratio = ms[0] > 0 ? ms[2] / ms[0] : 0;
      ratios.push_back(ratio);
      if (ms[2] > worstL2) worstL2 = ms[2];
      if (ms[4] > worstL4) worstL4 = ms[4];
      std::printf("%-36s %5d %6zu %9.2f %9.2f %9.2f %9.2f %7.2f %10.0f%s\n",
                  vbench::BaseName(file).c_str(), page, runs, ms[0], ms[1], ms[2], ms[4], ratio,
                  ms[2] > 0 ? runs * 1000.0 / ms[2] : 0.0,
                  ratio > 2.0 || ms[2] > 200.0 ? " *" : "");
    }
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf(
      "summary: %zu pages; L2/L0 median %.2f; slowest level-2 load %.1f ms; slowest level-4 "
      "load %.1f ms; peak resident memory %.0f MB; targets: L2/L0 <= 2 and L2 < 200 ms per page "
      "(misses marked *)\n",
      ratios.size(), vbench::Median(ratios), worstL2, worstL4, usage.ru_maxrss / 1024.0);
  return 0;
}
