// The review window itself, driven by real key and mouse events (xdotool) on an X display: a
// virtual one (Xvfb) of its own, or the one set when Xvfb is missing. Skips when no display can be
// started, xdotool is missing or the window's module was not built. With VELLUMA_REVIEW_SHOTS set
// to a folder, it also saves pictures of the window there (xwd and netpbm needed).
#include <ft2build.h>
#include FT_FREETYPE_H
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "review_fixture.h"
#include "vwin32/strings.h"

namespace {

bool Exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

bool OnPath(const char* tool) {
  return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// A display for the tests: the one set, or an Xvfb started for this process.
class Display {
 public:
  static bool Ensure() {
    static Display display;
    return display.m_ok;
  }

 private:
  // A virtual display of our own when Xvfb is there (the test types and clicks, which should
  // not reach a user's desktop), else the one set.
  Display() {
    if (!OnPath("Xvfb")) {
      const char* set = std::getenv("DISPLAY");
      m_ok = set != nullptr && *set != '\0';
      return;
    }
    // Xvfb picks a free display number and writes it to the pipe when it is ready.
    int fds[2];
    if (pipe(fds) != 0) return;
    m_pid = fork();
    if (m_pid == 0) {
      close(fds[0]);
      const std::string fd = std::to_string(fds[1]);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten",
             "tcp", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    std::string number;
    pollfd pfd{fds[0], POLLIN, 0};
    char c = 0;
    while (m_pid > 0 && poll(&pfd, 1, 10000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n')
      number += c;
    close(fds[0]);
    if (number.empty()) return;
    setenv("DISPLAY", (":" + number).c_str(), 1);
    m_ok = true;
  }
  ~Display() {
    if (m_pid > 0) {
      kill(m_pid, SIGTERM);
      waitpid(m_pid, nullptr, 0);
    }
  }
  pid_t m_pid = -1;
  bool m_ok = false;
};

// Draws character ch into cell i of the sheet, as glyph recognition places glyphs.
void DrawGlyph(FT_Face face, CxImage& sheet, int i, char32_t ch) {
  if (FT_Load_Char(face, ch, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO) != 0) return;
  const FT_Bitmap& bm = face->glyph->bitmap;
  const long left = (i % 16) * 64 + 8 + face->glyph->bitmap_left;
  const long top = (i / 16) * 64 + 52 - face->glyph->bitmap_top;
  for (unsigned y = 0; y < bm.rows; ++y) {
    for (unsigned x = 0; x < bm.width; ++x) {
      if ((bm.buffer[y * static_cast<unsigned>(bm.pitch) + x / 8] >> (7 - x % 8)) & 1) {
        sheet.SetPixelIndex(left + x, static_cast<long>(sheet.GetHeight()) - 1 - (top + y), 1);
      }
    }
  }
}

// A page of one run of the given recognised characters; the sheet shows the true characters
// where a CJK font is installed, numbered bars otherwise.
void Page(ReviewPage& page, const std::u16string& recognised, const std::u16string& truth) {
  const int n = static_cast<int>(recognised.size());
  std::vector<int> glyphs;
  for (int i = 0; i < n; ++i) {
    glyphs.push_back(i + 1);
    page.Map(0, i + 1, i);
  }
  page.AddRun(0, glyphs, std::u16string(static_cast<size_t>(n), u'?'));
  St_RecogResult* r = page.Results(n);
  for (int i = 0; i < n; ++i) {
    r[i].wChar = recognised[static_cast<size_t>(i)];
    r[i].nFontClass = 12 + i % 3;
    r[i].nCandidates = 2;
    r[i].candidates[0] = {recognised[static_cast<size_t>(i)], 90, {}};
    r[i].candidates[1] = {truth[static_cast<size_t>(i)], 40, {}};
    if (recognised[static_cast<size_t>(i)] != truth[static_cast<size_t>(i)])
      r[i].wFlags = RRF_MARKED;
  }
  page.Sheet(n);
  FT_Library ft = nullptr;
  FT_Face face = nullptr;
  if (FT_Init_FreeType(&ft) != 0) return;
  for (const char* path : {"/usr/share/fonts/truetype/arphic/uming.ttc",
                           "/usr/share/fonts/truetype/arphic-gbsn00lp/gbsn00lp.ttf"}) {
    if (FT_New_Face(ft, path, 0, &face) == 0) break;
    face = nullptr;
  }
  if (face != nullptr) {
    page.engine.m_recog.m_glyphSheet.Clear(0);
    FT_Set_Pixel_Sizes(face, 0, 44);
    for (int i = 0; i < n; ++i)
      DrawGlyph(face, page.engine.m_recog.m_glyphSheet, i, truth[static_cast<size_t>(i)]);
    FT_Done_Face(face);
  }
  FT_Done_FreeType(ft);
}

// Runs the review of the page in a child process while script drives the window; returns the
// run's text after the review (empty when the review failed or did not close in time).
std::string Review(const std::u16string& recognised, const std::u16string& truth,
                   const std::string& script) {
  int fds[2];
  if (pipe(fds) != 0) return "";
  const pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    ReviewPage page;
    Page(page, recognised, truth);
    const int result = PostEdit(page.engine, page.engine.m_textBlocks);
    const std::string text =
        std::to_string(result) + ":" + vwin32::ToUtf8(page.Line()->m_children[0]->m_strText);
    if (write(fds[1], text.data(), text.size()) < 0) _exit(2);
    _exit(0);
  }
  close(fds[1]);
  const pid_t driver = fork();
  if (driver == 0) {
    execl("/bin/sh", "sh", "-c", script.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  std::string out;
  pollfd pfd{fds[0], POLLIN, 0};
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  char buf[256];
  while (std::chrono::steady_clock::now() < deadline) {
    if (poll(&pfd, 1, 200) <= 0) continue;
    const ssize_t n = read(fds[0], buf, sizeof buf);
    if (n <= 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  close(fds[0]);
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  int status = 0;
  kill(driver, SIGTERM);
  waitpid(driver, &status, 0);
  return out;
}

class ReviewWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string module = std::string(VELLUMA_BIN_DIR) + "/../lib/" VREVIEW_MODULE_NAME;
    if (!Exists(module)) GTEST_SKIP() << "the review window was not built";
    if (!OnPath("xdotool")) GTEST_SKIP() << "xdotool is not installed";
    if (!Display::Ensure()) GTEST_SKIP() << "no display could be started";
    const char* shots = std::getenv("VELLUMA_REVIEW_SHOTS");
    m_shots = shots != nullptr ? shots : "";
  }

  // Shell lines that wait for the window and focus it ($W), then the given steps.
  static std::string Drive(const std::string& steps) {
    return "W=$(timeout 20 xdotool search --sync --onlyvisible --name '识别结果判定' | head -1)\n"
           "[ -n \"$W\" ] || exit 1\n"
           "xdotool windowfocus --sync $W; sleep 0.5\n" +
           steps;
  }
  // A shell line that saves window $1 as docs picture name (when pictures are asked for).
  std::string Shot(const std::string& window, const std::string& name) const {
    if (m_shots.empty()) return "";
    return "sleep 0.5; xwd -silent -id " + window + " | xwdtopnm 2>/dev/null | pnmtopng > '" +
           m_shots + "/" + name + "'\n";
  }
  std::string m_shots;
};

const std::u16string kTruth = u"本报讯记者从市交通运输局获悉今年全市新建改建农村公路一百二十公里";
const std::u16string kRecognised =
    u"本报汛记者从市交通运揄局获悉今年全市新建改建农村公路一百二十公里";

// The review order of the page's cells.
std::vector<int> Order() {
  ReviewPage probe;
  Page(probe, kRecognised, kTruth);
  CTextBlockArray runs;
  runs.Add(probe.Line()->m_children[0]);
  std::vector<int> cells;
  for (const St_ContrastInfo& e : BuildReviewList(runs, probe.engine.m_recog))
    cells.push_back(e.nCell);
  return cells;
}

TEST_F(ReviewWindow, KeysTypingMouseClipboardAndClosingWriteTheCorrectionsBack) {
  // Marked entries come first, by character: 揄 (cell 10), then 汛 (cell 2).
  const std::vector<int> order = Order();
  ASSERT_GE(order.size(), 5u);
  ASSERT_EQ(order[0], 10);
  ASSERT_EQ(order[1], 2);

  // Right selects 汛; typing 讯 corrects it (a control character does not); Escape closes.
  std::string out = Review(kRecognised, kTruth,
                           Drive("xdotool key Right key BackSpace\n"
                                 "xdotool type --delay 80 '讯'\n" +
                                 Shot("$W", "review-dialog.png") + "xdotool key Escape\n"));
  std::u16string expected = kRecognised;
  expected[2] = u'讯';
  EXPECT_EQ(out, "0:" + vwin32::ToUtf8(expected));

  // A click on entry 3 and Ctrl+C, a click on entry 4 and Ctrl+V; Enter asks, and OK closes.
  out = Review(kRecognised, kTruth,
               Drive("xdotool mousemove --window $W 196 29 click 1 key ctrl+c\n"
                     "xdotool mousemove --window $W 248 29 click 1 key ctrl+v key Return\n"
                     "B=$(timeout 20 xdotool search --sync --onlyvisible --name '识别结果判定' | "
                     "grep -vx $W | head -1)\n"
                     "xdotool windowfocus --sync $B; sleep 0.3\n" +
                     Shot("$B", "review-confirm.png") + "xdotool key Return\n"));
  expected = kRecognised;
  expected[static_cast<size_t>(order[4])] = kRecognised[static_cast<size_t>(order[3])];
  EXPECT_EQ(out, "0:" + vwin32::ToUtf8(expected));
}

}  // namespace
