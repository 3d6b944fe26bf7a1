#include "blocks/geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

LONG TruncToLong(double value) {
  const double t = std::trunc(value);
  // The range test is false for NaN.
  if (t >= -2147483648.0 && t <= 2147483647.0) return static_cast<LONG>(t);
  return INT32_MIN;
}

LONG ClampToLong(double value) {
  if (!std::isfinite(value)) return 0;
  return static_cast<LONG>(std::clamp(value, -1.0e9, 1.0e9));
}

RECT MakeIntRect(double dLeft, double dTop, double dRight, double dBottom, double dRaise) {
  RECT rc;
  rc.left = TruncToLong(dLeft);
  rc.top = TruncToLong(dTop);
  rc.right = TruncToLong(dRight + dRaise);
  rc.bottom = TruncToLong(dBottom + dRaise);
  return rc;
}

double OverlapRatio(double a1, double a2, double b1, double b2, double* pRatioToShorter) {
  const double overlap = std::min(a2, b2) - std::max(a1, b1);
  if (pRatioToShorter) *pRatioToShorter = overlap / std::min(a2 - a1, b2 - b1);
  return overlap / (std::max(a2, b2) - std::min(a1, b1));
}

double OverlapLength(double a1, double a2, double b1, double b2) {
  return std::min(a2, b2) - std::max(a1, b1);
}
