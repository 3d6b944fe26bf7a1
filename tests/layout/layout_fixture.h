// Helpers for the layout tests: runs and blocks built by hand on one page.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "blocks/textblock.h"
#include "pageinfo/pageinfo.h"

class LayoutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    info.m_dPageHeight = 1000;
    info.m_dBodyFontSize = 10;
    info.m_fontNames = {u"F0", u"F1", u"F2"};
  }

  // A run (level 0) with stream position seq, box, font size and text; baseline origin at
  // the left edge, a fifth of the height above the bottom. Owned by the fixture.
  CTextBlock* Run(int seq, double l, double t, double r, double b, double fs = 10,
                  const std::u16string& text = u"x") {
    return Keep(NewRun(seq, l, t, r, b, fs, text));
  }

  // The same, not owned by the fixture (for lists whose passes delete runs).
  CTextBlock* NewRun(int seq, double l, double t, double r, double b, double fs = 10,
                     const std::u16string& text = u"x") {
    auto* run = new CTextBlock(&info);
    run->m_nFirstSeq = run->m_nLastSeq = run->m_nOrderKey = seq;
    run->m_dLeft = l;
    run->m_dTop = t;
    run->m_dRight = r;
    run->m_dBottom = b;
    run->m_dFontSize = fs;
    run->m_strText = text;
    run->m_nLineCount = 1;
    run->m_dBaselineX = l;
    run->m_dBaselineY = b - 0.2 * (b - t);
    return run;
  }

  // A block of the given level over children (borrowed), with the union box and the first
  // child's font size. Owned by the fixture.
  CTextBlock* Block(int level, std::initializer_list<CTextBlock*> children) {
    auto* block = Keep(new CTextBlock(&info));
    bool first = true;
    for (CTextBlock* child : children) {
      if (first) {
        block->m_dLeft = child->m_dLeft;
        block->m_dTop = child->m_dTop;
        block->m_dRight = child->m_dRight;
        block->m_dBottom = child->m_dBottom;
        block->m_nFirstSeq = child->m_nFirstSeq;
        block->m_nLastSeq = child->m_nLastSeq;
        block->m_dFontSize = child->m_dFontSize;
        first = false;
      } else {
        block->UnionWith(child);
      }
      block->m_children.Add(child);
    }
    block->SetLevel(level);
    return block;
  }

  // Gives a run character records with the given origins (kit coordinates) and codes.
  static void SetChars(CTextBlock* run, const std::vector<std::pair<double, double>>& origins,
                       char16_t code = u'a') {
    std::vector<PTK_CharRecord> records;
    for (auto [x, y] : origins) {
      PTK_CharRecord c{};
      c.nCode = code;
      c.nNoCode = PTK_HAS_CODE;
      c.dOriginX = x;
      c.dOriginY = y;
      records.push_back(c);
    }
    const std::u16string text = run->m_strText;
    run->SetChars(records.data(), static_cast<int>(records.size()));
    run->m_strText = text;
  }

  static CTextBlockArray ListOf(std::initializer_list<CTextBlock*> blocks) {
    CTextBlockArray list;
    for (CTextBlock* b : blocks) list.Add(b);
    return list;
  }

  static std::vector<CTextBlock*> Items(const CTextBlockArray& list) {
    return std::vector<CTextBlock*>(list.begin(), list.end());
  }

  CPageInfo info;

 private:
  CTextBlock* Keep(CTextBlock* block) {
    m_owned.emplace_back(block);
    return block;
  }
  std::vector<std::unique_ptr<CTextBlock>> m_owned;
};
