#include "mupdf_probe.h"

extern "C" {
#include <mupdf/fitz.h>
#include <mupdf/pdf.h>
}

// MuPDF reports errors with longjmp: inside fz_try blocks only plain C values live; results
// are copied into C++ containers declared outside them.

namespace vtest {

struct MuProbe::Impl {
  fz_context* ctx = nullptr;
  fz_stream* stream = nullptr;
  fz_document* doc = nullptr;
};

void MuProbe::OnWarning(void* user, const char* message) {
  static_cast<MuProbe*>(user)->warnings_.emplace_back(message);
}

std::unique_ptr<MuProbe> MuProbe::Open(const std::string& bytes) {
  std::unique_ptr<MuProbe> probe(new MuProbe);
  probe->bytes_ = bytes;
  probe->impl_ = new Impl;
  Impl* im = probe->impl_;
  im->ctx = fz_new_context(nullptr, nullptr, FZ_STORE_DEFAULT);
  if (!im->ctx) return nullptr;
  fz_set_warning_callback(im->ctx, &MuProbe::OnWarning, probe.get());
  fz_set_error_callback(im->ctx, &MuProbe::OnWarning, probe.get());
  bool ok = true;
  fz_try(im->ctx) {
    fz_register_document_handlers(im->ctx);
    im->stream =
        fz_open_memory(im->ctx, reinterpret_cast<const unsigned char*>(probe->bytes_.data()),
                       probe->bytes_.size());
    im->doc = fz_open_document_with_stream(im->ctx, "application/pdf", im->stream);
  }
  fz_catch(im->ctx) {
    ok = false;
  }
  if (!ok) return nullptr;
  return probe;
}

MuProbe::~MuProbe() {
  if (!impl_) return;
  if (impl_->ctx) {
    fz_drop_document(impl_->ctx, impl_->doc);
    fz_drop_stream(impl_->ctx, impl_->stream);
    fz_drop_context(impl_->ctx);
  }
  delete impl_;
}

bool MuProbe::NeedsPassword() {
  volatile int r = 0;
  fz_try(impl_->ctx) {
    r = fz_needs_password(impl_->ctx, impl_->doc);
  }
  fz_catch(impl_->ctx) {
    r = 1;
  }
  return r != 0;
}

bool MuProbe::Authenticate(const std::string& password) {
  volatile int r = 0;
  const char* pw = password.c_str();
  fz_try(impl_->ctx) {
    r = fz_authenticate_password(impl_->ctx, impl_->doc, pw);
  }
  fz_catch(impl_->ctx) {
    r = 0;
  }
  return r != 0;
}

bool MuProbe::WasRepaired() {
  pdf_document* pdf = pdf_document_from_fz_document(impl_->ctx, impl_->doc);
  return !pdf || pdf_was_repaired(impl_->ctx, pdf);
}

int MuProbe::PageCount() {
  volatile int n = -1;
  fz_try(impl_->ctx) {
    n = fz_count_pages(impl_->ctx, impl_->doc);
  }
  fz_catch(impl_->ctx) {
    n = -1;
  }
  return n;
}

namespace {

fz_stext_page* LoadText(fz_context* ctx, fz_document* doc, int pageNo, bool withAnnots, int flags) {
  fz_page* page = nullptr;
  fz_stext_page* text = nullptr;
  fz_device* dev = nullptr;
  fz_var(page);
  fz_var(text);
  fz_var(dev);
  fz_try(ctx) {
    page = fz_load_page(ctx, doc, pageNo);
    fz_stext_options opts;
    memset(&opts, 0, sizeof opts);
    opts.flags = flags;
    text = fz_new_stext_page(ctx, fz_bound_page(ctx, page));
    dev = fz_new_stext_device(ctx, text, &opts);
    if (withAnnots)
      fz_run_page(ctx, page, dev, fz_identity, nullptr);
    else
      fz_run_page_contents(ctx, page, dev, fz_identity, nullptr);
    fz_close_device(ctx, dev);
  }
  fz_always(ctx) {
    fz_drop_device(ctx, dev);
    fz_drop_page(ctx, page);
  }
  fz_catch(ctx) {
    fz_drop_stext_page(ctx, text);
    text = nullptr;
  }
  return text;
}

bool CopyPixmap(fz_context* ctx, fz_image* image, int& w, int& h, int& n,
                std::vector<unsigned char>& out) {
  fz_pixmap* volatile pix = nullptr;
  fz_try(ctx) {
    pix = fz_get_pixmap_from_image(ctx, image, nullptr, nullptr, nullptr, nullptr);
  }
  fz_catch(ctx) {
    return false;
  }
  w = pix->w;
  h = pix->h;
  n = pix->n;
  out.resize(static_cast<size_t>(w) * h * n);
  for (int y = 0; y < h; ++y)
    memcpy(out.data() + static_cast<size_t>(y) * w * n, pix->samples + y * pix->stride,
           static_cast<size_t>(w) * n);
  fz_drop_pixmap(ctx, pix);
  return true;
}

}  // namespace

bool MuProbe::Chars(int page, bool withAnnotations, std::vector<ProbeChar>& out) {
  fz_context* ctx = impl_->ctx;
  fz_stext_page* text =
      LoadText(ctx, impl_->doc, page, withAnnotations, FZ_STEXT_PRESERVE_WHITESPACE);
  if (!text) return false;
  for (fz_stext_block* b = text->first_block; b; b = b->next) {
    if (b->type != FZ_STEXT_BLOCK_TEXT) continue;
    for (fz_stext_line* l = b->u.t.first_line; l; l = l->next)
      for (fz_stext_char* c = l->first_char; c; c = c->next)
        out.push_back(ProbeChar{static_cast<char32_t>(c->c), c->origin.x, c->origin.y, c->size,
                                c->font ? fz_font_name(ctx, c->font) : ""});
  }
  fz_drop_stext_page(ctx, text);
  return true;
}

std::string MuProbe::Text(int page, bool withAnnotations) {
  fz_context* ctx = impl_->ctx;
  fz_stext_page* text =
      LoadText(ctx, impl_->doc, page, withAnnotations, FZ_STEXT_PRESERVE_WHITESPACE);
  if (!text) return {};
  std::u32string s;
  for (fz_stext_block* b = text->first_block; b; b = b->next) {
    if (b->type != FZ_STEXT_BLOCK_TEXT) continue;
    for (fz_stext_line* l = b->u.t.first_line; l; l = l->next) {
      for (fz_stext_char* c = l->first_char; c; c = c->next) s += static_cast<char32_t>(c->c);
      s += U'\n';
    }
  }
  fz_drop_stext_page(ctx, text);
  return ToUtf8(s);
}

bool MuProbe::Images(int page, std::vector<ProbeImage>& out) {
  fz_context* ctx = impl_->ctx;
  fz_stext_page* text = LoadText(ctx, impl_->doc, page, false, FZ_STEXT_PRESERVE_IMAGES);
  if (!text) return false;
  bool ok = true;
  for (fz_stext_block* b = text->first_block; b && ok; b = b->next) {
    if (b->type != FZ_STEXT_BLOCK_IMAGE) continue;
    ProbeImage im;
    fz_image* image = b->u.i.image;
    ok = CopyPixmap(ctx, image, im.width, im.height, im.n, im.samples);
    if (ok && image->mask) {
      int n = 0;
      ok = CopyPixmap(ctx, image->mask, im.maskWidth, im.maskHeight, n, im.mask);
    }
    out.push_back(std::move(im));
  }
  fz_drop_stext_page(ctx, text);
  return ok;
}

bool MuProbe::Bounds(int pageNo, double out[4]) {
  fz_context* ctx = impl_->ctx;
  fz_page* page = nullptr;
  fz_var(page);
  fz_try(ctx) {
    page = fz_load_page(ctx, impl_->doc, pageNo);
    const fz_rect r = fz_bound_page(ctx, page);
    out[0] = r.x0;
    out[1] = r.y0;
    out[2] = r.x1;
    out[3] = r.y1;
  }
  fz_always(ctx) {
    fz_drop_page(ctx, page);
  }
  fz_catch(ctx) {
    return false;
  }
  return true;
}

bool MuProbe::Render(int pageNo, double dpi, ProbePixmap& out) {
  fz_context* ctx = impl_->ctx;
  fz_pixmap* volatile pix = nullptr;
  fz_page* page = nullptr;
  fz_var(page);
  fz_try(ctx) {
    page = fz_load_page(ctx, impl_->doc, pageNo);
    const float scale = static_cast<float>(dpi / 72.0);
    pix = fz_new_pixmap_from_page(ctx, page, fz_scale(scale, scale), fz_device_gray(ctx), 0);
  }
  fz_always(ctx) {
    fz_drop_page(ctx, page);
  }
  fz_catch(ctx) {
    return false;
  }
  out.width = pix->w;
  out.height = pix->h;
  out.gray.resize(static_cast<size_t>(pix->w) * pix->h);
  for (int y = 0; y < pix->h; ++y)
    memcpy(out.gray.data() + static_cast<size_t>(y) * pix->w, pix->samples + y * pix->stride,
           pix->w);
  fz_drop_pixmap(ctx, pix);
  return true;
}

std::string ToUtf8(const std::u32string& text) {
  std::string out;
  for (char32_t c : text) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

}  // namespace vtest
