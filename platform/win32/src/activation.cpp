// Class activation through the registry: CoGetClassObject, CoCreateInstance, CLSIDFromProgID.
#include <dlfcn.h>

#include <map>
#include <mutex>

#include "vwin32/registry.h"
#include "vwin32/strings.h"

namespace {

using PFN_DllGetClassObject = HRESULT (*)(REFCLSID, REFIID, void**);

// Modules loaded by activation, by path; they stay loaded (an object may outlive every
// reference the runtime could count).
std::mutex g_moduleLock;
std::map<std::string, PFN_DllGetClassObject> g_modules;

HRESULT EntryOf(const std::string& path, PFN_DllGetClassObject& entry) {
  const std::lock_guard<std::mutex> guard(g_moduleLock);
  const auto it = g_modules.find(path);
  if (it != g_modules.end()) {
    entry = it->second;
    return S_OK;
  }
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) return CO_E_ERRORINDLL;
  entry = reinterpret_cast<PFN_DllGetClassObject>(dlsym(module, "DllGetClassObject"));
  if (entry == nullptr) {
    dlclose(module);
    return CO_E_ERRORINDLL;
  }
  g_modules[path] = entry;
  return S_OK;
}

}  // namespace

VCOMRT_API HRESULT CoGetClassObject(REFCLSID rclsid, DWORD /*dwClsContext*/, void* /*pvReserved*/,
                                    REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  std::u16string module;
  const std::u16string key = u"CLSID\\" + vwin32::GuidToString(rclsid) + u"\\InprocServer32";
  if (!vwin32::LookUpClassesValue(key, u"", module) || module.empty()) return REGDB_E_CLASSNOTREG;
  PFN_DllGetClassObject entry = nullptr;
  const HRESULT hr = EntryOf(vwin32::ToUtf8(module), entry);
  if (FAILED(hr)) return hr;
  return entry(rclsid, riid, ppv);
}

VCOMRT_API HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext,
                                    REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  IClassFactory* pFactory = nullptr;
  HRESULT hr = CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory,
                                reinterpret_cast<void**>(&pFactory));
  if (FAILED(hr)) return hr;
  if (pFactory == nullptr) return E_NOINTERFACE;
  hr = pFactory->CreateInstance(pUnkOuter, riid, ppv);
  pFactory->Release();
  return hr;
}

VCOMRT_API HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, CLSID* pclsid) {
  if (lpszProgID == nullptr || pclsid == nullptr) return E_INVALIDARG;
  std::u16string text;
  const std::u16string key = std::u16string(vwin32::View(lpszProgID)) + u"\\CLSID";
  if (!vwin32::LookUpClassesValue(key, u"", text)) return CO_E_CLASSSTRING;
  return vwin32::GuidFromString(text, *pclsid) ? S_OK : CO_E_CLASSSTRING;
}
