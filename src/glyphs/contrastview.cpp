#include "glyphs/contrastview.h"

#include <algorithm>

St_RecogResult* CPicContrastView::Result(int i) const {
  if (i < 0 || i >= Count()) return nullptr;
  return (*m_pList)[static_cast<size_t>(i)].pResult;
}

RECT CPicContrastView::EntryRect(int i) {
  const LONG x = (i % kColumns) * kPitchX + kMargin;
  const LONG y = (i / kColumns) * kPitchY + kMargin;
  return RECT{x, y, x + kEntryWidth, y + kEntryHeight};
}

int CPicContrastView::HitTest(int x, int y) const {
  if (x < 0 || y < 0) return -1;
  const int i = x / kPitchX + (y / kPitchY) * kColumns;
  if (i >= Count()) return -1;
  const RECT rc = EntryRect(i);
  if (x < rc.left || x >= rc.right || y < rc.top || y >= rc.bottom) return -1;
  return i;
}

CPicContrastView::Extent CPicContrastView::ScrollSize() const {
  return Extent{10, ((Count() + kColumns - 1) / kColumns) * kPitchY + 8};
}

void CPicContrastView::VisibleRange(int clipTop, int clipBottom, int& first, int& end) const {
  first = std::max(0, clipTop / kPitchY) * kColumns;
  end = std::min(Count(), ((clipBottom + kEntryHeight) / kPitchY) * kColumns + kColumns);
  if (end < first) end = first;
}

void CPicContrastView::SetView(int nClientHeight, int nScrollPos) {
  m_nClientHeight = std::max(0, nClientHeight);
  m_nScrollPos = std::max(0, nScrollPos);
}

bool CPicContrastView::SelectEntry(int i) {
  if (i < 0 || i >= Count()) return false;
  m_nSelected = i;
  const int t = (i / kColumns) * kPitchY;
  int pos = m_nScrollPos;
  if (t + kMargin < pos) {
    pos = t;
  } else if (m_nClientHeight + pos < t + kPitchY) {
    pos = t - m_nClientHeight + 32;
  }
  // A scroll view keeps its position within its range.
  const int maxPos = std::max(0, ScrollSize().cy - m_nClientHeight);
  m_nScrollPos = std::clamp(pos, 0, maxPos);
  return true;
}

EKeyAction CPicContrastView::KeyDown(EReviewKey key, bool bCtrl) {
  const int s = m_nSelected;
  const int n = Count();
  const int p = (m_nClientHeight / kPitchY) * kColumns;
  switch (key) {
    case EReviewKey::Left:
      SelectEntry(s - 1);
      return EKeyAction::Handled;
    case EReviewKey::Right:
      SelectEntry(s + 1);
      return EKeyAction::Handled;
    case EReviewKey::Up:
      SelectEntry(s - kColumns);
      return EKeyAction::Handled;
    case EReviewKey::Down:
      SelectEntry(std::min(s + kColumns, n - 1));
      return EKeyAction::Handled;
    case EReviewKey::PageUp:
      SelectEntry(std::max(s - p, 0));
      return EKeyAction::Handled;
    case EReviewKey::PageDown:
      SelectEntry(s + p >= n ? n - 1 : s + p);
      return EKeyAction::Handled;
    case EReviewKey::Home:
      SelectEntry(bCtrl ? 0 : (s / kColumns) * kColumns);
      return EKeyAction::Handled;
    case EReviewKey::End:
      SelectEntry(bCtrl ? n - 1 : std::min((s / kColumns) * kColumns + kColumns - 1, n - 1));
      return EKeyAction::Handled;
    case EReviewKey::Enter:
      return EKeyAction::Confirm;
    case EReviewKey::C:
      return bCtrl ? EKeyAction::Copy : EKeyAction::Pass;
    case EReviewKey::V:
      return bCtrl ? EKeyAction::Paste : EKeyAction::Pass;
    case EReviewKey::Other:
      break;
  }
  return EKeyAction::Pass;
}

bool CPicContrastView::Replace(char16_t ch) {
  St_RecogResult* r = Result(m_nSelected);
  if (r == nullptr) return false;
  r->wChar = ch;
  r->wFlags |= RRF_CHANGED;
  return true;
}

bool CPicContrastView::TypeChar(uint32_t code) {
  // One UTF-16 unit holds the character: codes beyond it are not taken.
  if (code < 32 || code > 0xFFFF) return false;
  return Replace(static_cast<char16_t>(code));
}

std::u16string CPicContrastView::CopyText() const {
  const St_RecogResult* r = Result(m_nSelected);
  return r != nullptr ? std::u16string(1, static_cast<char16_t>(r->wChar)) : std::u16string();
}

bool CPicContrastView::Paste(const char16_t* pszText) {
  if (pszText == nullptr || pszText[0] == 0) return false;
  return Replace(pszText[0]);
}
