#include "layout.h"

#include <algorithm>
#include <cmath>

#include "vwin32/strings.h"

namespace samples {
namespace {

using vtest::PdfNum;

// Helvetica advance widths for ASCII 0x20 .. 0x7E (thousandths of an em).
const int kHelveticaWidths[95] = {
    278, 278, 355, 556, 556, 889, 667, 191, 333, 333, 389, 584, 278, 333,  278, 278, 556, 556, 556,
    556, 556, 556, 556, 556, 556, 556, 278, 278, 584, 584, 584, 556, 1015, 667, 667, 722, 722, 667,
    611, 778, 722, 278, 500, 667, 556, 833, 722, 778, 667, 778, 722, 667,  611, 722, 667, 944, 667,
    667, 611, 278, 278, 278, 469, 556, 333, 556, 556, 500, 556, 556, 278,  556, 556, 222, 222, 500,
    222, 833, 556, 556, 556, 556, 333, 500, 278, 556, 500, 722, 500, 500,  500, 334, 260, 334, 584};
// Helvetica-Bold, where it differs in what the pages set (capitals and digits).
int BoldWidth(char16_t c) {
  if (c >= u'0' && c <= u'9') return 556;
  if (c == u'A' || c == u'C' || c == u'D' || c == u'H' || c == u'N' || c == u'R' || c == u'U')
    return 722;
  if (c == u'B' || c == u'E' || c == u'K' || c == u'P' || c == u'S' || c == u'V' || c == u'X' ||
      c == u'Y')
    return 667;
  if (c >= 0x20 && c <= 0x7E) return kHelveticaWidths[c - 0x20];
  return 556;
}

bool IsLatin(char16_t c) {
  return c >= 0x21 && c <= 0x7E;
}

// Punctuation that must not open a line, and that may not close one.
bool IsClosing(char16_t c) {
  return std::u16string_view(u"，。、；：？！”’）》」』】…—％·").find(c) !=
         std::u16string_view::npos;
}
bool IsOpening(char16_t c) {
  return std::u16string_view(u"“‘（《「『【").find(c) != std::u16string_view::npos;
}

// Ascent and descent of the CJK font as a fraction of the size.
constexpr double kAscent = 0.88;
constexpr double kDescent = 0.12;

}  // namespace

std::string Utf8(std::u16string_view text) {
  return vwin32::ToUtf8(text);
}

NewsPage::NewsPage(double width, double height, const std::string& song,
                   const std::string& helvetica, const std::string& helveticaBold,
                   const std::string& type3)
    : width_(width),
      height_(height),
      song_(song),
      helvetica_(helvetica),
      helveticaBold_(helveticaBold),
      type3_(type3) {}

std::vector<NewsPage::Segment> NewsPage::Split(std::u16string_view text) {
  std::vector<Segment> out;
  for (size_t i = 0; i < text.size(); ++i) {
    // A blank between two ASCII characters belongs to the ASCII run.
    bool latin = IsLatin(text[i]) || (text[i] == u' ' && i > 0 && i + 1 < text.size() &&
                                      IsLatin(text[i - 1]) && IsLatin(text[i + 1]));
    if (out.empty() || out.back().latin != latin) out.push_back(Segment{latin, {}});
    out.back().text += text[i];
  }
  return out;
}

double NewsPage::SegmentWidth(const Segment& s, const TextStyle& style) const {
  double units = 0;
  for (char16_t c : s.text) {
    if (!s.latin)
      units += c < 0x7F ? 500 : 1000;  // the CJK font's ASCII codes are half width
    else
      units += style.latinBold ? BoldWidth(c) : kHelveticaWidths[c - 0x20];
    units += style.tracking;
  }
  return units * style.size / 1000;
}

double NewsPage::Measure(std::u16string_view text, const TextStyle& style) const {
  double w = 0;
  for (const Segment& s : Split(text)) w += SegmentWidth(s, style);
  return w - (text.empty() ? 0 : style.tracking * style.size / 1000);
}

std::string NewsPage::ShowLine(std::u16string_view text, const TextStyle& style,
                               std::string& currentFont) const {
  std::string s;
  for (const Segment& seg : Split(text)) {
    const std::string& font = seg.latin ? (style.latinBold ? helveticaBold_ : helvetica_) : song_;
    if (font != currentFont) {
      s += "/" + font + " " + PdfNum(style.size) + " Tf ";
      currentFont = font;
    }
    auto encode = [&](std::u16string_view part) {
      if (!seg.latin) return vtest::PdfHexUtf16(part);
      std::string bytes;
      for (char16_t c : part) bytes += static_cast<char>(c);
      return vtest::PdfLiteral(bytes);
    };
    if (style.tracking == 0) {
      s += encode(seg.text) + " Tj ";
    } else {
      // Tracking as TJ adjustments between the characters.
      s += "[";
      for (size_t i = 0; i < seg.text.size(); ++i) {
        s += encode(seg.text.substr(i, 1));
        s += " " + PdfNum(-style.tracking) + " ";
      }
      s += "] TJ ";
    }
  }
  return s;
}

namespace {
std::string ColorOps(const Rgb& c, bool stroke) {
  return PdfNum(c.r) + " " + PdfNum(c.g) + " " + PdfNum(c.b) + (stroke ? " RG " : " rg ");
}
std::string BoldOps(const TextStyle& style) {
  if (!style.bold) return "";
  return ColorOps(style.color, true) + PdfNum(style.size / 40) + " w 2 Tr ";
}
}  // namespace

vtest::TruthBox NewsPage::Line(double x, double baseline, std::u16string_view text,
                               const TextStyle& style) {
  // Fake bold changes the text render mode and line width: keep that inside q ... Q.
  std::string font;
  content_ += std::string(style.bold ? "q " : "") + "BT " + ColorOps(style.color, false) +
              BoldOps(style) + "1 0 0 1 " + PdfNum(x) + " " + PdfNum(Y(baseline)) + " Tm " +
              ShowLine(text, style, font) + "ET" + (style.bold ? " Q\n" : "\n");
  return {x, baseline - kAscent * style.size, x + Measure(text, style),
          baseline + kDescent * style.size};
}

vtest::TruthBox NewsPage::LineRight(double right, double baseline, std::u16string_view text,
                                    const TextStyle& style) {
  return Line(right - Measure(text, style), baseline, text, style);
}

vtest::TruthBox NewsPage::LineCentered(double centre, double baseline, std::u16string_view text,
                                       const TextStyle& style) {
  return Line(centre - Measure(text, style) / 2, baseline, text, style);
}

vtest::TruthBox NewsPage::Type3Run(double x, double baseline, std::string_view codes, double size) {
  content_ += "BT 0 0 0 rg /" + type3_ + " " + PdfNum(size) + " Tf " + PdfNum(x) + " " +
              PdfNum(Y(baseline)) + " Td " + vtest::PdfLiteral(codes) + " Tj ET\n";
  return {x, baseline - 0.8 * size, x + size * static_cast<double>(codes.size()),
          baseline + 0.1 * size};
}

std::vector<std::u16string> NewsPage::Wrap(const std::vector<std::u16string>& paragraphs,
                                           double width, double size, bool indent) const {
  TextStyle style;
  style.size = size;
  std::vector<std::u16string> lines;
  for (const std::u16string& para : paragraphs) {
    const std::u16string text = (indent ? u"\u3000\u3000" : u"") + para;
    // Tokens: one CJK character, a run of ASCII, or a two-em dash, never broken.
    std::vector<std::u16string> tokens;
    for (size_t i = 0; i < text.size();) {
      size_t j = i + 1;
      if (IsLatin(text[i]))
        while (j < text.size() && (IsLatin(text[j]) || text[j] == u' ')) ++j;
      else if (text[i] == u'—' && j < text.size() && text[j] == u'—')
        ++j;
      else if (text[i] == u'…' && j < text.size() && text[j] == u'…')
        ++j;
      tokens.push_back(text.substr(i, j - i));
      i = j;
    }
    std::u16string line;
    double used = 0;
    for (size_t t = 0; t < tokens.size(); ++t) {
      const double w = Measure(tokens[t], style);
      const bool hang = IsClosing(tokens[t][0]) && used + w <= width + size + 0.01;
      if (line.empty() || used + w <= width + 0.01 || hang) {
        line += tokens[t];
        used += w;
        continue;
      }
      // Break before this token; an opening mark moves down with it.
      std::u16string carry;
      if (!line.empty() && IsOpening(line.back())) {
        carry = line.substr(line.size() - 1);
        line.pop_back();
      }
      lines.push_back(line);
      line = carry + tokens[t];
      used = Measure(line, style);
    }
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

FlowResult NewsPage::Flow(const std::vector<std::u16string>& lines,
                          const std::vector<Frame>& frames, double size, double leading,
                          LineMode mode) {
  FlowResult r;
  TextStyle style;
  style.size = size;
  size_t next = 0;
  for (const Frame& f : frames) {
    if (next >= lines.size()) break;
    const size_t count = std::min(lines.size() - next, static_cast<size_t>(std::max(0, f.lines)));
    if (count == 0) continue;
    std::string font;
    double right = f.x;
    const double firstBaseline = f.top + kAscent * size;
    if (mode == LineMode::kChainedTd) {
      content_ += "BT 0 0 0 rg " + PdfNum(f.x) + " " + PdfNum(Y(firstBaseline)) + " Td\n";
      for (size_t i = 0; i < count; ++i) {
        if (i) content_ += "0 " + PdfNum(-leading) + " Td ";
        content_ += ShowLine(lines[next + i], style, font) + "\n";
        right = std::max(right, f.x + Measure(lines[next + i], style));
      }
      content_ += "ET\n";
    } else {
      content_ += "BT 0 0 0 rg\n";
      for (size_t i = 0; i < count; ++i) {
        content_ += "1 0 0 1 " + PdfNum(f.x) + " " +
                    PdfNum(Y(firstBaseline + static_cast<double>(i) * leading)) + " Tm " +
                    ShowLine(lines[next + i], style, font) + "\n";
        right = std::max(right, f.x + Measure(lines[next + i], style));
      }
      content_ += "ET\n";
    }
    const double bottom =
        firstBaseline + static_cast<double>(count - 1) * leading + kDescent * size;
    r.columns.push_back({f.x, f.top, right, bottom});
    r.bottom = std::max(r.bottom, bottom);
    if (r.firstLine.empty()) r.firstLine = Utf8(lines[next]);
    next += count;
    r.lastLine = Utf8(lines[next - 1]);
  }
  r.lines = static_cast<int>(next);
  r.overflow = next < lines.size();
  return r;
}

FlowResult NewsPage::FlowBalanced(const std::vector<std::u16string>& paragraphs,
                                  const std::vector<double>& xs, double top, double width,
                                  double size, double leading, LineMode mode) {
  const auto lines = Wrap(paragraphs, width, size);
  const int n = static_cast<int>(xs.size());
  const int per = (static_cast<int>(lines.size()) + n - 1) / n;
  std::vector<Frame> frames;
  for (double x : xs) frames.push_back({x, top, width, per});
  return Flow(lines, frames, size, leading, mode);
}

FlowResult NewsPage::FlowFit(const std::vector<std::u16string>& lines,
                             const std::vector<std::pair<double, double>>& xTops, double width,
                             double size, double leading, LineMode mode, double minBottom) {
  std::vector<Frame> frames;
  if (xTops.empty()) return Flow(lines, frames, size, leading, mode);
  double top = xTops[0].second;
  for (const auto& xt : xTops) top = std::min(top, xt.second);
  // Try bottoms one leading apart until the frames hold every line.
  for (double bottom = std::max(top + leading, minBottom);; bottom += leading) {
    frames.clear();
    size_t capacity = 0;
    for (const auto& [x, t] : xTops) {
      const int n = std::max(0, static_cast<int>(std::floor((bottom - t) / leading + 1e-6)));
      frames.push_back({x, t, width, n});
      capacity += n;
    }
    if (capacity >= lines.size() || bottom > height_) break;
  }
  return Flow(lines, frames, size, leading, mode);
}

void NewsPage::Rule(double x0, double y0, double x1, double y1, double lineWidth, Rgb color) {
  content_ += "q " + ColorOps(color, true) + PdfNum(lineWidth) + " w " + PdfNum(x0) + " " +
              PdfNum(Y(y0)) + " m " + PdfNum(x1) + " " + PdfNum(Y(y1)) + " l S Q\n";
}

void NewsPage::StrokeBox(double x0, double y0, double x1, double y1, double lineWidth, Rgb color) {
  content_ += "q " + ColorOps(color, true) + PdfNum(lineWidth) + " w " + PdfNum(x0) + " " +
              PdfNum(Y(y1)) + " " + PdfNum(x1 - x0) + " " + PdfNum(y1 - y0) + " re S Q\n";
}

void NewsPage::FillBox(double x0, double y0, double x1, double y1, Rgb color) {
  content_ += "q " + ColorOps(color, false) + PdfNum(x0) + " " + PdfNum(Y(y1)) + " " +
              PdfNum(x1 - x0) + " " + PdfNum(y1 - y0) + " re f Q\n";
}

void NewsPage::Picture(const std::string& name, double x0, double y0, double x1, double y1) {
  content_ += "q " + PdfNum(x1 - x0) + " 0 0 " + PdfNum(y1 - y0) + " " + PdfNum(x0) + " " +
              PdfNum(Y(y1)) + " cm /" + name + " Do Q\n";
}

}  // namespace samples
