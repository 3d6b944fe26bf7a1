// Reading Config/CommonConfig.xml into the page information object's expression lists.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "pageinfo/pageinfo.h"
#include "vwin32/strings.h"

namespace {

class CommonConfigTest : public ::testing::Test {
 protected:
  // Writes the file under a folder named after the test; the folder is given with trailing
  // separators, which the reader strips.
  void Write(const std::string& xml) {
    const std::string dir = std::string(VELLUMA_TEST_TMP) + "/" +
                            ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::filesystem::create_directories(dir + "/Config");
    std::ofstream(dir + "/Config/CommonConfig.xml", std::ios::trunc) << xml;
    info.m_strConfigDir = vwin32::Widen(dir) + u"/\\";
  }
  const std::vector<std::u16string>& List(int n) { return info.m_pConfig->m_lists[n]; }

  CPageInfo info;
};

using Strings = std::vector<std::u16string>;

TEST_F(CommonConfigTest, ReadsEachSectionIntoItsListOnce) {
  Write(R"(<CommonConfig>
  <FrontPage><Style>F</Style></FrontPage>
  <PageCount><Style> P1 </Style><Style>P2</Style><x><Style>deep</Style></x></PageCount>
  <PageCount><Style>second</Style></PageCount>
  <IssueDate><Style>I</Style></IssueDate>
  <IsDateBlock><Style>D</Style></IsDateBlock>
  <IsPageIdBlock><Style>Y</Style></IsPageIdBlock>
  <NonPageIdBlock><Style>N</Style></NonPageIdBlock>
  <PageId><Style>A</Style></PageId>
  <DateStyle><WeekdayExp><Style>W</Style></WeekdayExp>
    <ChineseYearExp><Style>B</Style></ChineseYearExp></DateStyle>
</CommonConfig>)");
  ASSERT_TRUE(info.LoadCommonConfig());
  EXPECT_EQ(List(CCL_FRONT_PAGE), Strings{u"F"});
  EXPECT_EQ(List(CCL_PAGE_COUNT), (Strings{u" P1 ", u"P2"}));
  EXPECT_EQ(List(CCL_ISSUE_DATE), Strings{u"I"});
  EXPECT_EQ(List(CCL_IS_DATE_BLOCK), Strings{u"D"});
  EXPECT_EQ(List(CCL_IS_PAGE_ID_BLOCK), Strings{u"Y"});
  EXPECT_EQ(List(CCL_NON_PAGE_ID_BLOCK), Strings{u"N"});
  EXPECT_EQ(List(CCL_PAGE_ID), Strings{u"A"});
  EXPECT_EQ(List(CCL_WEEKDAY_EXP), Strings{u"W"});
  EXPECT_EQ(List(CCL_CHINESE_YEAR_EXP), Strings{u"B"});

  // Read once per object: a changed file is not looked at again.
  Write("<CommonConfig><PageCount><Style>new</Style></PageCount></CommonConfig>");
  EXPECT_TRUE(info.LoadCommonConfig());
  EXPECT_EQ(List(CCL_PAGE_COUNT), (Strings{u" P1 ", u"P2"}));
}

TEST_F(CommonConfigTest, FrontPageAloneIsReadAgainWithoutDuplicates) {
  Write("<CommonConfig><FrontPage><Style>F</Style><Style>G</Style></FrontPage></CommonConfig>");
  ASSERT_TRUE(info.LoadCommonConfig());
  ASSERT_TRUE(info.LoadCommonConfig());
  EXPECT_EQ(List(CCL_FRONT_PAGE), (Strings{u"F", u"G"}));
}

TEST_F(CommonConfigTest, MissingFileOrWrongRootChangesNothing) {
  info.m_pConfig->m_lists[CCL_PAGE_COUNT] = {u"kept"};
  info.m_strConfigDir = vwin32::Widen(VELLUMA_TEST_TMP) + u"/absent";
  EXPECT_FALSE(info.LoadCommonConfig());
  Write("<Other><PageCount><Style>P</Style></PageCount></Other>");
  EXPECT_FALSE(info.LoadCommonConfig());
  Write("<CommonConfig><PageCount><Style>P</Style></PageCount>");  // not well-formed
  EXPECT_FALSE(info.LoadCommonConfig());
  EXPECT_EQ(List(CCL_PAGE_COUNT), Strings{u"kept"});
}

}  // namespace
