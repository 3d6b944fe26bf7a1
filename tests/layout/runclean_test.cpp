#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "layout/orderings.h"
#include "layout/runclean.h"
#include "layout_fixture.h"

namespace {

constexpr uint32_t kPatternFlags = TBF_RUN_FLAG | TBF_UNRECOGNISED;

}  // namespace

class RunClean : public LayoutTest {
 protected:
  void TearDown() override { list.DeleteBlockTree(); }

  // Appends a run of the given text with one character record per unit; stream positions
  // follow the list order.
  CTextBlock* Add(double l, double t, double w, double h, const std::u16string& text, int font = 0,
                  uint32_t flags = 0) {
    CTextBlock* run = NewRun(list.GetSize(), l, t, l + w, t + h, h, text);
    std::vector<PTK_CharRecord> records(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
      records[i].nCode = text[i];
      records[i].nNoCode = PTK_HAS_CODE;
    }
    if (!records.empty()) run->SetChars(records.data(), static_cast<int>(records.size()));
    run->m_strText = text;
    run->m_nFontIndex = font;
    run->m_nFlags |= flags;
    list.Add(run);
    return run;
  }

  // Words of ordinary text in a font, on lines of ten, each a different text.
  void AddWords(int count, int font, double top) {
    for (int i = 0; i < count; ++i) {
      Add(30.0 * (i % 10), top + 12.0 * (i / 10), 20 + i % 3, 10, u"w" + Number(i), font);
    }
  }

  static std::u16string Number(int n) {
    std::u16string s;
    for (char c : std::to_string(n)) s += static_cast<char16_t>(c);
    return s;
  }

  std::vector<std::u16string> Texts() const {
    std::vector<std::u16string> texts;
    for (const CTextBlock* run : list) texts.push_back(run->m_strText);
    return texts;
  }

  CTextBlockArray list;
};

TEST_F(RunClean, RepeatKinds) {
  CTextBlock* q = Add(100, 100, 5, 10, u"-", 1);
  const auto kindOf = [&](double l, double t, double w, const std::u16string& text, int font) {
    CTextBlock* r = Add(l, t, w, 10, text, font);
    r->m_nFirstSeq = q->m_nFirstSeq + 1;
    return RepeatKind(q, r);
  };
  EXPECT_EQ(kindOf(105.1, 100, 5, u"-", 1), 1);
  EXPECT_EQ(kindOf(94.9, 100.005, 5, u"-", 1), 2);
  EXPECT_EQ(kindOf(100, 110, 5, u"-", 1), 3);
  EXPECT_EQ(kindOf(100.005, 90, 5, u"-", 1), 4);
  EXPECT_EQ(kindOf(105.1, 100, 5, u"-", 2), 0);     // other font
  EXPECT_EQ(kindOf(105.1, 100, 5, u"=", 1), 0);     // other character
  EXPECT_EQ(kindOf(105.1, 100, 5.02, u"-", 1), 0);  // other width
  EXPECT_EQ(kindOf(105.5, 100, 5, u"-", 1), 0);     // not touching
  EXPECT_EQ(kindOf(101, 101, 5, u"-", 1), 0);       // neither beside nor above
  CTextBlock* r = Add(105.1, 100, 5, 10, u"-", 1);
  r->m_nFirstSeq = q->m_nFirstSeq + 2;
  EXPECT_EQ(RepeatKind(q, r), 0);  // not the next run of the stream
}

TEST_F(RunClean, HorizontalRuleOfFlaggedGlyphsIsRemoved) {
  AddWords(5, 0, 0);
  for (int i = 0; i < 40; ++i) Add(5.0 * i, 100, 5, 10, u"_", 1, kPatternFlags);
  AddWords(5, 0, 200);
  const std::vector<std::u16string> words = {u"w0", u"w1", u"w2", u"w3", u"w4",
                                             u"w0", u"w1", u"w2", u"w3", u"w4"};
  EXPECT_EQ(CleanRuns(list), 40);
  EXPECT_EQ(Texts(), words);
}

TEST_F(RunClean, RuleAtTheStartIsRemoved) {
  for (int i = 0; i < 40; ++i) Add(5.0 * i, 0, 5, 10, u"_", 1, kPatternFlags);
  AddWords(5, 0, 100);
  EXPECT_EQ(CleanRuns(list), 40);
  EXPECT_EQ(list.GetSize(), 5);
}

TEST_F(RunClean, UnflaggedHorizontalRuleIsKept) {
  AddWords(5, 0, 0);
  for (int i = 0; i < 40; ++i) Add(5.0 * i, 100, 5, 10, u"_", 1);
  AddWords(5, 0, 200);
  EXPECT_EQ(CleanRuns(list), 0);
  EXPECT_EQ(list.GetSize(), 50);
}

TEST_F(RunClean, StackedRuleIsRemoved) {
  AddWords(5, 0, 0);
  for (int i = 0; i < 40; ++i) Add(300, 10.0 * i, 5, 10, u"|", 1);
  AddWords(5, 0, 500);
  EXPECT_EQ(CleanRuns(list), 40);
  EXPECT_EQ(list.GetSize(), 10);
}

TEST_F(RunClean, OrdinaryTextIsKept) {
  AddWords(300, 0, 0);
  EXPECT_EQ(CleanRuns(list), 0);
  EXPECT_EQ(list.GetSize(), 300);
  CTextBlockArray empty;
  EXPECT_EQ(CleanRuns(empty), 0);
}

TEST_F(RunClean, StackedRuleInACommonFontIsRemoved) {
  AddWords(60, 1, 0);
  for (int i = 0; i < 30; ++i) Add(400, 10.0 * i, 5, 10, u"|", 1);
  AddWords(60, 1, 500);
  EXPECT_EQ(CleanRuns(list), 30);
  EXPECT_EQ(list.GetSize(), 120);
  for (const CTextBlock* run : list) EXPECT_NE(run->m_strText, u"|");
}

// A sequence in a font that also sets a lot of text is held while the text changes; when it
// is removed later, only its own runs go.
TEST_F(RunClean, HeldSequenceTakesOnlyItsOwnRuns) {
  Add(0, 0, 30, 10, u"start");
  for (int i = 0; i < 30; ++i) Add(400, 20 + 10.0 * i, 5, 10, u"|", 2);
  Add(0, 400, 30, 10, u"mid");
  Add(50, 400, 10, 10, u"Q", 2);
  AddWords(110, 1, 500);
  for (int i = 0; i < 15; ++i) Add(5.0 * i, 800, 5, 10, u".", 1, kPatternFlags);
  Add(0, 900, 30, 10, u"end");

  EXPECT_EQ(CleanRuns(list), 45);
  ASSERT_EQ(list.GetSize(), 114);
  EXPECT_EQ(list[0]->m_strText, u"start");
  EXPECT_EQ(list[1]->m_strText, u"mid");
  EXPECT_EQ(list[2]->m_strText, u"Q");
  EXPECT_EQ(list[3]->m_strText, u"w0");
  EXPECT_EQ(list[113]->m_strText, u"end");
}

TEST_F(RunClean, OverprintedWordKeepsOneCopy) {
  Add(0, 100, 40, 10, u"The");
  Add(50, 100, 40, 10, u"word");
  Add(51, 101, 40, 10, u"word");  // drawn again one unit off
  Add(50.5, 100, 40, 10, u"WORD");
  Add(100, 100, 40, 10, u"here");
  Add(0, 120, 40, 10, u"next");
  EXPECT_EQ(RemoveRepeatedRuns(list), 2);
  EXPECT_EQ(Texts(), (std::vector<std::u16string>{u"The", u"word", u"here", u"next"}));
}

TEST_F(RunClean, CopiesOnTheLastLineAreFound) {
  Add(0, 100, 40, 10, u"The");
  Add(50, 100, 40, 10, u"word");
  Add(50.6, 100.4, 40, 10, u"word");
  EXPECT_EQ(RemoveRepeatedRuns(list), 1);
  EXPECT_EQ(Texts(), (std::vector<std::u16string>{u"The", u"word"}));
}

TEST_F(RunClean, EqualWordsFarApartAreKept) {
  Add(0, 100, 20, 10, u"the");
  Add(300, 100, 20, 10, u"the");
  Add(0, 120, 20, 10, u"the");
  EXPECT_EQ(RemoveRepeatedRuns(list), 0);
  EXPECT_EQ(list.GetSize(), 3);
  CTextBlockArray empty;
  EXPECT_EQ(RemoveRepeatedRuns(empty), 0);
}

// The scan skips chunks of runs that can neither end a line nor hold a copy; the result must
// be that of comparing every run.
TEST_F(RunClean, RemovalMatchesTheFullScan) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> x(0, 2000);
  std::uniform_real_distribution<double> jitter(-0.6, 0.6);
  for (int i = 0; i < 4000; ++i) {
    const double size = 8 + static_cast<double>(rng() % 5);
    const double top = 40.0 * static_cast<double>(rng() % 12) + jitter(rng);
    const double l = x(rng);
    CTextBlock* run =
        Add(l, top, 5 + static_cast<double>(rng() % 30), size,
            rng() % 4 == 0 ? u"a" : u"b" + Number(i % 7), static_cast<int>(rng() % 2));
    if (rng() % 8 == 0) {
      CTextBlock* copy = Add(l + jitter(rng), top + jitter(rng), run->m_dRight - l, size,
                             run->m_strText, run->m_nFontIndex);
      copy->m_dFontSize = run->m_dFontSize;
    }
  }

  CTextBlockArray sorted;
  sorted.Copy(list);
  SortBlocks(sorted, 3);
  const std::vector<CTextBlock*> runs = Items(sorted);
  std::vector<bool> removed(runs.size(), false);
  size_t ref = 0;
  while (ref < runs.size()) {
    size_t remembered = runs.size();
    size_t j = ref + 1;
    for (; j < runs.size(); ++j) {
      if (removed[j]) continue;
      if (!IsSameBaseline(runs[j], runs[ref])) break;
      if (IsDuplicateRun(runs[j], runs[ref])) {
        removed[j] = true;
      } else if (remembered == runs.size()) {
        remembered = j;
      }
    }
    ref = remembered != runs.size() ? remembered : j;
  }
  std::vector<CTextBlock*> expected;
  for (size_t i = 0; i < runs.size(); ++i) {
    if (!removed[i]) expected.push_back(runs[i]);
  }

  const int count = list.GetSize();
  const int dropped = RemoveRepeatedRuns(list);
  EXPECT_GT(dropped, 100);
  EXPECT_EQ(count - dropped, list.GetSize());
  EXPECT_EQ(Items(list), expected);
}
