// velluma-kitdump: prints what the page-content kit reports for one page of a PDF file as
// JSON Lines (the page, then its text runs, images and paths) and optionally writes the
// page's rendering as a JPEG file. See docs/kitdump.md.

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

#include "pdfkit/pdfkit.h"
#include "vjson/json.h"
#include "vwin32/strings.h"

namespace {

constexpr const char* kTool = "velluma-kitdump";
constexpr const char* kUsage = "usage: velluma-kitdump FILE [PAGE] [--render OUT.jpg] [--scale S]";
constexpr int kExitFailure = 1;   // the kit could not render, or the JPEG could not be written
constexpr int kExitBadInput = 2;  // usage error, unopenable file, page out of range
constexpr double kPi = 3.14159265358979323846;

struct Options {
  std::string file;
  std::string pageArg;
  int32_t page = 1;
  std::string renderPath;
  double scale = 1.0;
};

// Reports one problem on one line of stderr (control characters of file names and arguments
// are shown as '?', so the report stays one line).
void Fail(const std::string& file, const std::string& problem) {
  std::string line = std::string(kTool) + ": " + (file.empty() ? "" : file + ": ") + problem;
  for (char& c : line)
    if (static_cast<unsigned char>(c) < 0x20) c = '?';
  std::fprintf(stderr, "%s\n", line.c_str());
}

void UsageError(const std::string& file, const std::string& problem) {
  Fail(file, problem + " (" + kUsage + ")");
}

// Parses a page number: decimal digits with an optional sign. Values beyond int32 are
// clamped, so that they report as out of range.
bool ParsePage(std::string_view s, int32_t& page) {
  size_t i = 0;
  const bool negative = !s.empty() && s[0] == '-';
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) ++i;
  if (i == s.size()) return false;
  int64_t v = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    v = std::min<int64_t>(v * 10 + (s[i] - '0'), int64_t{INT32_MAX} + 1);
  }
  page = static_cast<int32_t>(std::clamp<int64_t>(negative ? -v : v, INT32_MIN, INT32_MAX));
  return true;
}

bool IsSignedNumber(std::string_view s) {
  return s.size() > 1 && s[0] == '-' &&
         s.find_first_not_of("0123456789", 1) == std::string_view::npos;
}

bool ParseScale(const std::string& s, double& scale) {
  if (s.empty()) return false;
  char* end = nullptr;
  const double v = std::strtod(s.c_str(), &end);
  if (*end != '\0' || !std::isfinite(v) || v <= 0) return false;
  scale = v;
  return true;
}

// Returns the options, or reports the problem and returns nothing.
std::optional<Options> ParseArgs(int argc, char** argv, bool& help) {
  Options o;
  int positional = 0;
  bool optionsEnded = false;
  std::string scaleArg;
  bool haveScale = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (!optionsEnded && a.size() > 1 && a[0] == '-' && !IsSignedNumber(a)) {
      if (a == "--") {
        optionsEnded = true;
        continue;
      }
      if (a == "-h" || a == "--help") {
        help = true;
        return std::nullopt;
      }
      std::string name = a;
      std::optional<std::string> value;
      if (const auto eq = a.find('='); a.rfind("--", 0) == 0 && eq != std::string::npos) {
        name = a.substr(0, eq);
        value = a.substr(eq + 1);
      }
      if (name != "--render" && name != "--scale") {
        UsageError(o.file, "unknown option '" + a + "'");
        return std::nullopt;
      }
      if (!value) {
        if (i + 1 >= argc) {
          UsageError(o.file, "option " + name + " needs a value");
          return std::nullopt;
        }
        value = argv[++i];
      }
      if (name == "--render") {
        if (value->empty()) {
          UsageError(o.file, "option --render needs a file name");
          return std::nullopt;
        }
        o.renderPath = *value;
      } else {
        scaleArg = *value;
        haveScale = true;
      }
      continue;
    }
    if (positional == 0) {
      o.file = a;
    } else if (positional == 1) {
      o.pageArg = a;
    } else {
      UsageError(o.file, "unexpected argument '" + a + "'");
      return std::nullopt;
    }
    ++positional;
  }
  if (o.file.empty()) {
    UsageError("", "missing FILE argument");
    return std::nullopt;
  }
  if (!o.pageArg.empty() && !ParsePage(o.pageArg, o.page)) {
    UsageError(o.file, "invalid page number '" + o.pageArg + "'");
    return std::nullopt;
  }
  if (haveScale && !ParseScale(scaleArg, o.scale)) {
    UsageError(o.file, "invalid scale '" + scaleArg + "': a positive number is needed");
    return std::nullopt;
  }
  return o;
}

// A JSON object under construction; a dump line is built whole and written at once.
struct JsonObject {
  std::string s;
  bool first = true;

  JsonObject() { s = "{"; }
  void Key(const char* k) {
    if (!first) s += ',';
    first = false;
    s += '"';
    s += k;
    s += "\":";
  }
  void Num(const char* k, double v, int decimals = 3) {
    Key(k);
    s += vjson::JsonNumber(v, decimals);
  }
  void Int(const char* k, long long v) {
    Key(k);
    s += std::to_string(v);
  }
  void Bool(const char* k, bool v) {
    Key(k);
    s += v ? "true" : "false";
  }
  void Str(const char* k, std::u16string_view v) {
    Key(k);
    vjson::AppendJsonString(s, v);
  }
  void Str(const char* k, std::string_view v) {
    Key(k);
    vjson::AppendJsonString(s, v);
  }
  void Box(const char* k, double x0, double y0, double x1, double y1) {
    Key(k);
    AppendArray(s, {x0, y0, x1, y1});
  }
  static void AppendArray(std::string& out, std::initializer_list<double> vs) {
    out += '[';
    bool f = true;
    for (double v : vs) {
      if (!f) out += ',';
      f = false;
      out += vjson::JsonNumber(v);
    }
    out += ']';
  }
  std::string& Close() { return s += '}'; }
  void PrintLine() {
    Close() += '\n';
    std::fwrite(s.data(), 1, s.size(), stdout);
  }
};

std::string Rgb(uint32_t rgb) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "#%06x", static_cast<unsigned>(rgb & 0xFFFFFF));
  return buf;
}

void PrintPage(PTK_HDOC doc, int32_t page, int32_t pages) {
  JsonObject l;
  l.Str("kind", std::string_view("page"));
  l.Int("page", page);
  l.Int("pages", pages);
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  if (PTK_GetPageRect(doc, page, 1, &x0, &y0, &x1, &y1)) {
    l.Box("box", x0, y0, x1, y1);
  } else {
    l.Key("box");
    l.s += "null";
  }
  // The page unit is 1/72 inch for most pages: printed with enough digits to compute pixel sizes.
  l.Num("unit", PTK_GetPageUnit(doc, page), 9);
  x0 = y0 = x1 = y1 = 0;
  if (PTK_GetPageRect(doc, page, 0, &x0, &y0, &x1, &y1)) l.Box("mediaBox", x0, y0, x1, y1);
  l.PrintLine();
}

// The run's characters as text: the full text of a character when the kit gives one, else its
// code; "?" for a character without a usable code.
std::u16string RunText(const PTK_TextRun& run) {
  std::u16string text;
  for (uint32_t i = 0; i < run.nCharCount; ++i) {
    const PTK_CharRecord& c = run.pChars[i];
    if (c.nNoCode == c.nCode) {
      text += u'?';
    } else if (c.pszText) {
      text += vwin32::View(c.pszText);
    } else if (c.nCode >= 0x10000 && c.nCode <= 0x10FFFF) {
      const int32_t v = c.nCode - 0x10000;
      text += static_cast<char16_t>(0xD800 + (v >> 10));
      text += static_cast<char16_t>(0xDC00 + (v & 0x3FF));
    } else if (c.nCode >= 0 && c.nCode <= 0xFFFF) {
      text += static_cast<char16_t>(c.nCode);
    } else {
      text += u'\uFFFD';
    }
  }
  return text;
}

void PrintRun(const PTK_TextRun& run, int seq) {
  JsonObject l;
  l.Str("kind", std::string_view("run"));
  l.Int("seq", seq);
  l.Str("font", vwin32::View(run.pszFontName));
  l.Str("fontKey", vwin32::View(run.pszFontKey));
  l.Str("encoding", vwin32::View(run.pszEncoding));
  l.Num("fontSize", run.dFontSize);
  l.Num("size2", run.dVertSize);
  l.Box("box", run.dX0, run.dY0, run.dX1, run.dY1);
  if (run.nAttr1 != 0) l.Bool("vertical", true);
  if (run.bFlags & 1) l.Bool("invisible", true);
  if (run.bFlag1 != 0) l.Int("renderMode", run.bFlag1);
  if (run.bFlag2 != 0) l.Int("style", run.bFlag2);
  l.Bool("embedded", run.bFlag3 != 0);
  l.Str("text", RunText(run));
  l.Key("chars");
  l.s += '[';
  for (uint32_t i = 0; i < run.nCharCount; ++i) {
    const PTK_CharRecord& c = run.pChars[i];
    if (i) l.s += ',';
    JsonObject ch;
    ch.Int("glyph", c.nGlyph);
    ch.Int("code", c.nCode);
    ch.Key("origin");
    JsonObject::AppendArray(ch.s, {c.dOriginX, c.dOriginY});
    ch.Box("box", c.dX0, c.dY0, c.dX1, c.dY1);
    if (c.nNoCode == c.nCode) ch.Bool("noCode", true);
    if (c.nFlags & PTK_CF_INVISIBLE) ch.Bool("invisible", true);
    if (c.pszText) ch.Str("text", vwin32::View(c.pszText));
    l.s += ch.Close();
  }
  l.s += ']';
  l.PrintLine();
}

void PrintImage(const PTK_ImageRecord& img) {
  JsonObject l;
  l.Str("kind", std::string_view("image"));
  l.Box("box", img.dX0, std::min(img.dYTop, img.dYBottom), img.dX1,
        std::max(img.dYTop, img.dYBottom));
  l.Box("clip", img.dClipX0, std::min(img.dClipYBottom, img.dClipYTop), img.dClipX1,
        std::max(img.dClipYBottom, img.dClipYTop));
  const BITMAPINFOHEADER* h = img.pHeader;
  l.Int("width", h ? h->biWidth : 0);
  l.Int("height", h ? std::llabs(static_cast<long long>(h->biHeight)) : 0);
  l.Int("bpp", h ? h->biBitCount : 0);
  l.Bool("mask", img.pMask != nullptr);
  l.Key("scale");
  JsonObject::AppendArray(l.s, {img.dScaleX, img.dScaleY});
  l.Num("rotation", img.dRotation * 180.0 / kPi);
  l.Key("dpi");
  JsonObject::AppendArray(l.s, {img.dDpiX, img.dDpiY});
  l.PrintLine();
}

void PrintPath(const PTK_PathRecord& path) {
  JsonObject l;
  l.Str("kind", std::string_view("path"));
  l.Int("index", path.nIndex);
  l.Bool("stroke", path.bStroke != 0);
  l.Bool("fill", path.bFill != 0);
  if (path.bFill) {
    l.Bool("evenOdd", path.bEvenOdd != 0);
    l.Str("fillRGB", Rgb(path.nFillRGB));
  }
  if (path.bStroke) {
    l.Num("lineWidth", path.dLineWidth);
    l.Str("strokeRGB", Rgb(path.nStrokeRGB));
  }
  l.Box("box", path.dX0, path.dY0, path.dX1, path.dY1);
  l.Key("segments");
  l.s += '[';
  const int32_t n = path.pSegments ? path.nSegmentCount : 0;
  for (int32_t i = 0; i < n; ++i) {
    const PTK_PathSegment& seg = path.pSegments[i];
    if (i) l.s += ',';
    l.s += '[' + std::to_string(seg.nType) + ',' + vjson::JsonNumber(seg.dX) + ',' +
           vjson::JsonNumber(seg.dY);
    if (seg.nType == PTK_SEG_CURVE) {
      for (double v : {seg.dX2, seg.dY2, seg.dX3, seg.dY3}) l.s += ',' + vjson::JsonNumber(v);
    }
    l.s += ']';
  }
  l.s += ']';
  l.PrintLine();
}

struct TextDeleter {
  void operator()(PTK_TextRun* p) const { PTK_FreePageContentTextStream(p); }
};
struct ImageDeleter {
  void operator()(PTK_ImageRecord* p) const { PTK_FreePageContentImageStream(p); }
};
struct PathDeleter {
  void operator()(PTK_PathRecord* p) const { PTK_FreePageContentPathStream(p); }
};

void DumpContent(PTK_HDOC doc, int32_t page) {
  PTK_TextRun* runs = nullptr;
  PTK_GetPageContentTextStream(doc, page, &runs);
  const std::unique_ptr<PTK_TextRun, TextDeleter> runGuard(runs);
  int seq = 0;
  for (const PTK_TextRun* r = runs; r; r = r->pNext) PrintRun(*r, seq++);

  PTK_ImageRecord* images = nullptr;
  PTK_GetPageContentImageStream(doc, page, &images);
  const std::unique_ptr<PTK_ImageRecord, ImageDeleter> imageGuard(images);
  for (const PTK_ImageRecord* i = images; i; i = i->pNext) PrintImage(*i);

  PTK_PathRecord* paths = nullptr;
  PTK_GetPageContentPathStream(doc, page, &paths);
  const std::unique_ptr<PTK_PathRecord, PathDeleter> pathGuard(paths);
  for (const PTK_PathRecord* p = paths; p; p = p->pNext) PrintPath(*p);
}

// JPEG writing. libjpeg reports errors through error_exit, which must not return: it jumps
// back to Compress, whose frame holds no objects with destructors.
struct JpegError {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void OnJpegError(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<JpegError*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->message);
  std::longjmp(err->jump, 1);
}

void OnJpegMessage(j_common_ptr) {}  // warnings stay quiet

struct RawImage {
  int width;
  int height;
  const uint8_t* bits;
  size_t stride;
  bool topDown;
};

void CompressRows(jpeg_compress_struct* cinfo, FILE* f, const RawImage* img) {
  jpeg_create_compress(cinfo);
  jpeg_stdio_dest(cinfo, f);
  cinfo->image_width = static_cast<JDIMENSION>(img->width);
  cinfo->image_height = static_cast<JDIMENSION>(img->height);
  cinfo->input_components = 3;
  cinfo->in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(cinfo);
  jpeg_set_quality(cinfo, 90, TRUE);
  jpeg_start_compress(cinfo, TRUE);
  while (cinfo->next_scanline < cinfo->image_height) {
    const size_t y = cinfo->next_scanline;
    const size_t row = img->topDown ? y : static_cast<size_t>(img->height) - 1 - y;
    JSAMPROW p = const_cast<JSAMPROW>(img->bits + row * img->stride);
    jpeg_write_scanlines(cinfo, &p, 1);
  }
  jpeg_finish_compress(cinfo);
  jpeg_destroy_compress(cinfo);
}

bool Compress(FILE* f, const RawImage* img, char* message) {
  jpeg_compress_struct cinfo;
  JpegError err;
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = OnJpegError;
  err.pub.output_message = OnJpegMessage;
  err.message[0] = '\0';
  if (setjmp(err.jump)) {
    jpeg_destroy_compress(&cinfo);
    std::memcpy(message, err.message, JMSG_LENGTH_MAX);
    return false;
  }
  CompressRows(&cinfo, f, img);
  return true;
}

// Renders the page and writes it as a JPEG file; reports and returns false on failure.
bool Render(PTK_HDOC doc, const Options& o) {
  const double unit = PTK_GetPageUnit(doc, o.page);
  if (!std::isfinite(unit) || unit <= 0) {
    Fail(o.file, "the kit reports no page unit for page " + std::to_string(o.page));
    return false;
  }
  const double scale = o.scale / (96.0 * unit);
  BITMAPINFOHEADER* header = nullptr;
  uint8_t* bits = nullptr;
  if (!PTK_GetPageThumbnail(doc, o.page, &header, &bits, scale, scale, 0.0) || !header || !bits) {
    PTK_FreePageThumbnail(header, bits);
    Fail(o.file, "the kit cannot render page " + std::to_string(o.page) + " at scale " +
                     vjson::JsonNumber(o.scale));
    return false;
  }
  const RawImage img{header->biWidth, header->biHeight < 0 ? -header->biHeight : header->biHeight,
                     bits, (static_cast<size_t>(header->biWidth) * 3 + 3) & ~size_t{3},
                     header->biHeight < 0};
  if (header->biBitCount != 24 || img.width <= 0 || img.height <= 0) {
    PTK_FreePageThumbnail(header, bits);
    Fail(o.file, "the kit's rendering is not a 24-bit bitmap");
    return false;
  }
  FILE* f = std::fopen(o.renderPath.c_str(), "wb");
  if (!f) {
    PTK_FreePageThumbnail(header, bits);
    Fail(o.renderPath, std::string("cannot write the page image: ") + std::strerror(errno));
    return false;
  }
  char message[JMSG_LENGTH_MAX] = {};
  const bool ok = Compress(f, &img, message);
  const bool closed = std::fclose(f) == 0;
  PTK_FreePageThumbnail(header, bits);
  if (!ok || !closed) {
    std::remove(o.renderPath.c_str());
    Fail(o.renderPath,
         std::string("cannot write the page image: ") + (ok ? std::strerror(errno) : message));
    return false;
  }
  return true;
}

// Keeps the kit started for the life of the dump.
struct KitSession {
  KitSession() { PTK_Initialize(0); }
  ~KitSession() { PTK_Destroy(); }
  KitSession(const KitSession&) = delete;
  KitSession& operator=(const KitSession&) = delete;
};

struct DocCloser {
  void operator()(PTK_Document* d) const { PTK_CloseDoc(d, 0); }
};

int Run(const Options& o) {
  struct stat st {};
  if (::stat(o.file.c_str(), &st) != 0) {
    Fail(o.file, std::string("cannot open: ") + std::strerror(errno));
    return kExitBadInput;
  }
  if (S_ISDIR(st.st_mode)) {
    Fail(o.file, "cannot open: is a directory");
    return kExitBadInput;
  }
  const KitSession kit;
  const std::unique_ptr<PTK_Document, DocCloser> doc(
      PTK_OpenDoc(vwin32::FromUtf8(o.file).c_str(), 0));
  if (!doc) {
    Fail(o.file, "cannot open as a PDF document (not a PDF, damaged, encrypted or without pages)");
    return kExitBadInput;
  }
  const int32_t pages = PTK_GetPageCount(doc.get());
  if (o.page < 1 || o.page > pages) {
    const std::string shown = o.pageArg.empty() ? std::to_string(o.page) : o.pageArg;
    Fail(o.file, "page " + shown + " is out of range (the document has " + std::to_string(pages) +
                     (pages == 1 ? " page)" : " pages)"));
    return kExitBadInput;
  }
  PrintPage(doc.get(), o.page, pages);
  DumpContent(doc.get(), o.page);
  if (std::fflush(stdout) != 0) {
    Fail(o.file, "cannot write the output");
    return kExitFailure;
  }
  if (!o.renderPath.empty() && !Render(doc.get(), o)) return kExitFailure;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  bool help = false;
  const std::optional<Options> options = ParseArgs(argc, argv, help);
  if (help) {
    std::printf("%s\n", kUsage);
    return 0;
  }
  if (!options) return kExitBadInput;
  return Run(*options);
}
