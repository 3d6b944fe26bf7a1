// Page builder for the sample newspaper pages: sets Chinese text with the non-embedded
// STSong-Light font (runs of ASCII in Helvetica), flows paragraphs through columns, draws
// rules, boxes and pictures, and records what it placed for the page's truth file.
// Coordinates here are PDF points from the top-left corner, y down.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pagetruth.h"
#include "pdfwriter.h"

namespace samples {

struct Rgb {
  double r = 0, g = 0, b = 0;
};
inline constexpr Rgb kBlack{0, 0, 0};
inline constexpr Rgb kMastheadRed{0.78, 0.07, 0.1};

struct TextStyle {
  double size = 9.5;
  double tracking = 0;  // extra space after each character, thousandths of an em (TJ)
  bool bold = false;    // fake bold: fill and stroke the outlines
  Rgb color = kBlack;
  bool latinBold = false;  // ASCII runs in Helvetica-Bold
};

// A column frame that body text flows into.
struct Frame {
  double x, top, width;
  int lines;  // capacity
};

// How a column's lines are written: one BT block chaining lines with Td, or one BT block and
// an absolute Tm per line.
enum class LineMode { kChainedTd, kTmPerLine };

struct FlowResult {
  std::vector<vtest::TruthBox> columns;  // boxes of the lines set, one per frame used
  std::string firstLine, lastLine;       // UTF-8
  double bottom = 0;                     // lowest line bottom
  int lines = 0;
  bool overflow = false;  // text left over
};

class NewsPage {
 public:
  NewsPage(double width, double height, const std::string& song, const std::string& helvetica,
           const std::string& helveticaBold, const std::string& type3);

  double width() const { return width_; }
  double height() const { return height_; }
  const std::string& content() const { return content_; }

  // Width of a single line of text in the style.
  double Measure(std::u16string_view text, const TextStyle& style) const;
  // One line of text with its left end at x and its baseline at y; returns its box.
  vtest::TruthBox Line(double x, double baseline, std::u16string_view text, const TextStyle& style);
  vtest::TruthBox LineRight(double right, double baseline, std::u16string_view text,
                            const TextStyle& style);
  vtest::TruthBox LineCentered(double centre, double baseline, std::u16string_view text,
                               const TextStyle& style);
  // Codes shown in the custom-encoded font (one byte each), at size; returns the box.
  vtest::TruthBox Type3Run(double x, double baseline, std::string_view codes, double size);

  // Breaks paragraphs into lines of at most width (with indent, two ideographic spaces open
  // each paragraph; closing punctuation may hang one em into the gutter).
  std::vector<std::u16string> Wrap(const std::vector<std::u16string>& paragraphs, double width,
                                   double size, bool indent = true) const;
  // Sets lines into frames one after the other.
  FlowResult Flow(const std::vector<std::u16string>& lines, const std::vector<Frame>& frames,
                  double size, double leading, LineMode mode);
  // Wraps paragraphs and spreads them evenly over n frames of equal top.
  FlowResult FlowBalanced(const std::vector<std::u16string>& paragraphs,
                          const std::vector<double>& xs, double top, double width, double size,
                          double leading, LineMode mode);

  // Sets lines into frames that start at their own tops and share one bottom: the highest
  // bottom (at least minBottom) at which all lines fit.
  FlowResult FlowFit(const std::vector<std::u16string>& lines,
                     const std::vector<std::pair<double, double>>& xTops, double width, double size,
                     double leading, LineMode mode, double minBottom = 0);

  void Rule(double x0, double y0, double x1, double y1, double lineWidth, Rgb color = kBlack);
  void StrokeBox(double x0, double y0, double x1, double y1, double lineWidth, Rgb color = kBlack);
  void FillBox(double x0, double y0, double x1, double y1, Rgb color);
  void Picture(const std::string& name, double x0, double y0, double x1, double y1);

 private:
  struct Segment {
    bool latin;
    std::u16string text;
  };
  static std::vector<Segment> Split(std::u16string_view text);
  double SegmentWidth(const Segment& s, const TextStyle& style) const;
  // Text-showing operators for one line (font selection included); currentFont tracks the
  // font selected in the enclosing BT block.
  std::string ShowLine(std::u16string_view text, const TextStyle& style,
                       std::string& currentFont) const;
  double Y(double y) const { return height_ - y; }

  double width_, height_;
  std::string song_, helvetica_, helveticaBold_, type3_;
  std::string content_;
};

// The text in UTF-8.
std::string Utf8(std::u16string_view text);

}  // namespace samples
