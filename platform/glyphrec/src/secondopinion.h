// Tesseract as a second opinion on Latin letters, digits and glyphs that shape matching is not
// sure of. Loaded on first need; without Tesseract or its data, shape matching stands alone.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

#include "matcher.h"
#include "shape.h"

namespace glyphrec {

class SecondOpinion {
 public:
  static SecondOpinion& Instance();
  // Allows at most n readings until the next call (each costs milliseconds).
  void SetBudget(size_t n);
  // Reorders or extends cands when Tesseract reads the cell confidently.
  void Improve(const Cell& cell, const Features& f, std::vector<Candidate>& cands,
               size_t maxCandidates);
  ~SecondOpinion();
  // Ends the Tesseract engines (at exit).
  static void Shutdown();

 private:
  SecondOpinion();
  struct Engine;
  std::mutex mutex_;
  std::unique_ptr<Engine> latin_, chinese_;
  bool latinTried_ = false, chineseTried_ = false;
  size_t budget_ = 0;
};

}  // namespace glyphrec
