// The issue analysis: the configured path over the regions of the publication map and the
// general path through a full page engine.
#include "issueinfo/issueinstance.h"

#include <cmath>
#include <cstdint>

#include "layout/stages.h"
#include "vwin32/format.h"
#include "vwin32/strings.h"

namespace {

constexpr const char16_t* kFrontPageId = u"头版";
constexpr const char16_t* kNoPageCount = u"(无总版面数)";
constexpr const char16_t* kMisread = u"(识别有误)";
// The number of a page-count notice: up to three digits, full-width digits or Chinese numerals.
constexpr const char16_t* kCountNumber = u"[0-9０-９一二三四五六七八九十]{1,3}";
// A page wider than this is a spread of two pages.
constexpr double kSpreadWidth = 2000.0;

// Moves every block of from whose integer box meets rc to the end of to, in from's order.
void MoveTouching(CTextBlockArray& from, const RECT& rc, CTextBlockArray& to) {
  CTextBlockArray keep;
  for (int i = 0; i < from.GetSize(); ++i) {
    CTextBlock* pBlock = from[i];
    if (pBlock->IsInRect(rc, false))
      to.Add(pBlock);
    else
      keep.Add(pBlock);
  }
  from.RemoveAll();
  from.Append(keep);
}

bool Contains(const CTextBlockArray& list, const CTextBlock* pBlock) {
  for (int i = 0; i < list.GetSize(); ++i) {
    if (list[i] == pBlock) return true;
  }
  return false;
}

// A text of the page information object through its client interface: true when present.
bool ReadText(CPageInfo& info, HRESULT (CPageInfo::*get)(BSTR*), std::u16string& out) {
  BSTR bstr = nullptr;
  if (FAILED((info.*get)(&bstr))) return false;
  out = vwin32::FromBstr(bstr);
  SysFreeString(bstr);
  return true;
}

std::u16string FormatCount(int n) {
  return vwin32::Format(u"%d", n);
}

// The integer part of a page coordinate, held to the 32-bit range (a damaged page box can be
// any size).
LONG ToCoordinate(double value) {
  if (!(value > -2147483648.0)) return INT32_MIN;
  if (!(value < 2147483647.0)) return INT32_MAX;
  return static_cast<LONG>(std::trunc(value));
}

// Whether the engine's common configuration (Config/CommonConfig.xml under its configuration
// folder, the module folder unless set) holds any expression.
bool HasCommonConfig(CPDFInstance& engine) {
  CPageInfo& info = *engine.m_pPageInfo;
  if (info.m_strConfigDir.empty()) info.m_strConfigDir = engine.ModuleDir();
  info.LoadCommonConfig();
  if (info.m_pConfig == nullptr) return false;
  for (const auto& expressions : info.m_pConfig->m_lists) {
    if (!expressions.empty()) return true;
  }
  return false;
}

}  // namespace

CIssueInfoInstance::CIssueInfoInstance() : m_pInstance(std::make_unique<CPDFInstance>()) {
  // The configured path's intake renders nothing and leaves custom-encoded runs to recognition.
  m_bRenderPage = 0;
  m_bDecodeCustom = 0;
}

CIssueInfoInstance::~CIssueInfoInstance() {
  CloseOwnPage();
}

void CIssueInfoInstance::CloseOwnPage() {
  ResetPage();
  if (m_pPageInfo != nullptr) m_pPageInfo->Reset(true);
  if (m_hDoc != nullptr) {
    PTK_CloseDoc(m_hDoc, 0);
    m_hDoc = nullptr;
  }
}

void CIssueInfoInstance::CloseIssue() {
  CloseOwnPage();
  m_publications.Clear();
}

int CIssueInfoInstance::LoadIssueInfo(std::u16string_view root) {
  return velluma::LoadIssueInfoXML(root, m_publications);
}

bool CIssueInfoInstance::AnalysePage(std::u16string_view pathName, std::u16string_view pubName,
                                     std::u16string_view xmlPath, bool bFrontPage,
                                     bool bGetAllPageInfo, long& nResult) {
  m_strIssueName = pubName;
  HRESULT R = E_FAIL;
  if (velluma::St_IssueRecord* pRecord = m_publications.Find(pubName)) {
    // Configured path: the engine's own document.
    if (m_hDoc != nullptr) CloseOwnPage();
    if (m_pInstance->m_charMap.empty()) m_pInstance->BuildCharMap();
    if (m_pPageInfo == nullptr) return false;
    const std::u16string path(pathName);
    m_hDoc = PTK_OpenDoc(path.c_str(), 0);
    if (m_hDoc == nullptr) return false;
    m_pPageInfo->m_strDocPath = path;
    m_nPageCount = PTK_GetPageCount(m_hDoc);
    R = AnalyseConfigured(*pRecord, xmlPath, bFrontPage, bGetAllPageInfo);
  } else if (!AnalyseGeneral(pathName, pubName, bGetAllPageInfo, R)) {
    return false;
  }
  nResult = R == S_OK ? 0 : 1;
  PTK_FreePageThumbnail(nullptr, nullptr);
  return true;
}

// ---------------------------------------------------------------------------------------------
// Configured path

HRESULT CIssueInfoInstance::AnalyseConfigured(velluma::St_IssueRecord& record,
                                              std::u16string_view xmlPath, bool bFrontPage,
                                              bool bGetAllPageInfo) {
  if (m_nPageCount < 1) return E_INVALIDARG;
  double x0 = 0.0, y0 = 0.0, x1 = 0.0, y1 = 0.0;
  if (!PTK_GetPageRect(m_hDoc, 1, PTK_BOX_CONTENT, &x0, &y0, &x1, &y1)) return E_FAIL;
  const double dWidth = x1 - x0;
  m_pPageInfo->m_dPageWidth = dWidth;
  m_pPageInfo->m_dPageHeight = y1 - y0;
  m_pPageInfo->m_nPageIndex = 1;

  if (FAILED(LoadTextContent(1))) return E_FAIL;
  RecogniseGlyphs(*this, nullptr, &m_textBlocks);
  if (m_textBlocks.IsEmpty()) return S_FALSE;

  if (dWidth > kSpreadWidth) {
    // A spread: the left half first, then the right half. The record keeps the last region.
    const LONG nHalf = ToCoordinate(dWidth * 0.5);
    record.rcFrontPage.right = nHalf;
    const HRESULT R = AnalyseRegions(record, xmlPath, bFrontPage, bGetAllPageInfo);
    if (R >= 0) return R;
    record.rcFrontPage.left = nHalf;
    record.rcFrontPage.right = ToCoordinate(dWidth);
  }
  return AnalyseRegions(record, xmlPath, bFrontPage, bGetAllPageInfo);
}

void CIssueInfoInstance::PageInfoBlocks(CTextBlockArray& out) const {
  for (CTextBlock* pBlock :
       {m_pPageInfo->m_pDateBlock, m_pPageInfo->m_pPageIdBlock, m_pPageInfo->m_pPageNameBlock}) {
    if (pBlock != nullptr) out.Add(pBlock);
  }
}

void CIssueInfoInstance::RemovePageInfoBlocks(CTextBlockArray& list) const {
  CTextBlockArray held;
  PageInfoBlocks(held);
  CTextBlockArray keep;
  for (int i = 0; i < list.GetSize(); ++i) {
    if (!Contains(held, list[i])) keep.Add(list[i]);
  }
  list.RemoveAll();
  list.Append(keep);
}

void CIssueInfoInstance::CopyPageInfo(CPageInfo& info) {
  ReadText(info, &CPageInfo::GetIssueDate, m_strIssueDate);
  ReadText(info, &CPageInfo::GetPageId, m_strPageId);
  ReadText(info, &CPageInfo::GetPageName, m_strPageName);
  ReadText(info, &CPageInfo::GetPageCount, m_strPageCount);
}

void CIssueInfoInstance::Recognise(CTextBlockArray& list, std::u16string_view xmlPath,
                                   bool bGetAllPageInfo) {
  if (list.IsEmpty()) return;
  m_pPageInfo->m_strConfigDir = xmlPath;
  m_pPageInfo->RecognisePageInfo(list, TRUE, bGetAllPageInfo ? TRUE : FALSE);
  CopyPageInfo(*m_pPageInfo);
}

HRESULT CIssueInfoInstance::AnalyseRegions(const velluma::St_IssueRecord& record,
                                           std::u16string_view xmlPath, bool bFrontPage,
                                           bool bGetAllPageInfo) {
  CTextBlockArray& P = m_textBlocks;
  CTextBlockArray F, O;  // borrowed
  m_strPageCount.clear();
  m_strPageId.clear();
  m_strPageName.clear();
  m_strIssueDate.clear();

  if (bFrontPage) {
    MoveTouching(P, record.rcFrontPage, F);
    if (record.HasPageCountRegion()) MoveTouching(P, record.rcPageCount, F);
    FormTextBlocks(F);
    RegroupColumns(F);
    Recognise(F, xmlPath, bGetAllPageInfo);
    int n = m_pPageInfo->ParsePageCount();
    std::u16string S;
    if (n == 0) n = SearchPageCount(F, S);
    RemovePageInfoBlocks(F);
    P.Append(F);
    if (m_strPageId.empty()) m_strPageId = kFrontPageId;
    m_strPageCount = FormatCount(n);
    if (!S.empty())
      m_strPageCount += S;
    else if (n == 0)
      m_strPageCount += kNoPageCount;
    return S_OK;
  }

  MoveTouching(P, record.rcFrontPage, F);
  FormTextBlocks(F);
  RegroupColumns(F);
  Recognise(F, xmlPath, bGetAllPageInfo);
  const int n = m_pPageInfo->ParsePageCount();
  HRESULT R = E_FAIL;
  if (n != 0) {
    if (m_strPageId.empty()) m_strPageId = kFrontPageId;
    R = S_OK;
  } else {
    m_strPageCount.clear();
    if (bGetAllPageInfo) {
      // Other-page search: the held page-info blocks and F, sorted into the other page region.
      CTextBlockArray Q;
      CTextBlockArray held;
      PageInfoBlocks(held);
      for (int i = 0; i < held.GetSize(); ++i) {
        if (!Contains(F, held[i])) Q.Add(held[i]);
      }
      Q.Append(F);
      F.RemoveAll();
      MoveTouching(P, record.rcOtherPage, O);
      FormTextBlocks(O);
      for (int i = 0; i < Q.GetSize(); ++i) {
        // A held block that recognition takes again must not stay in the list as well.
        if (Contains(held, Q[i])) continue;
        if (Q[i]->IsInRect(record.rcOtherPage, true))
          O.Add(Q[i]);
        else
          P.Add(Q[i]);
      }
      RegroupColumns(O);
      Recognise(O, xmlPath, bGetAllPageInfo);
      RemovePageInfoBlocks(O);
      P.Append(O);
      const bool bNothing = m_strIssueDate.empty() && m_strPageName.empty() &&
                            m_strPageId.empty() && m_strPageCount.empty();
      return bNothing ? E_FAIL : S_OK;
    }
    m_strPageId.clear();
  }
  m_strPageName.clear();
  RemovePageInfoBlocks(F);
  P.Append(F);
  m_strPageCount = FormatCount(n);
  return R;
}

int CIssueInfoInstance::SearchPageCount(CTextBlockArray& L, std::u16string& S) {
  CTextBlockArray W;
  CTextBlockArray held;
  PageInfoBlocks(held);
  for (int i = 0; i < held.GetSize(); ++i) {
    if (!Contains(L, held[i])) W.Add(held[i]);
  }
  W.Append(L);

  CTextBlockArray A, B;
  for (int i = 0; i < W.GetSize(); ++i) {
    const std::u16string& text = W[i]->m_strText;
    if (text.find(u"今日") != std::u16string::npos || text.find(u"本期") != std::u16string::npos ||
        text.find(u"今日版面") != std::u16string::npos)
      A.Add(W[i]);
    if (text == u"版" || text.find(u" 版") != std::u16string::npos ||
        text.find(u"　版") != std::u16string::npos)
      B.Add(W[i]);
  }

  for (int ia = 0; ia < A.GetSize(); ++ia) {
    const CTextBlock& a = *A[ia];
    const double dTol = a.m_dFontSize * 0.5;
    for (int ib = 0; ib < B.GetSize(); ++ib) {
      const CTextBlock& b = *B[ib];
      const bool bSame = &a == &b;
      const bool bAccepted =
          bSame || (std::fabs(b.m_dBaselineY - a.m_dBaselineY) < dTol && b.m_dLeft > a.m_dRight) ||
          (std::fabs(b.m_dBaselineX - a.m_dBaselineX) < dTol && b.m_dTop > a.m_dBottom);
      if (!bAccepted) continue;
      for (int ic = 0; ic < W.GetSize(); ++ic) {
        const CTextBlock& c = *W[ic];
        const bool bHorizontal = ((bSame && a.m_dLeft < c.m_dLeft && c.m_dRight < b.m_dRight) ||
                                  (a.m_dRight < c.m_dLeft && c.m_dRight < b.m_dLeft)) &&
                                 std::fabs(c.m_dBaselineY - a.m_dBaselineY) < dTol;
        const bool bVertical = ((bSame && a.m_dTop < c.m_dTop && c.m_dBottom < b.m_dBottom) ||
                                (a.m_dBottom < c.m_dTop && c.m_dBottom < b.m_dTop)) &&
                               std::fabs(c.m_dBaselineX - a.m_dBaselineX) < dTol;
        if (!bHorizontal && !bVertical) continue;
        int start = 0, end = 0;
        int n = 0;
        const bool bFound = CPageInfo::RegexSearch(c.m_strText, kCountNumber, start, end);
        if (bFound) n = CPageInfo::ParseChineseNumber(c.m_strText.substr(start, end - start));
        if (!bFound || start != 0 || end != static_cast<int>(c.m_strText.size())) S = kMisread;
        return n;
      }
    }
  }
  return 0;
}

// ---------------------------------------------------------------------------------------------
// General path

bool CIssueInfoInstance::AnalyseGeneral(std::u16string_view pathName, std::u16string_view pubName,
                                        bool bGetAllPageInfo, HRESULT& R) {
  CPDFInstance& full = *m_pInstance;
  if (full.IsOpen()) CloseOwnPage();
  const std::u16string path(pathName);
  if (FAILED(full.Open(path.c_str()))) return false;
  if (full.m_pPageInfo == nullptr) return false;
  full.m_pPageInfo->m_nPageIndex = 1;
  // The third argument 0 asks for the common configuration's expressions. Without a
  // configuration they recognise nothing, and every page would fail: the built-in expressions
  // stand in for a missing or empty one.
  full.LoadPage(1, LPF_RECOGNISE | LPF_TEXT | 3, HasCommonConfig(full) ? 0 : 1);
  m_strIssueName = pubName;

  CPageInfo& info = *full.m_pPageInfo;
  ReadText(info, &CPageInfo::GetIssueDate, m_strIssueDate);
  ReadText(info, &CPageInfo::GetPageId, m_strPageId);
  ReadText(info, &CPageInfo::GetPageName, m_strPageName);
  if (!ReadText(info, &CPageInfo::GetPageCount, m_strPageCount)) m_strPageCount = u"0";

  if (m_strPageCount != u"0") {
    m_strPageCount = FormatCount(info.ParsePageCount());
    m_strPageName.clear();
    m_strPageId = kFrontPageId;
    R = S_OK;
  } else {
    m_strPageId.clear();
    m_strPageCount = std::u16string(u"0") + kNoPageCount;
    R = E_FAIL;
  }
  if (bGetAllPageInfo) {
    const bool bNothing = m_strIssueDate.empty() && m_strPageName.empty() && m_strPageId.empty() &&
                          m_strPageCount.empty();
    R = bNothing ? E_FAIL : S_OK;
  }
  return true;
}
