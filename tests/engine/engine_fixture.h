// Shared helpers of the engine tests: documents written by the test PDF writer and loaded
// through CPDFInstance, with the configuration looked for in a folder of the test's own.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "blocks/textblock.h"
#include "engine/pdfinstance.h"
#include "pdfwriter.h"
#include "vwin32/strings.h"

namespace enginetest {

inline std::string TempDir(const std::string& sub) {
  const std::string dir = std::string(VELLUMA_TEST_TMP) + "/engine/" + sub;
  std::filesystem::create_directories(dir);
  return dir;
}

// Writes the document to the engine's temporary folder and returns its path.
inline std::string SavePdf(const vtest::PdfWriter& writer, const std::string& name) {
  const std::string path = TempDir("pdf") + "/" + name + ".pdf";
  EXPECT_TRUE(writer.Save(path)) << path;
  return path;
}

// A module folder holding Config/System/HGFontSet.xml with the given text; no file when the
// text is empty.
inline std::string ModuleDirWithFontSettings(const std::string& name, const std::string& xml) {
  const std::string dir = TempDir("module-" + name);
  std::filesystem::remove_all(dir + "/Config");
  if (!xml.empty()) {
    std::filesystem::create_directories(dir + "/Config/System");
    std::ofstream(dir + "/Config/System/HGFontSet.xml") << xml;
  }
  return dir;
}

// An engine whose configuration folder is empty unless a test fills it.
class Engine : public CPDFInstance {
 public:
  explicit Engine(const std::string& moduleDir = ModuleDirWithFontSettings("none", "")) {
    SetModuleDir(vwin32::FromUtf8(moduleDir));
  }
  HRESULT OpenPath(const std::string& path) { return Open(vwin32::FromUtf8(path).c_str()); }
  // Writes and opens a document.
  void OpenDoc(const vtest::PdfWriter& writer, const std::string& name) {
    ASSERT_EQ(OpenPath(SavePdf(writer, name)), S_OK) << name;
  }
};

// The page's runs ordered by sequence number.
inline std::vector<CTextBlock*> RunsBySeq(CTextBlockArray& list) {
  std::vector<CTextBlock*> runs(list.begin(), list.end());
  std::stable_sort(runs.begin(), runs.end(), [](const CTextBlock* a, const CTextBlock* b) {
    return a->m_nFirstSeq < b->m_nFirstSeq;
  });
  return runs;
}

inline std::vector<std::u16string> TextsBySeq(CTextBlockArray& list) {
  std::vector<std::u16string> texts;
  for (const CTextBlock* b : RunsBySeq(list)) texts.push_back(b->m_strText);
  return texts;
}

// The run with the given text; null when there is none.
inline CTextBlock* FindRun(CTextBlockArray& list, const std::u16string& text) {
  for (CTextBlock* b : list) {
    if (b->m_strText == text) return b;
  }
  return nullptr;
}

// An RGB image of the given size with every pixel the same colour.
inline vtest::ImageSpec SolidImage(int width, int height, uint8_t r = 200, uint8_t g = 40,
                                   uint8_t b = 40) {
  vtest::ImageSpec spec;
  spec.kind = vtest::ImageSpec::Rgb24;
  spec.width = width;
  spec.height = height;
  // Filled by index: GCC 12 at -O3 warns falsely about inserting an initializer list here.
  spec.pixels.resize(static_cast<size_t>(width) * height * 3);
  for (size_t i = 0; i + 2 < spec.pixels.size(); i += 3) {
    spec.pixels[i] = r;
    spec.pixels[i + 1] = g;
    spec.pixels[i + 2] = b;
  }
  return spec;
}

// "q w 0 0 h x y cm /name Do Q": the image drawn into the box (x, y)-(x + w, y + h).
inline std::string Draw(const std::string& name, double x, double y, double w, double h) {
  return "q " + vtest::PdfNum(w) + " 0 0 " + vtest::PdfNum(h) + " " + vtest::PdfNum(x) + " " +
         vtest::PdfNum(y) + " cm /" + name + " Do Q\n";
}

}  // namespace enginetest
