// Tests of velluma-kitdump: the JSON text helpers directly, the tool through its command line.

#include <fcntl.h>
#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>
#include "tool_runner.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "json.h"
#include "pdfwriter.h"
#include "vwin32/strings.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using kitdump::JsonNumber;
using kitdump::JsonString;

// ---- JSON helpers ----

TEST(KitdumpJson, EscapesQuotesBackslashesAndControlCharacters) {
  EXPECT_EQ(JsonString(u""), "\"\"");
  EXPECT_EQ(JsonString(u"a\"b\\c/d"), R"("a\"b\\c/d")");
  EXPECT_EQ(JsonString(u"\b\f\n\r\t"), R"("\b\f\n\r\t")");
  EXPECT_EQ(JsonString(std::u16string_view(u"\x00\x01\x1f\x7f", 4)),
            R"("\u0000\u0001\u001f\u007f")");
  EXPECT_EQ(JsonString(u" ~"), "\" ~\"");
}

TEST(KitdumpJson, ConvertsUtf16ToUtf8WithReplacementForLoneSurrogates) {
  EXPECT_EQ(JsonString(u"\u00e9\u4e2d"), "\"\xC3\xA9\xE4\xB8\xAD\"");
  EXPECT_EQ(JsonString(u"\U0001F600"), "\"\xF0\x9F\x98\x80\"");  // surrogate pair
  const std::string fffd = "\xEF\xBF\xBD";
  const char16_t highAlone[] = {u'a', 0xD83D, u'b'};
  const char16_t lowAlone[] = {0xDE00, u'x'};
  const char16_t highAtEnd[] = {u'x', 0xD83D};
  const char16_t reversed[] = {0xDE00, 0xD83D};
  EXPECT_EQ(JsonString(std::u16string_view(highAlone, 3)), "\"a" + fffd + "b\"");
  EXPECT_EQ(JsonString(std::u16string_view(lowAlone, 2)), "\"" + fffd + "x\"");
  EXPECT_EQ(JsonString(std::u16string_view(highAtEnd, 2)), "\"x" + fffd + "\"");
  EXPECT_EQ(JsonString(std::u16string_view(reversed, 2)), "\"" + fffd + fffd + "\"");
}

TEST(KitdumpJson, ValidatesUtf8Input) {
  const std::string fffd = "\xEF\xBF\xBD";
  EXPECT_EQ(JsonString(std::string_view("caf\xC3\xA9 \"x\"\n")), "\"caf\xC3\xA9 \\\"x\\\"\\n\"");
  EXPECT_EQ(JsonString(std::string_view("\xF0\x9F\x98\x80")), "\"\xF0\x9F\x98\x80\"");
  EXPECT_EQ(JsonString(std::string_view("a\xFF")), "\"a" + fffd + "\"");
  EXPECT_EQ(JsonString(std::string_view("\xC0\xAF")), "\"" + fffd + fffd + "\"");  // overlong
  EXPECT_EQ(JsonString(std::string_view("\xED\xA0\x80")), "\"" + fffd + fffd + fffd + "\"");
  EXPECT_EQ(JsonString(std::string_view("\xE4\xB8")), "\"" + fffd + fffd + "\"");  // truncated
}

TEST(KitdumpJson, FormatsNumbersWithAtMostThreeDecimals) {
  EXPECT_EQ(JsonNumber(12), "12");
  EXPECT_EQ(JsonNumber(0.5), "0.5");
  EXPECT_EQ(JsonNumber(-3.125), "-3.125");
  EXPECT_EQ(JsonNumber(1.0 / 3), "0.333");
  EXPECT_EQ(JsonNumber(2.9999), "3");
  EXPECT_EQ(JsonNumber(-0.0001), "0");
  EXPECT_EQ(JsonNumber(-0.0), "0");
  EXPECT_EQ(JsonNumber(1e20), "100000000000000000000");
  EXPECT_EQ(JsonNumber(1.0 / 72, 9), "0.013888889");
  EXPECT_EQ(JsonNumber(std::nan("")), "null");
  EXPECT_EQ(JsonNumber(-INFINITY), "null");
}

// ---- A minimal JSON reader, enough to check the tool's lines ----

struct JValue {
  enum Kind { kNull, kBool, kNumber, kString, kArray, kObject } kind = kNull;
  bool b = false;
  double num = 0;
  std::string str;
  std::vector<JValue> arr;
  std::vector<std::pair<std::string, JValue>> obj;

  const JValue* Get(const std::string& key) const {
    for (const auto& [k, v] : obj)
      if (k == key) return &v;
    return nullptr;
  }
  std::string Str(const std::string& key) const {
    const JValue* v = Get(key);
    return v && v->kind == kString ? v->str : std::string();
  }
  double Num(const std::string& key) const {
    const JValue* v = Get(key);
    return v && v->kind == kNumber ? v->num : NAN;
  }
};

class JsonReader {
 public:
  explicit JsonReader(std::string_view s) : s_(s) {}

  std::optional<JValue> ReadDocument() {
    JValue v;
    if (!Value(v, 0)) return std::nullopt;
    Space();
    if (i_ != s_.size()) return std::nullopt;
    return v;
  }

 private:
  void Space() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\n' || s_[i_] == '\r'))
      ++i_;
  }
  bool Eat(char c) {
    Space();
    if (i_ < s_.size() && s_[i_] == c) return ++i_, true;
    return false;
  }
  bool Literal(std::string_view word) {
    if (s_.substr(i_, word.size()) != word) return false;
    i_ += word.size();
    return true;
  }
  bool Value(JValue& v, int depth) {
    if (depth > 64) return false;
    Space();
    if (i_ >= s_.size()) return false;
    const char c = s_[i_];
    if (c == '{') {
      v.kind = JValue::kObject;
      ++i_;
      if (Eat('}')) return true;
      do {
        JValue key;
        Space();
        if (!String(key.str)) return false;
        if (!Eat(':')) return false;
        JValue member;
        if (!Value(member, depth + 1)) return false;
        v.obj.emplace_back(key.str, std::move(member));
      } while (Eat(','));
      return Eat('}');
    }
    if (c == '[') {
      v.kind = JValue::kArray;
      ++i_;
      if (Eat(']')) return true;
      do {
        v.arr.emplace_back();
        if (!Value(v.arr.back(), depth + 1)) return false;
      } while (Eat(','));
      return Eat(']');
    }
    if (c == '"') return v.kind = JValue::kString, String(v.str);
    if (Literal("true")) return v.kind = JValue::kBool, v.b = true, true;
    if (Literal("false")) return v.kind = JValue::kBool, true;
    if (Literal("null")) return true;
    return Number(v);
  }
  bool Digits() {
    const size_t start = i_;
    while (i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '9') ++i_;
    return i_ > start;
  }
  bool Number(JValue& v) {
    const size_t start = i_;
    if (i_ < s_.size() && s_[i_] == '-') ++i_;
    if (i_ < s_.size() && s_[i_] == '0')
      ++i_;
    else if (!Digits())
      return false;
    if (i_ < s_.size() && s_[i_] == '.' && (++i_, !Digits())) return false;
    if (i_ < s_.size() && (s_[i_] == 'e' || s_[i_] == 'E')) {
      ++i_;
      if (i_ < s_.size() && (s_[i_] == '+' || s_[i_] == '-')) ++i_;
      if (!Digits()) return false;
    }
    v.kind = JValue::kNumber;
    v.num = std::stod(std::string(s_.substr(start, i_ - start)));
    return true;
  }
  bool Hex4(uint32_t& out) {
    if (s_.size() - i_ < 4) return false;
    out = 0;
    for (int k = 0; k < 4; ++k) {
      const char h = s_[i_++];
      const int d = h >= '0' && h <= '9'   ? h - '0'
                    : h >= 'a' && h <= 'f' ? h - 'a' + 10
                    : h >= 'A' && h <= 'F' ? h - 'A' + 10
                                           : -1;
      if (d < 0) return false;
      out = out * 16 + static_cast<uint32_t>(d);
    }
    return true;
  }
  // Reads a string; raw bytes must be valid UTF-8 without control characters.
  bool String(std::string& out) {
    if (i_ >= s_.size() || s_[i_] != '"') return false;
    ++i_;
    while (i_ < s_.size()) {
      const auto c = static_cast<unsigned char>(s_[i_]);
      if (c == '"') return ++i_, true;
      if (c < 0x20) return false;
      if (c == '\\') {
        if (++i_ >= s_.size()) return false;
        const char e = s_[i_++];
        static const std::string_view kFrom = "\"\\/bfnrt", kTo = "\"\\/\b\f\n\r\t";
        if (const size_t k = kFrom.find(e); k != std::string_view::npos) {
          out += kTo[k];
        } else if (e == 'u') {
          uint32_t cp = 0;
          if (!Hex4(cp)) return false;
          if (cp >= 0xD800 && cp <= 0xDFFF) return false;  // the tool writes UTF-8 instead
          kitdump::AppendUtf8(out, cp);
        } else {
          return false;
        }
        continue;
      }
      const size_t len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
      const std::string_view seq = s_.substr(i_, len);
      if (vwin32::FromUtf8(seq).find(u'\uFFFD') != std::u16string::npos && seq != "\xEF\xBF\xBD")
        return false;
      out.append(seq);
      i_ += len;
    }
    return false;
  }

  std::string_view s_;
  size_t i_ = 0;
};

TEST(KitdumpJson, ReaderAcceptsTheHelpersOutputAndRejectsBrokenLines) {
  const char16_t lone[] = {0xD800};
  const std::string line = "{\"s\":" + JsonString(u"q\"\\\n\x01\U0001F600") +
                           ",\"l\":" + JsonString(std::u16string_view(lone, 1)) +
                           ",\"n\":[-1.5,0,1e3]}";
  const std::optional<JValue> v = JsonReader(line).ReadDocument();
  ASSERT_TRUE(v);
  EXPECT_EQ(v->Str("s"), "q\"\\\n\x01\xF0\x9F\x98\x80");
  EXPECT_EQ(v->Str("l"), "\xEF\xBF\xBD");
  for (const char* bad : {"{\"a\":1,}", "{\"a\":01}", "[1 2]", "\"a\nb\"", "\"\\x\"", "\"\xFF\"",
                          "{\"a\":1}x", "\"\\ud800\""})
    EXPECT_FALSE(JsonReader(bad).ReadDocument()) << bad;
}

// ---- The tool ----

using tooltest::ReadFile;
using tooltest::ToolResult;

fs::path TestDir() {
  return tooltest::TestDir("kitdump");
}

ToolResult RunTool(const std::vector<std::string>& args) {
  return tooltest::RunTool("velluma-kitdump", args);
}

// Width and height from a JPEG's start-of-frame marker, or nothing when the file is no JPEG.
std::optional<std::pair<int, int>> JpegSize(const std::string& data) {
  if (data.size() < 4 || static_cast<uint8_t>(data[0]) != 0xFF ||
      static_cast<uint8_t>(data[1]) != 0xD8)
    return std::nullopt;
  auto byte = [&](size_t i) { return static_cast<int>(static_cast<uint8_t>(data[i])); };
  size_t i = 2;
  while (i + 9 < data.size() && byte(i) == 0xFF) {
    const int marker = byte(i + 1);
    const size_t len = static_cast<size_t>(byte(i + 2) * 256 + byte(i + 3));
    if (marker >= 0xC0 && marker <= 0xC2)
      return std::make_pair(byte(i + 7) * 256 + byte(i + 8), byte(i + 5) * 256 + byte(i + 6));
    i += 2 + len;
  }
  return std::nullopt;
}

// Parses every line; fails the test for a line that is not a JSON object.
std::vector<JValue> ParseLines(const ToolResult& r) {
  std::vector<JValue> values;
  for (size_t i = 0; i < r.lines.size(); ++i) {
    std::optional<JValue> v = JsonReader(r.lines[i]).ReadDocument();
    EXPECT_TRUE(v && v->kind == JValue::kObject) << "line " << i + 1 << ": " << r.lines[i];
    if (v) values.push_back(std::move(*v));
  }
  return values;
}

// Checks that the rendering at `scale` matches the page box of the page line.
void ExpectRenderMatchesPage(const std::string& pdf, const JValue& page, double scale) {
  const std::string jpg = TestDir() / ("page-" + JsonNumber(scale) + ".jpg");
  const ToolResult r = RunTool({pdf, "--render", jpg, "--scale", JsonNumber(scale)});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto size = JpegSize(ReadFile(jpg));
  ASSERT_TRUE(size) << "not a JPEG: " << jpg;
  const JValue* box = page.Get("box");
  ASSERT_TRUE(box && box->arr.size() == 4);
  const double pixelsPerUnit = page.Num("unit") * 72 * scale;
  EXPECT_NEAR(size->first, (box->arr[2].num - box->arr[0].num) * pixelsPerUnit, 1.0);
  EXPECT_NEAR(size->second, (box->arr[3].num - box->arr[1].num) * pixelsPerUnit, 1.0);
}

// A two-page file: page 1 (300 x 200 pt) holds a line of Helvetica text with a quote and a
// backslash, three glyphs of a font without Unicode, a 4 x 2 image and a stroked line.
std::string WriteTestPdf() {
  vtest::PdfWriter w;
  const std::string helv = w.AddStandardFont("Helvetica");
  const std::string t3 = w.AddType3Font("Shapes", 3);
  vtest::ImageSpec image;
  image.kind = vtest::ImageSpec::Gray8;
  image.width = 4;
  image.height = 2;
  image.pixels = {0, 80, 160, 240, 240, 160, 80, 0};
  const std::string im = w.AddImage(image);
  const std::string content = "BT /" + helv + " 12 Tf 20 150 Td " +
                              vtest::PdfLiteral("He said \"hi\" \\ ok") + " Tj ET\n" + "BT /" + t3 +
                              " 10 Tf 20 100 Td (!\"#) Tj ET\n" + "q 40 0 0 20 100 50 cm /" + im +
                              " Do Q\n" + "0 0 1 RG 2 w 10 10 m 290 10 l S\n";
  w.AddPage(300, 200, content);
  w.AddPage(200, 100, "BT /" + helv + " 10 Tf 10 50 Td (two) Tj ET\n");
  const std::string path = TestDir() / "test.pdf";
  EXPECT_TRUE(w.Save(path));
  return path;
}

TEST(KitdumpTool, BadInputGivesStatusTwoAndOneLineNamingTheProblem) {
  const fs::path dir = TestDir();
  const std::string pdf = WriteTestPdf();
  const std::string text = dir / "notes.pdf";
  std::ofstream(text) << "this is not a PDF file\n";
  const std::string missing = dir / "missing.pdf";
  struct Case {
    std::vector<std::string> args;
    std::string mention;  // what the message must name
  };
  const std::vector<Case> cases = {
      {{missing}, missing},
      {{text}, text},
      {{dir.string()}, dir.string()},
      {{pdf, "0"}, "page 0"},
      {{pdf, "3"}, "page 3"},
      {{pdf, "-1"}, "page -1"},
      {{pdf, "99999999999"}, pdf},
      {{pdf, "one"}, "one"},
      {{pdf, "--bogus"}, "--bogus"},
      {{pdf, "1", "2"}, "'2'"},
      {{pdf, "--render"}, "--render"},
      {{pdf, "--scale", "0"}, "scale"},
      {{pdf, "--scale", "nan"}, "scale"},
      {{}, "FILE"},
  };
  for (const Case& c : cases) {
    std::string label;
    for (const std::string& a : c.args) label += a + " ";
    const ToolResult r = RunTool(c.args);
    EXPECT_EQ(r.status, 2) << label;
    EXPECT_TRUE(r.out.empty()) << label;
    ASSERT_FALSE(r.err.empty()) << label;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << label << ": " << r.err;
    EXPECT_NE(r.err.find(c.mention), std::string::npos) << label << ": " << r.err;
    if (!c.args.empty() && c.args[0] == pdf) {
      EXPECT_NE(r.err.find(pdf), std::string::npos) << r.err;
    }
  }
}

TEST(KitdumpTool, DumpsPageRunsImagesAndPathsInOrder) {
  const std::string pdf = WriteTestPdf();
  const ToolResult r = RunTool({pdf});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(r.err.empty()) << r.err;
  const std::vector<JValue> lines = ParseLines(r);
  ASSERT_FALSE(lines.empty());
  ASSERT_EQ(lines.size(), r.lines.size());

  const JValue& page = lines[0];
  EXPECT_EQ(r.lines[0].rfind("{\"kind\":\"page\",\"page\":1,\"pages\":2,\"box\":[0,0,300,200]", 0),
            0u)
      << r.lines[0];
  EXPECT_NEAR(page.Num("unit"), 1.0 / 72, 1e-9);

  // Kinds come in the order page, runs, images, paths; runs are numbered from 0.
  const std::vector<std::string> order = {"page", "run", "image", "path"};
  size_t rank = 0;
  int seq = 0;
  const JValue *helvRun = nullptr, *shapesRun = nullptr, *image = nullptr, *path = nullptr;
  for (const JValue& v : lines) {
    const std::string kind = v.Str("kind");
    const size_t k = std::find(order.begin(), order.end(), kind) - order.begin();
    ASSERT_LT(k, order.size()) << kind;
    EXPECT_GE(k, rank) << kind << " after " << order[rank];
    rank = k;
    if (kind == "run") {
      EXPECT_EQ(v.Num("seq"), seq++);
      for (const char* key : {"font", "fontKey", "encoding", "fontSize", "box", "text", "chars"})
        EXPECT_TRUE(v.Get(key)) << key;
      if (v.Str("text").find("\"hi\" \\") != std::string::npos) helvRun = &v;
      if (v.Str("font").find("Shapes") != std::string::npos) shapesRun = &v;
    }
    if (kind == "image") image = &v;
    if (kind == "path" && !path) path = &v;
  }

  ASSERT_TRUE(helvRun) << r.out;
  EXPECT_EQ(helvRun->Str("font"), "Helvetica");
  EXPECT_EQ(helvRun->Str("text"), "He said \"hi\" \\ ok");
  const JValue* chars = helvRun->Get("chars");
  ASSERT_TRUE(chars);
  ASSERT_EQ(chars->arr.size(), 17u);
  EXPECT_EQ(chars->arr[0].Num("code"), 'H');
  EXPECT_NEAR(chars->arr[0].Get("origin")->arr[0].num, 20, 0.01);
  EXPECT_NEAR(chars->arr[0].Get("origin")->arr[1].num, 150, 0.01);
  for (const char* key : {"glyph", "code", "origin", "box"}) EXPECT_TRUE(chars->arr[0].Get(key));

  ASSERT_TRUE(shapesRun) << r.out;
  EXPECT_EQ(shapesRun->Str("text"), "???");  // glyphs without Unicode show as "?"

  ASSERT_TRUE(image) << r.out;
  EXPECT_EQ(image->Num("width"), 4);
  EXPECT_EQ(image->Num("height"), 2);
  const JValue* box = image->Get("box");
  ASSERT_TRUE(box && box->arr.size() == 4);
  EXPECT_NEAR(box->arr[0].num, 100, 0.01);
  EXPECT_NEAR(box->arr[1].num, 50, 0.01);
  EXPECT_NEAR(box->arr[2].num, 140, 0.01);
  EXPECT_NEAR(box->arr[3].num, 70, 0.01);

  ASSERT_TRUE(path) << r.out;
  EXPECT_EQ(path->Get("stroke")->b, true);
  const JValue* segs = path->Get("segments");
  ASSERT_TRUE(segs && segs->arr.size() >= 2);
  // A move to (10, 10), then a line to (290, 10).
  ASSERT_EQ(segs->arr[0].arr.size(), 3u);
  EXPECT_EQ(segs->arr[0].arr[0].num, 1);
  EXPECT_NEAR(segs->arr[0].arr[1].num, 10, 0.01);
  EXPECT_EQ(segs->arr[1].arr[0].num, 2);
  EXPECT_NEAR(segs->arr[1].arr[1].num, 290, 0.01);

  // Page 2 of the same file.
  const ToolResult second = RunTool({pdf, "2"});
  ASSERT_EQ(second.status, 0) << second.err;
  ASSERT_FALSE(second.lines.empty());
  EXPECT_EQ(
      second.lines[0].rfind("{\"kind\":\"page\",\"page\":2,\"pages\":2,\"box\":[0,0,200,100]", 0),
      0u)
      << second.lines[0];
}

TEST(KitdumpTool, RendersThePageAsJpegOfThePageSize) {
  const std::string pdf = WriteTestPdf();
  const ToolResult r = RunTool({pdf});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<JValue> lines = ParseLines(r);
  ASSERT_FALSE(lines.empty());
  ExpectRenderMatchesPage(pdf, lines[0], 1.0);
  ExpectRenderMatchesPage(pdf, lines[0], 2.5);

  // An unwritable output is reported after the dump.
  const ToolResult bad = RunTool({pdf, "--render", (TestDir() / "no-such-dir" / "x.jpg").string()});
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.err.find('\n'), bad.err.size() - 1) << bad.err;
}

TEST(KitdumpTool, DumpsTheFrontPageSample) {
  const std::string pdf = std::string(VELLUMA_SAMPLES_DIR) + "/front-page.pdf";
  if (!fs::exists(pdf)) GTEST_SKIP() << pdf << " is not there yet";
  const ToolResult r = RunTool({pdf});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<JValue> lines = ParseLines(r);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0].Str("kind"), "page");
  EXPECT_GT(std::count_if(lines.begin(), lines.end(),
                          [](const JValue& v) { return v.Str("kind") == "run"; }),
            0);
  ExpectRenderMatchesPage(pdf, lines[0], 1.0);
}

}  // namespace
