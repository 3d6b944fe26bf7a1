// libglyphrec.so: the recognition page object behind CreateRecogPageInstance.
#include <dlfcn.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "context.h"
#include "kit/glyphrec.h"
#include "matcher.h"
#include "secondopinion.h"
#include "shape.h"
#include "sheet.h"
#include "trace.h"

namespace glyphrec {

void Trace(const char* fmt, ...) {
  if (!std::getenv("VELLUMA_DEBUG")) return;
  va_list ap;
  va_start(ap, fmt);
  std::fputs("glyphrec: ", stderr);
  std::vfprintf(stderr, fmt, ap);
  std::fputc('\n', stderr);
  va_end(ap);
}

namespace {

constexpr size_t kMaxCandidates = 16;
// Below this score, or this close to the runner-up, a result is marked for review.
constexpr int kConfidentScore = 45;
constexpr int kConfidentMargin = 3;
// Tesseract readings per sheet at most (a few milliseconds each).
constexpr size_t kSecondOpinionBudget = 200;

// The reference data: VELLUMA_GLYPHREC_DATA (a file, or a folder holding refs.bin), else
// glyphrec/refs.bin beside this library. Mapped once per process.
const RefSet& References() {
  static RefSet refs;
  static std::once_flag once;
  std::call_once(once, [] {
    std::string path;
    if (const char* env = std::getenv("VELLUMA_GLYPHREC_DATA"); env && *env) {
      path = env;
      struct stat st {};
      if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) path += "/refs.bin";
    } else {
      Dl_info info{};
      if (dladdr(reinterpret_cast<void*>(&CreateRecogPageInstance), &info) && info.dli_fname) {
        path = info.dli_fname;
        size_t slash = path.rfind('/');
        path = (slash == std::string::npos ? std::string(".") : path.substr(0, slash)) +
               "/glyphrec/refs.bin";
      }
    }
    if (!refs.Open(path)) {
      Trace("no reference data at %s: shape matching is off", path.c_str());
    }
  });
  return refs;
}

void FillRecord(const std::vector<Candidate>& cands, St_RecogResult& r) {
  std::memset(&r, 0, sizeof(r));
  r.nCandidates = int16_t(cands.size());
  for (size_t i = 0; i < cands.size(); ++i) {
    r.candidates[i].wChar = uint16_t(cands[i].ch);
    r.candidates[i].wScore = uint16_t(cands[i].score);
  }
  if (cands.empty()) {
    r.wChar = u'?';
    r.wFlags = RRF_MARKED;
    r.nFontClass = 0;
    r.bShown = 0;
    return;
  }
  r.wChar = uint16_t(cands[0].ch);
  r.nFontClass = cands[0].fontClass;
  r.bShown = uint8_t(cands[0].score);
  bool close = cands.size() > 1 && cands[0].score - cands[1].score < kConfidentMargin;
  if (cands[0].score < kConfidentScore || close) r.wFlags = RRF_MARKED;
}

class CRecogPage final : public IRecogPage {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown) {
      *ppv = static_cast<IUnknown*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }

  HRESULT STDMETHODCALLTYPE RecognisePage(int32_t, const int32_t*, HGLOBAL hDib) override {
    results_.clear();
    // Nothing may escape into the caller (a C++ exception across the entry point would end it).
    try {
      return Recognise(hDib);
    } catch (...) {
      results_.clear();
      return E_OUTOFMEMORY;
    }
  }

  HRESULT Recognise(HGLOBAL hDib) {
    size_t size = hDib ? GlobalSize(hDib) : 0;
    const uint8_t* dib = size ? static_cast<const uint8_t*>(GlobalLock(hDib)) : nullptr;
    if (!dib) return E_INVALIDARG;
    struct Unlock {
      HGLOBAL h;
      ~Unlock() { GlobalUnlock(h); }
    } unlock{hDib};
    Sheet sheet;
    bool ok = sheet.Parse(dib, size);
    if (!ok) {
      Trace("the glyph sheet is no uncompressed 1-bit bitmap");
      return E_INVALIDARG;
    }
    const RefSet& refs = References();
    SecondOpinion& second = SecondOpinion::Instance();
    second.SetBudget(kSecondOpinionBudget);
    std::vector<CellReading> readings(sheet.CellCount());
    Cell cell;
    Features f;
    for (CellReading& reading : readings) {
      std::vector<Candidate>& cands = reading.cands;
      const size_t i = static_cast<size_t>(&reading - readings.data());
      if (!sheet.ReadCell(i, cell)) continue;
      ExtractFeatures(cell, f);
      if (f.empty) {
        cands.push_back(Candidate{u' ', 100, 0, 0});  // a blank glyph
      } else {
        refs.Match(f, kMaxCandidates, cands);
        second.Improve(cell, f, cands, kMaxCandidates);
        reading.inked = true;
        reading.inkBox = f.geom;
      }
    }
    ApplySheetContext(readings);
    results_.resize(readings.size());
    for (size_t i = 0; i < readings.size(); ++i) FillRecord(readings[i].cands, results_[i]);
    return results_.empty() ? S_FALSE : S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetResultCount(int32_t* pnCount) override {
    if (!pnCount) return E_POINTER;
    *pnCount = int32_t(results_.size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Reserved5() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved6() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetResults(St_RecogResult* pResults, int32_t* pnCount) override {
    if (!pResults || !pnCount) return E_POINTER;
    size_t n = *pnCount < 0 ? 0 : std::min(size_t(*pnCount), results_.size());
    if (n) std::memcpy(pResults, results_.data(), n * sizeof(St_RecogResult));
    *pnCount = int32_t(n);
    return S_OK;
  }

 private:
  std::atomic<ULONG> refs_{1};
  std::vector<St_RecogResult> results_;
};

}  // namespace
}  // namespace glyphrec

extern "C" __attribute__((visibility("default"))) HRESULT CreateRecogPageInstance(
    IRecogPage** ppPage) {
  if (!ppPage) return E_POINTER;
  *ppPage = nullptr;
  try {
    *ppPage = new glyphrec::CRecogPage();
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}
