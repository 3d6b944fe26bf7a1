// The module object (lock count, live-adaptor count, the class table) and the class objects of
// PDFDataAdaptor and PDFIssueInfoProvider.
#include "com/module.h"

#include <atomic>
#include <mutex>
#include <new>

#include "com/dataadaptor.h"
#include "com/issueprovider.h"
#include "kit/pdfkit.h"
#include "velluma/velluma.h"

namespace vmodule {
namespace {

std::atomic<int32_t> g_nLockCount{0};
// Objects are used on the thread that created them, but hosts with several apartments may
// create adaptors on several threads: the count is atomic so that the kit starts and stops
// exactly once per run of adaptors.
std::atomic<int32_t> g_nLiveAdaptors{0};

using PFN_CreateInstance = HRESULT (*)(IUnknown* pUnkOuter, REFIID riid, void** ppv);

// A class object. Its reference count is nominal: it is never destroyed, and every reference a
// client holds locks the module so that it is not unloaded under the client.
class CClassFactory final : public IClassFactory {
 public:
  explicit CClassFactory(PFN_CreateInstance pfnCreate) : m_pfnCreate(pfnCreate) {}

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *ppv = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override {
    Lock();
    return static_cast<ULONG>(++m_nRefCount);
  }
  ULONG Release() override {
    const int32_t n = --m_nRefCount;
    Unlock();
    return static_cast<ULONG>(n);
  }

  HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    // An aggregating outer object may ask only for the inner IUnknown.
    if (pUnkOuter != nullptr && !(riid == IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    return m_pfnCreate(pUnkOuter, riid, ppv);
  }
  HRESULT LockServer(BOOL fLock) override {
    if (fLock)
      Lock();
    else
      Unlock();
    return S_OK;
  }

 private:
  PFN_CreateInstance m_pfnCreate;
  std::atomic<int32_t> m_nRefCount{0};
};

}  // namespace

int32_t Lock() {
  return ++g_nLockCount;
}
int32_t Unlock() {
  return --g_nLockCount;
}
int32_t GetLockCount() {
  return g_nLockCount.load();
}

// Adaptors come and go on the host's threads: the count and the kit's start and stop change
// together, so no adaptor runs before the kit has started or after another thread stopped it.
std::mutex& KitMutex() {
  static std::mutex m;
  return m;
}

void AdaptorCreated() {
  std::lock_guard<std::mutex> lock(KitMutex());
  if (g_nLiveAdaptors.fetch_add(1) == 0) PTK_Initialize(0);
}

void AdaptorDestroyed() {
  std::lock_guard<std::mutex> lock(KitMutex());
  if (g_nLiveAdaptors.fetch_sub(1) == 1) PTK_Destroy();
}

int32_t GetLiveAdaptorCount() {
  return g_nLiveAdaptors.load();
}

// The class table. Each class object is created on first request; the initialisation of a
// function-local static is thread-safe.
IClassFactory* GetDataAdaptorFactory() {
  static CClassFactory factory(&CPDFDataAdaptor::CreateInstance);
  return &factory;
}

IClassFactory* GetIssueInfoProviderFactory() {
  static CClassFactory factory(&CPDFIssueInfoProvider::CreateInstance);
  return &factory;
}

HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (rclsid == CLSID_PDFDataAdaptor) return GetDataAdaptorFactory()->QueryInterface(riid, ppv);
  if (rclsid == CLSID_PDFIssueInfoProvider)
    return GetIssueInfoProviderFactory()->QueryInterface(riid, ppv);
  return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT CanUnloadNow() {
  return GetLockCount() == 0 ? S_OK : S_FALSE;
}

}  // namespace vmodule
