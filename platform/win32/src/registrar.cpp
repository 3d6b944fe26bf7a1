// The registrar: parses a registration script in the .rgs text form and applies it to a hive,
// registering or unregistering.
#include <memory>
#include <vector>

#include "vwin32/registry.h"
#include "vwin32/strings.h"

namespace vwin32 {
namespace {

enum class KeyFlag { None, NoRemove, ForceRemove, Delete };

struct St_ScriptNode {
  bool bValue = false;  // a "val" entry: a named value of the enclosing key
  KeyFlag flag = KeyFlag::None;
  std::u16string name;
  bool bHasData = false;
  int type = CRegStore::REG_SZ_TYPE;
  std::u16string data;
  std::vector<St_ScriptNode> children;
};

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

class CScriptParser {
 public:
  explicit CScriptParser(std::u16string_view text) : m_text(text) {}

  // The roots of the script; false when it does not parse.
  bool ParseScript(std::vector<St_ScriptNode>& roots) {
    for (;;) {
      std::u16string token;
      bool quoted = false;
      if (!Next(token, quoted)) return true;
      if (quoted || !(EqualsNoCase(token, u"HKCR") || EqualsNoCase(token, u"HKEY_CLASSES_ROOT")))
        return false;
      St_ScriptNode root;
      root.flag = KeyFlag::NoRemove;
      if (!Expect(u"{") || !ParseBlock(root.children)) return false;
      roots.push_back(std::move(root));
    }
  }

 private:
  // Entries up to and including the closing brace.
  bool ParseBlock(std::vector<St_ScriptNode>& entries) {
    if (++m_nDepth > 64) return false;
    for (;;) {
      std::u16string token;
      bool quoted = false;
      if (!Next(token, quoted)) return false;
      if (!quoted && token == u"}") break;
      if (!quoted && (token == u"{" || token == u"=")) return false;
      St_ScriptNode node;
      if (!quoted && EqualsNoCase(token, u"val")) {
        node.bValue = true;
        if (!Next(node.name, quoted) || !Expect(u"=") || !ParseData(node)) return false;
        entries.push_back(std::move(node));
        continue;
      }
      if (!quoted && EqualsNoCase(token, u"NoRemove")) node.flag = KeyFlag::NoRemove;
      if (!quoted && EqualsNoCase(token, u"ForceRemove")) node.flag = KeyFlag::ForceRemove;
      if (!quoted && EqualsNoCase(token, u"Delete")) node.flag = KeyFlag::Delete;
      if (node.flag != KeyFlag::None && !Next(token, quoted)) return false;
      if (!quoted && (token == u"{" || token == u"}" || token == u"=")) return false;
      if (token.empty() || token.find(u'\\') != std::u16string::npos) return false;
      node.name = token;
      const size_t mark = m_nPos;
      std::u16string next;
      bool nextQuoted = false;
      if (Next(next, nextQuoted) && !nextQuoted && next == u"=") {
        if (!ParseData(node)) return false;
      } else {
        m_nPos = mark;
      }
      const size_t mark2 = m_nPos;
      if (Next(next, nextQuoted) && !nextQuoted && next == u"{") {
        if (!ParseBlock(node.children)) return false;
      } else {
        m_nPos = mark2;
      }
      entries.push_back(std::move(node));
    }
    --m_nDepth;
    return true;
  }

  // "s 'text'" or "d 'number'".
  bool ParseData(St_ScriptNode& node) {
    std::u16string type, data;
    bool quoted = false;
    if (!Next(type, quoted) || quoted) return false;
    if (EqualsNoCase(type, u"s"))
      node.type = CRegStore::REG_SZ_TYPE;
    else if (EqualsNoCase(type, u"d"))
      node.type = CRegStore::REG_DWORD_TYPE;
    else
      return false;
    if (!Next(data, quoted)) return false;
    node.bHasData = true;
    node.data = data;
    return true;
  }

  bool Expect(std::u16string_view what) {
    std::u16string token;
    bool quoted = false;
    return Next(token, quoted) && !quoted && token == what;
  }

  // The next token: a brace, "=", a quoted string ('' inside is one quote) or a bare word.
  bool Next(std::u16string& token, bool& quoted) {
    token.clear();
    quoted = false;
    while (m_nPos < m_text.size() && IsBlank(m_text[m_nPos])) ++m_nPos;
    if (m_nPos >= m_text.size()) return false;
    const char16_t c = m_text[m_nPos];
    // A bare identifier such as {B21FEF21-...} starts with a brace but is a name: a brace
    // followed by anything but a blank opens a block only when no closing brace ends the word.
    if (c == u'{' && m_nPos + 1 < m_text.size() && !IsBlank(m_text[m_nPos + 1])) {
      size_t k = m_nPos + 1;
      while (k < m_text.size() && !IsBlank(m_text[k]) && m_text[k] != u'}' && m_text[k] != u'{')
        ++k;
      if (k < m_text.size() && m_text[k] == u'}') {
        token.assign(m_text.substr(m_nPos, k + 1 - m_nPos));
        m_nPos = k + 1;
        return true;
      }
    }
    if (c == u'{' || c == u'}' || c == u'=') {
      token = c;
      ++m_nPos;
      return true;
    }
    if (c == u'\'') {
      quoted = true;
      ++m_nPos;
      for (;;) {
        if (m_nPos >= m_text.size()) return false;
        const char16_t q = m_text[m_nPos++];
        if (q != u'\'') {
          token += q;
        } else if (m_nPos < m_text.size() && m_text[m_nPos] == u'\'') {
          token += u'\'';
          ++m_nPos;
        } else {
          return true;
        }
      }
    }
    while (m_nPos < m_text.size() && !IsBlank(m_text[m_nPos]) && m_text[m_nPos] != u'{' &&
           m_text[m_nPos] != u'}' && m_text[m_nPos] != u'=' && m_text[m_nPos] != u'\'')
      token += m_text[m_nPos++];
    return true;
  }

  std::u16string_view m_text;
  size_t m_nPos = 0;
  int m_nDepth = 0;
};

std::u16string Join(std::u16string_view parent, std::u16string_view name) {
  if (parent.empty()) return std::u16string(name);
  std::u16string path(parent);
  path += u'\\';
  path += name;
  return path;
}

void Register(const std::vector<St_ScriptNode>& entries, const std::u16string& parent,
              CRegStore& store) {
  for (const St_ScriptNode& node : entries) {
    if (node.bValue) {
      store.SetValue(parent, node.name, node.type, node.data);
      continue;
    }
    const std::u16string path = Join(parent, node.name);
    if (node.flag == KeyFlag::Delete) {
      store.DeleteTree(path);
      continue;
    }
    if (node.flag == KeyFlag::ForceRemove) store.DeleteTree(path);
    store.CreateKey(path);
    if (node.bHasData) store.SetValue(path, u"", node.type, node.data);
    Register(node.children, path, store);
  }
}

void Unregister(const std::vector<St_ScriptNode>& entries, const std::u16string& parent,
                CRegStore& store) {
  for (const St_ScriptNode& node : entries) {
    if (node.bValue) {
      store.DeleteValue(parent, node.name);
      continue;
    }
    const std::u16string path = Join(parent, node.name);
    if (node.flag == KeyFlag::Delete || !store.KeyExists(path)) continue;
    if (node.flag == KeyFlag::ForceRemove) {
      store.DeleteTree(path);
      continue;
    }
    Unregister(node.children, path, store);
    if (node.flag == KeyFlag::None && !store.HasSubKeys(path)) store.DeleteTree(path);
  }
}

}  // namespace

HRESULT RunRegistrarScript(std::u16string_view script,
                           const std::map<std::u16string, std::u16string>& replacements,
                           bool bRegister, CRegStore& store) {
  // Replacements first, over the whole text.
  std::u16string text;
  for (size_t i = 0; i < script.size(); ++i) {
    if (script[i] != u'%') {
      text += script[i];
      continue;
    }
    const size_t end = script.find(u'%', i + 1);
    if (end == std::u16string_view::npos) return DISP_E_EXCEPTION;
    const std::u16string name(script.substr(i + 1, end - i - 1));
    if (name.empty()) {
      text += u'%';
    } else {
      const auto it = replacements.find(name);
      if (it == replacements.end()) return DISP_E_EXCEPTION;
      text += it->second;
    }
    i = end;
  }
  std::vector<St_ScriptNode> roots;
  CScriptParser parser(text);
  if (!parser.ParseScript(roots)) return DISP_E_EXCEPTION;
  for (const St_ScriptNode& root : roots) {
    if (bRegister)
      Register(root.children, std::u16string(), store);
    else
      Unregister(root.children, std::u16string(), store);
  }
  return S_OK;
}

}  // namespace vwin32
