// Issue analysis: per file, the median time of a level-3 load of page 1 (text, glyph
// recognition), of the provider's general path and of its configured path (a region over the top
// sixth of the page), with the ratios general / level 3 (target <= 1.2) and configured / general
// (target < 1). Then `velluma issue` over all files with --jobs 1 and --jobs N: files per second
// and the speed-up (target >= 0.8 N).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench_common.h"
#include "engine/pdfinstance.h"
#include "issueinfo/issueinstance.h"
#include "velluma/velluma.h"
#include "vwin32/strings.h"

namespace fs = std::filesystem;

namespace {

// Wall-clock seconds of one run of the velluma command over the files.
double RunCommand(const std::vector<std::string>& files, int jobs) {
  std::string command = std::string("'") + VELLUMA_BIN_DIR + "/velluma' issue";
  for (const std::string& file : files) command += " '" + file + "'";
  command += " --publication Bench --jobs " + std::to_string(jobs) + " > /dev/null 2>&1";
  const auto start = std::chrono::steady_clock::now();
  const int status = std::system(command.c_str());
  (void)status;  // files the provider cannot analyse count all the same
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  vbench::Options options;
  std::vector<std::string> files;
  const vbench::Program program{"velluma-issue-bench",
                                "usage: velluma-issue-bench [FILE|DIR ...] [--repeat N] [--cpu]\n",
                                false, "no PDF files found"};
  if (const auto status = vbench::Start(argc, argv, program, options, files)) return *status;

  const fs::path configRoot = fs::temp_directory_path() / "velluma-issue-bench";
  fs::create_directories(configRoot / "Config");
  std::printf("median of %d runs per path on page 1 of each file\n", options.repeat);
  std::printf("%-36s %9s %9s %9s %8s %8s\n", "file", "L3 ms", "gen ms", "conf ms", "gen/L3",
              "conf/gen");
  std::vector<double> generalRatios, configuredRatios;
  for (const std::string& file : files) {
    const std::u16string path = vwin32::FromUtf8(file);
    CPDFInstance engine;
    if (engine.Open(path.c_str()) != S_OK || engine.GetPageCount() < 1) {
      std::printf("%-36s cannot be opened\n", vbench::BaseName(file).c_str());
      continue;
    }
    engine.LoadPage(1, LPF_TEXT, TRUE);  // warm the font caches
    const double width = engine.GetPageInfo()->m_dPageWidth;
    const double height = engine.GetPageInfo()->m_dPageHeight;
    std::ofstream(configRoot / "Config" / "IssueInfo.xml")
        << "<IssueInfoSet><IssueInfo IssueName=\"Bench\"><FrontPage Left=\"0\" Top=\"0\" Right=\""
        << static_cast<int>(width) << "\" Bottom=\"" << static_cast<int>(height / 6) << "\"/>"
        << "</IssueInfo></IssueInfoSet>";
    CIssueInfoInstance issue;
    issue.LoadIssueInfo(vwin32::FromUtf8(configRoot.string()));

    std::vector<double> level3, general, configured;
    long nResult = 0;
    for (int r = 0; r < options.repeat; ++r) {
      vbench::Stopwatch w3(options.cpuTime);
      engine.Open(path.c_str());
      engine.LoadPage(1, LPF_RECOGNISE | LPF_TEXT | 3, TRUE);
      level3.push_back(w3.ElapsedMs());
      vbench::Stopwatch wg(options.cpuTime);
      issue.AnalysePage(path, u"Other", u"", true, false, nResult);
      general.push_back(wg.ElapsedMs());
      vbench::Stopwatch wc(options.cpuTime);
      issue.AnalysePage(path, u"Bench", u"", true, false, nResult);
      configured.push_back(wc.ElapsedMs());
    }
    const double l3 = vbench::Median(level3), gen = vbench::Median(general),
                 conf = vbench::Median(configured);
    const double genRatio = l3 > 0 ? gen / l3 : 0, confRatio = gen > 0 ? conf / gen : 0;
    generalRatios.push_back(genRatio);
    configuredRatios.push_back(confRatio);
    std::printf("%-36s %9.2f %9.2f %9.2f %8.2f %8.2f%s\n", vbench::BaseName(file).c_str(), l3, gen,
                conf, genRatio, confRatio, genRatio > 1.2 || confRatio >= 1.0 ? " *" : "");
  }
  fs::remove_all(configRoot);
  std::printf(
      "summary: %zu files; general/L3 median %.2f (target <= 1.2); configured/general "
      "median %.2f (target < 1); misses marked *\n",
      generalRatios.size(), vbench::Median(generalRatios), vbench::Median(configuredRatios));

  // The command over every file, each file given several times so that a run lasts a while.
  std::vector<std::string> batch;
  for (int r = 0; r < 4; ++r) batch.insert(batch.end(), files.begin(), files.end());
  const int jobs = std::max(2u, std::thread::hardware_concurrency());
  const double one = RunCommand(batch, 1);
  const double many = RunCommand(batch, jobs);
  const double speedUp = many > 0 ? one / many : 0;
  std::printf(
      "velluma issue: %zu files; --jobs 1 %.1f files/s; --jobs %d %.1f files/s; speed-up "
      "%.2f = %.2f N (target >= 0.8 N)\n",
      batch.size(), batch.size() / one, jobs, batch.size() / many, speedUp, speedUp / jobs);
  return 0;
}
