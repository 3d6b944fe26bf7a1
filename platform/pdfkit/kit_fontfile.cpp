// Font programs shared between font dictionaries, decoded once per document.
//
// Producers often give every page fonts of its own that point at one embedded font program
// (a Type0 font per page and writing direction over one CIDFont, one font file). MuPDF keeps
// loaded fonts by font dictionary, so each of those dictionaries decrypts and inflates the whole
// font program again. The second time a font program is met, its stream is decoded and put back
// into the document as plain data; every later load then takes the stored bytes as they are.
#include "kit_internal.h"

namespace pdfkit {
namespace {

// Decoded font programs kept per document at most, in bytes; beyond it fonts load as before.
constexpr size_t kMaxSharedFontBytes = 48u << 20;

// The font descriptor of a simple font, or of a Type0 font's descendant.
pdf_obj* FontDescriptor(fz_context* ctx, pdf_obj* font) {
  pdf_obj* fd = pdf_dict_get(ctx, font, PDF_NAME(FontDescriptor));
  if (fd) return fd;
  pdf_obj* descendant = pdf_array_get(ctx, pdf_dict_get(ctx, font, PDF_NAME(DescendantFonts)), 0);
  return pdf_dict_get(ctx, descendant, PDF_NAME(FontDescriptor));
}

}  // namespace

void ShareFontProgram(PTK_Document* hDoc, pdf_obj* font) {
  fz_context* ctx = hDoc->ctx;
  fz_buffer* buf = nullptr;
  fz_var(buf);
  fz_try(ctx) {
    pdf_obj* fd = FontDescriptor(ctx, font);
    pdf_obj* file = pdf_dict_get(ctx, fd, PDF_NAME(FontFile));
    if (!file) file = pdf_dict_get(ctx, fd, PDF_NAME(FontFile2));
    if (!file) file = pdf_dict_get(ctx, fd, PDF_NAME(FontFile3));
    const int num = pdf_to_num(ctx, file);
    if (num > 0 && pdf_is_stream(ctx, file) && ++hDoc->fontFileUses[num] == 2 &&
        hDoc->sharedFontBytes < kMaxSharedFontBytes) {
      buf = pdf_load_stream(ctx, file);
      const size_t size = fz_buffer_storage(ctx, buf, nullptr);
      if (size > 0 && size <= kMaxSharedFontBytes - hDoc->sharedFontBytes) {
        // Plain data: the filters and the length go, decryption no longer applies to it.
        pdf_update_stream(ctx, hDoc->doc, file, buf, 0);
        hDoc->sharedFontBytes += size;
      }
    }
  }
  fz_always(ctx) {
    fz_drop_buffer(ctx, buf);
  }
  fz_catch(ctx) {
    // The font loads the ordinary way.
  }
}

}  // namespace pdfkit
