// Documents and pages of the page-content kit.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

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

void RunPageContents(PTK_Document* hDoc, const PageFrame& frame, fz_device* dev,
                     fz_cookie* cookie) {
  pdf_run_page_contents(hDoc->ctx, frame.page, dev, frame.flip, cookie);
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
    hDoc->pageCount = pdf_count_pages(ctx, hDoc->doc);
    ok = hDoc->pageCount > 0;
  }
  fz_catch(ctx) {
    ok = false;
  }
  if (!ok) {
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
