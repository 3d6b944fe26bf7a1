// The page-content kit: a C API that parses PDF pages and reports their text runs, images and
// paths, renders pages and single glyphs. Implemented over MuPDF in libpdfkit.so.
//
// Coordinates. Every box and point the kit reports is in page units, which are points (1/72
// inch; a page's /UserUnit is applied), in the frame of the page as it is displayed: the
// page's rotation applied, the origin at the lower-left corner of the CropBox, y upward.
//
// Box selectors of PTK_GetPageRect: 1 (content work) gives the CropBox, always
// (0, 0, width, height); 0 (rendering) gives the MediaBox in the same frame, which may reach
// beyond the CropBox. Renderings always show the CropBox.
//
// Page unit. PTK_GetPageUnit returns the length of one page unit in inches: always 1/72.
// Callers divide their rendering scale by 96 * unit (see
// PTK_GetPageThumbnail), so that their scale 1.0 renders one pixel per point (72 pixels per
// inch) and 2.0 renders 144 pixels per inch.
//
// Threads. A document handle may be used on one thread at a time; different documents may be
// used on different threads at once. PTK_Initialize and PTK_Destroy are process-wide.
//
// Robustness. No MuPDF error escapes: a damaged or hostile file yields a null handle, a null
// stream or a zero result. Each document has a memory cap, and interpreting one page's content
// stops after a bounded number of drawing operations.
#pragma once

#include <cstdint>

#include "velluma/wintypes.h"

#define PTK_API extern "C" __attribute__((visibility("default")))

typedef struct PTK_Document* PTK_HDOC;

// One character of a text run (96 bytes).
struct PTK_CharRecord {
  int32_t nGlyph;           // 0: glyph index in the font (for Type 3 fonts the character code)
  int32_t nCode;            // 4: UTF-16 character code (first unit when the text is longer)
  int32_t nCharCode;        // 8: the character code in the content stream (byte or CID code)
  int32_t nCid;             // 12: CID for composite fonts, else the character code
  double dAdvance;          // 16: advance width in page units
  int32_t nOpIndex;         // 24: index of the text-showing operator on the page
  int32_t nReserved;        // 28
  int32_t nFlags;           // 32: PTK_CF_* bits
  int32_t nNoCode;          // 36: equals nCode when the character has no usable Unicode value,
                            //     else PTK_HAS_CODE
  const char16_t* pszText;  // 40: the full text of the character when it is more than one
                            //     UTF-16 unit (ligatures, supplementary planes), else null
  double dOriginX;          // 48: pen position (baseline origin) x
  double dOriginY;          // 56: pen position y (y upward)
  double dX0;               // 64: glyph box x0
  double dY0;               // 72: glyph box y0 (lower)
  double dX1;               // 80: glyph box x1
  double dY1;               // 88: glyph box y1 (upper)
};
static_assert(sizeof(PTK_CharRecord) == 96);
static_assert(offsetof(PTK_CharRecord, nNoCode) == 36);
static_assert(offsetof(PTK_CharRecord, pszText) == 40);
static_assert(offsetof(PTK_CharRecord, dOriginX) == 48);
static_assert(offsetof(PTK_CharRecord, dX0) == 64);

constexpr int32_t PTK_HAS_CODE = -1;
constexpr int32_t PTK_CF_INVISIBLE = 0x1;  // drawn with text render mode 3
constexpr int32_t PTK_CF_NOCODE = 0x2;     // no usable Unicode value (nNoCode == nCode)
constexpr int32_t PTK_CF_BLANK = 0x4;      // the glyph has no ink (its box is its origin)

// A text run: characters of one font at one size on one line, in content-stream order.
struct PTK_TextRun {
  int32_t nIndex;               // run index on the page (0, 1, 2 ...)
  PTK_CharRecord* pChars;       // the run's characters
  uint32_t nCharCount;          // number of characters
  const char16_t* pszFontKey;   // stable identifier of the font object, e.g. u"12 0 R"
  const char16_t* pszFontName;  // BaseFont as written (subset prefix kept)
  int32_t nAttr1;               // writing mode: 0 horizontal, 1 vertical
  double dVertSize;             // em height projected on the page's y axis, in page units
  double dFontSize;             // em size on the page, in page units (Tf size times the
                                //   text rendering matrix's scale)
  uint8_t bFlags;               // bit 0: the run is invisible (render mode 3)
  const char16_t* pszEncoding;  // the font's /Encoding name, or u"Custom" (see below)
  uint8_t bFlag1;               // text render mode 0..7
  uint8_t bFlag2;               // font style: 1 bold, 2 italic, 4 serif, 8 monospaced
  uint8_t bFlag3;               // 1 when the font program is embedded
  double dX0, dY0, dX1, dY1;    // run box: line cells of the glyphs (docs/platform.md), y upward
  double dMetric1;              // font ascender, in ems
  double dMetric2;              // font descender, in ems (negative below the baseline)
  double dReserved1, dReserved2;
  double dAngle1;      // baseline direction, radians counter-clockwise from +x
  double dAngle2;      // glyph skew: angle of the glyph's up axis away from the
                       //   perpendicular of the baseline, radians
  int32_t* pParams;    // two int32: [0] the font's object number (0 when direct),
                       //   [1] the index of the run's first text-showing operator
  PTK_TextRun* pNext;  // next run, null at the end
};

// Encoding names: the font's /Encoding when it is a name (WinAnsiEncoding, MacRomanEncoding,
// Identity-H, UniGB-UCS2-H ...); for an encoding dictionary its /BaseEncoding, or
// "Differences" without one; "BuiltIn" when the font has no /Encoding. A simple font that
// MuPDF reads as holding the double-byte codes of a named CMap (GBK byte pairs in a WinAnsi
// font named in GBK) reports that CMap (GBK-EUC-H). "Custom" replaces all of these when none
// of the font's characters on the page has a usable Unicode value (also when a /ToUnicode maps
// them all to U+FFFD): its glyphs are for recognition.
//
// Simple fonts without /ToUnicode: a code's value comes from its glyph name in the /Encoding
// (Adobe glyph list, uniXXXX, uXXXXX); else, for an embedded program, from the program's
// (3,1) or (3,10) cmap read backwards for the code's glyph, or from the glyph's name in the
// program. A code that none of these names has no usable value, whatever MuPDF guesses for it
// (an embedded subset with only (1,0)/(3,0) cmaps and glyph names like g12 is "Custom").
//
// A character without a usable value carries its content-stream code in nCode and the same
// value in nNoCode, so that a text block shows "?" for it.

// Image record.
struct PTK_MaskPair {
  BITMAPINFOHEADER* pHeader;  // soft mask: 8-bit grey DIB with its colour table, top-down
  uint8_t* pBits;
};

struct PTK_ImageRecord {
  BITMAPINFOHEADER* pHeader;         // the image's DIB header, colour table behind it for <= 8 bits
  uint8_t* pBits;                    // rows padded to 4 bytes, TOP-DOWN (negative biHeight): the
                                     //   image's first row as stored in the file comes first, which
                                     //   is what the component's picture building expects (it takes
                                     //   the rows with the image class's flip flag set)
  double dX0, dYTop, dX1, dYBottom;  // placement box of the whole image (y upward)
  double dClipX0, dClipYBottom, dClipX1, dClipYTop;  // clipping box (y upward)
  double dDpiX, dDpiY;      // effective resolution on the page, pixels per inch
  double dScaleX, dScaleY;  // signed scale factors of the image matrix (negative: mirrored
                            //   horizontally, flipped vertically), in page units per image
  double dRotation;         // rotation of the image matrix, radians counter-clockwise
  double dReserved;
  PTK_MaskPair* pMask;     // soft mask, or null
  PTK_ImageRecord* pNext;  // next record, null at the end
};

// Path record. Segments of a path in drawing order.
struct PTK_PathSegment {
  int32_t nType;  // PTK_SEG_*
  int32_t nReserved;
  double dX, dY;    // move or line: the point; curve: first control point
  double dX2, dY2;  // curve: second control point
  double dX3, dY3;  // see below
};
static_assert(sizeof(PTK_PathSegment) == 56);
constexpr int32_t PTK_SEG_MOVE = 1;
constexpr int32_t PTK_SEG_LINE = 2;
constexpr int32_t PTK_SEG_CURVE = 3;
constexpr int32_t PTK_SEG_CLOSE = 4;
// A cubic Bezier curve takes two segments of type PTK_SEG_CURVE: the first holds the two
// control points and dX3 = 1.0 (its end point follows in the next segment); the second holds
// the end point in (dX3, dY3) and zeros elsewhere. A curve segment with dX3 = 0 holds its end
// point in (dX2, dY2) and no second segment (the kit does not write this form).

struct PTK_PathRecord {
  int32_t nIndex;  // path index on the page
  int32_t nReserved0;
  uint8_t bStroke;   // the path is stroked
  uint8_t bFill;     // the path is filled
  uint8_t bEvenOdd;  // fill rule: 1 even-odd, 0 non-zero winding
  uint8_t bReserved[5];
  double dLineWidth;           // stroke width in page units (0 when not stroked)
  PTK_PathSegment* pSegments;  // segment array
  int32_t nSegmentCount;       // number of segments
  uint32_t nStrokeRGB;         // stroke colour 0xRRGGBB
  uint32_t nFillRGB;           // fill colour 0xRRGGBB
  int32_t nReserved1;
  double dX0, dY0, dX1, dY1;  // bounds of the path's points (y upward)
  PTK_PathRecord* pNext;      // next record, null at the end
};

// Run description for PTK_GetCharBitmap, built by the caller from a text run.
struct PTK_RunDesc {
  const char16_t* pszFontKey;  // the run's font key
  int32_t nAttr1;              // the run's writing mode
  uint8_t bFlag1, bFlag2, bFlag3;
  uint8_t bReserved[5];
  double dMetric1, dMetric2;
  double dStretchX, dStretchY;  // 1.0 and 1.0
  double dAngle1, dAngle2;      // degrees; glyphs are rendered upright whatever the angles
  double dScaleX, dScaleY;      // pixels per em
  int32_t nParam1, nParam2;
};

// Smoothing tags of PTK_SetSmoothTag: 0 renders bilevel glyph bitmaps (1 bit per pixel,
// colour table {white, black}, ink = 1); any other tag renders anti-aliased bitmaps (8 bits per
// pixel, index = ink coverage 0..255, colour table from white to black) with min(tag, 8) bits
// of anti-aliasing. The default tag is 12. Page renderings always use full anti-aliasing.

PTK_API void PTK_Initialize(int nReserved);
PTK_API void PTK_Destroy();

// Opens a PDF file (UTF-16 path). Null for a missing, unreadable, non-PDF, encrypted (no empty
// user password) or unrepairable file, and for a file with no pages.
PTK_API PTK_HDOC PTK_OpenDoc(const char16_t* pszPath, int nReserved);
PTK_API void PTK_CloseDoc(PTK_HDOC hDoc, int nReserved);
PTK_API int32_t PTK_GetPageCount(PTK_HDOC hDoc);
PTK_API uint8_t PTK_GetPageRect(PTK_HDOC hDoc, int32_t nPage, int32_t nBox, double* pX0,
                                double* pY0, double* pX1, double* pY1);
PTK_API double PTK_GetPageUnit(PTK_HDOC hDoc, int32_t nPage);

// Renders the page's CropBox at dScaleX * 96 * 72 * unit pixels per inch horizontally and
// dScaleY * 96 * 72 * unit vertically: dScale = 1 / (96 * unit) gives 72 pixels per inch.
// Width in pixels = round(page width in units * unit * horizontal resolution), at least 1.
// The result is a 24-bit BGR DIB with top-down rows (negative biHeight) on a white
// background. dThicken is the minimum line width in pixels (thinner strokes are drawn that
// wide; 0 leaves them as they are). A rendering of at most 64 pixels is handed out blank
// without interpreting the page (nothing at that size is legible). Fails for pages out of
// range, for non-positive or non-finite scales and for output larger than 400 megapixels.
PTK_API uint8_t PTK_GetPageThumbnail(PTK_HDOC hDoc, int32_t nPage, BITMAPINFOHEADER** ppHeader,
                                     uint8_t** ppBits, double dScaleX, double dScaleY,
                                     double dThicken);
PTK_API void PTK_FreePageThumbnail(BITMAPINFOHEADER* pHeader, uint8_t* pBits);

// The three content streams of a page. The text stream's interpretation also gathers the
// page's images and paths: the image and path streams of the same page asked for next take
// them from there (image pixels are decoded only when the image stream is asked for), so a
// page loaded with text, images and paths is interpreted once.
PTK_API void PTK_GetPageContentTextStream(PTK_HDOC hDoc, int32_t nPage, PTK_TextRun** ppFirst);
PTK_API void PTK_FreePageContentTextStream(PTK_TextRun* pFirst);
PTK_API void PTK_GetPageContentImageStream(PTK_HDOC hDoc, int32_t nPage, PTK_ImageRecord** ppFirst);
PTK_API void PTK_FreePageContentImageStream(PTK_ImageRecord* pFirst);
PTK_API void PTK_GetPageContentPathStream(PTK_HDOC hDoc, int32_t nPage, PTK_PathRecord** ppFirst);
PTK_API void PTK_FreePageContentPathStream(PTK_PathRecord* pFirst);

// Renders one glyph of a run: the glyph pChar->nGlyph of the font pDesc->pszFontKey at
// pDesc->dScaleY pixels per em (dScaleX for the width), upright, cropped to its ink. Depth
// and colour table as set by PTK_SetSmoothTag; rows top-down (negative biHeight), as for
// page renderings. A glyph without ink (a space) fails.
PTK_API uint8_t PTK_GetCharBitmap(PTK_HDOC hDoc, const PTK_RunDesc* pDesc,
                                  const PTK_CharRecord* pChar, BITMAPINFOHEADER** ppHeader,
                                  uint8_t** ppBits);
PTK_API void PTK_FreeCharBitmap(BITMAPINFOHEADER* pHeader, uint8_t* pBits);
PTK_API void PTK_SetSmoothTag(PTK_HDOC hDoc, int32_t nTag);
