// velluma-review-bench [--entries N] [--pages P]: opens the review window over N recognised
// glyphs (default 5,000), pages down P times (default 40) with xdotool and closes it, then
// reports from the window's own timing trace how long it took to open and how long each
// redraw took. Needs a display (run it under `xvfb-run -a`) and xdotool.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "blocks/textblock.h"
#include "engine/pdfinstance.h"
#include "layout/stages.h"

int main(int argc, char** argv) {
  int entries = 5000;
  int pages = 40;
  for (int k = 1; k + 1 < argc; k += 2) {
    if (std::strcmp(argv[k], "--entries") == 0) entries = std::max(1, std::atoi(argv[k + 1]));
    if (std::strcmp(argv[k], "--pages") == 0) pages = std::max(0, std::atoi(argv[k + 1]));
  }
  if (std::getenv("DISPLAY") == nullptr) {
    std::cout << "velluma-review-bench: no display; run it under xvfb-run -a\n";
    return 0;
  }

  // One run of distinct glyphs, one cell each, a bar of ink in every cell.
  CPDFInstance engine;
  engine.GetPageInfo()->m_fontNames = {u"F0"};
  auto* run = new CTextBlock(engine.GetPageInfo());
  std::vector<PTK_CharRecord> chars(static_cast<size_t>(entries));
  for (int i = 0; i < entries; ++i) {
    chars[static_cast<size_t>(i)].nGlyph = i + 1;
    chars[static_cast<size_t>(i)].nCode = u'?';
    engine.m_recog.m_glyphMap[static_cast<uint32_t>(i + 1)] = static_cast<uint32_t>(i);
  }
  run->SetChars(chars.data(), entries);
  run->m_strText.assign(static_cast<size_t>(entries), u'?');
  engine.m_textBlocks.Add(run);
  engine.m_recog.m_pResults = new St_RecogResult[static_cast<size_t>(entries)]();
  engine.m_recog.m_nResultCount = entries;
  for (int i = 0; i < entries; ++i) {
    engine.m_recog.m_pResults[i].wChar = static_cast<uint16_t>(0x4E00 + i % 5000);
    engine.m_recog.m_pResults[i].bShown = static_cast<uint8_t>(i % 256);
    engine.m_recog.m_pResults[i].wFlags = static_cast<uint16_t>(i % 7 == 0 ? RRF_MARKED : 0);
  }
  CxImage& sheet = engine.m_recog.m_glyphSheet;
  sheet.Create(1024, static_cast<DWORD>((entries + 15) / 16 * 64), 1);
  for (int i = 0; i < entries; ++i)
    for (long y = 20; y < 44; ++y)
      for (long x = 10; x < 40; x += 3)
        sheet.SetPixelIndex((i % 16) * 64 + x, (i / 16) * 64 + y, 1);

  // Timing lines go to a file through the developer trace.
  char log[] = "/tmp/velluma-review-bench-XXXXXX";
  const int fd = mkstemp(log);
  if (fd < 0) return 2;
  setenv("VELLUMA_DEBUG", "1", 1);
  const int saved = dup(STDERR_FILENO);
  dup2(fd, STDERR_FILENO);

  const pid_t driver = fork();
  if (driver == 0) {
    const std::string script =
        "W=$(timeout 20 xdotool search --sync --onlyvisible --name '识别结果判定' | head -1)\n"
        "[ -n \"$W\" ] || exit 1\n"
        "xdotool windowfocus --sync $W; sleep 0.5\n"
        "for i in $(seq " +
        std::to_string(pages) +
        "); do xdotool key Page_Down; sleep 0.05; done\n"
        "sleep 0.3; xdotool key Escape\n";
    execl("/bin/sh", "sh", "-c", script.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  const int result = PostEdit(engine, engine.m_textBlocks);
  waitpid(driver, nullptr, 0);
  dup2(saved, STDERR_FILENO);
  close(fd);

  std::ifstream in(log);
  unlink(log);
  std::string line;
  std::vector<double> draws;
  std::vector<double> cpu;
  std::string open;
  while (std::getline(in, line)) {
    if (line.find("view open after") != std::string::npos) open = line;
    const size_t at = line.find(" in ");
    if (line.find("drew entries") != std::string::npos && at != std::string::npos)
      draws.push_back(std::atof(line.c_str() + at + 4));
    const size_t c = line.find("(cpu ");
    if (line.find("drew entries") != std::string::npos && c != std::string::npos)
      cpu.push_back(std::atof(line.c_str() + c + 5));
  }
  std::sort(draws.begin(), draws.end());
  std::sort(cpu.begin(), cpu.end());
  std::cout << "post-edit returned " << result << "\n"
            << (open.empty() ? "no window was shown" : open) << "\n";
  if (!draws.empty()) {
    std::printf("%zu redraws: median %.2f ms, slowest %.2f ms\n", draws.size(),
                draws[draws.size() / 2], draws.back());
  }
  if (!cpu.empty()) {
    std::printf("cpu time of a redraw: median %.2f ms, largest %.2f ms\n", cpu[cpu.size() / 2],
                cpu.back());
  }
  return 0;
}
