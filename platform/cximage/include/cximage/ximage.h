// CxImage: the image class that pictures, page renderings, glyph sheets and the contrast view
// keep their pixels in.
//
// An image is a packed device-independent bitmap (40-byte BITMAPINFOHEADER, colour table for
// 8 bits per pixel or less, bottom-up rows padded to 4 bytes) of 1, 4, 8 (palettised), 24 (BGR)
// or 32 (BGRX) bits per pixel, plus an optional separate 8-bit alpha channel (one byte per pixel,
// bottom-up rows without padding; 255 is opaque).
//
// Coordinates: pixel positions (GetPixel*, SetPixel*, DrawLine, MixFrom, GetBits) count rows
// bottom-up, y = 0 being the bottom row, as the bitmap stores them. Crop takes a rectangle in
// top-down coordinates, as page and window rectangles are.
//
// Every operation on an image that holds no pixels (IsValid() false) fails with false, null or
// 0 and changes nothing; so do operations given null pointers or out-of-range arguments, except
// Create and CreateFromArray, which leave the image empty when they fail.
// Objects are not thread-safe; distinct objects may be used on distinct threads.
#pragma once

#include <velluma/wintypes.h>

#include <string_view>
#include <vector>

// Format codes of FindType and Save.
enum CxImageType : DWORD {
  CXIMAGE_FORMAT_UNKNOWN = 0,
  CXIMAGE_FORMAT_BMP = 1,
  CXIMAGE_FORMAT_GIF = 2,
  CXIMAGE_FORMAT_JPG = 3,
  CXIMAGE_FORMAT_PNG = 4,
  CXIMAGE_FORMAT_TIF = 6,
};

class CxImage {
 public:
  // Largest packed bitmap an image may hold, in bytes (header, colour table and rows).
  static constexpr size_t kMaxDibBytes = size_t{1} << 30;

  // An empty image (IsValid() false) of the given format code.
  explicit CxImage(DWORD imagetype = 0);
  // A copy of src. copypixels false: same size, depth and palette, pixel bits zero.
  // copyalpha false: no alpha channel. Selections are not kept, so copyselection has no effect.
  CxImage(const CxImage& src, bool copypixels = true, bool copyselection = true,
          bool copyalpha = true);
  CxImage(CxImage&& src) noexcept = default;
  CxImage& operator=(const CxImage& src);
  CxImage& operator=(CxImage&& src) noexcept = default;
  ~CxImage();

  // Frees the pixels and the alpha channel; the image becomes empty. Always true.
  bool Destroy();

  // --- creation ---

  // A blank image: all pixel bits zero, grey palette for 8 bits or less, no alpha channel, no
  // transparent colour. bpp must be 1, 4, 8, 24 or 32; width and height at least 1 and the packed
  // bitmap no larger than kMaxDibBytes. Returns the bits (the bottom row) or null on failure, in
  // which case the image is left empty.
  void* Create(DWORD width, DWORD height, DWORD bpp, DWORD imagetype = 0);

  // Creates the image (as Create) and copies `height` rows of `bytesPerLine` bytes each from
  // `bits`; bytesPerLine must hold at least (width * bpp + 7) / 8 bytes and may hold more (only
  // the bytes of the pixels are taken; row padding stays zero).
  // flip false: input rows are bottom-up like a bitmap (input row 0 becomes the bottom row).
  // flip true: input rows are top-down (input row 0 becomes the top row).
  // Either way the image comes out upright. False on bad arguments (image left empty).
  bool CreateFromArray(const BYTE* bits, DWORD width, DWORD height, DWORD bpp, DWORD bytesPerLine,
                       bool flip);

  // Sets every byte of the pixel rows (padding included) to value. The alpha channel stays.
  void Clear(BYTE value = 0);

  // --- description ---

  bool IsValid() const { return !m_dib.empty(); }
  DWORD GetWidth() const { return m_width; }
  DWORD GetHeight() const { return m_height; }
  DWORD GetBpp() const { return m_bpp; }
  // Bytes per stored row (padded to 4 bytes).
  DWORD GetEffWidth() const { return m_stride; }
  DWORD GetType() const { return m_type; }
  // Start of row `row` (bottom-up); null when the row is out of range or the image empty.
  BYTE* GetBits(DWORD row = 0);
  const BYTE* GetBits(DWORD row = 0) const;

  // --- palette (8 bits per pixel or less) ---

  // Number of palette entries: 2, 16 or 256; 0 for 24 and 32-bit images.
  DWORD GetNumColors() const;
  // The palette inside the packed bitmap, or null without one.
  RGBQUAD* GetPalette() const;
  // Copies min(count, GetNumColors()) entries; entries beyond count stay. False without a
  // palette or with a null table.
  bool SetPalette(const RGBQUAD* pal, DWORD count = 256);
  // A linear grey ramp (black at index 0, white at the last index). False without a palette.
  bool SetGrayPalette();
  // Entry idx, or all zero when out of range.
  RGBQUAD GetPaletteColor(BYTE idx) const;
  // Whether every palette entry has red = green = blue.
  bool IsGrayScale() const;
  // Index of the palette entry closest to c (squared RGB distance; ties to the lower index).
  // 0 without a palette.
  BYTE GetNearestIndex(RGBQUAD c) const;

  // --- pixels (bottom-up coordinates) ---

  bool IsInside(long x, long y) const;
  // Colour at (x, y); rgbReserved carries the alpha value (255 without an alpha channel).
  // All zero outside the image.
  RGBQUAD GetPixelColor(long x, long y) const;
  // Palette index at (x, y) for 8 bits or less; 0 otherwise or outside.
  BYTE GetPixelIndex(long x, long y) const;
  // Sets (x, y) to c (nearest palette index on palettised images); with setAlpha and an alpha
  // channel, the alpha becomes c.rgbReserved. Ignored outside the image.
  void SetPixelColor(long x, long y, RGBQUAD c, bool setAlpha = false);
  void SetPixelIndex(long x, long y, BYTE idx);

  // --- transparency and alpha ---

  // Pixels of this colour (red, green and blue compared) are not copied by MixFrom, and it is
  // the background of AlphaStrip.
  void SetTransColor(RGBQUAD rgb);
  // Palettised images: pixels of index idx are transparent. A negative index removes the
  // transparent colour. Ignored when idx is not a palette index.
  void SetTransIndex(long idx);
  long GetTransIndex() const { return m_transIndex; }
  // The transparent colour (the palette entry for an index); all zero when none is set.
  RGBQUAD GetTransColor() const;
  bool IsTransparent() const { return m_transSet; }

  bool AlphaIsValid() const { return !m_alpha.empty(); }
  // Creates the alpha channel if needed and sets it to level everywhere.
  bool AlphaSet(BYTE level);
  // Alpha from a mask of the same size: each pixel's alpha becomes the grey level (luminance)
  // of the mask's pixel. False when the mask is empty or its size differs.
  bool AlphaSet(const CxImage& mask);
  void AlphaDelete();
  // Alpha of (x, y); 255 without an alpha channel, 0 outside the image.
  BYTE AlphaGet(long x, long y) const;
  // Address of the alpha value of (x, y) (rows of GetWidth() bytes, bottom-up); null without
  // an alpha channel or outside the image.
  BYTE* AlphaGetPointer(long x = 0, long y = 0);
  const BYTE* AlphaGetPointer(long x = 0, long y = 0) const;
  // With an alpha channel: blends every pixel against the transparent colour (white when none
  // is set), image * alpha + background * (255 - alpha), makes the image 24-bit and drops the
  // channel. Without one, nothing changes. False only for an empty image or lack of memory.
  bool AlphaStrip();

  // --- geometry ---

  // Resizes to newx x newy. mode 0: nearest pixel (Leptonica's sampling: output pixel j takes
  // source pixel round(j * old / new), counted from the top-left), depth and palette kept.
  // Any other mode: area mapping for reductions, linear interpolation otherwise; 1-bit images
  // are still sampled (kept 1-bit), other palettised images become 8-bit grey (grey palette) or
  // 24-bit. The alpha channel is resized alike. dst null: in place; otherwise this image is
  // unchanged. False for sizes below 1 or beyond kMaxDibBytes / 4 pixels.
  bool Resample(long newx, long newy, int mode = 1, CxImage* dst = nullptr);

  // Vertical reversal (top row becomes the bottom row); the alpha channel with it when
  // flipAlpha. Selections are not kept, so flipSelection has no effect.
  bool Flip(bool flipSelection = false, bool flipAlpha = true);
  // Horizontal reversal; the alpha channel with it when mirrorAlpha.
  bool Mirror(bool mirrorSelection = false, bool mirrorAlpha = true);

  // Rotates counter-clockwise as the image is seen, by angle degrees (negative: clockwise),
  // enlarging the canvas to hold the whole rotated image; uncovered pixels are white (alpha 0).
  // Multiples of 90 degrees are exact and keep depth and palette. Other angles: 1-bit images
  // are sampled (kept 1-bit); other depths are interpolated, palettised ones becoming 8-bit grey
  // (grey palette) or 24-bit. dst null: in place.
  bool Rotate(float angle, CxImage* dst = nullptr);

  // Cuts out rect (top-down coordinates; left and top inclusive, right and bottom exclusive),
  // clipped to the image. Keeps depth, palette, alpha and transparent colour. False when the
  // clipped rectangle is empty. dst null: in place.
  bool Crop(const RECT& rect, CxImage* dst = nullptr);
  bool Crop(long left, long top, long right, long bottom, CxImage* dst = nullptr);

  // Raises the depth: 1 -> 4 or 8 (palette kept), 4 -> 8, and any depth -> 24 or 32 (colours
  // through the palette; the fourth byte of 32-bit pixels is 0). The same depth: true, nothing
  // done. A lower or unsupported depth: false.
  bool IncreaseBpp(DWORD bpp);

  // --- drawing ---

  // Copies src's pixels into this image, src's bottom-left pixel at (x, y) (bottom-up), clipped
  // at the edges; pixels of src's transparent colour are skipped. Colours go through the
  // palettes (the nearest index on a palettised target; indices are copied unchanged when both
  // palettes are equal). Where this image has an alpha channel, copied pixels take src's alpha
  // (255 when src has none). False when either image is empty.
  bool MixFrom(const CxImage& src, long x, long y);

  // A straight line from (startX, startY) to (endX, endY) inclusive, bottom-up, clipped. On
  // palettised images the nearest palette index is drawn. setAlpha: see SetPixelColor.
  void DrawLine(int startX, int endX, int startY, int endY, RGBQUAD color, bool setAlpha = false);

  // --- bitmap hand-over ---

  // The packed bitmap the image keeps (owned by the image; valid until the image changes) and
  // its size in bytes. Null and 0 for an empty image.
  void* GetDIB() const;
  DWORD GetSize() const;
  // A new GMEM_MOVEABLE global block holding a copy of the packed bitmap; the caller frees it
  // with GlobalFree. Null for an empty image or when the block cannot be allocated.
  HGLOBAL CopyToHandle() const;

  // --- files ---

  // Quality 1 to 100 for JPEG output (0 counts as 1, more than 100 as 100). Default 90.
  void SetJpegQuality(BYTE q);
  BYTE GetJpegQuality() const { return m_jpegQuality; }

  // Writes the image to fileName (UTF-16; converted to UTF-8 for the file system).
  // CXIMAGE_FORMAT_JPG: baseline JPEG; an 8-bit image with a grey palette gives a greyscale
  // JPEG, every other image an RGB one (32-bit: the fourth byte is ignored; the alpha channel is
  // never written). CXIMAGE_FORMAT_BMP: a bitmap file holding the packed bitmap.
  // Any other code, an empty image, a null or empty name or a write failure: false (a partly
  // written file is removed).
  bool Save(const char16_t* fileName, DWORD imagetype);

  // The format code for a file name's extension (case-insensitive): 1 bmp; 2 gif; 3 jpg, jpeg,
  // jpe, jfif; 4 png; 6 tif, tiff; 0 for anything else, no extension or a null name.
  static DWORD FindType(std::u16string_view fileName);
  static DWORD FindType(const char16_t* fileName);

 private:
  BYTE* PaletteBytes() const;
  BYTE* RowPtr(DWORD row) const;
  BYTE* AlphaRow(DWORD row) { return m_alpha.data() + size_t{row} * m_width; }
  const BYTE* AlphaRow(DWORD row) const { return m_alpha.data() + size_t{row} * m_width; }
  bool IsPixelTransparent(const BYTE* row, DWORD x) const;
  void CopyAttributesFrom(const CxImage& src);

  std::vector<BYTE> m_dib;    // header, colour table, rows
  std::vector<BYTE> m_alpha;  // width * height, bottom-up; empty without a channel
  DWORD m_width = 0;
  DWORD m_height = 0;
  DWORD m_bpp = 0;
  DWORD m_stride = 0;
  DWORD m_type = 0;
  BYTE m_jpegQuality = 90;
  bool m_transSet = false;
  long m_transIndex = -1;
  RGBQUAD m_transColor{0, 0, 0, 0};
};
