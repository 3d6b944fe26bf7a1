#include "matcher.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "refdata.h"

namespace glyphrec {

namespace {
// How many references the coarse pass hands to the fine pass.
constexpr size_t kShortlist = 96;
// Weights of the ink box (squared pixels) against the feature distances: it separates marks
// that share a shape but not a place (。 and o, ， and ,, 一 and -).
constexpr int kCoarseGeomWeight = 150;
constexpr int kFineGeomWeight = 300;
// A flat bar (ink at most a sixth as high as wide: — 一 － - …) has next to no shape but its
// thickness, which follows the typeface's weight, not the character: its ink box counts twice
// in the fine pass (a Hei — no longer reads 一).
constexpr int kFlatRatio = 6;
constexpr int kFlatGeomFactor = 2;
// Length of a fine feature vector (the quantisation scale): a distance of this length is
// score 0.
constexpr double kFineLength = 700.0;
}  // namespace

RefSet::~RefSet() {
  if (map_) munmap(map_, mapSize_);
}

bool RefSet::Open(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = fstat(fd, &st) == 0 && size_t(st.st_size) >= sizeof(RefHeader);
  void* map = ok ? mmap(nullptr, size_t(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0) : MAP_FAILED;
  ::close(fd);
  if (map == MAP_FAILED) return false;
  RefHeader hdr;
  std::memcpy(&hdr, map, sizeof(hdr));
  size_t size = size_t(st.st_size);
  if (std::memcmp(hdr.magic, kRefMagic, sizeof(hdr.magic)) != 0 || hdr.fineDims != kFineDims ||
      hdr.coarseDims != kCoarseDims || hdr.geomDims != kGeomDims || hdr.count > size / kFineDims ||
      RefLayout(hdr.count).total > size) {
    munmap(map, size);
    return false;
  }
  RefLayout layout(hdr.count);
  const uint8_t* base = static_cast<const uint8_t*>(map);
  map_ = map;
  mapSize_ = size;
  count_ = hdr.count;
  chars_ = reinterpret_cast<const uint16_t*>(base + layout.chars);
  classes_ = base + layout.classes;
  penalties_ = base + layout.penalties;
  coarse_ = base + layout.coarse;
  fine_ = base + layout.fine;
  geom_ = base + layout.geom;
  return true;
}

void RefSet::Match(const Features& f, size_t maxCandidates, std::vector<Candidate>& out) const {
  out.clear();
  if (f.empty || count_ == 0) return;
  // The nearest k by coarse distance, kept as a max-heap: once it is full, a reference is
  // looked at further only when it is nearer than the farthest kept.
  const size_t k = std::min(kShortlist, count_);
  std::vector<std::pair<int, uint32_t>> shortlist;
  shortlist.reserve(k);
  for (size_t i = 0; i < count_; ++i) {
    int d = CoarseDistance(f.coarse.data(), coarse_ + i * kCoarseDims);
    if (shortlist.size() == k && d >= shortlist.front().first) continue;
    d += kCoarseGeomWeight * GeomDistance(f.geom.data(), geom_ + i * kGeomDims);
    if (shortlist.size() < k) {
      shortlist.emplace_back(d, uint32_t(i));
      std::push_heap(shortlist.begin(), shortlist.end());
    } else if (d < shortlist.front().first) {
      std::pop_heap(shortlist.begin(), shortlist.end());
      shortlist.back() = {d, uint32_t(i)};
      std::push_heap(shortlist.begin(), shortlist.end());
    }
  }
  const int inkWidth = f.geom[1] - f.geom[0] + 1, inkHeight = f.geom[3] - f.geom[2] + 1;
  const int fineGeomWeight =
      inkHeight * kFlatRatio <= inkWidth ? kFineGeomWeight * kFlatGeomFactor : kFineGeomWeight;
  // Rare characters pay a few percent, so that a close call between look-alikes (。 and ｏ,
  // ， and ,, 口 and ロ) goes to the one newspapers print more often.
  for (auto& [d, i] : shortlist) {
    int64_t raw = FineDistance(f.fine.data(), fine_ + size_t(i) * kFineDims) +
                  fineGeomWeight * GeomDistance(f.geom.data(), geom_ + size_t(i) * kGeomDims);
    d = int(std::min<int64_t>(raw * (100 + penalties_[i]) / 100, INT32_MAX));
  }
  std::sort(shortlist.begin(), shortlist.end());
  for (const auto& [d, i] : shortlist) {
    char16_t ch = char16_t(chars_[i]);
    bool seen = false;
    for (const Candidate& c : out) seen = seen || c.ch == ch;
    if (seen) continue;
    Candidate c;
    c.ch = ch;
    c.distance = d;
    c.fontClass = classes_[i];
    c.score =
        std::clamp(int(std::lround(100.0 * (1.0 - std::sqrt(double(d)) / kFineLength))), 0, 100);
    out.push_back(c);
    if (out.size() >= maxCandidates) break;
  }
}

}  // namespace glyphrec
