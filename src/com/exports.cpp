// The module's entry points for COM class activation. Only these functions (and the
// identifiers of velluma/velluma.h) are exported from libvelluma.so; see velluma.map.
#include "blocks/textblock.h"
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
