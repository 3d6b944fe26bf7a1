// Late binding of IIssueInfoProvider: names to dispatch identifiers and Invoke by identifier.
// No type information is handed out (GetTypeInfoCount gives 0); script hosts bind by name.
#include <cstring>

#include "com/issueprovider.h"
#include "vwin32/strings.h"

namespace {

enum class ParamType { Bstr, Bool };

struct St_Member {
  const char16_t* pszName;
  DISPID id;
  bool bProperty;  // property get; else a method whose out value is the result
  int nParams;
  ParamType types[5];
  const char16_t* paramNames[5];
};

constexpr St_Member kMembers[] = {
    {u"Close", DISPID_IssueInfo_Close, false, 0, {}, {}},
    {u"LoadIssueInfoXML",
     DISPID_IssueInfo_LoadIssueInfoXML,
     false,
     1,
     {ParamType::Bstr},
     {u"bstrConfigPath"}},
    {u"AnalysePage",
     DISPID_IssueInfo_AnalysePage,
     false,
     5,
     {ParamType::Bstr, ParamType::Bstr, ParamType::Bstr, ParamType::Bool, ParamType::Bool},
     {u"bstrPathName", u"bstrPubName", u"bstrXmlPath", u"bFrontPage", u"bGetAllPageInfo"}},
    {u"IssueNameStr", DISPID_IssueInfo_IssueNameStr, true, 0, {}, {}},
    {u"IssueDateStr", DISPID_IssueInfo_IssueDateStr, true, 0, {}, {}},
    {u"PageNameStr", DISPID_IssueInfo_PageNameStr, true, 0, {}, {}},
    {u"PageIdStr", DISPID_IssueInfo_PageIdStr, true, 0, {}, {}},
    {u"PageCountStr", DISPID_IssueInfo_PageCountStr, true, 0, {}, {}},
};

const St_Member* FindMember(DISPID id) {
  for (const St_Member& m : kMembers) {
    if (m.id == id) return &m;
  }
  return nullptr;
}

// A BOOL argument from the integer and boolean variant types a host may pass.
bool ReadBool(const VARIANT& v, BOOL& out) {
  switch (v.vt) {
    case VT_BOOL:
      out = v.boolVal != VARIANT_FALSE;
      return true;
    case VT_I2:
      out = v.iVal != 0;
      return true;
    case VT_I4:
      out = v.lVal != 0;
      return true;
    case VT_INT:
      out = v.intVal != 0;
      return true;
    case VT_UI4:
      out = v.ulVal != 0;
      return true;
    case VT_UINT:
      out = v.uintVal != 0;
      return true;
    default:
      return false;
  }
}

bool IsMissing(const VARIANT* v) {
  return v == nullptr || (v->vt == VT_ERROR && v->scode == DISP_E_PARAMNOTFOUND);
}

}  // namespace

HRESULT CPDFIssueInfoProvider::GetTypeInfoCount(UINT* pctinfo) {
  if (pctinfo == nullptr) return E_POINTER;
  *pctinfo = 0;
  return S_OK;
}

HRESULT CPDFIssueInfoProvider::GetTypeInfo(UINT /*iTInfo*/, LCID /*lcid*/, ITypeInfo** ppTInfo) {
  if (ppTInfo == nullptr) return E_POINTER;
  *ppTInfo = nullptr;
  return DISP_E_BADINDEX;
}

HRESULT CPDFIssueInfoProvider::GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames,
                                             LCID /*lcid*/, DISPID* rgDispId) {
  if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  if (cNames == 0) return S_OK;
  if (rgszNames == nullptr || rgDispId == nullptr) return E_POINTER;
  const St_Member* pMember = nullptr;
  for (const St_Member& m : kMembers) {
    if (vwin32::EqualsNoCase(vwin32::View(rgszNames[0]), m.pszName)) pMember = &m;
  }
  HRESULT hr = S_OK;
  rgDispId[0] = pMember != nullptr ? pMember->id : DISPID_UNKNOWN;
  if (pMember == nullptr) hr = DISP_E_UNKNOWNNAME;
  // Further names are the member's parameter names; each maps to its position.
  for (UINT i = 1; i < cNames; ++i) {
    rgDispId[i] = DISPID_UNKNOWN;
    for (int k = 0; pMember != nullptr && k < pMember->nParams; ++k) {
      if (vwin32::EqualsNoCase(vwin32::View(rgszNames[i]), pMember->paramNames[k])) rgDispId[i] = k;
    }
    if (rgDispId[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

HRESULT CPDFIssueInfoProvider::Invoke(DISPID dispIdMember, REFIID riid, LCID /*lcid*/, WORD wFlags,
                                      DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                      EXCEPINFO* /*pExcepInfo*/, UINT* puArgErr) {
  if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  const St_Member* pMember = FindMember(dispIdMember);
  if (pMember == nullptr) return DISP_E_MEMBERNOTFOUND;
  // Hosts call methods as DISPATCH_METHOD and properties as DISPATCH_PROPERTYGET, and many
  // pass both bits for either; nothing can be put.
  if ((wFlags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)) == 0 ||
      (wFlags & DISPATCH_PROPERTYPUT) != 0)
    return DISP_E_MEMBERNOTFOUND;

  const UINT cArgs = pDispParams != nullptr ? pDispParams->cArgs : 0;
  const UINT cNamed = pDispParams != nullptr ? pDispParams->cNamedArgs : 0;
  if (cArgs > 0 && pDispParams->rgvarg == nullptr) return E_INVALIDARG;
  if (cNamed > cArgs || (cNamed > 0 && pDispParams->rgdispidNamedArgs == nullptr))
    return E_INVALIDARG;
  if (cArgs > static_cast<UINT>(pMember->nParams)) return DISP_E_BADPARAMCOUNT;

  // args[k]: the variant of parameter k, from the positional arguments (in reverse order after
  // the named ones) and the named ones (by position identifier); argIndex[k] its index in rgvarg.
  const VARIANT* args[5] = {};
  UINT argIndex[5] = {};
  const UINT cPositional = cArgs - cNamed;
  for (UINT i = 0; i < cPositional; ++i) {
    args[i] = &pDispParams->rgvarg[cArgs - 1 - i];
    argIndex[i] = cArgs - 1 - i;
  }
  for (UINT j = 0; j < cNamed; ++j) {
    const DISPID k = pDispParams->rgdispidNamedArgs[j];
    if (k < 0 || k >= pMember->nParams || args[k] != nullptr) {
      if (puArgErr != nullptr) *puArgErr = j;
      return DISP_E_PARAMNOTFOUND;
    }
    args[k] = &pDispParams->rgvarg[j];
    argIndex[k] = j;
  }

  BSTR bstrs[3] = {};
  BOOL bools[2] = {};
  int nBstr = 0, nBool = 0;
  for (int k = 0; k < pMember->nParams; ++k) {
    if (IsMissing(args[k])) return DISP_E_PARAMNOTOPTIONAL;
    bool bOk;
    if (pMember->types[k] == ParamType::Bstr) {
      bOk = args[k]->vt == VT_BSTR;
      if (bOk) bstrs[nBstr++] = args[k]->bstrVal;
    } else {
      bOk = ReadBool(*args[k], bools[nBool++]);
    }
    if (!bOk) {
      if (puArgErr != nullptr) *puArgErr = argIndex[k];
      return DISP_E_TYPEMISMATCH;
    }
  }

  HRESULT hr = S_OK;
  if (pMember->bProperty) {
    BSTR bstr = nullptr;
    switch (dispIdMember) {
      case DISPID_IssueInfo_IssueNameStr:
        hr = get_IssueNameStr(&bstr);
        break;
      case DISPID_IssueInfo_IssueDateStr:
        hr = get_IssueDateStr(&bstr);
        break;
      case DISPID_IssueInfo_PageNameStr:
        hr = get_PageNameStr(&bstr);
        break;
      case DISPID_IssueInfo_PageIdStr:
        hr = get_PageIdStr(&bstr);
        break;
      default:
        hr = get_PageCountStr(&bstr);
        break;
    }
    if (FAILED(hr)) return hr;
    if (pVarResult != nullptr) {
      VariantInit(pVarResult);
      pVarResult->vt = VT_BSTR;
      pVarResult->bstrVal = bstr;
    } else {
      SysFreeString(bstr);
    }
    return S_OK;
  }

  // A method: its out value is the result. AnalysePage leaves it unwritten when the file does
  // not open; the result is then VT_EMPTY.
  long nVal = 0;
  bool bWritten = true;
  switch (dispIdMember) {
    case DISPID_IssueInfo_Close:
      hr = Close(&nVal);
      break;
    case DISPID_IssueInfo_LoadIssueInfoXML:
      hr = LoadIssueInfoXML(bstrs[0], &nVal);
      break;
    default: {
      constexpr long kUnset = -0x7FFFFFFFL;
      nVal = kUnset;
      hr = AnalysePage(bstrs[0], bstrs[1], bstrs[2], bools[0], bools[1], &nVal);
      bWritten = nVal != kUnset;
      break;
    }
  }
  if (FAILED(hr)) return hr;
  if (pVarResult != nullptr) {
    VariantInit(pVarResult);
    if (bWritten) {
      pVarResult->vt = VT_I4;
      pVarResult->lVal = static_cast<LONG>(nVal);
    }
  }
  return S_OK;
}
