// Rectangle operations with the Windows semantics (as user32 and Wine implement them).
// Arithmetic wraps around as 32-bit two's complement, as on Windows, without undefined
// behaviour.
#include <algorithm>
#include <cstdint>

#include "velluma/wintypes.h"

namespace {

LONG WrapAdd(LONG a, int b) {
  return static_cast<LONG>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
LONG WrapSub(LONG a, int b) {
  return static_cast<LONG>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

}  // namespace

BOOL SetRect(RECT* lprc, int xLeft, int yTop, int xRight, int yBottom) {
  if (!lprc) return FALSE;
  lprc->left = xLeft;
  lprc->top = yTop;
  lprc->right = xRight;
  lprc->bottom = yBottom;
  return TRUE;
}

BOOL SetRectEmpty(RECT* lprc) {
  if (!lprc) return FALSE;
  lprc->left = lprc->top = lprc->right = lprc->bottom = 0;
  return TRUE;
}

BOOL IsRectEmpty(const RECT* lprc) {
  if (!lprc) return TRUE;
  return (lprc->right <= lprc->left || lprc->bottom <= lprc->top) ? TRUE : FALSE;
}

BOOL EqualRect(const RECT* lprc1, const RECT* lprc2) {
  if (!lprc1 || !lprc2) return FALSE;
  return (lprc1->left == lprc2->left && lprc1->top == lprc2->top && lprc1->right == lprc2->right &&
          lprc1->bottom == lprc2->bottom)
             ? TRUE
             : FALSE;
}

BOOL IntersectRect(RECT* lprcDst, const RECT* lprcSrc1, const RECT* lprcSrc2) {
  if (!lprcDst || !lprcSrc1 || !lprcSrc2) return FALSE;
  const RECT a = *lprcSrc1;  // copies: the destination may be one of the sources
  const RECT b = *lprcSrc2;
  if (IsRectEmpty(&a) || IsRectEmpty(&b) || a.left >= b.right || b.left >= a.right ||
      a.top >= b.bottom || b.top >= a.bottom) {
    SetRectEmpty(lprcDst);
    return FALSE;
  }
  lprcDst->left = std::max(a.left, b.left);
  lprcDst->top = std::max(a.top, b.top);
  lprcDst->right = std::min(a.right, b.right);
  lprcDst->bottom = std::min(a.bottom, b.bottom);
  return TRUE;
}

BOOL UnionRect(RECT* lprcDst, const RECT* lprcSrc1, const RECT* lprcSrc2) {
  if (!lprcDst || !lprcSrc1 || !lprcSrc2) return FALSE;
  const RECT a = *lprcSrc1;
  const RECT b = *lprcSrc2;
  const bool emptyA = IsRectEmpty(&a) != FALSE;
  const bool emptyB = IsRectEmpty(&b) != FALSE;
  if (emptyA && emptyB) {
    SetRectEmpty(lprcDst);
    return FALSE;
  }
  if (emptyA) {
    *lprcDst = b;
  } else if (emptyB) {
    *lprcDst = a;
  } else {
    lprcDst->left = std::min(a.left, b.left);
    lprcDst->top = std::min(a.top, b.top);
    lprcDst->right = std::max(a.right, b.right);
    lprcDst->bottom = std::max(a.bottom, b.bottom);
  }
  return TRUE;
}

BOOL PtInRect(const RECT* lprc, POINT pt) {
  if (!lprc) return FALSE;
  return (pt.x >= lprc->left && pt.x < lprc->right && pt.y >= lprc->top && pt.y < lprc->bottom)
             ? TRUE
             : FALSE;
}

BOOL OffsetRect(RECT* lprc, int dx, int dy) {
  if (!lprc) return FALSE;
  lprc->left = WrapAdd(lprc->left, dx);
  lprc->right = WrapAdd(lprc->right, dx);
  lprc->top = WrapAdd(lprc->top, dy);
  lprc->bottom = WrapAdd(lprc->bottom, dy);
  return TRUE;
}

BOOL InflateRect(RECT* lprc, int dx, int dy) {
  if (!lprc) return FALSE;
  lprc->left = WrapSub(lprc->left, dx);
  lprc->right = WrapAdd(lprc->right, dx);
  lprc->top = WrapSub(lprc->top, dy);
  lprc->bottom = WrapAdd(lprc->bottom, dy);
  return TRUE;
}
