// Basic Windows-compatible types of the component ABI: integer types, HRESULT codes, GUID,
// rectangles, device-independent bitmap headers, global memory handles, BSTR and VARIANT.
// The functions declared here live in the shared runtime library (libvcomrt.so), so that
// memory allocated on one side of the module boundary is freed on the other with the same
// allocator.
#pragma once

#include <cstddef>
#include <cstdint>

#define STDMETHODCALLTYPE
#define STDAPI extern "C" HRESULT
#define VCOMRT_API extern "C" __attribute__((visibility("default")))

typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef int BOOL;
typedef unsigned int UINT;
typedef int16_t SHORT;
typedef uint16_t USHORT;
typedef int32_t HRESULT;
typedef char16_t OLECHAR;
typedef char16_t WCHAR;
typedef OLECHAR* BSTR;
typedef const OLECHAR* LPCOLESTR;
typedef OLECHAR* LPOLESTR;
typedef int16_t VARIANT_BOOL;
typedef uint16_t VARTYPE;
typedef void* LPVOID;
typedef uint32_t LCID;
typedef LONG DISPID;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)

// Result codes.
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111u);
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
constexpr HRESULT DISP_E_MEMBERNOTFOUND = static_cast<HRESULT>(0x80020003u);
constexpr HRESULT DISP_E_UNKNOWNNAME = static_cast<HRESULT>(0x80020006u);
constexpr HRESULT DISP_E_BADINDEX = static_cast<HRESULT>(0x8002000Bu);
constexpr HRESULT DISP_E_BADVARTYPE = static_cast<HRESULT>(0x80020008u);
constexpr HRESULT TYPE_E_ELEMENTNOTFOUND = static_cast<HRESULT>(0x8002802Bu);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
constexpr HRESULT REGDB_E_WRITEREGDB = static_cast<HRESULT>(0x80040151u);
constexpr HRESULT REGDB_E_READREGDB = static_cast<HRESULT>(0x80040150u);
constexpr HRESULT CO_E_ERRORINDLL = static_cast<HRESULT>(0x800401F9u);
constexpr HRESULT CO_E_CLASSSTRING = static_cast<HRESULT>(0x800401F3u);
constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005u);
constexpr HRESULT DISP_E_UNKNOWNINTERFACE = static_cast<HRESULT>(0x80020001u);
constexpr HRESULT DISP_E_PARAMNOTFOUND = static_cast<HRESULT>(0x80020004u);
constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005u);
constexpr HRESULT DISP_E_NONAMEDARGS = static_cast<HRESULT>(0x80020007u);
constexpr HRESULT DISP_E_BADPARAMCOUNT = static_cast<HRESULT>(0x8002000Eu);
constexpr HRESULT DISP_E_PARAMNOTOPTIONAL = static_cast<HRESULT>(0x8002000Fu);
constexpr HRESULT DISP_E_EXCEPTION = static_cast<HRESULT>(0x80020009u);

inline constexpr bool SUCCEEDED(HRESULT hr) {
  return hr >= 0;
}
inline constexpr bool FAILED(HRESULT hr) {
  return hr < 0;
}

// Identifiers: the Windows layout, compared as 16 raw bytes.
struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
typedef GUID IID;
typedef GUID CLSID;
typedef const GUID& REFGUID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;
static_assert(sizeof(GUID) == 16);

VCOMRT_API BOOL IsEqualGUID(REFGUID a, REFGUID b);
inline bool operator==(const GUID& a, const GUID& b) {
  return IsEqualGUID(a, b) != 0;
}
inline bool operator!=(const GUID& a, const GUID& b) {
  return !(a == b);
}

// Rectangles and points with the Windows semantics (right and bottom exclusive; a rectangle
// is empty when right <= left or bottom <= top).
struct RECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
};
typedef RECT* LPRECT;
typedef const RECT* LPCRECT;
struct POINT {
  LONG x;
  LONG y;
};

VCOMRT_API BOOL SetRect(RECT* lprc, int xLeft, int yTop, int xRight, int yBottom);
VCOMRT_API BOOL SetRectEmpty(RECT* lprc);
VCOMRT_API BOOL IsRectEmpty(const RECT* lprc);
VCOMRT_API BOOL EqualRect(const RECT* lprc1, const RECT* lprc2);
VCOMRT_API BOOL IntersectRect(RECT* lprcDst, const RECT* lprcSrc1, const RECT* lprcSrc2);
VCOMRT_API BOOL UnionRect(RECT* lprcDst, const RECT* lprcSrc1, const RECT* lprcSrc2);
VCOMRT_API BOOL PtInRect(const RECT* lprc, POINT pt);
VCOMRT_API BOOL OffsetRect(RECT* lprc, int dx, int dy);
VCOMRT_API BOOL InflateRect(RECT* lprc, int dx, int dy);

// Device-independent bitmaps, little-endian as on Windows. A packed DIB is the 40-byte header,
// the colour table for 8 bits per pixel or less, then bottom-up rows padded to 4 bytes.
#pragma pack(push, 1)
struct BITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
};
struct RGBQUAD {
  BYTE rgbBlue;
  BYTE rgbGreen;
  BYTE rgbRed;
  BYTE rgbReserved;
};
struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
};
struct BITMAPFILEHEADER {
  WORD bfType;
  DWORD bfSize;
  WORD bfReserved1;
  WORD bfReserved2;
  DWORD bfOffBits;
};
#pragma pack(pop)
static_assert(sizeof(BITMAPINFOHEADER) == 40);
static_assert(sizeof(RGBQUAD) == 4);
static_assert(sizeof(BITMAPFILEHEADER) == 14);
constexpr DWORD BI_RGB = 0;

// Global memory handles.
typedef void* HGLOBAL;
constexpr UINT GMEM_FIXED = 0x0000;
constexpr UINT GMEM_MOVEABLE = 0x0002;
constexpr UINT GMEM_ZEROINIT = 0x0040;
constexpr UINT GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;
VCOMRT_API HGLOBAL GlobalAlloc(UINT uFlags, size_t dwBytes);
VCOMRT_API void* GlobalLock(HGLOBAL hMem);
VCOMRT_API BOOL GlobalUnlock(HGLOBAL hMem);
VCOMRT_API size_t GlobalSize(HGLOBAL hMem);
VCOMRT_API HGLOBAL GlobalFree(HGLOBAL hMem);

// BSTR: UTF-16 with a 32-bit byte-length prefix and a terminating zero.
VCOMRT_API BSTR SysAllocString(const OLECHAR* psz);
VCOMRT_API BSTR SysAllocStringLen(const OLECHAR* strIn, UINT ui);
VCOMRT_API BSTR SysAllocStringByteLen(const char* psz, UINT len);
VCOMRT_API int SysReAllocString(BSTR* pbstr, const OLECHAR* psz);
VCOMRT_API void SysFreeString(BSTR bstrString);
VCOMRT_API UINT SysStringLen(BSTR pbstr);
VCOMRT_API UINT SysStringByteLen(BSTR bstr);

// A minimal VARIANT: empty, 32-bit integer, boolean, BSTR and dispatch pointer.
struct IDispatch;
struct IUnknown;
enum VARENUM : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_UNKNOWN = 13,
  VT_UI4 = 19,
  VT_INT = 22,
  VT_UINT = 23,
};
struct VARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    LONG lVal;
    SHORT iVal;
    ULONG ulVal;
    int intVal;
    UINT uintVal;
    VARIANT_BOOL boolVal;
    HRESULT scode;
    BSTR bstrVal;
    IUnknown* punkVal;
    IDispatch* pdispVal;
    void* byref;
    BYTE raw[16];
  };
};
typedef VARIANT VARIANTARG;
static_assert(sizeof(VARIANT) == 24);
VCOMRT_API void VariantInit(VARIANT* pvarg);
VCOMRT_API HRESULT VariantClear(VARIANT* pvarg);
VCOMRT_API HRESULT VariantCopy(VARIANT* pvargDest, const VARIANT* pvargSrc);
