/* The interface between the component and its review plug-in (libvelluma-review.so).
 *
 * The component owns the review: the list, the selection, the results and every rule of the
 * keys, the typed characters and the status texts. The plug-in only shows a window: it draws
 * what the host's functions report, forwards the user's keys, characters, clicks and clipboard
 * text to them, and asks again after each call. It never keeps or changes review state itself.
 * Plain C, so that the plug-in and the component need not share a C++ library. */
#ifndef VELLUMA_GLYPHS_REVIEWAPI_H
#define VELLUMA_GLYPHS_REVIEWAPI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define VREVIEW_API_VERSION 1

/* Keys of the contrast view's key table (VReviewHost.Key). */
enum {
  VRK_OTHER = 0,
  VRK_LEFT,
  VRK_RIGHT,
  VRK_UP,
  VRK_DOWN,
  VRK_PRIOR,
  VRK_NEXT,
  VRK_HOME,
  VRK_END,
  VRK_RETURN,
  VRK_C, /* the letter key C (copy with Ctrl) */
  VRK_V  /* the letter key V (paste with Ctrl) */
};

/* What the plug-in does after a key (VReviewHost.Key). */
enum {
  VRA_PASS = 0,    /* not handled: normal processing */
  VRA_HANDLED = 1, /* consumed; redraw */
  VRA_CONFIRM = 2, /* ask the confirmation text (VRT_CONFIRM) with OK and Cancel; OK closes */
  VRA_COPY = 3,    /* put VRT_COPY on the clipboard */
  VRA_PASTE = 4    /* read the clipboard's text and hand it to Paste */
};

/* Texts (VReviewHost.Text). */
enum {
  VRT_COUNTS = 0,     /* control 1013: changed and total counts */
  VRT_INDEX = 1,      /* control 1015: the selected index */
  VRT_RESULT = 2,     /* control 1007: the selected entry's result */
  VRT_CANDIDATES = 3, /* control 1012: the selected entry's candidates */
  VRT_CONFIRM = 4,    /* the Enter confirmation */
  VRT_COPY = 5        /* the selected entry's character, for the clipboard */
};

/* Entry flags (VReviewHost.EntryFlags). */
enum { VRE_MARKED = 1, VRE_CHANGED = 2 };

typedef struct VReviewHost {
  int nVersion; /* VREVIEW_API_VERSION */
  void* pCtx;   /* passed back to every function */

  int (*Count)(void* ctx);
  int (*Selected)(void* ctx);
  unsigned (*EntryChar)(void* ctx, int i);  /* UTF-16 unit */
  unsigned (*EntryFlags)(void* ctx, int i); /* VRE_* */
  int (*EntryCell)(void* ctx, int i);

  /* Geometry in logical pixels, y downward. rc = left, top, right, bottom. */
  void (*EntryRect)(void* ctx, int i, int rc[4]);
  int (*HitTest)(void* ctx, int x, int y); /* entry index, or -1 */
  void (*ScrollSize)(void* ctx, int size[2]);
  /* Entries to draw for a clip area: [range[0], range[1]). */
  void (*VisibleRange)(void* ctx, int clipTop, int clipBottom, int range[2]);
  /* The view's client height and vertical scroll position, before a key or a selection. */
  void (*SetView)(void* ctx, int clientHeight, int scrollPos);
  /* The scroll position after a key or a selection made a row visible. */
  int (*ScrollPos)(void* ctx);

  int (*Select)(void* ctx, int i);           /* 1 when selected, 0 when ignored */
  int (*Key)(void* ctx, int key, int ctrl);  /* VRA_* */
  int (*TypeChar)(void* ctx, uint32_t code); /* 1 when the character changed */
  int (*Paste)(void* ctx, const char* utf8); /* null: no text. 1 when the character changed */
  /* UTF-8 text VRT_* into buf (always terminated when size > 0); returns its full length. */
  int (*Text)(void* ctx, int which, char* buf, int size);
  /* The 64 x 64 pixels of a cell as 0x00RRGGBB, rows top-down; white beyond the sheet. */
  void (*CutCell)(void* ctx, int cell, uint32_t* pixels);
  /* One line for the developer trace. */
  void (*Trace)(void* ctx, const char* utf8);
} VReviewHost;

/* Results of the plug-in's entry point. */
#define VREVIEW_SHOWN 0      /* the dialog ran and was closed */
#define VREVIEW_NO_DISPLAY 1 /* no display could be opened: nothing was shown */

/* int VellumaRunReview(const VReviewHost* host, char* reason, int size): runs the modal review
 * on the calling thread. With VREVIEW_NO_DISPLAY, reason holds why (UTF-8, terminated). */
typedef int (*PFN_VellumaRunReview)(const VReviewHost* host, char* reason, int size);
#define VREVIEW_ENTRY_NAME "VellumaRunReview"
#define VREVIEW_MODULE_NAME "libvelluma-review.so"

#ifdef __cplusplus
}
#endif

#endif
