// Image class file output (JPEG read back with libjpeg, bitmap files) and the format table.
#include <gtest/gtest.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "cximage/ximage.h"
#include "test_images.h"

namespace {

namespace fs = std::filesystem;

// A decoded JPEG: size, components and the pixels top-down.
struct Decoded {
  bool ok = false;
  int width = 0, height = 0, components = 0;
  std::vector<BYTE> pixels;
  RGBQUAD At(int x, int yTop) const {
    const BYTE* p = &pixels[(static_cast<size_t>(yTop) * width + x) * components];
    return components == 1 ? Rgb(p[0], p[0], p[0]) : Rgb(p[0], p[1], p[2]);
  }
};

struct DecodeError {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

[[noreturn]] void OnDecodeError(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<DecodeError*>(cinfo->err)->jump, 1);
}

// Decodes into out->pixels, which the caller has made large enough (no destructors cross the
// error jump).
bool DecodeInto(FILE* f, jpeg_decompress_struct* cinfo, DecodeError* err, Decoded* out) {
  if (setjmp(err->jump) != 0) return false;
  jpeg_create_decompress(cinfo);
  jpeg_stdio_src(cinfo, f);
  jpeg_read_header(cinfo, TRUE);
  jpeg_start_decompress(cinfo);
  out->width = static_cast<int>(cinfo->output_width);
  out->height = static_cast<int>(cinfo->output_height);
  out->components = cinfo->output_components;
  const size_t need = size_t{cinfo->output_width} * cinfo->output_height * 3;
  if (out->pixels.size() < need) return false;
  while (cinfo->output_scanline < cinfo->output_height) {
    JSAMPROW row = out->pixels.data() +
                   size_t{cinfo->output_scanline} * cinfo->output_width * cinfo->output_components;
    jpeg_read_scanlines(cinfo, &row, 1);
  }
  jpeg_finish_decompress(cinfo);
  return true;
}

Decoded ReadJpeg(const fs::path& path) {
  Decoded d;
  d.pixels.resize(1 << 20);
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return d;
  jpeg_decompress_struct cinfo;
  std::memset(&cinfo, 0, sizeof(cinfo));
  DecodeError err;
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = OnDecodeError;
  d.ok = DecodeInto(f, &cinfo, &err, &d);
  jpeg_destroy_decompress(&cinfo);
  std::fclose(f);
  return d;
}

class CxImageFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(VELLUMA_TEST_TMP) / "cximage";
    fs::create_directories(dir_);
  }
  fs::path Path(const std::string& name) const { return dir_ / name; }
  static std::u16string U16(const fs::path& p) {
    const std::string s = p.string();
    return std::u16string(s.begin(), s.end());  // the test paths are ASCII
  }
  fs::path dir_;
};

TEST(CxImageFindType, ExtensionTable) {
  EXPECT_EQ(CxImage::FindType(u"a.bmp"), 1u);
  EXPECT_EQ(CxImage::FindType(u"a.GIF"), 2u);
  for (const char16_t* name : {u"x.jpg", u"x.JPEG", u"x.Jpe", u"x.jfif", u"/d.png/x.jpg"}) {
    EXPECT_EQ(CxImage::FindType(name), 3u);
  }
  EXPECT_EQ(CxImage::FindType(u"C:\\pics\\a.png"), 4u);
  EXPECT_EQ(CxImage::FindType(u"a.tif"), 6u);
  EXPECT_EQ(CxImage::FindType(u"a.TIFF"), 6u);
  for (const char16_t* name :
       {u"a.txt", u"noext", u"dir.jpg/file", u"dir.jpg\\file", u"a.", u"", u"a.jpg ", u"a.jpgx"}) {
    EXPECT_EQ(CxImage::FindType(name), 0u);
  }
  EXPECT_EQ(CxImage::FindType(static_cast<const char16_t*>(nullptr)), 0u);
  EXPECT_EQ(CxImage::FindType(std::u16string_view(u"page.jpg")), 3u);
}

TEST_F(CxImageFiles, JpegOfEveryDepthReadsBack) {
  struct Case {
    const char* name;
    CxImage img;
    int components;
  };
  CxImage rgb = Solid(33, 17, 24, Rgb(200, 40, 10));
  rgb.DrawLine(0, 32, 16, 16, Rgb(0, 0, 255));  // top two rows blue (one chroma sample)
  rgb.DrawLine(0, 32, 15, 15, Rgb(0, 0, 255));
  CxImage wide(rgb);
  wide.IncreaseBpp(32);
  wide.AlphaSet(BYTE{0});  // never written
  CxImage grey = Solid(9, 5, 8, Rgb(77, 77, 77));
  CxImage palette = Solid(9, 5, 8, Rgb(0, 0, 0));
  const RGBQUAD green = Rgb(0, 180, 0);
  palette.SetPalette(&green, 1);
  CxImage mono;
  mono.Create(9, 5, 1);
  mono.Clear(0xFF);
  Case cases[] = {{"rgb.jpg", rgb, 3},
                  {"wide.jpg", wide, 3},
                  {"grey.jpg", grey, 1},
                  {"pal.jpg", palette, 3},
                  {"mono.jpg", mono, 3}};
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.img.SetJpegQuality(95);
    ASSERT_TRUE(c.img.Save(U16(Path(c.name)).c_str(), CXIMAGE_FORMAT_JPG));
    const Decoded d = ReadJpeg(Path(c.name));
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.width, static_cast<int>(c.img.GetWidth()));
    EXPECT_EQ(d.height, static_cast<int>(c.img.GetHeight()));
    EXPECT_EQ(d.components, c.components);
    // The middle pixel and the top-left one (JPEG rows run top-down).
    const long h = c.img.GetHeight();
    EXPECT_TRUE(NearColor(d.At(d.width / 2, d.height / 2),
                          c.img.GetPixelColor(d.width / 2, h - 1 - d.height / 2), 12));
    EXPECT_TRUE(NearColor(d.At(1, 0), c.img.GetPixelColor(1, h - 1), 40));
  }
  // Lower quality gives a smaller file.
  CxImage noisy = Numbered(16, 16, 24, false);
  noisy.Resample(200, 200, 0);
  noisy.SetJpegQuality(100);
  ASSERT_TRUE(noisy.Save(U16(Path("q100.jpg")).c_str(), CXIMAGE_FORMAT_JPG));
  noisy.SetJpegQuality(0);
  EXPECT_EQ(noisy.GetJpegQuality(), 1);
  ASSERT_TRUE(noisy.Save(U16(Path("q1.jpg")).c_str(), CXIMAGE_FORMAT_JPG));
  EXPECT_LT(fs::file_size(Path("q1.jpg")), fs::file_size(Path("q100.jpg")));
}

TEST_F(CxImageFiles, BitmapFileHoldsThePackedBitmap) {
  CxImage img = Numbered(5, 3, 8, false);
  ASSERT_TRUE(img.Save(U16(Path("img.bmp")).c_str(), CXIMAGE_FORMAT_BMP));
  std::ifstream in(Path("img.bmp"), std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
  ASSERT_EQ(bytes.size(), 14 + img.GetSize());
  BITMAPFILEHEADER fh;
  std::memcpy(&fh, bytes.data(), sizeof(fh));
  const WORD type = fh.bfType;  // packed fields: copied before comparison
  const DWORD size = fh.bfSize;
  const DWORD offset = fh.bfOffBits;
  EXPECT_EQ(type, 0x4D42);
  EXPECT_EQ(size, bytes.size());
  EXPECT_EQ(offset, 14u + 40 + 1024);
  EXPECT_EQ(std::memcmp(bytes.data() + 14, img.GetDIB(), img.GetSize()), 0);
}

TEST_F(CxImageFiles, FailuresLeaveNoFile) {
  CxImage img = Solid(4, 4, 24, Rgb(1, 2, 3));
  EXPECT_FALSE(img.Save(u"/nonexistent-dir/sub/x.jpg", CXIMAGE_FORMAT_JPG));
  EXPECT_FALSE(img.Save(U16(dir_).c_str(), CXIMAGE_FORMAT_JPG));  // a directory
  EXPECT_FALSE(img.Save(nullptr, CXIMAGE_FORMAT_JPG));
  EXPECT_FALSE(img.Save(u"", CXIMAGE_FORMAT_JPG));
  for (DWORD type : {0u, 2u, 4u, 6u, 99u}) {
    EXPECT_FALSE(img.Save(U16(Path("other.png")).c_str(), type));
  }
  EXPECT_FALSE(fs::exists(Path("other.png")));
  // Too wide for JPEG: the encoder's error is caught and the partial file removed.
  CxImage huge;
  ASSERT_NE(huge.Create(70000, 1, 8), nullptr);
  EXPECT_FALSE(huge.Save(U16(Path("huge.jpg")).c_str(), CXIMAGE_FORMAT_JPG));
  EXPECT_FALSE(fs::exists(Path("huge.jpg")));
}

TEST_F(CxImageFiles, NamesAreUtf16) {
  CxImage img = Solid(2, 2, 24, Rgb(9, 9, 9));
  const std::u16string name = U16(dir_) + u"/\u56fe\u7247.jpg";
  ASSERT_TRUE(img.Save(name.c_str(), CXIMAGE_FORMAT_JPG));
  EXPECT_TRUE(fs::exists(dir_ / "\xe5\x9b\xbe\xe7\x89\x87.jpg"));
}

}  // namespace
