// The module's entry points for COM class activation. Only these functions (and the
// identifiers of velluma/velluma.h) are exported from libvelluma.so; see velluma.map.
#include <algorithm>
#include <cstring>

#include "blocks/textblock.h"
#include "com/dataadaptor.h"
#include "com/module.h"

#define VELLUMA_EXPORT extern "C" __attribute__((visibility("default")))

VELLUMA_EXPORT HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
  return vmodule::GetClassObject(rclsid, riid, ppv);
}

VELLUMA_EXPORT HRESULT DllCanUnloadNow() {
  return vmodule::CanUnloadNow();
}

// Registration into the runtime's class registry (machine-wide unless DllInstall chose the
// current user).
VELLUMA_EXPORT HRESULT DllRegisterServer() {
  return vmodule::RegisterServer();
}

VELLUMA_EXPORT HRESULT DllUnregisterServer() {
  return vmodule::UnregisterServer();
}

VELLUMA_EXPORT HRESULT DllInstall(BOOL bInstall, const char16_t* pszCmdLine) {
  return vmodule::Install(bInstall, pszCmdLine);
}

// The flag word of a text block of this module (see velluma/velluma.h).
VELLUMA_EXPORT HRESULT VellumaGetBlockFlags(IBlock* pBlock, unsigned long* pdwFlags) {
  if (pBlock == nullptr || pdwFlags == nullptr) return E_POINTER;
  const auto* block = dynamic_cast<const CTextBlock*>(pBlock);
  if (block == nullptr) return E_INVALIDARG;
  *pdwFlags = block->m_nFlags;
  return S_OK;
}

// The glyph sheet, results and glyph map of the adaptor's current page (see velluma/velluma.h).
VELLUMA_EXPORT HRESULT VellumaGetGlyphSheet(IDataAdaptor* pAdaptor, HGLOBAL* phDib, void* pResults,
                                            long* pnResults, unsigned long* pMap,
                                            long* pnMapPairs) {
  if (pAdaptor == nullptr) return E_POINTER;
  const auto* engine = dynamic_cast<const CPDFDataAdaptor*>(pAdaptor);
  if (engine == nullptr) return E_INVALIDARG;
  const CGlyphRecogState& state = engine->m_recog;
  if (!state.m_glyphSheet.IsValid()) return E_FAIL;
  if (phDib != nullptr) {
    *phDib = state.m_glyphSheet.CopyToHandle();
    if (*phDib == nullptr) return E_OUTOFMEMORY;
  }
  if (pnResults != nullptr) {
    const long count = state.m_pResults != nullptr ? state.m_nResultCount : 0;
    const long n = pResults != nullptr ? std::clamp(*pnResults, 0L, count) : 0;
    if (n > 0)
      std::memcpy(pResults, state.m_pResults, static_cast<size_t>(n) * sizeof(St_RecogResult));
    *pnResults = count;
  }
  if (pnMapPairs != nullptr) {
    const long capacity = pMap != nullptr ? std::max(*pnMapPairs, 0L) : 0;
    long i = 0;
    for (const auto& [key, cell] : state.m_glyphMap) {
      if (i >= capacity) break;
      pMap[2 * i] = key;
      pMap[2 * i + 1] = cell;
      ++i;
    }
    *pnMapPairs = static_cast<long>(state.m_glyphMap.size());
  }
  return S_OK;
}
