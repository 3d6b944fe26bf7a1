#include "blocks/picblock.h"

#include <cstdlib>
#include <memory>

#include "blocks/textblock.h"
#include "pageinfo/pageinfo.h"
#include "vwin32/format.h"

namespace {

// An image of the kit made into a CxImage; the colour table follows the 40-byte header.
bool CreateFromDib(CxImage& image, const BITMAPINFOHEADER* pHeader, const BYTE* pBits) {
  const LONG width = pHeader->biWidth;
  const LONG height = pHeader->biHeight;
  const WORD depth = pHeader->biBitCount;
  if (width <= 0 || height == 0 || height == INT32_MIN || depth == 0 || depth > 32) return false;
  const uint64_t stride = ((uint64_t{depth} * static_cast<uint64_t>(width) + 31) / 32) * 4;
  if (stride > 0xFFFFFFFFu) return false;
  // A bottom-up bitmap (positive height) stores the image's last row first; a top-down one
  // (negative height) its first row first.
  const bool bTopDown = height < 0;
  const DWORD rows = static_cast<DWORD>(std::labs(height));
  if (!image.CreateFromArray(pBits, static_cast<DWORD>(width), rows, depth,
                             static_cast<DWORD>(stride), bTopDown)) {
    return false;
  }
  if (depth <= 8) {
    // 2^depth entries, fewer when the header says its table is shorter.
    DWORD nColors = DWORD{1} << depth;
    if (pHeader->biClrUsed != 0 && pHeader->biClrUsed < nColors) nColors = pHeader->biClrUsed;
    image.SetPalette(reinterpret_cast<const BITMAPINFO*>(pHeader)->bmiColors, nColors);
  }
  return true;
}

}  // namespace

CPicBlock::CPicBlock(CPageInfo* pPageInfo)
    : m_nSeq(0),
      m_pRegion(nullptr),
      m_dLeft(0.0),
      m_dTop(0.0),
      m_dRight(0.0),
      m_dBottom(0.0),
      m_pImage(nullptr),
      m_dImgLeft(0.0),
      m_dImgTop(0.0),
      m_dImgRight(0.0),
      m_dImgBottom(0.0),
      m_pPageInfo(pPageInfo),
      m_pCaption(nullptr),
      m_dScaleX(0.0),
      m_dScaleY(0.0),
      m_dRotation(0.0),
      m_nCaptionKind(kCaptionBlock) {
  m_pRegion = new CRegn();
}

CPicBlock::~CPicBlock() {
  delete m_pImage;
  DeleteTextBlockTree(m_pCaption);
  delete m_pRegion;
}

// ---------------------------------------------------------------------------------------------
// Client interface

HRESULT CPicBlock::GetLabelProp(long*) {
  return E_FAIL;
}

HRESULT CPicBlock::SetLabelProp(long, long) {
  return E_FAIL;
}

int CPicBlock::GetPageIndex() {
  return m_pPageInfo->m_nPageIndex;
}

HRESULT CPicBlock::GetTextList(IBlockList** ppList, int) {
  if (m_pCaption == nullptr) return E_FAIL;
  auto* pList = new CTextBlockArray();
  try {
    pList->Add(m_pCaption);
  } catch (...) {
    delete pList;
    throw;
  }
  return pList->HandOut(ppList);
}

HRESULT CPicBlock::GetPicList(IBlockList**) {
  return E_FAIL;
}

HRESULT CPicBlock::GetHtml(BSTR* pbstrHtml) {
  if (m_pCaption == nullptr || m_pCaption->m_strHtml.empty()) return E_FAIL;
  return CopyToBstr(m_pCaption->m_strHtml, pbstrHtml);
}

HRESULT CPicBlock::GetRect(RECT* pRect) {
  if (pRect == nullptr) return E_POINTER;
  *pRect = MakeIntRect(m_dImgLeft, m_dImgTop, m_dImgRight, m_dImgBottom, kPicRectRaise);
  return S_OK;
}

int CPicBlock::SaveImage(const OLECHAR* szPath) {
  if (m_pImage == nullptr || szPath == nullptr) return 1;
  const DWORD type = CxImage::FindType(szPath);
  if (type == CXIMAGE_FORMAT_UNKNOWN || type == CXIMAGE_FORMAT_JPG) {
    m_pImage->SetJpegQuality(100);
    if (m_pImage->GetBpp() <= 8) m_pImage->IncreaseBpp(24);
  }
  // Always JPEG, whatever the name's extension.
  return m_pImage->Save(szPath, CXIMAGE_FORMAT_JPG) ? 0 : 1;
}

HRESULT CPicBlock::GetReservedProp(long*) {
  return E_FAIL;
}

DWORD CPicBlock::GetWidth() {
  return m_pImage != nullptr ? m_pImage->GetWidth() : 0;
}

DWORD CPicBlock::GetHeight() {
  return m_pImage != nullptr ? m_pImage->GetHeight() : 0;
}

DWORD CPicBlock::GetBpp() {
  return m_pImage != nullptr ? m_pImage->GetBpp() : 0;
}

void* CPicBlock::GetDIB() {
  return m_pImage != nullptr ? m_pImage->GetDIB() : nullptr;
}

HRESULT CPicBlock::GetRegionCount(int* pnCount) {
  if (pnCount == nullptr) return E_POINTER;
  *pnCount = 1;
  return S_OK;
}

HRESULT CPicBlock::GetRegion(int nIndex, IRegn** ppRegn) {
  if (nIndex != 0) return E_FAIL;
  if (ppRegn == nullptr) return E_POINTER;
  m_pRegion->SetBoxOutline(m_dLeft, m_dTop, m_dRight, m_dBottom, m_pPageInfo->m_nPageIndex);
  *ppRegn = m_pRegion;
  return S_OK;
}

// ---------------------------------------------------------------------------------------------
// Operations of the component

RECT CPicBlock::GetIntRect() const {
  return MakeIntRect(m_dLeft, m_dTop, m_dRight, m_dBottom, kPicRectRaise);
}

CTextBlock* CPicBlock::MakePlaceholder() const {
  auto pBlock = std::make_unique<CTextBlock>(m_pPageInfo);
  pBlock->m_dLeft = m_dLeft;
  pBlock->m_dTop = m_dTop;
  pBlock->m_dRight = m_dRight;
  pBlock->m_dBottom = m_dBottom;
  pBlock->SetType(TBT_PICTURE);
  pBlock->m_nFirstSeq = ~m_nSeq;
  pBlock->m_strText = vwin32::Format(u"FakePic: %d", m_nSeq);
  return pBlock.release();
}

bool CPicBlock::CreatePicImage(const BITMAPINFOHEADER* pHeader, const BYTE* pBits,
                               const BITMAPINFOHEADER* pMaskHeader, const BYTE* pMaskBits) {
  CxImage mask;
  if (pMaskHeader != nullptr && pMaskBits != nullptr &&
      CreateFromDib(mask, pMaskHeader, pMaskBits) && pHeader != nullptr) {
    const DWORD width = static_cast<DWORD>(pHeader->biWidth);
    const DWORD height = static_cast<DWORD>(std::labs(pHeader->biHeight));
    if (mask.GetWidth() != width || mask.GetHeight() != height) {
      mask.Resample(static_cast<long>(width), static_cast<long>(height), 1);
    }
  }

  delete m_pImage;
  m_pImage = nullptr;
  m_pImage = new CxImage();
  const bool bCreated =
      pHeader != nullptr && pBits != nullptr && CreateFromDib(*m_pImage, pHeader, pBits);

  if (mask.IsValid()) {
    m_pImage->AlphaSet(mask);
    RGBQUAD white;
    white.rgbRed = 255;
    white.rgbGreen = 255;
    white.rgbBlue = 255;
    white.rgbReserved = 0;
    m_pImage->SetTransColor(white);
    m_pImage->AlphaStrip();
  }
  return bCreated;
}

// ---------------------------------------------------------------------------------------------
// CGraphBlock

CGraphBlock::~CGraphBlock() = default;

void CGraphBlockArray::DeleteAll() {
  for (CGraphBlock* pGraph : *this) delete pGraph;
  RemoveAll();
}
