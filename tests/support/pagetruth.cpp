#include "pagetruth.h"

#include "vjson/json.h"
#include "vwin32/strings.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <memory>
#include <sstream>
#include <utility>

namespace vtest {
namespace {

// ---- Writing. ----

// Strings as the truth files have always had them: \b and \f in their \u forms, U+007F and
// all other bytes as they are.
std::string Quote(std::string_view s) {
  return vjson::JsonString(s, {.shortControls = false, .escapeDelete = false, .repairUtf8 = false});
}

// One decimal, rounded half away from zero; 0 when not finite.
std::string Num(double v) {
  if (!std::isfinite(v)) return "0";
  return vjson::JsonNumber(std::round(v * 10) / 10, 1);
}

// Appended piece by piece: GCC 12 at -O3 reports a false -Wrestrict for a literal prefixed to a
// temporary string ("[" + std::string&&).
std::string Box(const TruthBox& b) {
  std::string s = "[";
  s += Num(b.left) + ", " + Num(b.top) + ", " + Num(b.right) + ", " + Num(b.bottom) + "]";
  return s;
}

std::string Text(const TruthText& t) {
  return "{\"text\": " + Quote(t.text) + ", \"box\": " + Box(t.box) + "}";
}

std::string Picture(const TruthPicture& p) {
  return "{\"kind\": " + Quote(p.kind) + ", \"box\": " + Box(p.box) +
         ", \"caption\": " + Quote(p.caption) + ", \"captionBox\": " + Box(p.captionBox) + "}";
}

template <class T, class F>
std::string List(const std::vector<T>& items, F format, const std::string& indent) {
  if (items.empty()) return "[]";
  std::string s = "[\n";
  for (size_t i = 0; i < items.size(); ++i)
    s += indent + "  " + format(items[i]) + (i + 1 < items.size() ? ",\n" : "\n");
  return s + indent + "]";
}

std::string Article(const TruthArticle& a) {
  const std::string in = "      ";
  std::string s = "{\n";
  s += in + "\"id\": " + Quote(a.id) + ",\n";
  s += in + "\"kicker\": " + Text(a.kicker) + ",\n";
  s += in + "\"headline\": " + Text(a.headline) + ",\n";
  s += in + "\"subtitle\": " + Text(a.subtitle) + ",\n";
  s += in + "\"columns\": " + List(a.columns, Box, in) + ",\n";
  s += in + "\"firstLine\": " + Quote(a.firstLine) + ",\n";
  s += in + "\"lastLine\": " + Quote(a.lastLine) + ",\n";
  s += in + "\"jumpLine\": " + Quote(a.jumpLine) + ",\n";
  s += in + "\"pictures\": " + List(a.pictures, Picture, in) + "\n";
  return s + "    }";
}

// ---- Reading: a small JSON parser. ----

struct Value {
  enum Type { kNull, kBool, kNumber, kString, kArray, kObject } type = kNull;
  double number = 0;
  bool boolean = false;
  std::string string;
  std::vector<Value> array;
  std::vector<std::pair<std::string, Value>> object;

  const Value* Get(std::string_view key) const {
    for (const auto& [k, v] : object)
      if (k == key) return &v;
    return nullptr;
  }
};

class Parser {
 public:
  explicit Parser(std::string_view text) : s_(text) {}
  bool ParseDocument(Value& out) {
    if (!ParseValue(out, 0)) return false;
    SkipSpace();
    return pos_ == s_.size();
  }

 private:
  static constexpr int kMaxDepth = 64;

  void SkipSpace() {
    while (pos_ < s_.size() &&
           (s_[pos_] == ' ' || s_[pos_] == '\n' || s_[pos_] == '\r' || s_[pos_] == '\t'))
      ++pos_;
  }
  bool Literal(std::string_view word) {
    if (s_.substr(pos_, word.size()) != word) return false;
    pos_ += word.size();
    return true;
  }
  bool ParseValue(Value& v, int depth) {
    if (depth > kMaxDepth) return false;
    SkipSpace();
    if (pos_ >= s_.size()) return false;
    const char c = s_[pos_];
    if (c == '{') return ParseObject(v, depth);
    if (c == '[') return ParseArray(v, depth);
    if (c == '"') {
      v.type = Value::kString;
      return ParseString(v.string);
    }
    if (c == 't' || c == 'f') {
      v.type = Value::kBool;
      v.boolean = c == 't';
      return Literal(c == 't' ? "true" : "false");
    }
    if (c == 'n') {
      v.type = Value::kNull;
      return Literal("null");
    }
    v.type = Value::kNumber;
    const char* begin = s_.data() + pos_;
    auto res = std::from_chars(begin, s_.data() + s_.size(), v.number);
    if (res.ec != std::errc() || res.ptr == begin) return false;
    pos_ += res.ptr - begin;
    return true;
  }
  bool ParseObject(Value& v, int depth) {
    v.type = Value::kObject;
    ++pos_;
    SkipSpace();
    if (pos_ < s_.size() && s_[pos_] == '}') return ++pos_, true;
    for (;;) {
      SkipSpace();
      std::string key;
      if (pos_ >= s_.size() || s_[pos_] != '"' || !ParseString(key)) return false;
      SkipSpace();
      if (pos_ >= s_.size() || s_[pos_++] != ':') return false;
      Value item;
      if (!ParseValue(item, depth + 1)) return false;
      v.object.emplace_back(std::move(key), std::move(item));
      SkipSpace();
      if (pos_ >= s_.size()) return false;
      const char c = s_[pos_++];
      if (c == '}') return true;
      if (c != ',') return false;
    }
  }
  bool ParseArray(Value& v, int depth) {
    v.type = Value::kArray;
    ++pos_;
    SkipSpace();
    if (pos_ < s_.size() && s_[pos_] == ']') return ++pos_, true;
    for (;;) {
      Value item;
      if (!ParseValue(item, depth + 1)) return false;
      v.array.push_back(std::move(item));
      SkipSpace();
      if (pos_ >= s_.size()) return false;
      const char c = s_[pos_++];
      if (c == ']') return true;
      if (c != ',') return false;
    }
  }
  bool Hex4(uint32_t& out) {
    if (pos_ + 4 > s_.size()) return false;
    out = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = s_[pos_++];
      out <<= 4;
      if (c >= '0' && c <= '9')
        out |= c - '0';
      else if (c >= 'a' && c <= 'f')
        out |= c - 'a' + 10;
      else if (c >= 'A' && c <= 'F')
        out |= c - 'A' + 10;
      else
        return false;
    }
    return true;
  }
  static void AppendUtf8(std::string& out, uint32_t cp) { vwin32::AppendUtf8(out, cp); }

  bool ParseString(std::string& out) {
    ++pos_;  // opening quote
    while (pos_ < s_.size()) {
      const char c = s_[pos_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (pos_ >= s_.size()) return false;
      const char e = s_[pos_++];
      switch (e) {
        case '"':
        case '\\':
        case '/':
          out += e;
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'u': {
          uint32_t cp;
          if (!Hex4(cp)) return false;
          if (cp >= 0xD800 && cp < 0xDC00 && s_.substr(pos_, 2) == "\\u") {
            pos_ += 2;
            uint32_t low;
            if (!Hex4(low) || low < 0xDC00 || low > 0xDFFF) return false;
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
          }
          AppendUtf8(out, cp);
          break;
        }
        default:
          return false;
      }
    }
    return false;
  }

  std::string_view s_;
  size_t pos_ = 0;
};

// Field readers: a missing field keeps the default, a field of the wrong type fails.
bool Read(const Value& obj, std::string_view key, std::string& out) {
  const Value* v = obj.Get(key);
  if (!v) return true;
  if (v->type != Value::kString) return false;
  out = v->string;
  return true;
}
bool Read(const Value& obj, std::string_view key, double& out) {
  const Value* v = obj.Get(key);
  if (!v) return true;
  if (v->type != Value::kNumber) return false;
  out = v->number;
  return true;
}
bool ReadBox(const Value* v, TruthBox& out) {
  if (!v) return true;
  if (v->type != Value::kArray || v->array.size() != 4) return false;
  for (const Value& n : v->array)
    if (n.type != Value::kNumber) return false;
  out = {v->array[0].number, v->array[1].number, v->array[2].number, v->array[3].number};
  return true;
}
bool Read(const Value& obj, std::string_view key, TruthBox& out) {
  return ReadBox(obj.Get(key), out);
}
bool ReadText(const Value* v, TruthText& out) {
  if (!v) return true;
  if (v->type != Value::kObject) return false;
  return Read(*v, "text", out.text) && Read(*v, "box", out.box);
}
bool Read(const Value& obj, std::string_view key, TruthText& out) {
  return ReadText(obj.Get(key), out);
}
bool ReadPicture(const Value& v, TruthPicture& out) {
  return v.type == Value::kObject && Read(v, "kind", out.kind) && Read(v, "box", out.box) &&
         Read(v, "caption", out.caption) && Read(v, "captionBox", out.captionBox);
}
template <class T, class F>
bool ReadList(const Value& obj, std::string_view key, std::vector<T>& out, F readItem) {
  const Value* v = obj.Get(key);
  if (!v) return true;
  if (v->type != Value::kArray) return false;
  for (const Value& item : v->array) {
    T t{};
    if (!readItem(item, t)) return false;
    out.push_back(std::move(t));
  }
  return true;
}
bool ReadArticle(const Value& v, TruthArticle& a) {
  return v.type == Value::kObject && Read(v, "id", a.id) && Read(v, "kicker", a.kicker) &&
         Read(v, "headline", a.headline) && Read(v, "subtitle", a.subtitle) &&
         ReadList(v, "columns", a.columns,
                  [](const Value& b, TruthBox& out) { return ReadBox(&b, out); }) &&
         Read(v, "firstLine", a.firstLine) && Read(v, "lastLine", a.lastLine) &&
         Read(v, "jumpLine", a.jumpLine) && ReadList(v, "pictures", a.pictures, ReadPicture);
}
bool ReadCustomRun(const Value& v, TruthCustomRun& r) {
  return v.type == Value::kObject && Read(v, "font", r.font) && Read(v, "text", r.text) &&
         Read(v, "codes", r.codes) && Read(v, "box", r.box);
}

}  // namespace

std::string ToJson(const PageTruth& t) {
  const std::string in = "  ";
  std::string s = "{\n";
  s += in + "\"file\": " + Quote(t.file) + ",\n";
  s += in + "\"width\": " + Num(t.width) + ",\n";
  s += in + "\"height\": " + Num(t.height) + ",\n";
  s += in + "\"columns\": " + std::to_string(t.columns) + ",\n";
  s += in + "\"paperName\": " + Quote(t.paperName) + ",\n";
  s += in + "\"pageId\": " + Text(t.pageId) + ",\n";
  s += in + "\"pageName\": " + Text(t.pageName) + ",\n";
  s += in + "\"issueDate\": " + Text(t.issueDate) + ",\n";
  s += in + "\"lunarDate\": " + Text(t.lunarDate) + ",\n";
  s += in + "\"pageCount\": " + Text(t.pageCount) + ",\n";
  s += in + "\"issueNumber\": " + Text(t.issueNumber) + ",\n";
  s += in + "\"articles\": " + List(t.articles, Article, in) + ",\n";
  s += in + "\"otherTexts\": " + List(t.otherTexts, Text, in) + ",\n";
  s += in + "\"pictures\": " + List(t.pictures, Picture, in) + ",\n";
  s += in + "\"customRuns\": " +
       List(
           t.customRuns,
           [](const TruthCustomRun& r) {
             return "{\"font\": " + Quote(r.font) + ", \"text\": " + Quote(r.text) +
                    ", \"codes\": " + Quote(r.codes) + ", \"box\": " + Box(r.box) + "}";
           },
           in) +
       "\n";
  return s + "}\n";
}

std::optional<PageTruth> ParsePageTruth(std::string_view json) {
  Value root;
  if (!Parser(json).ParseDocument(root) || root.type != Value::kObject) return std::nullopt;
  PageTruth t;
  double columns = 0;
  const bool ok = Read(root, "file", t.file) && Read(root, "width", t.width) &&
                  Read(root, "height", t.height) && Read(root, "columns", columns) &&
                  Read(root, "paperName", t.paperName) && Read(root, "pageId", t.pageId) &&
                  Read(root, "pageName", t.pageName) && Read(root, "issueDate", t.issueDate) &&
                  Read(root, "lunarDate", t.lunarDate) && Read(root, "pageCount", t.pageCount) &&
                  Read(root, "issueNumber", t.issueNumber) &&
                  ReadList(root, "articles", t.articles, ReadArticle) &&
                  ReadList(root, "otherTexts", t.otherTexts,
                           [](const Value& v, TruthText& out) { return ReadText(&v, out); }) &&
                  ReadList(root, "pictures", t.pictures, ReadPicture) &&
                  ReadList(root, "customRuns", t.customRuns, ReadCustomRun);
  if (!ok) return std::nullopt;
  t.columns = static_cast<int>(columns);
  return t;
}

std::optional<PageTruth> LoadPageTruth(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return std::nullopt;
  std::stringstream ss;
  ss << f.rdbuf();
  return ParsePageTruth(ss.str());
}

}  // namespace vtest
