// The scratch folder of a test process. CTest runs the tests as parallel processes, so each
// process writes its files into a folder of its own (named by its process id) and two tests
// never write the same file at once. Included into every test through the compiler.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>

inline const char* VellumaTestTmp() {
  static const std::string dir = [] {
    std::string path = std::string(VELLUMA_TEST_TMP_BASE) + "/" + std::to_string(::getpid());
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    return path;
  }();
  return dir.c_str();
}
