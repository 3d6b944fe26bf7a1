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

// Fonts every page registers, in this order.
struct PageFonts {
  std::string song, helvetica, helveticaBold, type3;
};
PageFonts AddPageFonts(vtest::PdfWriter& writer);

// Headline furniture of an article, as set.
vtest::TruthText SetText(NewsPage& page, double x, double baseline, std::u16string_view text,
                         const TextStyle& style);
vtest::TruthText SetTextRight(NewsPage& page, double right, double baseline,
                              std::u16string_view text, const TextStyle& style);
vtest::TruthText SetTextCentered(NewsPage& page, double centre, double baseline,
                                 std::u16string_view text, const TextStyle& style);
vtest::TruthBox Union(const vtest::TruthBox& a, const vtest::TruthBox& b);
// Records an overflow of a flow as a problem.
void CheckFlow(SamplePage& sample, const FlowResult& flow, const std::string& what);

}  // namespace samples
