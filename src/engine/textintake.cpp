// Text intake: one level-0 text block per text run of the kit's text stream, with degenerate
// boxes repaired, custom-encoded runs decoded where the font settings list their family,
// characters of listed symbol fonts substituted, font sizes calibrated per font, and the page
// information object's name tables and body font size filled.
#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/pdfinstance.h"
#include "layout/direction.h"
#include "layout/orderings.h"
#include "layout/predicates.h"
#include "layout/runclean.h"
#include "vwin32/codepage.h"
#include "vwin32/format.h"
#include "vwin32/strings.h"

namespace {

// The clean-up's repairs of a run box (y downward): a box that does not reach below the
// baseline reaches a third of the font size above it and down to the baseline; every box is at
// least 2 high and 1 wide.
void RepairFlatBox(double& left, double& top, double& right, double& bottom, double baselineY,
                   double fontSize) {
  if (top - 0.01 < baselineY) {
    top = std::min(top, baselineY - fontSize / 3.0);
    bottom = std::max(bottom, baselineY);
  }
  if (bottom - top < 2.0) top = bottom - 2.0;
  if (right - left < 1.0) right = left + 1.0;
}

// Radians to degrees with pi as its single-precision value.
constexpr double kPi = static_cast<double>(3.1415927f);

// The page rendering that text intake asks for is drawn at this scale (see LoadTextContent).
constexpr double kMinimalRenderScale = 1e-6;

// Character substitution table: from code, to code (two-byte codes of the ANSI code page, lead
// byte high) and count.
struct St_CharMapRow {
  uint16_t wFrom;
  uint16_t wTo;
  uint16_t wCount;
};
constexpr St_CharMapRow kCharMapRows[] = {
    {0xD189, 0xA2A0, 1},  {0xD1A1, 0xA1A0, 1},  {0xD1A8, 0xA39F, 1},  {0xD1A9, 0xA3A0, 1},
    {0xD1AC, 0xA29F, 1},  {0xD1BA, 0xA69F, 1},  {0xD1BB, 0xA6A0, 1},  {0xD1BF, 0xA19F, 1},
    {0xD1DB, 0xA49F, 1},  {0xD1DD, 0xA4A0, 1},  {0xD1FB, 0xA59F, 1},  {0xD1FD, 0xA5A0, 1},
    {0xD250, 0xA88D, 1},  {0xD251, 0xA88E, 1},  {0xD252, 0xA890, 1},  {0xD253, 0xA88F, 1},
    {0xD2A1, 0xA1A1, 94}, {0xD342, 0xA261, 30}, {0xD360, 0xA280, 31}, {0xD3D9, 0xA2D9, 38},
    {0xD4A1, 0xA3A1, 94}, {0xD740, 0xA65F, 25}, {0xD7D9, 0xA3AC, 1},  {0xD7DC, 0xA3BA, 1},
    {0xD7F2, 0xA1AA, 1},  {0xD9A1, 0xA8A1, 32}, {0xDAF2, 0xA1FC, 1},  {0xDAF3, 0xA1FD, 1},
    {0xDAF4, 0xA1FA, 1},  {0xDAF5, 0xA1FB, 1},  {0xDBB0, 0xAAB0, 16}, {0xDBE5, 0xA849, 1},
    {0xDBE6, 0xA84C, 1},  {0xDBE7, 0xA84B, 1},  {0xDBE8, 0xA84A, 1},  {0xDBF5, 0xA848, 1},
    {0xDCFB, 0xA1F4, 1},  {0xDDA1, 0xA1F8, 1},  {0xDDA3, 0xA1F8, 1},  {0xDDF0, 0xACF0, 1},
    {0xDEB6, 0xADB6, 4},  {0xF2D0, 0xA14E, 1},  {0xF391, 0xA2D9, 9},  {0xF3E2, 0xA1D1, 1},
    {0xF486, 0xA640, 31},
};
static_assert(sizeof(kCharMapRows) / sizeof(kCharMapRows[0]) == 45);

// Fonts whose text goes through the character substitution map.
constexpr const char16_t* kSubstitutionFonts[] = {
    u"E-B3",  u"E-B4",  u"E-B6",   u"E-B8",  u"E-BX",   u"E-BZ",  u"E-F6",   u"E-F7",
    u"E-FZ",  u"E-H3",  u"E-X1",   u"EU-B3", u"EU-B4",  u"EU-B6", u"EU-B7X", u"EU-BX",
    u"EU-BZ", u"EU-F6", u"EU-F6X", u"EU-F7", u"EU-F9",  u"EU-FZ", u"EU-H4",  u"EU-H5X",
    u"EU-H6", u"EU-H7", u"EU-HZ",  u"EU-X1", u"EU-XFZ", u"EU-XT",
};

// The index of name in a page-info name table, appending it when it is new to the page.
int32_t TableIndex(std::unordered_map<std::u16string, int32_t>& indices,
                   std::vector<std::u16string>& table, const char16_t* pszName) {
  const std::u16string name(vwin32::View(pszName));
  const auto it = indices.find(name);
  if (it != indices.end()) return it->second;
  const auto nIndex = static_cast<int32_t>(table.size());
  table.push_back(name);
  indices.emplace(name, nIndex);
  return nIndex;
}

// A text read as a hexadecimal number in the manner of wcstol with base 16: leading white
// space, an optional sign and "0x" prefix, then hexadecimal digits; 0 when there are none.
long ReadHex(std::u16string_view text) {
  size_t i = 0;
  while (i < text.size() && vwin32::IsSpace(text[i])) ++i;
  bool bNegative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) bNegative = text[i++] == u'-';
  if (i + 1 < text.size() && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
    i += 2;
  }
  long value = 0;
  for (; i < text.size(); ++i) {
    const char16_t c = text[i];
    int digit;
    if (c >= u'0' && c <= u'9') {
      digit = c - u'0';
    } else if (c >= u'a' && c <= u'f') {
      digit = c - u'a' + 10;
    } else if (c >= u'A' && c <= u'F') {
      digit = c - u'A' + 10;
    } else {
      break;
    }
    value = value > (LONG_MAX - digit) / 16 ? LONG_MAX : value * 16 + digit;
  }
  return bNegative ? -value : value;
}

// The first byte of a character's code in the ANSI code page; a one-byte code counts as 0x00
// below 0x80 and as 0xFF from 0x80 on.
unsigned AnsiLeadByte(char16_t ch) {
  const std::string bytes = vwin32::UnicodeToAnsi(std::u16string_view(&ch, 1));
  if (bytes.size() >= 2) return static_cast<unsigned char>(bytes[0]);
  if (bytes.size() == 1) return static_cast<unsigned char>(bytes[0]) < 0x80 ? 0x00 : 0xFF;
  return 0x00;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Character substitution map and substitution fonts

void CPDFInstance::BuildCharMap() {
  for (const St_CharMapRow& row : kCharMapRows) {
    for (uint16_t i = 0; i < row.wCount; ++i) {
      const auto wFrom = static_cast<uint16_t>(row.wFrom + i);
      const auto wTo = static_cast<uint16_t>(row.wTo + i);
      const char bytes[4] = {static_cast<char>(wFrom >> 8), static_cast<char>(wFrom & 0xFF),
                             static_cast<char>(wTo >> 8), static_cast<char>(wTo & 0xFF)};
      const std::u16string units = vwin32::AnsiToUnicode(std::string_view(bytes, 4));
      // Every code of the table is one character of the code page: two units.
      if (units.size() == 2) m_charMap[units[0]] = units[1];
    }
  }
}

bool CPDFInstance::IsSubstitutionFont(std::u16string_view fontName) {
  for (const char16_t* pszFont : kSubstitutionFonts) {
    if (vwin32::EqualsNoCase(fontName, pszFont)) return true;
  }
  return false;
}

// ---------------------------------------------------------------------------------------------
// Text intake

HRESULT CPDFInstance::LoadTextContent(int nPage) {
  if (m_pPageInfo == nullptr) return E_FAIL;
  m_graphBlocks.DeleteAll();
  m_textBlocks.DeleteBlockTree();
  CPageInfo& info = *m_pPageInfo;
  // The reset empties the page source too, which page naming has just set for this page:
  // it is kept, so that the page information still tells where the page comes from.
  std::u16string pageSource = std::move(info.m_strPageSource);
  info.Reset(true);
  info.m_strPageSource = std::move(pageSource);

  double bx0 = 0.0, by0 = 0.0, bx1 = 0.0, by1 = 0.0;
  if (!PTK_GetPageRect(m_hDoc, nPage, PTK_BOX_CONTENT, &bx0, &by0, &bx1, &by1)) return E_FAIL;

  // Nothing reads this page rendering; the intake asks for it before the text stream as it
  // always has. At the scale 1 / (pixels per inch x page unit) the kit would rasterise the
  // whole page at one pixel per point on every intake; at this scale it draws 1 x 1 pixel, so
  // only its interpretation of the page's content is paid for. A page the kit cannot render
  // still fails the intake. m_bRenderPage 0 leaves the rendering out.
  CKitThumbnail rendering;
  if (m_bRenderPage != 0 &&
      !rendering.Render(m_hDoc, nPage, kMinimalRenderScale, kMinimalRenderScale, 1.0)) {
    return E_FAIL;
  }

  const double dPageWidth = info.m_dPageWidth;
  const double dPageHeight = info.m_dPageHeight;
  auto InPageBox = [&](double x, double y) { return bx0 <= x && x <= bx1 && by0 <= y && y <= by1; };

  const CKitTextStream stream(m_hDoc, nPage);
  int32_t nSeq = 0;
  std::unordered_map<std::u16string, int32_t> encodingIndices, fontIndices, fontKeyIndices;
  std::vector<PTK_CharRecord> chars;
  for (const PTK_TextRun* pRun = stream.First(); pRun != nullptr; pRun = pRun->pNext) {
    auto block = std::make_unique<CTextBlock>(m_pPageInfo);
    CTextBlock& b = *block;
    // Every run takes a sequence number, kept or not.
    b.m_nFirstSeq = nSeq;
    b.m_nLastSeq = nSeq;
    b.m_nOrderKey = nSeq;
    ++nSeq;
    b.m_nRunAttr1 = pRun->nAttr1;
    b.m_dRunValue = pRun->dVertSize;
    b.m_dFontSize = pRun->dFontSize;
    b.m_bRunFlag1 = pRun->bFlag1;
    b.m_bRunFlag2 = pRun->bFlag2;
    b.m_bRunFlag3 = pRun->bFlag3;
    b.m_dRunMetric1 = pRun->dMetric1;
    b.m_dRunMetric2 = pRun->dMetric2;
    b.m_dAngle1 = pRun->dAngle1 * 180.0 / kPi;
    b.m_dAngle2 = pRun->dAngle2 * 180.0 / kPi;
    if (pRun->pParams != nullptr) {
      b.m_nRunAttr3 = pRun->pParams[0];
      b.m_nRunAttr2 = pRun->pParams[1];
    }
    b.m_dLeft = pRun->dX0;
    b.m_dTop = dPageHeight - pRun->dY1;
    b.m_dRight = pRun->dX1;
    b.m_dBottom = dPageHeight - pRun->dY0;

    // Runs larger than the page or outside it are dropped.
    if (b.m_dRight - b.m_dLeft > dPageWidth || b.m_dBottom - b.m_dTop > dPageHeight) continue;
    if (!InPageBox(b.m_dLeft, b.m_dBottom) && !InPageBox(b.m_dRight, b.m_dTop)) continue;
    // A run without characters has nothing to take.
    if (pRun->pChars == nullptr || pRun->nCharCount == 0 || pRun->nCharCount > INT_MAX) continue;

    b.m_nLineCount = 1;
    if ((pRun->bFlags & 0x1) != 0) b.m_nFlags |= TBF_RUN_FLAG;
    chars.assign(pRun->pChars, pRun->pChars + pRun->nCharCount);
    const double dSize = b.m_dFontSize;
    for (PTK_CharRecord& c : chars) {
      if (c.dX1 - c.dX0 < 0.01 && c.dY1 - c.dY0 < 0.01) {
        // A glyph without ink gets a box of half a size by 0.8 of a size on its origin.
        c.dX0 = c.dOriginX;
        c.dY0 = c.dOriginY;
        c.dY1 = c.dOriginY + 0.8 * dSize;
        c.dX1 = c.dOriginX + 0.5 * dSize;
      }
    }
    b.m_dBaselineX = chars[0].dOriginX;
    b.m_dBaselineY = dPageHeight - chars[0].dOriginY;
    if (b.m_dRight - b.m_dLeft < 0.01 && b.m_dTop - b.m_dBottom < 0.01 &&
        6.0 * (b.m_dRight - b.m_dLeft) < dSize) {
      b.m_dLeft = b.m_dBaselineX;
      b.m_dBottom = b.m_dBaselineY;
      b.m_dTop = b.m_dBaselineY - 0.8 * dSize;
      b.m_dRight = b.m_dBaselineX + 0.5 * dSize;
    }
    if (b.SetChars(chars.data(), static_cast<int>(chars.size())) == 0) continue;

    if (vwin32::EqualsNoCase(vwin32::View(pRun->pszEncoding), u"Custom") &&
        (m_bDecodeCustom == 0 || !DecodeCustomRun(&b, vwin32::View(pRun->pszFontName)))) {
      b.m_nFlags |= TBF_UNRECOGNISED;
    }

    b.m_nEncodingIndex = TableIndex(encodingIndices, info.m_encodingNames, pRun->pszEncoding);
    b.m_nFontIndex = TableIndex(fontIndices, info.m_fontNames, pRun->pszFontName);
    b.m_nFontKeyIndex = TableIndex(fontKeyIndices, info.m_fontKeys, pRun->pszFontKey);
    m_textBlocks.Add(block.get());
    block.release();
  }

  if (m_textBlocks.IsEmpty()) {
    info.m_dBodyFontSize = 0.0;
  } else {
    CleanUpRuns();
    CalibrateFonts();
    const double dBody = m_textBlocks.IsEmpty() ? 0.0 : MeanFontSize(m_textBlocks, true);
    info.m_dBodyFontSize = std::isfinite(dBody) ? dBody : 0.0;
  }
  m_dwState |= PSW_TEXT;
  return S_OK;
}

// ---------------------------------------------------------------------------------------------
// Custom decoding

bool CPDFInstance::DecodeCustomRun(CTextBlock* pBlock, std::u16string_view fontName) const {
  // fontName = <prefix>-<family>_<hex suffix>, e.g. ABCDEF-Song_B3.
  const size_t dash = fontName.find(u'-');
  if (dash == std::u16string_view::npos) return false;
  const size_t underscore = fontName.find(u'_', dash + 1);
  if (underscore == std::u16string_view::npos) return false;
  const std::u16string family(fontName.substr(dash + 1, underscore - dash - 1));
  const std::u16string_view suffix = fontName.substr(underscore + 1);
  const long nHex = ReadHex(suffix);
  const auto it = m_fontSetCounts.find(family);
  if (it == m_fontSetCounts.end() || it->second.empty()) return false;

  bool bDecoded = false;
  for (int i = 0; i < pBlock->m_nCharCount; ++i) {
    const auto code = static_cast<char16_t>(pBlock->m_pChars[i].nCode);
    if (code == 0) continue;
    if (static_cast<long>(AnsiLeadByte(code)) == nHex) return true;
    std::u16string upperBytes;
    for (const char16_t ch : pBlock->m_strText) upperBytes += vwin32::Format(u"%02X", ch >> 8);
    if (vwin32::EqualsNoCase(upperBytes, suffix)) {
      const char bytes[2] = {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
      std::u16string text = vwin32::AnsiToUnicode(std::string_view(bytes, 2));
      // The text ends at a zero unit, as a C string would.
      text.resize(std::min(text.size(), text.find(u'\0')));
      pBlock->m_strText = text;
      bDecoded = true;
    }
  }
  return bDecoded;
}

// ---------------------------------------------------------------------------------------------
// Clean-up and font calibration

void CPDFInstance::CleanUpRuns() {
  int nRemoved = CleanRuns(m_textBlocks);

  const std::vector<std::u16string>& fontNames = m_pPageInfo->m_fontNames;
  std::vector<bool> substituted(fontNames.size());
  for (size_t i = 0; i < fontNames.size(); ++i) substituted[i] = IsSubstitutionFont(fontNames[i]);

  for (CTextBlock* b : m_textBlocks) {
    const char16_t replacement =
        b->m_dBottom - b->m_dTop < 0.01 && b->m_dRight - b->m_dLeft < 0.01 ? u' ' : u'?';
    RepairFlatBox(b->m_dLeft, b->m_dTop, b->m_dRight, b->m_dBottom, b->m_dBaselineY,
                  b->m_dFontSize);
    if (b->m_dFontSize < 1.0) b->m_dFontSize = 5.0;
    if ((b->m_nFlags & TBF_UNRECOGNISED) != 0) {
      b->m_strText.assign(static_cast<size_t>(std::max(b->m_nCharCount, 0)), replacement);
    } else if (b->m_nFontIndex >= 0 && static_cast<size_t>(b->m_nFontIndex) < substituted.size() &&
               substituted[static_cast<size_t>(b->m_nFontIndex)]) {
      for (char16_t& ch : b->m_strText) {
        const auto it = m_charMap.find(ch);
        if (it != m_charMap.end()) ch = it->second;
      }
    }
  }

  nRemoved += RemoveRepeatedRuns(m_textBlocks);
  if (nRemoved > 0) {
    // Back into stream order, numbered afresh.
    SortBlocks(m_textBlocks, 0);
    for (int i = 0; i < m_textBlocks.GetSize(); ++i) {
      CTextBlock* b = m_textBlocks[i];
      b->m_nFirstSeq = i;
      b->m_nLastSeq = i;
      b->m_nOrderKey = i;
    }
  }
  for (CTextBlock* b : m_textBlocks) DetermineDirection(b);
}

namespace {

struct InkBox {
  double left, top, right, bottom;
};

// The box a run's glyphs ink (y downward), with the clean-up's repairs of flat boxes. The kit's
// run box spans a fixed line cell across the line, so the glyph heights that calibration
// measures come from the character records' glyph boxes; a run without inked glyphs keeps its
// block box.
InkBox InkBoxOf(const CTextBlock& b) {
  InkBox box{b.m_dLeft, b.m_dTop, b.m_dRight, b.m_dBottom};
  bool bAny = false;
  for (int i = 0; b.m_pChars != nullptr && i < b.m_nCharCount; ++i) {
    // The block's records are y downward: dY1 is the glyph's top, dY0 its bottom. Blank
    // glyphs, whose boxes the intake made up at their origins, have no ink.
    const PTK_CharRecord& c = b.m_pChars[i];
    if (!(c.dX1 > c.dX0) || !(c.dY0 > c.dY1)) continue;
    if (c.nCode == 0x20 || c.nCode == 0x3000 || c.nCode == 0xA0) continue;
    if (c.dX0 == c.dOriginX && c.dY0 == c.dOriginY) continue;
    const InkBox g{c.dX0, c.dY1, c.dX1, c.dY0};
    if (!bAny) {
      box = g;
      bAny = true;
      continue;
    }
    box.left = std::min(box.left, g.left);
    box.top = std::min(box.top, g.top);
    box.right = std::max(box.right, g.right);
    box.bottom = std::max(box.bottom, g.bottom);
  }
  if (bAny) RepairFlatBox(box.left, box.top, box.right, box.bottom, b.m_dBaselineY, b.m_dFontSize);
  return box;
}

}  // namespace

void CPDFInstance::CalibrateFonts() {
  SortBlocks(m_textBlocks, 10);

  struct Extents {
    double x0, y0, x1, y1;
  };
  // Glyph height and width ratio by font name (compared ignoring case).
  std::unordered_map<std::u16string, std::pair<double, double>> ratios;
  auto Store = [&](const std::u16string& name, const Extents& e) {
    ratios[vwin32::ToLower(name)] = {e.y1 - e.y0, e.x1 - e.x0};
  };

  bool bSeeded = false;
  std::u16string current;
  Extents ext{};
  for (const CTextBlock* b : m_textBlocks) {
    if (bSeeded && b->m_dFontSize < 5.2) continue;
    // A run without a vertical size (or font size) has no extents to measure.
    if (!(b->m_dFontSize > 0.0) || !(b->m_dRunValue > 0.0)) continue;
    const InkBox ink = InkBoxOf(*b);
    const Extents e{(ink.left - b->m_dBaselineX) / b->m_dFontSize,
                    (ink.top - b->m_dBaselineY) / b->m_dRunValue,
                    (ink.right - b->m_dBaselineX) / b->m_dFontSize,
                    (ink.bottom - b->m_dBaselineY) / b->m_dRunValue};
    const std::u16string& name = b->FontName();
    if (bSeeded && vwin32::EqualsNoCase(name, current)) {
      ext.x0 = std::min(ext.x0, e.x0);
      ext.y0 = std::min(ext.y0, e.y0);
      ext.x1 = std::max(ext.x1, e.x1);
      ext.y1 = std::max(ext.y1, e.y1);
      continue;
    }
    if (bSeeded) Store(current, ext);
    current = name;
    ext = e;
    bSeeded = true;
  }
  if (bSeeded) Store(current, ext);

  for (CTextBlock* b : m_textBlocks) {
    const auto it = ratios.find(vwin32::ToLower(b->FontName()));
    if (it == ratios.end()) continue;
    const auto [dHeight, dWidth] = it->second;
    b->m_dGlyphHeightRatio = dHeight;
    b->m_dGlyphWidthRatio = dWidth;
    if (dHeight < 0.55) {
      // Fonts whose glyphs fill little of their size are set larger than they look.
      b->m_dFontSize /= 1.8;
      b->m_dRunValue /= 1.8;
    }
  }
}
