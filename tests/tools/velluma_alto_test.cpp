// ALTO export and article output of the velluma command: the built tool on real pages, and the
// writers on pages made up in-process (articles with missing parts), read back with an XML
// parser and checked element by element.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <pugixml.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "model.h"
#include "tool_runner.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using tooltest::ToolResult;

const std::string kSample = std::string(VELLUMA_SAMPLES_DIR) + "/front-page.pdf";
const fs::path kCorpus = VELLUMA_CORPUS_DIR;

ToolResult RunTool(const std::vector<std::string>& args) {
  return tooltest::RunTool("velluma", args);
}

long Attr(const pugi::xml_node& n, const char* name) {
  return n.attribute(name).as_llong(-1);
}

// Checks what every ALTO page must satisfy and returns its elements by name.
std::map<std::string, std::vector<pugi::xml_node>> CheckAlto(const pugi::xml_document& doc) {
  std::map<std::string, std::vector<pugi::xml_node>> byName;
  const pugi::xml_node alto = doc.child("alto");
  EXPECT_STREQ(alto.attribute("xmlns").value(), "http://www.loc.gov/standards/alto/ns-v4#");
  std::vector<std::string> top;
  for (const pugi::xml_node& c : alto.children()) top.push_back(c.name());
  EXPECT_EQ(top, (std::vector<std::string>{"Description", "Styles", "Tags", "Layout"}));
  EXPECT_STREQ(alto.child("Description").child_value("MeasurementUnit"), "inch1200");

  std::set<std::string> ids, styleIds, tagIds;
  for (const pugi::xml_node& s : alto.child("Styles").children("TextStyle"))
    styleIds.insert(s.attribute("ID").value());
  for (const pugi::xml_node& t : alto.child("Tags").children())
    tagIds.insert(t.attribute("ID").value());
  const pugi::xml_node page = alto.child("Layout").child("Page");
  const long pageW = Attr(page, "WIDTH"), pageH = Attr(page, "HEIGHT");
  for (const pugi::xpath_node& x : doc.select_nodes("//*[@ID]")) {
    const pugi::xml_node n = x.node();
    EXPECT_TRUE(ids.insert(n.attribute("ID").value()).second) << n.attribute("ID").value();
    byName[n.name()].push_back(n);
    if (std::string(n.name()) == "Page" || !n.attribute("HPOS")) continue;
    // Positioned elements lie on the page and name styles and tags that exist.
    EXPECT_GE(Attr(n, "HPOS"), 0);
    EXPECT_GE(Attr(n, "WIDTH"), 0);
    EXPECT_LE(Attr(n, "HPOS") + Attr(n, "WIDTH"), pageW + 1) << n.attribute("ID").value();
    EXPECT_LE(Attr(n, "VPOS") + Attr(n, "HEIGHT"), pageH + 1) << n.attribute("ID").value();
    if (n.attribute("STYLEREFS")) {
      EXPECT_TRUE(styleIds.count(n.attribute("STYLEREFS").value()));
    }
    if (n.attribute("TAGREFS")) {
      EXPECT_TRUE(tagIds.count(n.attribute("TAGREFS").value()));
    }
  }
  // A line is String (SP String)*: no leading, trailing or doubled SP; words hold no blank.
  for (const pugi::xml_node& line : byName["TextLine"]) {
    std::string shape;
    for (const pugi::xml_node& c : line.children()) {
      shape += std::string(c.name()) == "SP" ? "_" : "w";
      if (std::string(c.name()) == "String") {
        const std::string content = c.attribute("CONTENT").value();
        EXPECT_FALSE(content.empty());
        EXPECT_EQ(content.find(' '), std::string::npos) << content;
      }
    }
    EXPECT_EQ(shape.front(), 'w');
    EXPECT_EQ(shape.back(), 'w');
    EXPECT_EQ(shape.find("__"), std::string::npos);
  }
  return byName;
}

size_t CountLines(const ToolResult& r, const std::string& prefix) {
  return static_cast<size_t>(std::count_if(r.lines.begin(), r.lines.end(), [&](const auto& l) {
    return l.find(prefix) != std::string::npos;
  }));
}

// The ALTO of a page holds what the text listing of the same load shows: every block without
// children as a TextBlock, every picture as an Illustration, the page information as tags.
TEST(VellumaAlto, PagesMatchTheTextListingElementByElement) {
  struct Case {
    std::string file, level;
    bool latin;
  };
  std::vector<Case> cases = {{kSample, "3", false}, {kSample, "1", false}};
  const fs::path hindu = kCorpus / "en-thehindu-20260814-p08.pdf";
  if (fs::exists(hindu)) cases.push_back({hindu.string(), "2", true});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file + " level " + c.level);
    const ToolResult text = RunTool({"analyse", c.file, "--level", c.level});
    const ToolResult xml = RunTool({"analyse", c.file, "--level", c.level, "--format", "alto"});
    ASSERT_EQ(xml.status, 0) << xml.err;
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(xml.out.c_str())) << xml.out.substr(0, 300);
    auto byName = CheckAlto(doc);
    EXPECT_EQ(byName["TextBlock"].size(), CountLines(text, "  block type "));
    EXPECT_EQ(byName["Illustration"].size(), CountLines(text, "  picture ["));
    EXPECT_EQ(byName["ComposedBlock"].size(), 0u);  // no articles below level 5
    const pugi::xml_node page = doc.child("alto").child("Layout").child("Page");
    EXPECT_EQ(Attr(page, "PHYSICAL_IMG_NR"), 1);
    EXPECT_STREQ(doc.child("alto")
                     .child("Description")
                     .child("sourceImageInformation")
                     .child_value("fileName"),
                 fs::path(c.file).filename().c_str());
    // One style per font and size.
    std::set<std::pair<std::string, std::string>> styles;
    for (const pugi::xml_node& s : doc.child("alto").child("Styles").children())
      EXPECT_TRUE(
          styles.insert({s.attribute("FONTFAMILY").value(), s.attribute("FONTSIZE").value()})
              .second);
    if (c.latin) {
      EXPECT_GT(doc.select_nodes("//SP").size(), 100u);
    } else {
      // Page information where ALTO keeps metadata; the front page's headline word by word.
      const std::string id = c.level == "3" ? "A1" : "front-page";
      EXPECT_STREQ(page.attribute("PRINTED_IMG_NR").value(), id.c_str());
      std::string words;
      for (const pugi::xml_node& s : byName["String"]) words += s.attribute("CONTENT").value();
      EXPECT_NE(words.find("全市百万户居民温暖过冬"), std::string::npos);
      const bool dated =
          doc.select_node("//OtherTag[@LABEL='issueDate'][@DESCRIPTION='2026年12月7日 星期一']");
      EXPECT_EQ(dated, c.level == "3");
      // Coordinates are inch1200: 1200 / 72 per point.
      EXPECT_EQ(Attr(page, "WIDTH"), std::lround(992 * 1200.0 / 72));
    }
  }
}

TEST(VellumaAlto, AllPagesGoToOneFilePerPage) {
  const fs::path dir = tooltest::TestDir("velluma");
  const ToolResult bad = RunTool({"analyse", kSample, "--all", "--format", "alto"});
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("-o"), std::string::npos) << bad.err;

  const fs::path report = kCorpus / "zh-research-report-4p.pdf";
  if (!fs::exists(report)) GTEST_SKIP() << "no corpus at " << kCorpus;
  const ToolResult r = RunTool({"analyse", report.string(), "--all", "--level", "1", "--format",
                                "alto", "-o", dir / "r.xml"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(fs::exists(dir / "r.xml"));
  for (int n = 1; n <= 4; ++n) {
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file((dir / ("r-000" + std::to_string(n) + ".xml")).c_str())) << n;
    CheckAlto(doc);
    EXPECT_EQ(Attr(doc.child("alto").child("Layout").child("Page"), "PHYSICAL_IMG_NR"), n);
    EXPECT_TRUE(doc.select_node(("//TextBlock[@ID='P" + std::to_string(n) + "_TB1']").c_str()));
  }
}

// ---- Articles, written from a page made up in-process ----

vcli::Text Leaf(const std::string& text, vcli::Box box, double size = 10) {
  vcli::Text t;
  t.text = text;
  t.box = box;
  t.font = "Serif";
  t.fontSize = size;
  t.direction = 1;
  t.points = {{static_cast<LONG>(box.left), static_cast<LONG>(box.top)},
              {static_cast<LONG>(box.right), static_cast<LONG>(box.bottom)}};
  return t;
}

vcli::Page MadeUpPage() {
  vcli::Page p;
  p.number = 2;
  p.level = 5;
  p.info.index = 2;
  p.info.width = 600;
  p.info.height = 800;
  p.info.pageId = "A2";
  // 1: nothing at all. 2: a body of two column pieces and no title, one with a blank line and
  // characters XML does not take as they are. 3: kicker, title, a picture without caption and
  // one with a caption group, no body.
  p.articles.resize(3);
  vcli::Text body = Leaf("", {10, 100, 290, 400});
  body.children = {Leaf("First <&\"> line\r\n\r\nthird\x01 line", {10, 100, 140, 400}),
                   Leaf("中文 and English", {150, 100, 290, 400})};
  p.articles[1].body = body;
  p.articles[1].box = body.box;
  vcli::Article& a = p.articles[2];
  a.id = (2 << 16) | 2;
  a.kicker = Leaf("Kicker", {300, 10, 500, 20}, 8);
  a.title = Leaf("Title", {300, 25, 590, 60}, 30);
  vcli::Picture bare, captioned;
  bare.box = {300, 70, 400, 150};
  captioned.box = {400, 70, 590, 150};
  vcli::Text caption = Leaf("", {400, 152, 590, 170});
  caption.children = {Leaf("A caption", {400, 152, 590, 170}, 8)};
  captioned.captions = {caption};
  captioned.caption = "A caption";
  a.pictures = {bare, captioned};
  a.box = {300, 10, 590, 170};
  return p;
}

TEST(VellumaArticles, ArticlesWithMissingPartsInAltoTextJsonAndHtml) {
  const vcli::Page p = MadeUpPage();
  std::ostringstream alto;
  vcli::WriteAlto(alto, "issue.pdf", 16, p);
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_string(alto.str().c_str())) << alto.str();
  auto byName = CheckAlto(doc);
  const auto& articles = byName["ComposedBlock"];
  std::vector<std::string> kinds;
  for (const pugi::xml_node& b : articles)
    kinds.push_back(std::string(b.attribute("ID").value()) + ":" + b.attribute("TYPE").value());
  EXPECT_EQ(kinds, (std::vector<std::string>{"P2_ART1:article", "P2_ART2:article",
                                             "P2_ART3:article", "P2_PIC2:illustration"}));
  EXPECT_FALSE(articles[0].first_child());
  // The body's pieces in order, tagged as body; the blank line is left out.
  std::vector<std::string> lines;
  for (const pugi::xml_node& tb : articles[1].children("TextBlock")) {
    EXPECT_STREQ(tb.attribute("TAGREFS").value(), "P2_body");
    for (const pugi::xml_node& l : tb.children("TextLine")) {
      std::string s;
      for (const pugi::xml_node& w : l.children())
        s += std::string(w.name()) == "SP" ? " " : w.attribute("CONTENT").value();
      lines.push_back(s);
    }
  }
  EXPECT_EQ(lines,
            (std::vector<std::string>{"First <&\"> line", "third line", "中文 and English"}));
  // Kicker and title first, then a bare Illustration, then the picture with its caption.
  std::vector<std::string> parts;
  for (const pugi::xml_node& c : articles[2].children())
    parts.push_back(std::string(c.name()) + ":" + c.attribute("TAGREFS").value());
  EXPECT_EQ(parts, (std::vector<std::string>{"TextBlock:P2_kicker", "TextBlock:P2_title",
                                             "Illustration:", "ComposedBlock:"}));
  EXPECT_STREQ(articles[3].child("TextBlock").attribute("TAGREFS").value(), "P2_caption");
  EXPECT_EQ(Attr(articles[2], "VPOS"), std::lround(10 * 1200.0 / 72));

  std::ostringstream text, json, svg;
  vcli::WriteArticlesText(text, p);
  EXPECT_NE(text.str().find("articles: 3\n"), std::string::npos) << text.str();
  EXPECT_NE(text.str().find("    body: 2 pieces\n"), std::string::npos);
  EXPECT_NE(text.str().find("    title: Title\n"), std::string::npos);
  EXPECT_NE(text.str().find("caption \"A caption\""), std::string::npos);
  vcli::WriteArticlesJson(json, p);
  EXPECT_NE(json.str().find("\"title\":null,\"subtitle\":null,\"body\":null,\"pictures\":[]"),
            std::string::npos);
  EXPECT_NE(json.str().find("\"id\":131074"), std::string::npos);
  vcli::WriteArticlesSvg(svg, p);
  EXPECT_EQ(svg.str().find("<polyline"), svg.str().rfind("<polyline"));  // one reading path
  EXPECT_NE(svg.str().find("First &lt;&amp;&quot;&gt; line"), std::string::npos);
}

}  // namespace
