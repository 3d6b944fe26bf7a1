// Image and path intake: the kit's image stream of a page becomes picture blocks, its path
// stream graph blocks (polylines). Kit ordinates grow upward; page ordinates are
// page height - y.
#include <algorithm>
#include <cmath>
#include <memory>

#include "engine/pdfinstance.h"
#include "layout/sortutil.h"

namespace {

// Radians to degrees with pi as its single-precision value.
constexpr double kPi = static_cast<double>(3.1415927f);

bool AllFinite(std::initializer_list<double> values) {
  return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}

// Pictures by top, then by left; values less than 0.1 apart count as equal.
int ComparePictures(const CPicBlock* a, const CPicBlock* b) {
  if (std::fabs(a->m_dTop - b->m_dTop) >= 0.1) return a->m_dTop < b->m_dTop ? -1 : 1;
  if (std::fabs(a->m_dLeft - b->m_dLeft) >= 0.1) return a->m_dLeft < b->m_dLeft ? -1 : 1;
  return 0;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Images

HRESULT CPDFInstance::LoadImageContent(int nPage) {
  if (m_pPageInfo == nullptr) return E_FAIL;
  m_picBlocks.DeleteAllPics();
  double bx0 = 0.0, by0 = 0.0, bx1 = 0.0, by1 = 0.0;
  if (!PTK_GetPageRect(m_hDoc, nPage, PTK_BOX_CONTENT, &bx0, &by0, &bx1, &by1)) return E_FAIL;
  auto InPageBox = [&](double x, double y) { return bx0 <= x && x <= bx1 && by0 <= y && y <= by1; };
  const double dPageHeight = m_pPageInfo->m_dPageHeight;

  const CKitImageStream stream(m_hDoc, nPage);
  int32_t nSeq = 0;
  for (const PTK_ImageRecord* r = stream.First(); r != nullptr; r = r->pNext) {
    // Placement box: x0, upper y, x1, lower y. Clipping box: x0, lower y, x1, upper y.
    if (!AllFinite({r->dX0, r->dYTop, r->dX1, r->dYBottom, r->dClipX0, r->dClipYBottom, r->dClipX1,
                    r->dClipYTop})) {
      continue;
    }
    if (r->dYTop < r->dYBottom + 0.5 || r->dX1 < r->dX0 + 0.5) continue;
    const double dWidth = r->dX1 - r->dX0;
    const double dHeight = r->dYTop - r->dYBottom;
    if ((dWidth < 32.0 && dHeight < 32.0) || dWidth < 16.0 || dHeight < 16.0) continue;
    // An image needs both its header and its pixels.
    if (r->pHeader == nullptr || r->pBits == nullptr) continue;

    double dClipLower = r->dClipYBottom;
    const double dClipUpper = r->dClipYTop;
    if (dClipLower < 0.0 && dClipUpper > 0.0) dClipLower = 0.0;
    if (!InPageBox(r->dClipX0, dClipLower) && !InPageBox(r->dClipX1, dClipUpper)) continue;

    auto pic = std::make_unique<CPicBlock>(m_pPageInfo);
    CPicBlock& p = *pic;
    p.m_nSeq = nSeq++;
    p.m_dLeft = r->dClipX0;
    p.m_dTop = dPageHeight - dClipUpper;
    p.m_dRight = r->dClipX1;
    p.m_dBottom = dPageHeight - dClipLower;
    p.m_dImgLeft = r->dX0;
    p.m_dImgTop = dPageHeight - r->dYTop;
    p.m_dImgRight = r->dX1;
    p.m_dImgBottom = dPageHeight - r->dYBottom;
    // The visible box is the clipping box within the placement box.
    p.m_dLeft = std::max(p.m_dLeft, p.m_dImgLeft);
    p.m_dTop = std::max(p.m_dTop, p.m_dImgTop);
    p.m_dRight = std::min(p.m_dRight, p.m_dImgRight);
    p.m_dBottom = std::min(p.m_dBottom, p.m_dImgBottom);

    const PTK_MaskPair* pMask = r->pMask;
    p.CreatePicImage(r->pHeader, r->pBits, pMask != nullptr ? pMask->pHeader : nullptr,
                     pMask != nullptr ? pMask->pBits : nullptr);
    p.m_dScaleX = r->dScaleX;
    p.m_dScaleY = r->dScaleY;
    p.m_dRotation = r->dRotation * 180.0 / kPi;
    if (p.m_pImage != nullptr) {
      // The image as the page shows it: flipped or mirrored as its matrix says, and turned.
      if (p.m_dScaleY < 0.0) p.m_pImage->Flip(false, true);
      if (p.m_dScaleX < 0.0) p.m_pImage->Mirror(false, true);
      if ((p.m_dRotation > 0.0 && p.m_dRotation < 180.0) ||
          (p.m_dRotation > -180.0 && p.m_dRotation < 0.0)) {
        p.m_pImage->Rotate(static_cast<float>(std::fabs(p.m_dRotation)));
      }
    }
    m_picBlocks.Add(pic.get());
    pic.release();
  }
  SafeSort(m_picBlocks, ComparePictures);
  return S_OK;
}

// ---------------------------------------------------------------------------------------------
// Paths

HRESULT CPDFInstance::LoadPathContent(int nPage) {
  if (m_pPageInfo == nullptr) return E_FAIL;
  m_graphBlocks.DeleteAll();
  const double dPageHeight = m_pPageInfo->m_dPageHeight;
  const CKitPathStream stream(m_hDoc, nPage);
  ConvertPaths(stream.First(), dPageHeight, m_graphBlocks);
  m_dwState |= PSW_PATHS;
  return stream.First() != nullptr ? S_OK : E_FAIL;
}

void CPDFInstance::ConvertPaths(const PTK_PathRecord* pFirst, double dPageHeight,
                                CGraphBlockArray& out) {
  for (const PTK_PathRecord* r = pFirst; r != nullptr; r = r->pNext) {
    // A path with both drawing flags clear draws nothing.
    if (r->bStroke == 0 && r->bFill == 0) continue;
    ConvertPath(r->pSegments, r->nSegmentCount, dPageHeight, out);
  }
}

void CPDFInstance::ConvertPath(const PTK_PathSegment* pSegments, int nCount, double dPageHeight,
                               CGraphBlockArray& out) {
  if (pSegments == nullptr || nCount < 1) return;
  std::unique_ptr<CGraphBlock> open;  // the polyline being drawn
  St_FloatPoint current{};
  bool bHasCurrent = false;

  auto Finish = [&] {
    if (open == nullptr) return;
    out.Add(open.get());
    open.release();
  };
  auto LineTo = [&](double x, double y) {
    const St_FloatPoint point{static_cast<float>(x), static_cast<float>(dPageHeight - y)};
    if (!bHasCurrent) {
      // A line before any move starts from nowhere: its end is where the path starts.
      current = point;
      bHasCurrent = true;
      return;
    }
    if (open == nullptr) {
      open = std::make_unique<CGraphBlock>();
      open->m_nKind = 3;
      open->m_points.Add(current);
    }
    open->m_points.Add(point);
    current = point;
  };

  for (int i = 0; i < nCount; ++i) {
    const PTK_PathSegment& s = pSegments[i];
    switch (s.nType) {
      case PTK_SEG_MOVE:
        Finish();
        current = {static_cast<float>(s.dX), static_cast<float>(dPageHeight - s.dY)};
        bHasCurrent = true;
        break;
      case PTK_SEG_LINE:
        LineTo(s.dX, s.dY);
        break;
      case PTK_SEG_CURVE:
        // A curve becomes its chord. Its end point is in this segment when dX3 is 0, else in
        // the next segment, which is then consumed; a curve cut off by the end takes no point.
        if (s.dX3 == 0.0) {
          LineTo(s.dX2, s.dY2);
        } else if (i + 1 < nCount) {
          ++i;
          LineTo(pSegments[i].dX3, pSegments[i].dY3);
        }
        break;
      case PTK_SEG_CLOSE:
        if (open != nullptr) {
          open->m_points.Add(open->m_points[0]);
          Finish();
        }
        break;
      default:
        break;
    }
  }
  Finish();
}
