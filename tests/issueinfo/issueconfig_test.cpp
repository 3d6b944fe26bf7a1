// The issue-information configuration: file locations, the log file, reading the publication
// regions and how repeated loads add to the map.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "issueinfo/issueconfig.h"
#include "vwin32/strings.h"

using namespace velluma;
namespace fs = std::filesystem;

namespace {

class IssueConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(VELLUMA_TEST_TMP) / "issueinfo" /
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "Config");
    root_ = vwin32::FromUtf8(dir_.string());
  }
  void WriteConfig(const std::string& xml) {
    std::ofstream(dir_ / "Config" / "IssueInfo.xml", std::ios::binary) << xml;
  }
  fs::path dir_;
  std::u16string root_;
};

bool SameRect(const RECT& r, LONG l, LONG t, LONG rt, LONG b) {
  return r.left == l && r.top == t && r.right == rt && r.bottom == b;
}

TEST(IssueConfigPaths, TrailingSeparatorsAreFoldedAndAnEmptyRootHasNoLog) {
  for (const char16_t* root : {u"/a/b", u"/a/b/", u"/a/b\\", u"/a/b//\\"}) {
    EXPECT_EQ(IssueInfoXmlPath(root), u"/a/b/Config/IssueInfo.xml");
    EXPECT_EQ(IssueInfoLogPath(root), u"/a/b/log.txt");
  }
  EXPECT_EQ(IssueInfoXmlPath(u""), u"/Config/IssueInfo.xml");
  for (const char16_t* root : {u"", u"/", u"\\\\"}) EXPECT_EQ(IssueInfoLogPath(root), u"");
}

TEST_F(IssueConfigTest, ReadsRegionsAndKeepsTheFirstRecordOfAName) {
  WriteConfig(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<IssueInfoSet>\n"
      "  <IssueInfo IssueName=\"日报\">\n"
      "    <FrontPage Left=\"10\" Top=\" +20\" Right=\"300\" Bottom=\"-40\"/>\n"
      "    <FrontPage Left=\"99\" Top=\"99\" Right=\"99\" Bottom=\"99\"/>\n"
      "    <PageCountPos Left=\"12abc\" Top=\"\" Right=\"abc\" Bottom=\"99999999999\"/>\n"
      "    <OtherPage Left=\"1\" Top=\"2\" Right=\"3\"/>\n"
      "  </IssueInfo>\n"
      "  <IssueInfo IssueName=\"日报\"><FrontPage Left=\"7\"/></IssueInfo>\n"
      "  <IssueInfo IssueName=\"daily\"><FrontPage Left=\"5\" Right=\"6\"/></IssueInfo>\n"
      "  <Group><IssueInfo IssueName=\"nested\"/></Group>\n"
      "</IssueInfoSet>\n");
  CIssueInfoMap map;
  ASSERT_EQ(LoadIssueInfoXML(root_ + u"\\/", map), 1);

  // Nested elements are not read, and no record is made up for them.
  EXPECT_EQ(map.Count(), 2u);
  EXPECT_EQ(map.Find(u"nested"), nullptr);
  EXPECT_EQ(map.Find(u""), nullptr);
  EXPECT_EQ(map.Find(u"Daily"), nullptr);

  const St_IssueRecord* first = map.Find(u"日报");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->name, u"日报");
  EXPECT_TRUE(SameRect(first->rcFrontPage, 10, 20, 300, -40));
  EXPECT_TRUE(SameRect(first->rcPageCount, 12, 0, 0, 2147483647));
  EXPECT_TRUE(SameRect(first->rcOtherPage, 1, 2, 3, 0));

  const St_IssueRecord* daily = map.Find(u"daily");
  ASSERT_NE(daily, nullptr);
  EXPECT_TRUE(SameRect(daily->rcFrontPage, 5, 0, 6, 0));
  EXPECT_FALSE(daily->HasPageCountRegion());
  EXPECT_TRUE(first->HasPageCountRegion());
}

TEST_F(IssueConfigTest, FailedLoadsLeaveTheMapAndAlwaysRemoveTheLog) {
  CIssueInfoMap map;
  map.Add({u"kept", {1, 2, 3, 4}, {}, {}});
  const fs::path log = dir_ / "log.txt";
  for (const std::string& xml : {std::string(), std::string("<IssueInfoSet><IssueInfo>"),
                                 std::string("<Other><IssueInfo IssueName=\"x\"/></Other>")}) {
    std::ofstream(log) << "old";
    if (xml.empty()) {
      fs::remove(dir_ / "Config" / "IssueInfo.xml");
    } else {
      WriteConfig(xml);
    }
    EXPECT_EQ(LoadIssueInfoXML(root_, map), 0) << xml;
    EXPECT_FALSE(fs::exists(log)) << xml;
    EXPECT_EQ(map.Count(), 1u);
  }
}

TEST_F(IssueConfigTest, ASecondLoadOnlyAddsNewNamesAndClearEmpties) {
  WriteConfig(
      "<IssueInfoSet><IssueInfo IssueName=\"A\"><FrontPage Left=\"1\"/></IssueInfo>"
      "</IssueInfoSet>");
  CIssueInfoMap map;
  ASSERT_EQ(LoadIssueInfoXML(root_, map), 1);
  St_IssueRecord* a = map.Find(u"A");
  ASSERT_NE(a, nullptr);
  a->rcFrontPage.right = 1200;  // adjusted in place, as the analysis does

  WriteConfig(
      "<IssueInfoSet><IssueInfo IssueName=\"A\"><FrontPage Left=\"2\"/></IssueInfo>"
      "<IssueInfo><OtherPage Top=\"3\"/></IssueInfo></IssueInfoSet>");
  ASSERT_EQ(LoadIssueInfoXML(root_, map), 1);
  EXPECT_EQ(map.Count(), 2u);
  EXPECT_EQ(map.Find(u"A"), a);
  EXPECT_TRUE(SameRect(a->rcFrontPage, 1, 0, 1200, 0));
  // An IssueInfo without a name is stored under the empty name.
  ASSERT_NE(map.Find(u""), nullptr);
  EXPECT_EQ(map.Find(u"")->rcOtherPage.top, 3);

  map.Clear();
  EXPECT_TRUE(map.IsEmpty());
}

}  // namespace
