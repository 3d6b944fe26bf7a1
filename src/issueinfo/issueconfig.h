// The issue-information configuration: for each publication, where on a newspaper page the
// information blocks are printed. The table is read from <root>/Config/IssueInfo.xml, a
// read-only file of this form (every value is an attribute; element texts are never read):
//
//   <IssueInfoSet>
//     <IssueInfo IssueName="...">
//       <FrontPage    Left=".." Top=".." Right=".." Bottom=".."/>  front page information block
//       <PageCountPos Left=".." Top=".." Right=".." Bottom=".."/>  total page count notice
//       <OtherPage    Left=".." Top=".." Right=".." Bottom=".."/>  other pages' information block
//     </IssueInfo>
//   </IssueInfoSet>
//
// Regions are in integer page coordinates, the ones text blocks are tested against.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "velluma/wintypes.h"

namespace velluma {

// One publication's configured regions. A missing element or attribute, or a value that is no
// number, reads as 0.
struct St_IssueRecord {
  std::u16string name;  // the publication name, key of the map
  RECT rcFrontPage{};   // front page: issue name, date, page name and number
  RECT rcOtherPage{};   // other pages: the same information
  RECT rcPageCount{};   // front page: the total page count; all zeros when not configured

  bool HasPageCountRegion() const {
    return rcPageCount.left != 0 || rcPageCount.top != 0 || rcPageCount.right != 0 ||
           rcPageCount.bottom != 0;
  }
};

// The publication map: publication name (compared exactly, case-sensitive) -> record. Records
// are owned by the map, and a record found stays at its address (its regions may be adjusted in
// place by the analysis) until Clear, the only operation that removes records.
class CIssueInfoMap {
 public:
  // Stores the record under its name unless that name is present already; the record stored
  // first is kept. True when the record was stored.
  bool Add(St_IssueRecord record);
  // The record of the publication, or null.
  St_IssueRecord* Find(std::u16string_view name);
  const St_IssueRecord* Find(std::u16string_view name) const;
  size_t Count() const { return m_records.size(); }
  bool IsEmpty() const { return m_records.empty(); }
  void Clear() { m_records.clear(); }

 private:
  std::map<std::u16string, St_IssueRecord, std::less<>> m_records;
};

// The configuration file of a root folder: every trailing '/' or '\' of the root removed, then
// "/Config/IssueInfo.xml". "/a/", "/a" and "/a//" all give "/a/Config/IssueInfo.xml".
std::u16string IssueInfoXmlPath(std::u16string_view root);

// The log file directly in the root folder ("/a/log.txt" for "/a/"), or empty when the root is
// empty or consists of separators only: the file would then lie at the file-system root, which
// no caller named as its folder.
std::u16string IssueInfoLogPath(std::u16string_view root);

// Deletes the root's log file if there is one (see IssueInfoLogPath), then reads the root's
// configuration file into the map. Returns 1 when the file was read and 0 when it is missing,
// unreadable, not well-formed or has another root element; the map is then unchanged.
// Publications already in the map keep their records (a second load only adds new names);
// within the file the first IssueInfo of a name wins. Only IssueInfo elements directly under
// the root are read, and of each only the first FrontPage, PageCountPos and OtherPage.
int LoadIssueInfoXML(std::u16string_view root, CIssueInfoMap& map);

}  // namespace velluma
