// The file-backed class registry: the in-memory hive, its text form and the locked, atomic
// read-modify-write of the hive files.
#include "vwin32/registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "vwin32/strings.h"

namespace vwin32 {
namespace {

char16_t FoldAscii(char16_t c) {
  return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

std::u16string FoldText(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) c = FoldAscii(c);
  return out;
}

// Escapes for the hive's line format: fields are separated by tabs, records by new lines.
void AppendEscaped(std::string& out, std::u16string_view text) {
  for (const char c : ToUtf8(text)) {
    if (c == '\\')
      out += "\\\\";
    else if (c == '\t')
      out += "\\t";
    else if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else
      out += c;
  }
}

bool Unescape(std::string_view text, std::u16string& out) {
  std::string raw;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      raw += text[i];
      continue;
    }
    if (++i >= text.size()) return false;
    switch (text[i]) {
      case '\\':
        raw += '\\';
        break;
      case 't':
        raw += '\t';
        break;
      case 'n':
        raw += '\n';
        break;
      case 'r':
        raw += '\r';
        break;
      default:
        return false;
    }
  }
  out = FromUtf8(raw);
  return true;
}

std::vector<std::string_view> SplitTabs(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  for (;;) {
    const size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
    if (tab == std::string_view::npos) return fields;
    start = tab + 1;
  }
}

constexpr const char* kHiveHeader = "velluma-registry 1";

std::string EnvOr(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string(value) : std::string();
}

// Closes a descriptor on every path out.
struct FdGuard {
  int fd;
  ~FdGuard() {
    if (fd >= 0) close(fd);
  }
};

bool ReadFile(const std::string& path, std::string& text, bool& exists) {
  struct stat st {};
  exists = stat(path.c_str(), &st) == 0;
  if (!exists) return errno == ENOENT;
  if (!S_ISREG(st.st_mode)) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  text = buffer.str();
  return !in.bad();
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Identifiers

std::u16string GuidToString(const GUID& g) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                g.Data1, g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3],
                g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return Widen(buffer);
}

bool GuidFromString(std::u16string_view text, GUID& guid) {
  if (text.size() != 38 || text.front() != u'{' || text.back() != u'}') return false;
  // Positions of the hex digits between the braces, dashes at 9, 14, 19 and 24.
  uint8_t bytes[16];
  size_t k = 1;
  for (uint8_t& byte : bytes) {
    if (k == 9 || k == 14 || k == 19 || k == 24) {
      if (text[k] != u'-') return false;
      ++k;
    }
    int value = 0;
    for (int d = 0; d < 2; ++d, ++k) {
      const char16_t c = text[k];
      int digit;
      if (c >= u'0' && c <= u'9')
        digit = c - u'0';
      else if (c >= u'a' && c <= u'f')
        digit = c - u'a' + 10;
      else if (c >= u'A' && c <= u'F')
        digit = c - u'A' + 10;
      else
        return false;
      value = value * 16 + digit;
    }
    byte = static_cast<uint8_t>(value);
  }
  guid.Data1 = (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) |
               bytes[3];
  guid.Data2 = static_cast<uint16_t>((bytes[4] << 8) | bytes[5]);
  guid.Data3 = static_cast<uint16_t>((bytes[6] << 8) | bytes[7]);
  for (int i = 0; i < 8; ++i) guid.Data4[i] = bytes[8 + i];
  return true;
}

// ---------------------------------------------------------------------------------------------
// The hive in memory

std::u16string CRegStore::Fold(std::u16string_view path) {
  return FoldText(path);
}

void CRegStore::CreateKey(std::u16string_view path) {
  // Every parent exists as a key of its own, so that deleting a tree finds it.
  size_t pos = 0;
  for (;;) {
    const size_t sep = path.find(u'\\', pos);
    const std::u16string_view prefix = path.substr(0, sep);
    if (!prefix.empty()) {
      const std::u16string folded = Fold(prefix);
      if (m_keys.find(folded) == m_keys.end()) m_keys[folded].path = std::u16string(prefix);
    }
    if (sep == std::u16string_view::npos) return;
    pos = sep + 1;
  }
}

bool CRegStore::KeyExists(std::u16string_view path) const {
  return m_keys.find(Fold(path)) != m_keys.end();
}

bool CRegStore::DeleteTree(std::u16string_view path) {
  const std::u16string folded = Fold(path);
  const auto it = m_keys.find(folded);
  if (it == m_keys.end()) return false;
  const std::u16string prefix = folded + u"\\";
  auto last = std::next(it);
  while (last != m_keys.end() && last->first.compare(0, prefix.size(), prefix) == 0) ++last;
  m_keys.erase(it, last);
  return true;
}

bool CRegStore::HasSubKeys(std::u16string_view path) const {
  const std::u16string prefix = Fold(path) + u"\\";
  const auto it = m_keys.lower_bound(prefix);
  return it != m_keys.end() && it->first.compare(0, prefix.size(), prefix) == 0;
}

void CRegStore::SetValue(std::u16string_view path, std::u16string_view name, int type,
                         std::u16string_view data) {
  CreateKey(path);
  Key& key = m_keys[Fold(path)];
  Value& value = key.values[FoldText(name)];
  if (value.name.empty()) value.name = std::u16string(name);
  value.type = type;
  value.data = std::u16string(data);
}

const CRegStore::Value* CRegStore::GetValue(std::u16string_view path,
                                            std::u16string_view name) const {
  const auto it = m_keys.find(Fold(path));
  if (it == m_keys.end()) return nullptr;
  const auto v = it->second.values.find(FoldText(name));
  return v == it->second.values.end() ? nullptr : &v->second;
}

bool CRegStore::DeleteValue(std::u16string_view path, std::u16string_view name) {
  const auto it = m_keys.find(Fold(path));
  if (it == m_keys.end()) return false;
  return it->second.values.erase(FoldText(name)) != 0;
}

std::string CRegStore::Serialise() const {
  std::string out = kHiveHeader;
  out += '\n';
  for (const auto& [folded, key] : m_keys) {
    out += "K\t";
    AppendEscaped(out, key.path);
    out += '\n';
    for (const auto& [foldedName, value] : key.values) {
      out += "V\t";
      AppendEscaped(out, value.name);
      out += '\t';
      out += std::to_string(value.type);
      out += '\t';
      AppendEscaped(out, value.data);
      out += '\n';
    }
  }
  return out;
}

bool CRegStore::Parse(std::string_view text) {
  std::map<std::u16string, Key> keys;
  size_t pos = 0;
  bool first = true;
  Key* current = nullptr;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    if (first) {
      if (line != kHiveHeader) return false;
      first = false;
      continue;
    }
    if (line.empty()) continue;
    const std::vector<std::string_view> fields = SplitTabs(line);
    if (fields[0] == "K" && fields.size() == 2) {
      std::u16string path;
      if (!Unescape(fields[1], path) || path.empty()) return false;
      current = &keys[Fold(path)];
      current->path = path;
    } else if (fields[0] == "V" && fields.size() == 4 && current != nullptr) {
      Value value;
      if (!Unescape(fields[1], value.name) || !Unescape(fields[3], value.data)) return false;
      value.type = fields[2] == "4" ? REG_DWORD_TYPE : REG_SZ_TYPE;
      current->values[FoldText(value.name)] = value;
    } else {
      return false;
    }
  }
  if (first && !text.empty()) return false;
  m_keys = std::move(keys);
  return true;
}

// ---------------------------------------------------------------------------------------------
// Hive files

std::string HivePath(RegHive hive) {
  const std::string dir = EnvOr("VELLUMA_REGISTRY_DIR");
  if (!dir.empty()) return dir + (hive == RegHive::Machine ? "/machine.reg" : "/user.reg");
  if (hive == RegHive::Machine) return "/var/lib/velluma/registry/machine.reg";
  std::string config = EnvOr("XDG_CONFIG_HOME");
  if (config.empty()) {
    const std::string home = EnvOr("HOME");
    if (home.empty()) return std::string();
    config = home + "/.config";
  }
  return config + "/velluma/registry/user.reg";
}

bool ReadHive(RegHive hive, CRegStore& store) {
  const std::string path = HivePath(hive);
  store = CRegStore();
  if (path.empty()) return true;
  std::string text;
  bool exists = false;
  if (!ReadFile(path, text, exists)) return false;
  return !exists || store.Parse(text);
}

HRESULT UpdateHive(RegHive hive, const std::function<HRESULT(CRegStore&)>& change) {
  const std::string path = HivePath(hive);
  if (path.empty()) return E_ACCESSDENIED;
  std::error_code ec;
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  std::filesystem::create_directories(folder, ec);
  if (ec) return E_ACCESSDENIED;

  // The lock file is never removed: another process may hold a descriptor of it.
  FdGuard lock{open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)};
  if (lock.fd < 0) return E_ACCESSDENIED;
  while (flock(lock.fd, LOCK_EX) != 0) {
    if (errno != EINTR) return E_ACCESSDENIED;
  }

  CRegStore store;
  if (!ReadHive(hive, store)) return REGDB_E_READREGDB;
  const HRESULT hr = change(store);
  if (FAILED(hr)) return hr;

  const std::string text = store.Serialise();
  const std::string temp = path + ".tmp." + std::to_string(getpid());
  {
    FdGuard out{open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)};
    if (out.fd < 0) return E_ACCESSDENIED;
    size_t done = 0;
    while (done < text.size()) {
      const ssize_t n = write(out.fd, text.data() + done, text.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        unlink(temp.c_str());
        return E_ACCESSDENIED;
      }
      done += static_cast<size_t>(n);
    }
    if (fsync(out.fd) != 0) {
      unlink(temp.c_str());
      return E_ACCESSDENIED;
    }
  }
  if (rename(temp.c_str(), path.c_str()) != 0) {
    unlink(temp.c_str());
    return E_ACCESSDENIED;
  }
  // The rename itself is made durable by syncing the folder.
  FdGuard dirFd{open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
  if (dirFd.fd >= 0) fsync(dirFd.fd);
  return hr;
}

bool LookUpClassesValue(std::u16string_view path, std::u16string_view name, std::u16string& out) {
  for (const RegHive hive : {RegHive::User, RegHive::Machine}) {
    CRegStore store;
    if (!ReadHive(hive, store)) continue;
    if (const CRegStore::Value* value = store.GetValue(path, name)) {
      out = value->data;
      return true;
    }
  }
  return false;
}

}  // namespace vwin32
