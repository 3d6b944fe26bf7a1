// The C runtime functions: identifiers, rectangles, global memory, BSTR and VARIANT.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "velluma/unknwn.h"
#include "velluma/wintypes.h"

namespace {

RECT R(LONG l, LONG t, LONG r, LONG b) {
  return RECT{l, t, r, b};
}

void ExpectRect(const RECT& r, LONG l, LONG t, LONG rt, LONG b) {
  EXPECT_EQ(r.left, l);
  EXPECT_EQ(r.top, t);
  EXPECT_EQ(r.right, rt);
  EXPECT_EQ(r.bottom, b);
}

TEST(Guid, WellKnownIdentifiers) {
  EXPECT_EQ(IID_IUnknown.Data1, 0u);
  EXPECT_EQ(IID_IClassFactory.Data1, 1u);
  EXPECT_EQ(IID_IDispatch.Data1, 0x00020400u);
  for (const IID* iid : {&IID_IUnknown, &IID_IClassFactory, &IID_IDispatch}) {
    EXPECT_EQ(iid->Data4[0], 0xC0);
    EXPECT_EQ(iid->Data4[7], 0x46);
  }
  const uint8_t zero[16] = {};
  EXPECT_EQ(std::memcmp(&IID_NULL, zero, 16), 0);
  EXPECT_TRUE(IsEqualGUID(IID_IUnknown, IID_IUnknown));
  EXPECT_FALSE(IsEqualGUID(IID_IUnknown, IID_IClassFactory));
  GUID g = IID_IDispatch;
  g.Data4[7] ^= 1;
  EXPECT_NE(g, IID_IDispatch);
}

TEST(Rect, EmptinessAndEquality) {
  EXPECT_TRUE(IsRectEmpty(nullptr));
  RECT r = R(0, 0, 1, 1);
  EXPECT_FALSE(IsRectEmpty(&r));
  r = R(5, 0, 5, 10);  // zero width
  EXPECT_TRUE(IsRectEmpty(&r));
  r = R(0, 10, 10, 0);  // inverted
  EXPECT_TRUE(IsRectEmpty(&r));
  // Two different empty rectangles are not equal: all four fields are compared.
  RECT a = R(0, 0, 0, 0), b = R(3, 3, 3, 3);
  EXPECT_FALSE(EqualRect(&a, &b));
  EXPECT_TRUE(EqualRect(&a, &a));
  EXPECT_FALSE(EqualRect(&a, nullptr));
  EXPECT_TRUE(SetRect(&r, 1, 2, 3, 4));
  ExpectRect(r, 1, 2, 3, 4);
  EXPECT_FALSE(SetRect(nullptr, 1, 2, 3, 4));
  EXPECT_TRUE(SetRectEmpty(&r));
  ExpectRect(r, 0, 0, 0, 0);
}

TEST(Rect, Intersect) {
  RECT a = R(0, 0, 10, 10), b = R(5, 5, 20, 20), d = R(9, 9, 9, 9);
  EXPECT_TRUE(IntersectRect(&d, &a, &b));
  ExpectRect(d, 5, 5, 10, 10);
  // Touching edges share no pixel: empty result, zeroed destination.
  b = R(10, 0, 20, 10);
  d = R(9, 9, 9, 9);
  EXPECT_FALSE(IntersectRect(&d, &a, &b));
  ExpectRect(d, 0, 0, 0, 0);
  // An empty source inside the other still gives no intersection.
  b = R(3, 3, 3, 8);
  d = R(9, 9, 9, 9);
  EXPECT_FALSE(IntersectRect(&d, &a, &b));
  ExpectRect(d, 0, 0, 0, 0);
  // The destination may be a source.
  b = R(-5, 2, 4, 30);
  EXPECT_TRUE(IntersectRect(&a, &a, &b));
  ExpectRect(a, 0, 2, 4, 10);
  EXPECT_FALSE(IntersectRect(nullptr, &a, &b));
  d = R(9, 9, 9, 9);
  EXPECT_FALSE(IntersectRect(&d, nullptr, &b));
  ExpectRect(d, 9, 9, 9, 9);
}

TEST(Rect, Union) {
  RECT a = R(0, 0, 10, 10), b = R(5, -5, 20, 8), d;
  EXPECT_TRUE(UnionRect(&d, &a, &b));
  ExpectRect(d, 0, -5, 20, 10);
  // An empty rectangle does not stretch the union, wherever it lies.
  b = R(100, 100, 100, 200);
  EXPECT_TRUE(UnionRect(&d, &a, &b));
  ExpectRect(d, 0, 0, 10, 10);
  EXPECT_TRUE(UnionRect(&d, &b, &a));
  ExpectRect(d, 0, 0, 10, 10);
  RECT e = R(7, 7, 3, 3);
  d = R(1, 1, 1, 1);
  EXPECT_FALSE(UnionRect(&d, &b, &e));
  ExpectRect(d, 0, 0, 0, 0);
  RECT c = R(-1, 0, 1, 1);
  EXPECT_TRUE(UnionRect(&a, &a, &c));  // destination aliases a source
  ExpectRect(a, -1, 0, 10, 10);
  EXPECT_FALSE(UnionRect(&d, &a, nullptr));
}

TEST(Rect, PointsOffsetInflate) {
  RECT r = R(0, 0, 10, 5);
  EXPECT_TRUE(PtInRect(&r, POINT{0, 0}));
  EXPECT_FALSE(PtInRect(&r, POINT{10, 0}));  // right edge exclusive
  EXPECT_FALSE(PtInRect(&r, POINT{0, 5}));   // bottom edge exclusive
  EXPECT_FALSE(PtInRect(nullptr, POINT{0, 0}));
  EXPECT_TRUE(OffsetRect(&r, 3, -2));
  ExpectRect(r, 3, -2, 13, 3);
  EXPECT_TRUE(InflateRect(&r, 1, 2));
  ExpectRect(r, 2, -4, 14, 5);
  EXPECT_FALSE(OffsetRect(nullptr, 1, 1));
  EXPECT_FALSE(InflateRect(nullptr, 1, 1));
  r = R(INT_MAX, 0, INT_MAX, 0);
  EXPECT_TRUE(OffsetRect(&r, 1, 0));  // wraps, no undefined behaviour
  EXPECT_EQ(r.left, INT_MIN);
}

TEST(Global, MoveableLifecycle) {
  HGLOBAL h = GlobalAlloc(GHND, 100);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(GlobalSize(h), 100u);
  auto* p = static_cast<unsigned char*>(GlobalLock(h));
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(p[i], 0) << i;
  std::memset(p, 0xAB, 100);
  EXPECT_EQ(GlobalLock(h), p);    // second lock, same memory
  EXPECT_TRUE(GlobalUnlock(h));   // still locked once
  EXPECT_FALSE(GlobalUnlock(h));  // now unlocked
  EXPECT_FALSE(GlobalUnlock(h));  // not locked at all
  EXPECT_EQ(static_cast<unsigned char*>(GlobalLock(h))[99], 0xAB);
  GlobalUnlock(h);
  EXPECT_EQ(GlobalFree(h), nullptr);
  // The freed handle is dead for every operation.
  EXPECT_EQ(GlobalLock(h), nullptr);
  EXPECT_EQ(GlobalSize(h), 0u);
  EXPECT_FALSE(GlobalUnlock(h));
  EXPECT_EQ(GlobalFree(h), h);
}

TEST(Global, FixedAndInvalid) {
  HGLOBAL h = GlobalAlloc(GMEM_FIXED, 16);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(GlobalLock(h), h);  // a fixed block's handle is its memory
  // A fixed block has no lock count; GlobalUnlock answers TRUE for it, as Windows (and Wine)
  // do for a handle that is a pointer.
  EXPECT_TRUE(GlobalUnlock(h));
  EXPECT_EQ(GlobalSize(h), 16u);
  HGLOBAL z = GlobalAlloc(GMEM_MOVEABLE, 0);
  ASSERT_NE(z, nullptr);
  EXPECT_EQ(GlobalSize(z), 0u);
  EXPECT_EQ(GlobalFree(z), nullptr);
  EXPECT_EQ(GlobalFree(h), nullptr);
  EXPECT_EQ(GlobalFree(h), h);

  int local = 0;
  HGLOBAL bogus = &local;
  EXPECT_EQ(GlobalLock(bogus), nullptr);
  EXPECT_EQ(GlobalSize(bogus), 0u);
  EXPECT_EQ(GlobalFree(bogus), bogus);
  EXPECT_EQ(GlobalLock(nullptr), nullptr);
  EXPECT_EQ(GlobalFree(nullptr), nullptr);
  EXPECT_EQ(GlobalAlloc(GHND, SIZE_MAX), nullptr);
  EXPECT_EQ(GlobalAlloc(GMEM_FIXED, SIZE_MAX / 2), nullptr);
}

TEST(Global, ConcurrentUse) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 500; ++i) {
        HGLOBAL h = GlobalAlloc(i % 2 ? GHND : GMEM_FIXED, 8 + t);
        auto* p = static_cast<char*>(GlobalLock(h));
        if (!p) continue;
        p[0] = static_cast<char>(t);
        GlobalUnlock(h);
        if (GlobalSize(h) != static_cast<size_t>(8 + t) || GlobalFree(h) != nullptr) return;
      }
    });
  }
  for (auto& th : threads) th.join();
}

uint32_t PrefixOf(BSTR b) {
  uint32_t n;
  std::memcpy(&n, reinterpret_cast<const char*>(b) - 4, 4);
  return n;
}

TEST(Bstr, Layout) {
  BSTR b = SysAllocString(u"abc");
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(PrefixOf(b), 6u);
  EXPECT_EQ(SysStringLen(b), 3u);
  EXPECT_EQ(SysStringByteLen(b), 6u);
  EXPECT_EQ(b[3], 0);
  EXPECT_EQ(std::u16string(b), u"abc");
  SysFreeString(b);

  // Embedded zeros are part of the length.
  b = SysAllocStringLen(u"a\0bcdef", 3);
  EXPECT_EQ(SysStringLen(b), 3u);
  EXPECT_EQ(b[2], u'b');
  EXPECT_EQ(b[3], 0);
  SysFreeString(b);

  b = SysAllocStringLen(nullptr, 5);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(PrefixOf(b), 10u);
  for (int i = 0; i <= 5; ++i) EXPECT_EQ(b[i], 0);
  SysFreeString(b);

  // An odd byte length still ends in a whole zero unit.
  b = SysAllocStringByteLen("abc", 3);
  EXPECT_EQ(SysStringByteLen(b), 3u);
  EXPECT_EQ(SysStringLen(b), 1u);
  EXPECT_EQ(std::memcmp(b, "abc\0\0", 5), 0);
  SysFreeString(b);

  b = SysAllocString(u"");
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(SysStringLen(b), 0u);
  SysFreeString(b);
}

TEST(Bstr, NullAndReallocation) {
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(SysStringByteLen(nullptr), 0u);
  SysFreeString(nullptr);
  EXPECT_EQ(SysAllocStringLen(nullptr, 0xFFFFFFFFu), nullptr);

  BSTR b = SysAllocString(u"hello");
  // The new value may live inside the old string.
  EXPECT_TRUE(SysReAllocString(&b, b + 2));
  EXPECT_EQ(std::u16string(b), u"llo");
  EXPECT_EQ(SysStringLen(b), 3u);
  EXPECT_TRUE(SysReAllocString(&b, nullptr));
  EXPECT_EQ(b, nullptr);
  EXPECT_FALSE(SysReAllocString(nullptr, u"x"));
}

class CountedUnknown : public IDispatch {
 public:
  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return ++refs; }
  ULONG Release() override { return --refs; }
  HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }
  ULONG refs = 1;
};

TEST(Variant, StringsAreDeepCopiedAndFreed) {
  VARIANT src, dst;
  VariantInit(&src);
  VariantInit(&dst);
  EXPECT_EQ(src.vt, VT_EMPTY);
  src.vt = VT_BSTR;
  src.bstrVal = SysAllocStringLen(u"x\0y", 3);
  EXPECT_EQ(VariantCopy(&dst, &src), S_OK);
  EXPECT_EQ(dst.vt, VT_BSTR);
  EXPECT_NE(dst.bstrVal, src.bstrVal);
  EXPECT_EQ(std::u16string(dst.bstrVal, SysStringLen(dst.bstrVal)), std::u16string(u"x\0y", 3));
  // Copying over a string frees the old one (the leak checker watches).
  EXPECT_EQ(VariantCopy(&dst, &src), S_OK);
  EXPECT_EQ(VariantCopy(&dst, &dst), S_OK);
  EXPECT_EQ(VariantClear(&dst), S_OK);
  EXPECT_EQ(dst.vt, VT_EMPTY);
  EXPECT_EQ(VariantClear(&src), S_OK);

  src.vt = VT_BSTR;
  src.bstrVal = nullptr;  // a null BSTR is a valid empty string
  EXPECT_EQ(VariantCopy(&dst, &src), S_OK);
  EXPECT_EQ(dst.bstrVal, nullptr);
  EXPECT_EQ(VariantClear(&dst), S_OK);
}

TEST(Variant, InterfacesAreCounted) {
  CountedUnknown obj;
  VARIANT src, dst;
  VariantInit(&src);
  VariantInit(&dst);
  src.vt = VT_DISPATCH;
  src.pdispVal = &obj;
  EXPECT_EQ(VariantCopy(&dst, &src), S_OK);
  EXPECT_EQ(obj.refs, 2u);
  EXPECT_EQ(VariantClear(&dst), S_OK);
  EXPECT_EQ(obj.refs, 1u);
  src.vt = VT_UNKNOWN;
  src.punkVal = &obj;
  EXPECT_EQ(VariantCopy(&dst, &src), S_OK);
  EXPECT_EQ(obj.refs, 2u);
  EXPECT_EQ(VariantClear(&dst), S_OK);
  EXPECT_EQ(VariantClear(&src), S_OK);
  EXPECT_EQ(obj.refs, 0u);
}

TEST(Variant, ScalarsAndBadInput) {
  VARIANT src, dst;
  VariantInit(&src);
  VariantInit(&dst);
  src.vt = VT_I4;
  src.lVal = -7;
  EXPECT_EQ(VariantCopy(&dst, &src), S_OK);
  EXPECT_EQ(dst.vt, VT_I4);
  EXPECT_EQ(dst.lVal, -7);
  EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
  EXPECT_EQ(VariantCopy(nullptr, &src), E_INVALIDARG);
  EXPECT_EQ(VariantCopy(&dst, nullptr), E_INVALIDARG);
  // By reference: the pointer is copied, nothing is owned or freed.
  BSTR owned = SysAllocString(u"ref");
  src.vt = 0x4000 | VT_BSTR;
  src.byref = &owned;
  EXPECT_EQ(VariantCopy(&dst, &src), S_OK);
  EXPECT_EQ(dst.vt, 0x4000 | VT_BSTR);
  EXPECT_EQ(dst.byref, &owned);
  EXPECT_EQ(VariantClear(&dst), S_OK);
  EXPECT_EQ(dst.vt, VT_EMPTY);
  EXPECT_EQ(SysStringLen(owned), 3u);
  SysFreeString(owned);
  // Arrays and unknown types are refused and both variants are left alone.
  dst.vt = VT_I4;
  dst.lVal = 5;
  for (VARTYPE bad : {VARTYPE{0x2000 | VT_I4}, VARTYPE{0x7FFF}, VARTYPE{12} /* VT_VARIANT */}) {
    src.vt = bad;
    EXPECT_EQ(VariantCopy(&dst, &src), DISP_E_BADVARTYPE);
    EXPECT_EQ(VariantClear(&src), DISP_E_BADVARTYPE);
    EXPECT_EQ(src.vt, bad);
    EXPECT_EQ(dst.vt, VT_I4);
    EXPECT_EQ(dst.lVal, 5);
  }
}

}  // namespace
