// VARIANT: initialisation, clearing and copying. Owned contents are a BSTR (VT_BSTR, freed
// and deep-copied) and interface pointers (VT_UNKNOWN, VT_DISPATCH: released and AddRef'd).
// Plain value types (the VARENUM types, and also VT_R4, VT_R8, VT_CY, VT_DATE, VT_I1, VT_UI1,
// VT_UI2, VT_I8, VT_UI8, VT_HRESULT) and VT_BYREF combinations of them hold nothing to free
// and are copied bit for bit. Any other type (VT_ARRAY, VT_VARIANT alone, unknown numbers) is
// refused with DISP_E_BADVARTYPE and the variants are left untouched, as Windows does.
#include <cstring>

#include "velluma/unknwn.h"
#include "velluma/wintypes.h"

namespace {

constexpr VARTYPE kByRef = 0x4000;
constexpr VARTYPE kTypeMask = 0x0FFF;

bool IsPlainType(VARTYPE t) {
  switch (t) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I2:
    case VT_I4:
    case 4:  // VT_R4
    case 5:  // VT_R8
    case 6:  // VT_CY
    case 7:  // VT_DATE
    case VT_ERROR:
    case VT_BOOL:
    case 16:  // VT_I1
    case 17:  // VT_UI1
    case 18:  // VT_UI2
    case VT_UI4:
    case 20:  // VT_I8
    case 21:  // VT_UI8
    case VT_INT:
    case VT_UINT:
    case 25:  // VT_HRESULT
      return true;
    default:
      return false;
  }
}

bool IsOwningType(VARTYPE t) {
  return t == VT_BSTR || t == VT_UNKNOWN || t == VT_DISPATCH;
}

bool IsValidType(VARTYPE vt) {
  if (vt & kByRef) {
    if (vt & ~(kByRef | kTypeMask)) return false;
    const VARTYPE base = vt & kTypeMask;
    return IsPlainType(base) || IsOwningType(base) || base == 12 /* VT_VARIANT */;
  }
  return IsPlainType(vt) || IsOwningType(vt);
}

}  // namespace

void VariantInit(VARIANT* pvarg) {
  if (!pvarg) return;
  std::memset(static_cast<void*>(pvarg), 0, sizeof(VARIANT));
  pvarg->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANT* pvarg) {
  if (!pvarg) return E_INVALIDARG;
  if (!IsValidType(pvarg->vt)) return DISP_E_BADVARTYPE;
  switch (pvarg->vt) {
    case VT_BSTR:
      SysFreeString(pvarg->bstrVal);
      break;
    case VT_UNKNOWN:
      if (pvarg->punkVal) pvarg->punkVal->Release();
      break;
    case VT_DISPATCH:
      if (pvarg->pdispVal) pvarg->pdispVal->Release();
      break;
    default:
      break;
  }
  std::memset(static_cast<void*>(pvarg), 0, sizeof(VARIANT));
  pvarg->vt = VT_EMPTY;
  return S_OK;
}

HRESULT VariantCopy(VARIANT* pvargDest, const VARIANT* pvargSrc) {
  if (!pvargDest || !pvargSrc) return E_INVALIDARG;
  if (!IsValidType(pvargSrc->vt)) return DISP_E_BADVARTYPE;
  if (pvargDest == pvargSrc) return S_OK;
  const HRESULT hr = VariantClear(pvargDest);
  if (FAILED(hr)) return hr;
  std::memcpy(static_cast<void*>(pvargDest), pvargSrc, sizeof(VARIANT));
  switch (pvargSrc->vt) {
    case VT_BSTR:
      if (pvargSrc->bstrVal) {
        pvargDest->bstrVal = SysAllocStringByteLen(reinterpret_cast<const char*>(pvargSrc->bstrVal),
                                                   SysStringByteLen(pvargSrc->bstrVal));
        if (!pvargDest->bstrVal) {
          VariantInit(pvargDest);
          return E_OUTOFMEMORY;
        }
      }
      break;
    case VT_UNKNOWN:
      if (pvargDest->punkVal) pvargDest->punkVal->AddRef();
      break;
    case VT_DISPATCH:
      if (pvargDest->pdispVal) pvargDest->pdispVal->AddRef();
      break;
    default:
      break;
  }
  return S_OK;
}
