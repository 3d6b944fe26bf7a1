// Image and path intake: size filters, clipping, orientation and order of pictures; segment
// walks of paths.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "engine_fixture.h"

namespace {

using enginetest::Draw;
using enginetest::Engine;

constexpr double kPageHeight = 800;

// Pictures as (sequence number, left, top) in list order.
struct PicView {
  int seq;
  double left, top;
  bool operator==(const PicView&) const = default;
};
std::vector<PicView> Pictures(CPDFInstance& engine) {
  std::vector<PicView> out;
  for (const CPicBlock* p : engine.m_picBlocks) {
    out.push_back({p->m_nSeq, std::round(p->m_dLeft), std::round(p->m_dTop)});
  }
  return out;
}

TEST(ImageIntake, SmallAndOffPageImagesAreDroppedWithoutSequenceNumbers) {
  vtest::PdfWriter w;
  const std::string im = w.AddImage(enginetest::SolidImage(4, 4));
  w.AddPage(600, kPageHeight,
            Draw(im, 1000, 100, 40, 40) +      // wholly right of the page
                Draw(im, 300, 500, 20, 40) +   // kept: 20 wide, 40 high
                Draw(im, 100, 500, 20, 31) +   // smaller than 32 both ways
                Draw(im, 200, 500, 15, 100) +  // narrower than 16
                Draw(im, 100, 600, 50, 50));   // kept, higher up the page
  Engine engine;
  engine.OpenDoc(w, "images-sizes");
  ASSERT_EQ(engine.LoadPage(1, LPF_IMAGES, FALSE), S_OK);
  // Sorted by top: the second kept image lies higher on the page.
  EXPECT_EQ(Pictures(engine),
            (std::vector<PicView>{{1, 100, kPageHeight - 650}, {0, 300, kPageHeight - 540}}));
  const CPicBlock* p = engine.m_picBlocks[1];
  EXPECT_NEAR(p->m_dImgRight, 320, 1e-6);
  EXPECT_NEAR(p->m_dImgBottom, kPageHeight - 500, 1e-6);
  EXPECT_EQ(p->m_pImage->GetWidth(), 4u);
}

TEST(ImageIntake, VisibleBoxIsTheClipWithinThePlacement) {
  vtest::PdfWriter w;
  const std::string im = w.AddImage(enginetest::SolidImage(4, 4));
  w.AddPage(600, kPageHeight,
            "q 120 100 50 30 re W n " + Draw(im, 50, 60, 200, 100) + "Q\n" +
                // A clip reaching below the page: its lower edge counts as the page's edge.
                "q 300 -50 100 150 re W n " + Draw(im, 300, -20, 100, 100) + "Q\n");
  Engine engine;
  engine.OpenDoc(w, "images-clip");
  ASSERT_EQ(engine.LoadPage(1, LPF_IMAGES, FALSE), S_OK);
  ASSERT_EQ(engine.m_picBlocks.GetSize(), 2);
  const CPicBlock* clipped = engine.m_picBlocks[0];
  EXPECT_NEAR(clipped->m_dLeft, 120, 1e-3);
  EXPECT_NEAR(clipped->m_dRight, 170, 1e-3);
  EXPECT_NEAR(clipped->m_dTop, kPageHeight - 130, 1e-3);
  EXPECT_NEAR(clipped->m_dBottom, kPageHeight - 100, 1e-3);
  EXPECT_NEAR(clipped->m_dImgLeft, 50, 1e-3);
  EXPECT_NEAR(clipped->m_dImgBottom, kPageHeight - 60, 1e-3);
  const CPicBlock* low = engine.m_picBlocks[1];
  EXPECT_NEAR(low->m_dBottom, kPageHeight, 1e-3);
  EXPECT_NEAR(low->m_dImgBottom, kPageHeight + 20, 1e-3);
  EXPECT_NEAR(low->m_dTop, kPageHeight - 80, 1e-3);
}

// A 2 x 2 grey image: black top row and left column, white elsewhere.
vtest::ImageSpec Corner() {
  vtest::ImageSpec spec;
  spec.kind = vtest::ImageSpec::Gray8;
  spec.width = 2;
  spec.height = 2;
  spec.pixels = {0, 0, 0, 255};
  return spec;
}

// Grey level of pixel (x, row from the top) of a picture's image.
int Grey(const CPicBlock* p, long x, long rowFromTop) {
  const CxImage& image = *p->m_pImage;
  return image.GetPixelColor(x, static_cast<long>(image.GetHeight()) - 1 - rowFromTop).rgbGreen;
}

TEST(ImageIntake, FlippedAndMirroredImagesAreShownAsOnThePage) {
  vtest::PdfWriter w;
  const std::string im = w.AddImage(Corner());
  w.AddPage(600, kPageHeight,
            Draw(im, 100, 700, 40, 40) +                        // upright
                "q 40 0 0 -40 200 740 cm /" + im + " Do Q\n" +  // flipped vertically
                "q -40 0 0 40 340 700 cm /" + im + " Do Q\n" +  // mirrored
                "q 0 40 -80 0 500 600 cm /" + im + " Do Q\n");  // a quarter turn
  Engine engine;
  engine.OpenDoc(w, "images-orientation");
  ASSERT_EQ(engine.LoadPage(1, LPF_IMAGES, FALSE), S_OK);
  ASSERT_EQ(engine.m_picBlocks.GetSize(), 4);
  // By top, then left: the three in the top row, then the turned one below them.
  const CPicBlock* upright = engine.m_picBlocks[0];
  const CPicBlock* flipped = engine.m_picBlocks[1];
  const CPicBlock* mirrored = engine.m_picBlocks[2];
  const CPicBlock* turned = engine.m_picBlocks[3];
  EXPECT_NEAR(mirrored->m_dLeft, 300, 1e-3);
  // Upright: the white pixel is at the bottom right.
  EXPECT_EQ(Grey(upright, 0, 0), 0);
  EXPECT_EQ(Grey(upright, 1, 1), 255);
  EXPECT_DOUBLE_EQ(upright->m_dRotation, 0.0);
  // Flipped: white at the top right.
  EXPECT_LT(flipped->m_dScaleY, 0);
  EXPECT_EQ(Grey(flipped, 1, 0), 255);
  EXPECT_EQ(Grey(flipped, 1, 1), 0);
  // Mirrored: white at the bottom left.
  EXPECT_LT(mirrored->m_dScaleX, 0);
  EXPECT_EQ(Grey(mirrored, 0, 1), 255);
  EXPECT_EQ(Grey(mirrored, 1, 1), 0);
  // A quarter turn, in degrees, turns the image itself.
  EXPECT_NEAR(std::fabs(turned->m_dRotation), 90, 1e-3);
  EXPECT_NE(Grey(turned, 1, 1), 255);
}

// ---------------------------------------------------------------------------------------------
// Paths

PTK_PathSegment Seg(int type, double x = 0, double y = 0, double x2 = 0, double y2 = 0,
                    double x3 = 0, double y3 = 0) {
  PTK_PathSegment s{};
  s.nType = type;
  s.dX = x;
  s.dY = y;
  s.dX2 = x2;
  s.dY2 = y2;
  s.dX3 = x3;
  s.dY3 = y3;
  return s;
}

using Polyline = std::vector<std::pair<float, float>>;

std::vector<Polyline> Walk(const std::vector<PTK_PathSegment>& segs, int nCount = -1) {
  CGraphBlockArray blocks;
  CPDFInstance::ConvertPath(segs.data(), nCount < 0 ? static_cast<int>(segs.size()) : nCount, 100.0,
                            blocks);
  std::vector<Polyline> out;
  for (const CGraphBlock* g : blocks) {
    EXPECT_EQ(g->m_nKind, 3);
    Polyline line;
    for (const St_FloatPoint& p : g->m_points) line.emplace_back(p.x, p.y);
    out.push_back(line);
  }
  blocks.DeleteAll();
  return out;
}

TEST(PathIntake, SegmentWalks) {
  using S = std::vector<PTK_PathSegment>;
  // Move, line, line, close: one closed polyline of four points (y turned downward).
  EXPECT_EQ(Walk(S{Seg(1, 10, 10), Seg(2, 20, 10), Seg(2, 20, 30), Seg(4)}),
            (std::vector<Polyline>{{{10, 90}, {20, 90}, {20, 70}, {10, 90}}}));
  // Move, line, move, line: two polylines of two points.
  EXPECT_EQ(Walk(S{Seg(1, 0, 0), Seg(2, 5, 0), Seg(1, 0, 10), Seg(2, 5, 10)}),
            (std::vector<Polyline>{{{0, 100}, {5, 100}}, {{0, 90}, {5, 90}}}));
  // A cubic in two segments becomes its chord; the one-segment form ends at (x2, y2).
  EXPECT_EQ(Walk(S{Seg(1, 0, 0), Seg(3, 1, 5, 2, 5, 1.0, 0), Seg(3, 0, 0, 0, 0, 3, 0),
                   Seg(3, 4, 4, 6, 0, 0, 0)}),
            (std::vector<Polyline>{{{0, 100}, {3, 100}, {6, 100}}}));
  // A curve whose end point would lie beyond the count takes no point.
  EXPECT_EQ(
      Walk(S{Seg(1, 0, 0), Seg(2, 1, 0), Seg(3, 1, 5, 2, 5, 1.0, 0), Seg(3, 0, 0, 0, 0, 9, 9)}, 3),
      (std::vector<Polyline>{{{0, 100}, {1, 100}}}));
  // After a close the pen stays where it was; a new line opens a new polyline from there.
  EXPECT_EQ(Walk(S{Seg(1, 0, 0), Seg(2, 4, 0), Seg(4), Seg(2, 4, 4)}),
            (std::vector<Polyline>{{{0, 100}, {4, 100}, {0, 100}}, {{4, 100}, {4, 96}}}));
  // A line before any move starts the path at its end point; other types are ignored.
  EXPECT_EQ(Walk(S{Seg(2, 1, 1), Seg(7, 50, 50), Seg(2, 2, 1)}),
            (std::vector<Polyline>{{{1, 99}, {2, 99}}}));
  // Nothing to walk.
  EXPECT_TRUE(Walk(S{Seg(1, 0, 0), Seg(4)}).empty());
  EXPECT_TRUE(Walk(S{Seg(1, 0, 0), Seg(2, 1, 1)}, 0).empty());
}

TEST(PathIntake, PathsWithoutDrawingFlagsYieldNothing) {
  std::vector<PTK_PathSegment> segs{Seg(1, 0, 0), Seg(2, 1, 0)};
  PTK_PathRecord second{};
  second.pSegments = segs.data();
  second.nSegmentCount = 2;
  second.bFill = 1;
  PTK_PathRecord first{};
  first.pSegments = segs.data();
  first.nSegmentCount = 2;
  first.pNext = &second;
  CGraphBlockArray blocks;
  CPDFInstance::ConvertPaths(&first, 10.0, blocks);
  EXPECT_EQ(blocks.GetSize(), 1);
  blocks.DeleteAll();
}

}  // namespace
