// velluma batch: a crashing and a hanging file cost only themselves, a killed batch resumes
// without losing or repeating work, and the shards of the cluster recipes cover the input
// exactly once.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tool_runner.h"

namespace {

namespace fs = std::filesystem;
using tooltest::ReadFile;
using tooltest::RunTool;
using tooltest::TestDir;

const std::string kVelluma = std::string(VELLUMA_BIN_DIR) + "/velluma";

// Copies the sample pages under the given names into dir (sub-folders allowed).
void Populate(const fs::path& dir, const std::vector<std::string>& names) {
  for (size_t i = 0; i < names.size(); ++i) {
    fs::create_directories((dir / names[i]).parent_path());
    fs::copy_file(fs::path(VELLUMA_SAMPLES_DIR) / (i % 2 ? "inner-page.pdf" : "front-page.pdf"),
                  dir / names[i], fs::copy_options::overwrite_existing);
  }
}

// Manifest lines by key: status and reason.
std::multimap<std::string, std::string> Manifest(const fs::path& out) {
  std::multimap<std::string, std::string> m;
  std::istringstream in(ReadFile(out / "manifest.jsonl"));
  for (std::string line; std::getline(in, line);) {
    const size_t k = line.find("\"key\":\"") + 7;
    m.emplace(line.substr(k, line.find('"', k) - k), line);
  }
  return m;
}

TEST(BatchTest, CrashingAndHangingFilesCostOnlyThemselves) {
  const fs::path dir = TestDir("batch");
  fs::remove_all(dir / "in");
  fs::remove_all(dir / "out");
  Populate(dir / "in", {"ok.pdf", "crash.pdf", "hang.pdf", "sub/ok2.PDF", "notes.txt"});
  setenv("VELLUMA_BATCH_TEST_CRASH", "crash.pdf", 1);
  setenv("VELLUMA_BATCH_TEST_HANG", "hang.pdf", 1);
  const auto r = RunTool("velluma", {"batch", (dir / "in").string(), "-o", (dir / "out").string(),
                                     "--jobs", "2", "--timeout", "20", "--level", "2"});
  unsetenv("VELLUMA_BATCH_TEST_CRASH");
  unsetenv("VELLUMA_BATCH_TEST_HANG");
  EXPECT_EQ(r.status, 1) << r.err;
  const auto m = Manifest(dir / "out");
  ASSERT_EQ(m.size(), 4u) << ReadFile(dir / "out" / "manifest.jsonl");
  EXPECT_NE(m.find("in/ok.pdf")->second.find("\"status\":\"ok\""), std::string::npos);
  EXPECT_NE(m.find("in/sub/ok2.PDF")->second.find("\"status\":\"ok\""), std::string::npos);
  // (Under the sanitizers the crash handler ends the worker with SIGABRT.)
  EXPECT_NE(m.find("in/crash.pdf")->second.find("\"reason\":\"signal: SIG"), std::string::npos);
  EXPECT_NE(m.find("in/hang.pdf")->second.find("\"reason\":\"timeout"), std::string::npos);
  const std::string page = ReadFile(dir / "out" / "in" / "ok" / "page-0001.json");
  EXPECT_NE(page.find("\"pages\":["), std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "out" / "in" / "crash" / "page-0001.json"));
  EXPECT_NE(r.err.find("2 ok, 2 failed"), std::string::npos) << r.err;

  // Bad arguments.
  EXPECT_EQ(RunTool("velluma", {"batch", (dir / "in").string()}).status, 2);
  EXPECT_EQ(RunTool("velluma", {"batch", "x", "-o", "y", "--shard", "3/3"}).status, 2);
  EXPECT_EQ(RunTool("velluma", {"batch", (dir / "none").string(), "-o", "y"}).status, 2);
}

TEST(BatchTest, KilledBatchResumesWithoutLosingOrRepeatingWork) {
  const fs::path dir = TestDir("batch");
  fs::remove_all(dir / "in");
  fs::remove_all(dir / "out");
  Populate(dir / "in", {"a.pdf", "b.pdf", "c.pdf", "d.pdf"});
  const std::vector<std::string> args = {
      "velluma", "batch", (dir / "in").string(), "-o", (dir / "out").string(), "--jobs", "1",
      "--level", "1"};
  // The first run hangs on c.pdf after a and b are done, and is killed there.
  setenv("VELLUMA_BATCH_TEST_HANG", "c.pdf", 1);
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, kVelluma.c_str(), nullptr, nullptr, argv.data(), environ), 0);
  unsetenv("VELLUMA_BATCH_TEST_HANG");
  for (int i = 0; i < 1200 && Manifest(dir / "out").size() < 2; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_EQ(Manifest(dir / "out").size(), 2u);

  const auto r = RunTool("velluma", {args.begin() + 1, args.end()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("2 ok, 0 failed), 2 already done"), std::string::npos) << r.err;
  const auto m = Manifest(dir / "out");
  for (const char* key : {"in/a.pdf", "in/b.pdf", "in/c.pdf", "in/d.pdf"}) {
    EXPECT_EQ(m.count(key), 1u) << key;
    EXPECT_TRUE(fs::exists(dir / "out" / fs::path(key).replace_extension("") / "page-0001.json"));
  }
  // Nothing of the workers is left behind.
  for (const auto& e : fs::recursive_directory_iterator(dir / "out"))
    EXPECT_EQ(e.path().string().find(".tmp"), std::string::npos) << e.path();
}

TEST(BatchTest, RecipeShardsCoverTheInputExactlyOnce) {
  const fs::path dir = TestDir("batch");
  fs::remove_all(dir / "in");
  fs::remove_all(dir / "shards");
  std::vector<std::string> names;
  for (int i = 0; i < 9; ++i)
    names.push_back("y" + std::to_string(2020 + i % 3) + "/p" + std::to_string(i) + ".pdf");
  Populate(dir / "in", names);
  // The commands of docs/batch.md, with the variables as Slurm and Kubernetes set them.
  for (int i = 0; i < 3; ++i) {
    const std::string slurm =
        "SLURM_ARRAY_TASK_ID=" + std::to_string(i) +
        " SLURM_ARRAY_TASK_COUNT=3 SLURM_CPUS_PER_TASK=1 sh -c '" + kVelluma + " batch " +
        (dir / "in").string() + " -o " + (dir / "shards").string() +
        "/slurm-$SLURM_ARRAY_TASK_ID --jobs \"$SLURM_CPUS_PER_TASK\" --shard "
        "\"$SLURM_ARRAY_TASK_ID/$SLURM_ARRAY_TASK_COUNT\" --level 0' 2>/dev/null";
    EXPECT_EQ(std::system(slurm.c_str()), 0);
    const std::string k8s = "JOB_COMPLETION_INDEX=" + std::to_string(i) + " sh -c '" + kVelluma +
                            " batch " + (dir / "in").string() + " -o " + (dir / "shards").string() +
                            "/k8s-$JOB_COMPLETION_INDEX --jobs 1 --shard $JOB_COMPLETION_INDEX/3 "
                            "--retry-failed --level 0' 2>/dev/null";
    EXPECT_EQ(std::system(k8s.c_str()), 0);
  }
  for (const char* scheduler : {"slurm", "k8s"}) {
    std::multiset<std::string> seen;
    for (int i = 0; i < 3; ++i)
      for (const auto& [key, line] :
           Manifest(dir / "shards" / (scheduler + ("-" + std::to_string(i)))))
        seen.insert(key);
    std::multiset<std::string> all;
    for (const std::string& n : names) all.insert("in/" + n);
    EXPECT_EQ(seen, all) << scheduler;
  }
}

}  // namespace
