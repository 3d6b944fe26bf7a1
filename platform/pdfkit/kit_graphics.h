// The graphics collector behind the image and path streams: one device that gathers the
// image records, the path records or both from one interpretation of a page, and passes
// every call on to a next device, so that a single run can also feed the text stream's
// device. kit_image.cpp holds the device and the image side, kit_path.cpp the path side.
//
// The device lives in MuPDF memory and holds only plain C data; the records are malloc'ed
// so that the PTK_Free* functions release them without a context.
#pragma once

#include "kit_internal.h"

namespace pdfkit {

enum GraphicsKind { kGatherImages = 1, kGatherPaths = 2 };

// Creates a collector of the given kinds. next (may be null, not owned) receives every
// device call after the collector; closing the collector closes next. Inside fz_try.
fz_device* NewGraphicsDevice(fz_context* ctx, int kinds, fz_device* next, fz_cookie* cookie);

// After the run and fz_close_device: decodes the images' pixels and moves the records of
// the kinds asked for (non-null arguments) out; each kind can be taken once. False, with
// nothing moved, when the run went beyond the page's bounds, a record could not be
// allocated, or a kind asked for was not gathered or was taken before. The device must still
// be dropped. Never throws.
bool TakeGraphics(fz_context* ctx, fz_device* dev, PTK_ImageRecord** images,
                  PTK_PathRecord** paths);

// Interprets page nPage with a collector of the given kinds; false on failure.
bool CollectGraphics(PTK_Document* hDoc, int nPage, int kinds, PTK_ImageRecord** images,
                     PTK_PathRecord** paths);

// Cuts a closed collector loose from its next device and its cookie, so that it can be kept
// after both are gone and its records taken later.
void DetachGraphicsDevice(fz_device* dev);

// Takes the records of the kinds asked for from the collector the document kept from the text
// stream of page nPage; false when there is none for that page or the kind was taken.
bool TakeKeptGraphics(PTK_Document* hDoc, int nPage, PTK_ImageRecord** images,
                      PTK_PathRecord** paths);

void FreeImageRecords(PTK_ImageRecord* first);
void FreePathRecords(PTK_PathRecord* first);

// ---- internals of the collector --------------------------------------------------------

struct ImageSink {
  // Clip stack: each entry is the intersection of all clips active at its depth.
  fz_rect* clips;
  int clipDepth;
  int clipCap;
  size_t pixelBytes;  // pixel memory handed out so far
  PTK_ImageRecord* first;
  PTK_ImageRecord* last;
  // The image of each record, in record order, kept until its pixels are decoded.
  fz_image** pending;
  int pendingCount;
  int pendingCap;
};

// Segments of the path being walked, in kit coordinates.
struct PathWalk {
  PTK_PathSegment* segs;
  int count;
  int cap;
  int points;
  fz_matrix ctm;
  fz_rect bounds;  // of the points seen, valid when points > 0
};

struct PathSink {
  PathWalk walk;
  bool lastWasFill;  // the previous device call was a fill that made the last record
  size_t bytes;
  int count;
  PTK_PathRecord* first;
  PTK_PathRecord* last;
};

struct GraphicsDevice {
  fz_device super;
  fz_device* next;
  fz_cookie* cookie;
  int kinds;
  int taken;  // kinds already moved out by TakeGraphics
  long calls;
  bool failed;    // beyond the page's bounds, or out of memory for a record
  int maskDepth;  // > 0 while a soft mask is being defined: its content is not page content
  ImageSink images;
  PathSink paths;
};

// Marks the run as failed and throws.
[[noreturn]] void FailGraphics(fz_context* ctx, GraphicsDevice* d, int code, const char* why);

// Path side (kit_path.cpp).
void GatherFill(fz_context* ctx, GraphicsDevice* d, const fz_path* path, int evenOdd, fz_matrix ctm,
                fz_colorspace* cs, const float* color, fz_color_params params);
void GatherStroke(fz_context* ctx, GraphicsDevice* d, bool afterFill, const fz_path* path,
                  const fz_stroke_state* stroke, fz_matrix ctm, fz_colorspace* cs,
                  const float* color, fz_color_params params);
void DropPathSink(PathSink* sink);

}  // namespace pdfkit
