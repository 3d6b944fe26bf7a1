// The image stream of the page-content kit: every image the page draws (image XObjects,
// inline images, stencil masks) with its placement, its clip and its decoded pixels; and the
// graphics collector device that gathers images and paths (see kit_graphics.h).
//
// The collector records images in content order and tracks the clip stack as rectangles in
// kit coordinates.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "kit_dib.h"
#include "kit_graphics.h"

namespace pdfkit {
namespace {

// Images larger than this many pixels are reported without pixels.
constexpr int64_t kMaxImagePixels = 64ll << 20;
// Pixel memory of one stream: images beyond it are reported without pixels (a page that
// draws one large image a thousand times must not take a thousand copies).
constexpr size_t kMaxStreamPixelBytes = size_t{1} << 30;

void FreeRecord(PTK_ImageRecord* rec) {
  FreeDib(rec->pHeader, rec->pBits);
  if (rec->pMask) {
    FreeDib(rec->pMask->pHeader, rec->pMask->pBits);
    std::free(rec->pMask);
  }
  std::free(rec);
}

void CountCall(fz_context* ctx, GraphicsDevice* d) {
  d->paths.lastWasFill = false;
  if (++d->calls > kMaxDeviceCalls)
    FailGraphics(ctx, d, FZ_ERROR_ABORT, "too many drawing operations");
}

bool IsFinite(fz_rect r) {
  return std::isfinite(r.x0) && std::isfinite(r.y0) && std::isfinite(r.x1) && std::isfinite(r.y1);
}

void PushClip(fz_context* ctx, ImageSink* s, fz_rect r) {
  if (s->clipDepth == s->clipCap) {
    int cap = s->clipCap ? s->clipCap * 2 : 32;
    s->clips = fz_realloc_array(ctx, s->clips, cap, fz_rect);
    s->clipCap = cap;
  }
  if (!IsFinite(r)) r = fz_infinite_rect;
  s->clips[s->clipDepth] = s->clipDepth ? fz_intersect_rect(s->clips[s->clipDepth - 1], r) : r;
  ++s->clipDepth;
}

// ---- pixels ------------------------------------------------------------------------------

bool TooLarge(const fz_image* image) {
  return image->w <= 0 || image->h <= 0 ||
         static_cast<int64_t>(image->w) * image->h > kMaxImagePixels;
}

// Converts a decoded image to its DIB: stencil masks (alpha-only pixmaps) and 1-bit grey
// images to 1 bit with the table {black, white}, other grey images to 8 bits with a grey
// table, everything else to 24-bit BGR. Rows bottom-up so that the DIB shows the image as
// stored. Inside fz_try: may throw on colour conversion.
void PixmapToImageDib(fz_context* ctx, fz_image* image, fz_pixmap* pix, fz_pixmap** conv,
                      Dib* out) {
  fz_colorspace* cs = pix->colorspace;
  const int colours = pix->n - pix->alpha;
  if (!cs || colours == 0) {
    // Painted samples have full alpha: they become 0 (black).
    if (DibFromPixmapChannel(pix, WholePixmap(pix), Sample::kInvAlpha, 1, false, out))
      SetTwoColours(out->header, 0x000000, 0xFFFFFF);
    return;
  }
  if (fz_colorspace_is_gray(ctx, cs) && colours == 1) {
    const bool bilevel =
        image->bpc == 1 && image->colorspace && !fz_colorspace_is_indexed(ctx, image->colorspace);
    if (!DibFromPixmapChannel(pix, WholePixmap(pix), Sample::kGreyOnWhite, bilevel ? 1 : 8, false,
                              out))
      return;
    if (bilevel)
      SetTwoColours(out->header, 0x000000, 0xFFFFFF);
    else
      SetGreyRamp(out->header);
    return;
  }
  if (!fz_colorspace_is_rgb(ctx, cs) || colours != 3) {
    *conv = fz_convert_pixmap(ctx, pix, fz_device_rgb(ctx), nullptr, nullptr,
                              fz_default_color_params, 1);
    pix = *conv;
  }
  DibFromPixmapRgb(pix, false, out);
}

// A soft mask as an 8-bit grey DIB: 255 opaque, 0 transparent.
void PixmapToMaskDib(fz_pixmap* pix, Dib* out) {
  const int colours = pix->n - pix->alpha;
  const Sample sample = colours == 0 ? Sample::kAlpha : Sample::kGreyOnWhite;
  if (DibFromPixmapChannel(pix, WholePixmap(pix), sample, 8, false, out)) SetGreyRamp(out->header);
}

// Worst-case DIB bytes of an image at 24 bits per pixel.
size_t DibBytes(const fz_image* image) {
  return DibStride(image->w, 24) * static_cast<size_t>(image->h);
}

// Decodes the image (and its soft mask) into the record. A failure leaves the pixel pointers
// null. Never throws.
void DecodeInto(fz_context* ctx, ImageSink* d, fz_image* image, PTK_ImageRecord* rec) {
  if (TooLarge(image) || DibBytes(image) > kMaxStreamPixelBytes - d->pixelBytes) return;
  fz_pixmap* pix = nullptr;
  fz_pixmap* conv = nullptr;
  Dib dib;
  fz_var(pix);
  fz_var(conv);
  fz_var(dib);
  fz_try(ctx) {
    pix = fz_get_unscaled_pixmap_from_image(ctx, image);
    PixmapToImageDib(ctx, image, pix, &conv, &dib);
  }
  fz_always(ctx) {
    fz_drop_pixmap(ctx, conv);
    fz_drop_pixmap(ctx, pix);
  }
  fz_catch(ctx) {
    FreeDib(dib.header, dib.bits);
    return;
  }
  if (!dib.header) return;
  rec->pHeader = dib.header;
  rec->pBits = dib.bits;
  d->pixelBytes += dib.header->biSizeImage;

  fz_image* maskImage = image->mask;
  if (!maskImage || TooLarge(maskImage) ||
      DibBytes(maskImage) > kMaxStreamPixelBytes - d->pixelBytes)
    return;
  pix = nullptr;
  Dib mask;
  fz_var(mask);
  fz_try(ctx) {
    pix = fz_get_unscaled_pixmap_from_image(ctx, maskImage);
    PixmapToMaskDib(pix, &mask);
  }
  fz_always(ctx) {
    fz_drop_pixmap(ctx, pix);
  }
  fz_catch(ctx) {
    return;
  }
  if (!mask.header) return;
  auto* pair = static_cast<PTK_MaskPair*>(std::malloc(sizeof(PTK_MaskPair)));
  if (!pair) {
    FreeDib(mask.header, mask.bits);
    return;
  }
  pair->pHeader = mask.header;
  pair->pBits = mask.bits;
  rec->pMask = pair;
  d->pixelBytes += mask.header->biSizeImage;
}

// ---- geometry ----------------------------------------------------------------------------

// Placement, scales and rotation from the image matrix. The device's matrix maps the unit
// square with (0, 0) at the image's first row; the PDF convention puts (0, 0) at its last
// row, so the matrix is flipped back before it is decomposed as R(theta) * diag(sx, sy).
void SetGeometry(fz_image* image, fz_matrix ctm, fz_rect place, fz_rect clip,
                 PTK_ImageRecord* rec) {
  rec->dX0 = place.x0;
  rec->dX1 = place.x1;
  rec->dYTop = place.y1;
  rec->dYBottom = place.y0;
  rec->dClipX0 = clip.x0;
  rec->dClipX1 = clip.x1;
  rec->dClipYBottom = clip.y0;
  rec->dClipYTop = clip.y1;

  const fz_matrix m = fz_concat(fz_make_matrix(1, 0, 0, -1, 0, 1), ctm);
  const double a = m.a, b = m.b, c = m.c, d = m.d;
  const double size = std::fabs(a) + std::fabs(b) + std::fabs(c) + std::fabs(d);
  const double eps = 1e-6 * size;
  if (std::fabs(b) <= eps && std::fabs(c) <= eps) {
    rec->dScaleX = a;
    rec->dScaleY = d;
    rec->dRotation = 0;
  } else {
    const double sx = std::hypot(a, b);
    rec->dRotation = std::atan2(b, a);
    rec->dScaleX = sx;
    rec->dScaleY = sx > 0 ? (a * d - b * c) / sx : 0;
  }
  const double width = std::hypot(a, b), height = std::hypot(c, d);
  rec->dDpiX = width > 0 ? image->w * 72.0 / width : 0;
  rec->dDpiY = height > 0 ? image->h * 72.0 / height : 0;
}

void GatherImage(fz_context* ctx, GraphicsDevice* d, fz_image* image, fz_matrix ctm) {
  ImageSink* s = &d->images;
  if (!image) return;
  const fz_rect place = fz_transform_rect(fz_unit_rect, ctm);
  if (!IsFinite(place)) return;
  fz_rect clip = s->clipDepth ? s->clips[s->clipDepth - 1] : place;
  if (fz_is_empty_rect(fz_intersect_rect(place, clip))) return;
  // A clip without bounds on some side takes that side from the placement box.
  if (fz_is_infinite_rect(clip) || std::fabs(clip.x0) > 1e7 || std::fabs(clip.x1) > 1e7 ||
      std::fabs(clip.y0) > 1e7 || std::fabs(clip.y1) > 1e7)
    clip = fz_intersect_rect(clip, place);

  // The pixels are decoded when the records are taken (TakeGraphics), not during the run:
  // a run that feeds the text stream too must not pay for images nobody asks for.
  if (s->pendingCount == s->pendingCap) {
    int cap = s->pendingCap ? s->pendingCap * 2 : 16;
    s->pending = fz_realloc_array(ctx, s->pending, cap, fz_image*);
    s->pendingCap = cap;
  }
  auto* rec = static_cast<PTK_ImageRecord*>(std::calloc(1, sizeof(PTK_ImageRecord)));
  if (!rec) FailGraphics(ctx, d, FZ_ERROR_MEMORY, "out of memory for an image record");
  if (s->last)
    s->last->pNext = rec;
  else
    s->first = rec;
  s->last = rec;
  s->pending[s->pendingCount++] = fz_keep_image(ctx, image);
  SetGeometry(image, ctm, place, clip, rec);
}

// Decodes the pixels of the gathered records, in order, and lets their images go.
void DecodePending(fz_context* ctx, ImageSink* s) {
  int i = 0;
  for (PTK_ImageRecord* rec = s->first; rec && i < s->pendingCount; rec = rec->pNext, ++i) {
    DecodeInto(ctx, s, s->pending[i], rec);
    fz_drop_image(ctx, s->pending[i]);
    s->pending[i] = nullptr;
  }
  for (; i < s->pendingCount; ++i) fz_drop_image(ctx, s->pending[i]);
  s->pendingCount = 0;
}

// ---- the collector device ----------------------------------------------------------------
//
// Every callback counts toward the page's bound of drawing operations, gathers what it is
// asked to gather and passes the call on to the next device.

GraphicsDevice* Dev(fz_device* dev) {
  return reinterpret_cast<GraphicsDevice*>(dev);
}

bool WantImages(const GraphicsDevice* d) {
  return (d->kinds & kGatherImages) && d->maskDepth == 0;
}

bool WantPaths(const GraphicsDevice* d) {
  return (d->kinds & kGatherPaths) && d->maskDepth == 0;
}

void DevFillPath(fz_context* ctx, fz_device* dev, const fz_path* path, int evenOdd, fz_matrix ctm,
                 fz_colorspace* cs, const float* color, float alpha, fz_color_params params) {
  GraphicsDevice* d = Dev(dev);
  CountCall(ctx, d);
  if (WantPaths(d)) GatherFill(ctx, d, path, evenOdd, ctm, cs, color, params);
  if (d->next) fz_fill_path(ctx, d->next, path, evenOdd, ctm, cs, color, alpha, params);
}

void DevStrokePath(fz_context* ctx, fz_device* dev, const fz_path* path,
                   const fz_stroke_state* stroke, fz_matrix ctm, fz_colorspace* cs,
                   const float* color, float alpha, fz_color_params params) {
  GraphicsDevice* d = Dev(dev);
  const bool afterFill = d->paths.lastWasFill;
  CountCall(ctx, d);
  if (WantPaths(d)) GatherStroke(ctx, d, afterFill, path, stroke, ctm, cs, color, params);
  if (d->next) fz_stroke_path(ctx, d->next, path, stroke, ctm, cs, color, alpha, params);
}

void DevClipPath(fz_context* ctx, fz_device* dev, const fz_path* path, int evenOdd, fz_matrix ctm,
                 fz_rect scissor) {
  GraphicsDevice* d = Dev(dev);
  CountCall(ctx, d);
  if (d->kinds & kGatherImages) PushClip(ctx, &d->images, fz_bound_path(ctx, path, nullptr, ctm));
  if (d->next) fz_clip_path(ctx, d->next, path, evenOdd, ctm, scissor);
}

void DevClipStrokePath(fz_context* ctx, fz_device* dev, const fz_path* path,
                       const fz_stroke_state* stroke, fz_matrix ctm, fz_rect scissor) {
  GraphicsDevice* d = Dev(dev);
  CountCall(ctx, d);
  if (d->kinds & kGatherImages) PushClip(ctx, &d->images, fz_bound_path(ctx, path, stroke, ctm));
  if (d->next) fz_clip_stroke_path(ctx, d->next, path, stroke, ctm, scissor);
}

void DevFillText(fz_context* ctx, fz_device* dev, const fz_text* text, fz_matrix ctm,
                 fz_colorspace* cs, const float* color, float alpha, fz_color_params params) {
  GraphicsDevice* d = Dev(dev);
  CountCall(ctx, d);
  if (d->next) fz_fill_text(ctx, d->next, text, ctm, cs, color, alpha, params);
}

void DevStrokeText(fz_context* ctx, fz_device* dev, const fz_text* text,
                   const fz_stroke_state* stroke, fz_matrix ctm, fz_colorspace* cs,
                   const float* color, float alpha, fz_color_params params) {
  GraphicsDevice* d = Dev(dev);
  CountCall(ctx, d);
  if (d->next) fz_stroke_text(ctx, d->next, text, stroke, ctm, cs, color, alpha, params);
}

void DevClipText(fz_context* ctx, fz_device* dev, const fz_text* text, fz_matrix ctm,
                 fz_rect scissor) {
  GraphicsDevice* d = Dev(dev);
  CountCall(ctx, d);
  if (d->kinds & kGatherImages) PushClip(ctx, &d->images, fz_bound_text(ctx, text, nullptr, ctm));
  if (d->next) fz_clip_text(ctx, d->next, text, ctm, scissor);
}

void DevClipStrokeText(fz_context* ctx, fz_device* dev, const fz_text* text,
                       const fz_stroke_state* stroke, fz_matrix ctm, fz_rect scissor) {
  GraphicsDevice* d = Dev(dev);
  CountCall(ctx, d);
  if (d->kinds & kGatherImages) PushClip(ctx, &d->images, fz_bound_text(ctx, text, stroke, ctm));
  if (d->next) fz_clip_stroke_text(ctx, d->next, text, stroke, ctm, scissor);
}

void DevIgnoreText(fz_context* ctx, fz_device* dev, const fz_text* text, fz_matrix ctm) {
  GraphicsDevice* d = Dev(dev);
  CountCall(ctx, d);
  if (d->next) fz_ignore_text(ctx, d->next, text, ctm);
}

void DevFillShade(fz_context* ctx, fz_device* dev, fz_shade* shade, fz_matrix ctm, float alpha,
                  fz_color_params params) {
  GraphicsDevice* d = Dev(dev);
  CountCall(ctx, d);
  if (d->next) fz_fill_shade(ctx, d->next, shade, ctm, alpha, params);
}

void DevFillImage(fz_context* ctx, fz_device* dev, fz_image* image, fz_matrix ctm, float alpha,
                  fz_color_params params) {
  GraphicsDevice* d = Dev(dev);
  CountCall(ctx, d);
  if (WantImages(d)) GatherImage(ctx, d, image, ctm);
  if (d->next) fz_fill_image(ctx, d->next, image, ctm, alpha, params);
}

void DevFillImageMask(fz_context* ctx, fz_device* dev, fz_image* image, fz_matrix ctm,
                      fz_colorspace* cs, const float* color, float alpha, fz_color_params params) {
  GraphicsDevice* d = Dev(dev);
  CountCall(ctx, d);
  if (WantImages(d)) GatherImage(ctx, d, image, ctm);
  if (d->next) fz_fill_image_mask(ctx, d->next, image, ctm, cs, color, alpha, params);
}

void DevClipImageMask(fz_context* ctx, fz_device* dev, fz_image* image, fz_matrix ctm,
                      fz_rect scissor) {
  GraphicsDevice* d = Dev(dev);
  CountCall(ctx, d);
  if (d->kinds & kGatherImages) PushClip(ctx, &d->images, fz_transform_rect(fz_unit_rect, ctm));
  if (d->next) fz_clip_image_mask(ctx, d->next, image, ctm, scissor);
}

void DevPopClip(fz_context* ctx, fz_device* dev) {
  GraphicsDevice* d = Dev(dev);
  CountCall(ctx, d);
  if (d->images.clipDepth > 0) --d->images.clipDepth;
  if (d->next) fz_pop_clip(ctx, d->next);
}

// A soft mask is a clip entry (popped by pop_clip) whose definition runs between begin_mask
// and end_mask. An alpha mask hides everything outside its area; a luminosity mask may show
// its backdrop there, so it does not narrow the clip.
void DevBeginMask(fz_context* ctx, fz_device* dev, fz_rect area, int luminosity, fz_colorspace* cs,
                  const float* bc, fz_color_params params) {
  GraphicsDevice* d = Dev(dev);
  CountCall(ctx, d);
  if (d->kinds & kGatherImages) PushClip(ctx, &d->images, luminosity ? fz_infinite_rect : area);
  ++d->maskDepth;
  if (d->next) fz_begin_mask(ctx, d->next, area, luminosity, cs, bc, params);
}

void DevEndMask(fz_context* ctx, fz_device* dev) {
  GraphicsDevice* d = Dev(dev);
  CountCall(ctx, d);
  if (d->maskDepth > 0) --d->maskDepth;
  if (d->next) fz_end_mask(ctx, d->next);
}

void DevBeginGroup(fz_context* ctx, fz_device* dev, fz_rect area, fz_colorspace* cs, int isolated,
                   int knockout, int blendmode, float alpha) {
  GraphicsDevice* d = Dev(dev);
  CountCall(ctx, d);
  if (d->next) fz_begin_group(ctx, d->next, area, cs, isolated, knockout, blendmode, alpha);
}

void DevEndGroup(fz_context* ctx, fz_device* dev) {
  GraphicsDevice* d = Dev(dev);
  CountCall(ctx, d);
  if (d->next) fz_end_group(ctx, d->next);
}

int DevBeginTile(fz_context* ctx, fz_device* dev, fz_rect area, fz_rect view, float xstep,
                 float ystep, fz_matrix ctm, int id) {
  GraphicsDevice* d = Dev(dev);
  CountCall(ctx, d);
  // The pattern's content is always run (0: not cached), so that the collector sees it.
  if (d->next) fz_begin_tile_id(ctx, d->next, area, view, xstep, ystep, ctm, id);
  return 0;
}

void DevEndTile(fz_context* ctx, fz_device* dev) {
  GraphicsDevice* d = Dev(dev);
  CountCall(ctx, d);
  if (d->next) fz_end_tile(ctx, d->next);
}

void DevRenderFlags(fz_context* ctx, fz_device* dev, int set, int clear) {
  GraphicsDevice* d = Dev(dev);
  if (d->next) fz_render_flags(ctx, d->next, set, clear);
}

void DevSetDefaultColorspaces(fz_context* ctx, fz_device* dev, fz_default_colorspaces* cs) {
  GraphicsDevice* d = Dev(dev);
  if (d->next) fz_set_default_colorspaces(ctx, d->next, cs);
}

void DevBeginLayer(fz_context* ctx, fz_device* dev, const char* name) {
  GraphicsDevice* d = Dev(dev);
  if (d->next) fz_begin_layer(ctx, d->next, name);
}

void DevEndLayer(fz_context* ctx, fz_device* dev) {
  GraphicsDevice* d = Dev(dev);
  if (d->next) fz_end_layer(ctx, d->next);
}

void DevClose(fz_context* ctx, fz_device* dev) {
  GraphicsDevice* d = Dev(dev);
  if (d->next) fz_close_device(ctx, d->next);
}

void DevDrop(fz_context* ctx, fz_device* dev) {
  GraphicsDevice* d = Dev(dev);
  fz_free(ctx, d->images.clips);
  d->images.clips = nullptr;
  for (int i = 0; i < d->images.pendingCount; ++i) fz_drop_image(ctx, d->images.pending[i]);
  fz_free(ctx, d->images.pending);
  d->images.pending = nullptr;
  d->images.pendingCount = 0;
  FreeImageRecords(d->images.first);
  d->images.first = d->images.last = nullptr;
  DropPathSink(&d->paths);
}

}  // namespace

void FailGraphics(fz_context* ctx, GraphicsDevice* d, int code, const char* why) {
  d->failed = true;
  if (code == FZ_ERROR_ABORT && d->cookie) d->cookie->abort = 1;
  fz_throw(ctx, code, "%s", why);
}

void FreeImageRecords(PTK_ImageRecord* rec) {
  while (rec) {
    PTK_ImageRecord* next = rec->pNext;
    FreeRecord(rec);
    rec = next;
  }
}

void DetachGraphicsDevice(fz_device* dev) {
  GraphicsDevice* d = Dev(dev);
  d->next = nullptr;
  d->cookie = nullptr;
}

bool TakeKeptGraphics(PTK_Document* hDoc, int nPage, PTK_ImageRecord** images,
                      PTK_PathRecord** paths) {
  if (!hDoc->graphics || hDoc->graphicsPage != nPage) return false;
  bool ok = TakeGraphics(hDoc->ctx, hDoc->graphics, images, paths);
  GraphicsDevice* d = Dev(hDoc->graphics);
  if ((d->taken & d->kinds) == d->kinds) {
    fz_drop_device(hDoc->ctx, hDoc->graphics);
    hDoc->graphics = nullptr;
    hDoc->graphicsPage = 0;
  }
  return ok;
}

fz_device* NewGraphicsDevice(fz_context* ctx, int kinds, fz_device* next, fz_cookie* cookie) {
  GraphicsDevice* d = fz_new_derived_device(ctx, GraphicsDevice);
  d->next = next;
  d->cookie = cookie;
  d->kinds = kinds;
  fz_device& s = d->super;
  s.close_device = DevClose;
  s.drop_device = DevDrop;
  s.fill_path = DevFillPath;
  s.stroke_path = DevStrokePath;
  s.clip_path = DevClipPath;
  s.clip_stroke_path = DevClipStrokePath;
  s.fill_text = DevFillText;
  s.stroke_text = DevStrokeText;
  s.clip_text = DevClipText;
  s.clip_stroke_text = DevClipStrokeText;
  s.ignore_text = DevIgnoreText;
  s.fill_shade = DevFillShade;
  s.fill_image = DevFillImage;
  s.fill_image_mask = DevFillImageMask;
  s.clip_image_mask = DevClipImageMask;
  s.pop_clip = DevPopClip;
  s.begin_mask = DevBeginMask;
  s.end_mask = DevEndMask;
  s.begin_group = DevBeginGroup;
  s.end_group = DevEndGroup;
  s.begin_tile = DevBeginTile;
  s.end_tile = DevEndTile;
  s.render_flags = DevRenderFlags;
  s.set_default_colorspaces = DevSetDefaultColorspaces;
  s.begin_layer = DevBeginLayer;
  s.end_layer = DevEndLayer;
  if (next) s.hints = next->hints;
  return &d->super;
}

bool TakeGraphics(fz_context* ctx, fz_device* dev, PTK_ImageRecord** images,
                  PTK_PathRecord** paths) {
  if (images) *images = nullptr;
  if (paths) *paths = nullptr;
  GraphicsDevice* d = Dev(dev);
  if (!d || d->failed) return false;
  const int wanted = (images ? kGatherImages : 0) | (paths ? kGatherPaths : 0);
  if ((d->kinds & wanted) != wanted || (d->taken & wanted) != 0) return false;
  d->taken |= wanted;
  if (images) {
    DecodePending(ctx, &d->images);
    *images = d->images.first;
    d->images.first = d->images.last = nullptr;
  }
  if (paths) {
    *paths = d->paths.first;
    d->paths.first = d->paths.last = nullptr;
  }
  return true;
}

bool CollectGraphics(PTK_Document* hDoc, int nPage, int kinds, PTK_ImageRecord** images,
                     PTK_PathRecord** paths) {
  if (images) *images = nullptr;
  if (paths) *paths = nullptr;
  fz_context* ctx = hDoc->ctx;
  PageFrame frame;
  fz_cookie cookie = {};
  PageGuard guard(hDoc, nPage, &cookie);
  fz_device* dev = nullptr;
  bool ok = false;
  fz_var(dev);
  fz_var(ok);
  fz_try(ctx) {
    LoadPageFrame(hDoc, nPage, &frame);
    dev = NewGraphicsDevice(ctx, kinds, nullptr, &cookie);
    RunPageContents(hDoc, frame, dev, &cookie);
    fz_close_device(ctx, dev);
    ok = !cookie.abort && TakeGraphics(ctx, dev, images, paths);
  }
  fz_always(ctx) {
    fz_drop_device(ctx, dev);
  }
  fz_catch(ctx) {
    ok = false;
  }
  if (!ok) {
    if (images) FreeImageRecords(*images);
    if (paths) FreePathRecords(*paths);
    if (images) *images = nullptr;
    if (paths) *paths = nullptr;
  }
  return ok;
}

}  // namespace pdfkit

PTK_API void PTK_GetPageContentImageStream(PTK_HDOC hDoc, int32_t nPage,
                                           PTK_ImageRecord** ppFirst) {
  if (!ppFirst) return;
  *ppFirst = nullptr;
  if (!pdfkit::ValidPage(hDoc, nPage)) return;
  if (pdfkit::TakeKeptGraphics(hDoc, nPage, ppFirst, nullptr)) return;
  pdfkit::CollectGraphics(hDoc, nPage, pdfkit::kGatherImages, ppFirst, nullptr);
}

PTK_API void PTK_FreePageContentImageStream(PTK_ImageRecord* pFirst) {
  pdfkit::FreeImageRecords(pFirst);
}
