// Shared pieces of the benchmarks: command line, the PDF files to measure, timing and
// medians.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vbench {

struct Options {
  std::vector<std::string> inputs;  // files or folders given on the command line
  int repeat = 5;                   // measurements per page; the median is reported
  int maxPages = 0;                 // pages per file, 0 for all
  bool cpuTime = false;             // time the process's CPU time instead of wall-clock time
};

enum class ParseResult { kRun, kHelp, kError };

// Parses [FILE|DIR ...] [--repeat N] [--max-pages N] [--cpu] [--help]. On kError, error holds one
// line naming the problem.
ParseResult ParseOptions(int argc, char** argv, Options& options, std::string& error);

// What a benchmark says about its command line and its files.
struct Program {
  const char* name;     // opens its error messages
  const char* usage;    // printed for --help
  bool usageOnError;    // printed after a command-line error too
  const char* noFiles;  // the message when there is nothing to measure
};

// Parses the command line and collects the PDF files (CollectPdfFiles). Returns the exit
// status when the benchmark is to end without running: 0 after --help, 2 for a bad command
// line, 1 when there are no files; nullopt when it is to run.
std::optional<int> Start(int argc, char** argv, const Program& program, Options& options,
                         std::vector<std::string>& files);

// The PDF files to measure, sorted by path: the inputs (a folder stands for the *.pdf files
// directly in it), or when there are none, the bundled samples and the corpus (each skipped
// quietly when absent).
std::vector<std::string> CollectPdfFiles(const std::vector<std::string>& inputs);

// Median of the values (mean of the two middle ones for an even count); 0 for none.
double Median(std::vector<double> values);

// The file name without its folder.
std::string BaseName(const std::string& path);

// Milliseconds since construction: wall-clock time, or the CPU time of the whole process
// (all threads), which a busy machine disturbs less.
class Stopwatch {
 public:
  explicit Stopwatch(bool cpuTime = false) : cpu_(cpuTime), start_(Now()) {}
  double ElapsedMs() const { return Now() - start_; }

 private:
  double Now() const;
  bool cpu_;
  double start_;
};

}  // namespace vbench
