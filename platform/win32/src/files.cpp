// Module path, path splitting and file helpers.
#include "vwin32/files.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>
#include <climits>
#include <cstdlib>

#include "vwin32/strings.h"

namespace vwin32 {

namespace {

// Absolute form of a file name: realpath when it resolves, else the name as it is.
std::string Absolute(const char* name) {
  char resolved[PATH_MAX];
  if (realpath(name, resolved)) return resolved;
  return name;
}

bool StatPath(std::u16string_view path, struct stat& st) {
  if (path.empty() || path.find(u'\0') != std::u16string_view::npos) return false;
  return ::stat(ToFsPath(path).c_str(), &st) == 0;
}

}  // namespace

std::u16string ModulePathOf(const void* addressInModule) {
  if (!addressInModule) return std::u16string();
  Dl_info info{};
  link_map* map = nullptr;
  if (dladdr1(addressInModule, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) == 0 ||
      !map) {
    return std::u16string();
  }
  // The main program's link map has an empty name; its file is /proc/self/exe.
  if (!map->l_name || map->l_name[0] == '\0') {
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return std::u16string();
    return FromUtf8(std::string_view(buf, static_cast<size_t>(n)));
  }
  if (map->l_name[0] == '/') return FromUtf8(map->l_name);
  return FromUtf8(Absolute(map->l_name));
}

std::u16string DirectoryOf(std::u16string_view path) {
  size_t pos = path.size();
  while (pos > 0 && !IsPathSeparator(path[pos - 1])) --pos;
  if (pos == 0) return std::u16string();
  if (pos == 1) return std::u16string(path.substr(0, 1));
  return std::u16string(path.substr(0, pos - 1));
}

std::u16string FileNameOf(std::u16string_view path) {
  size_t pos = path.size();
  while (pos > 0 && !IsPathSeparator(path[pos - 1])) --pos;
  return std::u16string(path.substr(pos));
}

std::u16string StripTrailingSeparators(std::u16string_view path) {
  size_t end = path.size();
  while (end > 1 && IsPathSeparator(path[end - 1])) --end;
  return std::u16string(path.substr(0, end));
}

std::u16string JoinPath(std::u16string_view dir, std::u16string_view name) {
  std::u16string out(dir);
  if (!out.empty() && !IsPathSeparator(out.back())) out += u'/';
  out += name;
  return out;
}

std::string ToFsPath(std::u16string_view path) {
  return ToUtf8(path);
}

bool FileExists(std::u16string_view path) {
  struct stat st;
  return StatPath(path, st) && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(std::u16string_view path) {
  struct stat st;
  return StatPath(path, st) && S_ISDIR(st.st_mode);
}

bool RemoveFile(std::u16string_view path) {
  struct stat st;
  if (!StatPath(path, st) || S_ISDIR(st.st_mode)) return false;
  return ::unlink(ToFsPath(path).c_str()) == 0;
}

}  // namespace vwin32
