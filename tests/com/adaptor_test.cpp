// The data adaptor through IDataAdaptor: result codes, page loading and lists, page images and
// the per-page source list.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "com_fixture.h"
#include "engine/render.h"

namespace {

constexpr unsigned long kLevel0TextImages = LPF_TEXT | LPF_IMAGES;
constexpr long kUntouched = 0x5A5A;

class AdaptorTest : public ComModuleTest {
 protected:
  void SetUp() override {
    m_pAdaptor = NewAdaptor();
    ASSERT_NE(m_pAdaptor, nullptr);
  }
  void TearDown() override {
    if (m_pAdaptor != nullptr) {
      EXPECT_EQ(m_pAdaptor->Release(), 0u);
    }
  }
  void OpenAndLoad() {
    ASSERT_EQ(m_pAdaptor->Open(0, Sample("front-page.pdf").c_str()), S_OK);
    ASSERT_EQ(m_pAdaptor->LoadPage(1, kLevel0TextImages, FALSE), S_OK);
  }
  static long Count(IBlockList* pList) {
    long n = -1;
    EXPECT_EQ(pList->GetCount(&n), S_OK);
    return n;
  }
  long TextCount(RECT* prc, unsigned long dwFlags) {
    IBlockList* pList = nullptr;
    EXPECT_EQ(m_pAdaptor->GetTextList(prc, dwFlags, &pList), S_OK);
    if (pList == nullptr) return -1;
    const long n = Count(pList);
    pList->Release();
    return n;
  }

  IDataAdaptor* m_pAdaptor = nullptr;
};

TEST_F(AdaptorTest, WithoutDocumentEveryQueryFailsAndLeavesOutValues) {
  long value = kUntouched;
  BSTR bstr = nullptr;
  IBlockList* pList = nullptr;
  EXPECT_EQ(m_pAdaptor->LoadPage(1, kLevel0TextImages, FALSE), E_FAIL);
  EXPECT_EQ(m_pAdaptor->get_TotalPageCount(&value), E_FAIL);
  EXPECT_EQ(m_pAdaptor->get_CurrentPage(&value), E_FAIL);
  EXPECT_EQ(m_pAdaptor->GetCurPageInfo(&value), E_FAIL);
  EXPECT_EQ(m_pAdaptor->GetPageImage(1, 1.0, &value), E_FAIL);
  EXPECT_EQ(value, kUntouched);
  EXPECT_EQ(m_pAdaptor->get_FileName(&bstr), E_FAIL);
  EXPECT_EQ(bstr, nullptr);
  EXPECT_EQ(m_pAdaptor->GetTextList(nullptr, 0, &pList), E_FAIL);
  EXPECT_EQ(m_pAdaptor->GetPicList(nullptr, 0, &pList), E_FAIL);
  EXPECT_EQ(m_pAdaptor->GetArticleList(0, &pList), E_FAIL);
  EXPECT_EQ(pList, nullptr);
  EXPECT_EQ(m_pAdaptor->SavePageImage(1, 1.0, u"/nonexistent/x.jpg", nullptr), E_FAIL);
  EXPECT_EQ(m_pAdaptor->GetPaperInfo(&value), S_OK);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(m_pAdaptor->Close(), S_OK);

  // A missing file leaves no name behind.
  EXPECT_EQ(m_pAdaptor->Open(0, u"/nonexistent/missing.pdf"), E_FAIL);
  EXPECT_EQ(m_pAdaptor->get_FileName(&bstr), E_FAIL);
  EXPECT_EQ(m_pAdaptor->get_TotalPageCount(&value), E_FAIL);
}

TEST_F(AdaptorTest, OpensLoadsAndListsThePage) {
  const std::u16string path = Sample("front-page.pdf");
  ASSERT_EQ(m_pAdaptor->Open(0, path.c_str()), S_OK);
  long value = kUntouched;
  IBlockList* pList = nullptr;
  EXPECT_EQ(m_pAdaptor->get_CurrentPage(&value), S_OK);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(m_pAdaptor->GetTextList(nullptr, 0, &pList), E_FAIL);  // no page loaded yet
  EXPECT_EQ(m_pAdaptor->LoadPage(2, kLevel0TextImages, FALSE), E_INVALIDARG);
  EXPECT_EQ(m_pAdaptor->LoadPage(0, kLevel0TextImages, FALSE), E_INVALIDARG);
  ASSERT_EQ(m_pAdaptor->LoadPage(1, kLevel0TextImages, 0x10000), S_OK);

  EXPECT_EQ(m_pAdaptor->get_TotalPageCount(&value), S_OK);
  EXPECT_EQ(value, 1);
  EXPECT_EQ(m_pAdaptor->get_CurrentPage(&value), S_OK);
  EXPECT_EQ(value, 1);
  BSTR bstr = nullptr;
  ASSERT_EQ(m_pAdaptor->get_FileName(&bstr), S_OK);
  EXPECT_EQ(std::u16string(bstr), path);
  SysFreeString(bstr);

  long pageInfo = 0;
  ASSERT_EQ(m_pAdaptor->GetCurPageInfo(&pageInfo), S_OK);
  auto* pInfo = reinterpret_cast<IPageInfo*>(pageInfo);
  EXPECT_EQ(pInfo->GetPageIndex(), 1);
  EXPECT_DOUBLE_EQ(pInfo->GetPageWidth(), 992.0);
  EXPECT_DOUBLE_EQ(pInfo->GetPageHeight(), 1417.0);

  const long nText = TextCount(nullptr, 0);
  EXPECT_GT(nText, 20);
  ASSERT_EQ(m_pAdaptor->GetPicList(nullptr, 0, &pList), S_OK);
  EXPECT_GT(Count(pList), 0);
  pList->Release();
  ASSERT_EQ(m_pAdaptor->GetArticleList(0, &pList), S_OK);  // no articles below level 5
  EXPECT_EQ(Count(pList), 0);
  pList->Release();

  // The same file again, named in another case, keeps the loaded page.
  std::u16string upper = path;
  for (char16_t& c : upper)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
  EXPECT_EQ(m_pAdaptor->Open(0, upper.c_str()), S_OK);
  EXPECT_EQ(m_pAdaptor->get_CurrentPage(&value), S_OK);
  EXPECT_EQ(value, 1);
  EXPECT_EQ(TextCount(nullptr, 0), nText);

  EXPECT_EQ(m_pAdaptor->Close(), S_OK);
  EXPECT_EQ(m_pAdaptor->get_FileName(&bstr), E_FAIL);
}

TEST_F(AdaptorTest, RectangleFilterSelectsBlocksByTheirIntegerBoxes) {
  OpenAndLoad();
  const long nAll = TextCount(nullptr, 0);
  RECT page = {0, 0, 992, 1417};
  EXPECT_EQ(TextCount(&page, 0), nAll);
  EXPECT_EQ(TextCount(&page, 1), nAll);
  RECT outside = {2000, 2000, 3000, 3000};
  EXPECT_EQ(TextCount(&outside, 0), 0);

  // The top half: blocks crossing its lower edge are listed, but not with bit 0x1.
  RECT top = {0, 0, 992, 700};
  const long nMeet = TextCount(&top, 0);
  const long nInside = TextCount(&top, 1);
  EXPECT_GT(nMeet, 0);
  EXPECT_LT(nMeet, nAll);
  EXPECT_LE(nInside, nMeet);

  // Every block of the list meets the rectangle: the lists of disjoint halves together hold
  // at least every block.
  RECT bottom = {0, 700, 992, 1417};
  EXPECT_GE(nMeet + TextCount(&bottom, 0), nAll);
}

TEST_F(AdaptorTest, BlockListsAreReferenceCountedAndChecked) {
  OpenAndLoad();
  IBlockList* pList = nullptr;
  ASSERT_EQ(m_pAdaptor->GetTextList(nullptr, 0, &pList), S_OK);
  const long n = Count(pList);
  long* pItem = reinterpret_cast<long*>(kUntouched);
  EXPECT_EQ(pList->GetItemAt(static_cast<int>(n), &pItem), E_INVALIDARG);
  EXPECT_EQ(pList->GetItemAt(-1, &pItem), E_INVALIDARG);
  EXPECT_EQ(pItem, reinterpret_cast<long*>(kUntouched));
  ASSERT_EQ(pList->GetItemAt(0, &pItem), S_OK);
  auto* pBlock = reinterpret_cast<ITextBlock*>(pItem);
  BSTR text = nullptr;
  EXPECT_EQ(pBlock->GetText(&text), S_OK);
  SysFreeString(text);

  EXPECT_EQ(pList->AddRef(), 2u);
  IBlockList* pSame = nullptr;
  ASSERT_EQ(pList->QueryInterface(IID_IBlockList, reinterpret_cast<void**>(&pSame)), S_OK);
  EXPECT_EQ(pSame, pList);
  EXPECT_EQ(pSame->Release(), 2u);
  EXPECT_EQ(pList->Release(), 1u);
  EXPECT_EQ(pList->Release(), 0u);

  // Releasing a list leaves the blocks to the adaptor.
  EXPECT_EQ(TextCount(nullptr, 0), n);
  EXPECT_EQ(pBlock->GetText(&text), S_OK);
  SysFreeString(text);
}

TEST_F(AdaptorTest, SavesJpegPageImagesAndRecordsTheirSize) {
  ASSERT_EQ(m_pAdaptor->Open(0, Sample("front-page.pdf").c_str()), S_OK);
  const std::filesystem::path dir = VELLUMA_TEST_TMP;
  std::filesystem::create_directories(dir);
  // The extension does not matter: the file is JPEG.
  const std::filesystem::path file = dir / "com-page.bmp";
  std::filesystem::remove(file);
  const std::string narrow = file.string();
  const std::u16string wide(narrow.begin(), narrow.end());

  // No page needs to be loaded to save an image.
  EXPECT_EQ(m_pAdaptor->SavePageImage(1, 0.5, wide.c_str(), nullptr), S_OK);
  ASSERT_TRUE(std::filesystem::exists(file));
  EXPECT_GT(std::filesystem::file_size(file), 2000u);
  std::ifstream in(file, std::ios::binary);
  unsigned char magic[3] = {};
  in.read(reinterpret_cast<char*>(magic), 3);
  EXPECT_EQ(magic[0], 0xFF);
  EXPECT_EQ(magic[1], 0xD8);
  EXPECT_EQ(magic[2], 0xFF);

  EXPECT_EQ(m_pAdaptor->SavePageImage(2, 1.0, wide.c_str(), nullptr), E_FAIL);
  long zero = 0;
  EXPECT_EQ(m_pAdaptor->SavePageImage(1, 0.5, wide.c_str(), &zero), S_OK);
  // A failed write is not reported.
  EXPECT_EQ(m_pAdaptor->SavePageImage(1, 0.5, u"/nonexistent/dir/x.jpg", nullptr), S_OK);

  ASSERT_EQ(m_pAdaptor->LoadPage(1, LPF_TEXT, FALSE), S_OK);
  EXPECT_EQ(m_pAdaptor->SavePageImage(1, 1.0, wide.c_str(), nullptr), S_OK);
  long pageInfo = 0;
  ASSERT_EQ(m_pAdaptor->GetCurPageInfo(&pageInfo), S_OK);
  auto* pInfo = reinterpret_cast<IPageInfo*>(pageInfo);
  // Scale 1.0 renders one pixel per point.
  EXPECT_DOUBLE_EQ(pInfo->GetImageWidth(), 992.0);
  EXPECT_DOUBLE_EQ(pInfo->GetImageHeight(), 1417.0);
  std::filesystem::remove(file);
}

TEST_F(AdaptorTest, HandsOutPageImagesAsPackedBitmaps) {
  ASSERT_EQ(m_pAdaptor->Open(0, Sample("front-page.pdf").c_str()), S_OK);
  long hDib = kUntouched;
  EXPECT_EQ(m_pAdaptor->GetPageImage(1, 0.5, &hDib), E_FAIL);  // needs a loaded page
  EXPECT_EQ(hDib, kUntouched);
  ASSERT_EQ(m_pAdaptor->LoadPage(1, LPF_TEXT, FALSE), S_OK);
  EXPECT_EQ(m_pAdaptor->GetPageImage(2, 0.5, &hDib), E_FAIL);
  EXPECT_EQ(m_pAdaptor->GetPageImage(1, 0.5, &hDib), S_OK);
  ASSERT_NE(hDib, kUntouched);

  auto hMem = reinterpret_cast<HGLOBAL>(hDib);
  const auto* pHeader = static_cast<const BITMAPINFOHEADER*>(GlobalLock(hMem));
  ASSERT_NE(pHeader, nullptr);
  EXPECT_EQ(pHeader->biSize, 40u);
  EXPECT_EQ(pHeader->biWidth, 496);
  EXPECT_EQ(pHeader->biHeight, 709);  // bottom-up rows
  EXPECT_GE(pHeader->biBitCount, 24);
  const size_t stride = ((pHeader->biBitCount * 496u + 31) / 32) * 4;
  EXPECT_GE(GlobalSize(hMem), 40 + stride * 709);
  GlobalUnlock(hMem);
  EXPECT_EQ(GlobalFree(hMem), nullptr);
}

// A host's extension object: hands out a record with the given source list and counts calls.
class CTestExtension : public IAppExtension {
 public:
  explicit CTestExtension(const char16_t* pszSources, HRESULT hrFetch = S_OK) : m_hrFetch(hrFetch) {
    m_info.pszPageSources = pszSources;
  }
  void ReleaseInfo(St_AppExtInfo** ppInfo) override {
    ++m_nReleases;
    m_pReleased = *ppInfo;
  }
  HRESULT FetchInfo(St_AppExtInfo** ppInfo, int32_t nReserved) override {
    ++m_nFetches;
    m_nReserved = nReserved;
    if (FAILED(m_hrFetch)) return m_hrFetch;
    *ppInfo = &m_info;
    return m_hrFetch;
  }

  St_AppExtInfo m_info = {};
  HRESULT m_hrFetch;
  int m_nFetches = 0, m_nReleases = 0, m_nReserved = -1;
  St_AppExtInfo* m_pReleased = nullptr;
};

TEST_F(AdaptorTest, SplitFetchesAndGivesBackTheHostRecord) {
  ASSERT_EQ(m_pAdaptor->Open(0, Sample("front-page.pdf").c_str()), S_OK);
  CTestExtension ext(u"a;;b;");
  EXPECT_EQ(m_pAdaptor->SplitPDFMultiPage(reinterpret_cast<unsigned long>(&ext)), S_FALSE);
  EXPECT_EQ(ext.m_nFetches, 1);
  EXPECT_EQ(ext.m_nReserved, 0);
  EXPECT_EQ(ext.m_nReleases, 1);
  EXPECT_EQ(ext.m_pReleased, &ext.m_info);

  CTestExtension failing(u"a;b", E_FAIL);
  EXPECT_EQ(m_pAdaptor->SplitPDFMultiPage(reinterpret_cast<unsigned long>(&failing)), S_FALSE);
  EXPECT_EQ(failing.m_nReleases, 0);  // nothing was fetched, nothing is given back
  EXPECT_EQ(m_pAdaptor->SplitPDFMultiPage(0), S_FALSE);
}

}  // namespace
