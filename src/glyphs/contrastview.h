// The contrast view of the post-edit review, apart from any toolkit: a grid of review entries
// (recognised character beside its glyph image), ten to a row, with one selected entry. It
// knows the geometry (entry areas, hit test, scroll size, rows to draw), the selection and
// what each key and typed character does; the window that shows it draws and forwards events.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "kit/glyphrec.h"
#include "kit/ximage.h"
#include "velluma/wintypes.h"

// One review entry: a cell of the glyph sheet and its result record (borrowed from the
// engine's results).
struct St_ContrastInfo {
  int32_t nCell;
  St_RecogResult* pResult;
};

// Keys of the key table.
enum class EReviewKey { Other, Left, Right, Up, Down, PageUp, PageDown, Home, End, Enter, C, V };

// What the window does after a key.
enum class EKeyAction {
  Pass,     // not handled: normal processing
  Handled,  // consumed
  Confirm,  // ask the confirmation; OK lets the key through (the dialog closes), Cancel keeps it
  Copy,     // put CopyText() on the clipboard
  Paste     // hand the clipboard's text to Paste()
};

class CPicContrastView {
 public:
  static constexpr int kColumns = 10;
  static constexpr int kPitchX = 52;
  static constexpr int kPitchY = 28;
  static constexpr int kMargin = 4;
  static constexpr int kEntryWidth = 48;
  static constexpr int kEntryHeight = 24;

  CPicContrastView(std::vector<St_ContrastInfo>* pList, const CxImage* pSheet)
      : m_pList(pList), m_pSheet(pSheet) {}

  int Count() const { return m_pList != nullptr ? static_cast<int>(m_pList->size()) : 0; }
  int Selected() const { return m_nSelected; }
  // Entry i's result, or null outside the list.
  St_RecogResult* Result(int i) const;
  const CxImage* Sheet() const { return m_pSheet; }

  // The 48 x 24 area of entry i.
  static RECT EntryRect(int i);
  // The entry whose area holds (x, y), or -1.
  int HitTest(int x, int y) const;
  // Width 10 and the height of all rows with the margins.
  struct Extent {
    int cx;
    int cy;
  };
  Extent ScrollSize() const;
  // The entries of the rows that meet the clip area [clipTop, clipBottom): [first, end).
  void VisibleRange(int clipTop, int clipBottom, int& first, int& end) const;

  // The window's client height and vertical scroll position.
  void SetView(int nClientHeight, int nScrollPos);
  int ScrollPos() const { return m_nScrollPos; }

  // Selects entry i and scrolls its row into view; false (nothing changes) outside the list.
  bool SelectEntry(int i);
  // A key, with Ctrl held or not.
  EKeyAction KeyDown(EReviewKey key, bool bCtrl);
  // A typed character: 32 or more replaces the selected character and marks it changed. True
  // when it did.
  bool TypeChar(uint32_t code);
  // The selected entry's character (empty when there is no valid selection).
  std::u16string CopyText() const;
  // Clipboard text (null: the clipboard holds no text). Its first unit, when not zero,
  // replaces the selected character and marks it changed. True when it did.
  bool Paste(const char16_t* pszText);

 private:
  bool Replace(char16_t ch);

  int m_nSelected = 0;
  std::vector<St_ContrastInfo>* m_pList;  // borrowed
  const CxImage* m_pSheet;                // borrowed
  int m_nClientHeight = 0;
  int m_nScrollPos = 0;
};
