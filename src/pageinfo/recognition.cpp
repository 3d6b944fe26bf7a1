// Page-information recognition: page-count text, date block, page-identifier block (or the
// synthetic front-page block) and page-name block, found among a page's candidate blocks with
// built-in expressions or with the common configuration's lists.
#include <string>
#include <string_view>
#include <vector>

#include "blocks/geometry.h"
#include "blocks/textblock.h"
#include "layout/formation.h"
#include "layout/orderings.h"
#include "pageinfo/pageinfo.h"
#include "vwin32/format.h"
#include "vwin32/strings.h"

namespace {

// The letters C, D, O, B and l stand in for digits that OCR or broken fonts misread.
constexpr char16_t kYear[] = uR"([\dCDOBl一～—二三四五六七八九]{1,4})";
constexpr char16_t kMonth[] = uR"([\dCDOBl一～—二三四五六七八九十]{1,2})";
constexpr char16_t kDay[] = uR"([\dCDOBl一～—二三四五六七八九十]{1,2})";
constexpr char16_t kWeekday[] = uR"(星期[一～—二三四五六日天])";
constexpr char16_t kPageCount[] = uR"((今日|本期)\s*(.报)?\s*(.叠)?\s*.{1,3}\s*版)";
constexpr char16_t kCountWithUnit[] = uR"(\s*[0-9０-９一二三四五六七八九十]{1,3}\s*版)";
constexpr char16_t kCountDigits[] = uR"(\s*[0-9０-９一二三四五六七八九十]{1,3})";
constexpr char16_t kCrossReference[] = uR"([承|上接|下转|见]\s*.{1,4}\s*版)";
constexpr char16_t kPageOrdinal[] = uR"(第[\dCDOBl]{1,3}版)";
constexpr char16_t kPageCode[] = uR"([A-Z]?[\dCDOBl]{1,3}([-一][\dCDOBl]{1,3})?\s*版?\s*$)";
constexpr char16_t kIssueNumber[] = uR"(第\s*[\dCDOBl]{1,5}\s*[期号])";
constexpr char16_t kLunarDate[] =
    uR"((农历)?\s*[甲乙丙丁戊己庚辛壬癸][子丑寅卯辰巳午未申酉戌亥]年\s*.{1,3}月\s*[初十廿三二]*[一—～二三四五六七八九十]{1,2})";

// The date expressions, filled in once from the parts above.
struct DateExpressions {
  std::u16string full, dotted, yearMonth, weekday, withWeekday, yearMonthOnly;
  DateExpressions()
      : full(vwin32::Format(uR"(%s年%s月(%s)?日(.{0,2}(?=星期))?(%s)?)", kYear, kMonth, kDay,
                            kWeekday)),
        dotted(vwin32::Format(uR"(%s\.%s\.(%s)?(.{0,2}(?=星期))?(%s)?)", kYear, kMonth, kDay,
                              kWeekday)),
        yearMonth(vwin32::Format(uR"(%s[年|\.]%s[月|\.](.{0,8}(?=星期))?(%s)?)", kYear, kMonth,
                                 kWeekday)),
        weekday(vwin32::Format(uR"(日?.?%s)", kWeekday)),
        withWeekday(
            vwin32::Format(uR"(%s[年|\.]%s[月|\.](.{0,8}(?=星期))?%s)", kYear, kMonth, kWeekday)),
        yearMonthOnly(vwin32::Format(uR"(%s[年|\.]%s[月|\.])", kYear, kMonth)) {}
};

const DateExpressions& Dates() {
  static const DateExpressions dates;
  return dates;
}

bool Matches(std::u16string_view text, std::u16string_view expression) {
  int start = 0;
  int end = 0;
  return CPageInfo::RegexSearch(text, expression, start, end);
}

bool MatchesAny(std::u16string_view text, const std::vector<std::u16string>& expressions) {
  for (const std::u16string& expression : expressions) {
    if (Matches(text, expression)) return true;
  }
  return false;
}

void RemoveAll(std::u16string& text, std::u16string_view what) {
  for (size_t pos = text.find(what); pos != std::u16string::npos; pos = text.find(what, pos)) {
    text.erase(pos, what.size());
  }
}

int Direction(const CTextBlock* block) {
  return static_cast<int>((block->m_nFlags & TBF_DIRECTION_MASK) >> 12);
}

// Whether block lines up with other: true when other is absent, else when their horizontal or
// vertical extents overlap by at least 0.8 of the shorter one.
bool AlignedWith(const CTextBlock* block, const CTextBlock* other) {
  if (other == nullptr) return true;
  double ratio = 0;
  OverlapRatio(block->m_dLeft, block->m_dRight, other->m_dLeft, other->m_dRight, &ratio);
  if (ratio >= 0.8) return true;
  OverlapRatio(block->m_dTop, block->m_dBottom, other->m_dTop, other->m_dBottom, &ratio);
  return ratio >= 0.8;
}

// The block FindPageIdBlock makes for a front page: it carries no page content.
bool IsSyntheticFrontPage(const CTextBlock* block) {
  return block->GetType() == TBT_PAGE_HEADER && block->m_children.IsEmpty() &&
         block->m_strText == u"头版" && block->m_dLeft == 0 && block->m_dTop == 0 &&
         block->m_dRight == 10 && block->m_dBottom == 10;
}

// Stores a newly found block in a recognised-block field. Nothing found keeps the field. A
// block found again (the stages rerun when a page is analysed further) replaces the old one:
// an old page block goes back to the end of list, an old synthetic front-page block is deleted.
// A new synthetic block never replaces a held block: it would add nothing or hide a real
// page identifier, so it is deleted instead.
void Store(CTextBlock*& field, CTextBlock* found, CTextBlockArray& list) {
  if (found == nullptr || found == field) return;
  if (field != nullptr && IsSyntheticFrontPage(found)) {
    delete found;
    return;
  }
  if (field != nullptr) {
    if (IsSyntheticFrontPage(field)) {
      delete field;
    } else {
      list.Add(field);
    }
  }
  field = found;
}

}  // namespace

HRESULT CPageInfo::RecognisePageInfo(CTextBlockArray& list, BOOL bBuiltIn, BOOL bFull) {
  LoadCommonConfig();
  if (bFull) {
    Store(m_pDateBlock, FindDateBlock(list, bBuiltIn), list);
    FindPageCountText(list, bBuiltIn);
    Store(m_pPageIdBlock, FindPageIdBlock(list, bBuiltIn), list);
    if (m_pDateBlock != nullptr || m_pPageIdBlock != nullptr) {
      Store(m_pPageNameBlock, ChoosePageNameBlock(list), list);
    }
  } else {
    FindPageCountText(list, bBuiltIn);
    if (!m_strPageCount.empty()) Store(m_pDateBlock, FindDateBlock(list, bBuiltIn), list);
  }
  return S_OK;
}

void CPageInfo::NormaliseDigits(std::u16string& text) {
  for (char16_t& c : text) {
    switch (c) {
      case u'C':
      case u'D':
      case u'O':
        c = u'0';
        break;
      case u'l':
        c = u'1';
        break;
      case u'B':
        c = u'8';
        break;
      case u'～':
      case u'—':
        c = u'一';
        break;
      default:
        break;
    }
  }
}

int CPageInfo::ParseChineseNumber(std::u16string text) {
  static constexpr char16_t kDigits[] = u"一二三四五六七八九";
  for (char16_t& c : text) {
    for (int i = 0; i < 9; ++i) {
      if (c == kDigits[i]) c = static_cast<char16_t>(u'1' + i);
    }
  }
  const size_t ten = text.find(u'十');
  if (ten != std::u16string::npos) {
    if (text.size() == 1) return 10;
    if (ten == 0) {
      for (char16_t& c : text) c = c == u'十' ? u'1' : c;
    } else if (ten == text.size() - 1) {
      text.back() = u'0';
    } else {
      RemoveAll(text, u"十");
    }
  }
  // Full-width digits count as digits: the count expressions accept them, so 今日１６版 reads 16.
  for (char16_t& c : text) {
    if (c >= u'０' && c <= u'９') c = static_cast<char16_t>(u'0' + (c - u'０'));
  }
  return vwin32::ToInt(text);
}

int CPageInfo::ParsePageCount() {
  if (m_strPageCount.empty()) return 0;
  std::u16string text;
  for (char16_t c : m_strPageCount) {
    if (c != u' ' && c != u'\t' && c != u'\u3000') text += c;
  }
  RemoveAll(text, u"\r\n");
  int start = 0;
  int end = 0;
  if (RegexSearch(text, kCountWithUnit, start, end)) {
    return ParseChineseNumber(text.substr(start, end - start - 1));
  }
  if (RegexSearch(text, kCountDigits, start, end)) {
    return ParseChineseNumber(text.substr(start, end - start));
  }
  return 0;
}

void CPageInfo::FindPageCountText(CTextBlockArray& list, BOOL bBuiltIn) {
  int start = 0;
  int end = 0;
  for (const CTextBlock* block : list) {
    const std::u16string& text = block->m_strText;
    if (bBuiltIn) {
      // Every block is searched: the last match decides.
      if (RegexSearch(text, kPageCount, start, end)) {
        m_strPageCount = text.substr(start, end - start);
        NormaliseDigits(m_strPageCount);
      }
      continue;
    }
    for (const std::u16string& expression : m_pConfig->m_lists[CCL_PAGE_COUNT]) {
      if (RegexSearch(text, expression, start, end)) {
        m_strPageCount = text.substr(start, end - start);
        NormaliseDigits(m_strPageCount);
        return;
      }
    }
  }
}

bool CPageInfo::IsDateText(const CTextBlock* pBlock, int& start, int& end, BOOL bBuiltIn) {
  if (pBlock->m_nLineCount > 4) return false;
  const std::u16string& text = pBlock->m_strText;
  if (bBuiltIn) {
    const DateExpressions& dates = Dates();
    for (const std::u16string* expression : {&dates.full, &dates.dotted, &dates.yearMonth}) {
      if (RegexSearch(text, *expression, start, end)) return true;
    }
    return text.size() < 6 && RegexSearch(text, dates.weekday, start, end);
  }
  for (const std::u16string& expression : m_pConfig->m_lists[CCL_IS_DATE_BLOCK]) {
    if (RegexSearch(text, expression, start, end)) return true;
  }
  const std::vector<std::u16string>& weekday = m_pConfig->m_lists[CCL_WEEKDAY_EXP];
  return text.size() < 6 && !weekday.empty() && RegexSearch(text, weekday.front(), start, end);
}

CTextBlock* CPageInfo::FindDateBlock(CTextBlockArray& list, BOOL bBuiltIn) {
  int start = 0;
  int end = 0;
  CTextBlockArray candidates;
  for (int i = 0; i < list.GetSize();) {
    if (IsDateText(list[i], start, end, bBuiltIn)) {
      candidates.Add(list[i]);
      list.RemoveAt(i);
    } else {
      ++i;
    }
  }
  if (candidates.IsEmpty()) return nullptr;

  CTextBlock* result = nullptr;
  if (candidates.GetSize() >= 2) {
    // A candidate passing the strong test is taken at once; candidates passing the weak test
    // are counted and the topmost (the earlier on equal tops) is chosen. With at most one
    // counted candidate the date is taken to be spread over all candidates, which are combined.
    // Configured mode has one test, any expression of the IssueDate list, used as the weak one.
    CTextBlock* choice = nullptr;
    int counted = 0;
    bool strong = false;
    for (CTextBlock* candidate : candidates) {
      const std::u16string& text = candidate->m_strText;
      if (bBuiltIn && Matches(text, Dates().withWeekday)) {
        choice = candidate;
        strong = true;
        break;
      }
      const bool weak = bBuiltIn ? Matches(text, Dates().yearMonthOnly)
                                 : MatchesAny(text, m_pConfig->m_lists[CCL_ISSUE_DATE]);
      if (!weak) continue;
      ++counted;
      if (choice == nullptr || candidate->m_dTop < choice->m_dTop) choice = candidate;
    }
    if (!strong && counted <= 1) {
      result = CombineBlocks(candidates, true);
    } else {
      for (CTextBlock* candidate : candidates) {
        if (candidate != choice) list.Add(candidate);
      }
      candidates.RemoveAll();
      candidates.Add(choice);
    }
  }
  bool bKeepSpanOnly = false;
  if (result == nullptr) {
    // One block: split the date off a longer grouped block, using the built-in span.
    result = candidates[0];
    if (IsDateText(result, start, end, TRUE) && result->m_strText.size() > 16 &&
        result->GetLevel() != 0) {
      if (CTextBlock* date = SplitOffSpan(result, start, end)) {
        list.Add(result);
        result = date;
      }
      // The split works on whole children: a date line that block formation joined with the
      // line below it (a lunar date) is one child, and goes with the date whole, or stops the
      // split. The date's text is what its expression matched.
      bKeepSpanOnly = true;
    }
  }
  RemoveAll(result->m_strText, u"\r\n");
  if (bKeepSpanOnly) {
    // The span is taken again on the text without line breaks, so that a weekday on the next
    // line stays with its date.
    if (IsDateText(result, start, end, TRUE) && start >= 0 && end > start &&
        static_cast<size_t>(end) <= result->m_strText.size()) {
      result->m_strText =
          result->m_strText.substr(static_cast<size_t>(start), static_cast<size_t>(end - start));
    }
  }
  NormaliseDigits(result->m_strText);
  return result;
}

CTextBlock* CPageInfo::SplitOffSpan(CTextBlock* pBlock, int start, int end) {
  CTextBlockArray& children = pBlock->m_children;
  const std::u16string& text = pBlock->m_strText;
  SortChildren(children, Direction(pBlock));

  // Position p follows the children through the block's text; a child whose text is not found
  // is taken to sit at p.
  size_t p = 0;
  const size_t spanStart = start < 0 ? 0 : static_cast<size_t>(start);
  const size_t spanEnd = end < 0 ? 0 : static_cast<size_t>(end);
  int i = 0;
  for (; i < children.GetSize() && p < spanStart; ++i) {
    const std::u16string& childText = children[i]->m_strText;
    const size_t found = text.find(childText, p);
    if (found != std::u16string::npos && found >= spanStart) break;
    p = (found == std::u16string::npos ? p : found) + childText.size();
  }
  CTextBlockArray moved;
  while (i < children.GetSize() && p < spanEnd) {
    CTextBlock* child = children[i];
    const size_t found = text.find(child->m_strText, p);
    if (found != std::u16string::npos && found >= spanEnd) break;
    moved.Add(child);
    children.RemoveAt(i);
    p = (found == std::u16string::npos ? p : found) + child->m_strText.size();
  }
  if (moved.IsEmpty() || children.IsEmpty()) {
    children.Append(moved);
    SortChildren(children, Direction(pBlock));
    return nullptr;
  }

  if (children.GetSize() == 1) {
    CTextBlock* child = children[0];
    children.Copy(child->m_children);
    pBlock->CopyAttributes(child);
    // A run names itself as its stream head and tail; the block takes its place.
    if (pBlock->m_pHead == child) pBlock->m_pHead = pBlock;
    if (pBlock->m_pTail == child) pBlock->m_pTail = pBlock;
    child->m_children.RemoveAll();
    delete child;
  } else {
    CTextBlock* attributes = CombineBlocks(children, true);
    pBlock->CopyAttributes(attributes);
    attributes->m_children.RemoveAll();
    delete attributes;
  }
  return CombineBlocks(moved, true);
}

bool CPageInfo::CheckPageIdBlock(const CTextBlock* pBlock, BOOL bBuiltIn) {
  const std::u16string& text = pBlock->m_strText;
  if (text.size() > 6 || pBlock->m_dTop > 150) return false;
  if (pBlock->m_dLeft > 150 && pBlock->m_dRight < m_dPageWidth - 150) return false;
  if (bBuiltIn) {
    if (Matches(text, kCrossReference)) return false;
    return Matches(text, kPageOrdinal) || Matches(text, kPageCode);
  }
  if (MatchesAny(text, m_pConfig->m_lists[CCL_NON_PAGE_ID_BLOCK])) return false;
  return MatchesAny(text, m_pConfig->m_lists[CCL_IS_PAGE_ID_BLOCK]);
}

CTextBlock* CPageInfo::FindPageIdBlock(CTextBlockArray& list, BOOL bBuiltIn) {
  // Front-page indicators: the page count, an issue number (A) and a lunar date (B).
  const bool hasCount = !m_strPageCount.empty();
  bool a = false;
  bool b = false;
  for (int i = 0; i < list.GetSize(); ++i) {
    CTextBlock* block = list[i];
    if (CheckPageIdBlock(block, bBuiltIn)) {
      list.RemoveAt(i);
      return block;
    }
    const std::u16string& text = block->m_strText;
    if (!a) {
      a = bBuiltIn ? Matches(text, kIssueNumber)
                   : MatchesAny(text, m_pConfig->m_lists[CCL_PAGE_ID]);
    }
    if (!b) {
      b = bBuiltIn ? Matches(text, kLunarDate)
                   : MatchesAny(text, m_pConfig->m_lists[CCL_CHINESE_YEAR_EXP]);
    }
  }
  if (int(hasCount) + int(a) + int(b) < 2) return nullptr;
  auto* front = new CTextBlock(this);
  front->m_strText = u"头版";
  front->m_dFontSize = 20.0;
  front->m_nFlags = TBT_PAGE_HEADER;
  front->m_dLeft = 0;
  front->m_dTop = 0;
  front->m_dRight = 10;
  front->m_dBottom = 10;
  return front;
}

CTextBlock* CPageInfo::ChoosePageNameBlock(CTextBlockArray& list) {
  int chosen = -1;
  for (int i = 0; i < list.GetSize(); ++i) {
    const CTextBlock* block = list[i];
    const size_t length = block->m_strText.size();
    if (block->m_nLineCount != 1 || !(block->m_dFontSize > 15) || length < 2 || length > 9) {
      continue;
    }
    if (!AlignedWith(block, m_pPageIdBlock) && !AlignedWith(block, m_pDateBlock)) continue;
    // Near the middle of the page only a title-like block high up qualifies.
    if (m_dPageWidth > 0) {
      const double centre = (block->m_dLeft + block->m_dRight) / (2 * m_dPageWidth);
      if (centre > 0.3 && centre < 0.7) {
        const int direction = Direction(block);
        const bool titleDirection =
            direction == 1 || direction == 2 || direction == 6 || direction == 7;
        if (!titleDirection || block->m_dTop > 130) continue;
      }
    }
    if (chosen < 0 || block->m_dTop < list[chosen]->m_dTop) chosen = i;
  }
  if (chosen < 0) return nullptr;
  CTextBlock* block = list[chosen];
  list.RemoveAt(chosen);
  return block;
}
