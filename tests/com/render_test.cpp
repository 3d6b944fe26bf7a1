// Page rendering and the per-page source list, directly against the engine.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/pdfinstance.h"
#include "engine/render.h"

namespace {

class RenderTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { PTK_Initialize(0); }
  static void TearDownTestSuite() { PTK_Destroy(); }
  void OpenFrontPage() {
    const std::string path = std::string(VELLUMA_SAMPLES_DIR) + "/front-page.pdf";
    ASSERT_EQ(m_engine.Open(std::u16string(path.begin(), path.end()).c_str()), S_OK);
  }
  CPDFInstance m_engine;
};

TEST_F(RenderTest, RendersTheOpenDocumentsPages) {
  EXPECT_EQ(RenderPage(m_engine, 1, 1.0, nullptr), nullptr);  // nothing open
  OpenFrontPage();
  EXPECT_EQ(RenderPage(m_engine, 0, 1.0, nullptr), nullptr);
  EXPECT_EQ(RenderPage(m_engine, 2, 1.0, nullptr), nullptr);
  EXPECT_EQ(RenderPage(m_engine, 1, 0.0, nullptr), nullptr);

  auto image = RenderPage(m_engine, 1, 0.25, nullptr);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->GetWidth(), 248u);
  EXPECT_EQ(image->GetHeight(), 354u);
  EXPECT_GE(image->GetBpp(), 24u);
  EXPECT_EQ(image->GetJpegQuality(), 100);
  // The kit's top-down rows are stored the bitmap way, bottom-up.
  const auto* pHeader = static_cast<const BITMAPINFOHEADER*>(image->GetDIB());
  EXPECT_GT(pHeader->biHeight, 0);

  // Thickening 0 renders as well (and changes nothing about the size).
  const long zero = 0;
  auto thin = RenderPage(m_engine, 1, 0.25, &zero);
  ASSERT_NE(thin, nullptr);
  EXPECT_EQ(thin->GetWidth(), 248u);
}

class CListExtension : public IAppExtension {
 public:
  explicit CListExtension(const char16_t* psz, HRESULT hr = S_OK) : m_hr(hr) {
    m_info.pszPageSources = psz;
  }
  void ReleaseInfo(St_AppExtInfo** ppInfo) override { m_bReleased = *ppInfo == &m_info; }
  HRESULT FetchInfo(St_AppExtInfo** ppInfo, int32_t) override {
    if (SUCCEEDED(m_hr)) *ppInfo = &m_info;
    return m_hr;
  }
  St_AppExtInfo m_info = {};
  HRESULT m_hr;
  bool m_bReleased = false;
};

std::vector<std::u16string> Sources(const CPDFInstance& engine) {
  std::vector<std::u16string> out;
  for (int i = 0; i < engine.m_pageSources.GetSize(); ++i) out.push_back(engine.m_pageSources[i]);
  return out;
}

TEST_F(RenderTest, SplitsTheSourceListAtEverySeparator) {
  using V = std::vector<std::u16string>;
  CListExtension four(u"a;;b;");
  EXPECT_EQ(SetPageSources(m_engine, &four), S_OK);
  EXPECT_TRUE(four.m_bReleased);
  EXPECT_EQ(Sources(m_engine), (V{u"a", u"", u"b", u""}));

  CListExtension two(u"x.pdf;y.pdf", S_FALSE);
  EXPECT_EQ(SetPageSources(m_engine, &two), S_FALSE);
  EXPECT_EQ(Sources(m_engine), (V{u"x.pdf", u"y.pdf"}));

  CListExtension separator(u";");
  SetPageSources(m_engine, &separator);
  EXPECT_EQ(Sources(m_engine), (V{u"", u""}));

  // A failed fetch keeps the list; an empty string empties it.
  CListExtension failing(u"z", E_FAIL);
  EXPECT_EQ(SetPageSources(m_engine, &failing), E_FAIL);
  EXPECT_FALSE(failing.m_bReleased);
  EXPECT_EQ(Sources(m_engine), (V{u"", u""}));
  CListExtension empty(u"");
  EXPECT_EQ(SetPageSources(m_engine, &empty), S_OK);
  EXPECT_TRUE(Sources(m_engine).empty());
}

}  // namespace
