// Helpers for the block model tests.
#pragma once

#include <string>

#include "blocks/textblock.h"
#include "pageinfo/pageinfo.h"
#include "vwin32/strings.h"

// The text of a BSTR, which is freed.
inline std::u16string TakeBstr(BSTR bstr) {
  std::u16string text = vwin32::FromBstr(bstr);
  SysFreeString(bstr);
  return text;
}

// A character record of the kit (y upward).
inline PTK_CharRecord MakeChar(int32_t code, double x, double y, const char16_t* text = nullptr) {
  PTK_CharRecord c{};
  c.nGlyph = code + 1000;
  c.nCode = code;
  c.nNoCode = PTK_HAS_CODE;
  c.pszText = text;
  c.dOriginX = x;
  c.dOriginY = y;
  c.dX0 = x;
  c.dY0 = y - 2;
  c.dX1 = x + 5;
  c.dY1 = y + 8;
  return c;
}

// A text block with a box and text.
inline CTextBlock* MakeBlock(CPageInfo* info, double l, double t, double r, double b,
                             const std::u16string& text = u"") {
  auto* block = new CTextBlock(info);
  block->m_dLeft = l;
  block->m_dTop = t;
  block->m_dRight = r;
  block->m_dBottom = b;
  block->m_strText = text;
  return block;
}
