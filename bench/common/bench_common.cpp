#include "bench_common.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <system_error>

namespace vbench {
namespace {

namespace fs = std::filesystem;

bool ParseCount(std::string_view s, int min, int& out) {
  int v = 0;
  const auto res = std::from_chars(s.data(), s.data() + s.size(), v);
  if (res.ec != std::errc() || res.ptr != s.data() + s.size() || v < min) return false;
  out = v;
  return true;
}

bool IsPdfName(const fs::path& p) {
  std::string ext = p.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext == ".pdf";
}

void AddFolder(const fs::path& dir, std::vector<std::string>& files) {
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code fileEc;
    if (it->is_regular_file(fileEc) && IsPdfName(it->path())) files.push_back(it->path());
  }
}

}  // namespace

ParseResult ParseOptions(int argc, char** argv, Options& options, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (a == "-h" || a == "--help") return ParseResult::kHelp;
    if (a == "--repeat" || a == "--max-pages") {
      if (i + 1 >= argc) {
        error = "option " + std::string(a) + " needs a value";
        return ParseResult::kError;
      }
      const std::string_view v = argv[++i];
      int& target = a == "--repeat" ? options.repeat : options.maxPages;
      if (!ParseCount(v, a == "--repeat" ? 1 : 0, target)) {
        error = "invalid value '" + std::string(v) + "' for " + std::string(a);
        return ParseResult::kError;
      }
      continue;
    }
    if (a == "--cpu") {
      options.cpuTime = true;
      continue;
    }
    if (a.size() > 1 && a[0] == '-') {
      error = "unknown option '" + std::string(a) + "'";
      return ParseResult::kError;
    }
    options.inputs.emplace_back(a);
  }
  return ParseResult::kRun;
}

std::optional<int> Start(int argc, char** argv, const Program& program, Options& options,
                         std::vector<std::string>& files) {
  std::string error;
  switch (ParseOptions(argc, argv, options, error)) {
    case ParseResult::kHelp:
      std::fputs(program.usage, stdout);
      return 0;
    case ParseResult::kError:
      std::fprintf(stderr, "%s: %s\n%s", program.name, error.c_str(),
                   program.usageOnError ? program.usage : "");
      return 2;
    case ParseResult::kRun:
      break;
  }
  files = CollectPdfFiles(options.inputs);
  if (files.empty()) {
    std::fprintf(stderr, "%s: %s\n", program.name, program.noFiles);
    return 1;
  }
  return std::nullopt;
}

std::vector<std::string> CollectPdfFiles(const std::vector<std::string>& inputs) {
  std::vector<std::string> files;
  if (inputs.empty()) {
    AddFolder(VELLUMA_SAMPLES_DIR, files);
    AddFolder(VELLUMA_CORPUS_DIR, files);
  }
  for (const std::string& in : inputs) {
    std::error_code ec;
    if (fs::is_directory(in, ec))
      AddFolder(in, files);
    else
      files.push_back(in);  // a missing file is reported when it is opened
  }
  std::sort(files.begin(), files.end());
  files.erase(std::unique(files.begin(), files.end()), files.end());
  return files;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double Stopwatch::Now() const {
  timespec ts{};
  clock_gettime(cpu_ ? CLOCK_PROCESS_CPUTIME_ID : CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

std::string BaseName(const std::string& path) {
  return fs::path(path).filename().string();
}

}  // namespace vbench
