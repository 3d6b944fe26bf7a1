// Loads libvelluma.so as a host does and creates data adaptors through its class object.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

#include "velluma/velluma.h"

// Calls of the kit's start and stop entry points seen from the module (counted by the
// interposers in module_test.cpp).
extern std::atomic<int> g_nKitStarts;
extern std::atomic<int> g_nKitStops;

using PFN_DllGetClassObject = HRESULT (*)(REFCLSID, REFIID, void**);
using PFN_DllCanUnloadNow = HRESULT (*)();

class ComModuleTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_hModule = dlopen(VELLUMA_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(s_hModule, nullptr) << dlerror();
    s_pGetClassObject =
        reinterpret_cast<PFN_DllGetClassObject>(dlsym(s_hModule, "DllGetClassObject"));
    s_pCanUnloadNow = reinterpret_cast<PFN_DllCanUnloadNow>(dlsym(s_hModule, "DllCanUnloadNow"));
    ASSERT_NE(s_pGetClassObject, nullptr);
    ASSERT_NE(s_pCanUnloadNow, nullptr);
  }
  // The module stays loaded: the kit it started keeps global state for the process.

  static IClassFactory* Factory() {
    IClassFactory* pFactory = nullptr;
    EXPECT_EQ(s_pGetClassObject(CLSID_PDFDataAdaptor, IID_IClassFactory,
                                reinterpret_cast<void**>(&pFactory)),
              S_OK);
    return pFactory;
  }

  static IDataAdaptor* NewAdaptor() {
    IClassFactory* pFactory = Factory();
    if (pFactory == nullptr) return nullptr;
    IDataAdaptor* pAdaptor = nullptr;
    EXPECT_EQ(
        pFactory->CreateInstance(nullptr, IID_IDataAdaptor, reinterpret_cast<void**>(&pAdaptor)),
        S_OK);
    pFactory->Release();
    return pAdaptor;
  }

  // Every PDF file below the corpus folder, sorted; none when there is no corpus.
  static std::vector<std::filesystem::path> CorpusFiles() {
    namespace fs = std::filesystem;
    std::vector<fs::path> files;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(VELLUMA_CORPUS_DIR, ec), end; !ec && it != end;
         it.increment(ec)) {
      if (it->is_regular_file() && it->path().extension() == ".pdf") files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    return files;
  }

  static std::u16string Sample(const char* name) {
    const std::string path = std::string(VELLUMA_SAMPLES_DIR) + "/" + name;
    return std::u16string(path.begin(), path.end());
  }

  static inline void* s_hModule = nullptr;
  static inline PFN_DllGetClassObject s_pGetClassObject = nullptr;
  static inline PFN_DllCanUnloadNow s_pCanUnloadNow = nullptr;
};
