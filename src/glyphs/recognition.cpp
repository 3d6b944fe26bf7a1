// Glyph recognition over the runs of a page whose characters have no usable code.
#include "glyphs/recognition.h"

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "blocks/textblock.h"
#include "engine/pdfinstance.h"
#include "layout/orderings.h"
#include "layout/rebuild.h"
#include "layout/stages.h"
#include "pageinfo/pageinfo.h"
#include "vwin32/files.h"
#include "vwin32/format.h"
#include "vwin32/strings.h"
#include "xml/trace.h"

namespace {

const int kLibraryAnchor = 0;

// Page scale and sheet scale: a glyph is drawn at 48 pixels per em of its glyph height.
constexpr double kEmPixels = 48.0;
constexpr double kBaselineRow = 21.6;

void Trace(const std::u16string& text) {
  velluma::DebugTrace(u"glyph recognition: " + text + u"\n");
}

// The runs below the blocks of list, in order.
void Flatten(const CTextBlockArray& list, CTextBlockArray& runs) {
  for (int i = 0; i < list.GetSize(); ++i) {
    CTextBlock* b = list[i];
    if (b == nullptr) continue;
    if (b->GetLevel() != 0)
      Flatten(b->m_children, runs);
    else
      runs.Add(b);
  }
}

void ClearRowPadding(CxImage& image) {
  const DWORD bits = image.GetWidth() * image.GetBpp();
  if (bits % 32 == 0) return;
  const DWORD lastWord = (bits / 32) * 4;
  const DWORD used = bits % 32;  // bits of the last word that hold pixels, from the top bit
  for (DWORD row = 0; row < image.GetHeight(); ++row) {
    BYTE* p = image.GetBits(row);
    if (p == nullptr) continue;
    for (DWORD bit = used; bit < 32; ++bit) p[lastWord + bit / 8] &= ~(0x80u >> (bit % 8));
  }
}

bool SameImage(const St_ImageNode& a, const St_ImageNode& b) {
  if (a.Word() != b.Word() || a.image.GetSize() != b.image.GetSize()) return false;
  return std::memcmp(a.image.GetDIB(), b.image.GetDIB(), a.image.GetSize()) == 0;
}

size_t ImageHash(const St_ImageNode& n) {
  const auto* p = static_cast<const unsigned char*>(n.image.GetDIB());
  size_t h = n.Word() * 0x9E3779B97F4A7C15ull;
  for (DWORD i = 0; i < n.image.GetSize(); ++i) h = (h ^ p[i]) * 0x100000001B3ull;
  return h;
}

// The advance of character j of a run in ems; NaN in vertical runs, where every form takes an em.
double AdvanceEms(const CTextBlock& run, int j) {
  if (run.m_nRunAttr1 != 0 || !(run.m_dFontSize > 0)) return NAN;
  return run.m_pChars[j].dAdvance / run.m_dFontSize;
}

// A glyph without ink needs no reading.
bool IsBlankGlyph(const PTK_CharRecord& ch) {
  return (ch.nFlags & PTK_CF_BLANK) != 0;
}

// A mark's full-width and ASCII forms share one shape and differ only in the room they take: a
// full-width form spans the em (or most of it in a condensed face), an ASCII mark half of it or
// less. Between the two bounds the library's reading stands.
constexpr double kFullWidthEms = 0.68;
constexpr double kHalfWidthEms = 0.6;

// ASCII marks whose full-width form Chinese text sets, and whose own form is narrow.
bool IsNarrowMark(char16_t c) {
  return std::u16string_view(u"!\"'(),.:;?[]`{|}").find(c) != std::u16string_view::npos;
}

// The result cell of character j of run: -1 when its glyph has no cell or the cell no result.
int CellOf(const CGlyphRecogState& state, const CTextBlock& run, int j) {
  const auto it = state.m_glyphMap.find(GlyphKey(run, j));
  return it == state.m_glyphMap.end() || it->second >= static_cast<uint32_t>(state.m_nResultCount)
             ? -1
             : static_cast<int>(it->second);
}

// Whether an advance of ems is a full-width form (+1), a narrow one (-1) or cannot tell (0).
// fullEms is the advance of the font's ideographs on the page, 0 when it has none read: full-width
// forms take exactly that room, so anything clearly narrower is no full-width form.
int WidthClass(double ems, double fullEms) {
  if (!std::isfinite(ems)) return 0;
  if (fullEms > 0) return ems >= 0.9 * fullEms ? 1 : -1;
  return ems >= kFullWidthEms ? 1 : ems <= kHalfWidthEms ? -1 : 0;
}

// The form of ch that its glyphs' width class says (+1 full-width, -1 narrow, 0 cannot tell).
char16_t FitToAdvance(char16_t ch, int width) {
  if (ch == u' ' && width > 0) return u'\u3000';
  if (ch == u'\u3000' && width < 0) return u' ';
  if (ch >= 0xFF01 && ch <= 0xFF5E && width < 0) return static_cast<char16_t>(ch - 0xFEE0);
  if (IsNarrowMark(ch) && width > 0) return static_cast<char16_t>(ch + 0xFEE0);
  return ch;
}

bool IsIdeograph(char16_t c) {
  return c >= 0x3400 && c <= 0x9FFF;
}

bool IsLetter(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// A character of Latin text: Basic Latin, Latin-1 and Latin Extended, and the dashes, quotes,
// bullets and primes of general punctuation.
bool IsLatinText(char16_t c) {
  return (c >= 0x20 && c < 0x7F) || (c >= 0xA0 && c <= 0x24F) || (c >= 0x2010 && c <= 0x203A);
}
constexpr int kLatinMargin = 10;

// The candidates a result holds (the library fills at most 16).
int CandidateCount(const St_RecogResult& r) {
  return std::clamp<int>(r.nCandidates, 0, 16);
}

// The score of c among a result's candidates, -1 when it is none of them.
int CandidateScore(const St_RecogResult& r, uint16_t c) {
  const int n = CandidateCount(r);
  const auto it = std::find_if(r.candidates, r.candidates + n,
                               [&](const St_RecogCandidate& k) { return k.wChar == c; });
  return it == r.candidates + n ? -1 : it->wScore;
}

// A Latin letter or a digit, in its ASCII or full-width form.
bool IsLetterOrDigit(char16_t c) {
  if (c >= 0xFF10 && c <= 0xFF5A) c = static_cast<char16_t>(c - 0xFEE0);
  return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

double MedianOf(std::vector<double>& values) {
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2),
                   values.end());
  return values[values.size() / 2];
}

// Gives each cell's result the form its glyphs' advances say. Horizontal runs only: a vertical
// advance is one em whatever the form. A cell shared by glyphs of differing widths takes a form
// only when all of them agree. Letters and digits go by the median advance of all of the font's
// letters and digits: a proportional face has letters as wide as an em (m, W) that are no
// full-width forms, while a face whose letters are full-width has them all alike.
void FitResultsToAdvances(CGlyphRecogState& state, const CTextBlockArray& runs,
                          const CTextBlockArray& all) {
  if (state.m_pResults == nullptr || state.m_nResultCount <= 0) return;
  // A page without Chinese or Japanese text sets no full-width forms: its characters, those
  // read here included, hold fewer ideographs and kana than a tenth of their Latin letters.
  size_t cjk = 0, latin = 0;
  const auto count = [&](char16_t c) {
    cjk += c >= 0x3040 && c <= 0x9FFF;
    latin += IsLetter(c);
  };
  for (int r = 0; r < all.GetSize(); ++r)
    if ((all[r]->m_nFlags & TBF_UNRECOGNISED) == 0)
      for (const char16_t c : all[r]->m_strText) count(c);
  const auto cellOf = [&](const CTextBlock& run, int j) -> const St_RecogResult* {
    const int cell = CellOf(state, run, j);
    return cell < 0 ? nullptr : &state.m_pResults[cell];
  };
  // The advance of each font's ideographs, and of its letters and digits: the medians over the
  // glyphs read as one.
  std::unordered_map<int32_t, std::vector<double>> ideographs, letters;
  for (int r = 0; r < runs.GetSize(); ++r) {
    const CTextBlock* run = runs[r];
    for (int j = 0; run->m_pChars != nullptr && j < run->m_nCharCount; ++j) {
      const St_RecogResult* result = cellOf(*run, j);
      const double ems = AdvanceEms(*run, j);
      if (result != nullptr) count(static_cast<char16_t>(result->wChar));
      if (result == nullptr || !std::isfinite(ems)) continue;
      if (IsIdeograph(result->wChar)) ideographs[run->m_nFontIndex].push_back(ems);
      if (IsLetterOrDigit(result->wChar)) letters[run->m_nFontIndex].push_back(ems);
    }
  }
  std::unordered_map<int32_t, double> fullEms, letterEms;
  for (auto& [font, values] : ideographs) fullEms[font] = MedianOf(values);
  for (auto& [font, values] : letters) letterEms[font] = MedianOf(values);
  const bool cjkPage = 10 * cjk >= latin;
  // Per cell: 2 nothing seen yet, else the width class all its glyphs agree on (0 when not).
  std::vector<int> widths(static_cast<size_t>(state.m_nResultCount), 2);
  for (int r = 0; r < runs.GetSize(); ++r) {
    const CTextBlock* run = runs[r];
    const auto full = fullEms.find(run->m_nFontIndex);
    for (int j = 0; run->m_pChars != nullptr && j < run->m_nCharCount; ++j) {
      const St_RecogResult* result = cellOf(*run, j);
      if (result == nullptr) continue;
      const double ems =
          IsLetterOrDigit(result->wChar) ? letterEms[run->m_nFontIndex] : AdvanceEms(*run, j);
      const int width = !cjkPage ? -1 : WidthClass(ems, full == fullEms.end() ? 0 : full->second);
      int& cell = widths[static_cast<size_t>(result - state.m_pResults)];
      cell = cell == 2 || cell == width ? width : 0;
    }
  }
  for (size_t i = 0; i < widths.size(); ++i)
    if (widths[i] != 2)
      state.m_pResults[i].wChar = FitToAdvance(state.m_pResults[i].wChar, widths[i]);
  if (cjkPage) return;
  // On a Latin page a reading outside Latin text (an ideograph, a CJK mark, a math sign) gives
  // way to the best candidate of Latin text within kLatinMargin points: 一 is a dash there, and an
  // italic n that the references miss reads as 〃.
  for (int32_t i = 0; i < state.m_nResultCount; ++i) {
    St_RecogResult& r = state.m_pResults[i];
    if (IsLatinText(static_cast<char16_t>(r.wChar))) continue;
    const int floor = std::max(CandidateScore(r, r.wChar), 0) - kLatinMargin;
    const St_RecogCandidate* best = nullptr;
    for (int k = 0; k < CandidateCount(r); ++k) {
      const St_RecogCandidate& c = r.candidates[k];
      if (IsLatinText(c.wChar) && c.wScore >= floor && (!best || c.wScore > best->wScore))
        best = &c;
    }
    if (best == nullptr) continue;
    r.wChar = best->wChar;
    r.wFlags |= RRF_MARKED;
  }
}

// Latin letters whose capital and small forms share one shape (c o s v w x z) are told apart by
// height. Per font: the median ink height (in ems of the run's size) of the glyphs read as small
// letters of x-height (a e m n r u) and of those read as capitals or digits without such a twin;
// a cell read as one of the pair takes the form whose median its glyphs' height is nearer.
// Without both medians (three glyphs each at least) the reading stays.
void FitCaseToHeight(CGlyphRecogState& state, const CTextBlockArray& runs) {
  if (state.m_pResults == nullptr) return;
  constexpr std::u16string_view kTwins = u"cosvwxzCOSVWXZ", kSmall = u"aemnru",
                                kTall = u"ABDEFGHKLMNPRTUY0123456789";
  struct Heights {
    std::vector<double> small, tall;
  };
  std::unordered_map<int32_t, Heights> fonts;
  std::unordered_map<uint32_t, std::pair<int32_t, double>> twins;  // cell -> font, height
  for (int r = 0; r < runs.GetSize(); ++r) {
    const CTextBlock* run = runs[r];
    if (run->m_pChars == nullptr || run->m_nRunAttr1 != 0 || !(run->m_dFontSize > 0)) continue;
    for (int j = 0; j < run->m_nCharCount; ++j) {
      const PTK_CharRecord& ch = run->m_pChars[j];
      const int cell = CellOf(state, *run, j);
      if (IsBlankGlyph(ch) || cell < 0) continue;
      const double height = (ch.dY0 - ch.dY1) / run->m_dFontSize;  // records are y downward
      const char16_t reading = state.m_pResults[cell].wChar;
      if (kSmall.find(reading) != kSmall.npos) fonts[run->m_nFontIndex].small.push_back(height);
      if (kTall.find(reading) != kTall.npos) fonts[run->m_nFontIndex].tall.push_back(height);
      if (kTwins.find(reading) != kTwins.npos)
        twins.try_emplace(static_cast<uint32_t>(cell), run->m_nFontIndex, height);
    }
  }
  for (const auto& [cell, fontHeight] : twins) {
    auto font = fonts.find(fontHeight.first);
    if (font == fonts.end() || font->second.small.size() < 3 || font->second.tall.size() < 3)
      continue;
    const double small = MedianOf(font->second.small), tall = MedianOf(font->second.tall);
    const bool capital = std::fabs(fontHeight.second - tall) < std::fabs(fontHeight.second - small);
    uint16_t& reading = state.m_pResults[cell].wChar;  // an ASCII letter of kTwins
    const uint16_t lower = reading | 0x20u;
    reading = capital ? static_cast<uint16_t>(lower - 0x20u) : lower;
  }
}

// Writes the blanks of the runs: a space, or U+3000 when the glyph takes an em. True when any.
bool WriteBlanks(CTextBlockArray& runs) {
  bool any = false;
  for (int r = 0; r < runs.GetSize(); ++r) {
    CTextBlock* run = runs[r];
    if (run->m_pChars == nullptr) continue;
    const int n = std::min<int>(run->m_nCharCount, static_cast<int>(run->m_strText.size()));
    for (int j = 0; j < n; ++j) {
      if (!IsBlankGlyph(run->m_pChars[j])) continue;
      run->m_strText[static_cast<size_t>(j)] =
          FitToAdvance(u' ', WidthClass(AdvanceEms(*run, j), 0));
      any = true;
    }
  }
  return any;
}

// Chinese word statistics, shipped beside the recognition library (glyphrec/bigrams.bin: the
// magic "VBIGRAM2"; a count and the sorted character pairs of words, first << 16 | second; a
// count and the sorted character frequencies, character << 32 | count). Read once per library;
// empty when there is no such file or it is malformed.
struct WordStatistics {
  std::vector<uint32_t> pairs;
  std::vector<uint64_t> frequencies;

  bool IsPair(char16_t a, char16_t b) const {
    return std::binary_search(pairs.begin(), pairs.end(), uint32_t{a} << 16 | b);
  }
  uint64_t Frequency(char16_t c) const {
    const auto it = std::lower_bound(frequencies.begin(), frequencies.end(), uint64_t{c} << 32);
    return it != frequencies.end() && (*it >> 32) == c ? (*it & 0xFFFFFFFFu) : 0;
  }
};

template <typename T>
bool ReadSorted(std::ifstream& in, std::vector<T>& out) {
  uint32_t count = 0;
  if (!in.read(reinterpret_cast<char*>(&count), 4) || count > (1u << 24)) return false;
  out.resize(count);
  return in.read(reinterpret_cast<char*>(out.data()),
                 static_cast<std::streamsize>(count) * sizeof(T)) &&
         std::is_sorted(out.begin(), out.end());
}

const WordStatistics& WordStatisticsFor(PFN_CreateRecogPageInstance create) {
  static std::mutex mutex;
  static std::map<std::u16string, WordStatistics> loaded;
  const std::u16string dir =
      vwin32::DirectoryOf(vwin32::ModulePathOf(reinterpret_cast<const void*>(create)));
  std::lock_guard<std::mutex> lock(mutex);
  auto [it, added] = loaded.try_emplace(dir);
  if (!added || dir.empty()) return it->second;
  std::ifstream in(vwin32::ToUtf8(vwin32::JoinPath(dir, u"glyphrec/bigrams.bin")),
                   std::ios::binary);
  char magic[8] = {};
  WordStatistics stats;
  if (!in.read(magic, 8) || std::memcmp(magic, "VBIGRAM2", 8) != 0 ||
      !ReadSorted(in, stats.pairs) || !ReadSorted(in, stats.frequencies)) {
    Trace(u"no word statistics beside the recognition library: close readings stay as read");
    return it->second;
  }
  it->second = std::move(stats);
  return it->second;
}

// The dash Chinese text sets in pairs and the full-width minus, which a Hei face draws as it
// draws 一.
constexpr char16_t kDash = u'\u2014';
constexpr char16_t kMinus = u'\uFF0D';
// One stroke upright: l, I and | are drawn as 1 is in many faces.
bool IsOneLike(char16_t c) {
  return c == u'l' || c == u'I' || c == u'|';
}
// A 1 read as a stroke is open this far below the reading.
constexpr int kDigitMargin = 15;
bool IsDigit(char16_t c) {
  return (c >= u'0' && c <= u'9') || (c >= u'０' && c <= u'９');
}

// Candidates this close to a cell's reading are decided by the glyph's neighbours; this close,
// by how often the characters occur.
constexpr int kNeighbourMargin = 6;
constexpr int kFrequencyMargin = 2;

// The runs just before and after each horizontal run on its line (a run ends with its
// text-showing operator, and many producers show a few characters at a time): the runs of all
// are put into lines by baseline, and neighbours may stand an em and a half apart at most. Null
// where there is none.
using Neighbours =
    std::unordered_map<const CTextBlock*, std::pair<const CTextBlock*, const CTextBlock*>>;
Neighbours LineNeighbours(const CTextBlockArray& all) {
  std::vector<const CTextBlock*> runs;
  for (int i = 0; i < all.GetSize(); ++i)
    if (all[i]->m_nRunAttr1 == 0 && !all[i]->m_strText.empty() && all[i]->m_dFontSize > 0)
      runs.push_back(all[i]);
  std::sort(runs.begin(), runs.end(), [](const CTextBlock* a, const CTextBlock* b) {
    return a->m_dBaselineY != b->m_dBaselineY ? a->m_dBaselineY < b->m_dBaselineY
                                              : a->m_dLeft < b->m_dLeft;
  });
  Neighbours out;
  for (size_t first = 0, last = 0; first < runs.size(); first = last) {
    const double tolerance = 0.3 * runs[first]->m_dFontSize;
    while (last < runs.size() && runs[last]->m_dBaselineY - runs[first]->m_dBaselineY <= tolerance)
      ++last;
    std::sort(runs.begin() + static_cast<std::ptrdiff_t>(first),
              runs.begin() + static_cast<std::ptrdiff_t>(last),
              [](const CTextBlock* a, const CTextBlock* b) { return a->m_dLeft < b->m_dLeft; });
    for (size_t k = first + 1; k < last; ++k) {
      const CTextBlock* left = runs[k - 1];
      const CTextBlock* right = runs[k];
      if (right->m_dLeft - left->m_dRight > 1.5 * right->m_dFontSize) continue;
      out[left].second = right;
      out[right].first = left;
    }
  }
  return out;
}

// Calls visit(cell, left, right, sameLeft, sameRight) for each glyph of runs that has a result
// cell: the characters beside it (across runs on its line, 0 where there is none) and whether
// they are the same glyph. With spaceEms above 0, a run farther than that many ems away stands
// behind a space: producers that set each word on its own draw no space glyphs.
template <class Visit>
void VisitOccurrences(const CGlyphRecogState& state, const CTextBlockArray& runs,
                      const Neighbours& neighbours, double spaceEms, Visit visit) {
  for (int r = 0; r < runs.GetSize(); ++r) {
    const CTextBlock* run = runs[r];
    if (run->m_pChars == nullptr) continue;
    const std::u16string& text = run->m_strText;
    const int n = std::min<int>(run->m_nCharCount, static_cast<int>(text.size()));
    const auto around = neighbours.find(run);
    const CTextBlock* prev = around == neighbours.end() ? nullptr : around->second.first;
    const CTextBlock* next = around == neighbours.end() ? nullptr : around->second.second;
    // The last character of the run before and the first of the run after, with their glyphs.
    const int prevLast =
        prev == nullptr || prev->m_pChars == nullptr
            ? -1
            : std::min<int>(prev->m_nCharCount, static_cast<int>(prev->m_strText.size())) - 1;
    const bool nextFirst = next != nullptr && next->m_pChars != nullptr && next->m_nCharCount > 0;
    // A pen that moves on from one glyph to the next further than the glyph's advance leaves a
    // space there.
    const double space = spaceEms > 0 ? spaceEms * run->m_dFontSize : HUGE_VAL;
    const auto spaced = [&](const PTK_CharRecord& p, const PTK_CharRecord& q) {
      return std::hypot(q.dOriginX - p.dOriginX, q.dOriginY - p.dOriginY) - p.dAdvance > space;
    };
    char16_t before = prevLast >= 0 ? prev->m_strText[static_cast<size_t>(prevLast)] : 0;
    char16_t after = nextFirst ? next->m_strText.front() : 0;
    if (n > 0 && prevLast >= 0 && spaced(prev->m_pChars[prevLast], run->m_pChars[0])) before = u' ';
    if (n > 0 && nextFirst && spaced(run->m_pChars[n - 1], next->m_pChars[0])) after = u' ';
    for (int j = 0; j < n; ++j) {
      const auto key = state.m_glyphMap.find(GlyphKey(*run, j));
      if (key == state.m_glyphMap.end() ||
          key->second >= static_cast<uint32_t>(state.m_nResultCount))
        continue;
      const PTK_CharRecord* chars = run->m_pChars;
      const char16_t left = j == 0                           ? before
                            : spaced(chars[j - 1], chars[j]) ? u' '
                                                             : text[static_cast<size_t>(j - 1)];
      const char16_t right = j + 1 == n                       ? after
                             : spaced(chars[j], chars[j + 1]) ? u' '
                                                              : text[static_cast<size_t>(j + 1)];
      const bool sameLeft = j > 0 ? GlyphKey(*run, j - 1) == key->first
                                  : prevLast >= 0 && GlyphKey(*prev, prevLast) == key->first;
      const bool sameRight = j + 1 < n ? GlyphKey(*run, j + 1) == key->first
                                       : nextFirst && GlyphKey(*next, 0) == key->first;
      visit(key->second, left, right, sameLeft, sameRight);
    }
  }
}

// Latin shapes that letters and digits share, decided by the characters beside their glyphs
// over all occurrences (a side counts when it is not the same glyph):
// - a 0 among letters is O (o among small letters), an O or o among digits is 0, when the other
//   kind is outnumbered more than twice;
// - one upright stroke (l, I, |) is I beside capitals and l after a small letter, when the other
//   case is outnumbered more than twice; a | among letters takes one of them in any case, l and I
//   only when the other is a candidate within kDigitMargin points (serifs tell them apart).
// Returns the number of cells changed.
int DecideLatinByNeighbours(CGlyphRecogState& state, const CTextBlockArray& runs,
                            const Neighbours& neighbours) {
  if (state.m_pResults == nullptr) return 0;
  struct Sides {
    int letters = 0, capitals = 0, digits = 0;
    int capitalI = 0, smallL = 0;  // occurrences that say I, l
  };
  std::unordered_map<uint32_t, Sides> sides;
  for (int32_t i = 0; i < state.m_nResultCount; ++i)
    if (std::u16string_view(u"0Oo|lI").find(state.m_pResults[i].wChar) != std::u16string_view::npos)
      sides.emplace(static_cast<uint32_t>(i), Sides{});
  if (sides.empty()) return 0;
  const auto capital = [](char16_t c) { return c >= u'A' && c <= u'Z'; };
  const auto small = [](char16_t c) { return c >= u'a' && c <= u'z'; };
  constexpr double kWordSpaceEms = 0.05;
  VisitOccurrences(
      state, runs, neighbours, kWordSpaceEms,
      [&](uint32_t cell, char16_t left, char16_t right, bool sameLeft, bool sameRight) {
        const auto it = sides.find(cell);
        if (it == sides.end()) return;
        Sides& count = it->second;
        if (sameLeft) left = 0;
        if (sameRight) right = 0;
        for (const char16_t c : {left, right}) {
          count.letters += IsLetter(c);
          count.capitals += capital(c);
          count.digits += IsDigit(c);
        }
        if (capital(left) || capital(right))
          ++count.capitalI;
        else if (small(left))
          ++count.smallL;
      });
  int changed = 0;
  for (const auto& [cell, count] : sides) {
    St_RecogResult& r = state.m_pResults[cell];
    const char16_t reading = static_cast<char16_t>(r.wChar);
    const bool capitals = 2 * count.capitals > count.letters;
    const bool letters = count.letters > 2 * count.digits;
    // Whether c is a candidate within kDigitMargin points of the reading.
    const auto close = [&](char16_t c) {
      const int other = CandidateScore(r, c);
      return other >= 0 && other + kDigitMargin >= CandidateScore(r, r.wChar);
    };
    char16_t now = reading;
    if (reading == u'0' && letters)
      now = capitals ? u'O' : u'o';
    else if ((reading == u'O' || reading == u'o') && count.digits > 2 * count.letters)
      now = u'0';
    else if (reading == u'|' && letters)
      now = count.capitalI > count.smallL ? u'I' : u'l';
    else if (reading == u'l' && count.capitalI > 2 * count.smallL && close(u'I'))
      now = u'I';
    else if (reading == u'I' && count.smallL > 2 * count.capitalI && close(u'l'))
      now = u'l';
    if (now == reading) continue;
    r.wChar = now;
    r.wFlags |= RRF_MARKED;
    ++changed;
  }
  return changed;
}

// Close readings decided by the page. A cell read as an ideograph whose candidates include
// other ideographs within kNeighbourMargin points takes the one that forms words with the
// characters beside its glyphs (over all its occurrences) more than twice as often as the
// reading does, and at least once. A dash among them counts the times the glyph stands beside
// itself or between digits, a full-width minus the times a digit follows it; a glyph read as a
// full-width minus is open to the ideographs among its close candidates too. When no candidate
// forms more words than the reading, one within kFrequencyMargin points that Chinese text uses at
// least twice as often is taken. Returns the number of cells changed.
int DecideByNeighbours(CGlyphRecogState& state, const CTextBlockArray& runs,
                       const Neighbours& neighbours, const WordStatistics& words) {
  if (words.pairs.empty() || state.m_pResults == nullptr) return 0;
  struct Open {  // the alternatives of a cell, its reading first
    std::vector<char16_t> chars;
    std::vector<int> scores, support;
  };
  std::unordered_map<uint32_t, Open> open;
  for (int32_t i = 0; i < state.m_nResultCount; ++i) {
    const St_RecogResult& r = state.m_pResults[i];
    if (!IsIdeograph(r.wChar) && r.wChar != kMinus && !IsOneLike(r.wChar)) continue;
    const int own = CandidateScore(r, r.wChar);
    if (own < 0) continue;
    Open cell{{static_cast<char16_t>(r.wChar)}, {own}, {}};
    for (int k = 0; k < CandidateCount(r); ++k) {
      const St_RecogCandidate& c = r.candidates[k];
      const bool close = c.wScore + kNeighbourMargin >= own;
      const bool word = IsIdeograph(c.wChar) || c.wChar == kDash || c.wChar == kMinus;
      // A digit 1 read as l, I or | (one stroke in many faces) within kDigitMargin.
      const bool one = c.wChar == u'1' && IsOneLike(r.wChar) && c.wScore + kDigitMargin >= own;
      if (c.wChar != r.wChar && ((word && close && !IsOneLike(r.wChar)) || one)) {
        cell.chars.push_back(static_cast<char16_t>(c.wChar));
        cell.scores.push_back(c.wScore);
      }
    }
    if (cell.chars.size() < 2) continue;
    cell.support.assign(cell.chars.size(), 0);
    open.emplace(static_cast<uint32_t>(i), std::move(cell));
  }
  if (open.empty()) return 0;
  VisitOccurrences(
      state, runs, neighbours, 0,
      [&](uint32_t index, char16_t left, char16_t right, bool sameLeft, bool sameRight) {
        const auto it = open.find(index);
        if (it == open.end()) return;
        Open& cell = it->second;
        for (size_t k = 0; k < cell.chars.size(); ++k) {
          const char16_t c = cell.chars[k];
          const bool range = IsDigit(left) && IsDigit(right);
          if (c == u'1')
            cell.support[k] += (!sameLeft && IsDigit(left)) + (!sameRight && IsDigit(right));
          else if (IsOneLike(c))
            cell.support[k] += (!sameLeft && IsLetter(left)) + (!sameRight && IsLetter(right));
          else if (c == kDash)
            cell.support[k] += sameLeft + sameRight + range;
          else if (c == kMinus)
            cell.support[k] += IsDigit(right);
          else
            cell.support[k] +=
                (!sameLeft && words.IsPair(left, c)) + (!sameRight && words.IsPair(c, right));
        }
      });
  int changed = 0;
  for (auto& [index, cell] : open) {
    size_t pick = static_cast<size_t>(std::max_element(cell.support.begin(), cell.support.end()) -
                                      cell.support.begin());
    // Digits beside a stroke outweigh letters beside it: the shapes are one, so no prior.
    const int outweigh = IsOneLike(cell.chars[0]) ? 1 : 2;
    if (pick != 0 && cell.support[pick] <= outweigh * cell.support[0]) continue;
    if (pick == 0) {
      uint64_t most = 2 * words.Frequency(cell.chars[0]);
      for (size_t k = 1; k < cell.chars.size(); ++k) {
        const uint64_t frequency = words.Frequency(cell.chars[k]);
        if (cell.support[k] == cell.support[0] &&
            cell.scores[k] + kFrequencyMargin >= cell.scores[0] && frequency >= most &&
            frequency > 0) {
          pick = k;
          most = frequency;
        }
      }
      if (pick == 0) continue;
    }
    St_RecogResult& r = state.m_pResults[index];
    r.wChar = cell.chars[pick];
    r.wFlags |= RRF_MARKED;
    ++changed;
  }
  return changed;
}

}  // namespace

uint32_t GlyphKey(const CTextBlock& run, int nChar) {
  return static_cast<uint32_t>(run.m_nFontIndex) << 16 |
         (static_cast<uint32_t>(run.m_pChars[nChar].nGlyph) & 0xFFFFu);
}

bool RenderGlyphNode(PTK_HDOC hDoc, const CPageInfo* pInfo, const CTextBlock& run, int nChar,
                     St_ImageNode& node) {
  if (hDoc == nullptr || pInfo == nullptr || run.m_nFontKeyIndex < 0 ||
      static_cast<size_t>(run.m_nFontKeyIndex) >= pInfo->m_fontKeys.size())
    return false;
  PTK_RunDesc desc{};
  desc.pszFontKey = pInfo->m_fontKeys[static_cast<size_t>(run.m_nFontKeyIndex)].c_str();
  desc.nAttr1 = run.m_nRunAttr1;
  desc.bFlag1 = run.m_bRunFlag1;
  desc.bFlag2 = run.m_bRunFlag2;
  desc.bFlag3 = run.m_bRunFlag3;
  desc.dMetric1 = run.m_dRunMetric1;
  desc.dMetric2 = run.m_dRunMetric2;
  desc.dStretchX = 1.0;
  desc.dStretchY = 1.0;
  desc.dAngle1 = run.m_dAngle1;
  desc.dAngle2 = run.m_dAngle2;
  const double scale =
      run.m_dGlyphHeightRatio != 0 ? kEmPixels / run.m_dGlyphHeightRatio : kEmPixels;
  desc.dScaleX = scale;
  desc.dScaleY = scale;
  desc.nParam1 = run.m_nRunAttr3;
  desc.nParam2 = run.m_nRunAttr2;

  const PTK_CharRecord& ch = run.m_pChars[nChar];
  BITMAPINFOHEADER* header = nullptr;
  uint8_t* bits = nullptr;
  if (PTK_GetCharBitmap(hDoc, &desc, &ch, &header, &bits) == 0 || header == nullptr ||
      bits == nullptr) {
    if (header != nullptr || bits != nullptr) PTK_FreeCharBitmap(header, bits);
    return false;
  }
  bool ok = false;
  const LONG width = header->biWidth;
  const LONG height = header->biHeight < 0 ? -header->biHeight : header->biHeight;
  const WORD bpp = header->biBitCount;
  if (width > 0 && height > 0 && width <= 0xFFFF && height <= 0xFFFF &&
      (bpp == 1 || bpp == 4 || bpp == 8 || bpp == 24 || bpp == 32)) {
    const DWORD pitch = (static_cast<DWORD>(bpp) * static_cast<DWORD>(width) + 31) / 32 * 4;
    // Top-down rows (negative height) are flipped into the image's bottom-up order.
    if (node.image.CreateFromArray(bits, static_cast<DWORD>(width), static_cast<DWORD>(height), bpp,
                                   pitch, header->biHeight < 0)) {
      if (bpp <= 8) {
        const auto* table = reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const BYTE*>(header) +
                                                             header->biSize);
        node.image.SetPalette(table, 1u << bpp);
      }
      ok = true;
    }
  }
  PTK_FreeCharBitmap(header, bits);
  if (!ok) return false;
  if (node.image.GetBpp() != 1) {
    // The sheet is bilevel: anything else becomes 1 bit per pixel, dark pixels ink.
    CxImage bilevel;
    if (bilevel.Create(node.image.GetWidth(), node.image.GetHeight(), 1) == nullptr) return false;
    const RGBQUAD two[2] = {{0xFF, 0xFF, 0xFF, 0}, {0, 0, 0, 0}};
    bilevel.SetPalette(two, 2);
    for (DWORD y = 0; y < node.image.GetHeight(); ++y)
      for (DWORD x = 0; x < node.image.GetWidth(); ++x) {
        const RGBQUAD c = node.image.GetPixelColor(static_cast<long>(x), static_cast<long>(y));
        if (c.rgbRed + c.rgbGreen + c.rgbBlue < 3 * 128)
          bilevel.SetPixelIndex(static_cast<long>(x), static_cast<long>(y), 1);
      }
    node.image = std::move(bilevel);
  }

  const double s = run.m_dFontSize != 0 ? kEmPixels / run.m_dFontSize : kEmPixels;
  const double xo = s * (ch.dX0 - ch.dOriginX);
  const double yo = kBaselineRow - s * (ch.dY0 - ch.dOriginY);
  node.x =
      static_cast<uint8_t>(std::isfinite(xo) && std::fabs(xo) < 1e9 ? static_cast<long>(xo) : 0);
  node.y =
      static_cast<uint8_t>(std::isfinite(yo) && std::fabs(yo) < 1e9 ? static_cast<long>(yo) : 0);
  node.w = static_cast<uint8_t>(node.image.GetWidth());
  node.h = static_cast<uint8_t>(node.image.GetHeight());
  node.image.SetTransColor(RGBQUAD{0xFF, 0xFF, 0xFF, 0});
  ClearRowPadding(node.image);
  return true;
}

bool PlaceGlyphNodes(std::vector<St_ImageNode>& nodes, CxImage& sheet) {
  sheet.Destroy();
  const int n = static_cast<int>(nodes.size());
  const int rows = (n + kGlyphCellsPerRow - 1) / kGlyphCellsPerRow;
  if (n == 0 || sheet.Create(kGlyphSheetWidth, static_cast<DWORD>(rows * kGlyphCell), 1) == nullptr)
    return false;
  sheet.Clear(0);
  const RGBQUAD black{0, 0, 0, 0};
  const long sheetHeight = rows * kGlyphCell;
  for (int i = 0; i < n; ++i) {
    St_ImageNode& node = nodes[static_cast<size_t>(i)];
    const int column = i % kGlyphCellsPerRow;
    const int row = i / kGlyphCellsPerRow;
    if (i == 0) {
      RGBQUAD pal[2] = {{0xFF, 0xFF, 0xFF, 0}, {0, 0, 0, 0}};
      if (const RGBQUAD* p = node.image.GetPalette();
          p != nullptr && node.image.GetNumColors() >= 2)
        std::copy(p, p + 2, pal);
      sheet.SetPalette(pal, 2);
    }
    const auto xoff = static_cast<int8_t>(node.x);
    const auto yoff = static_cast<int8_t>(node.y);
    const long x = std::max<long>(0, xoff) + column * kGlyphCell;
    const long height = static_cast<long>(node.image.GetHeight());
    long up = 0;  // above the cell's bottom edge
    if (yoff < 0)
      up = 0;
    else if (yoff + height < kGlyphCell)
      up = yoff;
    else
      up = kGlyphCell - 1 - height;
    // Rows are counted from the top of the sheet; the image's coordinates from its bottom.
    const long cellBottom = sheetHeight - (row + 1) * kGlyphCell;
    if (node.image.IsValid()) sheet.MixFrom(node.image, x, cellBottom + up);
    if (column == kGlyphCellsPerRow - 1)
      sheet.DrawLine(0, kGlyphSheetWidth - 1, static_cast<int>(cellBottom),
                     static_cast<int>(cellBottom), black);
    sheet.DrawLine(column * kGlyphCell - 1, column * kGlyphCell - 1, static_cast<int>(cellBottom),
                   static_cast<int>(cellBottom + kGlyphCell - 1), black);
    node.image.Destroy();
  }
  return true;
}

int BuildGlyphSheet(PTK_HDOC hDoc, const CPageInfo* pInfo, const CTextBlockArray& runs,
                    CGlyphRecogState& state) {
  std::vector<St_ImageNode> nodes;
  std::unordered_multimap<size_t, int> byHash;
  std::unordered_set<uint32_t> failed;
  int nFailed = 0;
  bool bFull = false;
  for (int r = 0; r < runs.GetSize(); ++r) {
    const CTextBlock* run = runs[r];
    if (run->m_pChars == nullptr) continue;
    for (int j = 0; j < run->m_nCharCount; ++j) {
      if (IsBlankGlyph(run->m_pChars[j])) continue;
      const uint32_t key = GlyphKey(*run, j);
      if (state.m_glyphMap.count(key) != 0) continue;
      if (static_cast<int>(nodes.size()) >= kMaxGlyphCells) {
        bFull = true;
        break;
      }
      // A glyph the kit could not render is not asked for again in this pass: a broken font
      // fails the same way every time, and a page may show its glyphs millions of times.
      if (failed.count(key) != 0) continue;
      St_ImageNode node;
      if (!RenderGlyphNode(hDoc, pInfo, *run, j, node)) {
        failed.insert(key);
        ++nFailed;
        continue;
      }
      const size_t hash = ImageHash(node);
      int cell = -1;
      for (auto [it, end] = byHash.equal_range(hash); it != end; ++it)
        if (SameImage(nodes[static_cast<size_t>(it->second)], node)) {
          cell = it->second;
          break;
        }
      if (cell < 0) {
        cell = static_cast<int>(nodes.size());
        nodes.push_back(std::move(node));
        byHash.emplace(hash, cell);
      }
      state.m_glyphMap[key] = static_cast<uint32_t>(cell);
    }
  }
  if (nFailed > 0)
    Trace(vwin32::Format(u"%d glyphs could not be rendered and keep their placeholders", nFailed));
  if (bFull)
    Trace(vwin32::Format(u"more than %d distinct glyphs; the rest keep their placeholders",
                         kMaxGlyphCells));
  if (!PlaceGlyphNodes(nodes, state.m_glyphSheet)) {
    if (!nodes.empty()) Trace(u"the glyph sheet could not be made");
    state.m_glyphMap.clear();
    return 0;
  }
  return static_cast<int>(nodes.size());
}

PFN_CreateRecogPageInstance LoadRecognitionLibrary() {
  static std::mutex mutex;
  static std::unordered_map<std::string, void*> loaded;  // path -> entry point; never unloaded
  std::vector<std::string> candidates;
  if (const char* env = std::getenv("VELLUMA_GLYPHREC"); env != nullptr && *env != 0)
    candidates.emplace_back(env);
  const std::u16string dir = vwin32::DirectoryOf(vwin32::ModulePathOf(&kLibraryAnchor));
  if (!dir.empty()) candidates.push_back(vwin32::ToUtf8(vwin32::JoinPath(dir, u"libglyphrec.so")));
  candidates.emplace_back(kGlyphRecLibraryName);
  std::lock_guard<std::mutex> lock(mutex);
  for (const std::string& path : candidates) {
    auto it = loaded.find(path);
    if (it != loaded.end()) return reinterpret_cast<PFN_CreateRecogPageInstance>(it->second);
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) continue;
    void* entry = dlsym(handle, kCreateRecogPageInstanceName);
    if (entry == nullptr) {
      dlclose(handle);
      continue;
    }
    loaded.emplace(path, entry);
    return reinterpret_cast<PFN_CreateRecogPageInstance>(entry);
  }
  return nullptr;
}

HRESULT RunRecognitionLibrary(CGlyphRecogState& state) {
  const PFN_CreateRecogPageInstance create = LoadRecognitionLibrary();
  if (create == nullptr) {
    Trace(u"no recognition library (libglyphrec.so); the glyphs keep their placeholders");
    return E_FAIL;
  }
  HGLOBAL hDib = state.m_glyphSheet.CopyToHandle();
  if (hDib == nullptr) {
    Trace(u"the glyph sheet could not be handed over");
    return E_FAIL;
  }
  HRESULT hr = E_FAIL;
  try {
    IRecogPage* page = nullptr;
    if (create(&page) < 0 || page == nullptr) {
      Trace(u"the recognition library made no page object");
    } else {
      const int32_t options[2] = {0, 5};
      const HRESULT rc = page->RecognisePage(0, options, hDib);
      if (rc < 0 || rc == 1) {
        Trace(u"the recognition library gave no result");
        hr = 1;
      } else {
        int32_t count = 0;
        if (page->GetResultCount(&count) < 0) count = 0;
        // One record per cell at most: result i describes cell i.
        const int32_t cells =
            static_cast<int32_t>(state.m_glyphSheet.GetHeight() / kGlyphCell * kGlyphCellsPerRow);
        count = std::clamp(count, 0, cells);
        state.FreeResults();
        if (count > 0) {
          state.m_pResults = new St_RecogResult[static_cast<size_t>(count)];
          std::memset(state.m_pResults, 0, sizeof(St_RecogResult) * static_cast<size_t>(count));
          for (int32_t i = 0; i < count; ++i) state.m_pResults[i].bShown = 255;
          state.m_nResultCount = count;
          int32_t filled = count;
          page->GetResults(state.m_pResults, &filled);
        }
        hr = S_OK;
      }
      page->Release();
    }
  } catch (...) {
    Trace(u"the recognition library failed");
    state.FreeResults();
    hr = E_FAIL;
  }
  GlobalFree(hDib);
  return hr;
}

void ApplyRecogResults(const CGlyphRecogState& state, CTextBlockArray& runs) {
  if (state.m_pResults == nullptr || state.m_nResultCount <= 0) return;
  for (int r = 0; r < runs.GetSize(); ++r) {
    CTextBlock* run = runs[r];
    if (run->m_pChars == nullptr) continue;
    const int n = std::min<int>(run->m_nCharCount, static_cast<int>(run->m_strText.size()));
    for (int j = 0; j < n; ++j) {
      const int cell = CellOf(state, *run, j);
      if (cell < 0) continue;
      // A record without a character leaves the placeholder (a zero would end the text).
      const char16_t ch = state.m_pResults[cell].wChar;
      if (ch != 0) run->m_strText[static_cast<size_t>(j)] = ch;
    }
  }
}

int RecogniseGlyphs(CPDFInstance& engine, const RECT* pClip, CTextBlockArray* pList) {
  CTextBlockArray& list = pList != nullptr ? *pList : engine.m_textBlocks;
  CPageInfo* info = engine.GetPageInfo();
  if (info == nullptr || engine.m_hDoc == nullptr) return 0;
  RECT clip;
  SetRect(&clip, 0, 0, ClampToLong(info->m_dPageWidth) + 1, ClampToLong(info->m_dPageHeight) + 1);
  if (pClip != nullptr) IntersectRect(&clip, &clip, pClip);

  CTextBlockArray all;
  Flatten(list, all);
  CTextBlockArray runs;
  for (int i = 0; i < all.GetSize(); ++i) {
    CTextBlock* run = all[i];
    if ((run->m_nFlags & TBF_UNRECOGNISED) == 0) continue;
    const RECT box = run->GetIntRect();
    RECT meet;
    if (IntersectRect(&meet, &box, &clip)) runs.Add(run);
  }
  if (runs.IsEmpty()) return 0;
  SortBlocks(runs, 10);

  CGlyphRecogState& state = engine.m_recog;
  PTK_SetSmoothTag(engine.m_hDoc, 0);
  if (state.m_glyphSheet.IsValid()) {
    state.m_glyphSheet.Destroy();
    state.m_glyphMap.clear();
    state.FreeResults();
  }
  const bool blanks = WriteBlanks(runs);
  const int cells = BuildGlyphSheet(engine.m_hDoc, info, runs, state);
  PTK_SetSmoothTag(engine.m_hDoc, 12);
  if (cells > 0 && RunRecognitionLibrary(state) == S_OK) {
    FitResultsToAdvances(state, runs, all);
    FitCaseToHeight(state, runs);
    ApplyRecogResults(state, runs);
    const Neighbours neighbours = LineNeighbours(all);
    if (DecideLatinByNeighbours(state, runs, neighbours) > 0) ApplyRecogResults(state, runs);
    if (DecideByNeighbours(state, runs, neighbours, WordStatisticsFor(LoadRecognitionLibrary())) >
        0)
      ApplyRecogResults(state, runs);
  } else if (!blanks) {
    return 0;
  }
  RebuildTree(list);
  return 0;
}
