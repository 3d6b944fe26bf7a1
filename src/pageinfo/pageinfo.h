// CPageInfo: the page information object of an analysis engine, seen by clients as IPageInfo.
// It describes the loaded page (index, size, source, the name tables its text blocks index
// into, the body font size), owns the blocks that page-information recognition keeps (page
// identifier, page name, date) and holds the common configuration's expression lists.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "blocks/blocklist.h"
#include "velluma/velluma.h"

class CTextBlock;

// The expression lists of the common configuration, by index.
enum CommonConfigList : int {
  CCL_FRONT_PAGE = 0,         // FrontPage (loaded, read by no step)
  CCL_PAGE_COUNT = 1,         // PageCount
  CCL_ISSUE_DATE = 2,         // IssueDate
  CCL_IS_PAGE_ID_BLOCK = 3,   // IsPageIdBlock
  CCL_PAGE_ID = 4,            // PageId
  CCL_IS_DATE_BLOCK = 5,      // IsDateBlock
  CCL_WEEKDAY_EXP = 6,        // DateStyle/WeekdayExp
  CCL_CHINESE_YEAR_EXP = 7,   // DateStyle/ChineseYearExp
  CCL_NON_PAGE_ID_BLOCK = 8,  // NonPageIdBlock
  CCL_COUNT = 9
};

// The nine ordered lists of regular expressions (one expression per string).
struct St_CommonConfig {
  std::vector<std::u16string> m_lists[CCL_COUNT];
};

class CPageInfo : public IPageInfo {
 public:
  // All numbers 0, strings and tables empty, no recognised block, empty configuration lists.
  CPageInfo();
  CPageInfo(const CPageInfo&) = delete;
  CPageInfo& operator=(const CPageInfo&) = delete;
  // Reset(false), then the configuration lists.
  ~CPageInfo() override;

  // ILabelPropBase
  HRESULT GetLabelProp(long* plProp) override;
  HRESULT SetLabelProp(long lKey, long lValue) override;
  // IPageInfo
  int GetPageIndex() override;
  HRESULT GetPageSource(int* pIndex, BSTR* pPath) override;
  HRESULT GetPageId(BSTR* pbstr) override;
  HRESULT GetPageName(BSTR* pbstr) override;
  HRESULT GetReservedText(BSTR* pbstr) override;
  HRESULT GetIssueDate(BSTR* pbstr) override;
  double GetPageWidth() override;
  double GetPageHeight() override;
  double GetImageWidth() override;
  double GetImageHeight() override;
  HRESULT GetPageCount(BSTR* pbstr) override;

  // Drops what belongs to one page: the page index unless bKeepIndex, the recognised blocks
  // (deleted with their trees), the three name tables, the page source and the page-count
  // text. Page and image size, document path, page name, body font size and the
  // configuration stay.
  void Reset(bool bKeepIndex);

  // Appends the recognised blocks (page identifier, page name, date, in that order) whose type
  // answers to nMask (text types to bits 0-3, 0xFE and 0xFF to bits 4-7) to list; with bit 31
  // of the mask they are also detached, so that list's owner owns them. Returns whether list
  // is non-empty afterwards.
  bool CollectRecognisedBlocks(CTextBlockArray& list, uint32_t nMask);

  // ---- Recognition and configuration -------------------------------------------------------
  // Extension point: the common configuration reader and the page-information recognition are
  // defined in their own sources of this folder, with the helpers they need declared here.

  // Reads Config/CommonConfig.xml under m_strConfigDir into m_pConfig (once per object).
  bool LoadCommonConfig();
  // Recognises date, page identifier, page name and page count among the blocks of list,
  // taking the recognised blocks out of it. Always succeeds.
  HRESULT RecognisePageInfo(CTextBlockArray& list, BOOL bBuiltIn, BOOL bFull);
  // The page count read from m_strPageCount; 0 when there is none.
  int ParsePageCount();

  // Searches text for the first match of a Perl-syntax expression (default options); start and
  // end receive the UTF-16 index of the match and the index just past it. An expression that
  // does not compile, or whose match exceeds the backtracking limits, does not match.
  static bool RegexSearch(std::u16string_view text, std::u16string_view expression, int& start,
                          int& end);
  // Reads OCR look-alikes as digits in place: C, D, O -> 0, l -> 1, B -> 8, and the dashes
  // U+FF5E and U+2014 -> 一.
  static void NormaliseDigits(std::u16string& text);
  // The value of a short numeral written with Chinese digits, 十 and decimal digits.
  static int ParseChineseNumber(std::u16string text);
  // Sets m_strPageCount from the first (configured) or last (built-in) page-count match.
  void FindPageCountText(CTextBlockArray& list, BOOL bBuiltIn);
  // Whether the block's text is a date; start and end receive the span that decided it.
  bool IsDateText(const CTextBlock* pBlock, int& start, int& end, BOOL bBuiltIn);
  // Takes the date block out of list (candidates not kept go back to its end); null if none.
  CTextBlock* FindDateBlock(CTextBlockArray& list, BOOL bBuiltIn);
  // Moves the children of pBlock that carry the text span [start, end) into a new block, which
  // is returned; pBlock is rebuilt from what is left. Null (pBlock unchanged apart from the
  // order of its children) when the span cannot be split off.
  static CTextBlock* SplitOffSpan(CTextBlock* pBlock, int start, int end);
  // Whether the block, by text and position, carries the page identifier.
  bool CheckPageIdBlock(const CTextBlock* pBlock, BOOL bBuiltIn);
  // Takes the page-identifier block out of list, or makes the synthetic front-page block when
  // the page shows at least two front-page indicators; null otherwise.
  CTextBlock* FindPageIdBlock(CTextBlockArray& list, BOOL bBuiltIn);
  // Takes the page-name block out of list; null if none.
  CTextBlock* ChoosePageNameBlock(CTextBlockArray& list);

  // ---- Fields ------------------------------------------------------------------------------
  double m_dPageWidth;
  double m_dPageHeight;  // base of the y conversion of kit ordinates
  double m_dImageWidth;  // pixel size of the last saved page image
  double m_dImageHeight;
  int32_t m_nPageIndex;          // from 1; 0 = no page
  CTextBlock* m_pPageIdBlock;    // owned; page identifier or synthetic front-page block
  CTextBlock* m_pPageNameBlock;  // owned
  CTextBlock* m_pDateBlock;      // owned
  std::u16string m_strDocPath;
  std::u16string m_strPageSource;
  std::u16string m_strPageCount;
  std::u16string m_strPageName;
  double m_dBodyFontSize;
  std::vector<std::u16string> m_fontNames;      // indexed by CTextBlock::m_nFontIndex
  std::vector<std::u16string> m_fontKeys;       // indexed by CTextBlock::m_nFontKeyIndex
  std::vector<std::u16string> m_encodingNames;  // indexed by CTextBlock::m_nEncodingIndex
  St_CommonConfig* m_pConfig;                   // owned
  std::u16string m_strConfigDir;
};
