// velluma: command-line host of the component. Loads libvelluma.so with dlopen, creates a data
// adaptor through the exported class object and reads pages through the client interfaces only.

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <limits>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#define VELLUMA_DEFINE_IDS
#include "batch.h"
#include "host.h"
#include "model.h"
#include "velluma/velluma.h"
#include "vwin32/strings.h"

// velluma glyphs (glyphs.cpp).
int RunGlyphs(IDataAdaptor* adaptor, int argc, char** argv);

namespace {

namespace fs = std::filesystem;
using namespace vcli;

constexpr int kExitOk = 0;
constexpr int kExitError = 2;
constexpr int kMaxDepth = 16;  // guards the child walk against a cyclic block tree

// Thrown for every user-facing failure: one line on stderr, exit status 2.
struct Failure {
  std::string message;
};

[[noreturn]] void Fail(const std::string& message) {
  throw Failure{message};
}

// ---- Small text helpers ----

std::string Utf8(std::u16string_view s) {
  return vwin32::ToUtf8(s);
}

// Takes ownership of a BSTR out value and returns its text as UTF-8 (empty when null).
std::string TakeBstr(BSTR b) {
  std::string s = Utf8(vwin32::FromBstr(b));
  if (b) SysFreeString(b);
  return s;
}

// ---- The module ----

using GetClassObjectFn = HRESULT (*)(REFCLSID, REFIID, void**);

// The module's optional block-flags export; null when the module does not offer it.
PFN_VellumaGetBlockFlags g_getBlockFlags = nullptr;

// Path of the component module: VELLUMA_MODULE, else ../lib/libvelluma.so next to the program.
std::string ModulePath() {
  if (const char* env = std::getenv("VELLUMA_MODULE"); env && *env) return env;
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return "libvelluma.so";
  return (exe.parent_path().parent_path() / "lib" / "libvelluma.so").string();
}

// Holds one data adaptor; closes and releases it on destruction. The module stays loaded for
// the life of the process, so no object outlives its code.
class Adaptor {
 public:
  Adaptor() {
    const std::string path = ModulePath();
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) Fail("cannot load the component module " + path + ": " + dlerror());
    auto getClassObject = reinterpret_cast<GetClassObjectFn>(dlsym(module, "DllGetClassObject"));
    if (!getClassObject) Fail("the module " + path + " exports no DllGetClassObject");
    g_getBlockFlags =
        reinterpret_cast<PFN_VellumaGetBlockFlags>(dlsym(module, "VellumaGetBlockFlags"));
    IClassFactory* factory = nullptr;
    if (FAILED(getClassObject(CLSID_PDFDataAdaptor, IID_IClassFactory,
                              reinterpret_cast<void**>(&factory))) ||
        !factory)
      Fail("the module " + path + " has no data adaptor class");
    const HRESULT hr =
        factory->CreateInstance(nullptr, IID_IDataAdaptor, reinterpret_cast<void**>(&adaptor_));
    factory->Release();
    if (FAILED(hr) || !adaptor_) Fail("cannot create a data adaptor");
  }
  ~Adaptor() {
    if (adaptor_) {
      adaptor_->Close();
      adaptor_->Release();
    }
  }
  Adaptor(const Adaptor&) = delete;
  Adaptor& operator=(const Adaptor&) = delete;
  IDataAdaptor* operator->() const { return adaptor_; }

 private:
  IDataAdaptor* adaptor_ = nullptr;
};

// Checks that the file exists and starts like a PDF, then opens it; returns the page count.
long OpenDocument(Adaptor& adaptor, const std::string& file) {
  std::error_code ec;
  if (!fs::exists(file, ec)) Fail("cannot open " + file + ": no such file");
  if (fs::is_directory(file, ec)) Fail("cannot open " + file + ": is a directory");
  std::ifstream in(file, std::ios::binary);
  if (!in) Fail("cannot open " + file + ": " + std::strerror(errno));
  std::string head(1024, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<size_t>(in.gcount()));
  if (head.find("%PDF-") == std::string::npos) Fail(file + ": not a PDF file");
  const std::u16string wide = vwin32::FromUtf8(fs::absolute(file, ec).string());
  if (FAILED(adaptor->Open(0, wide.c_str()))) Fail(file + ": the PDF file cannot be read");
  long count = 0;
  if (FAILED(adaptor->get_TotalPageCount(&count))) Fail(file + ": no page count");
  return count;
}

void CheckPage(const std::string& file, int page, long count) {
  if (page < 1 || page > count)
    Fail(file + ": page " + std::to_string(page) + " out of range (the document has " +
         std::to_string(count) + (count == 1 ? " page)" : " pages)"));
}

// Fails with a clear message when the output file cannot be created.
void CheckWritable(const std::string& out) {
  std::FILE* f = std::fopen(out.c_str(), "wb");
  if (!f) Fail("cannot write " + out + ": " + std::strerror(errno));
  std::fclose(f);
}

// ---- What a page holds, as read through the client interfaces ----

std::vector<POINT> RegionPoints(IRegn* regn) {
  std::vector<POINT> points;
  int n = 0;
  if (!regn || FAILED(regn->GetPoints(nullptr, &n)) || n <= 0 || n > 100000) return points;
  points.resize(static_cast<size_t>(n));
  if (FAILED(regn->GetPoints(points.data(), &n))) points.clear();
  return points;
}

Box BoundsOf(const std::vector<POINT>& points) {
  Box b;
  if (points.empty()) return b;
  b.left = b.right = static_cast<double>(points[0].x);
  b.top = b.bottom = static_cast<double>(points[0].y);
  for (const POINT& p : points) {
    b.left = std::min(b.left, static_cast<double>(p.x));
    b.right = std::max(b.right, static_cast<double>(p.x));
    b.top = std::min(b.top, static_cast<double>(p.y));
    b.bottom = std::max(b.bottom, static_cast<double>(p.y));
  }
  return b;
}

// Items of a list as pointers of the list's kind; releases the list.
template <typename T>
std::vector<T*> TakeItems(IBlockList* list) {
  std::vector<T*> items;
  if (!list) return items;
  long count = 0;
  if (SUCCEEDED(list->GetCount(&count)))
    for (long i = 0; i < count; ++i) {
      long* item = nullptr;
      if (SUCCEEDED(list->GetItemAt(static_cast<int>(i), &item)) && item)
        items.push_back(reinterpret_cast<T*>(item));
    }
  list->Release();
  return items;
}

Text ReadText(ITextBlock* block, int depth) {
  Text t;
  t.direction = block->GetDirection();
  unsigned long flags = 0;
  const bool haveFlags = g_getBlockFlags && SUCCEEDED(g_getBlockFlags(block, &flags));
  if (haveFlags) t.type = static_cast<int>(flags & 0xFF);
  BSTR b = nullptr;
  if (SUCCEEDED(block->GetFontName(&b))) t.font = TakeBstr(b);
  t.fontSize = block->GetFontSize();
  b = nullptr;
  if (SUCCEEDED(block->GetText(&b))) t.text = TakeBstr(b);
  t.lineCount = t.text.empty() ? 0 : 1;
  for (size_t at = t.text.find("\r\n"); at != std::string::npos; at = t.text.find("\r\n", at + 2))
    ++t.lineCount;
  b = nullptr;
  if (SUCCEEDED(block->GetHtml(&b))) t.html = TakeBstr(b);
  IRegn* regn = nullptr;
  if (SUCCEEDED(block->GetRegion(0, &regn))) t.points = RegionPoints(regn);
  t.box = BoundsOf(t.points);
  IBlockList* list = nullptr;
  if (depth < kMaxDepth && SUCCEEDED(block->GetTextList(&list, 0))) {
    for (ITextBlock* child : TakeItems<ITextBlock>(list)) {
      if (child == block) continue;
      t.children.push_back(ReadText(child, depth + 1));
      t.level = std::max(t.level, t.children.back().level + 1);
    }
  }
  if (haveFlags) t.level = static_cast<int>((flags >> 8) & 0xF);
  return t;
}

Picture ReadPicture(IPicBlock* pic) {
  Picture p;
  pic->GetRect(&p.rect);
  p.width = pic->GetWidth();
  p.height = pic->GetHeight();
  p.bpp = pic->GetBpp();
  IRegn* regn = nullptr;
  if (SUCCEEDED(pic->GetRegion(0, &regn))) p.points = RegionPoints(regn);
  p.box = BoundsOf(p.points);
  IBlockList* list = nullptr;
  if (SUCCEEDED(pic->GetTextList(&list, 0)))
    for (ITextBlock* caption : TakeItems<ITextBlock>(list)) {
      p.captions.push_back(ReadText(caption, 1));
      p.caption += p.captions.back().text;
    }
  return p;
}

// The one block of an article's slot (1 main title, 2 upper title, 3 subtitle, 4 body).
std::optional<Text> ReadArticleSlot(IArticle* a, int slot) {
  IBlockList* list = nullptr;
  if (FAILED(a->GetTextList(&list, slot))) return std::nullopt;
  const std::vector<ITextBlock*> items = TakeItems<ITextBlock>(list);
  if (items.empty()) return std::nullopt;
  return ReadText(items.front(), 1);
}

Article ReadArticle(IArticle* a) {
  Article art;
  art.id = a->GetArticleId();
  BSTR b = nullptr;
  if (SUCCEEDED(a->GetHtml(&b))) art.html = TakeBstr(b);
  art.title = ReadArticleSlot(a, 1);
  art.kicker = ReadArticleSlot(a, 2);
  art.subtitle = ReadArticleSlot(a, 3);
  art.body = ReadArticleSlot(a, 4);
  IBlockList* list = nullptr;
  if (SUCCEEDED(a->GetPicList(&list)))
    for (IPicBlock* p : TakeItems<IPicBlock>(list)) art.pictures.push_back(ReadPicture(p));
  for (const std::optional<Text>* t : {&art.kicker, &art.title, &art.subtitle, &art.body})
    if (*t) art.box = Union(art.box, (*t)->box);
  for (const Picture& pic : art.pictures) art.box = Union(art.box, pic.box);
  return art;
}

std::string InfoText(IPageInfo* info, HRESULT (IPageInfo::*get)(BSTR*)) {
  BSTR b = nullptr;
  if (FAILED((info->*get)(&b))) return "";
  return TakeBstr(b);
}

PageInfo ReadPageInfo(Adaptor& adaptor) {
  PageInfo pi;
  long raw = 0;
  if (FAILED(adaptor->GetCurPageInfo(&raw)) || !raw) return pi;
  auto* info = reinterpret_cast<IPageInfo*>(raw);
  pi.index = info->GetPageIndex();
  pi.width = info->GetPageWidth();
  pi.height = info->GetPageHeight();
  pi.pageId = InfoText(info, &IPageInfo::GetPageId);
  pi.pageName = InfoText(info, &IPageInfo::GetPageName);
  pi.issueDate = InfoText(info, &IPageInfo::GetIssueDate);
  pi.pageCount = InfoText(info, &IPageInfo::GetPageCount);
  int index = 0;
  BSTR path = nullptr;
  if (SUCCEEDED(info->GetPageSource(&index, &path))) pi.source = TakeBstr(path);
  return pi;
}

struct Options {
  std::string command;
  std::string file = VELLUMA_DEFAULT_PDF;
  int page = 1;
  bool all = false;
  int level = 5;  // articles
  bool images = true;
  bool paths = false;
  bool recognise = false;
  std::string format = "text";
  std::string out;
  double scale = 1.0;
};

Page LoadPage(Adaptor& adaptor, const Options& o, int number) {
  unsigned long flags = (static_cast<unsigned long>(o.level) & LPF_LEVEL_MASK) | LPF_TEXT;
  if (o.images) flags |= LPF_IMAGES;
  if (o.paths) flags |= LPF_PATHS;
  if (o.recognise) flags |= LPF_RECOGNISE;
  if (FAILED(adaptor->LoadPage(number, flags, TRUE)))
    Fail(o.file + ": page " + std::to_string(number) + " cannot be loaded");
  Page page;
  page.number = number;
  page.level = o.level;
  page.info = ReadPageInfo(adaptor);
  IBlockList* list = nullptr;
  if (SUCCEEDED(adaptor->GetTextList(nullptr, 0, &list)))
    for (ITextBlock* t : TakeItems<ITextBlock>(list)) page.texts.push_back(ReadText(t, 0));
  list = nullptr;
  if (SUCCEEDED(adaptor->GetPicList(nullptr, 0, &list)))
    for (IPicBlock* p : TakeItems<IPicBlock>(list)) page.pictures.push_back(ReadPicture(p));
  list = nullptr;
  if (SUCCEEDED(adaptor->GetArticleList(0, &list)))
    for (IArticle* a : TakeItems<IArticle>(list)) page.articles.push_back(ReadArticle(a));
  return page;
}

// ---- Output: text ----

std::string BoxText(const Box& b) {
  return "[" + Num(b.left) + "," + Num(b.top) + " - " + Num(b.right) + "," + Num(b.bottom) + "]";
}

// A type code as two hex digits; "?" when unknown.
std::string TypeText(int type) {
  if (type < 0) return "?";
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%02X", static_cast<unsigned>(type));
  return buf;
}

void WriteTextBlock(std::ostream& os, const Text& t, int indent) {
  const std::string pad(static_cast<size_t>(indent) * 2, ' ');
  os << pad << (t.children.empty() ? "block" : "group") << " type " << TypeText(t.type) << " level "
     << t.level << " dir " << t.direction << " " << BoxText(t.box) << " font \"" << t.font << "\" "
     << Num(t.fontSize) << " lines " << t.lineCount << "\n";
  if (t.children.empty()) {
    std::string text = t.text;
    for (size_t at; (at = text.find("\r\n")) != std::string::npos;) text.replace(at, 2, " / ");
    os << pad << "  " << text << "\n";
  }
  for (const Text& c : t.children) WriteTextBlock(os, c, indent + 1);
}

void WriteText(std::ostream& os, const std::string& file, long count, const Options& o,
               const Page& p) {
  // The page information first: it is what bulk intake looks at.
  const PageInfo& i = p.info;
  os << "page id: " << i.pageId << "\npage name: " << i.pageName << "\nissue date: " << i.issueDate
     << "\npage count: " << i.pageCount << "\n";
  os << "file: " << file << "\npages: " << count << "\npage: " << p.number << " (index " << i.index
     << ", " << Num(i.width) << " x " << Num(i.height) << ", source " << i.source
     << ")\nlevel: " << o.level << "\n";
  os << "text blocks: " << p.texts.size() << "\n";
  for (const Text& t : p.texts) WriteTextBlock(os, t, 1);
  os << "pictures: " << p.pictures.size() << "\n";
  for (const Picture& pic : p.pictures) {
    os << "  picture [" << pic.rect.left << "," << pic.rect.top << " - " << pic.rect.right << ","
       << pic.rect.bottom << "] " << pic.width << " x " << pic.height << " x " << pic.bpp << " bpp";
    if (!pic.caption.empty()) os << " caption \"" << pic.caption << "\"";
    os << "\n";
  }
  WriteArticlesText(os, p);
}

// ---- Output: JSON ----

void WritePageJson(std::ostream& os, const Options& o, const Page& p) {
  const PageInfo& i = p.info;
  os << "{\"page\":" << p.number << ",\"level\":" << o.level
     << ",\"page_info\":{\"index\":" << i.index << ",\"width\":" << Num(i.width)
     << ",\"height\":" << Num(i.height) << ",\"page_id\":" << JsonString(i.pageId)
     << ",\"page_name\":" << JsonString(i.pageName) << ",\"issue_date\":" << JsonString(i.issueDate)
     << ",\"page_count\":" << JsonString(i.pageCount) << ",\"source\":" << JsonString(i.source)
     << "},\n\"text_blocks\":[";
  for (size_t k = 0; k < p.texts.size(); ++k) os << (k ? ",\n" : "\n") << TextJson(p.texts[k]);
  os << "],\n\"pictures\":[";
  for (size_t k = 0; k < p.pictures.size(); ++k)
    os << (k ? ",\n" : "\n") << PictureJson(p.pictures[k]);
  os << "],\n";
  WriteArticlesJson(os, p);
  os << "}";
}

// ---- Output: HTML ----

void CollectOutlines(std::ostream& os, const Text& t) {
  std::string pts;
  for (const POINT& pt : t.points) pts += std::to_string(pt.x) + "," + std::to_string(pt.y) + " ";
  if (!pts.empty())
    os << "<polygon class=\"" << (t.children.empty() ? "block" : "group") << "\" points=\"" << pts
       << "\"><title>" << HtmlEscape(t.text) << "</title></polygon>\n";
  for (const Text& c : t.children) CollectOutlines(os, c);
}

void WriteHtml(std::ostream& os, const std::string& file, const std::string& image, const Page& p) {
  const double w = p.info.width > 0 ? p.info.width : 1000;
  const double h = p.info.height > 0 ? p.info.height : 1000;
  os << "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" << HtmlEscape(file)
     << " page " << p.number << "</title>\n<style>svg{max-width:100%;height:auto}"
     << "polygon{fill:rgba(0,0,255,.05);stroke:#06c;stroke-width:1}"
     << "polygon.group{fill:none;stroke:#c60;stroke-width:2}"
     << "polygon.picture{fill:rgba(0,160,0,.08);stroke:#090}"
     << "polygon:hover{fill:rgba(255,200,0,.35)}"
     << "dl.info{display:grid;grid-template-columns:max-content auto;gap:0 1em}"
     << "dl.info dd{margin:0}" << ArticlesCss() << "</style></head><body>\n<h1>" << HtmlEscape(file)
     << " &mdash; page " << p.number << "</h1>\n";
  const PageInfo& i = p.info;
  os << "<dl class=\"info\"><dt>page id</dt><dd>" << HtmlEscape(i.pageId)
     << "</dd><dt>page name</dt><dd>" << HtmlEscape(i.pageName) << "</dd><dt>issue date</dt><dd>"
     << HtmlEscape(i.issueDate) << "</dd><dt>page count</dt><dd>" << HtmlEscape(i.pageCount)
     << "</dd></dl>\n<svg xmlns=\"http://www.w3.org/2000/svg\" "
     << "viewBox=\"0 0 " << Num(w) << " " << Num(h) << "\" width=\"" << Num(w) << "\" height=\""
     << Num(h) << "\">\n<image href=\"" << HtmlEscape(image) << "\" x=\"0\" y=\"0\" width=\""
     << Num(w) << "\" height=\"" << Num(h) << "\" preserveAspectRatio=\"none\"/>\n";
  for (const Text& t : p.texts) CollectOutlines(os, t);
  for (const Picture& pic : p.pictures) {
    std::string pts;
    for (const POINT& pt : pic.points)
      pts += std::to_string(pt.x) + "," + std::to_string(pt.y) + " ";
    if (!pts.empty())
      os << "<polygon class=\"picture\" points=\"" << pts << "\"><title>picture " << pic.width
         << " x " << pic.height << "</title></polygon>\n";
  }
  WriteArticlesSvg(os, p);
  os << "</svg>\n</body></html>\n";
}

// ---- Commands ----

const char* const kUsage =
    "usage: velluma analyse [FILE] [--page N | --all] [--level L] [--no-images] [--paths]\n"
    "                       [--recognise] [--format text|json|html|alto] [-o OUT]\n"
    "       velluma glyphs FILE --page N [-o sheet.html | --format json]\n"
    "       velluma review FILE [--page N] [--level L]\n"
    "       velluma render [FILE] --page N [--scale S] -o OUT.jpg\n"
    "       velluma info FILE\n"
    "       velluma batch INPUT... -o OUTDIR [--jobs N] [--shard I/N] (velluma batch --help)\n"
    "       velluma issue FILE... --publication NAME [--config DIR] [--format text|json|csv]\n"
    "                             [--jobs N]\n"
    "       velluma register [--user] | velluma unregister [--user]\n";

int ParseInt(const std::string& opt, const std::string& v) {
  char* end = nullptr;
  errno = 0;
  const long n = std::strtol(v.c_str(), &end, 10);
  if (v.empty() || *end || errno || n < -1000000 || n > 1000000)
    Fail("option " + opt + " needs a whole number, not '" + v + "'");
  return static_cast<int>(n);
}

Options ParseArgs(int argc, char** argv) {
  if (argc < 2) Fail("no command given (analyse, render or info); try 'velluma --help'");
  Options o;
  o.command = argv[1];
  if (o.command != "analyse" && o.command != "render" && o.command != "info")
    Fail("unknown command '" + o.command + "'; try 'velluma --help'");
  bool fileGiven = false;
  bool pageGiven = false;
  for (int k = 2; k < argc; ++k) {
    const std::string a = argv[k];
    auto value = [&]() -> std::string {
      if (k + 1 >= argc) Fail("option " + a + " needs a value");
      return argv[++k];
    };
    if (a == "--page") {
      o.page = ParseInt(a, value());
      pageGiven = true;
    } else if (a == "--all") {
      o.all = true;
    } else if (a == "--level") {
      o.level = ParseInt(a, value());
      if (o.level < 0 || o.level > 15) Fail("option --level takes 0 to 15");
    } else if (a == "--no-images") {
      o.images = false;
    } else if (a == "--paths") {
      o.paths = true;
    } else if (a == "--recognise") {
      o.recognise = true;
    } else if (a == "--format") {
      o.format = value();
      if (o.format != "text" && o.format != "json" && o.format != "html" && o.format != "alto")
        Fail("unknown format '" + o.format + "' (text, json, html or alto)");
    } else if (a == "-o" || a == "--output") {
      o.out = value();
    } else if (a == "--scale") {
      char* end = nullptr;
      const std::string v = value();
      o.scale = std::strtod(v.c_str(), &end);
      if (v.empty() || *end || !(o.scale > 0) || o.scale > 20)
        Fail("option --scale needs a number above 0 and at most 20, not '" + v + "'");
    } else if (a.size() > 1 && a[0] == '-') {
      Fail("unknown option '" + a + "'; try 'velluma --help'");
    } else if (!fileGiven) {
      o.file = a;
      fileGiven = true;
    } else {
      Fail("unexpected argument '" + a + "'");
    }
  }
  if (o.all && pageGiven) Fail("--page and --all exclude each other");
  if (o.command == "info" && !fileGiven) Fail("info needs a FILE");
  if (o.command == "render" && o.out.empty()) Fail("render needs -o OUT.jpg");
  if (o.format == "html" && o.out.empty()) Fail("--format html needs -o OUT.html");
  if (o.format == "html" && o.all) Fail("--format html shows one page; use --page N");
  if (o.format == "alto" && o.all && o.out.empty())
    Fail("--format alto with --all writes one file per page; it needs -o OUT.xml");
  return o;
}

bool RenderTo(Adaptor& adaptor, const Options& o, int page, double scale, const std::string& out) {
  CheckWritable(out);
  const std::u16string wide = vwin32::FromUtf8(out);
  long thicken = 0;
  if (FAILED(adaptor->SavePageImage(page, scale, wide.c_str(), &thicken)))
    Fail(o.file + ": page " + std::to_string(page) + " cannot be rendered");
  std::error_code ec;
  if (fs::file_size(out, ec) == 0 || ec) Fail("cannot write " + out);
  return true;
}

int RunInfo(Adaptor& adaptor, const Options& o) {
  const long count = OpenDocument(adaptor, o.file);
  std::cout << "file: " << o.file << "\npages: " << count << "\n";
  for (int n = 1; n <= count; ++n) {
    if (FAILED(adaptor->LoadPage(n, 0, TRUE)))
      Fail(o.file + ": page " + std::to_string(n) + " cannot be loaded");
    const PageInfo i = ReadPageInfo(adaptor);
    // Without analysis the page identifier is the page's name made from the document's name.
    std::cout << "page " << n << ": " << Num(i.width) << " x " << Num(i.height);
    if (!i.pageId.empty()) std::cout << " \"" << i.pageId << "\"";
    std::cout << "\n";
  }
  return kExitOk;
}

int RunRender(Adaptor& adaptor, const Options& o) {
  const long count = OpenDocument(adaptor, o.file);
  CheckPage(o.file, o.page, count);
  RenderTo(adaptor, o, o.page, o.scale, o.out);
  return kExitOk;
}

// The file that page n's ALTO goes to with --all: OUT's stem, "-", the page number in four
// digits or more, OUT's extension, in OUT's folder.
std::string AltoPagePath(const std::string& out, int n) {
  const fs::path path(out);
  char num[16];
  std::snprintf(num, sizeof num, "-%04d", n);
  return (path.parent_path() / (path.stem().string() + num + path.extension().string())).string();
}

void WriteAltoFile(Adaptor& adaptor, const Options& o, long count, int n) {
  const std::string out = AltoPagePath(o.out, n);
  std::ofstream file(out, std::ios::binary | std::ios::trunc);
  if (!file) Fail("cannot write " + out + ": " + std::strerror(errno));
  WriteAlto(file, fs::path(o.file).filename().string(), count, LoadPage(adaptor, o, n));
  file.flush();
  if (!file) Fail("cannot write " + out);
}

int RunAnalyse(Adaptor& adaptor, const Options& o) {
  const long count = OpenDocument(adaptor, o.file);
  // Pages are taken one at a time from first to last: a document that claims a huge page count
  // costs nothing up front.
  int first = o.page, last = o.page;
  if (o.all) {
    first = 1;
    last = static_cast<int>(std::min<long>(count, std::numeric_limits<int>::max()));
  } else {
    CheckPage(o.file, o.page, count);
  }
  const bool progress = o.all && isatty(STDERR_FILENO);
  auto report = [&](int n) {
    if (progress) std::cerr << "\rpage " << n << " of " << count << std::flush;
  };
  if (o.format == "alto" && o.all) {
    for (int n = first; n <= last; ++n) {
      report(n);
      WriteAltoFile(adaptor, o, count, n);
    }
    if (progress) std::cerr << "\n";
    return kExitOk;
  }
  std::ofstream file;
  if (!o.out.empty()) {
    file.open(o.out, std::ios::binary | std::ios::trunc);
    if (!file) Fail("cannot write " + o.out + ": " + std::strerror(errno));
  }
  std::ostream& os = o.out.empty() ? std::cout : file;

  if (o.format == "html") {
    const Page p = LoadPage(adaptor, o, first);
    const fs::path outPath(o.out);
    const std::string image = outPath.stem().string() + ".jpg";
    // The page is rendered at one pixel per page unit so the outlines share its coordinates.
    RenderTo(adaptor, o, p.number, 1.0, (outPath.parent_path() / image).string());
    WriteHtml(os, o.file, image, p);
  } else if (o.format == "alto") {
    WriteAlto(os, fs::path(o.file).filename().string(), count, LoadPage(adaptor, o, first));
  } else if (o.format == "json") {
    os << "{\"file\":" << JsonString(o.file) << ",\"page_count\":" << count << ",\"pages\":[\n";
    for (int n = first; n <= last; ++n) {
      report(n);
      if (n > first) os << ",\n";
      WritePageJson(os, o, LoadPage(adaptor, o, n));
    }
    os << "\n]}\n";
  } else {
    for (int n = first; n <= last; ++n) {
      report(n);
      if (n > first) os << "\n";
      WriteText(os, o.file, count, o, LoadPage(adaptor, o, n));
    }
  }
  if (progress) std::cerr << "\n";
  os.flush();
  if (!os) Fail("cannot write " + (o.out.empty() ? std::string("standard output") : o.out));
  return kExitOk;
}

}  // namespace

int VellumaReviewCommand(int argc, char** argv);  // review.cpp

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "review") == 0) return VellumaReviewCommand(argc, argv);
  if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::cout << kUsage;
    return kExitOk;
  }
  if (argc >= 2 && std::strcmp(argv[1], "batch") == 0) return RunBatch(argc, argv);
  if (argc >= 2 &&
      (std::strcmp(argv[1], "register") == 0 || std::strcmp(argv[1], "unregister") == 0))
    return RunRegisterCommand(argc, argv);
  if (argc >= 2 && std::strcmp(argv[1], "issue") == 0) return RunIssueCommand(argc, argv);
  try {
    if (argc >= 2 && std::strcmp(argv[1], "glyphs") == 0)
      return RunGlyphs(Adaptor().operator->(), argc, argv);
    const Options o = ParseArgs(argc, argv);
    Adaptor adaptor;
    if (o.command == "info") return RunInfo(adaptor, o);
    if (o.command == "render") return RunRender(adaptor, o);
    return RunAnalyse(adaptor, o);
  } catch (const Failure& f) {
    std::cerr << "velluma: " << f.message << "\n";
    return kExitError;
  } catch (const std::exception& e) {
    std::cerr << "velluma: " << e.what() << "\n";
    return kExitError;
  }
}
