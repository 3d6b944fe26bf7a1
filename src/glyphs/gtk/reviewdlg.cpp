// The review window on GTK 3: the post-edit dialog "识别结果判定" with its contrast view. It
// shows what the component's review session reports and forwards keys, typed characters,
// clicks and clipboard text to it; every rule (selection, keys, texts) is the session's.
//
// Layout: the dialog is laid out in dialog units, converted to pixels with the base units of
// the dialog font as the platform's dialogs do: horizontal base = (width of "A".."Z" "a".."z"
// / 26 + 1) / 2, vertical base = the font's height; x px = x du * horizontal base / 4, y px =
// y du * vertical base / 8, rounded. The font is 宋体 9 pt, or the nearest CJK serif face.
#include <gtk/gtk.h>
#include <hb.h>

#include <time.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <unordered_map>

#include "glyphs/reviewapi.h"

namespace {

constexpr const char* kTitle = "识别结果判定";
constexpr const char* kFontFamilies =
    "宋体,SimSun,NSimSun,AR PL SungtiL GB,AR PL UMing CN,Noto Serif CJK SC,Source Han Serif SC,"
    "serif";
constexpr int kFontPoints = 9;
constexpr int kViewFontPixels = 20;  // the contrast view's characters: the dialog font, 20 px
constexpr int kGlyphSize = 63;       // the enlarged glyph

struct Dialog {
  const VReviewHost* host = nullptr;
  GtkWidget* window = nullptr;
  GtkWidget* scroller = nullptr;    // the contrast view's scroll window
  GtkWidget* view = nullptr;        // the contrast view ("postedit")
  GtkWidget* glyph = nullptr;       // control 1014
  GtkWidget* index = nullptr;       // control 1015
  GtkWidget* counts = nullptr;      // control 1013
  GtkWidget* result = nullptr;      // control 1007
  GtkWidget* candidates = nullptr;  // control 1012 (a text view)
  GtkIMContext* im = nullptr;
  GMainLoop* loop = nullptr;
  PangoFontDescription* viewFont = nullptr;
  std::unordered_map<int, cairo_surface_t*> thumbs;  // 24 x 24 glyph images, cut once per cell
  // The view's font, loaded once: characters are drawn as glyphs of it, without layout.
  PangoFont* font = nullptr;
  cairo_scaled_font_t* scaled = nullptr;  // owned by font
  hb_font_t* hb = nullptr;                // owned by font
  cairo_font_extents_t extents{};
  int baseX = 6;
  int baseY = 12;
  bool timing = false;  // developer trace of opening and drawing times
  gint64 started = 0;   // when the review was asked for (microseconds)
};

// CPU time of the calling thread, in milliseconds: what a redraw costs whatever the load.
double ThreadCpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// One line for the developer trace.
void Trace(const Dialog& d, const std::string& line) {
  d.host->Trace(d.host->pCtx, line.c_str());
}

std::string HostText(const Dialog& d, int which) {
  const int n = d.host->Text(d.host->pCtx, which, nullptr, 0);
  std::string text(static_cast<size_t>(n) + 1, '\0');
  d.host->Text(d.host->pCtx, which, text.data(), n + 1);
  text.resize(static_cast<size_t>(n));
  return text;
}

// The cell's 64 x 64 pixels as a new surface.
cairo_surface_t* CutSurface(Dialog& d, int cell) {
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 64, 64);
  cairo_surface_flush(s);
  unsigned char* data = cairo_image_surface_get_data(s);
  const int stride = cairo_image_surface_get_stride(s);
  uint32_t pixels[64 * 64];
  d.host->CutCell(d.host->pCtx, cell, pixels);
  for (int y = 0; y < 64; ++y) {
    std::copy(pixels + y * 64, pixels + y * 64 + 64,
              reinterpret_cast<uint32_t*>(data + y * stride));
  }
  cairo_surface_mark_dirty(s);
  return s;
}

// The square (2, 2)-(50, 50) of the cell, smoothed into 24 x 24 (each pixel the mean of two by
// two); cut the first time it is asked for.
cairo_surface_t* Thumb(Dialog& d, int cell) {
  auto it = d.thumbs.find(cell);
  if (it != d.thumbs.end()) return it->second;
  uint32_t pixels[64 * 64];
  d.host->CutCell(d.host->pCtx, cell, pixels);
  cairo_surface_t* thumb = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 24, 24);
  cairo_surface_flush(thumb);
  unsigned char* data = cairo_image_surface_get_data(thumb);
  const int stride = cairo_image_surface_get_stride(thumb);
  for (int y = 0; y < 24; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(data + y * stride);
    for (int x = 0; x < 24; ++x) {
      const uint32_t* p = pixels + (2 + 2 * y) * 64 + 2 + 2 * x;
      uint32_t out = 0;
      for (int shift = 0; shift < 24; shift += 8) {
        const uint32_t sum = ((p[0] >> shift) & 0xFF) + ((p[1] >> shift) & 0xFF) +
                             ((p[64] >> shift) & 0xFF) + ((p[65] >> shift) & 0xFF);
        out |= ((sum + 2) / 4) << shift;
      }
      row[x] = out;
    }
  }
  cairo_surface_mark_dirty(thumb);
  d.thumbs.emplace(cell, thumb);
  return thumb;
}

int MulDiv(int a, int b, int c) {
  return static_cast<int>(std::lround(static_cast<double>(a) * b / c));
}

void Place(Dialog& d, GtkWidget* fixed, GtkWidget* w, int x, int y, int cx, int cy) {
  gtk_widget_set_size_request(w, MulDiv(cx, d.baseX, 4), MulDiv(cy, d.baseY, 8));
  gtk_fixed_put(GTK_FIXED(fixed), w, MulDiv(x, d.baseX, 4), MulDiv(y, d.baseY, 8));
}

GtkWidget* Label(const char* text) {
  GtkWidget* l = gtk_label_new(text);
  gtk_label_set_xalign(GTK_LABEL(l), 0.0f);
  gtk_label_set_yalign(GTK_LABEL(l), 0.0f);
  gtk_label_set_single_line_mode(GTK_LABEL(l), TRUE);
  return l;
}

void InvalidateEntry(Dialog& d, int i) {
  if (i < 0) return;
  int rc[4];
  d.host->EntryRect(d.host->pCtx, i, rc);
  gtk_widget_queue_draw_area(d.view, rc[0], rc[1], rc[2] - rc[0], rc[3] - rc[1]);
}

// The status update for the selected entry.
void UpdateStatus(Dialog& d) {
  gtk_label_set_text(GTK_LABEL(d.counts), HostText(d, VRT_COUNTS).c_str());
  gtk_label_set_text(GTK_LABEL(d.index), HostText(d, VRT_INDEX).c_str());
  gtk_label_set_text(GTK_LABEL(d.result), HostText(d, VRT_RESULT).c_str());
  GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(d.candidates));
  gtk_text_buffer_set_text(buffer, HostText(d, VRT_CANDIDATES).c_str(), -1);
  gtk_widget_queue_draw(d.glyph);
}

void SyncView(Dialog& d) {
  GtkAdjustment* adj = gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(d.scroller));
  const int height = gtk_widget_get_allocated_height(gtk_bin_get_child(GTK_BIN(d.scroller)));
  d.host->SetView(d.host->pCtx, height, static_cast<int>(gtk_adjustment_get_value(adj)));
}

// After the session changed the selection: scroll, repaint the old and new entries, status.
void AfterSelection(Dialog& d, int old) {
  GtkAdjustment* adj = gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(d.scroller));
  gtk_adjustment_set_value(adj, d.host->ScrollPos(d.host->pCtx));
  InvalidateEntry(d, old);
  InvalidateEntry(d, d.host->Selected(d.host->pCtx));
  UpdateStatus(d);
}

void Close(Dialog& d) {
  if (g_main_loop_is_running(d.loop)) g_main_loop_quit(d.loop);
}

bool Confirm(Dialog& d) {
  GtkWidget* box =
      gtk_message_dialog_new(GTK_WINDOW(d.window), GTK_DIALOG_MODAL, GTK_MESSAGE_QUESTION,
                             GTK_BUTTONS_NONE, "%s", HostText(d, VRT_CONFIRM).c_str());
  gtk_dialog_add_buttons(GTK_DIALOG(box), "确定", GTK_RESPONSE_OK, "取消", GTK_RESPONSE_CANCEL,
                         nullptr);
  gtk_window_set_title(GTK_WINDOW(box), kTitle);
  // OK is the default button, as in the platform's OK/Cancel message box.
  gtk_dialog_set_default_response(GTK_DIALOG(box), GTK_RESPONSE_OK);
  gtk_widget_grab_focus(gtk_dialog_get_widget_for_response(GTK_DIALOG(box), GTK_RESPONSE_OK));
  const int response = gtk_dialog_run(GTK_DIALOG(box));
  gtk_widget_destroy(box);
  return response == GTK_RESPONSE_OK;
}

// ---- The contrast view -----------------------------------------------------------------

gboolean OnViewDraw(GtkWidget*, cairo_t* cr, gpointer data) {
  Dialog& d = *static_cast<Dialog*>(data);
  const gint64 start = d.timing ? g_get_monotonic_time() : 0;
  const double cpuStart = d.timing ? ThreadCpuMs() : 0;
  GdkRectangle clip;
  if (!gdk_cairo_get_clip_rectangle(cr, &clip)) return TRUE;
  cairo_set_source_rgb(cr, 180 / 255.0, 180 / 255.0, 180 / 255.0);
  cairo_rectangle(cr, clip.x, clip.y, clip.width, clip.height);
  cairo_fill(cr);

  int range[2];
  d.host->VisibleRange(d.host->pCtx, clip.y, clip.y + clip.height, range);
  PangoLayout* layout = nullptr;  // for characters the view's font lacks
  for (int i = range[0]; i < range[1]; ++i) {
    int rc[4];
    d.host->EntryRect(d.host->pCtx, i, rc);
    const int x = rc[0], y = rc[1];
    const unsigned flags = d.host->EntryFlags(d.host->pCtx, i);
    if ((flags & VRE_MARKED) != 0) {
      cairo_set_source_rgb(cr, 1.0, 1.0, 0.0);
    } else {
      cairo_set_source_rgb(cr, 214 / 255.0, 220 / 255.0, 192 / 255.0);
    }
    cairo_rectangle(cr, x, y, 23, 24);
    cairo_fill(cr);

    const unsigned ch = d.host->EntryChar(d.host->pCtx, i);
    if ((flags & VRE_CHANGED) != 0) {
      cairo_set_source_rgb(cr, 1.0, 0.0, 1.0);
    } else {
      cairo_set_source_rgb(cr, 180 / 255.0, 0.0, 0.0);
    }
    hb_codepoint_t index = 0;
    if (ch != 0 && d.hb != nullptr && hb_font_get_nominal_glyph(d.hb, ch, &index)) {
      // Centred in the 23 x 24 area as one line of the font.
      cairo_glyph_t glyph{index, 0, 0};
      cairo_text_extents_t te;
      cairo_scaled_font_glyph_extents(d.scaled, &glyph, 1, &te);
      glyph.x = x + std::floor((23 - te.x_advance) / 2);
      glyph.y = y + std::floor((24 - d.extents.height) / 2 + d.extents.ascent);
      cairo_set_scaled_font(cr, d.scaled);
      cairo_show_glyphs(cr, &glyph, 1);
    } else if (ch != 0 && (ch < 0xD800 || ch > 0xDFFF)) {
      if (layout == nullptr) {
        layout = pango_cairo_create_layout(cr);
        pango_layout_set_font_description(layout, d.viewFont);
      }
      char utf8[8] = {};
      g_unichar_to_utf8(ch, utf8);
      pango_layout_set_text(layout, utf8, -1);
      int w = 0, h = 0;
      pango_layout_get_pixel_size(layout, &w, &h);
      cairo_move_to(cr, x + (23 - w) / 2, y + (24 - h) / 2);
      pango_cairo_show_layout(cr, layout);
    }

    cairo_set_source_surface(cr, Thumb(d, d.host->EntryCell(d.host->pCtx, i)), x + 24, y);
    cairo_rectangle(cr, x + 24, y, 24, 24);
    cairo_fill(cr);
  }
  if (layout != nullptr) g_object_unref(layout);

  const int selected = d.host->Selected(d.host->pCtx);
  if (selected >= 0 && selected < d.host->Count(d.host->pCtx)) {
    int rc[4];
    d.host->EntryRect(d.host->pCtx, selected, rc);
    cairo_set_source_rgb(cr, 0.0, 0.0, 1.0);
    cairo_set_line_width(cr, 1.0);
    cairo_rectangle(cr, rc[0] + 0.5, rc[1] + 0.5, rc[2] - rc[0] - 1, rc[3] - rc[1] - 1);
    cairo_stroke(cr);
  }
  if (d.timing) {
    const gint64 end = g_get_monotonic_time();
    if (d.started != 0) {
      Trace(d, "post-edit: view open after " + std::to_string((end - d.started) / 1000) +
                   " ms with " + std::to_string(d.host->Count(d.host->pCtx)) + " entries");
      d.started = 0;
    }
    Trace(d, "post-edit: drew entries " + std::to_string(range[0]) + " to " +
                 std::to_string(range[1]) + " in " + std::to_string((end - start) / 1000.0) +
                 " ms (cpu " + std::to_string(ThreadCpuMs() - cpuStart) + " ms)");
  }
  return TRUE;
}

int KeyCode(guint keyval) {
  switch (keyval) {
    case GDK_KEY_Left:
    case GDK_KEY_KP_Left:
      return VRK_LEFT;
    case GDK_KEY_Right:
    case GDK_KEY_KP_Right:
      return VRK_RIGHT;
    case GDK_KEY_Up:
    case GDK_KEY_KP_Up:
      return VRK_UP;
    case GDK_KEY_Down:
    case GDK_KEY_KP_Down:
      return VRK_DOWN;
    case GDK_KEY_Page_Up:
    case GDK_KEY_KP_Page_Up:
      return VRK_PRIOR;
    case GDK_KEY_Page_Down:
    case GDK_KEY_KP_Page_Down:
      return VRK_NEXT;
    case GDK_KEY_Home:
    case GDK_KEY_KP_Home:
      return VRK_HOME;
    case GDK_KEY_End:
    case GDK_KEY_KP_End:
      return VRK_END;
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
    case GDK_KEY_ISO_Enter:
      return VRK_RETURN;
    case GDK_KEY_c:
    case GDK_KEY_C:
      return VRK_C;
    case GDK_KEY_v:
    case GDK_KEY_V:
      return VRK_V;
    default:
      return VRK_OTHER;
  }
}

void OnCommit(GtkIMContext*, const char* text, gpointer data) {
  Dialog& d = *static_cast<Dialog*>(data);
  bool changed = false;
  for (const char* p = text; p != nullptr && *p != '\0'; p = g_utf8_next_char(p)) {
    changed |= d.host->TypeChar(d.host->pCtx, g_utf8_get_char(p)) != 0;
  }
  if (changed) {
    InvalidateEntry(d, d.host->Selected(d.host->pCtx));
    UpdateStatus(d);
  }
}

gboolean OnViewKey(GtkWidget*, GdkEventKey* event, gpointer data) {
  Dialog& d = *static_cast<Dialog*>(data);
  const bool ctrl = (event->state & GDK_CONTROL_MASK) != 0;
  SyncView(d);
  const int old = d.host->Selected(d.host->pCtx);
  switch (d.host->Key(d.host->pCtx, KeyCode(event->keyval), ctrl ? 1 : 0)) {
    case VRA_HANDLED:
      AfterSelection(d, old);
      return TRUE;
    case VRA_CONFIRM:
      if (Confirm(d)) Close(d);  // as the OK button
      return TRUE;
    case VRA_COPY: {
      const std::string text = HostText(d, VRT_COPY);
      gtk_clipboard_set_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), text.c_str(), -1);
      return TRUE;
    }
    case VRA_PASTE: {
      gchar* text = gtk_clipboard_wait_for_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD));
      if (d.host->Paste(d.host->pCtx, text) != 0) {
        InvalidateEntry(d, d.host->Selected(d.host->pCtx));
        UpdateStatus(d);
      }
      g_free(text);
      return TRUE;
    }
    default:
      break;
  }
  // Normal processing: Escape and Tab belong to the dialog; other keys may type a character.
  if (event->keyval == GDK_KEY_Escape || event->keyval == GDK_KEY_Tab ||
      event->keyval == GDK_KEY_ISO_Left_Tab ||
      (event->state & (GDK_CONTROL_MASK | GDK_MOD1_MASK)) != 0)
    return FALSE;
  return gtk_im_context_filter_keypress(d.im, event);
}

gboolean OnViewKeyRelease(GtkWidget*, GdkEventKey* event, gpointer data) {
  return gtk_im_context_filter_keypress(static_cast<Dialog*>(data)->im, event);
}

gboolean OnViewButton(GtkWidget* widget, GdkEventButton* event, gpointer data) {
  Dialog& d = *static_cast<Dialog*>(data);
  if (event->type != GDK_BUTTON_PRESS || event->button != 1) return FALSE;
  gtk_widget_grab_focus(widget);
  const int hit = d.host->HitTest(d.host->pCtx, static_cast<int>(std::floor(event->x)),
                                  static_cast<int>(std::floor(event->y)));
  if (hit >= 0) {
    SyncView(d);
    const int old = d.host->Selected(d.host->pCtx);
    if (d.host->Select(d.host->pCtx, hit) != 0) AfterSelection(d, old);
  }
  return TRUE;
}

void OnViewRealize(GtkWidget* widget, gpointer data) {
  gtk_im_context_set_client_window(static_cast<Dialog*>(data)->im, gtk_widget_get_window(widget));
}

gboolean OnViewFocusIn(GtkWidget*, GdkEvent*, gpointer data) {
  gtk_im_context_focus_in(static_cast<Dialog*>(data)->im);
  return FALSE;
}

gboolean OnViewFocusOut(GtkWidget*, GdkEvent*, gpointer data) {
  gtk_im_context_focus_out(static_cast<Dialog*>(data)->im);
  return FALSE;
}

// ---- The dialog --------------------------------------------------------------------------

gboolean OnGlyphDraw(GtkWidget*, cairo_t* cr, gpointer data) {
  Dialog& d = *static_cast<Dialog*>(data);
  const int selected = d.host->Selected(d.host->pCtx);
  if (selected < 0 || selected >= d.host->Count(d.host->pCtx)) return FALSE;
  cairo_surface_t* cell = CutSurface(d, d.host->EntryCell(d.host->pCtx, selected));
  cairo_set_source_surface(cr, cell, 0, 0);
  cairo_rectangle(cr, 0, 0, kGlyphSize, kGlyphSize);
  cairo_fill(cr);
  cairo_surface_destroy(cell);
  return TRUE;
}

gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer data) {
  Close(*static_cast<Dialog*>(data));
  return TRUE;
}

gboolean OnWindowKey(GtkWidget*, GdkEventKey* event, gpointer data) {
  if (event->keyval != GDK_KEY_Escape) return FALSE;
  Close(*static_cast<Dialog*>(data));
  return TRUE;
}

void OnOk(GtkButton*, gpointer data) {
  Close(*static_cast<Dialog*>(data));
}

// Base units of the dialog font.
void MeasureBaseUnits(Dialog& d, GtkWidget* widget, const PangoFontDescription* font) {
  PangoLayout* layout = gtk_widget_create_pango_layout(widget, nullptr);
  pango_layout_set_font_description(layout, font);
  pango_layout_set_text(layout, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", -1);
  int w = 0, h = 0;
  pango_layout_get_pixel_size(layout, &w, &h);
  PangoFontMetrics* metrics =
      pango_context_get_metrics(pango_layout_get_context(layout), font, nullptr);
  const int height = PANGO_PIXELS(pango_font_metrics_get_ascent(metrics) +
                                  pango_font_metrics_get_descent(metrics));
  pango_font_metrics_unref(metrics);
  g_object_unref(layout);
  d.baseX = std::max(1, (w / 26 + 1) / 2);
  d.baseY = std::max(1, height);
}

void ApplyCss() {
  // CSS wants each family quoted.
  std::string families;
  gchar** names = g_strsplit(kFontFamilies, ",", -1);
  for (gchar** n = names; *n != nullptr; ++n) {
    if (!families.empty()) families += ", ";
    families += std::string("\"") + *n + "\"";
  }
  g_strfreev(names);
  gchar* css = g_strdup_printf(
      "* { font-family: %s; font-size: %dpt; }\n"
      "button { padding: 0; min-height: 0; min-width: 0; }\n"
      "#postedit { background-color: rgb(180, 180, 180); }\n",
      families.c_str(), kFontPoints);
  GtkCssProvider* provider = gtk_css_provider_new();
  gtk_css_provider_load_from_data(provider, css, -1, nullptr);
  gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(provider),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(provider);
  g_free(css);
}

// The view's font: the dialog font at 20 pixels, antialiased.
void LoadViewFont(Dialog& d) {
  PangoContext* context = gtk_widget_create_pango_context(d.view);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  pango_cairo_context_set_font_options(context, options);
  cairo_font_options_destroy(options);
  d.font = pango_context_load_font(context, d.viewFont);
  g_object_unref(context);
  if (d.font == nullptr || !PANGO_IS_CAIRO_FONT(d.font)) return;
  d.scaled = pango_cairo_font_get_scaled_font(PANGO_CAIRO_FONT(d.font));
  d.hb = d.scaled != nullptr ? pango_font_get_hb_font(d.font) : nullptr;
  if (d.scaled != nullptr) cairo_scaled_font_extents(d.scaled, &d.extents);
}

void Build(Dialog& d) {
  PangoFontDescription* font = pango_font_description_from_string(kFontFamilies);
  pango_font_description_set_size(font, kFontPoints * PANGO_SCALE);
  d.viewFont = pango_font_description_copy(font);
  pango_font_description_set_absolute_size(d.viewFont, kViewFontPixels * PANGO_SCALE);
  ApplyCss();

  d.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(d.window), kTitle);
  gtk_window_set_modal(GTK_WINDOW(d.window), TRUE);
  gtk_window_set_resizable(GTK_WINDOW(d.window), FALSE);
  gtk_window_set_position(GTK_WINDOW(d.window), GTK_WIN_POS_CENTER);
  gtk_window_set_type_hint(GTK_WINDOW(d.window), GDK_WINDOW_TYPE_HINT_DIALOG);
  MeasureBaseUnits(d, d.window, font);
  pango_font_description_free(font);

  GtkWidget* fixed = gtk_fixed_new();
  gtk_widget_set_size_request(fixed, MulDiv(362, d.baseX, 4), MulDiv(245, d.baseY, 8));
  gtk_container_add(GTK_CONTAINER(d.window), fixed);

  // 11111 is only the contrast view's place: the view (11112, "postedit") takes it.
  d.scroller = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(d.scroller), GTK_POLICY_NEVER,
                                 GTK_POLICY_ALWAYS);
  gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(d.scroller), GTK_SHADOW_IN);
  gtk_scrolled_window_set_overlay_scrolling(GTK_SCROLLED_WINDOW(d.scroller), FALSE);
  d.view = gtk_drawing_area_new();
  gtk_widget_set_name(d.view, "postedit");
  LoadViewFont(d);
  gtk_widget_set_can_focus(d.view, TRUE);
  gtk_widget_add_events(d.view, GDK_BUTTON_PRESS_MASK | GDK_KEY_PRESS_MASK | GDK_KEY_RELEASE_MASK |
                                    GDK_FOCUS_CHANGE_MASK);
  int size[2];
  d.host->ScrollSize(d.host->pCtx, size);
  gtk_widget_set_size_request(d.view, -1, size[1]);
  gtk_container_add(GTK_CONTAINER(d.scroller), d.view);
  Place(d, fixed, d.scroller, 7, 7, 348, 173);

  d.glyph = gtk_drawing_area_new();
  gtk_widget_set_size_request(d.glyph, kGlyphSize, kGlyphSize);  // resized, not moved
  gtk_fixed_put(GTK_FIXED(fixed), d.glyph, MulDiv(7, d.baseX, 4), MulDiv(187, d.baseY, 8));

  Place(d, fixed, Label("当前位置："), 73, 187, 41, 8);
  d.index = Label("静态");
  Place(d, fixed, d.index, 116, 187, 114, 8);
  d.counts = Label("静态");
  Place(d, fixed, d.counts, 245, 187, 110, 8);
  Place(d, fixed, Label("识别结果："), 73, 202, 41, 8);
  d.result = Label("静态");
  Place(d, fixed, d.result, 116, 202, 235, 8);
  Place(d, fixed, Label("候选字表："), 73, 217, 41, 8);

  GtkWidget* edit = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(edit), GTK_POLICY_NEVER, GTK_POLICY_AUTOMATIC);
  gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(edit), GTK_SHADOW_IN);
  d.candidates = gtk_text_view_new();
  gtk_text_view_set_editable(GTK_TEXT_VIEW(d.candidates), FALSE);
  gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(d.candidates), GTK_WRAP_CHAR);
  gtk_container_add(GTK_CONTAINER(edit), d.candidates);
  Place(d, fixed, edit, 115, 216, 174, 22);

  GtkWidget* ok = gtk_button_new_with_label("确定");
  gtk_widget_set_can_default(ok, TRUE);
  Place(d, fixed, ok, 305, 225, 50, 14);
  gtk_window_set_default(GTK_WINDOW(d.window), ok);

  d.im = gtk_im_multicontext_new();
  g_signal_connect(d.im, "commit", G_CALLBACK(OnCommit), &d);
  g_signal_connect(d.view, "draw", G_CALLBACK(OnViewDraw), &d);
  g_signal_connect(d.view, "key-press-event", G_CALLBACK(OnViewKey), &d);
  g_signal_connect(d.view, "key-release-event", G_CALLBACK(OnViewKeyRelease), &d);
  g_signal_connect(d.view, "button-press-event", G_CALLBACK(OnViewButton), &d);
  g_signal_connect(d.view, "realize", G_CALLBACK(OnViewRealize), &d);
  g_signal_connect(d.view, "focus-in-event", G_CALLBACK(OnViewFocusIn), &d);
  g_signal_connect(d.view, "focus-out-event", G_CALLBACK(OnViewFocusOut), &d);
  g_signal_connect(d.glyph, "draw", G_CALLBACK(OnGlyphDraw), &d);
  g_signal_connect(d.window, "delete-event", G_CALLBACK(OnDelete), &d);
  g_signal_connect(d.window, "key-press-event", G_CALLBACK(OnWindowKey), &d);
  g_signal_connect(ok, "clicked", G_CALLBACK(OnOk), &d);
}

void Destroy(Dialog& d) {
  if (d.im != nullptr) gtk_im_context_set_client_window(d.im, nullptr);
  if (d.window != nullptr) gtk_widget_destroy(d.window);  // before the input context it uses
  if (d.im != nullptr) g_object_unref(d.im);
  for (auto& [cell, surface] : d.thumbs) cairo_surface_destroy(surface);
  if (d.font != nullptr) g_object_unref(d.font);
  if (d.viewFont != nullptr) pango_font_description_free(d.viewFont);
  if (d.loop != nullptr) g_main_loop_unref(d.loop);
  while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

void SetReason(char* reason, int size, const char* text) {
  if (reason != nullptr && size > 0) g_strlcpy(reason, text, static_cast<gsize>(size));
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int VellumaRunReview(const VReviewHost* host,
                                                                       char* reason, int size) {
  if (host == nullptr || host->nVersion != VREVIEW_API_VERSION) {
    SetReason(reason, size, "the review module does not match the component");
    return VREVIEW_NO_DISPLAY;
  }
  const gint64 started = g_get_monotonic_time();
  if (!gtk_init_check(nullptr, nullptr)) {
    SetReason(reason, size, "the toolkit could not open the display");
    return VREVIEW_NO_DISPLAY;
  }
  Dialog d;
  d.host = host;
  d.timing = g_getenv("VELLUMA_DEBUG") != nullptr;
  d.started = started;
  Build(d);
  d.loop = g_main_loop_new(nullptr, FALSE);
  gtk_widget_show_all(d.window);
  gtk_widget_grab_focus(d.view);
  UpdateStatus(d);  // entry 0
  g_main_loop_run(d.loop);
  Destroy(d);
  return VREVIEW_SHOWN;
}
