// What the velluma command reads of a page through the client interfaces, and the writers of
// its output formats that live in files of their own.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "velluma/velluma.h"
#include "vjson/json.h"

namespace vcli {

struct Box {
  double left = 0, top = 0, right = 0, bottom = 0;
  bool empty() const { return !(right > left || bottom > top); }
};

// The smallest box holding both; an empty box takes no part.
inline Box Union(const Box& a, const Box& b) {
  if (a.empty()) return b;
  if (b.empty()) return a;
  return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
          std::max(a.bottom, b.bottom)};
}

struct Text {
  int type = -1;  // type code; -1 when the module does not report flags
  int level = 1;  // from the flags; else 1 without children, one more than the highest child
  int direction = 0;
  Box box;
  std::vector<POINT> points;
  std::string font;
  double fontSize = 0;
  int lineCount = 0;
  std::string text;
  std::string html;
  std::vector<Text> children;
};

struct Picture {
  RECT rect{};  // placement box of the whole image
  Box box;      // visible part, from the outline
  DWORD width = 0, height = 0, bpp = 0;
  std::vector<POINT> points;
  std::vector<Text> captions;  // the caption group (GetTextList of the picture); empty when none
  std::string caption;         // the captions' text
};

struct Article {
  int id = 0;
  std::string html;
  std::optional<Text> kicker, title, subtitle, body;
  std::vector<Picture> pictures;
  Box box;  // union of its titles, body and pictures
};

struct PageInfo {
  int index = 0;
  double width = 0, height = 0;
  std::string pageId, pageName, issueDate, pageCount, source;
};

struct Page {
  int number = 0;
  int level = 0;
  PageInfo info;
  std::vector<Text> texts;
  std::vector<Picture> pictures;
  std::vector<Article> articles;
};

// Escaped as this command always has: \b and \f in their \u forms, other bytes as they are.
inline std::string JsonString(std::string_view s) {
  return vjson::JsonString(s, {.shortControls = false, .repairUtf8 = false});
}

// A number with at most three decimals and no trailing zeros; null when not finite.
inline std::string Num(double v) {
  return vjson::JsonNumber(v, 3);
}

std::string HtmlEscape(std::string_view s);

// Blocks without children under t (t itself when it has none), in reading order.
void CollectLeaves(const Text& t, std::vector<const Text*>& out);

// Article output of the text, JSON and HTML formats (articles_out.cpp).
void WriteArticlesText(std::ostream& os, const Page& p);
void WriteArticlesJson(std::ostream& os, const Page& p);
std::string TextJson(const Text& t);
std::string PictureJson(const Picture& pic);
void WriteArticlesSvg(std::ostream& os, const Page& p);
std::string ArticlesCss();

// ALTO 4 XML of one page (alto.cpp). sourceFile names the PDF in the description.
void WriteAlto(std::ostream& os, const std::string& sourceFile, long pageCount, const Page& p);

}  // namespace vcli
