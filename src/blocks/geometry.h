// Page geometry shared by blocks, articles and the layout analysis.
//
// Page coordinates are the page units of the page-content kit with the origin at the top-left
// corner, x to the right and y downward; a kit ordinate y becomes pageHeight - y. A box is four
// doubles left, top, right, bottom.
#pragma once

#include "blocks/dynarray.h"
#include "velluma/wintypes.h"

// Corner of a region outline, in page units.
struct _DPOINT {
  double x;
  double y;
};

// Vertex of a graphic block's polyline, in page units.
struct St_FloatPoint {
  float x;
  float y;
};

// Polyline vertices in insertion order.
class CFloatPointArray : public CDynArray<St_FloatPoint> {};

// Amounts by which right and bottom are raised before truncation when a double box becomes an
// integer box.
constexpr double kTextRectRaise = 0.999;
constexpr double kPicRectRaise = 0.99;

// A double truncated toward zero to 32 bits. NaN and values outside the 32-bit range give
// INT32_MIN, the x86 conversion's "integer indefinite" result.
LONG TruncToLong(double value);

// A page coordinate truncated to an integer within ±1e9, so that sums, differences and areas of
// such values stay in range; 0 for NaN and infinities.
LONG ClampToLong(double value);

// Integer box of a double box: left and top truncated toward zero, right and bottom raised by
// dRaise (kTextRectRaise or kPicRectRaise) and then truncated toward zero.
RECT MakeIntRect(double dLeft, double dTop, double dRight, double dBottom, double dRaise);

// Overlap of [a1, a2] and [b1, b2] relative to the span of both intervals; negative when they
// are apart. pRatioToShorter, when given, receives the overlap relative to the shorter interval.
// Degenerate intervals are not guarded: the IEEE quotient (NaN or a non-positive infinity) is
// returned, which compares greater than no threshold.
double OverlapRatio(double a1, double a2, double b1, double b2, double* pRatioToShorter = nullptr);

// min(a2, b2) - max(a1, b1): the overlap length, or minus the gap between the intervals.
double OverlapLength(double a1, double a2, double b1, double b2);
