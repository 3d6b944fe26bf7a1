#include "issueinfo/issueconfig.h"

#include <utility>

#include "vwin32/files.h"
#include "vwin32/strings.h"
#include "xml/xmldoc.h"

namespace velluma {

bool CIssueInfoMap::Add(St_IssueRecord record) {
  if (m_records.find(record.name) != m_records.end()) return false;
  std::u16string key = record.name;
  m_records.emplace(std::move(key), std::move(record));
  return true;
}

St_IssueRecord* CIssueInfoMap::Find(std::u16string_view name) {
  auto it = m_records.find(name);
  return it == m_records.end() ? nullptr : &it->second;
}

const St_IssueRecord* CIssueInfoMap::Find(std::u16string_view name) const {
  auto it = m_records.find(name);
  return it == m_records.end() ? nullptr : &it->second;
}

namespace {

// The root without any trailing separator (a root of separators only becomes empty).
std::u16string_view StripRoot(std::u16string_view root) {
  while (!root.empty() && vwin32::IsPathSeparator(root.back())) root.remove_suffix(1);
  return root;
}

// A region from the element's Left, Top, Right and Bottom attributes, read as the C runtime
// reads a decimal number (values beyond 32 bits saturate). An absent element gives zeros.
RECT ReadRegion(const XmlNode& issue, const char16_t* name) {
  const XmlNode element = SelectNthElement(issue, name, 0, FALSE);
  RECT rc;
  rc.left = vwin32::ToInt(GetAttributeText(element, u"Left"));
  rc.top = vwin32::ToInt(GetAttributeText(element, u"Top"));
  rc.right = vwin32::ToInt(GetAttributeText(element, u"Right"));
  rc.bottom = vwin32::ToInt(GetAttributeText(element, u"Bottom"));
  return rc;
}

}  // namespace

std::u16string IssueInfoXmlPath(std::u16string_view root) {
  std::u16string path(StripRoot(root));
  path += u"/Config/IssueInfo.xml";
  return path;
}

std::u16string IssueInfoLogPath(std::u16string_view root) {
  const std::u16string_view folder = StripRoot(root);
  if (folder.empty()) return {};
  std::u16string path(folder);
  path += u"/log.txt";
  return path;
}

int LoadIssueInfoXML(std::u16string_view root, CIssueInfoMap& map) {
  // A stale log of an earlier run goes, whether or not there is a configuration to read.
  const std::u16string logPath = IssueInfoLogPath(root);
  if (!logPath.empty() && vwin32::FileExists(logPath)) vwin32::RemoveFile(logPath);

  const std::u16string xmlPath = IssueInfoXmlPath(root);
  if (!vwin32::FileExists(xmlPath)) return 0;
  XmlNode root_element;
  const XmlDocument doc = OpenXmlRoot(xmlPath, u"IssueInfoSet", root_element);
  if (!doc) return 0;
  const XmlNode set = SelectNode(doc, u"IssueInfoSet");
  if (!set) return 0;

  // The count takes IssueInfo elements at any depth, the lookup only direct children; indices
  // that the lookup cannot reach have no element and give no record.
  const int count = CountNodes(set, u"IssueInfo", TRUE);
  for (int i = 0; i < count; ++i) {
    const XmlNode issue = SelectNthElement(set, u"IssueInfo", i, FALSE);
    if (!issue) continue;
    St_IssueRecord record;
    record.name = GetAttributeText(issue, u"IssueName");
    record.rcFrontPage = ReadRegion(issue, u"FrontPage");
    record.rcPageCount = ReadRegion(issue, u"PageCountPos");
    record.rcOtherPage = ReadRegion(issue, u"OtherPage");
    map.Add(std::move(record));
  }
  return 1;
}

}  // namespace velluma
