// Saving images (JPEG through libjpeg-turbo, bitmap files) and the format table.
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

#include "cximage/ximage.h"
#include "pixels.h"
#include "vwin32/files.h"

using namespace cximage_detail;

namespace {

// --- JPEG ---
// libjpeg reports errors through a callback that must not return; it leaves through longjmp.
// No object with a destructor lives in the frames that longjmp crosses (CompressGuarded,
// Compress, FillJpegRow): buffers and the file belong to the caller.

struct JpegError {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

[[noreturn]] void OnJpegError(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<JpegError*>(cinfo->err)->jump, 1);
}

void OnJpegMessage(j_common_ptr) {}

struct JpegJob {
  const CxImage* img;
  FILE* file;
  int quality;
  bool gray;
  JSAMPLE* row;  // one output row: width bytes (grey) or 3 * width (RGB)
};

// Top-down row y of the image, as grey levels or R, G, B.
void FillJpegRow(const JpegJob& job, DWORD y) {
  const CxImage& img = *job.img;
  const DWORD w = img.GetWidth();
  const DWORD bpp = img.GetBpp();
  const BYTE* src = img.GetBits(img.GetHeight() - 1 - y);
  const RGBQUAD* pal = img.GetPalette();
  JSAMPLE* out = job.row;
  if (job.gray) {
    for (DWORD x = 0; x < w; ++x) out[x] = pal[src[x]].rgbRed;
    return;
  }
  for (DWORD x = 0; x < w; ++x, out += 3) {
    const RGBQUAD c = ReadColor(src, x, bpp, pal);
    out[0] = c.rgbRed;
    out[1] = c.rgbGreen;
    out[2] = c.rgbBlue;
  }
}

void Compress(jpeg_compress_struct* cinfo, const JpegJob& job) {
  jpeg_create_compress(cinfo);
  jpeg_stdio_dest(cinfo, job.file);
  cinfo->image_width = job.img->GetWidth();
  cinfo->image_height = job.img->GetHeight();
  cinfo->input_components = job.gray ? 1 : 3;
  cinfo->in_color_space = job.gray ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(cinfo);
  jpeg_set_quality(cinfo, job.quality, TRUE);
  jpeg_start_compress(cinfo, TRUE);
  for (DWORD y = 0; y < cinfo->image_height; ++y) {
    FillJpegRow(job, y);
    JSAMPROW rows[1] = {job.row};
    jpeg_write_scanlines(cinfo, rows, 1);
  }
  jpeg_finish_compress(cinfo);
}

bool CompressGuarded(jpeg_compress_struct* cinfo, JpegError* err, const JpegJob& job) {
  if (setjmp(err->jump) != 0) return false;
  Compress(cinfo, job);
  return true;
}

bool WriteJpeg(const CxImage& img, FILE* file) {
  const bool gray = img.GetBpp() == 8 && img.IsGrayScale();
  std::vector<JSAMPLE> row;
  try {
    row.resize(size_t{img.GetWidth()} * (gray ? 1 : 3));
  } catch (const std::bad_alloc&) {
    return false;
  }
  jpeg_compress_struct cinfo;
  std::memset(&cinfo, 0, sizeof(cinfo));
  JpegError err;
  std::memset(&err, 0, sizeof(err));
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = OnJpegError;
  err.pub.output_message = OnJpegMessage;
  const JpegJob job{&img, file, img.GetJpegQuality(), gray, row.data()};
  const bool ok = CompressGuarded(&cinfo, &err, job);
  jpeg_destroy_compress(&cinfo);
  return ok;
}

// --- bitmap file: file header, then the packed bitmap ---

bool WriteBmp(const CxImage& img, FILE* file) {
  const DWORD dibSize = img.GetSize();
  const DWORD tableBytes = img.GetNumColors() * sizeof(RGBQUAD);
  BITMAPFILEHEADER fh{};
  fh.bfType = 0x4D42;  // "BM"
  fh.bfSize = static_cast<DWORD>(sizeof(fh) + dibSize);
  fh.bfOffBits = static_cast<DWORD>(sizeof(fh) + sizeof(BITMAPINFOHEADER) + tableBytes);
  return std::fwrite(&fh, sizeof(fh), 1, file) == 1 &&
         std::fwrite(img.GetDIB(), dibSize, 1, file) == 1;
}

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};

char16_t AsciiLower(char16_t c) {
  return (c >= u'A' && c <= u'Z') ? c - u'A' + u'a' : c;
}

}  // namespace

bool CxImage::Save(const char16_t* fileName, DWORD imagetype) {
  if (!IsValid() || fileName == nullptr || fileName[0] == 0) return false;
  if (imagetype != CXIMAGE_FORMAT_JPG && imagetype != CXIMAGE_FORMAT_BMP) return false;
  const std::string path = vwin32::ToFsPath(fileName);
  std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
  if (!file) return false;
  bool ok =
      imagetype == CXIMAGE_FORMAT_JPG ? WriteJpeg(*this, file.get()) : WriteBmp(*this, file.get());
  ok = std::fflush(file.get()) == 0 && ok && std::ferror(file.get()) == 0;
  ok = std::fclose(file.release()) == 0 && ok;
  if (!ok) std::remove(path.c_str());
  return ok;
}

DWORD CxImage::FindType(std::u16string_view fileName) {
  const size_t dot = fileName.find_last_of(u'.');
  if (dot == std::u16string_view::npos) return CXIMAGE_FORMAT_UNKNOWN;
  const std::u16string_view ext = fileName.substr(dot + 1);
  if (ext.find_first_of(u"/\\") != std::u16string_view::npos) return CXIMAGE_FORMAT_UNKNOWN;
  std::u16string lower(ext);
  for (char16_t& c : lower) c = AsciiLower(c);
  static constexpr struct {
    std::u16string_view ext;
    DWORD type;
  } kTable[] = {
      {u"bmp", CXIMAGE_FORMAT_BMP},  {u"gif", CXIMAGE_FORMAT_GIF}, {u"jpg", CXIMAGE_FORMAT_JPG},
      {u"jpeg", CXIMAGE_FORMAT_JPG}, {u"jpe", CXIMAGE_FORMAT_JPG}, {u"jfif", CXIMAGE_FORMAT_JPG},
      {u"png", CXIMAGE_FORMAT_PNG},  {u"tif", CXIMAGE_FORMAT_TIF}, {u"tiff", CXIMAGE_FORMAT_TIF},
  };
  for (const auto& entry : kTable) {
    if (lower == entry.ext) return entry.type;
  }
  return CXIMAGE_FORMAT_UNKNOWN;
}

DWORD CxImage::FindType(const char16_t* fileName) {
  if (fileName == nullptr) return CXIMAGE_FORMAT_UNKNOWN;
  return FindType(std::u16string_view(fileName));
}
