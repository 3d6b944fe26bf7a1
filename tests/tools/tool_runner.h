// Runs a built tool as a subprocess and captures its exit status, stdout and stderr.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace tooltest {

namespace fs = std::filesystem;

struct ToolResult {
  int status = -1;
  std::string out, err;
  std::vector<std::string> lines;  // stdout split at '\n'
};

inline std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// A folder of the current test's own under the test temp folder.
inline fs::path TestDir(const std::string& area) {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  const fs::path dir = fs::path(VELLUMA_TEST_TMP) / area /
                       (std::string(info->test_suite_name()) + "." + info->name());
  fs::create_directories(dir);
  return dir;
}

// Runs build/bin/<tool> with the arguments; output goes through files in the test's folder.
inline ToolResult RunTool(const std::string& toolName, const std::vector<std::string>& args) {
  static int counter = 0;
  const fs::path dir = TestDir(toolName);
  const std::string outPath = dir / ("out" + std::to_string(counter) + ".txt");
  const std::string errPath = dir / ("err" + std::to_string(counter++) + ".txt");
  const std::string tool = std::string(VELLUMA_BIN_DIR) + "/" + toolName;
  std::vector<std::string> store = {tool};
  store.insert(store.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : store) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  ToolResult r;
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, tool.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    ADD_FAILURE() << "cannot run " << tool;
    return r;
  }
  int status = 0;
  waitpid(pid, &status, 0);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  r.out = ReadFile(outPath);
  r.err = ReadFile(errPath);
  std::istringstream lines(r.out);
  for (std::string l; std::getline(lines, l);) r.lines.push_back(l);
  return r;
}

}  // namespace tooltest
