// Opening documents, page boxes and page-range checks of every page call.
#include <fstream>

#include "kit_fixture.h"

namespace {

using kittest::Doc;
using kittest::OpenPath;
using kittest::TempPath;

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

TEST(KitOpen, RejectsBadInput) {
  EXPECT_EQ(PTK_OpenDoc(nullptr, 0), nullptr);
  EXPECT_EQ(PTK_OpenDoc(u"", 0), nullptr);
  EXPECT_EQ(OpenPath(TempPath("does-not-exist.pdf")), nullptr);

  const std::string empty = TempPath("empty.pdf");
  WriteFile(empty, "");
  EXPECT_EQ(OpenPath(empty), nullptr);

  const std::string text = TempPath("not-a-pdf.pdf");
  WriteFile(text, "This is a plain text file, not a PDF document.\n");
  EXPECT_EQ(OpenPath(text), nullptr);

  // Cut off before the first page object: nothing to repair.
  const std::string valid = kittest::OnePage("0 0 10 10 re f").Build();
  const std::string truncated = TempPath("truncated.pdf");
  WriteFile(truncated, valid.substr(0, 20));
  EXPECT_EQ(OpenPath(truncated), nullptr);

  vtest::PdfWriter encrypted;
  encrypted.AddPage(200, 200, "0 0 10 10 re f");
  encrypted.SetEncrypted(true);
  const std::string locked = TempPath("encrypted.pdf");
  ASSERT_TRUE(encrypted.Save(locked));
  EXPECT_EQ(OpenPath(locked), nullptr);
}

TEST(KitOpen, NullHandleAndNullListsAreHarmless) {
  double x0, y0, x1, y1;
  EXPECT_EQ(PTK_GetPageCount(nullptr), 0);
  EXPECT_EQ(PTK_GetPageRect(nullptr, 1, 1, &x0, &y0, &x1, &y1), 0);
  EXPECT_EQ(PTK_GetPageUnit(nullptr, 1), 0.0);
  PTK_ImageRecord* images = reinterpret_cast<PTK_ImageRecord*>(1);
  PTK_GetPageContentImageStream(nullptr, 1, &images);
  EXPECT_EQ(images, nullptr);
  PTK_PathRecord* paths = reinterpret_cast<PTK_PathRecord*>(1);
  PTK_GetPageContentPathStream(nullptr, 1, &paths);
  EXPECT_EQ(paths, nullptr);
  PTK_CloseDoc(nullptr, 0);
  PTK_FreePageContentImageStream(nullptr);
  PTK_FreePageContentPathStream(nullptr);
  PTK_FreePageContentTextStream(nullptr);
  PTK_FreePageThumbnail(nullptr, nullptr);
  PTK_FreeCharBitmap(nullptr, nullptr);
}

TEST(KitOpen, PagesOutsideTheDocumentFailEverywhere) {
  vtest::PdfWriter writer;
  writer.AddPage(300, 400, "0 0 10 10 re f");
  writer.AddPage(300, 400, "0 0 10 10 re f");
  Doc doc(writer, "two-pages");
  ASSERT_EQ(PTK_GetPageCount(doc.get()), 2);
  for (int page : {0, 3, -1}) {
    SCOPED_TRACE(page);
    double v[4];
    EXPECT_EQ(PTK_GetPageRect(doc.get(), page, 1, &v[0], &v[1], &v[2], &v[3]), 0);
    EXPECT_EQ(PTK_GetPageUnit(doc.get(), page), 0.0);
    kittest::ImageStream images(doc.get(), page);
    EXPECT_EQ(images.first, nullptr);
    kittest::PathStream paths(doc.get(), page);
    EXPECT_EQ(paths.first, nullptr);
    PTK_TextRun* runs = nullptr;
    PTK_GetPageContentTextStream(doc.get(), page, &runs);
    EXPECT_EQ(runs, nullptr);
    kittest::Bitmap bmp;
    EXPECT_EQ(PTK_GetPageThumbnail(doc.get(), page, &bmp.header, &bmp.bits, 1, 1, 0), 0);
    EXPECT_EQ(bmp.header, nullptr);
  }
  // The pages themselves work, in any order.
  for (int page : {2, 1, 2}) {
    kittest::PathStream paths(doc.get(), page);
    EXPECT_NE(paths.first, nullptr);
  }
}

TEST(KitOpen, PageRectSelectors) {
  vtest::PdfWriter writer;
  vtest::PageOptions cropped;
  cropped.cropBox = std::array<double, 4>{10, 20, 310, 420};
  vtest::PageOptions rotated;
  rotated.rotate = 90;
  writer.AddPage(400, 500, "", cropped);
  writer.AddPage(400, 500, "", rotated);
  Doc doc(writer, "page-rects");
  double x0, y0, x1, y1;

  ASSERT_EQ(PTK_GetPageRect(doc.get(), 1, 1, &x0, &y0, &x1, &y1), 1);
  EXPECT_DOUBLE_EQ(x0, 0);
  EXPECT_DOUBLE_EQ(y0, 0);
  EXPECT_DOUBLE_EQ(x1, 300);
  EXPECT_DOUBLE_EQ(y1, 400);
  // The MediaBox in the same frame reaches beyond the CropBox.
  ASSERT_EQ(PTK_GetPageRect(doc.get(), 1, 0, &x0, &y0, &x1, &y1), 1);
  EXPECT_DOUBLE_EQ(x0, -10);
  EXPECT_DOUBLE_EQ(y0, -20);
  EXPECT_DOUBLE_EQ(x1, 390);
  EXPECT_DOUBLE_EQ(y1, 480);

  ASSERT_EQ(PTK_GetPageRect(doc.get(), 2, 1, &x0, &y0, &x1, &y1), 1);
  EXPECT_DOUBLE_EQ(x1 - x0, 500);
  EXPECT_DOUBLE_EQ(y1 - y0, 400);

  EXPECT_EQ(PTK_GetPageRect(doc.get(), 1, 2, &x0, &y0, &x1, &y1), 0);
  EXPECT_DOUBLE_EQ(PTK_GetPageUnit(doc.get(), 1), 1.0 / 72.0);
}

}  // namespace
