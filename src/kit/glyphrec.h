// The character-recognition library as the system calls it: its result record, its page object
// and its one entry point, CreateRecogPageInstance. The library lives in libglyphrec.so, which
// the component loads at run time when it is present; this header only declares what the
// system calls. Glyph recognition (src/glyphs) drives it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "velluma/unknwn.h"

// One candidate character of a recognition result (16 bytes).
struct St_RecogCandidate {
  uint16_t wChar;   // candidate character (UTF-16)
  uint16_t wScore;  // its score
  uint8_t reserved[12];
};
static_assert(sizeof(St_RecogCandidate) == 16);

// One recognition result per cell of the glyph sheet (280 bytes), filled by the library.
// Before the library fills it, a record is zero except bShown, which is 255.
struct St_RecogResult {
  uint16_t wChar;      // 0: recognised character (UTF-16)
  uint16_t wFlags;     // 2: bit 0 set by the library; bit 1 set when a user changed wChar
  int32_t nFontClass;  // 4: font class of the glyph, 0 to 69
  uint8_t reserved1[10];
  int16_t nCandidates;               // 18: number of candidates
  St_RecogCandidate candidates[16];  // 20
  uint8_t bShown;  // 276: value shown after the character in the review; 255 until set
  uint8_t reserved2[3];
};
static_assert(sizeof(St_RecogResult) == 280);
static_assert(offsetof(St_RecogResult, nCandidates) == 18);
static_assert(offsetof(St_RecogResult, candidates) == 20);
static_assert(offsetof(St_RecogResult, bShown) == 276);

// Result flags.
constexpr uint16_t RRF_MARKED = 0x1;   // set by the library; shown highlighted in the review
constexpr uint16_t RRF_CHANGED = 0x2;  // the user changed the character

// The library's reference-counted page object, by position in its method table.
struct IRecogPage : public IUnknown {
  // 3: recognises the glyph sheet, a packed device-independent bitmap in global memory.
  //    nReserved is 0 and pOptions points to two int32 values {0, 5}. Negative or exactly 1:
  //    no result.
  virtual HRESULT STDMETHODCALLTYPE RecognisePage(int32_t nReserved, const int32_t* pOptions,
                                                  HGLOBAL hDib) = 0;
  // 4: number of result records.
  virtual HRESULT STDMETHODCALLTYPE GetResultCount(int32_t* pnCount) = 0;
  // 5, 6: not called by the system.
  virtual HRESULT STDMETHODCALLTYPE Reserved5() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reserved6() = 0;
  // 7: fills pResults[0 .. *pnCount - 1] in cell order.
  virtual HRESULT STDMETHODCALLTYPE GetResults(St_RecogResult* pResults, int32_t* pnCount) = 0;
};

// The entry point: a new page object with one reference in *ppPage; negative on failure.
// The library is loaded at run time, so the system reaches it through this pointer type and
// the exported name.
typedef HRESULT (*PFN_CreateRecogPageInstance)(IRecogPage** ppPage);
constexpr const char* kCreateRecogPageInstanceName = "CreateRecogPageInstance";
constexpr const char* kGlyphRecLibraryName = "libglyphrec.so";

extern "C" HRESULT CreateRecogPageInstance(IRecogPage** ppPage);
