// Shared helpers of the page-content kit tests: documents written by the test PDF writer and
// opened through the kit, stream holders that free what the kit hands out, DIB readers.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "pdfkit/pdfkit.h"
#include "pdfwriter.h"
#include "vwin32/strings.h"

namespace kittest {

inline std::string TempPath(const std::string& name) {
  std::filesystem::create_directories(VELLUMA_TEST_TMP);
  return std::string(VELLUMA_TEST_TMP) + "/pdfkit-" + name;
}

inline PTK_HDOC OpenPath(const std::string& path) {
  return PTK_OpenDoc(vwin32::FromUtf8(path).c_str(), 0);
}

// A document written by the writer and opened through the kit; closed on destruction.
class Doc {
 public:
  Doc(const vtest::PdfWriter& writer, const std::string& name)
      : path_(TempPath(name + ".pdf")), bytes_(writer.Build()) {
    std::ofstream(path_, std::ios::binary | std::ios::trunc) << bytes_;
    doc_ = OpenPath(path_);
    EXPECT_NE(doc_, nullptr) << path_;
  }
  ~Doc() {
    if (doc_) PTK_CloseDoc(doc_, 0);
  }
  Doc(const Doc&) = delete;
  Doc& operator=(const Doc&) = delete;
  PTK_HDOC get() const { return doc_; }
  const std::string& bytes() const { return bytes_; }

 private:
  std::string path_;
  std::string bytes_;
  PTK_HDOC doc_ = nullptr;
};

// A one-page document of the given size and content.
inline vtest::PdfWriter OnePage(const std::string& content, double w = 600, double h = 800,
                                const vtest::PageOptions& options = {}) {
  vtest::PdfWriter writer;
  writer.AddPage(w, h, content, options);
  return writer;
}

struct ImageStream {
  PTK_ImageRecord* first = nullptr;
  ImageStream(PTK_HDOC doc, int page) { PTK_GetPageContentImageStream(doc, page, &first); }
  ~ImageStream() { PTK_FreePageContentImageStream(first); }
  ImageStream(const ImageStream&) = delete;
  ImageStream& operator=(const ImageStream&) = delete;
  std::vector<const PTK_ImageRecord*> list() const {
    std::vector<const PTK_ImageRecord*> out;
    for (const PTK_ImageRecord* r = first; r; r = r->pNext) out.push_back(r);
    return out;
  }
};

struct PathStream {
  PTK_PathRecord* first = nullptr;
  PathStream(PTK_HDOC doc, int page) { PTK_GetPageContentPathStream(doc, page, &first); }
  ~PathStream() { PTK_FreePageContentPathStream(first); }
  PathStream(const PathStream&) = delete;
  PathStream& operator=(const PathStream&) = delete;
  std::vector<const PTK_PathRecord*> list() const {
    std::vector<const PTK_PathRecord*> out;
    for (const PTK_PathRecord* r = first; r; r = r->pNext) out.push_back(r);
    return out;
  }
};

// A bitmap handed out by the kit, freed with free() as the PTK_Free* functions do.
struct Bitmap {
  BITMAPINFOHEADER* header = nullptr;
  uint8_t* bits = nullptr;
  Bitmap() = default;
  Bitmap(const Bitmap&) = delete;
  Bitmap& operator=(const Bitmap&) = delete;
  ~Bitmap() {
    std::free(header);
    std::free(bits);
  }
};

inline size_t Stride(const BITMAPINFOHEADER* h) {
  return (static_cast<size_t>(h->biWidth) * h->biBitCount + 31) / 32 * 4;
}

inline const RGBQUAD* Colours(const BITMAPINFOHEADER* h) {
  return reinterpret_cast<const RGBQUAD*>(h + 1);
}

inline uint32_t Rgb(const RGBQUAD& q) {
  return static_cast<uint32_t>(q.rgbRed) << 16 | q.rgbGreen << 8 | q.rgbBlue;
}

// The value of pixel x in row `row` counted from the bottom of the image, whichever way the
// DIB stores its rows: the index for 1 and 8 bits, 0xRRGGBB for 24.
inline uint32_t Pixel(const BITMAPINFOHEADER* h, const uint8_t* bits, int x, int row) {
  const int height = h->biHeight < 0 ? -h->biHeight : h->biHeight;
  const int memoryRow = h->biHeight < 0 ? height - 1 - row : row;
  const uint8_t* p = bits + Stride(h) * static_cast<size_t>(memoryRow);
  switch (h->biBitCount) {
    case 1:
      return p[x >> 3] >> (7 - (x & 7)) & 1;
    case 8:
      return p[x];
    default:
      return static_cast<uint32_t>(p[3 * x + 2]) << 16 | p[3 * x + 1] << 8 | p[3 * x];
  }
}

}  // namespace kittest
