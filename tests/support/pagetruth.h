// What a bundled sample page shows, as its generator laid it out: the truth that
// end-to-end tests compare analysis results against. Stored as JSON beside each sample PDF
// (samples/<name>.truth.json). Texts are UTF-8; boxes are PDF points with the origin at the
// top-left corner of the page and y growing downward, as [left, top, right, bottom].
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vtest {

struct TruthBox {
  double left = 0, top = 0, right = 0, bottom = 0;
  bool operator==(const TruthBox&) const = default;
};

// A run set in a custom-encoded font: the characters its glyphs stand for and the codes
// shown (hex, two digits a code).
struct TruthCustomRun {
  std::string font;
  std::string text;
  std::string codes;
  TruthBox box;
  bool operator==(const TruthCustomRun&) const = default;
};

struct TruthPicture {
  std::string kind;  // "rgb", "gray", "bilevel"
  TruthBox box;
  std::string caption;  // empty when none
  TruthBox captionBox;
  bool operator==(const TruthPicture&) const = default;
};

struct TruthText {
  std::string text;
  TruthBox box;
  bool operator==(const TruthText&) const = default;
};

struct TruthArticle {
  std::string id;
  // Kicker (upper title), headline (main title) and subtitle; text empty when absent.
  TruthText kicker, headline, subtitle;
  std::vector<TruthBox> columns;  // body text, one box per column, in reading order
  std::string firstLine;          // first body line as set (indent included)
  std::string lastLine;           // last body line as set
  std::string jumpLine;           // continuation reference ("（下转A3版）"), empty when none
  std::vector<TruthPicture> pictures;
  bool operator==(const TruthArticle&) const = default;
};

struct PageTruth {
  std::string file;  // PDF file name beside the truth file
  double width = 0, height = 0;
  int columns = 0;  // columns of the page grid
  std::string paperName;
  TruthText pageId, pageName, issueDate, lunarDate, pageCount, issueNumber;
  std::vector<TruthArticle> articles;
  std::vector<TruthText> otherTexts;   // boxes, notices and the like that are not articles
  std::vector<TruthPicture> pictures;  // pictures outside articles
  std::vector<TruthCustomRun> customRuns;
  bool operator==(const PageTruth&) const = default;
};

// Deterministic JSON (two-space indent, numbers with at most one decimal).
std::string ToJson(const PageTruth& truth);
// Parses what ToJson writes (any valid JSON of that shape); nullopt on malformed input.
std::optional<PageTruth> ParsePageTruth(std::string_view json);
std::optional<PageTruth> LoadPageTruth(const std::string& path);

}  // namespace vtest
