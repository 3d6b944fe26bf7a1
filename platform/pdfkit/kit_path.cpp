// The path stream of the page-content kit: every filled or stroked path of the page, walked
// into move, line, curve and close segments in kit coordinates.
//
// MuPDF hands a fill-and-stroke operator (B, b, B*, b*) to the device as a fill followed by a
// stroke of the same path; the two become one record with both flags. Clip paths, text and
// images are not paths.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "kit_graphics.h"

namespace pdfkit {
namespace {

// Memory of one stream's records and segments; a page beyond it fails.
constexpr size_t kMaxStreamBytes = size_t{256} << 20;

PTK_PathSegment* NewSegments(fz_context* ctx, PathWalk* w, int n) {
  if (w->count > w->cap - n) {
    if (w->cap > (1 << 26)) fz_throw(ctx, FZ_ERROR_MEMORY, "path too long");
    int cap = w->cap ? w->cap * 2 : 64;
    auto* grown = static_cast<PTK_PathSegment*>(
        std::realloc(w->segs, static_cast<size_t>(cap) * sizeof(PTK_PathSegment)));
    if (!grown) fz_throw(ctx, FZ_ERROR_MEMORY, "out of memory for path segments");
    w->segs = grown;
    w->cap = cap;
  }
  PTK_PathSegment* s = w->segs + w->count;
  std::memset(s, 0, static_cast<size_t>(n) * sizeof(PTK_PathSegment));
  w->count += n;
  return s;
}

fz_point Point(PathWalk* w, float x, float y) {
  fz_point p = fz_transform_point_xy(x, y, w->ctm);
  if (w->points++ == 0) {
    w->bounds = fz_make_rect(p.x, p.y, p.x, p.y);
  } else {
    w->bounds.x0 = std::fmin(w->bounds.x0, p.x);
    w->bounds.y0 = std::fmin(w->bounds.y0, p.y);
    w->bounds.x1 = std::fmax(w->bounds.x1, p.x);
    w->bounds.y1 = std::fmax(w->bounds.y1, p.y);
  }
  return p;
}

void WalkMove(fz_context* ctx, void* arg, float x, float y) {
  auto* w = static_cast<PathWalk*>(arg);
  fz_point p = Point(w, x, y);
  PTK_PathSegment* s = NewSegments(ctx, w, 1);
  s->nType = PTK_SEG_MOVE;
  s->dX = p.x;
  s->dY = p.y;
}

void WalkLine(fz_context* ctx, void* arg, float x, float y) {
  auto* w = static_cast<PathWalk*>(arg);
  fz_point p = Point(w, x, y);
  PTK_PathSegment* s = NewSegments(ctx, w, 1);
  s->nType = PTK_SEG_LINE;
  s->dX = p.x;
  s->dY = p.y;
}

// A cubic curve in the two-segment form: control points and the marker dX3 = 1 in the first,
// the end point in (dX3, dY3) of the second.
void WalkCurve(fz_context* ctx, void* arg, float x1, float y1, float x2, float y2, float x3,
               float y3) {
  auto* w = static_cast<PathWalk*>(arg);
  fz_point p1 = Point(w, x1, y1), p2 = Point(w, x2, y2), p3 = Point(w, x3, y3);
  PTK_PathSegment* s = NewSegments(ctx, w, 2);
  s[0].nType = PTK_SEG_CURVE;
  s[0].dX = p1.x;
  s[0].dY = p1.y;
  s[0].dX2 = p2.x;
  s[0].dY2 = p2.y;
  s[0].dX3 = 1.0;
  s[1].nType = PTK_SEG_CURVE;
  s[1].dX3 = p3.x;
  s[1].dY3 = p3.y;
}

void WalkClose(fz_context* ctx, void* arg) {
  NewSegments(ctx, static_cast<PathWalk*>(arg), 1)->nType = PTK_SEG_CLOSE;
}

// Quadratic and shorthand curves and rectangles are left to fz_walk_path, which hands them
// on as cubic curves and as move, three lines and close.
const fz_path_walker kWalker = {WalkMove, WalkLine, WalkCurve, WalkClose,
                                nullptr,  nullptr,  nullptr,   nullptr};

void WalkPath(fz_context* ctx, PathWalk* w, const fz_path* path, fz_matrix ctm) {
  w->count = 0;
  w->points = 0;
  w->ctm = ctm;
  w->bounds = fz_make_rect(0, 0, 0, 0);
  fz_walk_path(ctx, path, &kWalker, w);
}

uint32_t ToRgb(fz_context* ctx, fz_colorspace* cs, const float* color, fz_color_params params) {
  if (!cs || !color) return 0;
  float rgb[FZ_MAX_COLORS] = {};
  if (cs == fz_device_rgb(ctx)) {
    std::memcpy(rgb, color, 3 * sizeof(float));
  } else if (cs == fz_device_gray(ctx)) {
    rgb[0] = rgb[1] = rgb[2] = color[0];
  } else {
    fz_convert_color(ctx, cs, color, fz_device_rgb(ctx), rgb, nullptr, params);
  }
  uint32_t out = 0;
  for (int i = 0; i < 3; ++i) {
    float v = rgb[i];
    if (!(v > 0)) v = 0;
    if (v > 1) v = 1;
    out = out << 8 | static_cast<uint32_t>(std::lround(v * 255.0f));
  }
  return out;
}

// Appends a record holding a copy of the walked segments.
PTK_PathRecord* NewRecord(fz_context* ctx, GraphicsDevice* d) {
  PathSink& sink = d->paths;
  const size_t segBytes = static_cast<size_t>(sink.walk.count) * sizeof(PTK_PathSegment);
  const size_t need = segBytes + sizeof(PTK_PathRecord);
  if (need > kMaxStreamBytes - sink.bytes)
    FailGraphics(ctx, d, FZ_ERROR_ABORT, "too many path segments");
  auto* rec = static_cast<PTK_PathRecord*>(std::calloc(1, sizeof(PTK_PathRecord)));
  auto* segs = static_cast<PTK_PathSegment*>(std::malloc(segBytes));
  if (!rec || !segs) {
    std::free(rec);
    std::free(segs);
    FailGraphics(ctx, d, FZ_ERROR_MEMORY, "out of memory for a path record");
  }
  std::memcpy(segs, sink.walk.segs, segBytes);
  sink.bytes += need;
  rec->nIndex = sink.count++;
  rec->pSegments = segs;
  rec->nSegmentCount = sink.walk.count;
  const fz_rect& b = sink.walk.bounds;
  rec->dX0 = b.x0;
  rec->dY0 = b.y0;
  rec->dX1 = b.x1;
  rec->dY1 = b.y1;
  if (sink.last)
    sink.last->pNext = rec;
  else
    sink.first = rec;
  sink.last = rec;
  return rec;
}

bool SameSegments(const PTK_PathRecord* rec, const PathWalk& w) {
  return rec->nSegmentCount == w.count &&
         std::memcmp(rec->pSegments, w.segs,
                     static_cast<size_t>(w.count) * sizeof(PTK_PathSegment)) == 0;
}

}  // namespace

void GatherFill(fz_context* ctx, GraphicsDevice* d, const fz_path* path, int evenOdd, fz_matrix ctm,
                fz_colorspace* cs, const float* color, fz_color_params params) {
  WalkPath(ctx, &d->paths.walk, path, ctm);
  if (d->paths.walk.count == 0) return;
  PTK_PathRecord* rec = NewRecord(ctx, d);
  rec->bFill = 1;
  rec->bEvenOdd = evenOdd ? 1 : 0;
  rec->nFillRGB = ToRgb(ctx, cs, color, params);
  d->paths.lastWasFill = true;
}

void GatherStroke(fz_context* ctx, GraphicsDevice* d, bool afterFill, const fz_path* path,
                  const fz_stroke_state* stroke, fz_matrix ctm, fz_colorspace* cs,
                  const float* color, fz_color_params params) {
  PathSink& sink = d->paths;
  WalkPath(ctx, &sink.walk, path, ctm);
  if (sink.walk.count == 0) return;
  PTK_PathRecord* rec =
      afterFill && SameSegments(sink.last, sink.walk) ? sink.last : NewRecord(ctx, d);
  rec->bStroke = 1;
  rec->dLineWidth = stroke ? stroke->linewidth * fz_matrix_expansion(ctm) : 0;
  rec->nStrokeRGB = ToRgb(ctx, cs, color, params);
}

void DropPathSink(PathSink* sink) {
  std::free(sink->walk.segs);
  sink->walk.segs = nullptr;
  sink->walk.cap = sink->walk.count = 0;
  FreePathRecords(sink->first);
  sink->first = sink->last = nullptr;
}

void FreePathRecords(PTK_PathRecord* rec) {
  while (rec) {
    PTK_PathRecord* next = rec->pNext;
    std::free(rec->pSegments);
    std::free(rec);
    rec = next;
  }
}

}  // namespace pdfkit

PTK_API void PTK_GetPageContentPathStream(PTK_HDOC hDoc, int32_t nPage, PTK_PathRecord** ppFirst) {
  if (!ppFirst) return;
  *ppFirst = nullptr;
  if (!pdfkit::ValidPage(hDoc, nPage)) return;
  if (pdfkit::TakeKeptGraphics(hDoc, nPage, nullptr, ppFirst)) return;
  pdfkit::CollectGraphics(hDoc, nPage, pdfkit::kGatherPaths, nullptr, ppFirst);
}

PTK_API void PTK_FreePageContentPathStream(PTK_PathRecord* pFirst) {
  pdfkit::FreePathRecords(pFirst);
}
