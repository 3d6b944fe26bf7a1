#include "secondopinion.h"

#include <tesseract/baseapi.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "charclass.h"
#include "trace.h"

namespace glyphrec {

namespace {
// Shape matching is trusted alone above this score. Asking Tesseract about every Latin letter
// and digit, or about scores up to 40, made the top candidates worse on the benchmark's
// typefaces (by 0.6 to 0.8 points) and cost 40 MB, so it is asked only where shape matching
// has next to nothing.
constexpr int kAskBelowScore = 30;
// Tesseract's confidence needed to reorder close candidates, and to add one of its own.
constexpr float kReorderConfidence = 60;
constexpr float kAddConfidence = 85;
constexpr int kCloseScores = 6;
constexpr int kPad = 16;

// Where Tesseract looks for its data: TESSDATA_PREFIX, else Debian's folder.
std::string TessdataDir() {
  const char* env = std::getenv("TESSDATA_PREFIX");
  std::string dir = env && *env ? env : "/usr/share/tesseract-ocr/5/tessdata";
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

// The one UTF-16 unit of a UTF-8 text holding a single character of the basic plane, else 0.
char16_t SingleChar(const char* s) {
  if (!s || !*s) return 0;
  const auto* u = reinterpret_cast<const unsigned char*>(s);
  char32_t c;
  size_t n;
  if (u[0] < 0x80)
    c = u[0], n = 1;
  else if ((u[0] & 0xE0) == 0xC0 && u[1])
    c = ((u[0] & 0x1Fu) << 6) | (u[1] & 0x3Fu), n = 2;
  else if ((u[0] & 0xF0) == 0xE0 && u[1] && u[2])
    c = ((u[0] & 0x0Fu) << 12) | ((u[1] & 0x3Fu) << 6) | (u[2] & 0x3Fu), n = 3;
  else
    return 0;
  return u[n] == 0 && c > 0x20 ? char16_t(c) : 0;
}
}  // namespace

struct SecondOpinion::Engine {
  tesseract::TessBaseAPI api;
  ~Engine() { api.End(); }
};

SecondOpinion::SecondOpinion() = default;
SecondOpinion::~SecondOpinion() = default;

// The engines end before Tesseract's own caches go: an exit handler registered after Tesseract
// started runs before those caches' destructors (at exit, or when the library is unloaded).
SecondOpinion& SecondOpinion::Instance() {
  static SecondOpinion instance;
  return instance;
}

void SecondOpinion::Shutdown() {
  SecondOpinion& self = Instance();
  std::lock_guard lock(self.mutex_);
  self.latin_.reset();
  self.chinese_.reset();
  self.budget_ = 0;
}

void SecondOpinion::SetBudget(size_t n) {
  std::lock_guard lock(mutex_);
  budget_ = n;
}

void SecondOpinion::Improve(const Cell& cell, const Features& f, std::vector<Candidate>& cands,
                            size_t maxCandidates) {
  if (f.empty) return;
  if (!cands.empty() && cands[0].score >= kAskBelowScore) return;
  // Latin letters and digits go to the English model, the rest to the Chinese one.
  bool latin = !cands.empty() && IsLatinOrDigit(cands[0].ch) && cands[0].ch < 0x80;
  std::lock_guard lock(mutex_);
  if (budget_ == 0) return;
  --budget_;
  std::unique_ptr<Engine>& engine = latin ? latin_ : chinese_;
  bool& tried = latin ? latinTried_ : chineseTried_;
  const char* lang = latin ? "eng" : "chi_sim";
  if (!tried) {
    tried = true;
    auto e = std::make_unique<Engine>();
    // Tesseract complains on stderr about missing data; look first, so that the trace line
    // below is all that is said.
    std::string data = TessdataDir() + "/" + lang + ".traineddata";
    if (access(data.c_str(), R_OK) != 0) {
      Trace("Tesseract data %s missing: shape matching alone", data.c_str());
    } else if (e->api.Init(nullptr, lang, tesseract::OEM_LSTM_ONLY) != 0) {
      Trace("Tesseract data '%s' missing: shape matching alone", lang);
    } else {
      e->api.SetPageSegMode(tesseract::PSM_SINGLE_CHAR);
      engine = std::move(e);
      static std::once_flag atExit;
      std::call_once(atExit, [] { std::atexit(&SecondOpinion::Shutdown); });
    }
  }
  if (!engine) return;

  // The cell's ink on white, with a margin.
  const int w = kCellInk + 2 * kPad;
  std::vector<unsigned char> img(size_t(w) * w, 255);
  for (int y = 0; y < kCellInk; ++y)
    for (int x = 0; x < kCellInk; ++x)
      if (cell.get(x, y)) img[size_t(y + kPad) * w + x + kPad] = 0;
  engine->api.SetImage(img.data(), w, w, 1, w);
  char* text = engine->api.GetUTF8Text();
  float conf = float(engine->api.MeanTextConf());
  char16_t ch = 0;
  if (text) {
    std::string s(text);
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
    ch = SingleChar(s.c_str());
    delete[] text;
  }
  engine->api.Clear();
  // Tesseract sees the shape without the em around it, so a mark's place (。 or ｏ, ， or ,, · or
  // .) is lost on it: marks are left to shape matching.
  if (!ch || IsMark(ch)) return;

  auto it =
      std::find_if(cands.begin(), cands.end(), [&](const Candidate& c) { return c.ch == ch; });
  if (it != cands.end()) {
    if (it != cands.begin() && conf >= kReorderConfidence &&
        cands[0].score - it->score <= kCloseScores) {
      Candidate c = *it;
      cands.erase(it);
      c.score = std::max(c.score, cands[0].score);
      cands.insert(cands.begin(), c);
    }
  } else if (conf >= kAddConfidence && (cands.empty() || cands[0].score < kAskBelowScore)) {
    Candidate c;
    c.ch = ch;
    c.score = std::clamp(int(conf / 2), 0, 100);
    c.fontClass = 0;
    cands.insert(cands.begin(), c);
    if (cands.size() > maxCandidates) cands.resize(maxCandidates);
  }
}

}  // namespace glyphrec
