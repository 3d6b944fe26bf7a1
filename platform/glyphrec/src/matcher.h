// Shape matching against the reference data: nearest references by coarse features over all
// references, re-ranked by fine features and ink box, one candidate per character.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "shape.h"

namespace glyphrec {

struct Candidate {
  char16_t ch = 0;
  int score = 0;      // 0 to 100, higher is closer
  int fontClass = 0;  // class of the closest reference of this character
  int distance = 0;
};

class RefSet {
 public:
  // Maps the reference file; false (and an empty set) when it is missing or malformed.
  bool Open(const std::string& path);
  ~RefSet();
  size_t size() const { return count_; }

  // Up to maxCandidates candidates for one cell's features, best first.
  void Match(const Features& f, size_t maxCandidates, std::vector<Candidate>& out) const;

 private:
  void* map_ = nullptr;
  size_t mapSize_ = 0;
  size_t count_ = 0;
  const uint16_t* chars_ = nullptr;
  const uint8_t* classes_ = nullptr;
  const uint8_t* penalties_ = nullptr;
  const uint8_t* coarse_ = nullptr;
  const uint8_t* fine_ = nullptr;
  const uint8_t* geom_ = nullptr;
};

}  // namespace glyphrec
