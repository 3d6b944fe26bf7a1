#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

#include "block_fixture.h"
#include "blocks/geometry.h"
#include "blocks/picblock.h"

TEST(IntegerBox, TextRuleRaisesBy0999AndTruncatesTowardZero) {
  CPageInfo info;
  CTextBlock block(&info);
  block.m_dLeft = -0.5;
  block.m_dTop = 3.9;
  block.m_dRight = 10.0;
  block.m_dBottom = 10.002;
  RECT rc = block.GetIntRect();
  EXPECT_EQ(rc.left, 0);  // not floor
  EXPECT_EQ(rc.top, 3);
  EXPECT_EQ(rc.right, 10);  // 10.999
  EXPECT_EQ(rc.bottom, 11);
  block.m_dRight = 10.0005;
  EXPECT_EQ(block.GetIntRect().right, 10);
}

TEST(IntegerBox, PictureRuleRaisesBy099) {
  CPageInfo info;
  CPicBlock pic(&info);
  pic.m_dRight = 10.005;
  pic.m_dBottom = 10.02;
  RECT rc = pic.GetIntRect();
  EXPECT_EQ(rc.right, 10);
  EXPECT_EQ(rc.bottom, 11);

  // GetRect answers for the placement box, not the visible one.
  pic.m_dImgLeft = 10.2;
  pic.m_dImgTop = 20.7;
  pic.m_dImgRight = 100.004;
  pic.m_dImgBottom = 50.995;
  IPicBlock* ip = &pic;
  ASSERT_EQ(ip->GetRect(&rc), S_OK);
  EXPECT_EQ(rc.left, 10);
  EXPECT_EQ(rc.top, 20);
  EXPECT_EQ(rc.right, 100);
  EXPECT_EQ(rc.bottom, 51);
}

TEST(IntegerBox, UnrepresentableValuesGiveIntegerIndefinite) {
  EXPECT_EQ(TruncToLong(std::nan("")), INT32_MIN);
  EXPECT_EQ(TruncToLong(3e9), INT32_MIN);
  EXPECT_EQ(TruncToLong(-2147483648.7), INT32_MIN);
  EXPECT_EQ(TruncToLong(2147483647.5), 2147483647);
}

TEST(Overlap, RatioAndLength) {
  double shorter = 0;
  EXPECT_DOUBLE_EQ(OverlapRatio(0, 10, 5, 20, &shorter), 0.25);
  EXPECT_DOUBLE_EQ(shorter, 0.5);
  EXPECT_DOUBLE_EQ(OverlapRatio(0, 10, 12, 20), -0.1);
  EXPECT_DOUBLE_EQ(OverlapLength(0, 10, 12, 20), -2.0);
  EXPECT_DOUBLE_EQ(OverlapLength(5, 20, 0, 10), 5.0);
}

TEST(Overlap, DegenerateIntervalsFollowIeeeAndPassNoThreshold) {
  double shorter = 0;
  // A point inside an interval: overlap 0 over a zero-length shorter interval.
  EXPECT_DOUBLE_EQ(OverlapRatio(5, 5, 0, 10, &shorter), 0.0);
  EXPECT_TRUE(std::isnan(shorter));
  EXPECT_FALSE(shorter > 0.5);
  // Two equal points: 0 / 0 for both.
  EXPECT_TRUE(std::isnan(OverlapRatio(3, 3, 3, 3, &shorter)));
  EXPECT_TRUE(std::isnan(shorter));
  // Two distinct points: the gap over a zero-length shorter interval is -inf.
  EXPECT_DOUBLE_EQ(OverlapRatio(1, 1, 2, 2, &shorter), -1.0);
  EXPECT_EQ(shorter, -INFINITY);
}

TEST(Region, GetPointsCountsThenFillsWithoutTouchingCount) {
  CPageInfo info;
  info.m_nPageIndex = 7;
  CTextBlock block(&info);
  block.m_dLeft = 1.9;
  block.m_dTop = -2.5;
  block.m_dRight = 30.99;
  block.m_dBottom = 40.5;
  IRegn* regn = nullptr;
  ASSERT_EQ(block.GetRegion(0, &regn), S_OK);
  int count = 0;
  ASSERT_EQ(regn->GetPoints(nullptr, &count), S_OK);
  EXPECT_EQ(count, 4);
  POINT pts[4] = {};
  int untouched = -9;
  ASSERT_EQ(regn->GetPoints(pts, &untouched), S_OK);
  EXPECT_EQ(untouched, -9);
  const POINT expected[4] = {{1, -2}, {30, -2}, {30, 40}, {1, 40}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(pts[i].x, expected[i].x) << i;
    EXPECT_EQ(pts[i].y, expected[i].y) << i;
  }
  EXPECT_EQ(regn->GetPageIndex(), 7);
  EXPECT_EQ(regn->GetPoints(nullptr, nullptr), E_POINTER);
}

TEST(DynArray, IndicesOutsideThrow) {
  CFloatPointArray points;
  EXPECT_EQ(points.Add({1.5f, 2.5f}), 0);
  EXPECT_EQ(points.Add({3.5f, 4.5f}), 1);
  EXPECT_FLOAT_EQ(points[1].x, 3.5f);
  EXPECT_THROW(points.GetAt(-1), std::out_of_range);
  EXPECT_THROW(points.GetAt(2), std::out_of_range);
  EXPECT_THROW(points.InsertAt(3, St_FloatPoint{}), std::out_of_range);
  EXPECT_THROW(points.RemoveAt(1, 2), std::out_of_range);
  EXPECT_THROW(points.SetSize(-1), std::out_of_range);
  points.InsertAt(2, St_FloatPoint{9, 9});  // at the end: appends
  points.RemoveAt(0);
  ASSERT_EQ(points.GetSize(), 2);
  EXPECT_FLOAT_EQ(points[0].x, 3.5f);
  points.Append(points);
  EXPECT_EQ(points.GetSize(), 4);
  EXPECT_FLOAT_EQ(points[3].x, 9.0f);
}
