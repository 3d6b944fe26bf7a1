// Compatibility ideographs and Kangxi radicals mapped to unified ideographs.
#include <algorithm>
#include <cstdint>
#include <iterator>

#include "kit_text.h"

namespace pdfkit {
namespace {

struct CompatPair {
  uint16_t from;
  uint32_t to;  // may lie beyond the basic plane
};

constexpr CompatPair kCompat[] = {
#include "kit_compat_table.inc"
};

}  // namespace

int MapCompatIdeograph(int ucs) {
  if (!((ucs >= 0x2F00 && ucs <= 0x2FD5) || (ucs >= 0xF900 && ucs <= 0xFAFF))) return ucs;
  auto it = std::lower_bound(std::begin(kCompat), std::end(kCompat), ucs,
                             [](const CompatPair& p, int v) { return p.from < v; });
  return it != std::end(kCompat) && it->from == ucs ? static_cast<int>(it->to) : ucs;
}

}  // namespace pdfkit
