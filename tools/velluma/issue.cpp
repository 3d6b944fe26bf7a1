// velluma issue FILE... --publication NAME [--config DIR] [--format text|json|csv] [--jobs N]
//
// Bulk intake: asks the component's issue-information provider about the first page of each
// file, as a host does (one provider per worker thread, each used only on its thread). Results
// are written as they come, one line or record per file; on a terminal a progress bar shows the
// files done, files per second and the time left; a summary of the failures ends the run.
// Exit code 0 when every file was analysed, 1 when some were not, 2 on bad arguments.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host.h"
#include "vjson/json.h"
#include "vwin32/strings.h"

namespace {

using PFN_DllGetClassObject = HRESULT (*)(REFCLSID, REFIID, void**);

constexpr const char* kUsage =
    "usage: velluma issue FILE... --publication NAME [--config DIR] [--format text|json|csv]\n"
    "                             [--jobs N]\n";

struct IssueOptions {
  std::vector<std::string> files;
  std::string publication;
  std::string config;
  std::string format = "text";
  int jobs = 1;
};

struct IssueResult {
  std::string file;
  std::string status;  // "ok", "incomplete" (the analysis found too little), "unreadable"
  std::string reason;
  std::u16string texts[5];  // issue name, issue date, page name, page id, page count
};

constexpr const char* kFieldNames[5] = {"issueName", "issueDate", "pageName", "pageId",
                                        "pageCount"};

// Owns one reference; releases it at the end of the scope.
template <class T>
struct ComRef {
  T* p = nullptr;
  ~ComRef() {
    if (p != nullptr) p->Release();
  }
};

struct BstrArg {
  BSTR b;
  explicit BstrArg(const std::string& utf8) : b(vwin32::ToBstr(vwin32::FromUtf8(utf8))) {}
  ~BstrArg() { SysFreeString(b); }
  BstrArg(const BstrArg&) = delete;
  BstrArg& operator=(const BstrArg&) = delete;
};

std::u16string ReadProperty(IIssueInfoProvider* p, HRESULT (IIssueInfoProvider::*get)(BSTR*)) {
  BSTR bstr = nullptr;
  if (FAILED((p->*get)(&bstr))) return std::u16string();
  std::u16string text = vwin32::FromBstr(bstr);
  SysFreeString(bstr);
  return text;
}

// A file the provider can be given at all: it exists, is a regular file and can be read.
bool Readable(const std::string& path, std::string& reason) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    reason = std::filesystem::exists(path, ec) ? "not a regular file" : "no such file";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    reason = "cannot be read";
    return false;
  }
  return true;
}

IssueResult Analyse(IIssueInfoProvider* pProvider, const std::string& file, const IssueOptions& o) {
  IssueResult r;
  r.file = file;
  if (!Readable(file, r.reason)) {
    r.status = "unreadable";
    return r;
  }
  const BstrArg path(file), pub(o.publication), xml(o.config);
  constexpr long kUnset = -1;
  long nVal = kUnset;
  pProvider->AnalysePage(path.b, pub.b, xml.b, TRUE, FALSE, &nVal);
  if (nVal == kUnset) {
    r.status = "unreadable";
    r.reason = "not a PDF document that can be opened";
    return r;
  }
  r.status = nVal == 0 ? "ok" : "incomplete";
  if (nVal != 0) r.reason = "no page count found on the first page";
  r.texts[0] = ReadProperty(pProvider, &IIssueInfoProvider::get_IssueNameStr);
  r.texts[1] = ReadProperty(pProvider, &IIssueInfoProvider::get_IssueDateStr);
  r.texts[2] = ReadProperty(pProvider, &IIssueInfoProvider::get_PageNameStr);
  r.texts[3] = ReadProperty(pProvider, &IIssueInfoProvider::get_PageIdStr);
  r.texts[4] = ReadProperty(pProvider, &IIssueInfoProvider::get_PageCountStr);
  return r;
}

std::string CsvField(const std::string& s) {
  if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
  std::string out = "\"";
  for (const char c : s) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string FormatResult(const IssueResult& r, const std::string& format) {
  std::string line;
  if (format == "json") {
    line = "{\"file\":" + vjson::JsonString(r.file) + ",\"status\":" + vjson::JsonString(r.status);
    if (!r.reason.empty()) line += ",\"reason\":" + vjson::JsonString(r.reason);
    if (r.status != "unreadable") {
      for (int i = 0; i < 5; ++i)
        line += std::string(",\"") + kFieldNames[i] + "\":" + vjson::JsonString(r.texts[i]);
    }
    return line + "}\n";
  }
  if (format == "csv") {
    line = CsvField(r.file) + "," + r.status;
    for (const std::u16string& t : r.texts) line += "," + CsvField(vwin32::ToUtf8(t));
    return line + "," + CsvField(r.reason) + "\n";
  }
  line = r.file + "\t" + r.status;
  if (r.status == "unreadable") return line + "\t" + r.reason + "\n";
  for (const std::u16string& t : r.texts) line += "\t" + vwin32::ToUtf8(t);
  return line + "\n";
}

bool ParseIssueArgs(int argc, char** argv, IssueOptions& o) {
  for (int k = 2; k < argc; ++k) {
    const std::string a = argv[k];
    auto value = [&](std::string& out) {
      if (k + 1 >= argc) {
        std::cerr << "velluma: option " << a << " needs a value\n";
        return false;
      }
      out = argv[++k];
      return true;
    };
    if (a == "--publication") {
      if (!value(o.publication)) return false;
    } else if (a == "--config") {
      if (!value(o.config)) return false;
    } else if (a == "--format") {
      if (!value(o.format)) return false;
      if (o.format != "text" && o.format != "json" && o.format != "csv") {
        std::cerr << "velluma: --format is text, json or csv, not '" << o.format << "'\n";
        return false;
      }
    } else if (a == "--jobs") {
      std::string v;
      if (!value(v)) return false;
      char* end = nullptr;
      const long n = std::strtol(v.c_str(), &end, 10);
      if (v.empty() || *end != '\0' || n < 1 || n > 256) {
        std::cerr << "velluma: --jobs needs a whole number from 1 to 256, not '" << v << "'\n";
        return false;
      }
      o.jobs = static_cast<int>(n);
    } else if (a.size() > 1 && a[0] == '-' && a != "-") {
      std::cerr << "velluma: unknown option '" << a << "' for issue\n" << kUsage;
      return false;
    } else {
      o.files.push_back(a);
    }
  }
  if (o.files.empty() || o.publication.empty()) {
    std::cerr << "velluma: issue needs at least one FILE and --publication NAME\n" << kUsage;
    return false;
  }
  return true;
}

// Progress on standard error: files done, files per second and the time left.
void ShowProgress(size_t done, size_t total, double seconds) {
  constexpr int kWidth = 30;
  const int filled = static_cast<int>(kWidth * done / (total == 0 ? 1 : total));
  const double rate = seconds > 0.0 ? static_cast<double>(done) / seconds : 0.0;
  const double left = rate > 0.0 ? static_cast<double>(total - done) / rate : 0.0;
  std::fprintf(stderr, "\r[%s%s] %zu/%zu  %.1f files/s  %d:%02d left ",
               std::string(static_cast<size_t>(filled), '#').c_str(),
               std::string(static_cast<size_t>(kWidth - filled), ' ').c_str(), done, total, rate,
               static_cast<int>(left) / 60, static_cast<int>(left) % 60);
  std::fflush(stderr);
}

}  // namespace

int RunIssueCommand(int argc, char** argv) {
  IssueOptions o;
  for (int k = 2; k < argc; ++k) {
    if (std::string(argv[k]) == "--help" || std::string(argv[k]) == "-h") {
      std::cout << kUsage;
      return vhost::kExitOk;
    }
  }
  if (!ParseIssueArgs(argc, argv, o)) return vhost::kExitBadArguments;

  std::string error;
  if (vhost::LoadModule(error) == nullptr) {
    std::cerr << "velluma: " << error << "\n";
    return vhost::kExitSomeFailed;
  }
  auto getClassObject =
      reinterpret_cast<PFN_DllGetClassObject>(vhost::ModuleExport("DllGetClassObject"));
  if (getClassObject == nullptr) {
    std::cerr << "velluma: the module exports no DllGetClassObject\n";
    return vhost::kExitSomeFailed;
  }

  const bool bProgress = o.files.size() > 1 && isatty(STDERR_FILENO) != 0;
  const auto started = std::chrono::steady_clock::now();
  std::mutex outputLock;
  std::vector<IssueResult> failures;
  std::atomic<size_t> next{0};
  size_t done = 0;
  std::atomic<bool> setupFailed{false};
  if (o.format == "csv") {
    std::cout << "file,status";
    for (const char* name : kFieldNames) std::cout << "," << name;
    std::cout << ",reason\n";
  }

  auto worker = [&]() {
    ComRef<IClassFactory> factory;
    ComRef<IIssueInfoProvider> provider;
    if (FAILED(getClassObject(CLSID_PDFIssueInfoProvider, IID_IClassFactory,
                              reinterpret_cast<void**>(&factory.p))) ||
        factory.p == nullptr ||
        FAILED(factory.p->CreateInstance(nullptr, IID_IIssueInfoProvider,
                                         reinterpret_cast<void**>(&provider.p))) ||
        provider.p == nullptr) {
      setupFailed = true;
      return;
    }
    if (!o.config.empty()) {
      const BstrArg root(o.config);
      long nRead = 0;
      provider.p->LoadIssueInfoXML(root.b, &nRead);
      if (nRead == 0) {
        const std::lock_guard<std::mutex> guard(outputLock);
        static bool warned = false;
        if (!warned)
          std::cerr << "velluma: no IssueInfo.xml read from " << o.config
                    << "/Config; every publication takes the general analysis\n";
        warned = true;
      }
    }
    for (size_t i = next++; i < o.files.size(); i = next++) {
      const IssueResult r = Analyse(provider.p, o.files[i], o);
      const std::lock_guard<std::mutex> guard(outputLock);
      if (bProgress) std::fputs("\r\033[K", stderr);
      std::cout << FormatResult(r, o.format) << std::flush;
      if (r.status != "ok") failures.push_back(r);
      ++done;
      if (bProgress) {
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        ShowProgress(done, o.files.size(), seconds);
      }
    }
    long nClosed = 0;
    provider.p->Close(&nClosed);
  };

  const int jobs = std::min<int>(o.jobs, static_cast<int>(o.files.size()));
  std::vector<std::thread> threads;
  for (int j = 1; j < jobs; ++j) threads.emplace_back(worker);
  worker();
  for (std::thread& t : threads) t.join();
  if (bProgress) std::fputs("\r\033[K", stderr);

  if (setupFailed && done < o.files.size()) {
    std::cerr << "velluma: cannot create an issue-information provider\n";
    return vhost::kExitSomeFailed;
  }
  if (!failures.empty()) {
    std::cerr << failures.size() << " of " << o.files.size() << " files not analysed:\n";
    for (const IssueResult& r : failures)
      std::cerr << "  " << r.file << ": " << r.status << " (" << r.reason << ")\n";
    return vhost::kExitSomeFailed;
  }
  return vhost::kExitOk;
}
