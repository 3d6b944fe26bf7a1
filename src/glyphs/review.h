// The post-edit review apart from any toolkit: which glyphs are listed and in which order, the
// dialog's status texts, the cutting of glyph images from the sheet, and the session that the
// review window (the plug-in libvelluma-review.so) works through. PostEdit (src/layout/stages.h)
// drives it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "blocks/blocklist.h"
#include "blocks/textblock.h"
#include "engine/recogstate.h"
#include "glyphs/contrastview.h"
#include "glyphs/reviewapi.h"

// Number of font classes; a class outside 0 to 69 is shown as class 0.
constexpr int kFontClassCount = 70;
// Name of font class c (entry 0 for a class outside the table).
const char16_t* FontClassName(int c);

// The review list of the runs (level-0 blocks) of runs: each cell of the glyph map at its first
// occurrence, listed when its run's text differs from the one-character text of the character
// record's UTF-16 value; sorted by the shown value (descending), marked entries first, then
// by character. Cells without a result record are left out.
std::vector<St_ContrastInfo> BuildReviewList(const CTextBlockArray& runs, CGlyphRecogState& state);

// The dialog's texts for the selected entry.
std::u16string CountsText(const std::vector<St_ContrastInfo>& list);
std::u16string IndexText(int i);
std::u16string ResultText(const St_RecogResult& r);
std::u16string CandidatesText(const St_RecogResult& r);
// The Enter confirmation.
extern const char16_t kConfirmText[];

// Copies the 64 x 64 square of cell nCell of the 1-bit glyph sheet into pixels (0x00RRGGBB,
// rows top-down, cells 16 to a row counted from the top). Pixels beyond the sheet are white.
void CutCell(const CxImage& sheet, int nCell, uint32_t* pixels);

// One review: the list, the contrast view over it and the C interface handed to the window.
class CReviewSession {
 public:
  CReviewSession(std::vector<St_ContrastInfo> list, const CxImage* pSheet);
  CReviewSession(const CReviewSession&) = delete;
  CReviewSession& operator=(const CReviewSession&) = delete;

  CPicContrastView& View() { return m_view; }
  std::vector<St_ContrastInfo>& List() { return m_list; }
  // The text of a VRT_* item for the current selection.
  std::u16string Text(int which) const;
  // The interface for the window; valid while the session lives.
  const VReviewHost* Host() const { return &m_host; }

 private:
  std::vector<St_ContrastInfo> m_list;
  CPicContrastView m_view;
  VReviewHost m_host;
};

// Shows a review and returns when it is closed: VREVIEW_SHOWN, or VREVIEW_NO_DISPLAY when no
// window could be shown (reason says why). The default loads the plug-in.
using ReviewRunner = std::function<int(CReviewSession& session, std::string& reason)>;
// Replaces the runner (an empty function restores the plug-in); returns the previous one.
ReviewRunner SetReviewRunner(ReviewRunner runner);
