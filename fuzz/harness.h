// Shared by the harnesses: a scratch folder of the process and writing an input into it.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

namespace fuzz {

inline const std::string& ScratchDir() {
  static const std::string dir = [] {
    const auto base =
        std::filesystem::temp_directory_path() / ("velluma-fuzz-" + std::to_string(::getpid()));
    std::filesystem::create_directories(base / "Config" / "System");
    return base.string();
  }();
  return dir;
}

inline void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  if (size) std::fwrite(data, 1, size, f);
  std::fclose(f);
}

inline std::u16string Wide(const std::string& s) {
  return std::u16string(s.begin(), s.end());  // scratch paths are ASCII
}

}  // namespace fuzz
