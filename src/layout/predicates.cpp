#include "layout/predicates.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "blocks/geometry.h"

bool IsNeighbourRun(const CTextBlock* a, const CTextBlock* b, bool loose) {
  const double fa = a->m_dFontSize;
  const double fb = b->m_dFontSize;
  const double D = (fa + fb) / 2;
  const double hGap = std::max(a->m_dLeft, b->m_dLeft) - std::min(a->m_dRight, b->m_dRight);
  const double vGap = std::max(a->m_dTop, b->m_dTop) - std::min(a->m_dBottom, b->m_dBottom);
  const double hRatio = OverlapRatio(a->m_dLeft, a->m_dRight, b->m_dLeft, b->m_dRight);
  double vShort = 0;
  const double vRatio = OverlapRatio(a->m_dTop, a->m_dBottom, b->m_dTop, b->m_dBottom, &vShort);
  const int64_t seqGap = std::llabs(static_cast<int64_t>(a->m_nFirstSeq) - b->m_nFirstSeq);
  const bool adjacent = seqGap == 1;
  const double dBase = std::fabs(a->m_dBaselineY - b->m_dBaselineY);
  const double dStart = std::fabs(a->m_dBaselineX - b->m_dBaselineX);

  const double t = seqGap >= 60 ? 1.5 : 1.77;
  const bool big = fa > 18 && fb > 18;
  const bool sameSize = std::fabs(fa - fb) < 1;
  // The later of the two in the stream (b when equal) stands lower, or further right on the
  // same baseline.
  const CTextBlock* later = (a->m_nFirstSeq > b->m_nFirstSeq) ? a : b;
  const CTextBlock* earlier = (later == a) ? b : a;
  const bool inOrder = later->m_dBaselineY > earlier->m_dBaselineY ||
                       (dBase < 0.2 && later->m_dBaselineX > earlier->m_dBaselineX);

  // Rule A: on one line or on near lines.
  const bool ruleA =
      dBase < 0.2 || ((dBase < t * D || vRatio > -(t - 1) / (t + 1)) && !(big && !adjacent));
  if (ruleA) {
    if (hGap < 0.64 * D || (dStart < 1.05 * D && hGap < 0.8 * D) ||
        (adjacent && inOrder && hGap < 1.2 * D)) {
      return true;
    }
  }
  if (adjacent && hGap < 0.1 * D && vRatio > -0.4) return true;
  if (loose && vRatio > 0.3) {
    if (big) return adjacent && sameSize && hGap < D;
    return hGap < 0.64 * D || (dStart < 1.05 * D && hGap < 0.8 * D) || (adjacent && hGap < 2.3 * D);
  }
  if (!loose && big && !adjacent && sameSize) {
    return (vShort > 0.9 && hGap < 0.95 * D) || (hRatio > 0.1 && vGap < 25);
  }
  return false;
}

int JoinDirection(const CTextBlock* block, int direction) {
  const int own = DirectionOf(block);
  const int d = direction;
  if (d == own || d == 0) return own;
  if (own == 0) return d;
  if (own == 5 && (d == 3 || d == 4)) return d;
  if (d == 5 && (own == 3 || own == 4)) return own;
  if (own == 1 || (own >= 6 && own <= 10)) return own;
  if (d == 5) return own;
  return 0;
}

double MeanFontSize(const CTextBlockArray& list, bool restricted) {
  const auto inRange = [](const CTextBlock* p) {
    return p->m_dFontSize > 6 && p->m_dFontSize < 18;
  };
  bool all = !restricted;
  if (restricted) all = std::none_of(list.begin(), list.end(), inRange);

  double sum = 0;
  double length = 0;
  const CTextBlock* first = nullptr;
  for (const CTextBlock* p : list) {
    if (!all && !inRange(p)) continue;
    if (first == nullptr) first = p;
    const double n = static_cast<double>(p->m_strText.size());
    sum += p->m_dFontSize * n;
    length += n;
  }
  if (first == nullptr) return 0;
  // Without text there is nothing to weigh: the first counted size stands for the list.
  if (length == 0) return first->m_dFontSize;
  return sum / length;
}
