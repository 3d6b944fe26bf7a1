// Documents and pages of the page-content kit.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <unordered_set>
#include <vector>

#include "kit_internal.h"
#include "vwin32/codepage.h"
#include "vwin32/files.h"
#include "vwin32/strings.h"

namespace pdfkit {
namespace {

constexpr size_t kHeader = 16;  // keeps the user block aligned for any type

void* CapMalloc(void* user, size_t size) {
  auto* cap = static_cast<MemoryCap*>(user);
  if (size > cap->limit || cap->used > cap->limit - size) return nullptr;
  auto* block = static_cast<unsigned char*>(std::malloc(size + kHeader));
  if (!block) return nullptr;
  std::memcpy(block, &size, sizeof size);
  cap->used += size;
  if (cap->used > cap->peak) cap->peak = cap->used;
  return block + kHeader;
}

void CapFree(void* user, void* ptr) {
  if (!ptr) return;
  auto* cap = static_cast<MemoryCap*>(user);
  auto* block = static_cast<unsigned char*>(ptr) - kHeader;
  size_t size;
  std::memcpy(&size, block, sizeof size);
  cap->used -= size;
  std::free(block);
}

void* CapRealloc(void* user, void* old, size_t size) {
  if (!old) return CapMalloc(user, size);
  if (size == 0) {
    CapFree(user, old);
    return nullptr;
  }
  auto* cap = static_cast<MemoryCap*>(user);
  auto* block = static_cast<unsigned char*>(old) - kHeader;
  size_t oldSize;
  std::memcpy(&oldSize, block, sizeof oldSize);
  if (size > oldSize && (size - oldSize > cap->limit || cap->used > cap->limit - (size - oldSize)))
    return nullptr;
  auto* grown = static_cast<unsigned char*>(std::realloc(block, size + kHeader));
  if (!grown) return nullptr;
  std::memcpy(grown, &size, sizeof size);
  cap->used = cap->used - oldSize + size;
  if (cap->used > cap->peak) cap->peak = cap->used;
  return grown + kHeader;
}

// MuPDF reports warnings and errors on stderr by default; a library must stay quiet.
void Quiet(void*, const char*) {}

// A PDF file starts with "%PDF-" within its first kilobyte.
bool LooksLikePdf(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  char head[1024];
  size_t n = std::fread(head, 1, sizeof head, f);
  std::fclose(f);
  for (size_t i = 0; i + 5 <= n; ++i)
    if (std::memcmp(head + i, "%PDF-", 5) == 0) return true;
  return false;
}

void DropDocument(PTK_Document* hDoc) {
  if (!hDoc) return;
  if (hDoc->ctx) {
    fz_context* ctx = hDoc->ctx;
    fz_drop_device(ctx, hDoc->graphics);
    hDoc->graphics = nullptr;
    for (auto& entry : hDoc->fonts) pdf_drop_font(ctx, entry.second);
    hDoc->fonts.clear();
    fz_drop_page(ctx, reinterpret_cast<fz_page*>(hDoc->cachedPage));
    hDoc->cachedPage = nullptr;
    pdf_drop_document(ctx, hDoc->doc);
    hDoc->doc = nullptr;
    fz_drop_context(ctx);
  }
  delete hDoc;
}

// A C++ allocation failure must not unwind through fz_try: it is turned into a result.
bool Push(std::vector<pdf_obj*>& stack, pdf_obj* obj) {
  try {
    stack.push_back(obj);
    return true;
  } catch (...) {
    return false;
  }
}

// Counts the leaves of the page tree: the pages the document really has, whatever the
// tree's /Count entries claim (a one-page file may claim two billion). Kids already visited
// are not entered again, and at most kMaxPages pages and kMaxPageTreeNodes nodes are walked.
// Returns -1 when the tree cannot be read.
int CountPageLeaves(fz_context* ctx, pdf_document* doc) {
  std::vector<pdf_obj*> stack;
  std::unordered_set<int> visited;
  volatile int count = 0;
  volatile bool ok = true;
  fz_try(ctx) {
    pdf_obj* root = pdf_dict_getp(ctx, pdf_trailer(ctx, doc), "Root/Pages");
    if (!pdf_is_dict(ctx, root)) fz_throw(ctx, FZ_ERROR_GENERIC, "no page tree");
    Push(stack, root);
    long nodes = 0;
    while (!stack.empty() && count < kMaxPages && ++nodes <= kMaxPageTreeNodes) {
      pdf_obj* node = stack.back();
      stack.pop_back();
      const int num = pdf_to_num(ctx, node);
      if (num > 0) {
        int fresh = 0;
        try {
          fresh = visited.insert(num).second ? 1 : 0;
        } catch (...) {
          fresh = -1;
        }
        if (fresh < 0) fz_throw(ctx, FZ_ERROR_MEMORY, "page tree");
        if (fresh == 0) continue;
      }
      pdf_obj* kids = pdf_dict_get(ctx, node, PDF_NAME(Kids));
      const bool leaf = pdf_name_eq(ctx, pdf_dict_get(ctx, node, PDF_NAME(Type)), PDF_NAME(Page)) ||
                        !pdf_is_array(ctx, kids);
      if (leaf) {
        count = count + 1;
        continue;
      }
      for (int i = pdf_array_len(ctx, kids) - 1; i >= 0; --i) {
        pdf_obj* kid = pdf_array_get(ctx, kids, i);
        if (pdf_is_dict(ctx, kid) && !Push(stack, kid)) fz_throw(ctx, FZ_ERROR_MEMORY, "page tree");
      }
    }
  }
  fz_catch(ctx) {
    ok = false;
  }
  return ok ? count : -1;
}

}  // namespace

size_t DefaultMemoryCap() {
  size_t mb = 1024;
  if (const char* env = std::getenv("VELLUMA_KIT_MEMORY_MB")) {
    char* end = nullptr;
    unsigned long v = std::strtoul(env, &end, 10);
    if (end != env && v >= 16 && v <= (1ul << 20)) mb = v;
  }
  return mb << 20;
}

bool ValidPage(const PTK_Document* hDoc, int nPage) {
  return hDoc && hDoc->doc && nPage >= 1 && nPage <= hDoc->pageCount;
}

void LoadPageFrame(PTK_Document* hDoc, int nPage, PageFrame* frame) {
  fz_context* ctx = hDoc->ctx;
  if (!ValidPage(hDoc, nPage)) fz_throw(ctx, FZ_ERROR_GENERIC, "page out of range");
  if (hDoc->cachedPageNo != nPage) {
    fz_drop_page(ctx, reinterpret_cast<fz_page*>(hDoc->cachedPage));
    hDoc->cachedPage = nullptr;
    hDoc->cachedPageNo = 0;
    hDoc->cachedPage = pdf_load_page(ctx, hDoc->doc, nPage - 1);
    hDoc->cachedPageNo = nPage;
  }
  pdf_page* page = hDoc->cachedPage;
  fz_rect unrotated;
  fz_matrix pageCtm;
  pdf_page_transform(ctx, page, &unrotated, &pageCtm);
  fz_rect bounds = fz_transform_rect(unrotated, pageCtm);
  frame->page = page;
  frame->width = bounds.x1 - bounds.x0;
  frame->height = bounds.y1 - bounds.y0;
  frame->flip = fz_make_matrix(1, 0, 0, -1, -bounds.x0, bounds.y1);
  frame->userToKit = fz_concat(pageCtm, frame->flip);
  fz_rect media = pdf_to_rect(ctx, pdf_dict_get_inheritable(ctx, page->obj, PDF_NAME(MediaBox)));
  if (fz_is_empty_rect(media)) media = unrotated;
  frame->media = fz_transform_rect(media, frame->userToKit);
}

// ---- the page guard ----------------------------------------------------------------------

namespace {

// The guard of the interpretation running on this thread (one at a time per thread).
thread_local PageGuard* tlsGuard = nullptr;

void Check(fz_context* ctx) {
  PageGuard* g = tlsGuard;
  if (!g) return;
  if (g->cookie && g->cookie->progress > kMaxPageOperators) {
    g->tripped = true;
    fz_throw(ctx, FZ_ERROR_ABORT, "too many operators");
  }
}

void CountText(fz_context* ctx, size_t bytes) {
  Check(ctx);
  PageGuard* g = tlsGuard;
  if (g && (g->textBytes += bytes) > kMaxPageTextBytes) {
    g->tripped = true;
    fz_throw(ctx, FZ_ERROR_ABORT, "too much text");
  }
}

void GTj(fz_context* ctx, pdf_processor* proc, char* str, size_t len) {
  CountText(ctx, len);
  tlsGuard->ops.Tj(ctx, proc, str, len);
}
void GSquote(fz_context* ctx, pdf_processor* proc, char* str, size_t len) {
  CountText(ctx, len);
  tlsGuard->ops.squote(ctx, proc, str, len);
}
void GDquote(fz_context* ctx, pdf_processor* proc, float aw, float ac, char* str, size_t len) {
  CountText(ctx, len);
  tlsGuard->ops.dquote(ctx, proc, aw, ac, str, len);
}
void GTJ(fz_context* ctx, pdf_processor* proc, pdf_obj* array) {
  size_t bytes = 0;
  for (int i = 0, n = pdf_array_len(ctx, array); i < n; ++i)
    bytes += static_cast<size_t>(pdf_to_str_len(ctx, pdf_array_get(ctx, array, i)));
  CountText(ctx, bytes);
  tlsGuard->ops.TJ(ctx, proc, array);
}
void Gq(fz_context* ctx, pdf_processor* proc) {
  Check(ctx);
  tlsGuard->ops.q(ctx, proc);
}
void Gcm(fz_context* ctx, pdf_processor* proc, float a, float b, float c, float d, float e,
         float f) {
  Check(ctx);
  tlsGuard->ops.cm(ctx, proc, a, b, c, d, e, f);
}
void Gm(fz_context* ctx, pdf_processor* proc, float x, float y) {
  Check(ctx);
  tlsGuard->ops.m(ctx, proc, x, y);
}
void Gl(fz_context* ctx, pdf_processor* proc, float x, float y) {
  Check(ctx);
  tlsGuard->ops.l(ctx, proc, x, y);
}
void Gc(fz_context* ctx, pdf_processor* proc, float x1, float y1, float x2, float y2, float x3,
        float y3) {
  Check(ctx);
  tlsGuard->ops.c(ctx, proc, x1, y1, x2, y2, x3, y3);
}
void Gre(fz_context* ctx, pdf_processor* proc, float x, float y, float w, float h) {
  Check(ctx);
  tlsGuard->ops.re(ctx, proc, x, y, w, h);
}
void GBI(fz_context* ctx, pdf_processor* proc, fz_image* image, const char* cs) {
  Check(ctx);
  tlsGuard->ops.BI(ctx, proc, image, cs);
}
void Gsh(fz_context* ctx, pdf_processor* proc, const char* name, fz_shade* shade) {
  Check(ctx);
  tlsGuard->ops.sh(ctx, proc, name, shade);
}
void GDoImage(fz_context* ctx, pdf_processor* proc, const char* name, fz_image* image) {
  Check(ctx);
  tlsGuard->ops.Do_image(ctx, proc, name, image);
}
void GDoForm(fz_context* ctx, pdf_processor* proc, const char* name, pdf_obj* form, pdf_obj* res) {
  Check(ctx);
  PageGuard* g = tlsGuard;
  // Forms nested deeper than any real page are skipped: each level costs stack.
  if (g->formDepth >= kMaxFormDepth) return;
  ++g->formDepth;
  fz_try(ctx) {
    g->ops.Do_form(ctx, proc, name, form, res);
  }
  fz_always(ctx) {
    --g->formDepth;
  }
  fz_catch(ctx) {
    fz_rethrow(ctx);
  }
}

}  // namespace

void GuardProcessor(PageGuard* guard, pdf_processor* proc) {
  GuardOps& o = guard->ops;
  o.Tj = proc->op_Tj;
  o.TJ = proc->op_TJ;
  o.squote = proc->op_squote;
  o.dquote = proc->op_dquote;
  o.q = proc->op_q;
  o.cm = proc->op_cm;
  o.m = proc->op_m;
  o.l = proc->op_l;
  o.c = proc->op_c;
  o.re = proc->op_re;
  o.BI = proc->op_BI;
  o.sh = proc->op_sh;
  o.Do_image = proc->op_Do_image;
  o.Do_form = proc->op_Do_form;
  proc->op_Tj = GTj;
  proc->op_TJ = GTJ;
  proc->op_squote = GSquote;
  proc->op_dquote = GDquote;
  proc->op_q = Gq;
  proc->op_cm = Gcm;
  proc->op_m = Gm;
  proc->op_l = Gl;
  proc->op_c = Gc;
  proc->op_re = Gre;
  proc->op_BI = GBI;
  proc->op_sh = Gsh;
  proc->op_Do_image = GDoImage;
  proc->op_Do_form = GDoForm;
}

PageGuard::PageGuard(PTK_Document* doc, int page, const fz_cookie* c)
    : hDoc(doc), nPage(page), cookie(c), outer(tlsGuard) {
  tlsGuard = this;
}

PageGuard::~PageGuard() {
  tlsGuard = outer;
  if (tripped) hDoc->limitPage = nPage;
}

bool PastLimits(const PTK_Document* hDoc, int nPage) {
  return hDoc->limitPage == nPage;
}

void RunPageContents(PTK_Document* hDoc, const PageFrame& frame, fz_device* dev,
                     fz_cookie* cookie) {
  fz_context* ctx = hDoc->ctx;
  if (PastLimits(hDoc, hDoc->cachedPageNo)) fz_throw(ctx, FZ_ERROR_ABORT, "page past its limits");
  pdf_page* page = frame.page;
  pdf_processor* proc = nullptr;
  fz_var(proc);
  // As MuPDF runs a page's contents (a page group around a transparent page), with the
  // operators under the page guard.
  const bool group = page->transparency != 0;
  const fz_rect box = fz_transform_rect(frame.media, fz_identity);
  fz_try(ctx) {
    if (group) fz_begin_group(ctx, dev, box, nullptr, 1, 0, 0, 1);
    proc = pdf_new_run_processor(ctx, dev, frame.userToKit, "View", nullptr, nullptr, cookie);
    GuardProcessor(tlsGuard, proc);
    pdf_process_contents(ctx, proc, hDoc->doc, pdf_page_resources(ctx, page),
                         pdf_page_contents(ctx, page), cookie);
    pdf_close_processor(ctx, proc);
    if (group) fz_end_group(ctx, dev);
  }
  fz_always(ctx) {
    pdf_drop_processor(ctx, proc);
  }
  fz_catch(ctx) {
    fz_rethrow(ctx);
  }
}

std::u16string WidenPdfText(const char* text) {
  if (!text) return std::u16string();
  std::string_view bytes(text);
  // Valid UTF-8 (ASCII included) is taken as such; anything else is a name written in the
  // ANSI code page, as Chinese producers write font names.
  bool utf8 = true;
  for (size_t i = 0; i < bytes.size() && utf8;) {
    unsigned char c = static_cast<unsigned char>(bytes[i]);
    size_t len = c < 0x80           ? 1
                 : (c >> 5) == 0x6  ? 2
                 : (c >> 4) == 0xE  ? 3
                 : (c >> 3) == 0x1E ? 4
                                    : 0;
    if (len == 0 || i + len > bytes.size()) {
      utf8 = false;
      break;
    }
    for (size_t k = 1; k < len; ++k)
      if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80) utf8 = false;
    i += len;
  }
  return utf8 ? vwin32::FromUtf8(bytes) : vwin32::AnsiToUnicode(bytes);
}

}  // namespace pdfkit

PTK_API void PTK_Initialize(int) {}

PTK_API void PTK_Destroy() {}

PTK_API PTK_HDOC PTK_OpenDoc(const char16_t* pszPath, int) {
  if (!pszPath || !*pszPath) return nullptr;
  std::string path = vwin32::ToFsPath(pszPath);
  if (!pdfkit::LooksLikePdf(path)) return nullptr;

  auto* hDoc = new (std::nothrow) PTK_Document;
  if (!hDoc) return nullptr;
  hDoc->cap.limit = pdfkit::DefaultMemoryCap();
  fz_alloc_context alloc = {&hDoc->cap, pdfkit::CapMalloc, pdfkit::CapRealloc, pdfkit::CapFree};
  hDoc->ctx = fz_new_context(&alloc, nullptr, 64u << 20);
  if (!hDoc->ctx) {
    delete hDoc;
    return nullptr;
  }
  fz_context* ctx = hDoc->ctx;
  fz_set_warning_callback(ctx, pdfkit::Quiet, nullptr);
  fz_set_error_callback(ctx, pdfkit::Quiet, nullptr);

  volatile bool ok = false;
  fz_try(ctx) {
    hDoc->doc = pdf_open_document(ctx, path.c_str());
    if (pdf_needs_password(ctx, hDoc->doc) && !pdf_authenticate_password(ctx, hDoc->doc, ""))
      fz_throw(ctx, FZ_ERROR_GENERIC, "encrypted");
    ok = true;
  }
  fz_catch(ctx) {
    ok = false;
  }
  if (ok) {
    try {
      hDoc->pageCount = pdfkit::CountPageLeaves(ctx, hDoc->doc);
    } catch (...) {
      hDoc->pageCount = -1;
    }
  }
  if (!ok || hDoc->pageCount <= 0) {
    pdfkit::DropDocument(hDoc);
    return nullptr;
  }
  return hDoc;
}

PTK_API void PTK_CloseDoc(PTK_HDOC hDoc, int) {
  pdfkit::DropDocument(hDoc);
}

PTK_API int32_t PTK_GetPageCount(PTK_HDOC hDoc) {
  return hDoc && hDoc->doc ? hDoc->pageCount : 0;
}

PTK_API uint8_t PTK_GetPageRect(PTK_HDOC hDoc, int32_t nPage, int32_t nBox, double* pX0,
                                double* pY0, double* pX1, double* pY1) {
  if (!pdfkit::ValidPage(hDoc, nPage) || (nBox != 0 && nBox != 1)) return 0;
  fz_context* ctx = hDoc->ctx;
  pdfkit::PageFrame frame;
  volatile bool ok = false;
  fz_try(ctx) {
    pdfkit::LoadPageFrame(hDoc, nPage, &frame);
    ok = true;
  }
  fz_catch(ctx) {
    ok = false;
  }
  if (!ok) return 0;
  fz_rect box = nBox == 1 ? fz_make_rect(0, 0, frame.width, frame.height) : frame.media;
  if (pX0) *pX0 = box.x0;
  if (pY0) *pY0 = box.y0;
  if (pX1) *pX1 = box.x1;
  if (pY1) *pY1 = box.y1;
  return 1;
}

// Coordinates are points (MuPDF applies /UserUnit in the page transform): one page unit is
// always 1/72 inch.
PTK_API double PTK_GetPageUnit(PTK_HDOC hDoc, int32_t nPage) {
  return pdfkit::ValidPage(hDoc, nPage) ? 1.0 / 72.0 : 0.0;
}

PTK_API void PTK_SetSmoothTag(PTK_HDOC hDoc, int32_t nTag) {
  if (hDoc) hDoc->smoothTag = nTag < 0 ? 0 : nTag;
}
