#include <gtest/gtest.h>

#include "layout/predicates.h"
#include "layout_fixture.h"

using Predicates = LayoutTest;

TEST_F(Predicates, NeighbourOnOneLine) {
  CTextBlock* a = Run(0, 0, 0, 40, 10);
  CTextBlock* near = Run(5, 45, 0, 80, 10);  // gap 0.5 D
  EXPECT_TRUE(IsNeighbourRun(a, near, false));

  // A gap of one font size joins only the next run of the stream, and only when it follows
  // in reading direction.
  CTextBlock* far = Run(5, 50, 0, 80, 10);
  EXPECT_FALSE(IsNeighbourRun(a, far, false));
  CTextBlock* next = Run(1, 50, 0, 80, 10);
  EXPECT_TRUE(IsNeighbourRun(a, next, false));
  EXPECT_TRUE(IsNeighbourRun(next, a, false));
  CTextBlock* before = Run(1, -40, 0, -10, 10);  // next in the stream but to the left
  before->m_dBaselineX = -40;
  EXPECT_FALSE(IsNeighbourRun(a, before, false));
  // The loose test takes the next run within 2.3 font sizes on an overlapping line.
  EXPECT_TRUE(IsNeighbourRun(a, before, true));
  CTextBlock* tooFar = Run(1, -70, 0, -24, 10);
  EXPECT_FALSE(IsNeighbourRun(a, tooFar, true));
}

TEST_F(Predicates, NeighbourOnTheNextLine) {
  CTextBlock* line1 = Run(0, 0, 0, 100, 10);
  CTextBlock* line2 = Run(9, 0, 12, 60, 22);
  EXPECT_TRUE(IsNeighbourRun(line1, line2, false));
  CTextBlock* distant = Run(9, 0, 40, 60, 50);  // baselines 3 font sizes apart
  EXPECT_FALSE(IsNeighbourRun(line1, distant, false));
  EXPECT_FALSE(IsNeighbourRun(line1, distant, true));
}

TEST_F(Predicates, NeighbourTouchingNextRun) {
  // Too far apart vertically for the line rules, but the next run of the stream touches it.
  CTextBlock* a = Run(0, 0, 0, 10, 10);
  CTextBlock* b = Run(1, 10.5, 18, 20, 28);
  EXPECT_TRUE(IsNeighbourRun(a, b, false));
  b->m_nFirstSeq = 2;
  EXPECT_FALSE(IsNeighbourRun(a, b, false));
}

TEST_F(Predicates, NeighbourBigType) {
  // Two title runs far apart in the stream with baselines half a unit apart.
  CTextBlock* a = Run(0, 0, 0, 100, 24, 24);
  CTextBlock* b = Run(40, 110, 0.5, 200, 24.5, 24);
  EXPECT_TRUE(IsNeighbourRun(a, b, false));
  EXPECT_FALSE(IsNeighbourRun(a, b, true));  // loose joins big type only when adjacent
  b->m_nFirstSeq = 1;
  EXPECT_TRUE(IsNeighbourRun(a, b, true));
  CTextBlock* c = Run(40, 110, 0.5, 200, 26.5, 26);  // not the same size
  EXPECT_FALSE(IsNeighbourRun(a, c, false));
}

TEST_F(Predicates, JoinDirectionTable) {
  CTextBlock* block = Run(0, 0, 0, 10, 10);
  const auto join = [block](int own, int d) {
    block->SetDirection(own);
    return JoinDirection(block, d);
  };
  EXPECT_EQ(join(1, 1), 1);
  EXPECT_EQ(join(2, 0), 2);
  EXPECT_EQ(join(0, 3), 3);
  EXPECT_EQ(join(5, 3), 3);
  EXPECT_EQ(join(5, 4), 4);
  EXPECT_EQ(join(3, 5), 3);
  EXPECT_EQ(join(1, 2), 1);
  EXPECT_EQ(join(7, 1), 7);
  EXPECT_EQ(join(2, 5), 2);
  EXPECT_EQ(join(2, 1), 0);
  EXPECT_EQ(join(3, 4), 0);
  EXPECT_EQ(join(5, 1), 0);
  EXPECT_EQ(join(4, 8), 0);
}

TEST_F(Predicates, MeanFontSize) {
  CTextBlockArray empty;
  EXPECT_EQ(MeanFontSize(empty, true), 0.0);

  CTextBlock* body = Run(0, 0, 0, 10, 10, 10, u"abc");
  CTextBlock* small = Run(1, 0, 0, 10, 10, 8, u"a");
  CTextBlock* title = Run(2, 0, 0, 10, 10, 30, u"abcdefgh");
  CTextBlockArray list = ListOf({body, small, title});
  EXPECT_DOUBLE_EQ(MeanFontSize(list, false), (30 + 8 + 240) / 12.0);
  EXPECT_DOUBLE_EQ(MeanFontSize(list, true), (30 + 8) / 4.0);

  CTextBlockArray titles = ListOf({title, Run(3, 0, 0, 10, 10, 20, u"ab")});
  EXPECT_DOUBLE_EQ(MeanFontSize(titles, true), (240 + 40) / 10.0);

  // Without text the first counted size stands for the list.
  CTextBlockArray blank = ListOf(
      {Run(4, 0, 0, 10, 10, 40, u""), Run(5, 0, 0, 10, 10, 9, u""), Run(6, 0, 0, 10, 10, 11, u"")});
  EXPECT_EQ(MeanFontSize(blank, false), 40.0);
  EXPECT_EQ(MeanFontSize(blank, true), 9.0);
}
