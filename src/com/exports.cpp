// The module's entry points for COM class activation. Only these functions (and the
// identifiers of velluma/velluma.h) are exported from libvelluma.so; see velluma.map.
#include "com/module.h"

#define VELLUMA_EXPORT extern "C" __attribute__((visibility("default")))

VELLUMA_EXPORT HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
  return vmodule::GetClassObject(rclsid, riid, ppv);
}

VELLUMA_EXPORT HRESULT DllCanUnloadNow() {
  return vmodule::CanUnloadNow();
}
