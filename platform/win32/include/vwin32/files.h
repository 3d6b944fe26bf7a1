// Module path, path splitting and file helpers. File names are UTF-16 inside the system and
// UTF-8 on the file system; the conversions rewrite no separator.
#pragma once

#include <string>
#include <string_view>

namespace vwin32 {

// Where the system takes a file name apart, both '/' and '\\' are separators.
inline bool IsPathSeparator(char16_t c) {
  return c == u'/' || c == u'\\';
}

// The absolute path of the shared object (or executable) that contains the address, as
// GetModuleFileName gives it for a module: for a shared object the file it was loaded from
// (made absolute with realpath when the loader recorded a relative name), for the main program
// /proc/self/exe. Empty when the address lies in no loaded object (or is null).
std::u16string ModulePathOf(const void* addressInModule);

// Everything before the last separator ("/a/b/c.so" -> "/a/b", "C:\\x\\y" -> "C:\\x",
// "a/b/" -> "a/b"); the root stays ("/c.so" -> "/"); no separator gives "".
std::u16string DirectoryOf(std::u16string_view path);
// Everything after the last separator (the whole path when there is none).
std::u16string FileNameOf(std::u16string_view path);
// The path without trailing separators; a path of separators only keeps its first one.
std::u16string StripTrailingSeparators(std::u16string_view path);
// dir, a '/' unless dir is empty or already ends in a separator, then name.
std::u16string JoinPath(std::u16string_view dir, std::u16string_view name);

// UTF-16 file name -> UTF-8 file-system name (ToUtf8).
std::string ToFsPath(std::u16string_view path);

// True when the path names an existing file that is not a directory. False for an empty path
// or one with an embedded zero unit.
bool FileExists(std::u16string_view path);
// True when the path names an existing directory.
bool DirectoryExists(std::u16string_view path);
// Deletes a file (never a directory), as DeleteFileW does after the file's attributes were
// reset to normal (permission bits of the file do not prevent it); true on success.
bool RemoveFile(std::u16string_view path);

}  // namespace vwin32
