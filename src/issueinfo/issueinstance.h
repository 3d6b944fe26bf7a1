// CIssueInfoInstance: the engine of the issue-information provider. It analyses page 1 of one
// PDF file per call and answers five texts: issue name, issue date, page name, page id and page
// count.
//
// Two paths. A publication named in the publication map (IssueInfo.xml) is analysed by the
// engine's own reduced pipeline (text intake without custom decoding, glyph recognition, layout
// stages 1 and 2 and page-information recognition inside the configured regions). Any other
// publication goes through a full page engine loaded to level 3.
//
// The engine derives from CPDFInstance for its own page: its document, text blocks, recognition
// state and page information object are the ones the configured path works on, so that the
// recognition steps work on either engine.
#pragma once

#include <memory>
#include <string>

#include "engine/pdfinstance.h"
#include "issueinfo/issueconfig.h"

class CIssueInfoInstance : public CPDFInstance {
 public:
  CIssueInfoInstance();
  ~CIssueInfoInstance() override;

  // Closes the engine's own page and document and empties the publication map. The five
  // strings stay.
  void CloseIssue();
  // Reads <root>/Config/IssueInfo.xml into the publication map: 1 when read, else 0.
  int LoadIssueInfo(std::u16string_view root);
  // Analyses page 1 of the file. False when the file could not be opened (nothing to report);
  // else true with nResult 0 when the analysis succeeded, 1 when not.
  bool AnalysePage(std::u16string_view pathName, std::u16string_view pubName,
                   std::u16string_view xmlPath, bool bFrontPage, bool bGetAllPageInfo,
                   long& nResult);

  // The page-count search over list: a count found beside a "今日" / "本期" notice, or 0; S
  // receives "(识别有误)" when the number block holds more than the number.
  int SearchPageCount(CTextBlockArray& list, std::u16string& S);

  // Drops the engine's own page and recognition state, resets its page information and closes
  // its document.
  void CloseOwnPage();

  CPDFInstance& FullEngine() { return *m_pInstance; }
  velluma::CIssueInfoMap& Publications() { return m_publications; }

  std::u16string m_strIssueName;
  std::u16string m_strIssueDate;
  std::u16string m_strPageName;
  std::u16string m_strPageId;
  std::u16string m_strPageCount;

 private:
  // The configured path's analysis of page 1 (the document is open).
  HRESULT AnalyseConfigured(velluma::St_IssueRecord& record, std::u16string_view xmlPath,
                            bool bFrontPage, bool bGetAllPageInfo);
  HRESULT AnalyseRegions(const velluma::St_IssueRecord& record, std::u16string_view xmlPath,
                         bool bFrontPage, bool bGetAllPageInfo);
  // The general path through the full engine; false when the file does not open.
  bool AnalyseGeneral(std::u16string_view pathName, std::u16string_view pubName,
                      bool bGetAllPageInfo, HRESULT& R);
  // Runs the page-information recognition on list and copies what it found.
  void Recognise(CTextBlockArray& list, std::u16string_view xmlPath, bool bGetAllPageInfo);
  // Copies each text of the page information object that is present into the answers.
  void CopyPageInfo(CPageInfo& info);
  // The page information object's date, page-id and page-name blocks that are present.
  void PageInfoBlocks(CTextBlockArray& out) const;
  // Removes the page-info blocks from list.
  void RemovePageInfoBlocks(CTextBlockArray& list) const;

  std::unique_ptr<CPDFInstance> m_pInstance;  // the full engine of the general path
  velluma::CIssueInfoMap m_publications;
};
