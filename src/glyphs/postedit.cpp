// The post-edit step: lists the recognised glyphs of a block list for review, shows them in the
// review window and writes the (possibly corrected) results back into the runs' texts.
//
// The window lives in a plug-in, libvelluma-review.so, beside the component. It is loaded only
// when there is something to review and a display is named in the environment, so a host on a
// server never loads a toolkit and never blocks: without a display the step reports nothing to
// review and leaves results and texts as they are.
#include <dlfcn.h>

#include <cstdlib>
#include <mutex>

#include "engine/pdfinstance.h"
#include "glyphs/recognition.h"
#include "glyphs/review.h"
#include "layout/listops.h"
#include "layout/rebuild.h"
#include "layout/stages.h"
#include "vwin32/files.h"
#include "vwin32/strings.h"
#include "xml/trace.h"

namespace {

const int kModuleAnchor = 0;

std::mutex g_runnerMutex;
ReviewRunner g_runner;  // empty: the plug-in

bool HasDisplay() {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 != nullptr && *x11 != '\0') || (wayland != nullptr && *wayland != '\0');
}

// The plug-in's entry point, loaded once and kept for the life of the process (a toolkit
// cannot be unloaded safely). Null, with reason set, when it cannot be loaded.
PFN_VellumaRunReview LoadPlugin(std::string& reason) {
  static std::once_flag once;
  static PFN_VellumaRunReview entry = nullptr;
  static std::string error;
  std::call_once(once, [] {
    const std::u16string dir = vwin32::DirectoryOf(vwin32::ModulePathOf(&kModuleAnchor));
    // Beside the component, or in the library folder next to a program's folder.
    const std::u16string candidates[] = {
        vwin32::JoinPath(dir, u"" VREVIEW_MODULE_NAME),
        vwin32::JoinPath(vwin32::JoinPath(vwin32::DirectoryOf(dir), u"lib"),
                         u"" VREVIEW_MODULE_NAME)};
    for (const std::u16string& path : candidates) {
      if (!vwin32::FileExists(path)) continue;
      void* handle = dlopen(vwin32::ToUtf8(path).c_str(), RTLD_NOW | RTLD_LOCAL);
      if (handle == nullptr) {
        const char* e = dlerror();
        error = e != nullptr ? e : "dlopen failed";
        return;
      }
      entry = reinterpret_cast<PFN_VellumaRunReview>(dlsym(handle, VREVIEW_ENTRY_NAME));
      if (entry == nullptr) error = "the review module has no entry point";
      return;
    }
    error = "the review module " VREVIEW_MODULE_NAME " was not found";
  });
  if (entry == nullptr) reason = error;
  return entry;
}

int RunPlugin(CReviewSession& session, std::string& reason) {
  if (!HasDisplay()) {
    reason = "no display (neither DISPLAY nor WAYLAND_DISPLAY is set)";
    return VREVIEW_NO_DISPLAY;
  }
  PFN_VellumaRunReview entry = LoadPlugin(reason);
  if (entry == nullptr) return VREVIEW_NO_DISPLAY;
  char buf[512] = {};
  const int result = entry(session.Host(), buf, sizeof buf);
  if (result != VREVIEW_SHOWN) {
    reason = buf;
    return VREVIEW_NO_DISPLAY;
  }
  return VREVIEW_SHOWN;
}

}  // namespace

ReviewRunner SetReviewRunner(ReviewRunner runner) {
  std::lock_guard<std::mutex> lock(g_runnerMutex);
  ReviewRunner previous = std::move(g_runner);
  g_runner = std::move(runner);
  return previous;
}

int PostEdit(CPDFInstance& engine, CTextBlockArray& list) {
  CTextBlockArray runs;
  if (!FlattenToRuns(list, runs, false)) return 1;
  // Without results (recognition produced none) there is nothing to show beside the glyphs.
  std::vector<St_ContrastInfo> entries = BuildReviewList(runs, engine.m_recog);
  if (entries.empty()) return 1;

  CReviewSession session(std::move(entries), &engine.m_recog.m_glyphSheet);
  ReviewRunner runner;
  {
    std::lock_guard<std::mutex> lock(g_runnerMutex);
    runner = g_runner;
  }
  std::string reason;
  const int shown = runner ? runner(session, reason) : RunPlugin(session, reason);
  if (shown != VREVIEW_SHOWN) {
    velluma::DebugTrace(u"post-edit: nothing reviewed: " + vwin32::FromUtf8(reason) + u"\n");
    return 1;
  }
  // However the window was closed, the results go into the texts.
  ApplyRecogResults(engine.m_recog, runs);
  RebuildTree(list);
  return 0;
}
