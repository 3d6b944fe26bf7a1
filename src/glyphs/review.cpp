#include "glyphs/review.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "blocks/textblock.h"
#include "glyphs/recognition.h"
#include "vwin32/format.h"
#include "vwin32/strings.h"
#include "xml/trace.h"

namespace {

// Font classes: 0 is no particular face, 1 to 11 groups of faces that recognition does not
// tell apart, 12 to 69 single faces.
const char16_t* const kFontClassNames[kFontClassCount] = {
    u"字体无关",
    u"多字体_宋体_书宋_报宋",
    u"多字体_黑体_中黑_细黑",
    u"多字体_楷体_中楷_粗楷",
    u"多字体_仿宋_长仿宋",
    u"多字体_标宋_小标宋_大标宋",
    u"多字体_圆体_细圆_中圆_粗圆",
    u"多字体_等线_细等线_中等线",
    u"多字体_隶书_报隶_隶变",
    u"多字体_魏碑_新魏",
    u"多字体_行楷_行书",
    u"多字体_综艺_琥珀_彩云",
    u"宋体",
    u"书宋",
    u"报宋",
    u"中宋",
    u"大宋",
    u"标宋",
    u"小标宋",
    u"大标宋",
    u"粗宋",
    u"仿宋",
    u"长仿宋",
    u"黑体",
    u"细黑",
    u"中黑",
    u"大黑",
    u"粗黑",
    u"美黑",
    u"平黑",
    u"楷体",
    u"中楷",
    u"粗楷",
    u"细楷",
    u"隶书",
    u"报隶",
    u"隶变",
    u"魏碑",
    u"新魏",
    u"行楷",
    u"行书",
    u"舒体",
    u"姚体",
    u"幼圆",
    u"细圆",
    u"中圆",
    u"粗圆",
    u"准圆",
    u"细等线",
    u"中等线",
    u"粗等线",
    u"综艺",
    u"琥珀",
    u"彩云",
    u"水柱",
    u"细倩",
    u"中倩",
    u"粗倩",
    u"秀英",
    u"启体",
    u"瘦金",
    u"小篆",
    u"古隶",
    u"康体",
    u"雪君",
    u"胖头鱼",
    u"少儿",
    u"黄草",
    u"剪纸",
    u"稚艺",
};

// Text as a window shows it: up to the first zero unit.
std::u16string UpToZero(std::u16string text) {
  const size_t zero = text.find(u'\0');
  if (zero != std::u16string::npos) text.resize(zero);
  return text;
}

}  // namespace

const char16_t kConfirmText[] = u"修改是否完成？如完成，请按确定。";

const char16_t* FontClassName(int c) {
  if (c <= 0 || c >= kFontClassCount) return kFontClassNames[0];
  return kFontClassNames[c];
}

std::vector<St_ContrastInfo> BuildReviewList(const CTextBlockArray& runs, CGlyphRecogState& state) {
  std::vector<St_ContrastInfo> list;
  if (state.m_pResults == nullptr || state.m_nResultCount <= 0) return list;
  std::set<uint32_t> seen;
  for (int k = 0; k < runs.GetSize(); ++k) {
    const CTextBlock* run = runs[k];
    if (run->m_pChars == nullptr) continue;
    for (int j = 0; j < run->m_nCharCount; ++j) {
      const auto it = state.m_glyphMap.find(GlyphKey(*run, j));
      if (it == state.m_glyphMap.end()) continue;
      const uint32_t cell = it->second;
      if (!seen.insert(cell).second) continue;
      const char16_t code = static_cast<char16_t>(run->m_pChars[j].nCode);
      if (run->m_strText == std::u16string_view(&code, 1)) continue;
      // A cell beyond the results has nothing to show.
      if (cell >= static_cast<uint32_t>(state.m_nResultCount)) continue;
      list.push_back({static_cast<int32_t>(cell), &state.m_pResults[cell]});
    }
  }
  std::stable_sort(list.begin(), list.end(),
                   [](const St_ContrastInfo& a, const St_ContrastInfo& b) {
                     if (a.pResult->bShown != b.pResult->bShown)
                       return a.pResult->bShown > b.pResult->bShown;
                     const bool ma = (a.pResult->wFlags & RRF_MARKED) != 0;
                     const bool mb = (b.pResult->wFlags & RRF_MARKED) != 0;
                     if (ma != mb) return ma;
                     return a.pResult->wChar < b.pResult->wChar;
                   });
  return list;
}

std::u16string CountsText(const std::vector<St_ContrastInfo>& list) {
  const auto changed = std::count_if(list.begin(), list.end(), [](const St_ContrastInfo& e) {
    return (e.pResult->wFlags & RRF_CHANGED) != 0;
  });
  return vwin32::Format(u"已修改：%-4d 总字数：%d", static_cast<int>(changed),
                        static_cast<int>(list.size()));
}

std::u16string IndexText(int i) {
  return vwin32::Format(u"%d", i);
}

std::u16string ResultText(const St_RecogResult& r) {
  const int c = r.nFontClass;
  const char16_t* name = FontClassName(c);
  // A group's name is shown without its "多字体_" prefix.
  if (c >= 1 && c <= 11) name += 4;
  return UpToZero(vwin32::Format(u"%c(%d) [u+%04x]  %d：%s", static_cast<int>(r.wChar),
                                 static_cast<int>(r.bShown), static_cast<int>(r.wChar), c, name));
}

std::u16string CandidatesText(const St_RecogResult& r) {
  std::u16string text;
  // The record has room for 16 candidates; a larger count reads no further.
  const int n = std::min<int>(r.nCandidates, 16);
  for (int k = 0; k < n; ++k) {
    text += UpToZero(vwin32::Format(u"%c(%d) ", static_cast<int>(r.candidates[k].wChar),
                                    static_cast<int>(r.candidates[k].wScore)));
  }
  return text;
}

void CutCell(const CxImage& sheet, int nCell, uint32_t* pixels) {
  std::fill(pixels, pixels + 64 * 64, 0xFFFFFFu);
  if (nCell < 0 || !sheet.IsValid() || sheet.GetBpp() != 1) return;
  const long height = static_cast<long>(sheet.GetHeight());
  const long width = static_cast<long>(sheet.GetWidth());
  const long x0 = (nCell % 16) * 64L;
  const long top = (nCell / 16) * 64L;
  const RGBQUAD* pal = sheet.GetPalette();
  uint32_t colours[2] = {0x000000u, 0xFFFFFFu};
  if (pal != nullptr) {
    for (int k = 0; k < 2; ++k) {
      colours[k] =
          (uint32_t{pal[k].rgbRed} << 16) | (uint32_t{pal[k].rgbGreen} << 8) | pal[k].rgbBlue;
    }
  }
  for (long dy = 0; dy < 64; ++dy) {
    const long y = height - 1 - (top + dy);  // rows are stored bottom-up
    if (y < 0) break;
    if (y >= height) continue;
    const BYTE* row = sheet.GetBits(static_cast<DWORD>(y));
    if (row == nullptr) continue;
    for (long dx = 0; dx < 64 && x0 + dx < width; ++dx) {
      const long x = x0 + dx;
      const int bit = (row[x >> 3] >> (7 - (x & 7))) & 1;
      pixels[dy * 64 + dx] = colours[bit];
    }
  }
}

// ---------------------------------------------------------------------------------------------
// The session and its C interface

namespace {

CReviewSession* Of(void* ctx) {
  return static_cast<CReviewSession*>(ctx);
}

EReviewKey KeyOf(int key) {
  switch (key) {
    case VRK_LEFT:
      return EReviewKey::Left;
    case VRK_RIGHT:
      return EReviewKey::Right;
    case VRK_UP:
      return EReviewKey::Up;
    case VRK_DOWN:
      return EReviewKey::Down;
    case VRK_PRIOR:
      return EReviewKey::PageUp;
    case VRK_NEXT:
      return EReviewKey::PageDown;
    case VRK_HOME:
      return EReviewKey::Home;
    case VRK_END:
      return EReviewKey::End;
    case VRK_RETURN:
      return EReviewKey::Enter;
    case VRK_C:
      return EReviewKey::C;
    case VRK_V:
      return EReviewKey::V;
    default:
      return EReviewKey::Other;
  }
}

int ActionCode(EKeyAction action) {
  switch (action) {
    case EKeyAction::Handled:
      return VRA_HANDLED;
    case EKeyAction::Confirm:
      return VRA_CONFIRM;
    case EKeyAction::Copy:
      return VRA_COPY;
    case EKeyAction::Paste:
      return VRA_PASTE;
    case EKeyAction::Pass:
      break;
  }
  return VRA_PASS;
}

}  // namespace

CReviewSession::CReviewSession(std::vector<St_ContrastInfo> list, const CxImage* pSheet)
    : m_list(std::move(list)), m_view(&m_list, pSheet), m_host{} {
  m_host.nVersion = VREVIEW_API_VERSION;
  m_host.pCtx = this;
  m_host.Count = [](void* ctx) { return Of(ctx)->m_view.Count(); };
  m_host.Selected = [](void* ctx) { return Of(ctx)->m_view.Selected(); };
  m_host.EntryChar = [](void* ctx, int i) -> unsigned {
    const St_RecogResult* r = Of(ctx)->m_view.Result(i);
    return r != nullptr ? r->wChar : 0u;
  };
  m_host.EntryFlags = [](void* ctx, int i) -> unsigned {
    const St_RecogResult* r = Of(ctx)->m_view.Result(i);
    return r != nullptr ? (r->wFlags & (VRE_MARKED | VRE_CHANGED)) : 0u;
  };
  m_host.EntryCell = [](void* ctx, int i) {
    CReviewSession* s = Of(ctx);
    return i >= 0 && i < s->m_view.Count() ? s->m_list[static_cast<size_t>(i)].nCell : -1;
  };
  m_host.EntryRect = [](void*, int i, int rc[4]) {
    const RECT r = CPicContrastView::EntryRect(i);
    rc[0] = static_cast<int>(r.left);
    rc[1] = static_cast<int>(r.top);
    rc[2] = static_cast<int>(r.right);
    rc[3] = static_cast<int>(r.bottom);
  };
  m_host.HitTest = [](void* ctx, int x, int y) { return Of(ctx)->m_view.HitTest(x, y); };
  m_host.ScrollSize = [](void* ctx, int size[2]) {
    const CPicContrastView::Extent s = Of(ctx)->m_view.ScrollSize();
    size[0] = s.cx;
    size[1] = s.cy;
  };
  m_host.VisibleRange = [](void* ctx, int top, int bottom, int range[2]) {
    Of(ctx)->m_view.VisibleRange(top, bottom, range[0], range[1]);
  };
  m_host.SetView = [](void* ctx, int h, int pos) { Of(ctx)->m_view.SetView(h, pos); };
  m_host.ScrollPos = [](void* ctx) { return Of(ctx)->m_view.ScrollPos(); };
  m_host.Select = [](void* ctx, int i) { return Of(ctx)->m_view.SelectEntry(i) ? 1 : 0; };
  m_host.Key = [](void* ctx, int key, int ctrl) {
    return ActionCode(Of(ctx)->m_view.KeyDown(KeyOf(key), ctrl != 0));
  };
  m_host.TypeChar = [](void* ctx, uint32_t code) { return Of(ctx)->m_view.TypeChar(code) ? 1 : 0; };
  m_host.Paste = [](void* ctx, const char* utf8) {
    if (utf8 == nullptr) return Of(ctx)->m_view.Paste(nullptr) ? 1 : 0;
    const std::u16string text = vwin32::FromUtf8(utf8);
    return Of(ctx)->m_view.Paste(text.c_str()) ? 1 : 0;
  };
  m_host.Text = [](void* ctx, int which, char* buf, int size) {
    const std::string text = vwin32::ToUtf8(Of(ctx)->Text(which));
    if (buf != nullptr && size > 0) {
      const size_t n = std::min(text.size(), static_cast<size_t>(size - 1));
      std::memcpy(buf, text.data(), n);
      buf[n] = '\0';
    }
    return static_cast<int>(text.size());
  };
  m_host.CutCell = [](void* ctx, int cell, uint32_t* pixels) {
    const CxImage* sheet = Of(ctx)->m_view.Sheet();
    if (sheet != nullptr) {
      ::CutCell(*sheet, cell, pixels);
    } else {
      std::fill(pixels, pixels + 64 * 64, 0xFFFFFFu);
    }
  };
  m_host.Trace = [](void*, const char* utf8) {
    if (utf8 != nullptr) velluma::DebugTrace(vwin32::FromUtf8(utf8) + u"\n");
  };
}

std::u16string CReviewSession::Text(int which) const {
  const St_RecogResult* r = m_view.Result(m_view.Selected());
  switch (which) {
    case VRT_COUNTS:
      return CountsText(m_list);
    case VRT_INDEX:
      return IndexText(m_view.Selected());
    case VRT_RESULT:
      return r != nullptr ? ResultText(*r) : std::u16string();
    case VRT_CANDIDATES:
      return r != nullptr ? CandidatesText(*r) : std::u16string();
    case VRT_CONFIRM:
      return kConfirmText;
    case VRT_COPY:
      return m_view.CopyText();
    default:
      return std::u16string();
  }
}
