// The bundled sample newspaper pages: each builds its PDF and the truth of what it shows.
#pragma once

#include <string>
#include <vector>

#include "layout.h"
#include "pagetruth.h"
#include "pdfwriter.h"

namespace samples {

struct SamplePage {
  std::string name;  // file name without extension: <name>.pdf, <name>.truth.json
  std::string pdf;   // file bytes
  vtest::PageTruth truth;
  std::vector<std::string> problems;  // layout faults found while building (text overflow)
};

SamplePage BuildFrontPage();
SamplePage BuildInnerPage();

// Shared by both pages.
inline constexpr double kPageWidth = 992;    // 350 mm
inline constexpr double kPageHeight = 1417;  // 500 mm
inline constexpr double kMarginLeft = 40;
inline constexpr double kMarginRight = 952;
inline constexpr char kPaperName[] = "滨江日报";
inline constexpr char16_t kIssueDate[] = u"2026年12月7日 星期一";
inline constexpr char16_t kLunarDate[] = u"农历丙午年十月廿九";
inline constexpr char16_t kPageCount[] = u"今日16版";
inline constexpr char16_t kIssueNumber[] = u"第12345期";
inline constexpr char kType3Font[] = "HGFKAB-HeiTi_B3";
inline constexpr int kType3FirstCode = 0xA1;  // the glyphs stand for GBK 0xB3A1 .. 0xB3FE
inline constexpr int kType3Glyphs = 94;

// Body text, and the colours of rules, bars and furniture.
inline constexpr double kBodySize = 10;
inline constexpr double kLeading = 15.5;

inline constexpr Rgb kRule{0.15, 0.15, 0.15};
inline constexpr Rgb kBarRed{0.66, 0.09, 0.1};
inline constexpr Rgb kWhite{1, 1, 1};
inline constexpr Rgb kGreyText{0.3, 0.3, 0.3};

// The column grid of a page, from the left margin.
struct Grid {
  int columns;
  double columnWidth, gutter;

  double ColX(int i) const { return kMarginLeft + i * (columnWidth + gutter); }
  double SpanWidth(int n) const { return n * columnWidth + (n - 1) * gutter; }
  double Centre(int first, int n) const { return ColX(first) + SpanWidth(n) / 2; }
};

// A new sample named `name`, its truth filled in with what every page shares.
SamplePage NewSample(const std::string& name, int columns);

// Fonts every page registers, in this order.
struct PageFonts {
  std::string song, helvetica, helveticaBold, type3;
};
PageFonts AddPageFonts(vtest::PdfWriter& writer);
// A page of the samples' size set in those fonts.
NewsPage NewPage(const PageFonts& fonts);
// Adds the page to the writer and keeps the PDF file it builds.
void FinishSample(SamplePage& sample, vtest::PdfWriter& writer, const NewsPage& page);

// Headline furniture of an article, as set.
vtest::TruthText SetText(NewsPage& page, double x, double baseline, std::u16string_view text,
                         const TextStyle& style);
vtest::TruthText SetTextRight(NewsPage& page, double right, double baseline,
                              std::u16string_view text, const TextStyle& style);
vtest::TruthText SetTextCentered(NewsPage& page, double centre, double baseline,
                                 std::u16string_view text, const TextStyle& style);
// One of an article's heads: its text, baseline and style.
struct Head {
  std::u16string_view text;
  double baseline;
  TextStyle style;
};
// Sets an article's kicker, headline and subtitle, in that order, centred on `centre`.
void SetHeadsCentered(NewsPage& page, vtest::TruthArticle& article, double centre,
                      const Head& kicker, const Head& headline, const Head& subtitle);
vtest::TruthBox Union(const vtest::TruthBox& a, const vtest::TruthBox& b);
// Records an overflow of a flow as a problem.
void CheckFlow(SamplePage& sample, const FlowResult& flow, const std::string& what);
// Takes the body text as set into the article.
void SetBody(vtest::TruthArticle& article, const FlowResult& flow);
// Spreads an article's body evenly over n columns of the grid from column `first`, starting at
// top; checks the flow (an overflow is a problem named `what`) and takes it into the article.
FlowResult SetBalancedBody(SamplePage& sample, NewsPage& page, vtest::TruthArticle& article,
                           const std::vector<std::u16string>& body, const Grid& grid, int first,
                           int n, double top, LineMode mode, const std::string& what);

}  // namespace samples
