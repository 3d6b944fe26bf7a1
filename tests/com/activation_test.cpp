// Class activation as a host that knows only class identifiers: the module is registered by the
// velluma command in a scratch registry, and this process, which never loads the module by path,
// creates both classes through the runtime's CoCreateInstance.
#define VELLUMA_DEFINE_IDS
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "velluma/velluma.h"
#include "vwin32/registry.h"
#include "vwin32/strings.h"

namespace fs = std::filesystem;

namespace {

TEST(ActivationTest, RegisteredClassesAreCreatedByIdentifier) {
  const fs::path dir = fs::path(VELLUMA_TEST_TMP) / "registry";
  fs::remove_all(dir);
  setenv("VELLUMA_REGISTRY_DIR", dir.c_str(), 1);

  void* pv = reinterpret_cast<void*>(1);
  EXPECT_EQ(
      CoCreateInstance(CLSID_PDFDataAdaptor, nullptr, CLSCTX_INPROC_SERVER, IID_IDataAdaptor, &pv),
      REGDB_E_CLASSNOTREG);
  EXPECT_EQ(pv, nullptr);

  const std::string command = "VELLUMA_MODULE='" + std::string(VELLUMA_MODULE_PATH) + "' '" +
                              VELLUMA_BIN_DIR + "/velluma' register --user > /dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);

  CLSID clsid{};
  ASSERT_EQ(CLSIDFromProgID(u"Velluma.PDFIssueInfoProvider.1", &clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_PDFIssueInfoProvider);
  EXPECT_EQ(CLSIDFromProgID(u"Velluma.Nothing", &clsid), CO_E_CLASSSTRING);

  IIssueInfoProvider* pProvider = nullptr;
  ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IIssueInfoProvider,
                             reinterpret_cast<void**>(&pProvider)),
            S_OK);
  IDataAdaptor* pAdaptor = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_PDFDataAdaptor, nullptr, CLSCTX_ALL, IID_IDataAdaptor,
                             reinterpret_cast<void**>(&pAdaptor)),
            S_OK);
  const std::u16string file =
      vwin32::FromUtf8(std::string(VELLUMA_SAMPLES_DIR) + "/front-page.pdf");
  EXPECT_EQ(pAdaptor->Open(0, file.c_str()), S_OK);
  BSTR path = SysAllocString(file.c_str());
  BSTR pub = SysAllocString(u"P");
  long nVal = -1;
  EXPECT_EQ(pProvider->AnalysePage(path, pub, nullptr, TRUE, FALSE, &nVal), S_OK);
  EXPECT_EQ(nVal, 0);
  SysFreeString(path);
  SysFreeString(pub);
  pAdaptor->Release();
  pProvider->Release();

  // A class whose module cannot be loaded.
  const GUID bogus = {0x12345678, 0x1, 0x2, {1, 2, 3, 4, 5, 6, 7, 8}};
  ASSERT_EQ(vwin32::UpdateHive(vwin32::RegHive::Machine,
                               [&](vwin32::CRegStore& s) {
                                 s.SetValue(
                                     u"CLSID\\" + vwin32::GuidToString(bogus) + u"\\InprocServer32",
                                     u"", 1, u"/nonexistent/libmissing.so");
                                 return S_OK;
                               }),
            S_OK);
  EXPECT_EQ(CoCreateInstance(bogus, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &pv),
            CO_E_ERRORINDLL);
  unsetenv("VELLUMA_REGISTRY_DIR");
}

}  // namespace
