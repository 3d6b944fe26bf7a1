// Hostile inputs kept as regression files (tests/data/hostile, written by its make.py, and
// tests/data/fuzz, the fuzz campaigns' findings): every page of each goes through the velluma
// command at the highest level with text, images and paths (the findings with recognition too),
// and ends with a result.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tool_runner.h"

namespace {

namespace fs = std::filesystem;
using tooltest::RunTool;

TEST(HostileInputTest, EveryKeptInputEndsWithAResult) {
  // Text each input must still give; "" when only a clean end is asked for.
  const std::map<std::string, std::string> expected = {
      {"differences-int-max.pdf", "???"},
      {"count-int-max.pdf", "Hello archive"},
      {"image-100k.pdf", ""},
      {"nested-100k.pdf", "Hello archive"},
      {"forms-200.pdf", "Hello archive"},
      {"tj-256mib.pdf", ""},
      {"glyphs-40m.pdf", ""},
      {"cid-65535.pdf", ""},
  };
  std::vector<fs::path> inputs;
  for (const char* sub : {"hostile", "fuzz"}) {
    std::error_code ec;
    for (fs::directory_iterator it(fs::path(VELLUMA_DATA_DIR) / sub, ec), end; !ec && it != end;
         it.increment(ec))
      if (it->path().extension() != ".py" && it->path().extension() != ".md")
        inputs.push_back(it->path());
  }
  std::sort(inputs.begin(), inputs.end());
  for (const auto& [name, text] : expected)
    EXPECT_TRUE(std::any_of(inputs.begin(), inputs.end(),
                            [&](const fs::path& p) { return p.filename() == name; }))
        << name << " is missing";

  for (const fs::path& input : inputs) {
    SCOPED_TRACE(input.filename().string());
    // The fuzz findings run as the harness ran them, with recognition.
    std::vector<std::string> args = {"analyse", input.string(), "--all",    "--level",
                                     "5",       "--paths",      "--format", "json"};
    if (input.parent_path().filename() == "fuzz") args.push_back("--recognise");
    const auto r = RunTool("velluma", args);
    // A file the module cannot read is refused with a message; nothing else may happen.
    ASSERT_TRUE(r.status == 0 || (r.status == 2 && r.err.rfind("velluma: ", 0) == 0))
        << "status " << r.status << ": " << r.err;
    auto it = expected.find(input.filename().string());
    if (it == expected.end()) continue;
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"page_count\":1,"), std::string::npos) << r.out.substr(0, 200);
    if (!it->second.empty()) {
      EXPECT_NE(r.out.find(it->second), std::string::npos);
    }
  }
}

}  // namespace
