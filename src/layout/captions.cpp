#include "layout/captions.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "blocks/geometry.h"
#include "blocks/picblock.h"
#include "blocks/textblock.h"
#include "layout/formation.h"
#include "layout/predicates.h"

namespace {

// A caption has at most this many lines.
constexpr int kMaxCaptionLines = 4;
// How far a candidate may stand from its picture: 1.05 x its font size within these bounds.
constexpr double kMinReach = 11.5;
constexpr double kMaxReach = 18.0;
// Tolerance of the inside tests.
constexpr double kInsideSlack = 3.0;
// A nearer picture of the same side wins only by more than this.
constexpr double kNearerBy = 2.0;

double Reach(const CTextBlock* p) {
  return std::clamp(1.05 * p->m_dFontSize, kMinReach, kMaxReach);
}

bool IsOffered(const CTextBlock* p) {
  const uint32_t type = p->GetType();
  return p->m_nLineCount <= kMaxCaptionLines && type != TBT_TITLE && type != TBT_SPACED;
}

// Whether a picture at cand replaces the best picture so far: a greater side wins (right never
// over left), a nearer picture of the same side (or right against left) by more than 2 units.
bool IsBetter(const CaptionPlace& cand, const CaptionPlace& best) {
  const bool rightOverLeft = cand.nSide == CAPTION_RIGHT && best.nSide == CAPTION_LEFT;
  if (cand.nSide > best.nSide && !rightOverLeft) return true;
  if (cand.nSide == best.nSide || rightOverLeft) return cand.dDistance < best.dDistance - kNearerBy;
  return false;
}

// The pictures a text block may be offered to: every candidate lies within the reach of its
// picture's box (at most kMaxReach beyond an edge, plus the inside slack), so the pictures'
// boxes widened by that margin are indexed in a grid of cells and a block asks only the cells
// its box covers. Keeps the stage near linear on mosaics of hundreds of pictures.
class PictureIndex {
 public:
  explicit PictureIndex(const CPicBlockArray& pictures) : m_pictures(pictures) {
    const int n = pictures.GetSize();
    double left = 0, top = 0, right = 0, bottom = 0;
    bool any = false;
    for (const CPicBlock* s : pictures) {
      if (!Finite(s)) continue;
      const double l = s->m_dLeft - kMargin, t = s->m_dTop - kMargin;
      const double r = s->m_dRight + kMargin, b = s->m_dBottom + kMargin;
      left = any ? std::min(left, l) : l;
      top = any ? std::min(top, t) : t;
      right = any ? std::max(right, r) : r;
      bottom = any ? std::max(bottom, b) : b;
      any = true;
    }
    m_dLeft = left;
    m_dTop = top;
    // About as many cells as pictures, at most kMaxCells along an axis.
    const int side =
        std::clamp(static_cast<int>(std::sqrt(static_cast<double>(n))) + 1, 1, kMaxCells);
    m_nCols = m_nRows = side;
    m_dCellW = std::max((right - left) / side, 1.0);
    m_dCellH = std::max((bottom - top) / side, 1.0);
    m_cells.resize(static_cast<size_t>(side) * static_cast<size_t>(side));
    for (int i = 0; i < n; ++i) {
      const CPicBlock* s = pictures[i];
      if (!Finite(s)) {
        m_unplaced.push_back(i);
        continue;
      }
      const auto [c0, c1] =
          Span(s->m_dLeft - kMargin, s->m_dRight + kMargin, m_dLeft, m_dCellW, m_nCols);
      const auto [r0, r1] =
          Span(s->m_dTop - kMargin, s->m_dBottom + kMargin, m_dTop, m_dCellH, m_nRows);
      // A picture over a large share of the grid is asked by every block instead of being
      // entered in each of its cells: the index stays small when many large pictures overlap.
      const int64_t covered = int64_t{r1 - r0 + 1} * (c1 - c0 + 1);
      if (covered > std::max<int64_t>(16, int64_t{side} * side / 4)) {
        m_unplaced.push_back(i);
        continue;
      }
      for (int r = r0; r <= r1; ++r)
        for (int c = c0; c <= c1; ++c) m_cells[Cell(r, c)].push_back(i);
    }
    m_seen.assign(static_cast<size_t>(n), -1);
  }

  // Indices of the pictures near p's box, in list order; every picture for a block whose box
  // is not finite (CaptionSide decides for those).
  const std::vector<int>& Near(const CTextBlock* p) {
    m_found.clear();
    ++m_nQuery;
    const auto note = [this](int i) {
      if (m_seen[static_cast<size_t>(i)] == m_nQuery) return;
      m_seen[static_cast<size_t>(i)] = m_nQuery;
      m_found.push_back(i);
    };
    if (!std::isfinite(p->m_dLeft) || !std::isfinite(p->m_dTop) || !std::isfinite(p->m_dRight) ||
        !std::isfinite(p->m_dBottom)) {
      for (int i = 0; i < m_pictures.GetSize(); ++i) note(i);
      return m_found;
    }
    const auto [c0, c1] = Span(p->m_dLeft, p->m_dRight, m_dLeft, m_dCellW, m_nCols);
    const auto [r0, r1] = Span(p->m_dTop, p->m_dBottom, m_dTop, m_dCellH, m_nRows);
    for (int r = r0; r <= r1; ++r)
      for (int c = c0; c <= c1; ++c)
        for (int i : m_cells[Cell(r, c)]) note(i);
    for (int i : m_unplaced) note(i);
    std::sort(m_found.begin(), m_found.end());
    return m_found;
  }

 private:
  static constexpr double kMargin = kMaxReach + kInsideSlack + 1.0;
  static constexpr int kMaxCells = 64;

  static bool Finite(const CPicBlock* s) {
    return std::isfinite(s->m_dLeft) && std::isfinite(s->m_dTop) && std::isfinite(s->m_dRight) &&
           std::isfinite(s->m_dBottom);
  }
  // The cells [first, last] that the interval [a, b] covers, clamped to the grid (a block
  // outside the grid asks the border cells, which hold no picture it could reach).
  static std::pair<int, int> Span(double a, double b, double origin, double cell, int count) {
    const auto at = [&](double v) {
      const double k = std::floor((v - origin) / cell);
      return static_cast<int>(std::clamp(k, 0.0, static_cast<double>(count - 1)));
    };
    return {at(std::min(a, b)), at(std::max(a, b))};
  }
  size_t Cell(int r, int c) const {
    return static_cast<size_t>(r) * static_cast<size_t>(m_nCols) + static_cast<size_t>(c);
  }

  const CPicBlockArray& m_pictures;
  double m_dLeft = 0, m_dTop = 0, m_dCellW = 1, m_dCellH = 1;
  int m_nCols = 1, m_nRows = 1;
  std::vector<std::vector<int>> m_cells;
  std::vector<int> m_unplaced;  // pictures every block is offered to (large or not finite)
  std::vector<int> m_seen;      // query stamp per picture
  int m_nQuery = 0;
  std::vector<int> m_found;
};

}  // namespace

bool CaptionSide(const CTextBlock* p, const CPicBlock* s, CaptionPlace& place) {
  const double reach = Reach(p);
  const bool vIn =
      s->m_dTop - kInsideSlack < p->m_dTop && s->m_dBottom + kInsideSlack > p->m_dBottom;
  const bool hIn =
      s->m_dLeft - kInsideSlack < p->m_dLeft && s->m_dRight + kInsideSlack > p->m_dRight;
  const double hGap = std::max(p->m_dLeft, s->m_dLeft) - std::min(p->m_dRight, s->m_dRight);
  const double vGap = std::max(p->m_dTop, s->m_dTop) - std::min(p->m_dBottom, s->m_dBottom);
  const double hRatio = OverlapRatio(p->m_dLeft, p->m_dRight, s->m_dLeft, s->m_dRight);
  const double vRatio = OverlapRatio(p->m_dTop, p->m_dBottom, s->m_dTop, s->m_dBottom);
  const double pWidth = p->m_dRight - p->m_dLeft;
  const double sWidth = s->m_dRight - s->m_dLeft;

  bool beside = false;
  if (!hIn) {
    if (!vIn || !(pWidth < sWidth) || !(hGap <= reach)) return false;
    const double offset =
        s->m_dLeft > p->m_dLeft ? s->m_dLeft - p->m_dLeft : std::abs(s->m_dRight - p->m_dRight);
    if (!(offset <= sWidth / 2)) return false;
    beside = true;
  } else if (!vIn) {
    const int direction = DirectionOf(p);
    if (!(s->m_dBottom - s->m_dTop > p->m_dBottom - p->m_dTop)) return false;
    if (direction != 1 && direction != 2) return false;
    if (!(vGap <= reach)) return false;
  } else {
    beside = vRatio > hRatio;
  }

  if (beside) {
    const double c = (p->m_dLeft + p->m_dRight) / 2;
    place.dRatio = vRatio;
    if (c < (s->m_dLeft + s->m_dRight) / 2) {
      place.nSide = CAPTION_LEFT;
      place.dDistance = s->m_dLeft - c;
    } else {
      place.nSide = CAPTION_RIGHT;
      place.dDistance = c - s->m_dRight;
    }
  } else {
    const double c = (p->m_dTop + p->m_dBottom) / 2;
    place.dRatio = hRatio;
    if ((s->m_dTop + s->m_dBottom) / 2 > c) {
      place.nSide = CAPTION_ABOVE;
      place.dDistance = s->m_dTop - c;
    } else {
      place.nSide = CAPTION_BELOW;
      place.dDistance = c - s->m_dBottom;
    }
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// Caption operations of CPicBlock

void CPicBlock::ClearCaption(CTextBlockArray* pGiveBack) {
  CTextBlock* caption = m_pCaption;
  const CaptionKind kind = m_nCaptionKind;
  m_pCaption = nullptr;
  m_nCaptionKind = kCaptionBlock;
  if (caption == nullptr) return;
  if (pGiveBack == nullptr) {
    DeleteTextBlockTree(caption);
    return;
  }
  if (kind == kCaptionBlock) {
    pGiveBack->Add(caption);
    return;
  }
  // A container or a combined caption: its members are the blocks that were offered.
  pGiveBack->Append(caption->m_children);
  caption->m_children.RemoveAll();
  delete caption;
}

void CPicBlock::AddCaptionBlock(CTextBlock* p) {
  if (m_pCaption == nullptr || m_nCaptionKind != kCaptionContainer) {
    // A caption of an earlier run is not expected here; it stays a candidate rather than
    // being lost.
    CTextBlock* earlier = m_pCaption;
    m_pCaption = new CTextBlock(m_pPageInfo);
    m_nCaptionKind = kCaptionContainer;
    if (earlier != nullptr) m_pCaption->m_children.Add(earlier);
  }
  m_pCaption->m_children.Add(p);
}

void CPicBlock::ChooseCaption(CTextBlockArray& R) {
  if (m_pCaption == nullptr || m_nCaptionKind != kCaptionContainer) return;
  CTextBlock* container = m_pCaption;
  CTextBlockArray& candidates = container->m_children;
  m_pCaption = nullptr;
  m_nCaptionKind = kCaptionBlock;

  if (candidates.GetSize() == 1) {
    m_pCaption = candidates[0];
  } else if (candidates.GetSize() > 1) {
    // One bucket per side and per vertical compatibility.
    struct Bucket {
      CTextBlockArray members;
      double dDistance = 0;
      double dRatio = 0;
      int nCount = 0;  // members with more than two characters
      double MeanRatio() const { return dRatio / members.GetSize(); }
    };
    std::array<Bucket, 8> buckets;
    for (CTextBlock* p : candidates) {
      CaptionPlace place;
      if (!CaptionSide(p, this, place)) {
        R.Add(p);  // cannot happen for a block that was offered; never lose it
        continue;
      }
      const int b = place.nSide * 2 + (JoinDirection(p, 5) != 0 ? 1 : 0);
      Bucket& bucket = buckets[static_cast<size_t>(b)];
      bucket.members.Add(p);
      bucket.dDistance += place.dDistance;
      bucket.dRatio += place.dRatio;
      if (p->m_strText.size() > 2) ++bucket.nCount;
    }
    size_t chosen = 0;
    for (size_t c = 1; c < buckets.size(); ++c) {
      const Bucket& bc = buckets[c];
      const Bucket& bb = buckets[chosen];
      if (bc.nCount > bb.nCount || (bc.nCount == bb.nCount && bb.members.IsEmpty()) ||
          (bc.nCount == bb.nCount && !bb.members.IsEmpty() && !bc.members.IsEmpty() &&
           bc.MeanRatio() > bb.MeanRatio())) {
        chosen = c;
      }
    }
    for (size_t c = 0; c < buckets.size(); ++c)
      if (c != chosen) R.Append(buckets[c].members);
    const CTextBlockArray& members = buckets[chosen].members;
    m_pCaption = CombineBlocks(members, true);
    if (members.GetSize() > 1) {
      m_nCaptionKind = kCaptionCombined;
      // A combined block of level 2 or more gets no markup from its rebuild; the caption's
      // markup is its members' in order, as for a block of runs.
      if (m_pCaption->m_strHtml.empty())
        for (const CTextBlock* p : m_pCaption->m_children) m_pCaption->m_strHtml += p->m_strHtml;
    }
  }
  // The container goes, its candidates stay (as the caption or in R).
  candidates.RemoveAll();
  delete container;
}

// ---------------------------------------------------------------------------------------------
// The stage

int AttachCaptionsImpl(CTextBlockArray& page, CPicBlockArray& pictures) {
  if (page.IsEmpty() || pictures.IsEmpty()) return 1;

  // Captions of an earlier run (the level raised again) rejoin the page's blocks to be offered
  // anew; deleting them would lose their text.
  for (CPicBlock* s : pictures) s->ClearCaption(&page);

  PictureIndex index(pictures);
  CTextBlockArray kept;
  for (CTextBlock* p : page) {
    if (p == nullptr || !IsOffered(p)) {
      kept.Add(p);
      continue;
    }
    CPicBlock* best = nullptr;
    CaptionPlace bestPlace;
    for (int i : index.Near(p)) {
      CPicBlock* s = pictures[i];
      CaptionPlace place;
      if (!CaptionSide(p, s, place)) continue;
      if (best == nullptr || IsBetter(place, bestPlace)) {
        best = s;
        bestPlace = place;
      }
    }
    if (best != nullptr)
      best->AddCaptionBlock(p);
    else
      kept.Add(p);
  }
  page.Copy(kept);

  CTextBlockArray R;
  for (CPicBlock* s : pictures) s->ChooseCaption(R);
  page.Append(R);
  return 0;
}

void CollectCaptions(CPicBlockArray& pictures, CTextBlockArray& list, uint32_t nFlags) {
  for (CPicBlock* s : pictures) {
    CTextBlock* caption = s->m_pCaption;
    if (caption == nullptr) continue;
    if (caption->GetLevel() != 0 && caption->m_children.IsEmpty()) continue;
    list.Add(caption);
    if ((nFlags & TBM_DETACH) != 0) {
      s->m_pCaption = nullptr;
      s->m_nCaptionKind = CPicBlock::kCaptionBlock;
    }
  }
}
