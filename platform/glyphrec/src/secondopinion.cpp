#include "secondopinion.h"

#include <tesseract/baseapi.h>

#include <algorithm>

#include "trace.h"

namespace glyphrec {

namespace {
// Shape matching is trusted alone above this score, unless its answer is a Latin letter or a
// digit (which share shapes across typefaces: l, I, 1; O, 0, o).
constexpr int kAskBelowScore = 40;
// Tesseract's confidence needed to reorder close candidates, and to add one of its own.
constexpr float kReorderConfidence = 60;
constexpr float kAddConfidence = 85;
constexpr int kCloseScores = 6;
constexpr int kPad = 16;

bool IsLatinOrDigit(char16_t c) {
  return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
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
};

SecondOpinion::SecondOpinion() = default;
SecondOpinion::~SecondOpinion() {
  if (latin_) latin_->api.End();
  if (chinese_) chinese_->api.End();
}

SecondOpinion& SecondOpinion::Instance() {
  static SecondOpinion instance;
  return instance;
}

void SecondOpinion::SetBudget(size_t n) {
  std::lock_guard lock(mutex_);
  budget_ = n;
}

void SecondOpinion::Improve(const Cell& cell, const Features& f, std::vector<Candidate>& cands,
                            size_t maxCandidates) {
  if (f.empty) return;
  bool latin = !cands.empty() && IsLatinOrDigit(cands[0].ch);
  if (!latin && !cands.empty() && cands[0].score >= kAskBelowScore) return;
  std::lock_guard lock(mutex_);
  if (budget_ == 0) return;
  --budget_;
  std::unique_ptr<Engine>& engine = latin ? latin_ : chinese_;
  bool& tried = latin ? latinTried_ : chineseTried_;
  const char* lang = latin ? "eng" : "chi_sim";
  if (!tried) {
    tried = true;
    auto e = std::make_unique<Engine>();
    if (e->api.Init(nullptr, lang, tesseract::OEM_LSTM_ONLY) != 0) {
      Trace("Tesseract data '%s' missing: shape matching alone", lang);
    } else {
      e->api.SetPageSegMode(tesseract::PSM_SINGLE_CHAR);
      engine = std::move(e);
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
  if (!ch) return;

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
