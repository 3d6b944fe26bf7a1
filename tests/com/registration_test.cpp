// Registration of the module into a scratch registry (DllRegisterServer, DllUnregisterServer,
// DllInstall), and the kit's lifetime while an issue-information provider lives.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "com_fixture.h"
#include "vwin32/registry.h"
#include "vwin32/strings.h"

namespace fs = std::filesystem;

namespace {

using PFN_Register = HRESULT (*)();
using PFN_DllInstall = HRESULT (*)(BOOL, const char16_t*);

class RegistrationTest : public ComModuleTest {
 protected:
  void SetUp() override {
    m_dir = fs::path(VELLUMA_TEST_TMP) / "registry";
    fs::remove_all(m_dir);
    setenv("VELLUMA_REGISTRY_DIR", m_dir.c_str(), 1);
    m_register = reinterpret_cast<PFN_Register>(dlsym(s_hModule, "DllRegisterServer"));
    m_unregister = reinterpret_cast<PFN_Register>(dlsym(s_hModule, "DllUnregisterServer"));
    m_install = reinterpret_cast<PFN_DllInstall>(dlsym(s_hModule, "DllInstall"));
    ASSERT_NE(m_register, nullptr);
    ASSERT_NE(m_unregister, nullptr);
    ASSERT_NE(m_install, nullptr);
  }
  void TearDown() override { unsetenv("VELLUMA_REGISTRY_DIR"); }

  static vwin32::CRegStore Hive(vwin32::RegHive hive) {
    vwin32::CRegStore store;
    EXPECT_TRUE(vwin32::ReadHive(hive, store));
    return store;
  }
  static std::u16string Value(const vwin32::CRegStore& store, const std::u16string& key,
                              const std::u16string& name = u"") {
    const vwin32::CRegStore::Value* v = store.GetValue(key, name);
    return v != nullptr ? v->data : u"<none>";
  }

  fs::path m_dir;
  PFN_Register m_register = nullptr;
  PFN_Register m_unregister = nullptr;
  PFN_DllInstall m_install = nullptr;
};

// Machine-wide registration writes the scripts' keys and the type library's; registering twice
// is harmless; unregistering leaves the store as it was, other servers' keys included. Then
// DllInstall with "username" still registers machine-wide, and "USER" / "user" move every later
// registration to the user's hive for the rest of the module's life.
TEST_F(RegistrationTest, RoundTripsLeaveTheStoreAsBefore) {
  const std::u16string adaptor = u"CLSID\\" + vwin32::GuidToString(CLSID_PDFDataAdaptor);
  const std::u16string provider = u"CLSID\\" + vwin32::GuidToString(CLSID_PDFIssueInfoProvider);
  const std::u16string typeLib = u"TypeLib\\" + vwin32::GuidToString(LIBID_VellumaLib) + u"\\1.0";
  // Another server's keys and the roots that are never removed.
  ASSERT_EQ(vwin32::UpdateHive(
                vwin32::RegHive::Machine,
                [](vwin32::CRegStore& s) {
                  for (const char16_t* root : {u"AppID", u"CLSID", u"Interface", u"TypeLib"})
                    s.CreateKey(root);
                  s.SetValue(
                      u"CLSID\\{00000000-1111-2222-3333-444444444444}"
                      u"\\InprocServer32",
                      u"", 1, u"/other.so");
                  s.SetValue(u"Other.Class", u"", 1, u"Other");
                  return S_OK;
                }),
            S_OK);
  const vwin32::CRegStore before = Hive(vwin32::RegHive::Machine);

  ASSERT_EQ(m_register(), S_OK);
  ASSERT_EQ(m_register(), S_OK);
  vwin32::CRegStore s = Hive(vwin32::RegHive::Machine);
  EXPECT_EQ(Value(s, adaptor), u"PDFDataAdaptor Class");
  EXPECT_EQ(Value(s, adaptor + u"\\InprocServer32", u"ThreadingModel"), u"Apartment");
  EXPECT_EQ(Value(s, adaptor + u"\\InprocServer32"), vwin32::FromUtf8(VELLUMA_MODULE_PATH));
  EXPECT_EQ(Value(s, provider + u"\\ProgID"), u"Velluma.PDFIssueInfoProvider.1");
  EXPECT_TRUE(s.KeyExists(provider + u"\\Programmable"));
  EXPECT_FALSE(s.KeyExists(adaptor + u"\\Programmable"));
  EXPECT_EQ(Value(s, u"Velluma.PDFDataAdaptor\\CurVer"), u"Velluma.PDFDataAdaptor.1");
  EXPECT_EQ(Value(s, u"AppID\\Velluma.DLL", u"AppID"), vwin32::GuidToString(APPID_Velluma));
  EXPECT_EQ(Value(s, typeLib), u"Velluma 1.0 Type Library");
  EXPECT_EQ(Value(s, typeLib + u"\\0\\win64"), vwin32::FromUtf8(VELLUMA_MODULE_PATH));
  EXPECT_TRUE(Hive(vwin32::RegHive::User).IsEmpty());

  ASSERT_EQ(m_unregister(), S_OK);
  EXPECT_EQ(Hive(vwin32::RegHive::Machine), before);
  ASSERT_EQ(m_unregister(), S_OK);  // nothing left to remove
  EXPECT_EQ(Hive(vwin32::RegHive::Machine), before);

  ASSERT_EQ(m_install(TRUE, u"username"), S_OK);
  EXPECT_TRUE(Hive(vwin32::RegHive::User).IsEmpty());
  ASSERT_EQ(m_install(FALSE, u"username"), S_OK);
  EXPECT_EQ(Hive(vwin32::RegHive::Machine), before);

  ASSERT_EQ(m_install(TRUE, u"USER"), S_OK);
  EXPECT_EQ(Hive(vwin32::RegHive::Machine), before);
  EXPECT_EQ(Value(Hive(vwin32::RegHive::User), provider), u"PDFIssueInfoProvider Class");
  ASSERT_EQ(m_register(), S_OK);  // stays per user
  EXPECT_EQ(Hive(vwin32::RegHive::Machine), before);
  ASSERT_EQ(m_install(FALSE, u"user"), S_OK);
  EXPECT_FALSE(Hive(vwin32::RegHive::User).KeyExists(provider));

  // Registrations racing one another (each one a locked read-modify-write) leave a whole hive.
  std::vector<std::thread> racers;
  for (int t = 0; t < 4; ++t)
    racers.emplace_back([this, t] {
      for (int i = 0; i < 5; ++i) EXPECT_EQ((t % 2 == 0 ? m_register : m_unregister)(), S_OK);
    });
  for (std::thread& racer : racers) racer.join();
  ASSERT_EQ(m_unregister(), S_OK);
  EXPECT_FALSE(Hive(vwin32::RegHive::User).KeyExists(provider));

  // A registry folder that cannot be created: a failure result, nothing written.
  const fs::path file = m_dir / "plain-file";
  std::ofstream(file) << "x";
  setenv("VELLUMA_REGISTRY_DIR", (file / "sub").c_str(), 1);
  EXPECT_EQ(m_register(), E_ACCESSDENIED);
  EXPECT_EQ(m_install(TRUE, u"user"), E_ACCESSDENIED);
  // A damaged hive is reported, not overwritten.
  setenv("VELLUMA_REGISTRY_DIR", m_dir.c_str(), 1);
  std::ofstream(m_dir / "user.reg") << "garbage";
  EXPECT_EQ(m_register(), REGDB_E_READREGDB);
}

// The provider holds an inner data adaptor: the kit runs while it lives, whatever other
// adaptors come and go, and stops with it.
TEST_F(ComModuleTest, KitRunsWhileAProviderLives) {
  const int nStarts = g_nKitStarts, nStops = g_nKitStops;
  IClassFactory* pFactory = nullptr;
  ASSERT_EQ(s_pGetClassObject(CLSID_PDFIssueInfoProvider, IID_IClassFactory,
                              reinterpret_cast<void**>(&pFactory)),
            S_OK);
  IIssueInfoProvider* pProvider = nullptr;
  ASSERT_EQ(pFactory->CreateInstance(nullptr, IID_IIssueInfoProvider,
                                     reinterpret_cast<void**>(&pProvider)),
            S_OK);
  pFactory->Release();
  EXPECT_EQ(g_nKitStarts, nStarts + 1);

  IDataAdaptor* pAdaptor = NewAdaptor();
  ASSERT_NE(pAdaptor, nullptr);
  pAdaptor->Release();
  EXPECT_EQ(g_nKitStops, nStops);
  EXPECT_EQ(g_nKitStarts, nStarts + 1);

  // Both of its engines hold a document when it goes.
  BSTR file = SysAllocString(Sample("front-page.pdf").c_str());
  BSTR pub = SysAllocString(u"P");
  BSTR xml = SysAllocString(u"");
  long nVal = -1;
  EXPECT_EQ(pProvider->AnalysePage(file, pub, xml, TRUE, FALSE, &nVal), S_OK);
  EXPECT_EQ(nVal, 0);
  SysFreeString(file);
  SysFreeString(pub);
  SysFreeString(xml);
  EXPECT_EQ(s_pCanUnloadNow(), S_FALSE);
  EXPECT_EQ(pProvider->Release(), 0u);
  EXPECT_EQ(g_nKitStops, nStops + 1);
  EXPECT_EQ(s_pCanUnloadNow(), S_OK);
}

}  // namespace
