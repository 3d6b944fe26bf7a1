// CRegn: the outline polygon of one block, handed to clients as IRegn. A region is created
// empty by its block and deleted by it; clients never release or delete it.
#pragma once

#include <cstdint>
#include <vector>

#include "blocks/geometry.h"
#include "velluma/velluma.h"

class CRegn : public IRegn {
 public:
  CRegn() = default;
  CRegn(const CRegn&) = delete;
  CRegn& operator=(const CRegn&) = delete;
  ~CRegn() override = default;

  // IRegn
  HRESULT GetPoints(POINT* pPoints, int* pnCount) override;
  int GetPageIndex() override;

  // Replaces the outline by the four corners of a box, (left, top), (right, top),
  // (right, bottom), (left, bottom), and records the page index.
  void SetBoxOutline(double dLeft, double dTop, double dRight, double dBottom, int nPageIndex);

  std::vector<_DPOINT> m_points;  // outline order
  int32_t m_nPageIndex = 0;       // page index when the outline was built
};
