// velluma-bench: the page-content kit against MuPDF itself. For every page it times the kit's
// three content streams (text, images, paths, with their frees) on a document opened once,
// and MuPDF's page load plus structured-text extraction with default options; each
// measurement is repeated and the median reported. See bench/README.md.

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench_common.h"
#include "mupdf_ref.h"
#include "pdfkit/pdfkit.h"
#include "vwin32/strings.h"

namespace {

constexpr double kTargetRatio = 1.5;
constexpr const char* kUsage =
    "usage: velluma-bench [FILE|DIR ...] [--repeat N] [--max-pages N] [--cpu]\n"
    "  Times the kit's text, image and path streams against MuPDF's page load and text\n"
    "  extraction on every page of the given PDF files (default: samples and corpus).\n"
    "  --repeat N     measurements per page, the median is reported (default 5)\n"
    "  --max-pages N  measure at most the first N pages of each file (default all)\n"
    "  --cpu          time the process's CPU time instead of wall-clock time\n";

struct PageResult {
  std::string file;
  int page = 0;
  int runs = 0;
  int chars = 0;
  int muChars = 0;
  double kitMs = 0;                            // the three streams and their frees
  double textMs = 0, imageMs = 0, pathMs = 0;  // each stream without its free
  double muMs = 0;
  double Ratio() const { return muMs > 0 ? kitMs / muMs : 0; }
};

struct DocCloser {
  void operator()(PTK_Document* d) const { PTK_CloseDoc(d, 0); }
};
struct MuCloser {
  void operator()(vb_mupdf* d) const { vb_mupdf_close(d); }
};

// One kit measurement of a page: the three streams and their frees, with the time of each
// stream. The counting between fetch and free is not timed.
struct KitTiming {
  double total, text, image, path;
};

KitTiming TimeKitPage(PTK_HDOC doc, int32_t page, bool cpu, PageResult* counts) {
  PTK_TextRun* runs = nullptr;
  PTK_ImageRecord* images = nullptr;
  PTK_PathRecord* paths = nullptr;
  KitTiming t{};
  vbench::Stopwatch text(cpu);
  PTK_GetPageContentTextStream(doc, page, &runs);
  t.text = text.ElapsedMs();
  vbench::Stopwatch image(cpu);
  PTK_GetPageContentImageStream(doc, page, &images);
  t.image = image.ElapsedMs();
  vbench::Stopwatch path(cpu);
  PTK_GetPageContentPathStream(doc, page, &paths);
  t.path = path.ElapsedMs();
  if (counts) {
    counts->runs = counts->chars = 0;
    for (const PTK_TextRun* r = runs; r; r = r->pNext) {
      ++counts->runs;
      counts->chars += static_cast<int>(r->nCharCount);
    }
  }
  vbench::Stopwatch release(cpu);
  PTK_FreePageContentTextStream(runs);
  PTK_FreePageContentImageStream(images);
  PTK_FreePageContentPathStream(paths);
  t.total = t.text + t.image + t.path + release.ElapsedMs();
  return t;
}

void PrintHeader() {
  std::printf("%-36s %4s %6s %7s %8s %8s %8s %8s %9s %9s %6s\n", "file", "page", "runs", "chars",
              "mu-chars", "text ms", "img ms", "path ms", "kit ms", "mupdf ms", "ratio");
}

void PrintRow(const PageResult& r) {
  std::printf("%-36s %4d %6d %7d %8d %8.2f %8.2f %8.2f %9.2f %9.2f %6.2f%s\n", r.file.c_str(),
              r.page, r.runs, r.chars, r.muChars, r.textMs, r.imageMs, r.pathMs, r.kitMs, r.muMs,
              r.Ratio(), r.Ratio() > kTargetRatio ? " *" : "");
  std::fflush(stdout);
}

// Measures every page of one file; pages that MuPDF cannot load are reported and skipped.
void MeasureFile(const std::string& path, const vbench::Options& options,
                 std::vector<PageResult>& results) {
  const std::string name = vbench::BaseName(path);
  const std::unique_ptr<PTK_Document, DocCloser> kitDoc(
      PTK_OpenDoc(vwin32::FromUtf8(path).c_str(), 0));
  if (!kitDoc) {
    std::printf("%-36s the kit cannot open the file: skipped\n", name.c_str());
    return;
  }
  const std::unique_ptr<vb_mupdf, MuCloser> muDoc(vb_mupdf_open(path.c_str()));
  if (!muDoc) {
    std::printf("%-36s MuPDF cannot open the file: skipped\n", name.c_str());
    return;
  }
  int pages = PTK_GetPageCount(kitDoc.get());
  if (options.maxPages > 0) pages = std::min(pages, options.maxPages);
  for (int page = 1; page <= pages; ++page) {
    PageResult r;
    r.file = name;
    r.page = page;
    std::vector<double> kit, text, image, path, mu;
    bool muFailed = false;
    for (int i = 0; i < options.repeat; ++i) {
      const KitTiming t = TimeKitPage(kitDoc.get(), page, options.cpuTime, i == 0 ? &r : nullptr);
      kit.push_back(t.total);
      text.push_back(t.text);
      image.push_back(t.image);
      path.push_back(t.path);
      vbench::Stopwatch sw(options.cpuTime);
      const int rc = vb_mupdf_stext_page(muDoc.get(), page - 1, i == 0 ? &r.muChars : nullptr);
      mu.push_back(sw.ElapsedMs());
      if (rc != 0) muFailed = true;
    }
    if (muFailed) {
      std::printf("%-36s %4d MuPDF cannot load the page: skipped\n", name.c_str(), page);
      continue;
    }
    r.kitMs = vbench::Median(kit);
    r.textMs = vbench::Median(text);
    r.imageMs = vbench::Median(image);
    r.pathMs = vbench::Median(path);
    r.muMs = vbench::Median(mu);
    PrintRow(r);
    results.push_back(r);
  }
}

void PrintSummary(const std::vector<PageResult>& results) {
  if (results.empty()) {
    std::printf("summary: no page measured\n");
    return;
  }
  std::vector<double> ratios;
  double kitTotal = 0, muTotal = 0;
  const PageResult* worst = &results.front();
  for (const PageResult& r : results) {
    ratios.push_back(r.Ratio());
    kitTotal += r.kitMs;
    muTotal += r.muMs;
    if (r.Ratio() > worst->Ratio()) worst = &r;
  }
  const double median = vbench::Median(ratios);
  std::printf(
      "summary: %zu pages, kit %.1f ms, MuPDF %.1f ms; ratio median %.2f, max %.2f (%s page "
      "%d); target ratio <= %.1f: %s\n",
      results.size(), kitTotal, muTotal, median, worst->Ratio(), worst->file.c_str(), worst->page,
      kTargetRatio,
      worst->Ratio() <= kTargetRatio ? "met on every page"
      : median <= kTargetRatio       ? "met by the median, not on every page (marked *)"
                                     : "NOT met");
}

}  // namespace

int main(int argc, char** argv) {
  vbench::Options options;
  std::vector<std::string> files;
  const vbench::Program program{"velluma-bench", kUsage, true,
                                "no PDF files to measure (samples and corpus absent)"};
  if (const auto status = vbench::Start(argc, argv, program, options, files)) return *status;
  std::printf(
      "median of %d measurements per page (%s); kit = text + image + path streams and frees; "
      "MuPDF = load page + structured text + drops\n",
      options.repeat, options.cpuTime ? "process CPU time" : "wall-clock time");
  PTK_Initialize(0);
  std::vector<PageResult> results;
  PrintHeader();
  for (const std::string& f : files) MeasureFile(f, options, results);
  PTK_Destroy();
  PrintSummary(results);
  return 0;
}
