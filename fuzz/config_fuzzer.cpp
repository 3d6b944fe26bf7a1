// The three XML configuration readers: the first byte chooses the file (font settings, common
// configuration, issue information), the rest is its content.
#include <cstdint>

#include "engine/pdfinstance.h"
#include "harness.h"
#include "issueinfo/issueconfig.h"
#include "pageinfo/pageinfo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const std::string dir = fuzz::ScratchDir();
  switch (data[0] % 3) {
    case 0: {
      fuzz::WriteFile(dir + "/Config/System/HGFontSet.xml", data + 1, size - 1);
      CPDFInstance engine;
      engine.SetModuleDir(fuzz::Wide(dir));
      engine.ReadFontSettings();
      break;
    }
    case 1: {
      fuzz::WriteFile(dir + "/Config/CommonConfig.xml", data + 1, size - 1);
      CPageInfo info;
      info.m_strConfigDir = fuzz::Wide(dir);
      info.LoadCommonConfig();
      break;
    }
    default: {
      fuzz::WriteFile(dir + "/Config/IssueInfo.xml", data + 1, size - 1);
      velluma::CIssueInfoMap map;
      velluma::LoadIssueInfoXML(fuzz::Wide(dir), map);
      break;
    }
  }
  return 0;
}
