// The block lists: CTextBlockArray, CPicBlockArray and CArticleArray.
//
// Inside the component a list is a plain ordered array of borrowed pointers (page content,
// children of a group, pictures of an article, working lists), created and destroyed as an
// ordinary object and never reference counted. The same object can be handed to a client as
// IBlockList through its second base, CBlockListBase, which holds the reference count; the
// client's last Release destroys the list object.
//
// A list never deletes its elements, neither in its destructor nor in Release. Elements are
// deleted only by the explicit deep deletes below, called by whoever owns the elements.
#pragma once

#include <cstdint>

#include "blocks/dynarray.h"
#include "velluma/velluma.h"

class CTextBlock;
class CPicBlock;
class CArticle;

// Reference counting and identity of a list handed to a client. Vtable: the five IBlockList
// slots, then the virtual destructor through which Release destroys the whole list object.
class CBlockListBase : public IBlockList {
 public:
  CBlockListBase() = default;
  // A copy is a new object: its count starts at 0; assignment keeps the target's count.
  CBlockListBase(const CBlockListBase&) : IBlockList(), m_nRefCount(0) {}
  CBlockListBase& operator=(const CBlockListBase&) { return *this; }
  virtual ~CBlockListBase() = default;

  // IUnknown: IID_IUnknown and IID_IBlockList answer with this IBlockList; anything else gives
  // E_NOINTERFACE and a null pointer.
  HRESULT QueryInterface(REFIID riid, void** ppv) override;
  ULONG AddRef() override;
  ULONG Release() override;

  // Gives a newly allocated list (count 0) to a client: QueryInterface for IBlockList into
  // *ppVal, so the client holds the only reference. If that fails the list is destroyed.
  HRESULT HandOut(IBlockList** ppVal);

  int32_t m_nRefCount = 0;
};

class CTextBlockArray : public CDynArray<CTextBlock*>, public CBlockListBase {
 public:
  using CDynArray<CTextBlock*>::GetCount;
  HRESULT GetCount(long* pVal) override;
  // Items are ITextBlock pointers.
  HRESULT GetItemAt(int nIndex, long** ppList) override;

  // Deletes every element with everything below it (for each element in order: the tree of
  // its children, then the element), then empties the list and frees its storage.
  void DeleteBlockTree();
};

class CPicBlockArray : public CDynArray<CPicBlock*>, public CBlockListBase {
 public:
  using CDynArray<CPicBlock*>::GetCount;
  HRESULT GetCount(long* pVal) override;
  // Items are IPicBlock pointers.
  HRESULT GetItemAt(int nIndex, long** ppList) override;

  // Deletes every picture block in order (each with its image and caption), then empties the
  // list and frees its storage.
  void DeleteAllPics();
};

class CArticleArray : public CDynArray<CArticle*>, public CBlockListBase {
 public:
  using CDynArray<CArticle*>::GetCount;
  HRESULT GetCount(long* pVal) override;
  // Items are IArticle pointers.
  HRESULT GetItemAt(int nIndex, long** ppList) override;

  // Deletes every article in order (each with its blocks and pictures), then empties the list
  // and frees its storage.
  void DeleteAllArticles();
};
