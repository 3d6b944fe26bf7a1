#include "engine/pdfinstance.h"

#include <climits>
#include <new>

#include "layout/stages.h"
#include "vwin32/files.h"
#include "vwin32/format.h"
#include "vwin32/strings.h"
#include "xml/xmldoc.h"

namespace {

// An object of this module: its address names the module file (libvelluma.so) to the loader.
const int kModuleAnchor = 0;

}  // namespace

CPDFInstance::CPDFInstance()
    : m_hDoc(nullptr),
      m_nPageCount(0),
      m_dwState(0),
      m_pArticles(nullptr),
      m_pPageInfo(nullptr),
      m_bRenderPage(1),
      m_bDecodeCustom(1),
      m_nNamedPage(0) {
  m_pArticles = new CArticleArray();
  // A page information object that cannot be allocated stays null: Open and LoadPage then fail.
  m_pPageInfo = new (std::nothrow) CPageInfo();
}

CPDFInstance::~CPDFInstance() {
  // The blocks refer to the page information object: they go first.
  ResetPage();
  if (m_pPageInfo != nullptr) m_pPageInfo->Reset(false);
  m_pageSources.RemoveAll();
  if (m_hDoc != nullptr) {
    PTK_CloseDoc(m_hDoc, 0);
    m_hDoc = nullptr;
  }
  delete m_pArticles;
  delete m_pPageInfo;
}

// ---------------------------------------------------------------------------------------------
// Document and page

HRESULT CPDFInstance::Open(const OLECHAR* szFileName) {
  if (m_charMap.empty()) BuildCharMap();
  if (IsOpen()) {
    ResetPage();
    ResetPageInfo();
    m_pageSources.RemoveAll();
    PTK_CloseDoc(m_hDoc, 0);
    m_hDoc = nullptr;
  }
  if (szFileName == nullptr || m_pPageInfo == nullptr) return E_FAIL;
  m_hDoc = PTK_OpenDoc(szFileName, 0);
  if (m_hDoc == nullptr) return E_FAIL;
  m_pPageInfo->m_strDocPath = szFileName;
  m_nPageCount = PTK_GetPageCount(m_hDoc);
  return S_OK;
}

HRESULT CPDFInstance::Close() {
  ResetPage();
  ResetPageInfo();
  m_pageSources.RemoveAll();
  if (IsOpen()) {
    PTK_CloseDoc(m_hDoc, 0);
    m_hDoc = nullptr;
  }
  return S_OK;
}

void CPDFInstance::ResetPage() {
  if (m_pArticles != nullptr) m_pArticles->DeleteAllArticles();
  m_graphBlocks.DeleteAll();
  m_textBlocks.DeleteBlockTree();
  m_picBlocks.DeleteAllPics();
  m_recog.Clear();
  m_dwState = 0;
}

void CPDFInstance::ResetPageInfo() {
  if (m_pPageInfo != nullptr) m_pPageInfo->Reset(false);
  m_nNamedPage = 0;
}

void CPDFInstance::NamePage(int nPage) {
  if (m_pPageInfo == nullptr) return;
  CPageInfo& info = *m_pPageInfo;
  info.m_nPageIndex = nPage;
  m_nNamedPage = nPage;
  // The document's file name without its extension (empty when the name has no ".").
  const std::u16string fileName = vwin32::FileNameOf(info.m_strDocPath);
  const size_t dot = fileName.rfind(u'.');
  const std::u16string baseName =
      dot == std::u16string::npos ? std::u16string() : fileName.substr(0, dot);
  if (m_nPageCount < 2) {
    info.m_strPageSource = info.m_strDocPath;
    info.m_strPageName = baseName;
    return;
  }
  if (m_pageSources.GetSize() >= 2 && nPage <= m_pageSources.GetSize()) {
    // The page comes from its own source file, where it is page 1.
    info.m_strPageSource = m_pageSources[nPage - 1];
    info.m_nPageIndex = 1;
  } else {
    info.m_strPageSource = info.m_strDocPath;
  }
  info.m_strPageName = vwin32::Format(u"%s_%04d", baseName.c_str(), nPage);
}

HRESULT CPDFInstance::LoadPage(int nPageNo, unsigned long dwLFlags, BOOL bGetAllPageInfo) {
  if (nPageNo > m_nPageCount || nPageNo <= 0) return E_INVALIDARG;
  if (!IsOpen() || m_pPageInfo == nullptr) return E_FAIL;

  // Another page, or a reset asked for. Page naming may have set the page-info page number to
  // 1 (a page from its own source file), so the page last named is compared as well: page 1
  // after page N of such a document is a page change too.
  if (nPageNo != m_pPageInfo->m_nPageIndex || nPageNo != m_nNamedPage ||
      (dwLFlags & LPF_RESET) != 0) {
    ResetPage();
    ResetPageInfo();
  }

  double x0 = 0.0, y0 = 0.0, x1 = 0.0, y1 = 0.0;
  if (!PTK_GetPageRect(m_hDoc, nPageNo, PTK_BOX_CONTENT, &x0, &y0, &x1, &y1)) return E_FAIL;
  ReadFontSettings();
  m_pPageInfo->m_dPageWidth = x1 - x0;
  m_pPageInfo->m_dPageHeight = y1 - y0;
  NamePage(nPageNo);

  // The kit is always asked for the requested page: the page-info page number is the page's
  // number within its source file, which need not be its number in this document.
  if ((m_dwState & PSW_TEXT) == 0 && (dwLFlags & LPF_TEXT) != 0) LoadTextContent(nPageNo);
  if ((m_dwState & PSW_IMAGES) == 0 && (dwLFlags & LPF_IMAGES) != 0) {
    LoadImageContent(nPageNo);
    m_dwState |= PSW_IMAGES;
  }
  if ((m_dwState & PSW_PATHS) == 0 && (dwLFlags & LPF_PATHS) != 0) LoadPathContent(nPageNo);

  // Nothing is recognised or analysed without text.
  if ((m_dwState & PSW_TEXT) == 0) return S_OK;

  if ((m_dwState & PSW_RECOGNISED) == 0 && (dwLFlags & LPF_RECOGNISE) != 0) {
    RecogniseGlyphs(*this);
    m_dwState |= PSW_RECOGNISED;
  }
  if ((dwLFlags & LPF_POSTEDIT) != 0) {
    CTextBlockArray all;  // borrows the blocks
    GatherTextBlocks(*this, all);
    PostEdit(*this, all);
  }

  const int nLevel = static_cast<int>(dwLFlags & LPF_LEVEL_MASK);
  const int nCurrent = GetLevel();
  if (nLevel == nCurrent) return S_OK;
  if (nCurrent > nLevel) ResetAnalysis(*this);
  // The stages always start from level 1: raising the level runs the lower stages again.
  if (nLevel >= 1) FormTextBlocks(m_textBlocks);
  if (nLevel >= 2) RegroupColumns(m_textBlocks);
  if (nLevel >= 3) {
    // The common configuration lies in Config/ beside the module, where a publisher can drop
    // its expressions; an owner that chose another folder keeps it.
    if (m_pPageInfo->m_strConfigDir.empty()) m_pPageInfo->m_strConfigDir = ModuleDir();
    ExtractPageInfo(*this, nullptr, bGetAllPageInfo, TRUE);
  }
  if (nLevel >= 4 && (m_dwState & PSW_IMAGES) != 0) AttachCaptions(*this);
  if (nLevel >= 5) BuildArticles(*this);
  SetLevel(nLevel);
  return S_OK;
}

// ---------------------------------------------------------------------------------------------
// Font settings

std::u16string CPDFInstance::ModuleDir() const {
  if (!m_strModuleDir.empty()) return m_strModuleDir;
  return vwin32::DirectoryOf(vwin32::ModulePathOf(&kModuleAnchor));
}

std::u16string CPDFInstance::FontSettingsPath() const {
  // Without a module folder there is no settings file (rather than one relative to the
  // current folder).
  const std::u16string moduleDir = ModuleDir();
  if (moduleDir.empty()) return std::u16string();
  const std::u16string config = vwin32::JoinPath(vwin32::JoinPath(moduleDir, u"Config"), u"System");
  return vwin32::JoinPath(config, u"HGFontSet.xml");
}

void CPDFInstance::ReadFontSettings() {
  velluma::XmlNode root;
  const velluma::XmlDocument doc = velluma::OpenXmlRoot(FontSettingsPath(), u"HGFontSet", root);
  if (!doc || !root) return;
  // As many entries as there are "Font" elements at any depth, taken from the root's "Font"
  // children; names past the end of that list read as empty.
  const int nCount = velluma::CountNodes(root, u"Font", TRUE);
  const velluma::XmlNodeList fonts = velluma::SelectNodeList(root, u"Font", FALSE);
  for (int i = 0; i < nCount; ++i) {
    const velluma::XmlNode font = fonts ? fonts.NextNode() : velluma::XmlNode();
    std::u16string& count = m_fontSetCounts[velluma::GetAttributeText(font, u"Name")];
    const long nValue = vwin32::ToLong(count);
    count = vwin32::Format(u"%ld", nValue < LONG_MAX ? nValue + 1 : nValue);
  }
}
