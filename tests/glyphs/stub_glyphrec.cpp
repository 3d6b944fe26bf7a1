// A stand-in recognition library for tests (libglyphrec_stub.so): it reads each cell of the
// glyph sheet as a glyph drawn by vtest::IdGlyph, takes the number the glyph shows and answers
// the character at that position (counted from 1) of the UTF-8 text in VELLUMA_STUB_CHARS.
// A cell it cannot read gets U+3013. VELLUMA_STUB_FAIL=create makes no page object,
// VELLUMA_STUB_FAIL=page gives no result.
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "kit/glyphrec.h"

namespace {

std::u16string Chars() {
  std::u16string out;
  const char* s = std::getenv("VELLUMA_STUB_CHARS");
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(s ? s : ""); *p;) {
    char32_t c = *p;
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    c &= extra == 3 ? 0x07 : extra == 2 ? 0x0F : extra == 1 ? 0x1F : 0x7F;
    ++p;
    for (; extra > 0 && (*p & 0xC0) == 0x80; --extra, ++p) c = c << 6 | (*p & 0x3F);
    out.push_back(static_cast<char16_t>(c));
  }
  return out;
}

class CStubPage final : public IRecogPage {
 public:
  HRESULT QueryInterface(REFIID, void** ppv) override {
    *ppv = this;
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++m_refs; }
  ULONG Release() override {
    const ULONG n = --m_refs;
    if (n == 0) delete this;
    return n;
  }
  HRESULT RecognisePage(int32_t, const int32_t* pOptions, HGLOBAL hDib) override {
    if (pOptions == nullptr || pOptions[0] != 0 || pOptions[1] != 5) return E_FAIL;
    if (const char* fail = std::getenv("VELLUMA_STUB_FAIL"); fail && std::strcmp(fail, "page") == 0)
      return 1;
    const auto* dib = static_cast<const uint8_t*>(GlobalLock(hDib));
    if (dib == nullptr) return E_FAIL;
    BITMAPINFOHEADER h;
    std::memcpy(&h, dib, sizeof h);
    const bool topDown = h.biHeight < 0;
    const int w = h.biWidth, ht = topDown ? -h.biHeight : h.biHeight;
    if (h.biBitCount != 1 || w != 1024 || ht % 64 != 0) {
      GlobalUnlock(hDib);
      return E_FAIL;
    }
    const auto* pal = reinterpret_cast<const RGBQUAD*>(dib + h.biSize);
    const uint8_t* bits = dib + h.biSize + 2 * sizeof(RGBQUAD);
    const int stride = (w + 31) / 32 * 4;
    const bool inkIsOne = pal[1].rgbRed < 128;
    auto ink = [&](int x, int yTop) {
      const int row = topDown ? yTop : ht - 1 - yTop;
      const bool one = (bits[row * stride + x / 8] >> (7 - x % 8) & 1) != 0;
      return one == inkIsOne;
    };
    const std::u16string chars = Chars();
    const int cells = ht / 64 * 16;
    m_results.assign(static_cast<size_t>(cells), St_RecogResult{});
    int last = -1;
    for (int i = 0; i < cells; ++i) {
      const int cx = i % 16 * 64, cy = i / 16 * 64;
      int x0 = 64, y0 = 64, x1 = -1, y1 = -1;
      for (int y = 0; y < 63; ++y)
        for (int x = 0; x < 63; ++x)
          if (ink(cx + x, cy + y)) {
            x0 = std::min(x0, x), x1 = std::max(x1, x);
            y0 = std::min(y0, y), y1 = std::max(y1, y);
          }
      St_RecogResult& r = m_results[static_cast<size_t>(i)];
      r.bShown = 255;
      if (x1 < 0) continue;
      last = i;
      int id = 0;
      for (int b = 0; b < 8; ++b) {
        const double fx = (310 + 160 * (b % 4) - 100) / 800.0;
        const double fy = (800 - (b / 4 == 0 ? 535 : 265)) / 800.0;
        const int x = x0 + static_cast<int>(fx * (x1 - x0 + 1));
        const int y = y0 + static_cast<int>(fy * (y1 - y0 + 1));
        if (ink(cx + x, cy + y)) id |= 1 << b;
      }
      const char16_t ch = id >= 1 && static_cast<size_t>(id) <= chars.size()
                              ? chars[static_cast<size_t>(id - 1)]
                              : u'\u3013';
      r.wChar = ch;
      r.nFontClass = 3;
      r.nCandidates = 2;
      r.candidates[0] = {static_cast<uint16_t>(ch), 100, {}};
      r.candidates[1] = {0x3013, 5, {}};
      r.bShown = 0;
    }
    m_results.resize(static_cast<size_t>(last + 1));
    GlobalUnlock(hDib);
    return m_results.empty() ? 1 : S_OK;
  }
  HRESULT GetResultCount(int32_t* pnCount) override {
    *pnCount = static_cast<int32_t>(m_results.size());
    return S_OK;
  }
  HRESULT Reserved5() override { return E_FAIL; }
  HRESULT Reserved6() override { return E_FAIL; }
  HRESULT GetResults(St_RecogResult* pResults, int32_t* pnCount) override {
    const size_t n = std::min(m_results.size(), static_cast<size_t>(std::max(*pnCount, 0)));
    std::memcpy(pResults, m_results.data(), n * sizeof(St_RecogResult));
    return S_OK;
  }

 private:
  std::atomic<ULONG> m_refs{1};
  std::vector<St_RecogResult> m_results;
};

}  // namespace

extern "C" __attribute__((visibility("default"))) HRESULT CreateRecogPageInstance(
    IRecogPage** ppPage) {
  if (ppPage == nullptr) return E_POINTER;
  if (const char* fail = std::getenv("VELLUMA_STUB_FAIL"); fail && std::strcmp(fail, "create") == 0)
    return E_FAIL;
  *ppPage = new CStubPage;
  return S_OK;
}
