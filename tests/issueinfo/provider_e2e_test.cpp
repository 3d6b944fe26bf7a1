// The issue-information provider as a bulk-intake host uses it: libvelluma.so loaded with dlopen,
// the provider created through its class object, the bundled pages analysed on the general path
// and on the configured path (with a configuration written here), bad input of every kind, and
// late binding through IDispatch.
#define VELLUMA_DEFINE_IDS
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "pdfwriter.h"
#include "velluma/velluma.h"
#include "vwin32/strings.h"

namespace fs = std::filesystem;

namespace {

using PFN_DllGetClassObject = HRESULT (*)(REFCLSID, REFIID, void**);

struct Bstr {
  BSTR b;
  explicit Bstr(const std::string& utf8) : b(vwin32::ToBstr(vwin32::FromUtf8(utf8))) {}
  ~Bstr() { SysFreeString(b); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
};

struct Answers {
  std::string issueName, issueDate, pageName, pageId, pageCount;
};

class IssueProviderTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    void* module = dlopen(VELLUMA_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    s_getClassObject = reinterpret_cast<PFN_DllGetClassObject>(dlsym(module, "DllGetClassObject"));
    ASSERT_NE(s_getClassObject, nullptr);
  }

  void SetUp() override {
    IClassFactory* factory = nullptr;
    ASSERT_EQ(s_getClassObject(CLSID_PDFIssueInfoProvider, IID_IClassFactory,
                               reinterpret_cast<void**>(&factory)),
              S_OK);
    ASSERT_EQ(
        factory->CreateInstance(nullptr, IID_IIssueInfoProvider, reinterpret_cast<void**>(&m_p)),
        S_OK);
    factory->Release();
    m_dir = fs::path(VELLUMA_TEST_TMP) / "issue";
    fs::create_directories(m_dir / "Config");
  }
  void TearDown() override {
    if (m_p != nullptr) m_p->Release();
  }

  static std::string Sample(const char* name) {
    return std::string(VELLUMA_SAMPLES_DIR) + "/" + name;
  }

  // AnalysePage's out value; -1 when it was not written.
  long Analyse(const std::string& file, const std::string& pub, bool front, bool all) {
    const Bstr path(file), name(pub), xml(m_dir.string());
    long nVal = -1;
    EXPECT_EQ(m_p->AnalysePage(path.b, name.b, xml.b, front, all, &nVal), S_OK);
    return nVal;
  }

  std::string Get(HRESULT (IIssueInfoProvider::*get)(BSTR*)) {
    BSTR b = nullptr;
    EXPECT_EQ((m_p->*get)(&b), S_OK);
    const std::string text = vwin32::ToUtf8(vwin32::FromBstr(b));
    SysFreeString(b);
    return text;
  }

  Answers All() {
    return {Get(&IIssueInfoProvider::get_IssueNameStr), Get(&IIssueInfoProvider::get_IssueDateStr),
            Get(&IIssueInfoProvider::get_PageNameStr), Get(&IIssueInfoProvider::get_PageIdStr),
            Get(&IIssueInfoProvider::get_PageCountStr)};
  }

  long LoadConfig(const std::string& xml) {
    std::ofstream(m_dir / "Config" / "IssueInfo.xml") << xml;
    const Bstr root(m_dir.string() + "/");
    long nVal = -1;
    EXPECT_EQ(m_p->LoadIssueInfoXML(root.b, &nVal), S_OK);
    return nVal;
  }

  static inline PFN_DllGetClassObject s_getClassObject = nullptr;
  IIssueInfoProvider* m_p = nullptr;
  fs::path m_dir;
};

// The general path on both bundled pages: the front page's count notice makes it the front page
// (头版, the count in decimal, no page name); the inner page has none.
TEST_F(IssueProviderTest, GeneralPathOnFrontAndInnerPages) {
  EXPECT_EQ(Analyse(Sample("front-page.pdf"), "滨江日报", true, false), 0);
  Answers a = All();
  EXPECT_EQ(a.issueName, "滨江日报");
  EXPECT_EQ(a.issueDate, "2026年12月7日 星期一");
  EXPECT_EQ(a.pageId, "头版");
  EXPECT_EQ(a.pageName, "");
  EXPECT_EQ(a.pageCount, "16");

  EXPECT_EQ(Analyse(Sample("inner-page.pdf"), "Other", true, false), 1);
  a = All();
  EXPECT_EQ(a.issueName, "Other");
  EXPECT_EQ(a.pageId, "");
  EXPECT_EQ(a.pageCount, "0(无总版面数)");
  // With every page's information asked for, the same page counts as analysed.
  EXPECT_EQ(Analyse(Sample("inner-page.pdf"), "Other", true, true), 0);
}

// The configured path reads only its regions: the front page's header block with the date,
// count notice and issue number; an inner page through its other-page region.
TEST_F(IssueProviderTest, ConfiguredPathOnFrontAndInnerPages) {
  ASSERT_EQ(LoadConfig("<IssueInfoSet>"
                       "<IssueInfo IssueName=\"滨江日报\">"
                       "<FrontPage Left=\"400\" Top=\"60\" Right=\"600\" Bottom=\"130\"/>"
                       "<OtherPage Left=\"0\" Top=\"20\" Right=\"992\" Bottom=\"70\"/>"
                       "</IssueInfo>"
                       "<IssueInfo IssueName=\"Empty\">"
                       "<FrontPage Left=\"2000\" Top=\"2000\" Right=\"2100\" Bottom=\"2100\"/>"
                       "</IssueInfo></IssueInfoSet>"),
            1);
  EXPECT_EQ(Analyse(Sample("front-page.pdf"), "滨江日报", true, false), 0);
  Answers a = All();
  EXPECT_EQ(a.issueDate, "2026年12月7日 星期一");
  EXPECT_EQ(a.pageId, "头版");
  EXPECT_EQ(a.pageCount, "16");

  // Not a front page, no count in the front region: the other-page region gives id and date.
  EXPECT_EQ(Analyse(Sample("inner-page.pdf"), "滨江日报", false, true), 0);
  a = All();
  EXPECT_EQ(a.pageId, "A3");
  EXPECT_EQ(a.issueDate, "2026年12月7日 星期一");
  EXPECT_EQ(a.pageCount, "");

  // A region outside the page: nothing found, the count says so, the front page still 头版.
  EXPECT_EQ(Analyse(Sample("front-page.pdf"), "Empty", true, false), 0);
  a = All();
  EXPECT_EQ(a.issueDate, "");
  EXPECT_EQ(a.pageId, "头版");
  EXPECT_EQ(a.pageCount, "0(无总版面数)");

  // Close empties the table (the publication takes the general path again) and keeps the
  // answers readable.
  long nVal = -1;
  EXPECT_EQ(m_p->Close(&nVal), S_OK);
  EXPECT_EQ(nVal, 0);
  EXPECT_EQ(All().pageCount, "0(无总版面数)");
  EXPECT_EQ(Analyse(Sample("front-page.pdf"), "滨江日报", true, false), 0);
  EXPECT_EQ(All().issueDate, "2026年12月7日 星期一");
}

// Bad input in any order: documented out values, never a crash, the object stays usable.
TEST_F(IssueProviderTest, BadInputLeavesTheProviderUsable) {
  // Getters and Close before anything.
  EXPECT_EQ(All().issueName, "");
  long nVal = -1;
  EXPECT_EQ(m_p->Close(&nVal), S_OK);
  EXPECT_EQ(nVal, 0);
  // A missing or empty configuration file, a missing folder.
  EXPECT_EQ(LoadConfig(""), 0);
  const Bstr missing("/nonexistent/folder");
  EXPECT_EQ(m_p->LoadIssueInfoXML(missing.b, &nVal), S_OK);
  EXPECT_EQ(nVal, 0);
  EXPECT_EQ(m_p->LoadIssueInfoXML(nullptr, &nVal), S_OK);
  EXPECT_EQ(nVal, 0);

  // Files that do not open: the out value is not written, only the issue name changes.
  const fs::path text = m_dir / "not-a.pdf";
  std::ofstream(text) << "plain text";
  vtest::PdfWriter encrypted;
  encrypted.AddPage(600, 800, "");
  encrypted.SetEncrypted(true);
  ASSERT_TRUE(encrypted.Save((m_dir / "encrypted.pdf").string()));
  for (const std::string& file : {(m_dir / "missing.pdf").string(), text.string(),
                                  (m_dir / "encrypted.pdf").string(), std::string()}) {
    EXPECT_EQ(Analyse(file, "P", true, false), -1) << file;
    EXPECT_EQ(Get(&IIssueInfoProvider::get_IssueNameStr), "P");
  }
  EXPECT_EQ(m_p->AnalysePage(nullptr, nullptr, nullptr, 0, 0, nullptr), S_OK);

  // A document without pages, and a page without text, on both paths; a non-ASCII path.
  const fs::path empty = m_dir / "no-pages.pdf";
  std::ofstream(empty, std::ios::binary) << vtest::RawPdf(
      {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [] /Count 0 >>"});
  // The kit does not open a document without pages: a file that does not open.
  EXPECT_EQ(Analyse(empty.string(), "P", true, false), -1);
  vtest::PdfWriter blank;
  blank.AddPage(600, 800, "");
  const fs::path blankPath = m_dir / "空白页.pdf";
  ASSERT_TRUE(blank.Save(blankPath.string()));
  EXPECT_EQ(Analyse(blankPath.string(), "P", true, false), 1);
  ASSERT_EQ(LoadConfig("<IssueInfoSet><IssueInfo IssueName=\"P\"/></IssueInfoSet>"), 1);
  EXPECT_EQ(Analyse(blankPath.string(), "P", true, false), 1);
  EXPECT_EQ(Analyse(empty.string(), "P", true, false), -1);
  const fs::path copy = m_dir / "报纸 头版.pdf";
  fs::copy_file(Sample("front-page.pdf"), copy, fs::copy_options::overwrite_existing);
  EXPECT_EQ(Analyse(copy.string(), "Q", true, false), 0);
  EXPECT_EQ(All().pageCount, "16");
}

// Script hosts bind late: names ignoring case, fixed identifiers, Invoke with positional and
// named arguments, and the argument errors.
TEST_F(IssueProviderTest, LateBindingThroughInvoke) {
  IDispatch* pDisp = nullptr;
  ASSERT_EQ(m_p->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&pDisp)), S_OK);
  std::u16string names[] = {u"analysepage", u"BFRONTPAGE", u"bstrPathName"};
  LPOLESTR rgsz[] = {names[0].data(), names[1].data(), names[2].data()};
  DISPID ids[3] = {};
  ASSERT_EQ(pDisp->GetIDsOfNames(IID_NULL, rgsz, 3, 0, ids), S_OK);
  EXPECT_EQ(ids[0], DISPID_IssueInfo_AnalysePage);
  EXPECT_EQ(ids[1], 3);
  EXPECT_EQ(ids[2], 0);
  std::u16string unknown = u"Analyse";
  LPOLESTR rgUnknown[] = {unknown.data()};
  EXPECT_EQ(pDisp->GetIDsOfNames(IID_NULL, rgUnknown, 1, 0, ids), DISP_E_UNKNOWNNAME);
  std::u16string prop = u"pagecountstr";
  LPOLESTR rgProp[] = {prop.data()};
  ASSERT_EQ(pDisp->GetIDsOfNames(IID_NULL, rgProp, 1, 0, ids), S_OK);
  EXPECT_EQ(ids[0], DISPID_IssueInfo_PageCountStr);

  // AnalysePage(path, pub, xml, bFrontPage, bGetAllPageInfo): arguments in reverse order.
  const std::u16string file = vwin32::FromUtf8(Sample("front-page.pdf"));
  VARIANT args[5];
  for (VARIANT& v : args) VariantInit(&v);
  args[4].vt = VT_BSTR;
  args[4].bstrVal = SysAllocString(file.c_str());
  args[3].vt = VT_BSTR;
  args[3].bstrVal = SysAllocString(u"X");
  args[2].vt = VT_BSTR;
  args[2].bstrVal = SysAllocString(u"");
  args[1].vt = VT_BOOL;
  args[1].boolVal = VARIANT_TRUE;
  args[0].vt = VT_I4;
  args[0].lVal = 0;
  DISPPARAMS params{args, nullptr, 5, 0};
  VARIANT result;
  VariantInit(&result);
  UINT argErr = 99;
  ASSERT_EQ(pDisp->Invoke(DISPID_IssueInfo_AnalysePage, IID_NULL, 0, DISPATCH_METHOD, &params,
                          &result, nullptr, &argErr),
            S_OK);
  EXPECT_EQ(result.vt, VT_I4);
  EXPECT_EQ(result.lVal, 0);
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  ASSERT_EQ(pDisp->Invoke(DISPID_IssueInfo_PageCountStr, IID_NULL, 0,
                          DISPATCH_PROPERTYGET | DISPATCH_METHOD, &none, &result, nullptr, nullptr),
            S_OK);
  ASSERT_EQ(result.vt, VT_BSTR);
  EXPECT_EQ(vwin32::FromBstr(result.bstrVal), u"16");
  VariantClear(&result);

  // A number where a string belongs; an argument left out; a missing optional marker.
  args[3].vt = VT_I4;
  EXPECT_EQ(pDisp->Invoke(DISPID_IssueInfo_AnalysePage, IID_NULL, 0, DISPATCH_METHOD, &params,
                          &result, nullptr, &argErr),
            DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argErr, 3u);
  args[3].vt = VT_BSTR;
  DISPPARAMS four{args + 1, nullptr, 4, 0};
  EXPECT_EQ(pDisp->Invoke(DISPID_IssueInfo_AnalysePage, IID_NULL, 0, DISPATCH_METHOD, &four,
                          &result, nullptr, &argErr),
            DISP_E_PARAMNOTOPTIONAL);
  EXPECT_EQ(pDisp->Invoke(DISPID_IssueInfo_Close, IID_NULL, 0, DISPATCH_PROPERTYPUT, &none, &result,
                          nullptr, &argErr),
            DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(pDisp->Invoke(0x12345, IID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, &argErr),
            DISP_E_MEMBERNOTFOUND);
  for (VARIANT& v : args) VariantClear(&v);
  pDisp->Release();
}

}  // namespace
