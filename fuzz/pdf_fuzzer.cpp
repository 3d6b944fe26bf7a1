// PDF bytes through Open and LoadPage at the highest level with text, images, paths and glyph
// recognition, on the first pages of the document. Recognition renders and packs every glyph
// that has no code (the part that reads the file's fonts) and hands the sheet to the recognition
// library built beside the harness; without reference data and without Tesseract's models
// (pointed at a folder that has none) the library reads every sheet quickly and names nothing.
#include <cstdint>
#include <cstdlib>
#include <filesystem>

#include "engine/pdfinstance.h"
#include "harness.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("TESSDATA_PREFIX", (fuzz::ScratchDir() + "/none").c_str(), 1);
  setenv("VELLUMA_GLYPHREC_DATA", (fuzz::ScratchDir() + "/none").c_str(), 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = fuzz::ScratchDir() + "/input.pdf";
  fuzz::WriteFile(path, data, size);
  CPDFInstance engine;
  engine.SetModuleDir(fuzz::Wide(fuzz::ScratchDir() + "/none"));
  if (engine.Open(fuzz::Wide(path).c_str()) == S_OK) {
    const int pages = engine.GetPageCount() < 3 ? engine.GetPageCount() : 3;
    for (int page = 1; page <= pages; ++page)
      engine.LoadPage(page, LPF_TEXT | LPF_IMAGES | LPF_PATHS | LPF_RECOGNISE | 5, TRUE);
    // A lower level after the highest: the analysis reset.
    if (pages > 0) engine.LoadPage(pages, LPF_TEXT | 2, TRUE);
  }
  engine.Close();
  return 0;
}
