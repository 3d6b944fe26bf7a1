// Analysis level 4: pictures and their captions. Short text blocks are offered to the picture
// they fit best; each picture then keeps the candidates of one side as its caption and gives
// the others back to the page's text list.
#pragma once

#include <cstdint>

#include "blocks/blocklist.h"

class CTextBlock;
class CPicBlock;

// Sides of a text block relative to a picture.
constexpr int CAPTION_ABOVE = 0;
constexpr int CAPTION_LEFT = 1;
constexpr int CAPTION_RIGHT = 2;
constexpr int CAPTION_BELOW = 3;

// Where a caption candidate stands: its side, its distance from the picture's edge on that
// side (from the candidate's centre) and its overlap ratio with the picture along that edge.
struct CaptionPlace {
  double dDistance = 0;
  double dRatio = 0;
  int nSide = 0;
};

// Whether text block p can be a caption of picture s, and where (place is written only when
// it can).
bool CaptionSide(const CTextBlock* p, const CPicBlock* s, CaptionPlace& place);

// The level-4 stage over the page's text list and pictures. 1 when there is nothing to do (no
// text blocks or no pictures), else 0.
int AttachCaptionsImpl(CTextBlockArray& page, CPicBlockArray& pictures);

// Appends each picture's caption to list, in picture order, passing over a caption of level 1
// or more without children (it holds no text). With TBM_DETACH in nFlags the appended
// captions are also taken from their pictures, and list's owner owns them.
void CollectCaptions(CPicBlockArray& pictures, CTextBlockArray& list, uint32_t nFlags);
