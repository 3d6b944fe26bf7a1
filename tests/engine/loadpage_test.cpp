// Document and page loading: Open and Close, the page state word across LoadPage calls, page
// naming and per-page source files.
#include <gtest/gtest.h>

#include <string>

#include "engine_fixture.h"

namespace {

using enginetest::Draw;
using enginetest::Engine;
using enginetest::TextsBySeq;

// A document of nPages pages; page n shows "Page n" and, on even pages, an image.
vtest::PdfWriter Pages(int nPages) {
  vtest::PdfWriter w;
  const std::string font = w.AddStandardFont("Helvetica");
  const std::string im = w.AddImage(enginetest::SolidImage(4, 4));
  for (int n = 1; n <= nPages; ++n) {
    std::string content =
        "BT /" + font + " 12 Tf 50 700 Td (Page " + std::to_string(n) + ") Tj ET\n";
    if (n % 2 == 0) content += Draw(im, 100, 100, 50 * n, 50);
    w.AddPage(400 + n, 800, content);
  }
  return w;
}

TEST(LoadPage, WhatWasTakenInStaysUntilAnotherPageOrAReset) {
  Engine engine;
  engine.OpenDoc(Pages(3), "state");
  ASSERT_EQ(engine.LoadPage(2, LPF_TEXT | LPF_IMAGES | 3, FALSE), S_OK);
  EXPECT_EQ(engine.GetState(), PSW_TEXT | PSW_IMAGES | (3u << 4));
  ASSERT_EQ(engine.m_textBlocks.GetSize(), 1);
  engine.m_textBlocks[0]->m_strText = u"marked";
  // Out of range: nothing changes.
  EXPECT_EQ(engine.LoadPage(0, LPF_TEXT | LPF_RESET, FALSE), E_INVALIDARG);
  EXPECT_EQ(engine.LoadPage(4, LPF_TEXT | LPF_RESET, FALSE), E_INVALIDARG);
  // The same page again: nothing is taken in anew.
  ASSERT_EQ(engine.LoadPage(2, LPF_TEXT | LPF_IMAGES | LPF_PATHS | 3, FALSE), S_OK);
  EXPECT_EQ(engine.m_textBlocks[0]->m_strText, u"marked");
  EXPECT_EQ(engine.m_picBlocks.GetSize(), 1);
  EXPECT_EQ(engine.GetState(), PSW_TEXT | PSW_IMAGES | PSW_PATHS | (3u << 4));
  // A forced reset takes in anew what the flags ask for.
  ASSERT_EQ(engine.LoadPage(2, LPF_TEXT | LPF_RESET | 1, FALSE), S_OK);
  EXPECT_EQ(TextsBySeq(engine.m_textBlocks), std::vector<std::u16string>{u"Page 2"});
  EXPECT_TRUE(engine.m_picBlocks.IsEmpty());
  EXPECT_EQ(engine.GetState(), PSW_TEXT | (1u << 4));
  // Another page discards the previous one.
  ASSERT_EQ(engine.LoadPage(2, LPF_IMAGES, FALSE), S_OK);
  ASSERT_EQ(engine.LoadPage(3, LPF_TEXT, FALSE), S_OK);
  EXPECT_EQ(TextsBySeq(engine.m_textBlocks), std::vector<std::u16string>{u"Page 3"});
  EXPECT_TRUE(engine.m_picBlocks.IsEmpty());
  EXPECT_EQ(engine.GetState(), PSW_TEXT);
  const CPageInfo& info = *engine.m_pPageInfo;
  EXPECT_EQ(info.m_nPageIndex, 3);
  EXPECT_EQ(info.m_dPageWidth, 403);
  EXPECT_EQ(info.m_strPageName, u"state_0003");
  EXPECT_EQ(info.m_strPageSource, info.m_strDocPath);
}

TEST(LoadPage, LevelsAreRecordedOnlyWithText) {
  Engine engine;
  engine.OpenDoc(Pages(2), "levels");
  // Images without text: nothing is recognised or analysed.
  ASSERT_EQ(engine.LoadPage(2, LPF_IMAGES | LPF_RECOGNISE | 5, FALSE), S_OK);
  EXPECT_EQ(engine.GetState(), PSW_IMAGES);
  for (int nLevel : {5, 2, 4, 15, 0}) {
    ASSERT_EQ(engine.LoadPage(2, LPF_TEXT | static_cast<unsigned long>(nLevel), FALSE), S_OK);
    EXPECT_EQ(engine.GetLevel(), nLevel);
  }
  EXPECT_EQ(TextsBySeq(engine.m_textBlocks), std::vector<std::u16string>{u"Page 2"});
  ASSERT_EQ(engine.LoadPage(2, LPF_TEXT | LPF_RECOGNISE | LPF_POSTEDIT, FALSE), S_OK);
  EXPECT_NE(engine.GetState() & PSW_RECOGNISED, 0u);
}

TEST(LoadPage, PagesOfASplitDocumentAreReadFromTheKitByTheirNumber) {
  Engine engine;
  const std::string path = enginetest::SavePdf(Pages(3), "split");
  ASSERT_EQ(engine.OpenPath(path), S_OK);
  engine.m_pageSources.Add(u"/in/a.pdf");
  engine.m_pageSources.Add(u"/in/b.pdf");
  engine.m_pageSources.Add(u"/in/c.pdf");

  ASSERT_EQ(engine.LoadPage(2, LPF_TEXT | LPF_IMAGES, FALSE), S_OK);
  EXPECT_EQ(TextsBySeq(engine.m_textBlocks), std::vector<std::u16string>{u"Page 2"});
  EXPECT_EQ(engine.m_picBlocks.GetSize(), 1);
  // The page information describes page 1 of the page's own source file.
  const CPageInfo& info = *engine.m_pPageInfo;
  EXPECT_EQ(info.m_nPageIndex, 1);
  EXPECT_EQ(info.m_strPageSource, u"/in/b.pdf");
  EXPECT_EQ(info.m_strPageName, u"split_0002");
  // Text intake keeps what page naming set: the page source is still there for clients.
  int nIndex = 0;
  BSTR bstrSource = nullptr;
  ASSERT_EQ(engine.m_pPageInfo->GetPageSource(&nIndex, &bstrSource), S_OK);
  EXPECT_EQ(nIndex, 1);
  EXPECT_EQ(vwin32::FromBstr(bstrSource), u"/in/b.pdf");
  SysFreeString(bstrSource);

  // Page 1 after page 2 is another page.
  ASSERT_EQ(engine.LoadPage(1, LPF_TEXT | LPF_IMAGES, FALSE), S_OK);
  EXPECT_EQ(TextsBySeq(engine.m_textBlocks), std::vector<std::u16string>{u"Page 1"});
  EXPECT_TRUE(engine.m_picBlocks.IsEmpty());
  EXPECT_EQ(info.m_strPageSource, u"/in/a.pdf");

  ASSERT_EQ(engine.LoadPage(3, LPF_TEXT, FALSE), S_OK);
  EXPECT_EQ(TextsBySeq(engine.m_textBlocks), std::vector<std::u16string>{u"Page 3"});
  EXPECT_EQ(info.m_nPageIndex, 1);
  EXPECT_EQ(info.m_strPageName, u"split_0003");
}

TEST(PageNaming, OneAndManyPagesWithEitherSeparatorAndPerPageSources) {
  Engine engine;
  CPageInfo& info = *engine.m_pPageInfo;
  for (const std::u16string doc : {u"/data/in/news.pdf", u"C:\\data\\in\\news.pdf"}) {
    info.m_strDocPath = doc;
    engine.m_nPageCount = 1;
    engine.NamePage(1);
    EXPECT_EQ(info.m_strPageName, u"news");
    EXPECT_EQ(info.m_strPageSource, doc);
    engine.m_nPageCount = 3;
    engine.NamePage(2);
    EXPECT_EQ(info.m_strPageName, u"news_0002");
    EXPECT_EQ(info.m_nPageIndex, 2);
  }
  // Everything from the last "." is cut; a name without one gives an empty page name.
  info.m_strDocPath = u"/x.y/issue";
  engine.NamePage(12);
  EXPECT_EQ(info.m_strPageName, u"_0012");
  info.m_strDocPath = u"/d/all.2024.pdf";
  engine.m_pageSources.Add(u"/d/p1.pdf");
  engine.NamePage(1);  // one source name is not enough
  EXPECT_EQ(info.m_strPageSource, u"/d/all.2024.pdf");
  engine.m_pageSources.Add(u"/d/p2.pdf");
  engine.NamePage(2);
  EXPECT_EQ(info.m_strPageSource, u"/d/p2.pdf");
  EXPECT_EQ(info.m_nPageIndex, 1);
  EXPECT_EQ(info.m_strPageName, u"all.2024_0002");
  engine.NamePage(3);  // beyond the list
  EXPECT_EQ(info.m_strPageSource, u"/d/all.2024.pdf");
  EXPECT_EQ(info.m_nPageIndex, 3);
  engine.m_nPageCount = 1;  // a one-page document ignores the list
  engine.NamePage(1);
  EXPECT_EQ(info.m_strPageSource, u"/d/all.2024.pdf");
  EXPECT_EQ(info.m_strPageName, u"all.2024");
}

TEST(OpenClose, MissingFileAfterAGoodOneLeavesNothingOpen) {
  Engine engine;
  EXPECT_FALSE(engine.IsOpen());
  engine.OpenDoc(Pages(2), "good");
  EXPECT_TRUE(engine.IsOpen());
  EXPECT_EQ(engine.GetPageCount(), 2);
  EXPECT_FALSE(engine.m_charMap.empty());
  ASSERT_EQ(engine.LoadPage(2, LPF_TEXT | LPF_IMAGES | LPF_PATHS | 1, FALSE), S_OK);
  engine.m_pageSources.Add(u"a");

  EXPECT_EQ(engine.OpenPath(enginetest::TempDir("pdf") + "/missing.pdf"), E_FAIL);
  EXPECT_FALSE(engine.IsOpen());
  EXPECT_EQ(engine.GetPageCount(), 2);  // kept from before
  EXPECT_TRUE(engine.m_textBlocks.IsEmpty());
  EXPECT_TRUE(engine.m_picBlocks.IsEmpty());
  EXPECT_EQ(engine.GetState(), 0u);
  EXPECT_TRUE(engine.m_pageSources.IsEmpty());
  // No page loads without a document, even with a page count left over.
  EXPECT_EQ(engine.LoadPage(1, LPF_TEXT, FALSE), E_FAIL);
  EXPECT_EQ(engine.Open(nullptr), E_FAIL);

  // A file that is no PDF.
  const std::string junk = enginetest::TempDir("pdf") + "/junk.pdf";
  std::ofstream(junk) << "not a pdf";
  EXPECT_EQ(engine.OpenPath(junk), E_FAIL);

  // Close drops the page and the document; an engine destroyed with a page loaded frees it.
  engine.OpenDoc(Pages(2), "good");
  ASSERT_EQ(engine.LoadPage(2, LPF_TEXT | LPF_IMAGES | LPF_PATHS | 5, FALSE), S_OK);
  EXPECT_EQ(engine.Close(), S_OK);
  EXPECT_FALSE(engine.IsOpen());
  EXPECT_TRUE(engine.m_textBlocks.IsEmpty() && engine.m_picBlocks.IsEmpty());
  EXPECT_EQ(engine.m_pPageInfo->m_nPageIndex, 0);
  engine.OpenDoc(Pages(2), "good");
  ASSERT_EQ(engine.LoadPage(2, LPF_TEXT | LPF_IMAGES | LPF_PATHS | 3, FALSE), S_OK);
}

}  // namespace
