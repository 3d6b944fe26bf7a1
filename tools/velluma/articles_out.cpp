// Articles in the velluma command's text, JSON and HTML output, and the JSON of blocks and
// pictures that articles and the page lists share.

#include <cstdio>
#include <string>

#include "model.h"

namespace vcli {

std::string HtmlEscape(std::string_view s) {
  std::string out;
  for (const char c : s) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

void CollectLeaves(const Text& t, std::vector<const Text*>& out) {
  if (t.children.empty()) {
    out.push_back(&t);
    return;
  }
  for (const Text& c : t.children) CollectLeaves(c, out);
}

namespace {

std::string BoxJson(const Box& b) {
  return "[" + Num(b.left) + "," + Num(b.top) + "," + Num(b.right) + "," + Num(b.bottom) + "]";
}

std::string PointsJson(const std::vector<POINT>& points) {
  std::string s = "[";
  for (size_t k = 0; k < points.size(); ++k) {
    if (k) s += ",";
    s += "[" + std::to_string(points[k].x) + "," + std::to_string(points[k].y) + "]";
  }
  return s + "]";
}

std::string OneLine(std::string text) {
  for (size_t at; (at = text.find("\r\n")) != std::string::npos;) text.replace(at, 2, " / ");
  return text;
}

std::string BoxText(const Box& b) {
  return "[" + Num(b.left) + "," + Num(b.top) + " - " + Num(b.right) + "," + Num(b.bottom) + "]";
}

std::string IdText(int id) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(id));
  return buf;
}

std::string OptionalTextJson(const std::optional<Text>& t) {
  return t ? TextJson(*t) : std::string("null");
}

// Distinct hues for neighbouring articles (golden-angle steps around the colour wheel).
std::string ArticleColour(size_t k) {
  return "hsl(" + std::to_string((k * 137 + 10) % 360) + ",85%,40%)";
}

std::string PointsAttr(const std::vector<POINT>& points) {
  std::string pts;
  for (const POINT& pt : points) pts += std::to_string(pt.x) + "," + std::to_string(pt.y) + " ";
  return pts;
}

}  // namespace

std::string TextJson(const Text& t) {
  std::string s = "{\"kind\":" + JsonString(t.children.empty() ? "block" : "group");
  s += ",\"type\":" + (t.type < 0 ? std::string("null") : std::to_string(t.type));
  s += ",\"level\":" + std::to_string(t.level) + ",\"direction\":" + std::to_string(t.direction);
  s += ",\"box\":" + BoxJson(t.box) + ",\"region\":" + PointsJson(t.points);
  s += ",\"font\":" + JsonString(t.font) + ",\"font_size\":" + Num(t.fontSize);
  s += ",\"line_count\":" + std::to_string(t.lineCount) + ",\"text\":" + JsonString(t.text);
  s += ",\"html\":" + JsonString(t.html) + ",\"children\":[";
  for (size_t k = 0; k < t.children.size(); ++k) {
    if (k) s += ",";
    s += TextJson(t.children[k]);
  }
  return s + "]}";
}

std::string PictureJson(const Picture& pic) {
  std::string s = "{\"box\":[" + std::to_string(pic.rect.left) + "," +
                  std::to_string(pic.rect.top) + "," + std::to_string(pic.rect.right) + "," +
                  std::to_string(pic.rect.bottom) + "]";
  s += ",\"width\":" + std::to_string(pic.width) + ",\"height\":" + std::to_string(pic.height);
  s += ",\"bpp\":" + std::to_string(pic.bpp) + ",\"region\":" + PointsJson(pic.points);
  s += ",\"caption\":" + JsonString(pic.caption) + ",\"captions\":[";
  for (size_t k = 0; k < pic.captions.size(); ++k) {
    if (k) s += ",";
    s += TextJson(pic.captions[k]);
  }
  return s + "]}";
}

void WriteArticlesText(std::ostream& os, const Page& p) {
  os << "articles: " << p.articles.size() << "\n";
  for (size_t k = 0; k < p.articles.size(); ++k) {
    const Article& a = p.articles[k];
    os << "  article " << k + 1 << " id " << IdText(a.id) << " " << BoxText(a.box) << "\n";
    const std::pair<const char*, const std::optional<Text>*> titles[] = {
        {"kicker", &a.kicker}, {"title", &a.title}, {"subtitle", &a.subtitle}};
    for (const auto& [name, t] : titles)
      if (*t) os << "    " << name << ": " << OneLine(t->value().text) << "\n";
    if (a.body) {
      std::vector<const Text*> pieces;
      CollectLeaves(*a.body, pieces);
      os << "    body: " << pieces.size() << (pieces.size() == 1 ? " piece\n" : " pieces\n");
      for (const Text* piece : pieces)
        os << "      " << BoxText(piece->box) << " " << OneLine(piece->text) << "\n";
    }
    for (const Picture& pic : a.pictures) {
      os << "    picture " << BoxText(pic.box) << " " << pic.width << " x " << pic.height;
      if (!pic.caption.empty()) os << " caption \"" << OneLine(pic.caption) << "\"";
      os << "\n";
    }
  }
}

void WriteArticlesJson(std::ostream& os, const Page& p) {
  os << "\"articles\":[";
  for (size_t k = 0; k < p.articles.size(); ++k) {
    const Article& a = p.articles[k];
    os << (k ? ",\n" : "\n") << "{\"id\":" << a.id << ",\"box\":" << BoxJson(a.box)
       << ",\"kicker\":" << OptionalTextJson(a.kicker) << ",\"title\":" << OptionalTextJson(a.title)
       << ",\"subtitle\":" << OptionalTextJson(a.subtitle)
       << ",\"body\":" << OptionalTextJson(a.body) << ",\"pictures\":[";
    for (size_t j = 0; j < a.pictures.size(); ++j)
      os << (j ? "," : "") << PictureJson(a.pictures[j]);
    os << "],\"html\":" << JsonString(a.html) << "}";
  }
  os << "]";
}

std::string ArticlesCss() {
  return "g.article polygon{stroke:var(--c);fill:none;stroke-width:1}"
         "g.article polygon.outline{stroke-width:3;fill:var(--c);fill-opacity:.04}"
         "g.article polygon.title{stroke-width:2}"
         "g.article polygon.picture{stroke-dasharray:6 3}"
         "g.article polyline.order{stroke:var(--c);fill:none;stroke-width:.8;opacity:.8}"
         "g.article text{fill:var(--c);font:bold 20px sans-serif}";
}

// One group per article: its outline, number, titles, body pieces, pictures and captions, and
// the reading order as a thin path through the centres of the body pieces.
void WriteArticlesSvg(std::ostream& os, const Page& p) {
  for (size_t k = 0; k < p.articles.size(); ++k) {
    const Article& a = p.articles[k];
    os << "<g class=\"article\" style=\"--c:" << ArticleColour(k) << "\"><title>article " << k + 1
       << " (id " << IdText(a.id) << ")</title>\n";
    if (!a.box.empty()) {
      const Box& b = a.box;
      os << "<polygon class=\"outline\" points=\"" << Num(b.left) << "," << Num(b.top) << " "
         << Num(b.right) << "," << Num(b.top) << " " << Num(b.right) << "," << Num(b.bottom) << " "
         << Num(b.left) << "," << Num(b.bottom) << "\"/>\n<text x=\"" << Num(b.left + 3)
         << "\" y=\"" << Num(b.top + 20) << "\">" << k + 1 << "</text>\n";
    }
    for (const std::optional<Text>* t : {&a.kicker, &a.title, &a.subtitle})
      if (*t && !(*t)->points.empty())
        os << "<polygon class=\"title\" points=\"" << PointsAttr((*t)->points) << "\"><title>"
           << HtmlEscape((*t)->text) << "</title></polygon>\n";
    std::vector<const Text*> pieces;
    if (a.body) CollectLeaves(*a.body, pieces);
    std::string path;
    for (const Text* piece : pieces) {
      if (piece->points.empty()) continue;
      os << "<polygon class=\"body\" points=\"" << PointsAttr(piece->points) << "\"><title>"
         << HtmlEscape(piece->text) << "</title></polygon>\n";
      path += Num((piece->box.left + piece->box.right) / 2) + "," +
              Num((piece->box.top + piece->box.bottom) / 2) + " ";
    }
    if (pieces.size() > 1) os << "<polyline class=\"order\" points=\"" << path << "\"/>\n";
    for (const Picture& pic : a.pictures) {
      if (!pic.points.empty())
        os << "<polygon class=\"picture\" points=\"" << PointsAttr(pic.points) << "\"><title>"
           << HtmlEscape(pic.caption) << "</title></polygon>\n";
      std::vector<const Text*> caps;
      for (const Text& c : pic.captions) CollectLeaves(c, caps);
      for (const Text* c : caps)
        if (!c->points.empty())
          os << "<polygon class=\"caption\" points=\"" << PointsAttr(c->points) << "\"><title>"
             << HtmlEscape(c->text) << "</title></polygon>\n";
    }
    os << "</g>\n";
  }
}

}  // namespace vcli
