// The XML document helper: loading and its failures, encodings, the selections and counts as
// the configuration readers use them, attribute and node texts.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "vwin32/strings.h"
#include "xml/trace.h"
#include "xml/xmldoc.h"

using namespace velluma;
using vwin32::FromUtf8;

namespace {

class XmlDocTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::path(VELLUMA_TEST_TMP) / "xml" /
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  std::u16string Write(const std::string& name, const std::string& bytes) {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
    return FromUtf8((dir_ / name).string());
  }
  std::filesystem::path dir_;
};

// A file with nested elements of the same names, as the readers meet them.
const char kIssueInfo[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<IssueInfoSet>\n"
    "  <IssueInfo IssueName=\"A\"><FrontPage Left=\"12px\" Top=\"x\"/><FrontPage Left=\"9\"/>"
    "</IssueInfo>\n"
    "  <Group><IssueInfo IssueName=\"nested\"/></Group>\n"
    "  <IssueInfo IssueName=\"B\"/>\n"
    "  <IssueInfo IssueName=\"C\"/>\n"
    "</IssueInfoSet>\n";

TEST_F(XmlDocTest, MissingUnreadableAndMalformedFilesAreAbsent) {
  EXPECT_FALSE(LoadXmlDocument(Write("ok.xml", "<a/>") + u".missing"));
  EXPECT_FALSE(LoadXmlDocument(FromUtf8(dir_.string())));  // a directory
  EXPECT_FALSE(LoadXmlDocument(static_cast<const char16_t*>(nullptr)));
  using namespace std::string_literals;
  for (const std::string& bad :
       {""s, "   "s, "<a><b></a>"s, "<a>"s, "<a/><b/>"s, "<?xml version=\"1.0\"?>"s,
        "\xFF\xFE\0\0<\0\0\0/\0\0\0>\0\0\0"s}) {
    EXPECT_FALSE(LoadXmlDocument(Write("bad.xml", bad))) << bad;
  }
  XmlNode root = CreateDomDocument();  // a present reference, to see it is left alone
  EXPECT_FALSE(OpenXmlRoot(Write("bad.xml", "<a>"), u"a", root));
  EXPECT_TRUE(root.IsDocument());
}

TEST_F(XmlDocTest, ParseFailureIsTracedOnlyInDebugMode) {
  const std::u16string path = Write("bad.xml", "<a><b/>\r\n<c></d></a>");
  unsetenv("VELLUMA_DEBUG");
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(LoadXmlDocument(path));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");

  setenv("VELLUMA_DEBUG", "1", 1);
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(LoadXmlDocument(path));
  const std::string trace = ::testing::internal::GetCapturedStderr();
  unsetenv("VELLUMA_DEBUG");
  EXPECT_EQ(trace,
            "xml error:\n====================================================\n"
            "Reason: Start-end tags mismatch\nSource: <c></d></a>\nLine: 2\n");
}

TEST_F(XmlDocTest, OpenXmlRootFindsOnlyTheNamedRoot) {
  const std::u16string path = Write("IssueInfo.xml", kIssueInfo);
  XmlNode root;
  XmlDocument doc = OpenXmlRoot(path, u"IssueInfoSet", root);
  ASSERT_TRUE(doc);
  EXPECT_TRUE(doc.IsDocument());
  EXPECT_EQ(root.Name(), u"IssueInfoSet");
  EXPECT_EQ(SelectNode(doc, u"IssueInfoSet"), root);

  root = CreateDomDocument();
  EXPECT_FALSE(OpenXmlRoot(path, u"CommonConfig", root));
  EXPECT_FALSE(root);  // loaded, but no such root: the out reference is cleared
  EXPECT_FALSE(OpenXmlRoot(path, u"IssueInfo", root));  // not a child of the document node
}

TEST_F(XmlDocTest, EncodingsByByteOrderMarkAndDeclaration) {
  const std::u16string expected = u"\u4E2D\u6587 caf\u00E9";
  auto utf16 = [&](bool bigEndian, bool bom) {
    std::u16string text =
        u"<?xml version=\"1.0\" encoding=\"UTF-16\"?><r n=\"" + expected + u"\"/>";
    if (bom) text.insert(0, 1, u'\uFEFF');
    std::string bytes;
    for (char16_t c : text) {
      bytes += static_cast<char>(bigEndian ? c >> 8 : c & 0xFF);
      bytes += static_cast<char>(bigEndian ? c & 0xFF : c >> 8);
    }
    return bytes;
  };
  const std::string utf8Body = "<r n=\"\xE4\xB8\xAD\xE6\x96\x87 caf\xC3\xA9\"/>";
  const std::string gbkBody = "<r n=\"\xD6\xD0\xCE\xC4 caf\xA8\xA6\"/>";
  const std::pair<const char*, std::string> files[] = {
      {"utf8", utf8Body},
      {"utf8bom", "\xEF\xBB\xBF" + utf8Body},
      {"utf16le", utf16(false, true)},
      {"utf16be", utf16(true, true)},
      {"utf16le-nobom", utf16(false, false)},
      {"gbk", "<?xml version=\"1.0\" encoding=\"GBK\"?>\n" + gbkBody},
      {"gb2312", "<?xml version='1.0' encoding = 'gb2312' ?>" + gbkBody},
      {"latin1",
       "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>"
       "<r n=\"\xD6\xD0\xCE\xC4 caf\xE9\"/>"},
  };
  for (const auto& [name, bytes] : files) {
    XmlNode root;
    ASSERT_TRUE(OpenXmlRoot(Write(std::string(name) + ".xml", bytes), u"r", root)) << name;
    const std::u16string text = GetAttributeText(root, u"n");
    EXPECT_EQ(text,
              name == std::string("latin1") ? u"\u00D6\u00D0\u00CE\u00C4 caf\u00E9" : expected)
        << name;
  }
  EXPECT_FALSE(LoadXmlDocument(Write("big5.xml", "<?xml version=\"1.0\" encoding=\"Big5\"?><r/>")));
  // A non-ASCII file name reaches the file system as UTF-8.
  EXPECT_TRUE(LoadXmlDocument(Write("\xE9\x85\x8D\xE7\xBD\xAE.xml", "<r/>")));
}

TEST_F(XmlDocTest, NthElementAndCountsWithAndWithoutDepth) {
  XmlNode root;
  XmlDocument doc = OpenXmlRoot(Write("IssueInfo.xml", kIssueInfo), u"IssueInfoSet", root);
  ASSERT_TRUE(doc);
  // The issue table reader: count at any depth, take direct children by index.
  const int count = CountNodes(root, u"IssueInfo", TRUE);
  EXPECT_EQ(count, 4);
  EXPECT_EQ(CountNodes(root, u"IssueInfo", FALSE), 3);
  std::u16string names;
  for (int i = 0; i < count; ++i) {
    const XmlNode info = SelectNthElement(root, u"IssueInfo", i, FALSE);
    names += GetAttributeText(info, u"IssueName", u"-") + u";";
  }
  EXPECT_EQ(names, u"A;B;C;-;");  // the fourth lookup lies beyond the direct children

  const XmlNode front =
      SelectNthElement(SelectNthElement(root, u"IssueInfo", 0, FALSE), u"FrontPage", 0, FALSE);
  EXPECT_EQ(GetAttributeText(front, u"Left"), u"12px");
  EXPECT_EQ(GetAttributeText(SelectNthElement(root, u"IssueInfo", 1, FALSE), u"IssueName"), u"B");
  // The deep form selects the first element that is the n-th of its name among its siblings.
  EXPECT_EQ(GetAttributeText(SelectNthElement(root, u"IssueInfo", 0, TRUE), u"IssueName"), u"A");
  EXPECT_EQ(GetAttributeText(SelectNthElement(root, u"FrontPage", 1, TRUE), u"Left"), u"9");
  EXPECT_FALSE(SelectNthElement(root, u"IssueInfo", 3, TRUE));
  EXPECT_FALSE(SelectNthElement(root, u"IssueInfo", -1, FALSE));
  EXPECT_FALSE(SelectNthElement(root, u"IssueInfo", INT_MAX, FALSE));

  // Absent contexts and names that are no XPath step select nothing.
  EXPECT_FALSE(SelectNthElement(XmlNode(), u"IssueInfo", 0, FALSE));
  EXPECT_EQ(CountNodes(XmlNode(), u"IssueInfo", TRUE), 0);
  EXPECT_FALSE(SelectNode(XmlNode(), u"IssueInfoSet"));
  EXPECT_FALSE(SelectNodeList(XmlNode(), u"IssueInfo", FALSE));
  EXPECT_FALSE(SelectNodeList(root, u"", FALSE));
  EXPECT_FALSE(SelectNodeList(root, u"count(IssueInfo)", FALSE));
  EXPECT_EQ(CountNodes(root, u"Issue Info[", TRUE), 0);
  EXPECT_FALSE(SelectNode(root, std::u16string(u"IssueInfo\0x", 11)));
  EXPECT_EQ(CountNodes(root, u"Missing", TRUE), 0);
  EXPECT_TRUE(SelectNodeList(root, u"Missing", TRUE));  // an empty list, not an absent one
}

TEST_F(XmlDocTest, CommonConfigAndFontSetReading) {
  const std::u16string path = Write(
      "CommonConfig.xml",
      "<CommonConfig><PageCount><Style> \\d+ </Style><Group><Style>deep</Style></Group>"
      "<Style><![CDATA[a<b]]></Style><Style>   </Style></PageCount>"
      "<PageCount><Style>second</Style></PageCount>"
      "<DateStyle><WeekdayExp><Style>x&amp;y</Style></WeekdayExp></DateStyle></CommonConfig>");
  XmlNode root;
  XmlDocument doc = OpenXmlRoot(path, u"CommonConfig", root);
  ASSERT_TRUE(doc);
  const XmlNodeList styles =
      SelectNodeList(SelectNthElement(root, u"PageCount", 0, FALSE), u"Style", FALSE);
  ASSERT_EQ(styles.Length(), 3);
  EXPECT_EQ(styles.Item(0).Text(), u" \\d+ ");  // surrounding white space kept
  EXPECT_EQ(styles.Item(1).Text(), u"a<b");
  EXPECT_EQ(styles.Item(2).Text(), u"   ");
  EXPECT_FALSE(styles.Item(3));
  EXPECT_FALSE(styles.Item(-1));
  const XmlNode weekday =
      SelectNthElement(SelectNthElement(root, u"DateStyle", 0, FALSE), u"WeekdayExp", 0, FALSE);
  EXPECT_EQ(SelectNodeList(weekday, u"Style", FALSE).Item(0).Text(), u"x&y");
  EXPECT_EQ(SelectNthElement(root, u"DateStyle", 0, FALSE).Text(), u"x&y");

  // Walking with nextNode; copies share the cursor.
  const XmlNodeList deep = SelectNodeList(root, u"Style", TRUE);
  const XmlNodeList copy = deep;
  EXPECT_EQ(deep.NextNode().Text(), u" \\d+ ");
  EXPECT_EQ(copy.NextNode().Text(), u"deep");
  int rest = 0;
  while (deep.NextNode()) ++rest;
  EXPECT_EQ(rest, 4);
  EXPECT_FALSE(copy.NextNode());
  deep.Reset();
  EXPECT_EQ(copy.NextNode().Text(), u" \\d+ ");
}

TEST_F(XmlDocTest, AttributeTextAndNodeLifetime) {
  XmlNode element;
  {
    XmlNode root;
    XmlDocument doc =
        OpenXmlRoot(Write("f.xml", "<HGFontSet><Font Name=\"a&lt;b\tc\" Empty=\"\"/></HGFontSet>"),
                    u"HGFontSet", root);
    ASSERT_TRUE(doc);
    element = SelectNodeList(root, u"Font", FALSE).NextNode();
  }
  // The node keeps its document alive after every other reference is gone.
  EXPECT_EQ(GetAttributeText(element, u"Name"), u"a<b c");  // attribute white space normalised
  EXPECT_EQ(GetAttributeText(element, u"Empty", u"dflt"), u"");
  EXPECT_EQ(GetAttributeText(element, u"name", u"dflt"), u"dflt");  // names are case-sensitive
  EXPECT_EQ(GetAttributeText(element, u"Missing"), u"");
  EXPECT_EQ(GetAttributeText(element, u"Missing", static_cast<const char16_t*>(nullptr)), u"");
  EXPECT_EQ(GetAttributeText(XmlNode(), u"Name", u"dflt"), u"dflt");
  const XmlNode attr = SelectNode(element, u"@Name");
  EXPECT_EQ(attr.Name(), u"Name");
  EXPECT_EQ(attr.Text(), u"a<b c");
  EXPECT_EQ(GetAttributeText(attr, u"Name", u"dflt"), u"dflt");  // an attribute is no element
  EXPECT_EQ(CreateDomDocument().Text(), u"");
  EXPECT_FALSE(SelectNode(CreateDomDocument(), u"HGFontSet"));
}

}  // namespace
