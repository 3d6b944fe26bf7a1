// The path stream: segments in kit coordinates, flags, widths and colours.
#include "kit_fixture.h"

namespace {

using kittest::Doc;
using kittest::PathStream;

struct Seg {
  int type;
  double x, y, x2, y2, x3, y3;
};

struct PathView {
  bool stroke, fill, evenOdd;
  double width;
  uint32_t strokeRgb, fillRgb;
  double x0, y0, x1, y1;
  std::vector<Seg> segs;
};

std::vector<PathView> Paths(const std::string& content, const std::string& name,
                            const vtest::PageOptions& options = {}) {
  Doc doc(kittest::OnePage(content, 600, 800, options), name);
  PathStream stream(doc.get(), 1);
  std::vector<PathView> out;
  int index = 0;
  for (const PTK_PathRecord* r : stream.list()) {
    EXPECT_EQ(r->nIndex, index++);
    PathView v{r->bStroke != 0,
               r->bFill != 0,
               r->bEvenOdd != 0,
               r->dLineWidth,
               r->nStrokeRGB,
               r->nFillRGB,
               r->dX0,
               r->dY0,
               r->dX1,
               r->dY1,
               {}};
    for (int i = 0; i < r->nSegmentCount; ++i) {
      const PTK_PathSegment& s = r->pSegments[i];
      v.segs.push_back({s.nType, s.dX, s.dY, s.dX2, s.dY2, s.dX3, s.dY3});
    }
    out.push_back(v);
  }
  return out;
}

void ExpectPoint(const Seg& s, int type, double x, double y) {
  EXPECT_EQ(s.type, type);
  EXPECT_NEAR(s.x, x, 1e-3);
  EXPECT_NEAR(s.y, y, 1e-3);
}

TEST(KitPaths, StrokedLine) {
  auto paths = Paths("1 0 0 RG 2 w 10 20 m 110 20 l S", "path-stroke");
  ASSERT_EQ(paths.size(), 1u);
  const PathView& p = paths[0];
  EXPECT_TRUE(p.stroke);
  EXPECT_FALSE(p.fill);
  EXPECT_DOUBLE_EQ(p.width, 2);
  EXPECT_EQ(p.strokeRgb, 0xFF0000u);
  ASSERT_EQ(p.segs.size(), 2u);
  ExpectPoint(p.segs[0], PTK_SEG_MOVE, 10, 20);
  ExpectPoint(p.segs[1], PTK_SEG_LINE, 110, 20);
  EXPECT_DOUBLE_EQ(p.x0, 10);
  EXPECT_DOUBLE_EQ(p.x1, 110);
  EXPECT_DOUBLE_EQ(p.y0, 20);
  EXPECT_DOUBLE_EQ(p.y1, 20);
}

TEST(KitPaths, FilledClosedPathsAndRules) {
  auto paths =
      Paths("0 0 1 rg 10 10 m 50 10 l 50 50 l h f 0.5 g 60 10 m 90 10 l 90 40 l f*", "path-fill");
  ASSERT_EQ(paths.size(), 2u);
  EXPECT_TRUE(paths[0].fill);
  EXPECT_FALSE(paths[0].stroke);
  EXPECT_FALSE(paths[0].evenOdd);
  EXPECT_EQ(paths[0].fillRgb, 0x0000FFu);
  EXPECT_DOUBLE_EQ(paths[0].width, 0);
  ASSERT_EQ(paths[0].segs.size(), 4u);
  EXPECT_EQ(paths[0].segs[3].type, PTK_SEG_CLOSE);
  EXPECT_TRUE(paths[1].evenOdd);
  EXPECT_EQ(paths[1].fillRgb, 0x808080u);
}

TEST(KitPaths, FillAndStrokeMakeOneRecord) {
  auto paths = Paths(
      "1 0 0 rg 0 1 0 RG 3 w 10 10 m 50 10 l 50 50 l b "  // close, fill and stroke
      "20 20 m 30 30 l f 20 20 m 30 30 l S",              // same geometry, two operators
      "path-both");
  ASSERT_EQ(paths.size(), 2u);
  EXPECT_TRUE(paths[0].fill);
  EXPECT_TRUE(paths[0].stroke);
  EXPECT_EQ(paths[0].fillRgb, 0xFF0000u);
  EXPECT_EQ(paths[0].strokeRgb, 0x00FF00u);
  EXPECT_DOUBLE_EQ(paths[0].width, 3);
  EXPECT_EQ(paths[0].segs.back().type, PTK_SEG_CLOSE);
  // f then S of an equal path are two operators, but the kit cannot tell them from B: they
  // merge too. What must not merge is a stroke of a different path after a fill.
  auto separate = Paths("10 10 m 50 10 l 50 50 l f 10 10 m 60 10 l S", "path-separate");
  ASSERT_EQ(separate.size(), 2u);
  EXPECT_TRUE(separate[0].fill && !separate[0].stroke);
  EXPECT_TRUE(separate[1].stroke && !separate[1].fill);
}

TEST(KitPaths, RectanglesAndCurves) {
  auto rect = Paths("10 20 30 40 re f", "path-rect");
  ASSERT_EQ(rect.size(), 1u);
  ASSERT_EQ(rect[0].segs.size(), 5u);
  ExpectPoint(rect[0].segs[0], PTK_SEG_MOVE, 10, 20);
  ExpectPoint(rect[0].segs[1], PTK_SEG_LINE, 40, 20);
  ExpectPoint(rect[0].segs[2], PTK_SEG_LINE, 40, 60);
  ExpectPoint(rect[0].segs[3], PTK_SEG_LINE, 10, 60);
  EXPECT_EQ(rect[0].segs[4].type, PTK_SEG_CLOSE);

  // A cubic curve takes two segments; v and y curves arrive as cubics.
  auto curve = Paths("10 10 m 20 30 40 30 50 10 c 60 20 70 10 v 80 0 90 10 y S", "path-curve");
  ASSERT_EQ(curve.size(), 1u);
  const auto& s = curve[0].segs;
  ASSERT_EQ(s.size(), 7u);
  ExpectPoint(s[0], PTK_SEG_MOVE, 10, 10);
  ExpectPoint(s[1], PTK_SEG_CURVE, 20, 30);
  EXPECT_NEAR(s[1].x2, 40, 1e-3);
  EXPECT_NEAR(s[1].y2, 30, 1e-3);
  EXPECT_EQ(s[1].x3, 1.0);
  EXPECT_EQ(s[2].type, PTK_SEG_CURVE);
  EXPECT_NEAR(s[2].x3, 50, 1e-3);
  EXPECT_NEAR(s[2].y3, 10, 1e-3);
  EXPECT_EQ(s[2].x, 0);
  EXPECT_EQ(s[2].x2, 0);
  ExpectPoint(s[3], PTK_SEG_CURVE, 50, 10);  // v: the first control is the current point
  EXPECT_NEAR(s[4].x3, 70, 1e-3);
  ExpectPoint(s[5], PTK_SEG_CURVE, 80, 0);  // y: the second control is the end point
  EXPECT_NEAR(s[5].x2, 90, 1e-3);
  EXPECT_NEAR(s[6].x3, 90, 1e-3);
  EXPECT_NEAR(curve[0].y0, 0, 1e-3);  // bounds take the control points
  EXPECT_NEAR(curve[0].y1, 30, 1e-3);
}

TEST(KitPaths, KitCoordinatesAndScaledWidths) {
  vtest::PageOptions cropped;
  cropped.cropBox = std::array<double, 4>{100, 200, 500, 700};
  auto paths = Paths("2 0 0 2 0 0 cm 3 w 60 110 m 70 110 l S", "path-cropped", cropped);
  ASSERT_EQ(paths.size(), 1u);
  EXPECT_DOUBLE_EQ(paths[0].width, 6);
  ExpectPoint(paths[0].segs[0], PTK_SEG_MOVE, 20, 20);
  ExpectPoint(paths[0].segs[1], PTK_SEG_LINE, 40, 20);

  // On a page turned a quarter clockwise the user-space x axis points down the display.
  vtest::PageOptions turned;
  turned.rotate = 90;
  auto rotated = Paths("10 20 m 30 20 l S", "path-rotated", turned);
  ASSERT_EQ(rotated.size(), 1u);
  ExpectPoint(rotated[0].segs[0], PTK_SEG_MOVE, 20, 590);
  ExpectPoint(rotated[0].segs[1], PTK_SEG_LINE, 20, 570);
}

TEST(KitPaths, ClipsTextAndImagesAreNotPaths) {
  vtest::ImageSpec im;
  im.kind = vtest::ImageSpec::Gray8;
  im.width = im.height = 1;
  im.pixels = {0};
  vtest::PdfWriter writer;
  const std::string font = writer.AddStandardFont();
  ASSERT_EQ(writer.AddImage(im), "Im1");
  writer.AddPage(300, 300,
                 "q 0 0 100 100 re W n BT /" + font +
                     " 12 Tf 10 10 Td (Hi) Tj ET "
                     "q 10 0 0 10 0 0 cm /Im1 Do Q Q");
  Doc doc(writer, "path-none");
  PathStream stream(doc.get(), 1);
  EXPECT_EQ(stream.first, nullptr);
}

}  // namespace
