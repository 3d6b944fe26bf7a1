#include "layout/formation.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

#include "blocks/geometry.h"
#include "blocks/textblock.h"
#include "layout/orderings.h"
#include "layout/predicates.h"
#include "layout/rebuild.h"
#include "layout/sortutil.h"
#include "pageinfo/pageinfo.h"

namespace {

double MeanSize(const CTextBlock* a, const CTextBlock* b) {
  return (a->m_dFontSize + b->m_dFontSize) / 2;
}

double HorizontalGap(const CTextBlock* a, const CTextBlock* b) {
  return std::max(a->m_dLeft, b->m_dLeft) - std::min(a->m_dRight, b->m_dRight);
}

double VerticalGap(const CTextBlock* a, const CTextBlock* b) {
  return std::max(a->m_dTop, b->m_dTop) - std::min(a->m_dBottom, b->m_dBottom);
}

double SizeDifference(const CTextBlock* a, const CTextBlock* b) {
  return std::fabs(a->m_dFontSize - b->m_dFontSize);
}

int64_t Seq(int32_t value) {
  return static_cast<int64_t>(value);
}

std::vector<CTextBlock*> ItemsOf(const CTextBlockArray& list) {
  return std::vector<CTextBlock*>(list.begin(), list.end());
}

void Assign(CTextBlockArray& list, const std::vector<CTextBlock*>& items) {
  list.RemoveAll();
  for (CTextBlock* item : items) list.Add(item);
}

// The page's runs sorted by top, with those already clustered marked as gone. The prefix
// maximum of the tops lets a scan start at the first run whose top reaches a given value with
// a binary search; the tolerant top order need not be monotone, the prefix maximum is.
class RunPool {
 public:
  explicit RunPool(std::vector<CTextBlock*> items)
      : m_items(std::move(items)), m_alive(m_items.size(), true), m_maxTop(m_items.size()) {
    double top = -HUGE_VAL;
    for (size_t i = 0; i < m_items.size(); ++i) {
      if (m_items[i]->m_dTop > top) top = m_items[i]->m_dTop;
      m_maxTop[i] = top;
    }
  }

  size_t Size() const { return m_items.size(); }
  bool Alive(size_t i) const { return m_alive[i]; }
  CTextBlock* Take(size_t i) {
    m_alive[i] = false;
    return m_items[i];
  }

  // Moves into group every run of the pool that joins the seed; whether it moved any.
  bool CollectNeighbours(const CTextBlock* seed, std::vector<CTextBlock*>& group) {
    if (seed->GetLevel() != 0) return false;
    const double d = seed->m_dFontSize;
    const double e = seed->m_dTop - 2 * d;
    const double limit = seed->m_dBottom + 2 * d;
    const double left = seed->m_dLeft - 3 * d;
    const double right = seed->m_dRight + 3 * d;
    // No run before the first index whose prefix maximum reaches e has a top of at least e.
    const size_t start = static_cast<size_t>(std::lower_bound(m_maxTop.begin(), m_maxTop.end(), e) -
                                             m_maxTop.begin());
    bool found = false;
    for (size_t i = start; i < m_items.size(); ++i) {
      if (!m_alive[i]) continue;
      CTextBlock* p = m_items[i];
      if (p->GetLevel() != 0 || !(p->m_dTop >= e)) continue;
      if (!(p->m_dRight >= left && p->m_dLeft <= right)) continue;
      if (p->m_dTop > limit) break;
      if (IsRunJoinable(seed, p)) {
        m_alive[i] = false;
        group.push_back(p);
        found = true;
      }
    }
    return found;
  }

 private:
  std::vector<CTextBlock*> m_items;
  std::vector<bool> m_alive;
  std::vector<double> m_maxTop;
};

// Whether r stands inside q in the stream: between q's first and last runs, or as a one-run
// block directly before or after q.
bool IsStrayOf(const CTextBlock* q, const CTextBlock* r) {
  if (q->m_nFirstSeq < r->m_nFirstSeq && r->m_nLastSeq < q->m_nLastSeq) return true;
  if (r->m_nFirstSeq != r->m_nLastSeq) return false;
  return Seq(q->m_nFirstSeq) == Seq(r->m_nFirstSeq) + 1 ||
         Seq(r->m_nLastSeq) == Seq(q->m_nLastSeq) + 1;
}

bool IsFragment(const CTextBlock* q) {
  return q->GetLevel() <= 1 && q->m_strText.size() <= 2 && q->m_nLineCount <= 1 &&
         JoinDirection(q, 1) != 0;
}

// p, q and r on one line with q directly between them in the stream and close to both.
bool IsBridgingFragment(const CTextBlock* p, const CTextBlock* q, const CTextBlock* r) {
  if (p->m_nLineCount != 1 || r->m_nLineCount != 1) return false;
  if (p->GetLevel() > 1 || r->GetLevel() > 1) return false;
  if (StreamOrderOf(p, q) != -1 || StreamOrderOf(r, q) != 1) return false;
  double pShort = 0;
  double rShort = 0;
  OverlapRatio(p->m_dTop, p->m_dBottom, q->m_dTop, q->m_dBottom, &pShort);
  OverlapRatio(r->m_dTop, r->m_dBottom, q->m_dTop, q->m_dBottom, &rShort);
  if (!(pShort >= 0.9 && rShort >= 0.9)) return false;
  const double near = 0.5 * q->m_dFontSize;
  return HorizontalGap(p, q) <= near && HorizontalGap(r, q) <= near;
}

void CollectLeaves(const CTextBlock* block, std::vector<const CTextBlock*>& leaves) {
  if (block->m_children.IsEmpty()) {
    leaves.push_back(block);
    return;
  }
  for (const CTextBlock* child : block->m_children) CollectLeaves(child, leaves);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Combination

CTextBlock* CombineBlocks(const CTextBlockArray& group, bool rebuild) {
  if (group.IsEmpty()) return nullptr;
  CTextBlock* first = group[0];
  if (group.GetSize() == 1) return first;

  auto* block = new CTextBlock(first->m_pPageInfo);
  block->CopyAttributes(first);
  block->SetType(TBT_NONE);
  int level = 0;
  for (int i = 0; i < group.GetSize(); ++i) {
    CTextBlock* member = group[i];
    if (i > 0) block->UnionWith(member);
    block->m_children.Add(member);
    level = std::max(level, member->GetLevel());
  }
  block->m_dFontSize = MeanFontSize(block->m_children, false);
  block->SetLevel(level + 1);
  if (rebuild) Rebuild(block);
  return block;
}

CTextBlock* MergeBlocks(CTextBlock* a, CTextBlock* b, CTextBlock* c, bool rebuild) {
  CTextBlockArray group;
  for (CTextBlock* part : {a, b, c}) {
    if (part == nullptr) continue;
    if (part->m_children.IsEmpty()) {
      group.Add(part);
    } else {
      group.Append(part->m_children);
      part->m_children.RemoveAll();
      delete part;
    }
  }
  return CombineBlocks(group, rebuild);
}

uint32_t ClassifyBlock(CTextBlock* block) {
  const uint32_t type = block->GetType();
  if (type != TBT_NONE) return type;
  const int level = block->GetLevel();
  if (level == 0 && block->m_strText.size() == 1) return TBT_NONE;
  if (level == 1 && IsSpacedText(block)) {
    block->SetType(TBT_SPACED);
    return TBT_SPACED;
  }
  const double body = block->m_pPageInfo != nullptr ? block->m_pPageInfo->m_dBodyFontSize : 0;
  const double size = block->m_dFontSize;
  const bool title = size >= 2 * body || (size >= 1.2 * body && block->m_nLineCount <= 2 &&
                                          block->m_strText.size() < 30);
  block->SetType(title ? TBT_TITLE : TBT_BODY);
  return block->GetType();
}

// ---------------------------------------------------------------------------------------------
// Predicates

bool IsRunJoinable(const CTextBlock* a, const CTextBlock* b) {
  const double D = MeanSize(a, b);
  const double diff = SizeDifference(a, b);
  if (diff > 0.04 * D && diff > 0.65) {
    // Different sizes join only next to each other in the stream and on (nearly) one baseline.
    const bool adjacent = std::llabs(Seq(a->m_nFirstSeq) - Seq(b->m_nFirstSeq)) == 1;
    if (!adjacent) return false;
    const double dBase = std::fabs(a->m_dBaselineY - b->m_dBaselineY);
    const double dStart = std::fabs(a->m_dBaselineX - b->m_dBaselineX);
    if (dBase >= 0.4 && !(dBase < D && dStart < 0.1)) return false;
  }
  return IsNeighbourRun(a, b, false);
}

bool IsTouching(const CTextBlock* a, const CTextBlock* b) {
  const double D = MeanSize(a, b);
  if (HorizontalGap(a, b) > 3 * D || VerticalGap(a, b) > 2 * D) return false;
  if (!a->m_children.IsEmpty()) {
    for (const CTextBlock* child : a->m_children) {
      if (IsTouching(b, child)) return true;
    }
    return false;
  }
  if (!b->m_children.IsEmpty()) {
    for (const CTextBlock* child : b->m_children) {
      if (IsTouching(a, child)) return true;
    }
    return false;
  }
  return IsNeighbourRun(a, b, true);
}

bool IsLineContinuation(const CTextBlock* a, const CTextBlock* b) {
  if (SizeDifference(a, b) > 3) return false;
  if (a->m_nLineCount >= 3 && b->m_nLineCount > 2) return false;
  double vShort = 0;
  OverlapRatio(a->m_dTop, a->m_dBottom, b->m_dTop, b->m_dBottom, &vShort);
  if (vShort < 0.85) return false;
  const CTextBlock* more = a->m_nLineCount > b->m_nLineCount ? a : b;
  if (more->m_nLineCount > 2 &&
      OverlapRatio(a->m_dLeft, a->m_dRight, b->m_dLeft, b->m_dRight) < 0) {
    return false;
  }
  if (HorizontalGap(a, b) > 2 * (a->m_dFontSize + b->m_dFontSize)) return false;
  if (a->m_children.IsEmpty()) return IsTouching(b, a);
  for (const CTextBlock* child : a->m_children) {
    if (IsTouching(b, child)) return true;
  }
  return false;
}

bool IsStreamContinuation(const CTextBlock* a, const CTextBlock* b) {
  const double diff = SizeDifference(a, b);
  if (diff > 3) return false;
  double vShort = 0;
  const double vRatio = OverlapRatio(a->m_dTop, a->m_dBottom, b->m_dTop, b->m_dBottom, &vShort);
  if (!(vShort > 0.82 || vRatio > 0.4)) {
    if (!(OverlapLength(a->m_dTop, a->m_dBottom, b->m_dTop, b->m_dBottom) > 0.6 * MeanSize(a, b))) {
      return false;
    }
  }
  const int n = CountStreamSteps(a, b, 3);
  if (n > 2) return true;
  if (n < 1 || diff > 2.3) return false;
  if (n > 1) return true;
  const double hRatio = OverlapRatio(a->m_dLeft, a->m_dRight, b->m_dLeft, b->m_dRight);
  return hRatio > 0 && (a->m_nLineCount == 1 || b->m_nLineCount == 1) &&
         JoinDirection(b, DirectionOf(a)) != 0;
}

int CountStreamSteps(const CTextBlock* a, const CTextBlock* b, int cap) {
  const CTextBlock* const* lists[2];
  size_t sizes[2];
  const CTextBlock* const* selfs[2] = {&a, &b};
  for (int k = 0; k < 2; ++k) {
    const CTextBlock* block = k == 0 ? a : b;
    if (block->m_children.IsEmpty()) {
      lists[k] = selfs[k];
      sizes[k] = 1;
    } else {
      lists[k] = block->m_children.GetData();
      sizes[k] = static_cast<size_t>(block->m_children.GetSize());
    }
  }
  size_t pos[2] = {0, 0};
  int cur = lists[1][0]->m_nFirstSeq < lists[0][0]->m_nFirstSeq ? 1 : 0;
  int count = 0;
  while (pos[cur] < sizes[cur] && count < cap) {
    const int other = 1 - cur;
    const int64_t x = Seq(lists[cur][pos[cur]]->m_nFirstSeq);
    const int64_t y = Seq(lists[other][pos[other]]->m_nFirstSeq);
    if (x < y) {
      if (y - x == 1) ++count;
      ++pos[cur];
    } else {
      if (x - y == 1) ++count;
      ++pos[other];
      cur = other;
    }
  }
  return count;
}

bool IsEnclosedFragment(const CTextBlock* a, const CTextBlock* q) {
  if (a->m_nLineCount <= 1) return false;
  if (CountStreamSteps(a, q, 3) != 2) return false;
  double hShort = 0;
  OverlapRatio(a->m_dLeft, a->m_dRight, q->m_dLeft, q->m_dRight, &hShort);
  return hShort >= 0.9 && VerticalGap(a, q) >= 0.5 * a->m_dFontSize;
}

// ---------------------------------------------------------------------------------------------
// The steps of the stage

void ClusterRuns(CTextBlockArray& list) {
  SortBlocks(list, 1);
  RunPool pool(ItemsOf(list));
  std::vector<CTextBlock*> result;
  result.reserve(pool.Size());
  for (size_t k = 0; k < pool.Size(); ++k) {
    if (!pool.Alive(k)) continue;
    CTextBlock* seed = pool.Take(k);
    std::vector<CTextBlock*> group;
    if (!pool.CollectNeighbours(seed, group)) {
      result.push_back(seed);
      continue;
    }
    // The group grows while it is walked: every member collects its own neighbours.
    for (size_t i = 0; i < group.size(); ++i) {
      CTextBlock* member = group[i];
      pool.CollectNeighbours(member, group);
    }
    CTextBlockArray members;
    members.Add(seed);
    for (CTextBlock* member : group) members.Add(member);
    result.push_back(CombineBlocks(members, true));
  }
  Assign(list, result);
}

void AbsorbStrayChars(CTextBlockArray& list) {
  std::vector<CTextBlock*> items = ItemsOf(list);
  const size_t n = items.size();
  std::vector<bool> alive(n, true);

  // Candidate characters indexed by the top of their integer box: a character inside a
  // block's integer box has its top between the block's top and bottom.
  std::vector<std::pair<LONG, size_t>> chars;
  for (size_t k = 0; k < n; ++k) {
    const CTextBlock* r = items[k];
    if (r->GetLevel() == 0 && r->m_strText.size() <= 1) chars.emplace_back(r->GetIntRect().top, k);
  }
  SafeSort(chars, [](const std::pair<LONG, size_t>& a, const std::pair<LONG, size_t>& b) {
    if (a.first != b.first) return a.first < b.first ? -1 : 1;
    return a.second < b.second ? -1 : (a.second > b.second ? 1 : 0);
  });

  std::vector<CTextBlock*> made;
  for (size_t qi = n; qi-- > 0;) {
    CTextBlock* q = items[qi];
    // A level-1 block without children has nothing to regroup the characters with.
    if (!alive[qi] || q->GetLevel() != 1 || q->m_children.IsEmpty()) continue;
    const RECT box = q->GetIntRect();
    std::vector<size_t> taken;
    auto it =
        std::lower_bound(chars.begin(), chars.end(), box.top,
                         [](const std::pair<LONG, size_t>& c, LONG top) { return c.first < top; });
    for (; it != chars.end() && it->first <= box.bottom; ++it) {
      const size_t k = it->second;
      if (!alive[k]) continue;
      const CTextBlock* r = items[k];
      if (r->IsInRect(box, true) && IsStrayOf(q, r)) taken.push_back(k);
    }
    if (taken.empty()) continue;
    // Taken in the order of a walk from the end of the list.
    SafeSort(taken, [](size_t a, size_t b) { return a > b ? -1 : (a < b ? 1 : 0); });
    CTextBlockArray group;
    for (size_t k : taken) {
      alive[k] = false;
      group.Add(items[k]);
    }
    group.Append(q->m_children);
    q->m_children.RemoveAll();
    alive[qi] = false;
    delete q;
    made.push_back(CombineBlocks(group, true));
  }

  std::vector<CTextBlock*> result;
  result.reserve(n);
  for (size_t k = 0; k < n; ++k) {
    if (alive[k]) result.push_back(items[k]);
  }
  result.insert(result.end(), made.begin(), made.end());
  Assign(list, result);
}

void JoinSideBySide(CTextBlockArray& list) {
  SortBlocks(list, 1);
  for (CTextBlock* block : list) {
    if (!block->m_children.IsEmpty()) SortBlocks(block->m_children, 0);
  }
  bool joined = true;
  while (joined) {
    joined = false;
    std::vector<CTextBlock*> items = ItemsOf(list);
    std::vector<bool> alive(items.size(), true);
    std::vector<CTextBlock*> output;
    output.reserve(items.size());
    for (size_t k = 0; k < items.size(); ++k) {
      if (!alive[k]) continue;
      alive[k] = false;
      CTextBlock* p = items[k];
      const int direction = DirectionOf(p);
      if (direction < 6 || direction > 10) {
        for (size_t j = k + 1; j < items.size(); ++j) {
          if (!alive[j]) continue;
          CTextBlock* s = items[j];
          if (s->m_dTop > p->m_dBottom) break;
          // Both joins need sizes within 3 of each other; the cheap test spares the others.
          if (SizeDifference(p, s) > 3) continue;
          if (IsLineContinuation(p, s) || IsStreamContinuation(p, s)) {
            p = MergeBlocks(p, s, nullptr, false);
            SortBlocks(p->m_children, 0);
            alive[j] = false;
            joined = true;
          }
        }
      }
      output.push_back(p);
    }
    Assign(list, output);
  }
  for (CTextBlock* block : list) Rebuild(block);
}

void JoinFragments(CTextBlockArray& list) {
  if (list.GetSize() < 2) return;
  SortBlocks(list, 0);
  std::vector<CTextBlock*> v = ItemsOf(list);
  // p is always v[i - 1]: a join leaves the joined block just before the next element.
  size_t i = 1;
  while (i + 1 < v.size()) {
    CTextBlock* p = v[i - 1];
    CTextBlock* q = v[i];
    CTextBlock* r = v[i + 1];
    if (!IsFragment(q)) {
      ++i;
      continue;
    }
    if (IsEnclosedFragment(p, q)) {
      v[i - 1] = MergeBlocks(p, q, nullptr, true);
      v.erase(v.begin() + static_cast<std::ptrdiff_t>(i));
    } else if (IsEnclosedFragment(r, q)) {
      v[i] = MergeBlocks(r, q, nullptr, true);
      v.erase(v.begin() + static_cast<std::ptrdiff_t>(i) + 1);
      ++i;
    } else if (IsBridgingFragment(p, q, r)) {
      v[i - 1] = MergeBlocks(p, q, r, true);
      v.erase(v.begin() + static_cast<std::ptrdiff_t>(i),
              v.begin() + static_cast<std::ptrdiff_t>(i) + 2);
    } else {
      ++i;
    }
  }
  Assign(list, v);
}

void SetOrderKey(CTextBlock* block) {
  std::vector<const CTextBlock*> leaves;
  CollectLeaves(block, leaves);
  int64_t sum = 0;
  for (const CTextBlock* leaf : leaves) sum += leaf->m_nFirstSeq;
  block->m_nOrderKey = static_cast<int32_t>(sum / static_cast<int64_t>(leaves.size()));
}

void SetBlockFont(CTextBlock* block) {
  if (block->m_children.IsEmpty()) return;
  std::vector<const CTextBlock*> leaves;
  CollectLeaves(block, leaves);
  // Text length per font, fonts in the order first met.
  std::vector<std::pair<int32_t, size_t>> tally;
  for (const CTextBlock* leaf : leaves) {
    auto it = std::find_if(tally.begin(), tally.end(), [&](const std::pair<int32_t, size_t>& t) {
      return t.first == leaf->m_nFontIndex;
    });
    if (it == tally.end()) {
      tally.emplace_back(leaf->m_nFontIndex, leaf->m_strText.size());
    } else {
      it->second += leaf->m_strText.size();
    }
  }
  size_t best = 0;
  for (const auto& [font, length] : tally) {
    if (length > best) {
      best = length;
      block->m_nFontIndex = font;
    }
  }
}

int FormTextBlocksImpl(CTextBlockArray& list) {
  if (list.IsEmpty()) return 0;
  ClusterRuns(list);
  AbsorbStrayChars(list);
  for (CTextBlock* block : list) ClassifyBlock(block);
  JoinSideBySide(list);
  JoinFragments(list);
  for (CTextBlock* block : list) {
    SetOrderKey(block);
    SetBlockFont(block);
  }
  for (CTextBlock* block : list) ClassifyBlock(block);
  for (CTextBlock* block : list) block->BuildBlockHtml();
  return 1;
}
