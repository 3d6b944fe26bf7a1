// Reading the common configuration (Config/CommonConfig.xml): the publisher's expression lists
// that steer configured-mode recognition.
#include <string>

#include "pageinfo/pageinfo.h"
#include "vwin32/files.h"
#include "xml/xmldoc.h"

namespace {

// The folder with a separator appended once, whatever trailing separators it had.
std::u16string WithSeparator(std::u16string dir) {
  while (!dir.empty() && (dir.back() == u'/' || dir.back() == u'\\')) dir.pop_back();
  dir += u'/';
  return dir;
}

// Appends the texts of the Style elements directly under section to list.
void ReadStyles(const velluma::XmlNode& section, std::vector<std::u16string>& list) {
  const velluma::XmlNodeList styles = velluma::SelectNodeList(section, u"Style", FALSE);
  const int count = styles.Length();
  for (int i = 0; i < count; ++i) {
    const velluma::XmlNode item = styles.Item(i);
    if (item) list.push_back(item.Text());
  }
}

}  // namespace

bool CPageInfo::LoadCommonConfig() {
  const std::u16string path =
      WithSeparator(WithSeparator(m_strConfigDir) + u"Config") + u"CommonConfig.xml";
  if (!vwin32::FileExists(path)) return false;
  velluma::XmlNode root;
  const velluma::XmlDocument doc = velluma::OpenXmlRoot(path, u"CommonConfig", root);
  if (!doc) return false;
  root = velluma::SelectNode(doc, u"CommonConfig");
  if (!root) return false;

  // Read once: as soon as a list that recognition uses holds expressions, the configuration is
  // kept for the life of the object. The FrontPage list alone does not count.
  auto& lists = m_pConfig->m_lists;
  for (int i = CCL_PAGE_COUNT; i < CCL_COUNT; ++i) {
    if (!lists[i].empty()) return true;
  }
  for (auto& list : lists) list.clear();

  static const struct {
    const char16_t* name;
    CommonConfigList list;
  } kSections[] = {
      {u"FrontPage", CCL_FRONT_PAGE},
      {u"PageCount", CCL_PAGE_COUNT},
      {u"IssueDate", CCL_ISSUE_DATE},
      {u"IsDateBlock", CCL_IS_DATE_BLOCK},
      {u"IsPageIdBlock", CCL_IS_PAGE_ID_BLOCK},
      {u"NonPageIdBlock", CCL_NON_PAGE_ID_BLOCK},
      {u"PageId", CCL_PAGE_ID},
  };
  for (const auto& section : kSections) {
    ReadStyles(velluma::SelectNthElement(root, section.name, 0, FALSE), lists[section.list]);
  }
  const velluma::XmlNode dateStyle = velluma::SelectNthElement(root, u"DateStyle", 0, FALSE);
  ReadStyles(velluma::SelectNthElement(dateStyle, u"ChineseYearExp", 0, FALSE),
             lists[CCL_CHINESE_YEAR_EXP]);
  ReadStyles(velluma::SelectNthElement(dateStyle, u"WeekdayExp", 0, FALSE), lists[CCL_WEEKDAY_EXP]);
  return true;
}
