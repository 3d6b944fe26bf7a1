#include "blocks/regn.h"

HRESULT CRegn::GetPoints(POINT* pPoints, int* pnCount) {
  if (pPoints == nullptr) {
    if (pnCount == nullptr) return E_POINTER;
    *pnCount = static_cast<int>(m_points.size());
    return S_OK;
  }
  for (size_t i = 0; i < m_points.size(); ++i) {
    pPoints[i].x = TruncToLong(m_points[i].x);
    pPoints[i].y = TruncToLong(m_points[i].y);
  }
  return S_OK;
}

int CRegn::GetPageIndex() {
  return m_nPageIndex;
}

void CRegn::SetBoxOutline(double dLeft, double dTop, double dRight, double dBottom,
                          int nPageIndex) {
  m_points.clear();
  m_points.push_back({dLeft, dTop});
  m_points.push_back({dRight, dTop});
  m_points.push_back({dRight, dBottom});
  m_points.push_back({dLeft, dBottom});
  m_nPageIndex = nPageIndex;
}
