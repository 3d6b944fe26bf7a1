#include <gtest/gtest.h>

#include <vector>

#include "layout/direction.h"
#include "layout/predicates.h"
#include "layout_fixture.h"

using Direction = LayoutTest;

TEST_F(Direction, RunsFromTheirFirstTwoCharacters) {
  CTextBlock* ltr = Run(0, 0, 0, 20, 10);
  SetChars(ltr, {{0, 500}, {5, 500.5}});
  EXPECT_EQ(DetermineDirection(ltr), 1);
  EXPECT_EQ(ltr->GetDirection(), 1);

  CTextBlock* rtl = Run(1, 0, 0, 20, 10);
  SetChars(rtl, {{5, 500}, {0, 500}, {9, 500}});
  EXPECT_EQ(DetermineDirection(rtl), 2);

  CTextBlock* vertical = Run(2, 0, 0, 10, 20);
  SetChars(vertical, {{0, 500}, {0.5, 490}});
  EXPECT_EQ(DetermineDirection(vertical), 5);

  CTextBlock* stacked = Run(3, 0, 0, 10, 10);  // both characters at one origin
  SetChars(stacked, {{3, 500}, {3, 500}});
  stacked->SetDirection(4);
  EXPECT_EQ(DetermineDirection(stacked), 0);
  EXPECT_EQ(stacked->GetDirection(), 0);

  CTextBlock* single = Run(4, 0, 0, 10, 10);
  SetChars(single, {{0, 500}});
  EXPECT_EQ(DetermineDirection(single), 0);
}

// A block of runs per character: horizontal lines, columns and slanted lines.
class BlockDirection : public LayoutTest {
 protected:
  // A level-1 block over runs placed at the given (left, top) positions, 10 wide and high,
  // in stream order; the children are handed over in reverse order.
  CTextBlock* BlockAt(const std::vector<std::pair<double, double>>& at, int childDirection = 0) {
    std::vector<CTextBlock*> runs;
    int seq = 0;
    for (auto [l, t] : at) {
      runs.push_back(Run(seq++, l, t, l + 10, t + 10));
      runs.back()->SetDirection(childDirection);
    }
    CTextBlock* block = Block(1, {runs.back()});
    for (size_t i = runs.size() - 1; i-- > 0;) {
      block->UnionWith(runs[i]);
      block->m_children.Add(runs[i]);
    }
    return block;
  }
};

TEST_F(BlockDirection, HorizontalLines) {
  CTextBlock* ltr = BlockAt({{0, 0}, {12, 0}, {24, 0}, {0, 12}, {12, 12}, {24, 12}});
  double modeDx = -1, modeDy = -1;
  EXPECT_EQ(DetermineDirection(ltr, &modeDx, &modeDy), 1);
  EXPECT_EQ(modeDx, 12);
  EXPECT_EQ(modeDy, 0);
  EXPECT_EQ(ltr->m_children[0]->m_nFirstSeq, 0);  // children now in stream order

  CTextBlock* rtl = BlockAt({{24, 0}, {12, 0}, {0, 0}});
  EXPECT_EQ(DetermineDirection(rtl), 2);
  // Children that read left to right overrule the guess.
  CTextBlock* mixed = BlockAt({{24, 0}, {12, 0}, {0, 0}}, 1);
  EXPECT_EQ(DetermineDirection(mixed), 1);
}

TEST_F(BlockDirection, VerticalColumns) {
  std::vector<std::pair<double, double>> at;
  for (int i = 0; i < 5; ++i) at.push_back({100, 12.0 * i});
  for (int i = 0; i < 5; ++i) at.push_back({130, 12.0 * i});
  CTextBlock* leftToRight = BlockAt(at);
  EXPECT_EQ(DetermineDirection(leftToRight), 3);
  EXPECT_EQ(VerticalKind(leftToRight, true), 8);

  for (int i = 5; i < 10; ++i) at[static_cast<size_t>(i)].first = 70;
  EXPECT_EQ(DetermineDirection(BlockAt(at)), 5);

  std::vector<std::pair<double, double>> one(at.begin(), at.begin() + 5);
  EXPECT_EQ(DetermineDirection(BlockAt(one)), 5);

  // The last child alone opens the second column: no verdict.
  one.push_back({130, 0});
  CTextBlock* lone = BlockAt(one);
  EXPECT_EQ(VerticalKind(lone, false), 0);
  EXPECT_EQ(DetermineDirection(lone), 0);

  // A paragraph of one run per line looks like a column; its runs' direction decides.
  CTextBlock* paragraph = BlockAt({{0, 0}, {0, 12}, {0, 24}, {0, 36}}, 1);
  EXPECT_EQ(DetermineDirection(paragraph), 1);
}

TEST_F(BlockDirection, VerticalKindColumnMeans) {
  // The running sum of stream positions carries over into the second column, whose mean
  // divides it by that column's children only.
  CTextBlock* a = Run(0, 100, 0, 110, 10);
  a->m_nLastSeq = 2000;
  CTextBlock* b = Run(1, 100, 12, 110, 22);
  CTextBlock* c = Run(2, 130, 0, 140, 10);
  CTextBlock* d = Run(3, 130, 12, 140, 22);
  CTextBlock* e = Run(4, 130, 24, 140, 34);
  // First column mean (0 + 2000) / 2 / 2 = 500; second 1002 / 2 = 501 after d.
  EXPECT_EQ(VerticalKind(Block(1, {d, c, b, a}), false), 3);
  // With e the second mean is 1005 / 3 = 335.
  EXPECT_EQ(VerticalKind(Block(1, {e, d, c, b, a}), false), 5);
  EXPECT_EQ(VerticalKind(Block(1, {a}), true), 10);
  EXPECT_EQ(VerticalKind(Block(1, {}), false), 0);
}

TEST_F(BlockDirection, SlantedLines) {
  CTextBlock* down = BlockAt({{0, 0}, {10, 5}, {20, 10}, {30, 15}});
  double modeDx = 0, modeDy = 0;
  EXPECT_EQ(DetermineDirection(down, &modeDx, &modeDy), 6);
  EXPECT_EQ(modeDx, 10);
  EXPECT_EQ(modeDy, 5);
  EXPECT_EQ(DetermineDirection(BlockAt({{30, 0}, {20, 5}, {10, 10}, {0, 15}})), 7);
  // Steep steps within one font size of each other form one slanted column.
  EXPECT_EQ(DetermineDirection(BlockAt({{0, 0}, {3, 10}, {6, 20}, {9, 30}})), 10);
}

TEST_F(BlockDirection, FewChildren) {
  CTextBlock* run = Run(0, 0, 0, 10, 10);
  run->SetDirection(1);
  EXPECT_EQ(DetermineDirection(Block(1, {run})), 1);
  EXPECT_EQ(DetermineDirection(Block(1, {})), 0);
}

TEST_F(Direction, Groups) {
  const auto group = [this](std::vector<int> directions) {
    CTextBlock* g = Block(2, {});
    for (int d : directions) {
      CTextBlock* child = Run(0, 0, 0, 10, 10);
      child->SetDirection(d);
      g->m_children.Add(child);
    }
    return DetermineDirection(g);
  };
  EXPECT_EQ(group({0, 1, 0, 1}), 1);
  EXPECT_EQ(group({1, 2}), 1);  // 1 takes any partner
  EXPECT_EQ(group({2, 1}), 0);
  EXPECT_EQ(group({3, 5}), 3);
  EXPECT_EQ(group({0, 0}), 0);
  EXPECT_EQ(group({}), 0);
}
