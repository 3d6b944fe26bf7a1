/* MuPDF used directly, as the reference the kit is measured against. Plain C: MuPDF's error
   handling (setjmp/longjmp) stays inside these functions. */
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

typedef struct vb_mupdf vb_mupdf;

/* Opens a document with its own MuPDF context (default store size, warnings silenced).
   Null when the file cannot be opened. */
vb_mupdf* vb_mupdf_open(const char* path);
void vb_mupdf_close(vb_mupdf* doc);
int vb_mupdf_page_count(vb_mupdf* doc);

/* Loads page `index` (0-based), builds its structured text with default options and drops
   both. Returns 0, or -1 when MuPDF fails. When chars is not null it receives the number of
   characters of the structured text. */
int vb_mupdf_stext_page(vb_mupdf* doc, int index, int* chars);

#ifdef __cplusplus
}
#endif
