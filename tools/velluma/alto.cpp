// ALTO 4 XML of one analysed page. The mapping (units, identifiers, where each part of the page
// goes, how line and word boxes are estimated) is documented in docs/alto.md.

#include <cmath>
#include <map>
#include <string>
#include <utility>

#include "model.h"

namespace vcli {
namespace {

constexpr double kUnitsPerPoint = 1200.0 / 72.0;  // page units are points; ALTO gets inch1200

// Coordinates in inch1200, rounded to whole units.
long long U(double points) {
  if (!std::isfinite(points)) return 0;
  return std::llround(points * kUnitsPerPoint);
}

// Escaped for an XML attribute or element. Control characters XML 1.0 does not allow are
// dropped.
std::string Xml(std::string_view s) {
  std::string kept;
  kept.reserve(s.size());
  for (const char c : s)
    if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n') kept += c;
  return HtmlEscape(kept);
}

// One code point of UTF-8 text, with its byte length.
std::pair<char32_t, size_t> Decode(std::string_view s, size_t at) {
  const auto b = static_cast<unsigned char>(s[at]);
  size_t n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
  if (at + n > s.size()) n = s.size() - at;
  char32_t cp = n == 1 ? b : n == 2 ? (b & 0x1F) : n == 3 ? (b & 0x0F) : (b & 0x07);
  for (size_t k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[at + k]) & 0x3F);
  return {cp, n};
}

// Characters set on a full em: ideographs, kana, hangul, full-width forms and CJK punctuation.
bool IsWide(char32_t c) {
  return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
         (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
         (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
         (c >= 0xFFE0 && c <= 0xFFE6) || c >= 0x20000;
}

bool IsSpace(char32_t c) {
  return c == ' ' || c == '\t' || c == 0xA0 || c == 0x3000;
}

// Directions in which lines run top to bottom and follow one another right to left.
bool IsVertical(int direction) {
  return direction == 3 || direction == 4 || direction == 5 || direction >= 8;
}

// A word of a line: its text and the advance it starts at and spans, in ems.
struct Word {
  std::string text;
  double start = 0, advance = 0;
  bool spaceBefore = false;
};

// Splits a line into words at blanks (which become SP between them) and where Latin text meets
// wide characters; a run of wide characters stays one word. Advances: wide 1 em, blank 0.25 em,
// anything else 0.5 em.
std::vector<Word> SplitWords(std::string_view line, double& total) {
  std::vector<Word> words;
  total = 0;
  bool pendingSpace = false;
  int lastKind = -1;  // 0 narrow, 1 wide
  for (size_t at = 0; at < line.size();) {
    const auto [cp, n] = Decode(line, at);
    const std::string_view bytes = line.substr(at, n);
    at += n;
    if (IsSpace(cp)) {
      total += cp == 0x3000 ? 1.0 : 0.25;
      pendingSpace = !words.empty();
      lastKind = -1;
      continue;
    }
    const int kind = IsWide(cp) ? 1 : 0;
    if (words.empty() || pendingSpace || kind != lastKind) {
      words.push_back({std::string(), total, 0, pendingSpace});
      pendingSpace = false;
    }
    const double adv = kind ? 1.0 : 0.5;
    words.back().text += bytes;
    words.back().advance += adv;
    total += adv;
    lastKind = kind;
  }
  return words;
}

class AltoWriter {
 public:
  AltoWriter(std::ostream& os, const Page& p) : os_(os), page_(p) {
    prefix_ = "P" + std::to_string(p.number) + "_";
  }

  void Write(const std::string& sourceFile, long pageCount) {
    CollectStyles();
    const PageInfo& i = page_.info;
    os_ << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<alto xmlns=\"http://www.loc.gov/standards/alto/ns-v4#\" "
           "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
           "xsi:schemaLocation=\"http://www.loc.gov/standards/alto/ns-v4# "
           "http://www.loc.gov/standards/alto/v4/alto-4-2.xsd\">\n"
        << "<Description>\n<MeasurementUnit>inch1200</MeasurementUnit>\n"
        << "<sourceImageInformation>\n<fileName>" << Xml(sourceFile) << "</fileName>\n";
    if (!i.source.empty()) os_ << "<fileIdentifier>" << Xml(i.source) << "</fileIdentifier>\n";
    os_ << "</sourceImageInformation>\n<Processing ID=\"" << prefix_ << "PROC\">\n"
        << "<processingStepSettings>analysis level " << page_.level << ", page " << page_.number
        << " of " << pageCount << "</processingStepSettings>\n"
        << "<processingSoftware><softwareName>Velluma</softwareName></processingSoftware>\n"
        << "</Processing>\n</Description>\n";
    os_ << "<Styles>\n";
    for (const auto& [key, id] : styles_)
      os_ << "<TextStyle ID=\"" << id << "\" FONTFAMILY=\"" << Xml(key.first) << "\" FONTSIZE=\""
          << Num(key.second / 10.0) << "\"/>\n";
    os_ << "</Styles>\n<Tags>\n";
    // The page information, and the roles of an article's blocks (TAGREFS of its text blocks).
    const std::pair<const char*, const std::string*> info[] = {{"issueDate", &i.issueDate},
                                                               {"pageId", &i.pageId},
                                                               {"pageName", &i.pageName},
                                                               {"pageCount", &i.pageCount}};
    for (const auto& [label, value] : info)
      if (!value->empty())
        os_ << "<OtherTag ID=\"" << prefix_ << label << "\" TYPE=\"pageinfo\" LABEL=\"" << label
            << "\" DESCRIPTION=\"" << Xml(*value) << "\"/>\n";
    for (const char* role : {"kicker", "title", "subtitle", "body", "caption"})
      os_ << "<StructureTag ID=\"" << prefix_ << role << "\" TYPE=\"article\" LABEL=\"" << role
          << "\"/>\n";
    os_ << "</Tags>\n<Layout>\n<Page ID=\"" << prefix_.substr(0, prefix_.size() - 1)
        << "\" PHYSICAL_IMG_NR=\"" << page_.number << "\"";
    if (!i.pageId.empty()) os_ << " PRINTED_IMG_NR=\"" << Xml(i.pageId) << "\"";
    os_ << " WIDTH=\"" << U(i.width) << "\" HEIGHT=\"" << U(i.height) << "\">\n"
        << "<PrintSpace HPOS=\"0\" VPOS=\"0\" WIDTH=\"" << U(i.width) << "\" HEIGHT=\""
        << U(i.height) << "\">\n";
    for (size_t k = 0; k < page_.articles.size(); ++k) WriteArticle(page_.articles[k], k);
    for (const Text& t : page_.texts) WriteTextTree(t, nullptr);
    for (const Picture& pic : page_.pictures) WritePicture(pic);
    os_ << "</PrintSpace>\n</Page>\n</Layout>\n</alto>\n";
  }

 private:
  using StyleKey = std::pair<std::string, long long>;  // font, size in tenths of a point

  static StyleKey KeyOf(const Text& t) {
    const double size = std::isfinite(t.fontSize) ? t.fontSize : 0;
    return {t.font, std::llround(size * 10)};
  }

  void AddStyles(const Text& t) {
    std::vector<const Text*> leaves;
    CollectLeaves(t, leaves);
    for (const Text* leaf : leaves) styles_.emplace(KeyOf(*leaf), std::string());
  }
  void AddStyles(const Picture& pic) {
    for (const Text& c : pic.captions) AddStyles(c);
  }

  // One TextStyle per font and size, numbered in the order of the names.
  void CollectStyles() {
    for (const Article& a : page_.articles) {
      for (const std::optional<Text>* t : {&a.kicker, &a.title, &a.subtitle, &a.body})
        if (*t) AddStyles(**t);
      for (const Picture& pic : a.pictures) AddStyles(pic);
    }
    for (const Text& t : page_.texts) AddStyles(t);
    for (const Picture& pic : page_.pictures) AddStyles(pic);
    int n = 0;
    for (auto& [key, id] : styles_) id = prefix_ + "TS" + std::to_string(++n);
  }

  std::string Pos(const Box& b) const {
    const long long l = U(b.left), t = U(b.top);
    return "HPOS=\"" + std::to_string(l) + "\" VPOS=\"" + std::to_string(t) + "\" WIDTH=\"" +
           std::to_string(std::max(0LL, U(b.right) - l)) + "\" HEIGHT=\"" +
           std::to_string(std::max(0LL, U(b.bottom) - t)) + "\"";
  }

  void WriteArticle(const Article& a, size_t k) {
    os_ << "<ComposedBlock ID=\"" << prefix_ << "ART" << k + 1 << "\" " << Pos(a.box)
        << " TYPE=\"article\">\n";
    if (a.kicker) WriteTextTree(*a.kicker, "kicker");
    if (a.title) WriteTextTree(*a.title, "title");
    if (a.subtitle) WriteTextTree(*a.subtitle, "subtitle");
    if (a.body) WriteTextTree(*a.body, "body");
    for (const Picture& pic : a.pictures) WritePicture(pic);
    os_ << "</ComposedBlock>\n";
  }

  // A picture alone is an Illustration; with a caption, both go in a ComposedBlock.
  void WritePicture(const Picture& pic) {
    const int n = ++pictures_;
    const bool captioned = !pic.captions.empty();
    if (captioned) {
      Box box = pic.box;
      for (const Text& c : pic.captions) box = Union(box, c.box);
      os_ << "<ComposedBlock ID=\"" << prefix_ << "PIC" << n << "\" " << Pos(box)
          << " TYPE=\"illustration\">\n";
    }
    os_ << "<Illustration ID=\"" << prefix_ << "IL" << n << "\" " << Pos(pic.box) << "/>\n";
    for (const Text& c : pic.captions) WriteTextTree(c, "caption");
    if (captioned) os_ << "</ComposedBlock>\n";
  }

  void WriteTextTree(const Text& t, const char* role) {
    std::vector<const Text*> leaves;
    CollectLeaves(t, leaves);
    for (const Text* leaf : leaves) WriteTextBlock(*leaf, role);
  }

  // Lines divide the block's box evenly across the line direction; words take their share of
  // the line by their advances (see SplitWords), stretched to the box where the estimate falls
  // short on all but a last line, or is too long.
  void WriteTextBlock(const Text& t, const char* role) {
    const std::string id = prefix_ + "TB" + std::to_string(++blocks_);
    const std::string& style = styles_[KeyOf(t)];
    os_ << "<TextBlock ID=\"" << id << "\" " << Pos(t.box) << " STYLEREFS=\"" << style << "\"";
    if (role) os_ << " TAGREFS=\"" << prefix_ << role << "\"";
    os_ << ">\n";
    std::vector<std::string_view> lines;
    const std::string_view text = t.text;
    for (size_t at = 0;;) {
      const size_t end = text.find("\r\n", at);
      lines.push_back(text.substr(at, end == std::string_view::npos ? end : end - at));
      if (end == std::string_view::npos) break;
      at = end + 2;
    }
    const bool vertical = IsVertical(t.direction);
    const double across = vertical ? t.box.right - t.box.left : t.box.bottom - t.box.top;
    const double along = vertical ? t.box.bottom - t.box.top : t.box.right - t.box.left;
    const double pitch = across / static_cast<double>(lines.size());
    const double em = t.fontSize > 0 ? t.fontSize : pitch;
    int lineNo = 0;
    for (size_t k = 0; k < lines.size(); ++k) {
      double total = 0;
      const std::vector<Word> words = SplitWords(lines[k], total);
      if (words.empty()) continue;  // a TextLine holds at least one String
      double scale = em;
      if (total * em > along || (k + 1 < lines.size() && total > 0)) scale = along / total;
      auto boxOf = [&](double start, double length) {
        Box b;
        if (vertical) {
          b.right = t.box.right - pitch * static_cast<double>(k);
          b.left = b.right - pitch;
          b.top = t.box.top + start * scale;
          b.bottom = b.top + length * scale;
        } else {
          b.top = t.box.top + pitch * static_cast<double>(k);
          b.bottom = b.top + pitch;
          b.left = t.box.left + start * scale;
          b.right = b.left + length * scale;
        }
        return b;
      };
      const std::string lineId = id + "_TL" + std::to_string(++lineNo);
      const Word& last = words.back();
      os_ << "<TextLine ID=\"" << lineId << "\" "
          << Pos(boxOf(words.front().start, last.start + last.advance - words.front().start))
          << ">\n";
      for (size_t w = 0; w < words.size(); ++w) {
        if (words[w].spaceBefore) {
          const double from = words[w - 1].start + words[w - 1].advance;
          const Box sp = boxOf(from, words[w].start - from);
          const long long l = vertical ? U(sp.top) : U(sp.left);
          const long long r = vertical ? U(sp.bottom) : U(sp.right);
          os_ << "<SP WIDTH=\"" << std::max(0LL, r - l) << "\" HPOS=\"" << U(sp.left)
              << "\" VPOS=\"" << U(sp.top) << "\"/>\n";
        }
        os_ << "<String ID=\"" << lineId << "_S" << w + 1 << "\" "
            << Pos(boxOf(words[w].start, words[w].advance)) << " CONTENT=\"" << Xml(words[w].text)
            << "\" STYLEREFS=\"" << style << "\"/>\n";
      }
      os_ << "</TextLine>\n";
    }
    os_ << "</TextBlock>\n";
  }

  std::ostream& os_;
  const Page& page_;
  std::string prefix_;
  std::map<StyleKey, std::string> styles_;
  int blocks_ = 0;
  int pictures_ = 0;
};

}  // namespace

void WriteAlto(std::ostream& os, const std::string& sourceFile, long pageCount, const Page& p) {
  AltoWriter(os, p).Write(sourceFile, pageCount);
}

}  // namespace vcli
