// Data adaptors on many threads at once: each thread's adaptors load different files and must
// read exactly what one thread reads alone; the kit is started by the first live adaptor and
// stopped by the last, whichever threads create and release them.
#define VELLUMA_DEFINE_IDS
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "velluma/velluma.h"
#include "vwin32/strings.h"

namespace {
std::atomic<int> g_nStarts{0}, g_nStops{0}, g_nMisorders{0};
std::atomic<bool> g_bRunning{false};
}  // namespace

// Interposers of the kit's start and stop: a start while running or a stop while stopped is a
// misorder.
extern "C" __attribute__((visibility("default"))) void PTK_Initialize(int nReserved) {
  ++g_nStarts;
  if (g_bRunning.exchange(true)) ++g_nMisorders;
  auto* pNext = reinterpret_cast<void (*)(int)>(dlsym(RTLD_NEXT, "PTK_Initialize"));
  if (pNext != nullptr) pNext(nReserved);
}

extern "C" __attribute__((visibility("default"))) void PTK_Destroy() {
  ++g_nStops;
  if (!g_bRunning.exchange(false)) ++g_nMisorders;
  auto* pNext = reinterpret_cast<void (*)()>(dlsym(RTLD_NEXT, "PTK_Destroy"));
  if (pNext != nullptr) pNext();
}

namespace {

namespace fs = std::filesystem;
using PFN_DllGetClassObject = HRESULT (*)(REFCLSID, REFIID, void**);

PFN_DllGetClassObject g_pGetClassObject = nullptr;

IDataAdaptor* NewAdaptor() {
  IClassFactory* pFactory = nullptr;
  if (g_pGetClassObject(CLSID_PDFDataAdaptor, IID_IClassFactory,
                        reinterpret_cast<void**>(&pFactory)) != S_OK)
    return nullptr;
  IDataAdaptor* pAdaptor = nullptr;
  pFactory->CreateInstance(nullptr, IID_IDataAdaptor, reinterpret_cast<void**>(&pAdaptor));
  pFactory->Release();
  return pAdaptor;
}

std::string TakeBstr(BSTR b) {
  std::string s = vwin32::ToUtf8(vwin32::FromBstr(b));
  SysFreeString(b);
  return s;
}

void DigestText(ITextBlock* pBlock, int depth, std::string& out) {
  BSTR text = nullptr;
  pBlock->GetText(&text);
  out += std::string(depth, ' ') + TakeBstr(text);
  IRegn* pRegn = nullptr;
  int n = 0;
  if (pBlock->GetRegion(0, &pRegn) == S_OK && pRegn->GetPoints(nullptr, &n) == S_OK && n > 0) {
    std::vector<POINT> points(static_cast<size_t>(n));
    pRegn->GetPoints(points.data(), &n);
    for (const POINT& p : points) out += " " + std::to_string(p.x) + "," + std::to_string(p.y);
  }
  out += "\n";
  IBlockList* pChildren = nullptr;
  if (depth < 8 && pBlock->GetTextList(&pChildren, 0) == S_OK && pChildren != nullptr) {
    long count = 0;
    pChildren->GetCount(&count);
    for (int i = 0; i < count; ++i) {
      long* pItem = nullptr;
      if (pChildren->GetItemAt(i, &pItem) == S_OK)
        DigestText(reinterpret_cast<ITextBlock*>(pItem), depth + 1, out);
    }
    pChildren->Release();
  }
}

// Everything a client reads of every page at the highest level: text blocks with their
// outlines and children, pictures, articles and page information.
std::string Digest(const fs::path& file) {
  IDataAdaptor* pAdaptor = NewAdaptor();
  if (pAdaptor == nullptr) return "<no adaptor>";
  std::string out;
  const std::u16string wide = vwin32::FromUtf8(file.string());
  long pages = 0;
  if (pAdaptor->Open(0, wide.c_str()) != S_OK || pAdaptor->get_TotalPageCount(&pages) != S_OK)
    out = "<cannot open>";
  for (int page = 1; page <= pages; ++page) {
    out += "page " + std::to_string(page) + " " +
           std::to_string(pAdaptor->LoadPage(page, LPF_TEXT | LPF_IMAGES | LPF_PATHS | 5, TRUE)) +
           "\n";
    IBlockList* pList = nullptr;
    long count = 0;
    if (pAdaptor->GetTextList(nullptr, 0, &pList) == S_OK) {
      pList->GetCount(&count);
      for (int i = 0; i < count; ++i) {
        long* pItem = nullptr;
        if (pList->GetItemAt(i, &pItem) == S_OK)
          DigestText(reinterpret_cast<ITextBlock*>(pItem), 0, out);
      }
      pList->Release();
    }
    if (pAdaptor->GetPicList(nullptr, 0, &pList) == S_OK) {
      pList->GetCount(&count);
      out += "pictures " + std::to_string(count) + "\n";
      pList->Release();
    }
    if (pAdaptor->GetArticleList(0, &pList) == S_OK) {
      pList->GetCount(&count);
      out += "articles " + std::to_string(count) + "\n";
      pList->Release();
    }
    long pInfo = 0;
    if (pAdaptor->GetCurPageInfo(&pInfo) == S_OK && pInfo != 0) {
      BSTR b = nullptr;
      if (reinterpret_cast<IPageInfo*>(pInfo)->GetPageId(&b) == S_OK) out += "id " + TakeBstr(b);
      if (reinterpret_cast<IPageInfo*>(pInfo)->GetIssueDate(&b) == S_OK)
        out += " date " + TakeBstr(b);
      out += "\n";
    }
  }
  pAdaptor->Close();
  pAdaptor->Release();
  return out;
}

std::vector<fs::path> Files() {
  std::vector<fs::path> files = {fs::path(VELLUMA_SAMPLES_DIR) / "front-page.pdf",
                                 fs::path(VELLUMA_SAMPLES_DIR) / "inner-page.pdf"};
  std::vector<fs::path> corpus;
  std::error_code ec;
  for (fs::directory_iterator it(VELLUMA_CORPUS_DIR, ec), end; !ec && it != end; it.increment(ec))
    if (it->path().extension() == ".pdf" && it->file_size(ec) < (1u << 20))
      corpus.push_back(it->path());
  std::sort(corpus.begin(), corpus.end());
  if (corpus.size() > 4) corpus.resize(4);
  files.insert(files.end(), corpus.begin(), corpus.end());
  return files;
}

TEST(ThreadsTest, AdaptorsOnManyThreadsReadWhatOneThreadReads) {
  void* hModule = dlopen(VELLUMA_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(hModule, nullptr) << dlerror();
  g_pGetClassObject = reinterpret_cast<PFN_DllGetClassObject>(dlsym(hModule, "DllGetClassObject"));
  ASSERT_NE(g_pGetClassObject, nullptr);

  const std::vector<fs::path> files = Files();
  std::map<fs::path, std::string> alone;
  for (const fs::path& f : files) alone[f] = Digest(f);
  EXPECT_EQ(g_nStarts, g_nStops);

  // Each thread takes the files in its own rotation, with a fresh adaptor per file, so that
  // adaptors are created and released on every thread while others are live.
  constexpr int kThreads = 4;
  constexpr int kRounds = 2;
  std::vector<std::vector<std::pair<fs::path, std::string>>> seen(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int r = 0; r < kRounds; ++r)
        for (size_t k = 0; k < files.size(); ++k) {
          const fs::path& f = files[(k + static_cast<size_t>(t)) % files.size()];
          seen[static_cast<size_t>(t)].emplace_back(f, Digest(f));
        }
    });
  for (std::thread& th : threads) th.join();

  for (int t = 0; t < kThreads; ++t)
    for (const auto& [f, digest] : seen[static_cast<size_t>(t)])
      EXPECT_TRUE(digest == alone[f]) << "thread " << t << " read " << f << " differently";
  EXPECT_EQ(g_nMisorders, 0);
  EXPECT_EQ(g_nStarts, g_nStops);
  EXPECT_FALSE(g_bRunning);
  EXPECT_GE(g_nStarts, static_cast<int>(files.size()));
}

}  // namespace
