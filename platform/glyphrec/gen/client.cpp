#include <algorithm>
#include <cstring>

#include "render.h"
#include "velluma/wintypes.h"

namespace glyphrec {

HRESULT RecogniseSheet(PFN_CreateRecogPageInstance create, const std::vector<uint8_t>& dib,
                       std::vector<St_RecogResult>& results) {
  results.clear();
  IRecogPage* page = nullptr;
  HRESULT hr = create ? create(&page) : E_POINTER;
  if (hr < 0 || !page) return hr < 0 ? hr : E_FAIL;
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, dib.size());
  if (void* p = h ? GlobalLock(h) : nullptr) {
    std::memcpy(p, dib.data(), dib.size());
    GlobalUnlock(h);
  }
  const int32_t options[2] = {0, 5};
  hr = page->RecognisePage(0, options, h);
  if (hr >= 0 && hr != 1) {
    int32_t n = 0;
    page->GetResultCount(&n);
    St_RecogResult blank{};
    blank.bShown = 255;
    results.assign(size_t(std::max(n, 0)), blank);
    page->GetResults(results.data(), &n);
    results.resize(size_t(std::max(n, 0)));
  }
  page->Release();
  if (h) GlobalFree(h);
  return hr;
}

}  // namespace glyphrec
