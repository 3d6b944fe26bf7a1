#include "sample_pages.h"

#include <algorithm>

namespace samples {

PageFonts AddPageFonts(vtest::PdfWriter& writer) {
  PageFonts f;
  f.song = writer.AddCjkFont("STSong-Light");
  f.helvetica = writer.AddStandardFont("Helvetica");
  f.helveticaBold = writer.AddStandardFont("Helvetica-Bold");
  f.type3 = writer.AddType3Font(kType3Font, kType3Glyphs, kType3FirstCode);
  return f;
}

vtest::TruthText SetText(NewsPage& page, double x, double baseline, std::u16string_view text,
                         const TextStyle& style) {
  return {Utf8(text), page.Line(x, baseline, text, style)};
}

vtest::TruthText SetTextRight(NewsPage& page, double right, double baseline,
                              std::u16string_view text, const TextStyle& style) {
  return {Utf8(text), page.LineRight(right, baseline, text, style)};
}

vtest::TruthText SetTextCentered(NewsPage& page, double centre, double baseline,
                                 std::u16string_view text, const TextStyle& style) {
  return {Utf8(text), page.LineCentered(centre, baseline, text, style)};
}

vtest::TruthBox Union(const vtest::TruthBox& a, const vtest::TruthBox& b) {
  return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
          std::max(a.bottom, b.bottom)};
}

void CheckFlow(SamplePage& sample, const FlowResult& flow, const std::string& what) {
  if (flow.overflow) sample.problems.push_back(what + ": text does not fit");
}

}  // namespace samples
