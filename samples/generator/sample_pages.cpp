#include "sample_pages.h"

#include <algorithm>

namespace samples {

SamplePage NewSample(const std::string& name, int columns) {
  SamplePage sample;
  sample.name = name;
  vtest::PageTruth& truth = sample.truth;
  truth.file = name + ".pdf";
  truth.width = kPageWidth;
  truth.height = kPageHeight;
  truth.columns = columns;
  truth.paperName = kPaperName;
  return sample;
}

PageFonts AddPageFonts(vtest::PdfWriter& writer) {
  PageFonts f;
  f.song = writer.AddCjkFont("STSong-Light");
  f.helvetica = writer.AddStandardFont("Helvetica");
  f.helveticaBold = writer.AddStandardFont("Helvetica-Bold");
  f.type3 = writer.AddType3Font(kType3Font, kType3Glyphs, kType3FirstCode);
  return f;
}

NewsPage NewPage(const PageFonts& fonts) {
  return NewsPage(kPageWidth, kPageHeight, fonts.song, fonts.helvetica, fonts.helveticaBold,
                  fonts.type3);
}

void FinishSample(SamplePage& sample, vtest::PdfWriter& writer, const NewsPage& page) {
  writer.AddPage(kPageWidth, kPageHeight, page.content());
  sample.pdf = writer.Build();
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

void SetHeadsCentered(NewsPage& page, vtest::TruthArticle& article, double centre,
                      const Head& kicker, const Head& headline, const Head& subtitle) {
  article.kicker = SetTextCentered(page, centre, kicker.baseline, kicker.text, kicker.style);
  article.headline =
      SetTextCentered(page, centre, headline.baseline, headline.text, headline.style);
  article.subtitle =
      SetTextCentered(page, centre, subtitle.baseline, subtitle.text, subtitle.style);
}

vtest::TruthBox Union(const vtest::TruthBox& a, const vtest::TruthBox& b) {
  return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
          std::max(a.bottom, b.bottom)};
}

void CheckFlow(SamplePage& sample, const FlowResult& flow, const std::string& what) {
  if (flow.overflow) sample.problems.push_back(what + ": text does not fit");
}

void SetBody(vtest::TruthArticle& article, const FlowResult& flow) {
  article.columns = flow.columns;
  article.firstLine = flow.firstLine;
  article.lastLine = flow.lastLine;
}

FlowResult SetBalancedBody(SamplePage& sample, NewsPage& page, vtest::TruthArticle& article,
                           const std::vector<std::u16string>& body, const Grid& grid, int first,
                           int n, double top, LineMode mode, const std::string& what) {
  std::vector<double> xs;
  for (int i = first; i < first + n; ++i) xs.push_back(grid.ColX(i));
  const FlowResult flow =
      page.FlowBalanced(body, xs, top, grid.columnWidth, kBodySize, kLeading, mode);
  CheckFlow(sample, flow, what);
  SetBody(article, flow);
  return flow;
}

}  // namespace samples
