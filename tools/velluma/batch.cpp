// velluma batch: analyses every page of every PDF file under the inputs in worker processes.
//
// Each worker is this program run again on one task ("velluma info FILE" for the page count,
// "velluma analyse FILE --page N" for a page), with a time limit and an address-space limit,
// so a file that crashes or hangs a worker costs only that file. Page outputs are written to a
// temporary name, synced and renamed; a JSON Lines manifest records every file's outcome. A
// rerun skips files the manifest records as done and pages whose output exists.
#include "batch.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "vjson/json.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kExitAllOk = 0;
constexpr int kExitSomeFailed = 1;
constexpr int kExitUsage = 2;

const char* const kBatchUsage =
    "usage: velluma batch INPUT... -o OUTDIR [--level L] [--format json|alto] [--jobs N]\n"
    "                     [--shard I/N] [--timeout S] [--memory MB] [--retry-failed]\n";

struct UsageError {
  std::string message;
};

struct BatchOptions {
  std::vector<std::string> inputs;
  std::string outDir;
  int level = 5;
  std::string format = "json";
  int jobs = 1;
  int shardIndex = 0;
  int shardCount = 1;
  double timeout = 300;
  long memoryMb = 4096;  // address space of one worker
  bool retryFailed = false;
};

long ParseWhole(const std::string& opt, const std::string& v, long lo, long hi) {
  char* end = nullptr;
  errno = 0;
  const long n = std::strtol(v.c_str(), &end, 10);
  if (v.empty() || *end || errno || n < lo || n > hi)
    throw UsageError{"option " + opt + " needs a whole number from " + std::to_string(lo) + " to " +
                     std::to_string(hi) + ", not '" + v + "'"};
  return n;
}

BatchOptions ParseBatchArgs(int argc, char** argv) {
  BatchOptions o;
  const unsigned cores = std::thread::hardware_concurrency();
  o.jobs = cores ? static_cast<int>(cores) : 1;
  for (int k = 2; k < argc; ++k) {
    const std::string a = argv[k];
    auto value = [&]() -> std::string {
      if (k + 1 >= argc) throw UsageError{"option " + a + " needs a value"};
      return argv[++k];
    };
    if (a == "-o" || a == "--output") {
      o.outDir = value();
    } else if (a == "--level") {
      o.level = static_cast<int>(ParseWhole(a, value(), 0, 15));
    } else if (a == "--format") {
      o.format = value();
      if (o.format != "json" && o.format != "alto")
        throw UsageError{"unknown format '" + o.format + "' (json or alto)"};
    } else if (a == "--jobs") {
      o.jobs = static_cast<int>(ParseWhole(a, value(), 1, 1024));
    } else if (a == "--shard") {
      const std::string v = value();
      const size_t slash = v.find('/');
      if (slash == std::string::npos) throw UsageError{"option --shard takes I/N, not '" + v + "'"};
      o.shardCount = static_cast<int>(ParseWhole(a, v.substr(slash + 1), 1, 1000000));
      o.shardIndex = static_cast<int>(ParseWhole(a, v.substr(0, slash), 0, o.shardCount - 1));
    } else if (a == "--timeout") {
      o.timeout = static_cast<double>(ParseWhole(a, value(), 1, 86400));
    } else if (a == "--memory") {
      o.memoryMb = ParseWhole(a, value(), 256, 1 << 20);
    } else if (a == "--retry-failed") {
      o.retryFailed = true;
    } else if (a.size() > 1 && a[0] == '-') {
      throw UsageError{"unknown option '" + a + "'; try 'velluma batch --help'"};
    } else {
      o.inputs.push_back(a);
    }
  }
  if (o.inputs.empty()) throw UsageError{"batch needs at least one INPUT file or folder"};
  if (o.outDir.empty()) throw UsageError{"batch needs -o OUTDIR"};
  return o;
}

// ---- Inputs and shards ----

struct InputFile {
  std::string path;  // as found
  std::string key;   // name under the output folder and in the manifest
};

bool IsPdfName(const fs::path& p) {
  std::string ext = p.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  return ext == ".pdf";
}

// Every PDF file named or found under a named folder, sorted by key, each once.
std::vector<InputFile> CollectInputs(const std::vector<std::string>& inputs) {
  std::map<std::string, std::string> byKey;
  for (const std::string& input : inputs) {
    std::error_code ec;
    const fs::path root(input);
    if (fs::is_directory(root, ec)) {
      const fs::path base = root.lexically_normal().filename().empty()
                                ? root.lexically_normal().parent_path().filename()
                                : root.lexically_normal().filename();
      fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec);
      if (ec) throw UsageError{"cannot read folder " + input + ": " + ec.message()};
      for (; it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (ec) break;
        if (!it->is_regular_file(ec) || !IsPdfName(it->path())) continue;
        const fs::path rel = fs::relative(it->path(), root, ec);
        byKey.emplace((base / rel).generic_string(), it->path().string());
      }
    } else if (fs::is_regular_file(root, ec)) {
      byKey.emplace(root.filename().generic_string(), input);
    } else {
      throw UsageError{"no such file or folder: " + input};
    }
  }
  std::vector<InputFile> files;
  for (auto& [key, path] : byKey) files.push_back({path, key});
  return files;
}

// FNV-1a of the key: a file's shard depends on its name only, not on what else is listed.
bool InShard(const std::string& key, int index, int count) {
  uint64_t h = 1469598103934665603ull;
  for (const unsigned char c : key) h = (h ^ c) * 1099511628211ull;
  return static_cast<int>(h % static_cast<uint64_t>(count)) == index;
}

// ---- Manifest ----

// Reads the JSON string that starts at s[pos] (a '"'); the escapes this writer produces.
bool ReadJsonString(const std::string& s, size_t pos, std::string* out) {
  if (pos >= s.size() || s[pos] != '"') return false;
  out->clear();
  for (size_t i = pos + 1; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '"') return true;
    if (c != '\\') {
      out->push_back(c);
      continue;
    }
    if (++i >= s.size()) return false;
    switch (s[i]) {
      case 'n':
        out->push_back('\n');
        break;
      case 't':
        out->push_back('\t');
        break;
      case 'r':
        out->push_back('\r');
        break;
      case 'b':
        out->push_back('\b');
        break;
      case 'f':
        out->push_back('\f');
        break;
      case 'u': {
        if (i + 4 >= s.size()) return false;
        const unsigned v =
            static_cast<unsigned>(std::strtoul(s.substr(i + 1, 4).c_str(), nullptr, 16));
        i += 4;
        if (v < 0x80) {
          out->push_back(static_cast<char>(v));
        } else if (v < 0x800) {
          out->push_back(static_cast<char>(0xC0 | (v >> 6)));
          out->push_back(static_cast<char>(0x80 | (v & 0x3F)));
        } else {
          out->push_back(static_cast<char>(0xE0 | (v >> 12)));
          out->push_back(static_cast<char>(0x80 | ((v >> 6) & 0x3F)));
          out->push_back(static_cast<char>(0x80 | (v & 0x3F)));
        }
        break;
      }
      default:
        out->push_back(s[i]);
    }
  }
  return false;
}

// The latest status ("ok" or "failed") of every key in the manifest. A torn last line (a
// power cut during the append) does not parse and is ignored.
std::map<std::string, std::string> ReadManifest(const fs::path& path) {
  std::map<std::string, std::string> done;
  std::ifstream in(path);
  std::string line;
  const std::string keyTag = "{\"key\":";
  while (std::getline(in, line)) {
    if (line.rfind(keyTag, 0) != 0 || line.back() != '}') continue;
    std::string key;
    if (!ReadJsonString(line, keyTag.size(), &key)) continue;
    if (line.find("\"status\":\"ok\"") != std::string::npos)
      done[key] = "ok";
    else if (line.find("\"status\":\"failed\"") != std::string::npos)
      done[key] = "failed";
  }
  return done;
}

std::string Json(std::string_view s) {
  return vjson::JsonString(s);
}

// Appends one line with a single write and syncs it.
bool AppendLine(int fd, const std::string& line) {
  const std::string text = line + "\n";
  size_t off = 0;
  while (off < text.size()) {
    const ssize_t n = ::write(fd, text.data() + off, text.size() - off);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    off += static_cast<size_t>(n);
  }
  return ::fsync(fd) == 0;
}

// Makes a finished temporary output durable under its final name.
bool Publish(const fs::path& temp, const fs::path& final) {
  const int fd = ::open(temp.c_str(), O_RDONLY);
  if (fd < 0) return false;
  const bool synced = ::fsync(fd) == 0;
  ::close(fd);
  if (!synced || ::rename(temp.c_str(), final.c_str()) != 0) return false;
  const int dir = ::open(final.parent_path().c_str(), O_RDONLY | O_DIRECTORY);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

// ---- Workers ----

struct FileState {
  InputFile input;
  fs::path outDir;
  int pages = -1;  // unknown until counted
  int pending = 0;
  int done = 0;
  std::vector<int> failedPages;
  std::string reason;  // the first failure
};

struct Task {
  size_t file = 0;
  int page = 0;  // 0: count the pages
};

struct Worker {
  pid_t pid = -1;
  Task task;
  Clock::time_point started;
  fs::path out, err, temp;
  bool timedOut = false;
};

std::string PageName(int page, const std::string& format) {
  char name[32];
  std::snprintf(name, sizeof name, "page-%04d.%s", page, format == "alto" ? "xml" : "json");
  return name;
}

std::string SelfExe() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? "velluma" : exe.string();
}

// A test hook: VELLUMA_BATCH_TEST_CRASH / _HANG name a file whose page workers crash or hang.
void TestHook(const std::string& path) {
  const std::string name = fs::path(path).filename().string();
  if (const char* c = std::getenv("VELLUMA_BATCH_TEST_CRASH"); c && *c && name == c)
    ::raise(SIGSEGV);
  if (const char* h = std::getenv("VELLUMA_BATCH_TEST_HANG"); h && *h && name == h)
    for (;;) ::pause();
}

pid_t Spawn(const BatchOptions& o, const std::vector<std::string>& args, const fs::path& out,
            const fs::path& err, bool page, const std::string& file) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const std::string exe = SelfExe();
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  // Child: only async-signal-safe work until exec (and the hook, which ends the child).
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != parent) ::_exit(127);
  const int fdOut = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int fdErr = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fdOut < 0 || fdErr < 0) ::_exit(127);
  ::dup2(fdOut, STDOUT_FILENO);
  ::dup2(fdErr, STDERR_FILENO);
  ::close(fdOut);
  ::close(fdErr);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
  // The sanitizers reserve far more address space than they use; there the limit is left off.
  rlimit as{};
  as.rlim_cur = as.rlim_max = static_cast<rlim_t>(o.memoryMb) << 20;
  ::setrlimit(RLIMIT_AS, &as);
#else
  (void)o;
#endif
  if (page) TestHook(file);
  ::execv(exe.c_str(), argv.data());
  ::_exit(127);
}

std::string LastLine(const fs::path& path) {
  std::ifstream in(path);
  std::string line, last;
  while (std::getline(in, line))
    if (!line.empty()) last = line;
  return last;
}

// Why a worker failed, or "" when it succeeded.
std::string FailureReason(const Worker& w, int status, double timeout) {
  if (w.timedOut)
    return "timeout: no result within " + std::to_string(static_cast<long>(timeout)) + " s";
  const std::string last = LastLine(w.err);
  const bool memory =
      last.find("bad_alloc") != std::string::npos || last.find("memory") != std::string::npos;
  if (WIFSIGNALED(status)) {
    const int sig = WTERMSIG(status);
    const char* abbrev = sigabbrev_np(sig);
    std::string r = memory ? "memory: " : "signal: ";
    return r + "SIG" + (abbrev ? abbrev : std::to_string(sig));
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return "";
  if (memory) return "memory: " + last;
  return "error: " + (last.empty() ? "exit status " + std::to_string(WEXITSTATUS(status)) : last);
}

std::string FormatSeconds(double s) {
  if (!(s >= 0) || s > 1e7) return "?";
  const long t = static_cast<long>(s + 0.5);
  char buf[32];
  if (t >= 3600)
    std::snprintf(buf, sizeof buf, "%ldh%02ldm", t / 3600, (t / 60) % 60);
  else
    std::snprintf(buf, sizeof buf, "%ldm%02lds", t / 60, t % 60);
  return buf;
}

class Batch {
 public:
  explicit Batch(BatchOptions o) : o_(std::move(o)) {}

  int Run() {
    std::vector<InputFile> inputs = CollectInputs(o_.inputs);
    std::error_code ec;
    fs::create_directories(o_.outDir, ec);
    work_ = fs::path(o_.outDir) / ".velluma-batch";
    fs::create_directories(work_, ec);
    if (ec) throw UsageError{"cannot create " + work_.string() + ": " + ec.message()};
    const fs::path manifest = fs::path(o_.outDir) / "manifest.jsonl";
    const std::map<std::string, std::string> before = ReadManifest(manifest);
    manifestFd_ = ::open(manifest.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (manifestFd_ < 0)
      throw UsageError{"cannot write " + manifest.string() + ": " + std::strerror(errno)};

    for (const InputFile& in : inputs) {
      if (!InShard(in.key, o_.shardIndex, o_.shardCount)) continue;
      auto it = before.find(in.key);
      if (it != before.end() && (it->second == "ok" || !o_.retryFailed)) {
        ++skipped_;
        if (it->second != "ok") ++skippedFailed_;
        continue;
      }
      FileState f;
      f.input = in;
      f.outDir = fs::path(o_.outDir) / fs::path(in.key).replace_extension("");
      files_.push_back(std::move(f));
      queue_.push_back({files_.size() - 1, 0});
    }
    tty_ = ::isatty(STDERR_FILENO);
    start_ = Clock::now();
    Loop();
    ::close(manifestFd_);
    fs::remove_all(work_, ec);
    Summary();
    // Files that failed in an earlier run and were not tried again still count as failed.
    return failedFiles_ + skippedFailed_ ? kExitSomeFailed : kExitAllOk;
  }

 private:
  void Loop() {
    std::vector<Worker> running;
    while (!queue_.empty() || !running.empty()) {
      while (!queue_.empty() && static_cast<int>(running.size()) < o_.jobs) {
        const Task t = queue_.front();
        queue_.pop_front();
        if (auto w = Start(t)) running.push_back(std::move(*w));
      }
      int status = 0;
      const pid_t pid = ::waitpid(-1, &status, WNOHANG);
      if (pid > 0) {
        auto it = std::find_if(running.begin(), running.end(),
                               [&](const Worker& w) { return w.pid == pid; });
        if (it != running.end()) {
          Worker w = std::move(*it);
          running.erase(it);
          Finish(w, status);
        }
        continue;
      }
      const auto now = Clock::now();
      for (Worker& w : running)
        if (!w.timedOut && std::chrono::duration<double>(now - w.started).count() > o_.timeout) {
          w.timedOut = true;
          ::kill(w.pid, SIGKILL);
        }
      Progress(false);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    Progress(true);
  }

  std::optional<Worker> Start(const Task& t) {
    FileState& f = files_[t.file];
    Worker w;
    w.task = t;
    const std::string slot = std::to_string(serial_++);
    w.out = work_ / (slot + ".out");
    w.err = work_ / (slot + ".err");
    std::vector<std::string> args;
    if (t.page == 0) {
      args = {"velluma", "info", f.input.path};
    } else {
      const fs::path final = f.outDir / PageName(t.page, o_.format);
      w.temp = f.outDir / ("." + PageName(t.page, o_.format) + ".tmp");
      args = {"velluma",
              "analyse",
              f.input.path,
              "--page",
              std::to_string(t.page),
              "--level",
              std::to_string(o_.level),
              "--format",
              o_.format,
              "-o",
              w.temp.string()};
    }
    w.started = Clock::now();
    w.pid = Spawn(o_, args, w.out, w.err, t.page != 0, f.input.path);
    if (w.pid < 0) {
      PageDone(t, "error: cannot start a worker: " + std::string(std::strerror(errno)));
      return std::nullopt;
    }
    return w;
  }

  void Finish(Worker& w, int status) {
    std::string reason = FailureReason(w, status, o_.timeout);
    FileState& f = files_[w.task.file];
    std::error_code ec;
    if (w.task.page == 0) {
      if (reason.empty()) {
        const std::string first = [&] {
          std::ifstream in(w.out);
          std::string line;
          while (std::getline(in, line))
            if (line.rfind("pages: ", 0) == 0) return line.substr(7);
          return std::string();
        }();
        f.pages = std::atoi(first.c_str());
        if (f.pages <= 0) reason = "error: no page count";
      }
      fs::remove(w.out, ec);
      fs::remove(w.err, ec);
      if (!reason.empty()) {
        f.reason = reason;
        FileDone(f);
        return;
      }
      fs::create_directories(f.outDir, ec);
      totalPages_ += f.pages;
      // Pages go to the front so that files finish one after another.
      for (int p = f.pages; p >= 1; --p) {
        if (fs::exists(f.outDir / PageName(p, o_.format), ec)) {
          ++f.done;
          ++resumedPages_;
          continue;
        }
        ++f.pending;
        queue_.push_front({w.task.file, p});
      }
      if (f.pending == 0) FileDone(f);
      return;
    }
    if (reason.empty() && !Publish(w.temp, f.outDir / PageName(w.task.page, o_.format)))
      reason = "error: cannot write the page output";
    if (!reason.empty()) fs::remove(w.temp, ec);
    fs::remove(w.out, ec);
    fs::remove(w.err, ec);
    PageDone(w.task, reason);
  }

  void PageDone(const Task& t, const std::string& reason) {
    FileState& f = files_[t.file];
    if (t.page == 0) {
      f.reason = reason;
      FileDone(f);
      return;
    }
    --f.pending;
    ++f.done;
    ++pagesDone_;
    if (!reason.empty()) {
      f.failedPages.push_back(t.page);
      if (f.reason.empty()) f.reason = reason;
    }
    if (f.pending == 0) FileDone(f);
  }

  void FileDone(FileState& f) {
    const bool ok = f.reason.empty();
    std::ostringstream line;
    line << "{\"key\":" << Json(f.input.key) << ",\"file\":" << Json(f.input.path)
         << ",\"status\":\"" << (ok ? "ok" : "failed") << "\",\"pages\":" << std::max(f.pages, 0);
    if (!ok) {
      line << ",\"reason\":" << Json(f.reason) << ",\"failed_pages\":[";
      std::sort(f.failedPages.begin(), f.failedPages.end());
      for (size_t i = 0; i < f.failedPages.size(); ++i) line << (i ? "," : "") << f.failedPages[i];
      line << "]";
    }
    line << ",\"output\":" << Json(f.outDir.string()) << "}";
    if (!AppendLine(manifestFd_, line.str()))
      std::cerr << "velluma: cannot append to the manifest\n";
    if (ok) {
      ++okFiles_;
    } else {
      ++failedFiles_;
      if (tty_) std::cerr << "\r\033[K";
      std::cerr << "velluma: " << f.input.path << ": " << f.reason << "\n";
    }
  }

  void Progress(bool last) {
    if (!tty_) return;
    const auto now = Clock::now();
    if (!last && now - lastDraw_ < std::chrono::milliseconds(250)) return;
    lastDraw_ = now;
    const double secs = std::chrono::duration<double>(now - start_).count();
    const double rate = secs > 0 ? pagesDone_ / secs : 0;
    const long known = totalPages_ - resumedPages_;
    const double left = rate > 0 && known >= pagesDone_ ? (known - pagesDone_) / rate : -1;
    constexpr int kWidth = 30;
    const int filled =
        known > 0 ? static_cast<int>(kWidth * std::min(1.0, double(pagesDone_) / known)) : 0;
    std::cerr << "\r[" << std::string(filled, '#') << std::string(kWidth - filled, '.') << "] "
              << pagesDone_ << "/" << known << " pages  " << std::fixed;
    std::cerr.precision(1);
    std::cerr << rate << " pages/s  " << FormatSeconds(left) << " left\033[K" << (last ? "\n" : "")
              << std::flush;
    std::cerr.unsetf(std::ios::floatfield);
  }

  void Summary() {
    const double secs = std::chrono::duration<double>(Clock::now() - start_).count();
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.2f", secs > 0 ? pagesDone_ / secs : 0.0);
    std::cerr << "velluma batch: " << okFiles_ + failedFiles_ << " files analysed (" << okFiles_
              << " ok, " << failedFiles_ << " failed), " << skipped_ << " already done";
    if (skippedFailed_) std::cerr << " (" << skippedFailed_ << " of them failed)";
    std::cerr << "; " << pagesDone_ << " pages in " << FormatSeconds(secs) << ", " << rate
              << " pages/s\n";
  }

  BatchOptions o_;
  fs::path work_;
  int manifestFd_ = -1;
  std::vector<FileState> files_;
  std::deque<Task> queue_;
  long serial_ = 0;
  long totalPages_ = 0, resumedPages_ = 0, pagesDone_ = 0;
  int okFiles_ = 0, failedFiles_ = 0, skipped_ = 0, skippedFailed_ = 0;
  bool tty_ = false;
  Clock::time_point start_, lastDraw_;
};

}  // namespace

int RunBatch(int argc, char** argv) {
  for (int k = 2; k < argc; ++k)
    if (std::strcmp(argv[k], "--help") == 0 || std::strcmp(argv[k], "-h") == 0) {
      std::cout << kBatchUsage;
      return kExitAllOk;
    }
  try {
    Batch batch(ParseBatchArgs(argc, argv));
    return batch.Run();
  } catch (const UsageError& e) {
    std::cerr << "velluma: " << e.message << "\n" << kBatchUsage;
    return kExitUsage;
  }
}
