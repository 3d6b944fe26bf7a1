#include "layout/direction.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "blocks/textblock.h"
#include "layout/orderings.h"
#include "layout/predicates.h"
#include "layout/sortutil.h"

namespace {

// Counts values and answers the most frequent one; on equal counts the value met first.
class CModeTally {
 public:
  void Add(double value) {
    // -0 and +0 are one value; every NaN is one value.
    if (value == 0) value = 0;
    uint64_t key;
    if (std::isnan(value)) {
      key = 0x7FF8000000000000ull;
    } else {
      std::memcpy(&key, &value, sizeof key);
    }
    auto [it, added] = m_index.try_emplace(key, m_values.size());
    if (added) {
      m_values.push_back({value, 1});
    } else {
      ++m_values[it->second].count;
    }
  }

  // 0 when nothing was counted.
  double Mode() const {
    double best = 0;
    int bestCount = 0;
    for (const auto& entry : m_values) {
      if (entry.count > bestCount) {
        best = entry.value;
        bestCount = entry.count;
      }
    }
    return best;
  }

 private:
  struct Entry {
    double value;
    int count;
  };
  std::vector<Entry> m_values;  // in the order first met
  std::unordered_map<uint64_t, size_t> m_index;
};

int RunDirection(const CTextBlock* run) {
  if (run->m_nCharCount < 2 || run->m_pChars == nullptr) return 0;
  const PTK_CharRecord& c0 = run->m_pChars[0];
  const PTK_CharRecord& c1 = run->m_pChars[1];
  const double dx = c1.dOriginX - c0.dOriginX;
  const double dy = std::fabs(c1.dOriginY - c0.dOriginY);
  if (std::fabs(dx) > dy) return dx > 0 ? 1 : 2;
  if (dy < 0.001) return 0;
  return 5;
}

int GroupDirection(const CTextBlock* group) {
  const CTextBlock* first = nullptr;
  for (const CTextBlock* child : group->m_children) {
    const int d = DirectionOf(child);
    if (d == 0) continue;
    if (first == nullptr) {
      first = child;
    } else if (JoinDirection(first, d) == 0) {
      return 0;
    }
  }
  return first != nullptr ? DirectionOf(first) : 0;
}

int BlockDirection(CTextBlock* block, double* pModeDx, double* pModeDy) {
  CTextBlockArray& children = block->m_children;
  SortBlocks(children, 0);
  int m = 0;
  for (const CTextBlock* child : children) {
    m = DirectionOf(child);
    if (m != 0) break;
  }
  const int n = children.GetSize();
  // A block of one child has no steps to read: it keeps that child's direction.
  if (n < 2) return m;

  CModeTally tallyDx, tallyDy;
  int sign = 0;
  for (int i = 1; i < n; ++i) {
    const CTextBlock* prev = children[i - 1];
    const CTextBlock* cur = children[i];
    const double dx = cur->m_dLeft - prev->m_dLeft;
    const double dy = cur->m_dBottom - prev->m_dBottom;
    tallyDx.Add(std::round(dx));
    tallyDy.Add(std::round(dy));
    sign += dx > 0 ? 1 : -1;
  }
  const double modeDx = tallyDx.Mode();
  const double modeDy = tallyDy.Mode();
  if (pModeDx) *pModeDx = modeDx;
  if (pModeDy) *pModeDy = modeDy;

  const double u = 0.06 * block->m_dFontSize;
  int w;
  if (std::fabs(modeDy) < u) {
    w = sign < 1 ? 2 : 1;
  } else if (std::fabs(modeDx) < u) {
    w = VerticalKind(block, false);
  } else if (std::fabs(modeDy) < std::fabs(modeDx)) {
    w = sign < 1 ? 7 : 6;
  } else {
    w = VerticalKind(block, true);
  }

  // The children's own direction overrides a horizontal or vertical guess that it contradicts.
  if (w >= 2 && w <= 5 && m != 0 && m != w && m != 5 && !(w == 5 && (m == 3 || m == 4))) {
    return m;
  }
  return w;
}

}  // namespace

int DetermineDirection(CTextBlock* block, double* pModeDx, double* pModeDy) {
  if (pModeDx) *pModeDx = 0;
  if (pModeDy) *pModeDy = 0;
  int direction;
  const int level = block->GetLevel();
  if (level == 0) {
    direction = RunDirection(block);
  } else if (level >= 2) {
    direction = GroupDirection(block);
  } else {
    direction = BlockDirection(block, pModeDx, pModeDy);
  }
  block->SetDirection(direction);
  return direction;
}

int VerticalKind(const CTextBlock* block, bool slanted) {
  const int s = slanted ? 5 : 0;
  const double f = block->m_dFontSize;

  std::vector<const CTextBlock*> kids(block->m_children.begin(), block->m_children.end());
  SafeSort(kids, [](const CTextBlock* a, const CTextBlock* b) {
    return (a->m_nFirstSeq > b->m_nFirstSeq) - (a->m_nFirstSeq < b->m_nFirstSeq);
  });
  const size_t n = kids.size();
  if (n == 0) return 0;
  if (n == 1) return 5 + s;

  // The running sum of stream positions is truncated after each addition and runs on across
  // columns; a column's mean divides it by the children of that column.
  double sum = 0;
  int64_t count = 1;  // children walked since the current column began
  int column = 1;
  int64_t mean1 = 0;
  double left1 = kids[0]->m_dLeft;
  double columnLeft = kids[0]->m_dLeft;
  const auto mean = [&] { return static_cast<int64_t>(sum) / count; };
  const auto verdict = [&] { return (mean() > mean1 && columnLeft > left1) ? 3 + s : 5 + s; };

  for (size_t i = 1; i < n; ++i) {
    const CTextBlock* prev = kids[i - 1];
    const CTextBlock* cur = kids[i];
    const bool last = i + 1 == n;
    if (std::fabs(cur->m_dLeft - prev->m_dLeft) < f) {
      const double mid =
          (static_cast<double>(prev->m_nFirstSeq) + static_cast<double>(prev->m_nLastSeq)) * 0.5;
      sum = std::trunc(sum + mid);
      ++count;
      if (last) return column == 1 ? 5 + s : verdict();
      continue;
    }
    // cur starts a new column.
    if (column == 2) return verdict();
    mean1 = mean();
    left1 = columnLeft;
    column = 2;
    count = 1;
    columnLeft = cur->m_dLeft;
    if (last) return 0;
  }
  return 0;
}
