// Internal state of the page-content kit: one MuPDF context per document, the document, a
// cached page and the fonts met on the page. Every MuPDF call sits inside fz_try/fz_catch in
// a function that owns no C++ object with a destructor across the call.
#pragma once

extern "C" {
#include <mupdf/fitz.h>
#include <mupdf/pdf.h>
}

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>

#include "pdfkit/pdfkit.h"

namespace pdfkit {

// Allocation accounting behind a document's context: allocations beyond the cap fail, which
// MuPDF turns into an error (after trying to free cached objects).
struct MemoryCap {
  size_t used = 0;
  size_t peak = 0;
  size_t limit = 0;
};

// The cap of one document's context, in bytes. VELLUMA_KIT_MEMORY_MB overrides the default.
size_t DefaultMemoryCap();

// Upper bound of device calls (glyph runs, paths, images) interpreted on one page before the
// interpretation is aborted: a guard against runaway content streams.
constexpr long kMaxDeviceCalls = 4'000'000;

// Per-page bounds of every interpretation of a page (text, graphics, rendering). A page past
// one of them gives no stream and no rendering. A dense newspaper page shows about 100,000
// bytes of text in 200,000 operators.
constexpr int kMaxPageOperators = 5'000'000;
constexpr size_t kMaxPageTextBytes = 2'000'000;  // bytes of shown strings, >= glyphs
constexpr int kMaxFormDepth = 32;

// The most pages a document is taken to have, and the most page-tree nodes walked to count
// them.
constexpr int kMaxPages = 1'000'000;
constexpr long kMaxPageTreeNodes = 4'000'000;

// Renderings of at most this many pixels are handed out blank (see PTK_GetPageThumbnail).
constexpr double kBlankThumbnailPixels = 64;

// A page as the kit sees it: the loaded page and the transform from PDF user space to kit
// coordinates (points, origin at the lower-left corner of the displayed CropBox, y upward).
struct PageFrame {
  pdf_page* page = nullptr;  // borrowed from the document's page cache
  fz_matrix userToKit = fz_identity;
  fz_matrix flip = fz_identity;  // fz page space (y down) to kit space (y up)
  double width = 0;
  double height = 0;
  fz_rect media = fz_empty_rect;  // the MediaBox in kit coordinates
};

}  // namespace pdfkit

struct PTK_Document {
  pdfkit::MemoryCap cap;
  fz_context* ctx = nullptr;
  pdf_document* doc = nullptr;
  int pageCount = 0;
  int smoothTag = 12;
  // Last loaded page (1-based number), kept so that the several streams of one page share it.
  int cachedPageNo = 0;
  pdf_page* cachedPage = nullptr;
  // Fonts met by the text stream, by font key, kept for glyph rendering.
  std::unordered_map<std::u16string, pdf_font_desc*> fonts;
  // The image and path collector of the last text interpretation: the text stream gathers
  // them in the same pass, and the image and path streams of that page take them from here.
  fz_device* graphics = nullptr;
  int graphicsPage = 0;
  // The last page whose interpretation went past the per-page limits: it is not run again.
  int limitPage = 0;
  // Ink boxes of outline glyphs in em space, by font key and glyph index.
  std::unordered_map<std::u16string, std::unordered_map<int, fz_rect>> glyphBoxes;
  // Font programs met so far, by object number, and the bytes of those stored decoded.
  std::unordered_map<int, int> fontFileUses;
  size_t sharedFontBytes = 0;
};

namespace pdfkit {

// Loads page nPage (1-based) of the document into the cache and fills the frame. Must be
// called inside fz_try of hDoc->ctx; throws (fz_throw) on failure.
void LoadPageFrame(PTK_Document* hDoc, int nPage, PageFrame* frame);

// True when nPage is a page of an open document.
bool ValidPage(const PTK_Document* hDoc, int nPage);

// Called for each font dictionary before it is loaded: a font program that a second font
// dictionary uses is decoded once and kept decoded in the document (kit_fontfile.cpp).
// Never throws.
void ShareFontProgram(PTK_Document* hDoc, pdf_obj* font);

// Converts a UTF-8 (or Latin-1 fallback) C string from a PDF name or string to UTF-16.
std::u16string WidenPdfText(const char* text);

// Saved operators of a guarded run processor.
struct GuardOps {
  void (*Tj)(fz_context*, pdf_processor*, char*, size_t) = nullptr;
  void (*TJ)(fz_context*, pdf_processor*, pdf_obj*) = nullptr;
  void (*squote)(fz_context*, pdf_processor*, char*, size_t) = nullptr;
  void (*dquote)(fz_context*, pdf_processor*, float, float, char*, size_t) = nullptr;
  void (*q)(fz_context*, pdf_processor*) = nullptr;
  void (*cm)(fz_context*, pdf_processor*, float, float, float, float, float, float) = nullptr;
  void (*m)(fz_context*, pdf_processor*, float, float) = nullptr;
  void (*l)(fz_context*, pdf_processor*, float, float) = nullptr;
  void (*c)(fz_context*, pdf_processor*, float, float, float, float, float, float) = nullptr;
  void (*re)(fz_context*, pdf_processor*, float, float, float, float) = nullptr;
  void (*BI)(fz_context*, pdf_processor*, fz_image*, const char*) = nullptr;
  void (*sh)(fz_context*, pdf_processor*, const char*, fz_shade*) = nullptr;
  void (*Do_image)(fz_context*, pdf_processor*, const char*, fz_image*) = nullptr;
  void (*Do_form)(fz_context*, pdf_processor*, const char*, pdf_obj*, pdf_obj*) = nullptr;
};

// The per-page limits of one interpretation, on the caller's stack around its fz_try (it is
// the thread's current guard while it lives). A page that goes past a limit is remembered by
// the document, and its later interpretations fail at once.
struct PageGuard {
  PageGuard(PTK_Document* doc, int page, const fz_cookie* c);
  ~PageGuard();
  PageGuard(const PageGuard&) = delete;
  PageGuard& operator=(const PageGuard&) = delete;

  PTK_Document* hDoc;
  int nPage;
  const fz_cookie* cookie;  // its progress counts the operators
  PageGuard* outer;
  GuardOps ops;
  size_t textBytes = 0;
  int formDepth = 0;
  bool tripped = false;
};

// Puts the processor's operators under the current guard (after any other patching).
void GuardProcessor(PageGuard* guard, pdf_processor* proc);

// True when the page went past the limits in an earlier interpretation.
bool PastLimits(const PTK_Document* hDoc, int nPage);

// Runs the page's content stream (annotations excluded) on a device whose coordinates are
// kit coordinates, under the current page guard (a PageGuard of the caller). The cookie aborts
// runaway streams. Inside fz_try; throws on failure.
void RunPageContents(PTK_Document* hDoc, const PageFrame& frame, fz_device* dev, fz_cookie* cookie);

}  // namespace pdfkit
