// Glyph bitmaps of the page-content kit: one glyph of a run's font rendered upright by
// MuPDF's glyph renderer, cropped to its ink.
//
// The font comes from the document's font table, which the text stream fills; a key of the
// form "<num> <gen> R" that the table lacks is loaded from its object and kept there. The
// rendering depends only on the font, the glyph and the scale, so identical glyphs give
// identical bytes.
#include <cmath>
#include <cstdio>
#include <string>

#include "kit_dib.h"
#include "kit_internal.h"

namespace pdfkit {
namespace {

constexpr double kMaxPixelsPerEm = 4096;
constexpr int64_t kMaxGlyphPixels = 16ll << 20;

// Parses "<num> <gen> R".
bool ParseObjectKey(const std::u16string& key, int* num, int* gen) {
  if (key.size() > 40) return false;
  std::string ascii;
  for (char16_t c : key) {
    if (c > 0x7E) return false;
    ascii.push_back(static_cast<char>(c));
  }
  char r = 0, extra = 0;
  if (std::sscanf(ascii.c_str(), "%d %d %c%c", num, gen, &r, &extra) != 3 || r != 'R') return false;
  return *num > 0 && *gen >= 0 && *gen <= 65535;
}

pdf_font_desc* LoadFontObject(PTK_Document* hDoc, int num, int gen) {
  fz_context* ctx = hDoc->ctx;
  pdf_obj* ref = nullptr;
  pdf_font_desc* desc = nullptr;
  fz_var(ref);
  fz_var(desc);
  fz_try(ctx) {
    if (num >= pdf_xref_len(ctx, hDoc->doc)) fz_throw(ctx, FZ_ERROR_GENERIC, "no such object");
    ref = pdf_new_indirect(ctx, hDoc->doc, num, gen);
    pdf_obj* subtype = pdf_dict_get(ctx, ref, PDF_NAME(Subtype));
    const bool font =
        pdf_name_eq(ctx, pdf_dict_get(ctx, ref, PDF_NAME(Type)), PDF_NAME(Font)) ||
        pdf_name_eq(ctx, subtype, PDF_NAME(Type0)) || pdf_name_eq(ctx, subtype, PDF_NAME(Type1)) ||
        pdf_name_eq(ctx, subtype, PDF_NAME(MMType1)) ||
        pdf_name_eq(ctx, subtype, PDF_NAME(TrueType)) || pdf_name_eq(ctx, subtype, PDF_NAME(Type3));
    if (!pdf_is_dict(ctx, ref) || !font) fz_throw(ctx, FZ_ERROR_GENERIC, "not a font");
    desc = pdf_load_font(ctx, hDoc->doc, nullptr, ref);
  }
  fz_always(ctx) {
    pdf_drop_obj(ctx, ref);
  }
  fz_catch(ctx) {
    desc = nullptr;
  }
  return desc;
}

void DropFont(PTK_Document* hDoc, pdf_font_desc* desc) {
  fz_context* ctx = hDoc->ctx;
  fz_try(ctx) {
    pdf_drop_font(ctx, desc);
  }
  fz_catch(ctx) {}
}

pdf_font_desc* FindFont(PTK_Document* hDoc, const char16_t* pszKey) {
  try {
    std::u16string key(pszKey);
    auto it = hDoc->fonts.find(key);
    if (it != hDoc->fonts.end()) return it->second;
    int num = 0, gen = 0;
    if (!ParseObjectKey(key, &num, &gen)) return nullptr;
    pdf_font_desc* desc = LoadFontObject(hDoc, num, gen);
    if (!desc) return nullptr;
    try {
      hDoc->fonts.emplace(key, desc);
    } catch (...) {
      DropFont(hDoc, desc);
      return nullptr;
    }
    return desc;
  } catch (...) {
    return nullptr;
  }
}

// Renders through the draw device; used where the glyph renderer declines (large sizes).
// Returns a grey pixmap with alpha whose alpha is the ink coverage.
fz_pixmap* DrawGlyph(fz_context* ctx, fz_font* font, int gid, fz_matrix trm, int aa) {
  fz_rect r = fz_bound_glyph(ctx, font, gid, trm);
  fz_irect box = fz_round_rect(fz_expand_rect(r, 1));
  if (fz_is_empty_irect(box) ||
      static_cast<int64_t>(box.x1 - box.x0) * (box.y1 - box.y0) > kMaxGlyphPixels)
    fz_throw(ctx, FZ_ERROR_GENERIC, "glyph too large");
  fz_pixmap* pix = nullptr;
  fz_text* text = nullptr;
  fz_device* dev = nullptr;
  const int oldAa = fz_text_aa_level(ctx);
  fz_var(pix);
  fz_var(text);
  fz_var(dev);
  fz_try(ctx) {
    pix = fz_new_pixmap_with_bbox(ctx, fz_device_gray(ctx), box, nullptr, 1);
    fz_clear_pixmap(ctx, pix);
    text = fz_new_text(ctx);
    fz_show_glyph(ctx, text, font, trm, gid, 0, 0, 0, FZ_BIDI_LTR, FZ_LANG_UNSET);
    fz_set_text_aa_level(ctx, aa);
    dev = fz_new_draw_device(ctx, fz_identity, pix);
    const float black = 0;
    fz_fill_text(ctx, dev, text, fz_identity, fz_device_gray(ctx), &black, 1,
                 fz_default_color_params);
    fz_close_device(ctx, dev);
  }
  fz_always(ctx) {
    fz_set_text_aa_level(ctx, oldAa);
    fz_drop_device(ctx, dev);
    fz_drop_text(ctx, text);
  }
  fz_catch(ctx) {
    fz_drop_pixmap(ctx, pix);
    fz_rethrow(ctx);
  }
  return pix;
}

// The smallest area holding every ink pixel (coverage >= threshold); false when there is none.
bool InkArea(const fz_pixmap* pix, int threshold, PixmapArea* area) {
  int x0 = pix->w, y0 = pix->h, x1 = -1, y1 = -1;
  const int n = pix->n;
  for (int y = 0; y < pix->h; ++y) {
    const uint8_t* row = pix->samples + static_cast<ptrdiff_t>(y) * pix->stride + (n - 1);
    for (int x = 0; x < pix->w; ++x) {
      if (row[static_cast<ptrdiff_t>(x) * n] < threshold) continue;
      if (x < x0) x0 = x;
      if (x > x1) x1 = x;
      if (y < y0) y0 = y;
      y1 = y;
    }
  }
  if (x1 < 0) return false;
  *area = {x0, y0, x1 - x0 + 1, y1 - y0 + 1};
  return true;
}

// Renders the glyph and converts it: aa 0 gives 1 bit per pixel with {white, black}, ink 1;
// otherwise 8 bits with the coverage as index into a white-to-black table. Rows bottom-up.
bool RenderGlyph(PTK_Document* hDoc, fz_font* font, int gid, double sx, double sy, int aa,
                 Dib* out) {
  fz_context* ctx = hDoc->ctx;
  fz_pixmap* pix = nullptr;
  bool ok = false;
  fz_var(pix);
  fz_var(ok);
  fz_try(ctx) {
    // A Type 3 font has procedures for the codes 0 .. 255 only.
    if (fz_font_t3_procs(ctx, font) && gid > 255) fz_throw(ctx, FZ_ERROR_GENERIC, "no glyph");
    fz_matrix trm = fz_make_matrix(static_cast<float>(sx), 0, 0, static_cast<float>(-sy), 0, 0);
    pix = fz_render_glyph_pixmap(ctx, font, gid, &trm, &fz_infinite_irect, aa);
    if (!pix) {
      trm = fz_make_matrix(static_cast<float>(sx), 0, 0, static_cast<float>(-sy), 0, 0);
      pix = DrawGlyph(ctx, font, gid, trm, aa);
    }
    PixmapArea area;
    if (pix && pix->alpha && InkArea(pix, aa == 0 ? 128 : 1, &area) &&
        DibFromPixmapChannel(pix, area, Sample::kAlpha, aa == 0 ? 1 : 8, false, out)) {
      if (aa == 0)
        SetTwoColours(out->header, 0xFFFFFF, 0x000000);
      else
        SetInkRamp(out->header);
      ok = true;
    }
  }
  fz_always(ctx) {
    fz_drop_pixmap(ctx, pix);
  }
  fz_catch(ctx) {
    ok = false;
  }
  if (!ok) {
    FreeDib(out->header, out->bits);
    out->header = nullptr;
    out->bits = nullptr;
  }
  return ok;
}

}  // namespace
}  // namespace pdfkit

PTK_API uint8_t PTK_GetCharBitmap(PTK_HDOC hDoc, const PTK_RunDesc* pDesc,
                                  const PTK_CharRecord* pChar, BITMAPINFOHEADER** ppHeader,
                                  uint8_t** ppBits) {
  if (ppHeader) *ppHeader = nullptr;
  if (ppBits) *ppBits = nullptr;
  if (!hDoc || !hDoc->doc || !pDesc || !pChar || !pDesc->pszFontKey || !ppHeader || !ppBits)
    return 0;
  const double sx = pDesc->dScaleX, sy = pDesc->dScaleY;
  if (!std::isfinite(sx) || !std::isfinite(sy) || sx <= 0 || sy <= 0 ||
      sx > pdfkit::kMaxPixelsPerEm || sy > pdfkit::kMaxPixelsPerEm)
    return 0;
  if (pChar->nGlyph < 0) return 0;
  pdf_font_desc* desc = pdfkit::FindFont(hDoc, pDesc->pszFontKey);
  if (!desc || !desc->font) return 0;
  const int aa = hDoc->smoothTag <= 0 ? 0 : hDoc->smoothTag > 8 ? 8 : hDoc->smoothTag;
  pdfkit::Dib dib;
  if (!pdfkit::RenderGlyph(hDoc, desc->font, pChar->nGlyph, sx, sy, aa, &dib)) return 0;
  *ppHeader = dib.header;
  *ppBits = dib.bits;
  return 1;
}

PTK_API void PTK_FreeCharBitmap(BITMAPINFOHEADER* pHeader, uint8_t* pBits) {
  pdfkit::FreeDib(pHeader, pBits);
}
