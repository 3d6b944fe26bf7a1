// CPDFInstance: the per-document engine behind the data adaptor. It holds one open PDF document
// of the page-content kit and one current page: the blocks taken in from the page's text, image
// and path streams, the analysis results and the page information object. LoadPage is
// incremental: what was already taken in or analysed for the current page is not done again,
// and a lower analysis level first undoes the analysis.
//
// Ownership: the engine owns the page's text blocks (with their trees), picture blocks, graph
// blocks, articles and page information object. Pointers handed out stay valid until the page
// is reset (another page, LPF_RESET, Close, Open) or the analysis level changes.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "blocks/article.h"
#include "blocks/blocklist.h"
#include "blocks/picblock.h"
#include "blocks/textblock.h"
#include "engine/recogstate.h"
#include "kit/pdfkit.h"
#include "pageinfo/pageinfo.h"
#include "velluma/velluma.h"

// Page state word (m_dwState).
constexpr uint32_t PSW_TEXT = 0x1;          // text taken in
constexpr uint32_t PSW_IMAGES = 0x2;        // images taken in
constexpr uint32_t PSW_PATHS = 0x4;         // paths taken in
constexpr uint32_t PSW_RECOGNISED = 0x8;    // glyph recognition done
constexpr uint32_t PSW_LEVEL_MASK = 0xFF0;  // current analysis level (bits 4 to 11)
constexpr int PSW_LEVEL_SHIFT = 4;

class CPDFInstance {
 public:
  CPDFInstance();
  CPDFInstance(const CPDFInstance&) = delete;
  CPDFInstance& operator=(const CPDFInstance&) = delete;
  // Closes an open document, drops the page and destroys the article list and the page
  // information object.
  virtual ~CPDFInstance();

  // ---- Document and page ------------------------------------------------------------------

  // Opens a PDF file, closing the current document first (also when the new one fails to
  // open). E_FAIL when the kit cannot open the file; the page count then keeps its value.
  HRESULT Open(const OLECHAR* szFileName);
  // Drops the page and closes the document. S_OK.
  HRESULT Close();
  // Loads page nPageNo (1 to the page count) as dwLFlags ask (LPF_*): content intake, glyph
  // recognition, post-edit and the analysis stages up to the requested level.
  // bGetAllPageInfo goes to the page-information stage. E_INVALIDARG for a page out of range
  // (nothing changes), E_FAIL when no document is open or the kit has no box for the page.
  HRESULT LoadPage(int nPageNo, unsigned long dwLFlags, BOOL bGetAllPageInfo);
  bool IsOpen() const { return m_hDoc != nullptr; }

  // ---- Read access ------------------------------------------------------------------------

  PTK_HDOC GetDocument() const { return m_hDoc; }
  int32_t GetPageCount() const { return m_nPageCount; }
  CPageInfo* GetPageInfo() const { return m_pPageInfo; }
  CTextBlockArray& GetTextBlocks() { return m_textBlocks; }
  CPicBlockArray& GetPicBlocks() { return m_picBlocks; }
  CGraphBlockArray& GetGraphBlocks() { return m_graphBlocks; }
  CArticleArray* GetArticles() const { return m_pArticles; }
  uint32_t GetState() const { return m_dwState; }
  // The current analysis level (bits 4 to 11 of the state word).
  int GetLevel() const { return static_cast<int>((m_dwState & PSW_LEVEL_MASK) >> PSW_LEVEL_SHIFT); }
  void SetLevel(int nLevel) {
    m_dwState = (m_dwState & ~PSW_LEVEL_MASK) |
                ((static_cast<uint32_t>(nLevel) << PSW_LEVEL_SHIFT) & PSW_LEVEL_MASK);
  }

  // ---- Steps of page loading ----------------------------------------------------------------

  // Drops everything of the current page: articles, graph, text and picture blocks, the
  // recognition state; the state word becomes 0.
  void ResetPage();
  // The page information object's per-page data; its page number becomes 0.
  void ResetPageInfo();
  // Sets the page number, page source and page name of the page information object for page
  // nPage (see the definition).
  void NamePage(int nPage);

  // Text intake of kit page nPage into m_textBlocks; sets PSW_TEXT. E_FAIL when the kit has no
  // box or rendering for the page (the text and graph blocks are emptied all the same).
  HRESULT LoadTextContent(int nPage);
  // Image intake of kit page nPage into m_picBlocks. E_FAIL when the kit has no box for the
  // page. The caller sets PSW_IMAGES.
  HRESULT LoadImageContent(int nPage);
  // Path intake of kit page nPage into m_graphBlocks; sets PSW_PATHS. E_FAIL when the kit gave
  // no path stream.
  HRESULT LoadPathContent(int nPage);

  // Turns the paths of a path stream that are stroked or filled into polylines appended to
  // out (y' = dPageHeight - y).
  static void ConvertPaths(const PTK_PathRecord* pFirst, double dPageHeight, CGraphBlockArray& out);
  // Turns the segments of one path into polylines appended to out. Reads at most nCount
  // segments; nothing for a null array or a count below 1.
  static void ConvertPath(const PTK_PathSegment* pSegments, int nCount, double dPageHeight,
                          CGraphBlockArray& out);

  // Reads the font settings file into m_fontSetCounts (nothing when it is missing or has no
  // root element "HGFontSet").
  void ReadFontSettings();
  // The font settings file: Config/System/HGFontSet.xml under the module folder.
  std::u16string FontSettingsPath() const;
  // The folder of the module file (or the one set with SetModuleDir).
  std::u16string ModuleDir() const;
  // Replaces the module folder under which the configuration is looked for; empty restores
  // the folder of the module file. For hosts and tests that keep the configuration elsewhere.
  void SetModuleDir(std::u16string_view dir) { m_strModuleDir = dir; }

  // Fills m_charMap from the substitution table (rows decoded with the ANSI code page).
  void BuildCharMap();
  // Custom decoding of a run in font szFontName: true for success, false when the run's
  // glyphs stay unrecognised. May replace the block's text.
  bool DecodeCustomRun(CTextBlock* pBlock, std::u16string_view fontName) const;
  // Whether a font's text goes through m_charMap (its name is in the substitution list,
  // ignoring case).
  static bool IsSubstitutionFont(std::u16string_view fontName);
  // The clean-up of the page's runs after the text stream.
  void CleanUpRuns();
  // Per-font glyph extents: glyph ratios of every run, sizes of low fonts divided by 1.8.
  void CalibrateFonts();

  // ---- Fields -------------------------------------------------------------------------------
  // The analysis stages (src/layout/stages.cpp) and glyph recognition work on these directly.

  PTK_HDOC m_hDoc;                          // null when no document is open
  int32_t m_nPageCount;                     // page count of the (last) opened document
  CGlyphRecogState m_recog;                 // glyph map, glyph sheet, results, work list and map
  uint32_t m_dwState;                       // page state word (PSW_*)
  CTextBlockArray m_textBlocks;             // owns the blocks with their trees
  CGraphBlockArray m_graphBlocks;           // owns the blocks
  CPicBlockArray m_picBlocks;               // owns the blocks
  CArticleArray* m_pArticles;               // owned; owns the articles
  std::map<char16_t, char16_t> m_charMap;   // character substitution, built at the first Open
  CPageInfo* m_pPageInfo;                   // owned; null only when its allocation failed
  CDynArray<std::u16string> m_pageSources;  // per-page source files of a multi-page document
  std::map<std::u16string, std::u16string> m_fontSetCounts;  // font family -> decimal count
  int32_t m_bRenderPage;                                     // 1: text intake renders the page
  // 1: text intake decodes custom-encoded runs; 0 flags all their glyphs for recognition.
  int32_t m_bDecodeCustom;

 private:
  std::u16string m_strModuleDir;  // overrides the module folder when not empty
  // The page number that page naming was last called with; 0 after a page-info reset. The
  // page-info page number can differ from it (1 for a page taken from a per-page source file).
  int32_t m_nNamedPage;
};
