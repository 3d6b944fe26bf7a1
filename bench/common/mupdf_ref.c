#include "mupdf_ref.h"

#include <mupdf/fitz.h>

struct vb_mupdf {
  fz_context* ctx;
  fz_document* doc;
};

static void vb_quiet(void* user, const char* message) {
  (void)user;
  (void)message;
}

vb_mupdf* vb_mupdf_open(const char* path) {
  fz_context* ctx = fz_new_context(NULL, NULL, FZ_STORE_DEFAULT);
  if (!ctx) return NULL;
  fz_set_warning_callback(ctx, vb_quiet, NULL);
  fz_set_error_callback(ctx, vb_quiet, NULL);
  fz_document* volatile doc = NULL;
  fz_try(ctx) {
    fz_register_document_handlers(ctx);
    doc = fz_open_document(ctx, path);
    if (fz_count_pages(ctx, doc) <= 0) fz_throw(ctx, FZ_ERROR_GENERIC, "no pages");
  }
  fz_catch(ctx) {
    fz_drop_document(ctx, doc);
    fz_drop_context(ctx);
    return NULL;
  }
  vb_mupdf* m = fz_malloc_no_throw(ctx, sizeof *m);
  if (!m) {
    fz_drop_document(ctx, doc);
    fz_drop_context(ctx);
    return NULL;
  }
  m->ctx = ctx;
  m->doc = doc;
  return m;
}

void vb_mupdf_close(vb_mupdf* m) {
  if (!m) return;
  fz_context* ctx = m->ctx;
  fz_drop_document(ctx, m->doc);
  fz_free(ctx, m);
  fz_drop_context(ctx);
}

int vb_mupdf_page_count(vb_mupdf* m) {
  volatile int n = 0;
  if (!m) return 0;
  fz_try(m->ctx) {
    n = fz_count_pages(m->ctx, m->doc);
  }
  fz_catch(m->ctx) {
    n = 0;
  }
  return n;
}

static int vb_count_chars(const fz_stext_page* text) {
  int n = 0;
  for (const fz_stext_block* b = text->first_block; b; b = b->next) {
    if (b->type != FZ_STEXT_BLOCK_TEXT) continue;
    for (const fz_stext_line* l = b->u.t.first_line; l; l = l->next)
      for (const fz_stext_char* c = l->first_char; c; c = c->next) ++n;
  }
  return n;
}

int vb_mupdf_stext_page(vb_mupdf* m, int index, int* chars) {
  if (!m) return -1;
  fz_context* ctx = m->ctx;
  fz_page* volatile page = NULL;
  fz_stext_page* volatile text = NULL;
  volatile int result = 0;
  fz_try(ctx) {
    page = fz_load_page(ctx, m->doc, index);
    text = fz_new_stext_page_from_page(ctx, page, NULL);
    if (chars) *chars = vb_count_chars(text);
  }
  fz_always(ctx) {
    fz_drop_stext_page(ctx, text);
    fz_drop_page(ctx, page);
  }
  fz_catch(ctx) {
    result = -1;
  }
  return result;
}
