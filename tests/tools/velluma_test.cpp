// Tests of the velluma command: the built tool run as a subprocess on the samples.

#include <fcntl.h>
#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>
#include "tool_runner.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

const std::string kSample = std::string(VELLUMA_SAMPLES_DIR) + "/front-page.pdf";

using tooltest::ReadFile;
using tooltest::ToolResult;

fs::path TestDir() {
  return tooltest::TestDir("velluma");
}

ToolResult RunTool(const std::vector<std::string>& args) {
  return tooltest::RunTool("velluma", args);
}

// Exit status 2, nothing on stdout, and exactly one line on stderr that contains every needle.
void ExpectFailure(const ToolResult& r, const std::vector<std::string>& needles) {
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_EQ(r.out, "");
  ASSERT_FALSE(r.err.empty());
  EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
  EXPECT_EQ(r.err.rfind("velluma: ", 0), 0u) << r.err;
  for (const std::string& n : needles) EXPECT_NE(r.err.find(n), std::string::npos) << r.err;
}

TEST(VellumaErrors, MissingFileNonPdfAndBadOptionsFailWithOneLine) {
  const fs::path dir = TestDir();
  const std::string missing = (dir / "missing.pdf").string();
  ExpectFailure(RunTool({"analyse", missing}), {missing, "no such file"});
  ExpectFailure(RunTool({"info", missing}), {missing});

  const std::string text = (dir / "notes.pdf").string();
  std::ofstream(text) << "just some text, not a document\n";
  ExpectFailure(RunTool({"analyse", text}), {text, "not a PDF"});
  const std::string broken = (dir / "broken.pdf").string();
  std::ofstream(broken) << "%PDF-1.4\nno objects here\n";
  ExpectFailure(RunTool({"info", broken}), {broken, "cannot be read"});

  ExpectFailure(RunTool({"analyse", kSample, "--bogus"}), {"--bogus"});
  ExpectFailure(RunTool({"analyse", kSample, "--format", "xml"}), {"xml"});
  ExpectFailure(RunTool({"analyse", kSample, "--page", "x"}), {"--page"});
  ExpectFailure(RunTool({"frobnicate"}), {"frobnicate"});
}

TEST(VellumaErrors, PagesOutsideTheDocumentAndUnwritableOutputFail) {
  const ToolResult info = RunTool({"info", kSample});
  ASSERT_EQ(info.status, 0) << info.err;
  const size_t at = info.out.find("pages: ");
  ASSERT_NE(at, std::string::npos) << info.out;
  const int count = std::stoi(info.out.substr(at + 7));
  ASSERT_GE(count, 1);
  EXPECT_NE(info.out.find("page " + std::to_string(count) + ": "), std::string::npos);
  EXPECT_NE(info.out.find("\"front-page\""), std::string::npos) << info.out;

  ExpectFailure(RunTool({"analyse", kSample, "--page", "0"}), {kSample, "page 0", "out of range"});
  const std::string past = std::to_string(count + 1);
  ExpectFailure(RunTool({"analyse", kSample, "--page", past}), {kSample, "page " + past});
  ExpectFailure(RunTool({"render", kSample, "--page", past, "-o", (TestDir() / "x.jpg").string()}),
                {"out of range"});

  const std::string unwritable = (TestDir() / "no-such-dir" / "out.json").string();
  ExpectFailure(RunTool({"analyse", kSample, "--format", "json", "-o", unwritable}), {unwritable});
  ExpectFailure(RunTool({"render", kSample, "--page", "1", "-o", unwritable}), {unwritable});
}

TEST(VellumaAnalyse, JsonOfTheFrontPageHasTheSchemaAndTheHeadline) {
  const ToolResult r = RunTool({"analyse", kSample, "--format", "json"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::string s = r.out;
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
  ASSERT_FALSE(s.empty());
  EXPECT_EQ(s.front(), '{');
  EXPECT_EQ(s.back(), '}');
  for (const char* key :
       {"\"file\"",       "\"page_count\"",  "\"pages\"",  "\"page\"",    "\"level\"",
        "\"page_info\"",  "\"width\"",       "\"height\"", "\"page_id\"", "\"page_name\"",
        "\"issue_date\"", "\"text_blocks\"", "\"box\"",    "\"region\"",  "\"font\"",
        "\"font_size\"",  "\"line_count\"",  "\"text\"",   "\"html\"",    "\"children\"",
        "\"pictures\""})
    EXPECT_NE(s.find(key), std::string::npos) << key;
  EXPECT_NE(s.find("全市百万户居民温暖过冬"), std::string::npos);

  // The text listing shows the same headline.
  const ToolResult text = RunTool({"analyse"});
  ASSERT_EQ(text.status, 0) << text.err;
  EXPECT_NE(text.out.find("全市百万户居民温暖过冬"), std::string::npos);
  EXPECT_NE(text.out.find("text blocks: "), std::string::npos);
}

TEST(VellumaRender, WritesAJpegAndAnHtmlViewBesideIt) {
  const fs::path dir = TestDir();
  const fs::path jpg = dir / "page.jpg";
  const ToolResult r = RunTool({"render", kSample, "--page", "1", "--scale", "0.5", "-o", jpg});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string data = ReadFile(jpg);
  ASSERT_GT(data.size(), 100u);
  EXPECT_EQ(static_cast<unsigned char>(data[0]), 0xFF);
  EXPECT_EQ(static_cast<unsigned char>(data[1]), 0xD8);

  const fs::path html = dir / "view.html";
  const ToolResult h = RunTool({"analyse", kSample, "--format", "html", "-o", html});
  ASSERT_EQ(h.status, 0) << h.err;
  const std::string page = ReadFile(html);
  EXPECT_NE(page.find("<svg"), std::string::npos);
  EXPECT_NE(page.find("view.jpg"), std::string::npos);
  EXPECT_NE(page.find("<polygon"), std::string::npos);
  EXPECT_GT(fs::file_size(dir / "view.jpg"), 100u);
}

}  // namespace
