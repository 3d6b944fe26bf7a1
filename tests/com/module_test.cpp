// The module's class object, its lock count, aggregation and the kit's start and stop by the
// count of live data adaptors.
#include <dlfcn.h>

#include "com_fixture.h"

std::atomic<int> g_nKitStarts{0};
std::atomic<int> g_nKitStops{0};

// Interposers of the kit's process-wide start and stop: they count the calls and pass them on.
extern "C" __attribute__((visibility("default"))) void PTK_Initialize(int nReserved) {
  ++g_nKitStarts;
  auto* pNext = reinterpret_cast<void (*)(int)>(dlsym(RTLD_NEXT, "PTK_Initialize"));
  if (pNext != nullptr) pNext(nReserved);
}

extern "C" __attribute__((visibility("default"))) void PTK_Destroy() {
  ++g_nKitStops;
  auto* pNext = reinterpret_cast<void (*)()>(dlsym(RTLD_NEXT, "PTK_Destroy"));
  if (pNext != nullptr) pNext();
}

namespace {

TEST_F(ComModuleTest, ClassObjectAnswersOnlyItsClassAndInterfaces) {
  void* pv = reinterpret_cast<void*>(1);
  EXPECT_EQ(s_pGetClassObject(CLSID_PDFDataAdaptor, IID_IClassFactory, nullptr), E_POINTER);
  EXPECT_EQ(s_pGetClassObject(IID_IDataAdaptor, IID_IClassFactory, &pv), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(s_pGetClassObject(CLSID_PDFDataAdaptor, IID_IDataAdaptor, &pv), E_NOINTERFACE);
  EXPECT_EQ(pv, nullptr);

  IClassFactory* pFactory = Factory();
  ASSERT_NE(pFactory, nullptr);
  void* pObj = reinterpret_cast<void*>(1);
  EXPECT_EQ(pFactory->CreateInstance(nullptr, IID_IBlockList, &pObj), E_NOINTERFACE);
  EXPECT_EQ(pObj, nullptr);
  EXPECT_EQ(pFactory->CreateInstance(nullptr, IID_IDataAdaptor, nullptr), E_POINTER);
  pFactory->Release();
}

TEST_F(ComModuleTest, ExportsOnlyTheEntryPointsAndIdentifiers) {
  EXPECT_NE(dlsym(s_hModule, "CLSID_PDFDataAdaptor"), nullptr);
  EXPECT_NE(dlsym(s_hModule, "IID_IBlockList"), nullptr);
  auto pFlags =
      reinterpret_cast<PFN_VellumaGetBlockFlags>(dlsym(s_hModule, "VellumaGetBlockFlags"));
  ASSERT_NE(pFlags, nullptr);
  unsigned long dwFlags = 7;
  EXPECT_EQ(pFlags(nullptr, &dwFlags), E_POINTER);
  EXPECT_EQ(dwFlags, 7u);
  // The module's own code stays inside it.
  EXPECT_EQ(dlsym(s_hModule, "_ZN7vmodule4LockEv"), nullptr);
  EXPECT_EQ(dlsym(s_hModule, "_ZN12CPDFInstance4OpenEPKDs"), nullptr);
}

TEST_F(ComModuleTest, LocksKeepTheModuleLoaded) {
  ASSERT_EQ(s_pCanUnloadNow(), S_OK);
  IClassFactory* pFactory = Factory();
  ASSERT_NE(pFactory, nullptr);
  EXPECT_EQ(s_pCanUnloadNow(), S_FALSE);  // a held class object locks the module
  EXPECT_EQ(pFactory->LockServer(TRUE), S_OK);
  pFactory->Release();
  EXPECT_EQ(s_pCanUnloadNow(), S_FALSE);
  pFactory = Factory();
  EXPECT_EQ(pFactory->LockServer(FALSE), S_OK);
  pFactory->Release();
  EXPECT_EQ(s_pCanUnloadNow(), S_OK);

  IDataAdaptor* pAdaptor = NewAdaptor();
  ASSERT_NE(pAdaptor, nullptr);
  EXPECT_EQ(s_pCanUnloadNow(), S_FALSE);  // a live object locks it too
  EXPECT_EQ(pAdaptor->Release(), 0u);
  EXPECT_EQ(s_pCanUnloadNow(), S_OK);
}

TEST_F(ComModuleTest, KitRunsExactlyWhileAnAdaptorLives) {
  const int nStarts = g_nKitStarts, nStops = g_nKitStops;
  IDataAdaptor* pFirst = NewAdaptor();
  IDataAdaptor* pSecond = NewAdaptor();
  ASSERT_NE(pFirst, nullptr);
  ASSERT_NE(pSecond, nullptr);
  EXPECT_EQ(g_nKitStarts, nStarts + 1);
  EXPECT_EQ(g_nKitStops, nStops);

  // A document left open is closed before the kit stops.
  ASSERT_EQ(pSecond->Open(0, Sample("front-page.pdf").c_str()), S_OK);
  pFirst->Release();
  EXPECT_EQ(g_nKitStops, nStops);
  pSecond->Release();
  EXPECT_EQ(g_nKitStops, nStops + 1);

  // A new adaptor starts the kit again.
  IDataAdaptor* pThird = NewAdaptor();
  ASSERT_NE(pThird, nullptr);
  EXPECT_EQ(g_nKitStarts, nStarts + 2);
  EXPECT_EQ(pThird->Open(0, Sample("front-page.pdf").c_str()), S_OK);
  pThird->Release();
  EXPECT_EQ(g_nKitStops, nStops + 2);
}

// An outer object that aggregates the adaptor and counts the references it is given.
class COuter : public IUnknown {
 public:
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown) {
      *ppv = this;
      AddRef();
      return S_OK;
    }
    // Everything else the outer object does not know goes to the inner object.
    return m_pInner != nullptr ? m_pInner->QueryInterface(riid, ppv) : E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++m_nRefs; }
  ULONG Release() override { return --m_nRefs; }

  ULONG m_nRefs = 1;
  IUnknown* m_pInner = nullptr;
};

TEST_F(ComModuleTest, AggregatedAdaptorDelegatesToItsOuterObject) {
  IClassFactory* pFactory = Factory();
  ASSERT_NE(pFactory, nullptr);
  COuter outer;
  void* pv = reinterpret_cast<void*>(1);
  EXPECT_EQ(pFactory->CreateInstance(&outer, IID_IDataAdaptor, &pv), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(pv, nullptr);

  const int nStops = g_nKitStops;
  ASSERT_EQ(
      pFactory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.m_pInner)),
      S_OK);
  pFactory->Release();
  EXPECT_EQ(outer.m_nRefs, 1u);  // creation does not touch the outer object's count

  IDataAdaptor* pAdaptor = nullptr;
  ASSERT_EQ(outer.m_pInner->QueryInterface(IID_IDataAdaptor, reinterpret_cast<void**>(&pAdaptor)),
            S_OK);
  EXPECT_EQ(outer.m_nRefs, 2u);  // references to the interface are the outer object's

  // The interface's IUnknown is the outer object's identity.
  IUnknown* pIdentity = nullptr;
  ASSERT_EQ(pAdaptor->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&pIdentity)), S_OK);
  EXPECT_EQ(pIdentity, &outer);
  pIdentity->Release();

  // The aggregated object works as the plain one.
  EXPECT_EQ(pAdaptor->Open(0, Sample("front-page.pdf").c_str()), S_OK);
  long nPages = 0;
  EXPECT_EQ(pAdaptor->get_TotalPageCount(&nPages), S_OK);
  EXPECT_EQ(nPages, 1);
  pAdaptor->Release();
  EXPECT_EQ(outer.m_nRefs, 1u);

  // The outer object's release of the inner IUnknown destroys the adaptor.
  EXPECT_EQ(outer.m_pInner->Release(), 0u);
  outer.m_pInner = nullptr;
  EXPECT_EQ(g_nKitStops, nStops + 1);
  EXPECT_EQ(s_pCanUnloadNow(), S_OK);
}

}  // namespace
