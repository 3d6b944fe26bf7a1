#include "layout/rebuild.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

#include "blocks/geometry.h"
#include "blocks/textblock.h"
#include "layout/direction.h"
#include "layout/orderings.h"
#include "layout/predicates.h"
#include "layout/sortutil.h"
#include "pageinfo/pageinfo.h"

namespace {

constexpr char16_t kBlank = u' ';
constexpr char16_t kIdeographicSpace = u'\u3000';
constexpr char16_t kLineBreak[] = u"\r\n";

// Coverage profiles wider than this (corrupt coordinates) are not built.
constexpr long long kMaxProfileWidth = 1 << 22;

double BodySize(const CTextBlock* block) {
  return block->m_pPageInfo != nullptr ? block->m_pPageInfo->m_dBodyFontSize : 0.0;
}

// Characters that do not make text non-ASCII: controls, digits, punctuation and spaces outside
// the ASCII range (Latin-1 signs, general punctuation, CJK punctuation, full-width forms).
bool IsNeutralChar(char16_t c) {
  if (c < 0xC0) return true;  // ASCII, C1 controls, Latin-1 spaces and signs
  if (c == 0xD7 || c == 0xF7) return true;
  if (c >= 0x2000 && c <= 0x206F) return true;  // spaces and general punctuation
  if (c >= 0x3000 && c <= 0x303F) return true;  // ideographic space and CJK punctuation
  if (c >= 0xFE30 && c <= 0xFE6F) return true;  // CJK compatibility and small forms
  if (c >= 0xFF01 && c <= 0xFF20) return true;  // full-width signs and digits
  if (c >= 0xFF3B && c <= 0xFF40) return true;
  if (c >= 0xFF5B && c <= 0xFF65) return true;
  return false;
}

bool IsTitleLike(double size, size_t textLength, double body) {
  return size >= 2 * body || (size >= 1.2 * body && textLength < 30);
}

TextLine LineFrom(const CTextBlock* run) {
  TextLine line;
  line.m_dLeft = run->m_dLeft;
  line.m_dTop = run->m_dTop;
  line.m_dRight = run->m_dRight;
  line.m_dBottom = run->m_dBottom;
  line.m_dFontSize = run->m_dFontSize;
  line.m_dBaselineY = run->m_dBaselineY;
  line.m_strText = run->m_strText;
  return line;
}

// Joins s to the line: fills the gap between them, widens the line over s and appends s's text.
// k is the share of the missing width of a narrow s that counts as part of it. Returns the
// number of gap units inserted, at most 4; asciiBlock falls when s begins with a letter beyond
// ASCII.
int JoinRun(TextLine& line, const CTextBlock* s, bool rtl, double k, double body,
            bool& asciiBlock) {
  double p = 0;
  const double width = s->m_dRight - s->m_dLeft;
  if (width < s->m_dFontSize) p = (s->m_dFontSize - width) * k;
  const double gap = rtl ? line.m_dLeft - s->m_dRight - p : s->m_dLeft - p - line.m_dRight;
  bool ascii = true;
  if (!s->m_strText.empty()) {
    const char16_t first = s->m_strText[0];
    ascii = first < 0x7F;
    if (!IsNeutralChar(first)) asciiBlock = false;
  }
  const int units = FillGap(line.m_strText, line.m_dFontSize, gap, ascii, body);

  line.m_dLeft = std::min(line.m_dLeft, s->m_dLeft);
  line.m_dTop = std::min(line.m_dTop, s->m_dTop);
  line.m_dRight = std::max(line.m_dRight, s->m_dRight);
  line.m_dBottom = std::max(line.m_dBottom, s->m_dBottom);
  const double lineLength = static_cast<double>(line.m_strText.size());
  const double runLength = static_cast<double>(s->m_strText.size());
  if (lineLength + runLength > 0) {
    line.m_dFontSize =
        (line.m_dFontSize * lineLength + s->m_dFontSize * runLength) / (lineLength + runLength);
  }
  line.m_strText += s->m_strText;
  if (rtl) {
    line.m_dLeft -= p;
  } else {
    line.m_dRight += p;
  }
  return std::min(units, 4);
}

// Notes in asciiBlock whether a child that starts a line begins with a letter beyond ASCII.
void NoteFirstChar(const CTextBlock* s, bool& asciiBlock) {
  if (!s->m_strText.empty() && !IsNeutralChar(s->m_strText[0])) asciiBlock = false;
}

bool StartsWithTwo(const std::u16string& text, char16_t unit) {
  return text.size() > 2 && text[0] == unit && text[1] == unit;
}

// Slanted lines: the runs of level-1 block grouped by their projection across the slope, each
// line's runs in reading order, the lines in stream order.
std::vector<CTextBlockArray> GroupSlantedLines(CTextBlock* block, int direction, double modeDx,
                                               double modeDy) {
  const double slope = modeDx != 0 ? modeDy / modeDx : 0.0;
  const double g = std::tanh(slope);
  double c = std::cos(g);
  double s = std::sin(g);
  if (std::fabs(slope) > 1) {
    c = -c;
    s = -s;
  }
  CTextBlockArray& children = block->m_children;
  const int n = children.GetSize();

  struct Line {
    CTextBlockArray runs;
    double projection = 0;  // across the slope, of the run that opened the line
    long long key = 0;      // mean last sequence number of its runs
    int closed = 0;         // position in the order of closing
  };
  std::vector<Line> lines;
  auto close = [&](Line& line) {
    SortChildren(line.runs, direction);
    long long sum = 0;
    for (const CTextBlock* run : line.runs) sum += run->m_nLastSeq;
    line.key = line.runs.IsEmpty() ? 0 : sum / line.runs.GetSize();
    line.closed = static_cast<int>(lines.size());
    lines.push_back(std::move(line));
  };

  Line current;
  double prevProjection = 0;
  const CTextBlock* prev = nullptr;
  for (int i = n - 1; i >= 0; --i) {
    CTextBlock* o = children[i];
    const double projection = o->m_dBaselineY * c - o->m_dBaselineX * s;
    if (prev == nullptr) {
      current.projection = projection;
    } else {
      const double v = std::max(o->m_dFontSize, prev->m_dFontSize);
      if (!(std::fabs(projection - prevProjection) < 0.35 * v &&
            std::fabs(o->m_dTop - prev->m_dTop) < 1.2 * v)) {
        close(current);
        current = Line();
        current.projection = projection;
      }
    }
    current.runs.Add(o);
    prev = o;
    prevProjection = projection;
  }
  if (!current.runs.IsEmpty()) close(current);

  std::vector<Line*> order;
  for (Line& line : lines) order.push_back(&line);
  SafeSort(order, [](const Line* a, const Line* b) {
    if (a->key != b->key) return a->key < b->key ? -1 : 1;
    return b->closed - a->closed;  // of equal keys, the one closed later first
  });
  std::vector<CTextBlockArray> result;
  result.reserve(order.size());
  for (Line* line : order) result.push_back(std::move(line->runs));
  return result;
}

void AssembleSlantedBlock(CTextBlock* block, int direction, double modeDx, double modeDy) {
  std::vector<CTextBlockArray> lines = GroupSlantedLines(block, direction, modeDx, modeDy);
  if (direction <= 7) {
    AssembleSlanted(block, lines);
  } else {
    AssembleVertical(block, false);
  }
  block->m_children.RemoveAll();
  for (const CTextBlockArray& line : lines) block->m_children.Append(line);
}

void SetFlag(CTextBlock* block, uint32_t flag, bool on) {
  if (on) {
    block->m_nFlags |= flag;
  } else {
    block->m_nFlags &= ~flag;
  }
}

}  // namespace

int StreamOrderOf(const CTextBlock* a, const CTextBlock* b) {
  if (static_cast<int64_t>(b->m_pHead->m_nFirstSeq) ==
      static_cast<int64_t>(a->m_pTail->m_nLastSeq) + 1) {
    return -1;
  }
  if (static_cast<int64_t>(a->m_pHead->m_nFirstSeq) ==
      static_cast<int64_t>(b->m_pTail->m_nLastSeq) + 1) {
    return 1;
  }
  return 0;
}

int FillGap(std::u16string& text, double size, double gap, bool ascii, double body) {
  const char16_t unit = ascii ? kBlank : kIdeographicSpace;
  const double step = ascii ? 0.8 * size : size;
  int count = 0;
  if (step > 0) {  // a zero step would never use up the gap
    while (gap > step) {
      text += unit;
      gap -= step;
      ++count;
    }
  }
  if (count > 0) return count;
  if (!IsTitleLike(size, text.size(), body)) return 0;
  if (ascii ? gap >= 0.6 * body : gap >= size) {
    text += unit;
    return 1;
  }
  return 0;
}

bool IsParagraphed(const std::vector<TextLine>& lines, double& left, double& right) {
  for (const TextLine& line : lines) {
    left = std::min(left, line.m_dLeft);
    right = std::max(right, line.m_dRight);
  }
  const int n = static_cast<int>(lines.size());
  bool allFlushLeft = true;
  int flushRight = 0;
  for (const TextLine& line : lines) {
    if (!(line.m_dLeft - left < 0.5 * line.m_dFontSize)) allFlushLeft = false;
    if (right - line.m_dRight < 0.5 * line.m_dFontSize) ++flushRight;
  }
  if (flushRight < 3) right += 5;
  if (!allFlushLeft || 2 * flushRight > n) return false;

  int flat = 0;
  int changes = 0;
  bool rising = n >= 2 && lines[1].m_dRight - lines[0].m_dRight > 0;
  for (int i = 1; i < n; ++i) {
    const double d = lines[i].m_dRight - lines[i - 1].m_dRight;
    if (std::fabs(d) <= 5) {
      ++flat;
      continue;
    }
    if ((d > 0) != rising) {
      ++changes;
      rising = d > 0;
    }
  }
  return (changes >= n / 3 && changes > 3) || (flat <= 2 && changes >= n / 3 && changes > 1);
}

void AssembleLines(CTextBlock* block, int gapCount, bool ascii, const std::vector<TextLine>& lines,
                   bool byBaseline) {
  if (lines.empty()) return;
  const int n = static_cast<int>(lines.size());
  std::u16string& text = block->m_strText;
  if (n == 1) {
    text = lines[0].m_strText;
    return;
  }
  double sum = 0;
  for (int i = 1; i < n; ++i) {
    sum += byBaseline ? lines[i].m_dBaselineY - lines[i - 1].m_dBaselineY
                      : lines[i].m_dTop - lines[i - 1].m_dTop;
  }
  const double step = sum / (n - 1);

  if (block->GetType() != TBT_SPACED && ((n == 2 && gapCount > 4) || gapCount > 1.4 * n)) {
    block->SetType(TBT_SPACED);
  }
  double left = block->m_dLeft;
  double right = block->m_dRight;
  if (block->GetType() != TBT_SPACED && n >= 3 && IsParagraphed(lines, left, right)) {
    block->SetType(TBT_PARAGRAPHED);
  }
  const bool spaced = block->GetType() == TBT_SPACED;
  const bool paragraphed = block->GetType() == TBT_PARAGRAPHED;

  const std::u16string indent = ascii ? u"  " : u"\u3000\u3000";
  const double factor = ascii ? 0.85 : 1.5;
  text.clear();
  if (lines[0].m_dLeft - block->m_dLeft > factor * lines[0].m_dFontSize) text += indent;
  text += lines[0].m_strText;

  for (int i = 1; i < n; ++i) {
    const TextLine& prev = lines[i - 1];
    const TextLine& cur = lines[i];
    // A line that already begins with an indent is measured from after it.
    double curLeft = cur.m_dLeft;
    if (StartsWithTwo(cur.m_strText, kIdeographicSpace) || StartsWithTwo(cur.m_strText, kBlank)) {
      const double charWidth =
          std::trunc((cur.m_dRight - cur.m_dLeft) / static_cast<double>(cur.m_strText.size()));
      curLeft += 2.5 * charWidth;
    }
    const double dx = curLeft - prev.m_dLeft;
    const double fs = cur.m_dFontSize;
    if (spaced) {
      text += kLineBreak;
    } else if (!byBaseline) {
      if (paragraphed &&
          (right - prev.m_dRight > 0.3 * factor * fs || cur.m_dTop - prev.m_dTop > 1.1 * step)) {
        text += kLineBreak;
      } else if ((dx > factor * fs && dx < (2 * factor + 1) * fs) ||
                 (cur.m_dRight - prev.m_dRight > (2 * factor / 3) * fs &&
                  curLeft - block->m_dLeft > factor * fs) ||
                 cur.m_dTop - prev.m_dTop > 1.1 * step) {
        text += kLineBreak;
        text += indent;
      }
    } else if (paragraphed && (right - prev.m_dRight > 0.3 * factor * fs ||
                               cur.m_dBaselineY - prev.m_dBaselineY > 1.4 * step)) {
      text += kLineBreak;
    }
    text += cur.m_strText;
  }
}

void AssembleHorizontal(CTextBlock* block, bool rtl) {
  if (IsSpacedText(block)) block->SetType(TBT_SPACED);
  const double body = BodySize(block);
  std::vector<TextLine> lines;
  int gapCount = 0;
  bool asciiBlock = true;
  for (const CTextBlock* s : block->m_children) {
    block->m_strHtml += s->m_strHtml;
    if (lines.empty() ||
        s->m_dBaselineY - lines.back().m_dBaselineY > 0.95 * lines.back().m_dFontSize) {
      NoteFirstChar(s, asciiBlock);
      lines.push_back(LineFrom(s));
      continue;
    }
    TextLine& line = lines.back();
    const double k = IsTitleLike(line.m_dFontSize, line.m_strText.size(), body) ? 0.25 : 0.5;
    gapCount += JoinRun(line, s, rtl, k, body, asciiBlock);
  }
  block->m_nLineCount = static_cast<int32_t>(lines.size());
  if (!lines.empty()) AssembleLines(block, gapCount, asciiBlock, lines, false);
}

void AssembleSlanted(CTextBlock* block, const std::vector<CTextBlockArray>& lines) {
  if (IsSpacedText(block)) block->SetType(TBT_SPACED);
  const double body = BodySize(block);
  std::vector<TextLine> assembled;
  int gapCount = 0;
  bool asciiBlock = true;
  for (const CTextBlockArray& runs : lines) {
    if (runs.IsEmpty()) continue;
    NoteFirstChar(runs[0], asciiBlock);
    TextLine line = LineFrom(runs[0]);
    for (int i = 1; i < runs.GetSize(); ++i) {
      gapCount += JoinRun(line, runs[i], false, 0.5, body, asciiBlock);
    }
    assembled.push_back(std::move(line));
  }
  block->m_nLineCount = static_cast<int32_t>(assembled.size());
  if (!assembled.empty()) AssembleLines(block, gapCount, asciiBlock, assembled, true);
}

void AssembleVertical(CTextBlock* block, bool rtl) {
  double b = rtl ? block->m_dRight : block->m_dLeft;
  double c = block->m_dTop;
  std::u16string& text = block->m_strText;
  for (const CTextBlock* p : block->m_children) {
    const double fs = p->m_dFontSize;
    block->m_strHtml += p->m_strHtml;
    const double advance = rtl ? b - p->m_dRight : p->m_dLeft - b;
    if (advance > 1.1 * fs) {
      ++block->m_nLineCount;
      if (block->m_dBottom - c > fs || p->m_dTop - block->m_dTop > 1.5 * fs) text += kLineBreak;
      c = block->m_dTop;
    }
    if (fs > 0) {  // a zero size would never use up the gap
      for (double gap = p->m_dTop - c; gap > fs; gap -= fs) text += kIdeographicSpace;
    }
    text += p->m_strText;
    b = rtl ? p->m_dRight : p->m_dLeft;
    c = p->m_dBottom;
  }
}

void OrderGroup(CTextBlock* block) {
  CTextBlockArray& children = block->m_children;
  SortBlocks(children, 8);
  const int n = children.GetSize();
  if (n < 3) return;
  auto follows = [](const CTextBlock* a, const CTextBlock* b) { return StreamOrderOf(a, b) == -1; };
  // Every move links the moved child to a stream neighbour, so well-formed groups settle after
  // fewer than n moves; the bound guards against repeated sequence numbers.
  int movesLeft = 2 * n;
  int i = 0;
  while (i < n) {
    CTextBlock* r = children[i];
    if ((i > 0 && follows(children[i - 1], r)) || (i + 1 < n && follows(r, children[i + 1])) ||
        movesLeft <= 0) {
      ++i;
      continue;
    }
    children.RemoveAt(i);
    int target = -1;
    for (int j = 0; j < n - 1; ++j) {
      if (follows(r, children[j]) && (j == 0 || follows(children[j - 1], r))) {
        target = j;
        break;
      }
    }
    if (target < 0 && follows(children[n - 2], r)) target = n - 1;
    if (target < 0 || target == i) {
      children.InsertAt(i, r);
      ++i;
      continue;
    }
    children.InsertAt(target, r);
    --movesLeft;
  }
}

void AssembleGroup(CTextBlock* block) {
  block->m_nLineCount = 0;
  const CTextBlockArray& children = block->m_children;
  bool spaced = false;
  for (const CTextBlock* child : children) {
    if (child->GetType() == TBT_SPACED) spaced = true;
  }
  std::u16string& text = block->m_strText;
  for (int i = 0; i < children.GetSize(); ++i) {
    const CTextBlock* q = children[i];
    if (i > 0) {
      const CTextBlock* p = children[i - 1];
      if (p->GetType() != q->GetType() || !(p->m_nFlags & TBF_TAIL_ALIGNED) ||
          !(q->m_nFlags & TBF_HEAD_ALIGNED)) {
        text += kLineBreak;
      } else if (spaced) {
        const double mean = (p->m_dFontSize + q->m_dFontSize) / 2;
        if (OverlapRatio(p->m_dTop, p->m_dBottom, q->m_dTop, q->m_dBottom) < 0) {
          text += kLineBreak;
        } else if (p->m_nLineCount == 1 && q->m_nLineCount == 1 &&
                   q->m_dFontSize - p->m_dFontSize < 0.1 * mean) {
          FillGap(text, mean, q->m_dLeft - p->m_dRight, false, 10000);
        }
      }
    }
    text += q->m_strText;
    block->m_nLineCount += q->m_nLineCount;
  }
}

void SetAlignmentFlags(CTextBlock* block) {
  const int d = DirectionOf(block);
  if (d >= 6) return;
  const double f = block->m_dFontSize / 2;
  const CTextBlock* head = block->m_pHead;
  const CTextBlock* tail = block->m_pTail;
  bool headAligned;
  bool tailAligned;
  if (d == 2) {
    headAligned = std::fabs(head->m_dRight - block->m_dRight) <= f;
    tailAligned = std::fabs(tail->m_dLeft - block->m_dLeft) <= f;
  } else if (d >= 3) {
    headAligned = std::fabs(head->m_dTop - block->m_dTop) <= f;
    tailAligned = std::fabs(tail->m_dBottom - block->m_dBottom) <= f;
  } else {
    headAligned = std::fabs(head->m_dLeft - block->m_dLeft) <= f;
    tailAligned = std::fabs(tail->m_dRight - block->m_dRight) <= f;
  }
  SetFlag(block, TBF_HEAD_ALIGNED, headAligned);
  SetFlag(block, TBF_TAIL_ALIGNED, tailAligned);
}

int ColumnProfile(const CTextBlockArray& blocks, bool columnsMode, std::vector<int>& intervals) {
  intervals.clear();
  if (blocks.IsEmpty()) return 0;
  double minLeft = blocks[0]->m_dLeft;
  double maxRight = blocks[0]->m_dRight;
  for (const CTextBlock* b : blocks) {
    minLeft = std::min(minLeft, b->m_dLeft);
    maxRight = std::max(maxRight, b->m_dRight);
  }
  const long long lo = TruncToLong(minLeft);
  const long long hi = TruncToLong(maxRight);
  if (!std::isfinite(minLeft) || !std::isfinite(maxRight) || hi < lo ||
      hi - lo > kMaxProfileWidth) {
    return 0;
  }

  // Coverage through a difference array: linear in the blocks and the width.
  const size_t width = static_cast<size_t>(hi - lo + 1);
  std::vector<long long> delta(width + 1, 0);
  for (const CTextBlock* b : blocks) {
    const long long from = std::max<long long>(TruncToLong(b->m_dLeft), lo);
    const long long to = std::min<long long>(static_cast<long long>(std::floor(b->m_dRight)), hi);
    if (from > to) continue;
    delta[static_cast<size_t>(from - lo)] += b->m_nLineCount;
    delta[static_cast<size_t>(to - lo + 1)] -= b->m_nLineCount;
  }
  std::vector<long long> cover(width);
  long long running = 0;
  long long maxCover = 0;
  for (size_t x = 0; x < width; ++x) {
    running += delta[x];
    cover[x] = running;
    maxCover = std::max(maxCover, running);
  }

  double weighted = 0;
  double length = 0;
  double pitchSum = 0;
  int samples = 0;
  for (int i = 0; i < blocks.GetSize(); ++i) {
    const CTextBlock* b = blocks[i];
    weighted += b->m_dFontSize * static_cast<double>(b->m_strText.size());
    length += static_cast<double>(b->m_strText.size());
    if (i == 0) continue;
    const CTextBlock* a = blocks[i - 1];
    const double dx = std::fabs(b->m_dBaselineX - a->m_dBaselineX);
    if (std::fabs(b->m_dBaselineY - a->m_dBaselineY) < 0.3 * b->m_dFontSize &&
        dx < 2 * b->m_dFontSize) {
      pitchSum += dx;
      ++samples;
    }
  }
  const double meanSize = length > 0 ? weighted / length : 0.0;
  const double pitch = samples > 0 ? pitchSum / samples : 0.0;

  const long long threshold = columnsMode ? 0 : static_cast<long long>(maxCover * 0.1);
  std::vector<std::pair<long long, long long>> spans;
  long long start = 0;
  bool open = false;
  for (size_t x = 0; x < width; ++x) {
    const long long pos = lo + static_cast<long long>(x);
    if (!open && cover[x] > threshold) {
      start = pos;
      open = true;
    } else if (open && cover[x] <= threshold) {
      spans.emplace_back(start, pos);
      open = false;
    }
  }
  if (open) spans.emplace_back(start, hi + 1);

  double limit = maxCover >= 16 ? meanSize * 0.6 : maxCover < 9 ? meanSize * 1.3 : meanSize;
  if (samples > 10 && maxCover < 9) limit = pitch;
  std::vector<std::pair<long long, long long>> merged;
  for (const auto& span : spans) {
    if (!merged.empty() && static_cast<double>(span.first - merged.back().second) < limit - 1) {
      merged.back().second = span.second;
    } else {
      merged.push_back(span);
    }
  }
  for (const auto& span : merged) {
    intervals.push_back(static_cast<int>(span.first));
    intervals.push_back(static_cast<int>(span.second));
  }
  return static_cast<int>(std::min<long long>(maxCover, INT32_MAX));
}

bool IsSpacedText(const CTextBlock* block) {
  std::vector<int> intervals;
  const int maxCover = ColumnProfile(block->m_children, false, intervals);
  return maxCover >= 4 && intervals.size() >= 4;
}

int Rebuild(CTextBlock* block) {
  if (block == nullptr) return 0;
  const int level = block->GetLevel();
  if (level == 0) return 1;
  block->m_strText.clear();
  block->m_nLineCount = 1;
  double modeDx = 0;
  double modeDy = 0;
  const int direction = DetermineDirection(block, &modeDx, &modeDy);
  CTextBlockArray& children = block->m_children;
  if (level >= 2) {
    OrderGroup(block);
    AssembleGroup(block);
  } else if (direction <= 2) {
    SortChildren(children, direction);
    AssembleHorizontal(block, direction == 2);
  } else if (direction <= 5) {
    SortChildren(children, direction);
    AssembleVertical(block, direction == 4);
  } else {
    AssembleSlantedBlock(block, direction, modeDx, modeDy);
  }
  if (!children.IsEmpty()) {
    block->m_pHead = children[0]->m_pHead;
    block->m_pTail = children[children.GetSize() - 1]->m_pTail;
    SetAlignmentFlags(block);
  }
  return 1;
}

void RebuildTree(CTextBlockArray& list) {
  for (CTextBlock* block : list) {
    const int level = block->GetLevel();
    if (level >= 2) RebuildTree(block->m_children);
    if (level >= 1) Rebuild(block);
  }
}
