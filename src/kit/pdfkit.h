// The page-content kit as the system calls it: the kit's C API (PTK_*) and small holders that
// give back what the kit hands out (text, image and path streams, page renderings) whatever
// way the caller leaves, exceptions included.
#pragma once

#include <pdfkit/pdfkit.h>

// Box selectors of PTK_GetPageRect.
constexpr int32_t PTK_BOX_RENDER = 0;   // rendering
constexpr int32_t PTK_BOX_CONTENT = 1;  // content work: intake and page size

// The text runs of one page; freed with PTK_FreePageContentTextStream.
class CKitTextStream {
 public:
  CKitTextStream(PTK_HDOC hDoc, int32_t nPage) {
    PTK_GetPageContentTextStream(hDoc, nPage, &m_pFirst);
  }
  ~CKitTextStream() { PTK_FreePageContentTextStream(m_pFirst); }
  CKitTextStream(const CKitTextStream&) = delete;
  CKitTextStream& operator=(const CKitTextStream&) = delete;
  const PTK_TextRun* First() const { return m_pFirst; }

 private:
  PTK_TextRun* m_pFirst = nullptr;
};

// The image records of one page; freed with PTK_FreePageContentImageStream.
class CKitImageStream {
 public:
  CKitImageStream(PTK_HDOC hDoc, int32_t nPage) {
    PTK_GetPageContentImageStream(hDoc, nPage, &m_pFirst);
  }
  ~CKitImageStream() { PTK_FreePageContentImageStream(m_pFirst); }
  CKitImageStream(const CKitImageStream&) = delete;
  CKitImageStream& operator=(const CKitImageStream&) = delete;
  const PTK_ImageRecord* First() const { return m_pFirst; }

 private:
  PTK_ImageRecord* m_pFirst = nullptr;
};

// The path records of one page; freed with PTK_FreePageContentPathStream (also when null).
class CKitPathStream {
 public:
  CKitPathStream(PTK_HDOC hDoc, int32_t nPage) {
    PTK_GetPageContentPathStream(hDoc, nPage, &m_pFirst);
  }
  ~CKitPathStream() { PTK_FreePageContentPathStream(m_pFirst); }
  CKitPathStream(const CKitPathStream&) = delete;
  CKitPathStream& operator=(const CKitPathStream&) = delete;
  const PTK_PathRecord* First() const { return m_pFirst; }

 private:
  PTK_PathRecord* m_pFirst = nullptr;
};

// A page rendering; freed with PTK_FreePageThumbnail.
class CKitThumbnail {
 public:
  CKitThumbnail() = default;
  ~CKitThumbnail() { Free(); }
  CKitThumbnail(const CKitThumbnail&) = delete;
  CKitThumbnail& operator=(const CKitThumbnail&) = delete;

  // Renders the page (see PTK_GetPageThumbnail); false on failure. A previous rendering is
  // freed first.
  bool Render(PTK_HDOC hDoc, int32_t nPage, double dScaleX, double dScaleY, double dThicken) {
    Free();
    return PTK_GetPageThumbnail(hDoc, nPage, &m_pHeader, &m_pBits, dScaleX, dScaleY, dThicken) != 0;
  }
  void Free() {
    if (m_pHeader != nullptr || m_pBits != nullptr) PTK_FreePageThumbnail(m_pHeader, m_pBits);
    m_pHeader = nullptr;
    m_pBits = nullptr;
  }
  const BITMAPINFOHEADER* Header() const { return m_pHeader; }
  const uint8_t* Bits() const { return m_pBits; }

 private:
  BITMAPINFOHEADER* m_pHeader = nullptr;
  uint8_t* m_pBits = nullptr;
};
