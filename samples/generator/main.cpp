// velluma-mksamples OUTDIR: writes the sample newspaper pages and their truth files into
// OUTDIR (which must exist). Exit status 0 on success, 1 when a file cannot be written or a
// page's layout is faulty, 2 on a usage error.
#include <cstdio>
#include <fstream>
#include <string>

#include "sample_pages.h"

namespace {

bool WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  if (!f) return false;
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  f.close();
  return !f.fail();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  int status = 0;
  for (const samples::SamplePage& page : {samples::BuildFrontPage(), samples::BuildInnerPage()}) {
    for (const std::string& problem : page.problems) {
      std::fprintf(stderr, "%s: %s\n", page.name.c_str(), problem.c_str());
      status = 1;
    }
    const std::string base = dir + "/" + page.name;
    if (!WriteFile(base + ".pdf", page.pdf) ||
        !WriteFile(base + ".truth.json", vtest::ToJson(page.truth))) {
      std::fprintf(stderr, "cannot write %s.*\n", base.c_str());
      status = 1;
    }
  }
  return status;
}
