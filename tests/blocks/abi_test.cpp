// The client ABI: vtable slot of every interface method (decoded from the Itanium ABI's
// pointer-to-member representation, 1 + byte offset into the vtable for a virtual function),
// destructors last, and the identifiers.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "block_fixture.h"
#include "blocks/article.h"
#include "blocks/picblock.h"

namespace {

template <class F>
long SlotOf(F pmf) {
  struct {
    uintptr_t ptr;
    ptrdiff_t adj;
  } rep;
  static_assert(sizeof(pmf) == sizeof(rep));
  std::memcpy(&rep, &pmf, sizeof(rep));
  if ((rep.ptr & 1) == 0) return -1;  // not virtual
  return static_cast<long>((rep.ptr - 1) / sizeof(void*));
}

// One virtual function after an interface's own: its slot tells where the interface ends.
template <class I>
struct Next : I {
  virtual void After() = 0;
};

}  // namespace

TEST(Abi, BlockInterfaceSlots) {
  EXPECT_EQ(SlotOf(&IRegn::GetPoints), 0);
  EXPECT_EQ(SlotOf(&IRegn::GetPageIndex), 1);
  EXPECT_EQ(SlotOf(&Next<IRegn>::After), 4);  // destructor pair at 2, 3

  EXPECT_EQ(SlotOf(&ILabelPropBase::GetLabelProp), 0);
  EXPECT_EQ(SlotOf(&ILabelPropBase::SetLabelProp), 1);
  EXPECT_EQ(SlotOf(&IBlock::GetPageIndex), 2);
  EXPECT_EQ(SlotOf(&IBlock::GetTextList), 3);
  EXPECT_EQ(SlotOf(&IBlock::GetPicList), 4);
  EXPECT_EQ(SlotOf(&IBlock::GetHtml), 5);

  EXPECT_EQ(SlotOf(&ITextBlock::GetDirection), 6);
  EXPECT_EQ(SlotOf(&ITextBlock::GetFontName), 7);
  EXPECT_EQ(SlotOf(&ITextBlock::GetFontSize), 8);
  EXPECT_EQ(SlotOf(&ITextBlock::GetTextLength), 9);
  EXPECT_EQ(SlotOf(&ITextBlock::GetReserved), 10);
  EXPECT_EQ(SlotOf(&ITextBlock::GetText), 11);
  EXPECT_EQ(SlotOf(&ITextBlock::GetRegionCount), 12);
  EXPECT_EQ(SlotOf(&ITextBlock::GetRegion), 13);
  EXPECT_EQ(SlotOf(&Next<ITextBlock>::After), 16);

  EXPECT_EQ(SlotOf(&IPicBlock::GetRect), 6);
  EXPECT_EQ(SlotOf(&IPicBlock::SaveImage), 7);
  EXPECT_EQ(SlotOf(&IPicBlock::GetReservedProp), 8);
  EXPECT_EQ(SlotOf(&IPicBlock::GetWidth), 9);
  EXPECT_EQ(SlotOf(&IPicBlock::GetHeight), 10);
  EXPECT_EQ(SlotOf(&IPicBlock::GetBpp), 11);
  EXPECT_EQ(SlotOf(&IPicBlock::GetDIB), 12);
  EXPECT_EQ(SlotOf(&IPicBlock::GetRegionCount), 13);
  EXPECT_EQ(SlotOf(&IPicBlock::GetRegion), 14);
  EXPECT_EQ(SlotOf(&Next<IPicBlock>::After), 17);

  EXPECT_EQ(SlotOf(&IArticle::GetArticleId), 6);
  EXPECT_EQ(SlotOf(&Next<IArticle>::After), 9);

  EXPECT_EQ(SlotOf(&IPageInfo::GetPageIndex), 2);
  EXPECT_EQ(SlotOf(&IPageInfo::GetPageSource), 3);
  EXPECT_EQ(SlotOf(&IPageInfo::GetPageId), 4);
  EXPECT_EQ(SlotOf(&IPageInfo::GetPageName), 5);
  EXPECT_EQ(SlotOf(&IPageInfo::GetReservedText), 6);
  EXPECT_EQ(SlotOf(&IPageInfo::GetIssueDate), 7);
  EXPECT_EQ(SlotOf(&IPageInfo::GetPageWidth), 8);
  EXPECT_EQ(SlotOf(&IPageInfo::GetPageHeight), 9);
  EXPECT_EQ(SlotOf(&IPageInfo::GetImageWidth), 10);
  EXPECT_EQ(SlotOf(&IPageInfo::GetImageHeight), 11);
  EXPECT_EQ(SlotOf(&IPageInfo::GetPageCount), 12);
  EXPECT_EQ(SlotOf(&Next<IPageInfo>::After), 15);
}

TEST(Abi, ComInterfaceSlots) {
  EXPECT_EQ(SlotOf(&IBlockList::QueryInterface), 0);
  EXPECT_EQ(SlotOf(&IBlockList::GetCount), 3);
  EXPECT_EQ(SlotOf(&IBlockList::GetItemAt), 4);
  EXPECT_EQ(SlotOf(&Next<IBlockList>::After), 5);      // no destructor in the interface
  EXPECT_EQ(SlotOf(&Next<CBlockListBase>::After), 7);  // the list's destructor at 5, 6

  EXPECT_EQ(SlotOf(&IDataAdaptor::GetPaperInfo), 3);
  EXPECT_EQ(SlotOf(&IDataAdaptor::GetCurPageInfo), 4);
  EXPECT_EQ(SlotOf(&IDataAdaptor::Open), 5);
  EXPECT_EQ(SlotOf(&IDataAdaptor::Close), 6);
  EXPECT_EQ(SlotOf(&IDataAdaptor::LoadPage), 7);
  EXPECT_EQ(SlotOf(&IDataAdaptor::SavePageImage), 8);
  EXPECT_EQ(SlotOf(&IDataAdaptor::GetPageImage), 9);
  EXPECT_EQ(SlotOf(&IDataAdaptor::get_FileName), 10);
  EXPECT_EQ(SlotOf(&IDataAdaptor::get_TotalPageCount), 11);
  EXPECT_EQ(SlotOf(&IDataAdaptor::GetPicList), 12);
  EXPECT_EQ(SlotOf(&IDataAdaptor::GetTextList), 13);
  EXPECT_EQ(SlotOf(&IDataAdaptor::GetArticleList), 14);
  EXPECT_EQ(SlotOf(&IDataAdaptor::get_CurrentPage), 15);
  EXPECT_EQ(SlotOf(&IDataAdaptor::SplitPDFMultiPage), 16);
  EXPECT_EQ(SlotOf(&Next<IDataAdaptor>::After), 17);

  EXPECT_EQ(SlotOf(&IIssueInfoProvider::Invoke), 6);
  EXPECT_EQ(SlotOf(&IIssueInfoProvider::Close), 7);
  EXPECT_EQ(SlotOf(&IIssueInfoProvider::LoadIssueInfoXML), 8);
  EXPECT_EQ(SlotOf(&IIssueInfoProvider::AnalysePage), 9);
  EXPECT_EQ(SlotOf(&IIssueInfoProvider::get_IssueNameStr), 10);
  EXPECT_EQ(SlotOf(&IIssueInfoProvider::get_IssueDateStr), 11);
  EXPECT_EQ(SlotOf(&IIssueInfoProvider::get_PageNameStr), 12);
  EXPECT_EQ(SlotOf(&IIssueInfoProvider::get_PageIdStr), 13);
  EXPECT_EQ(SlotOf(&IIssueInfoProvider::get_PageCountStr), 14);
  EXPECT_EQ(SlotOf(&Next<IIssueInfoProvider>::After), 15);
}

TEST(Abi, ObjectsAreTheirInterfacePointers) {
  // Items of lists are the element addresses; a list is reached from its interface pointer.
  CPageInfo info;
  CTextBlock block(&info);
  CPicBlock pic(&info);
  CArticle article(&info);
  EXPECT_EQ(static_cast<void*>(static_cast<ITextBlock*>(&block)), static_cast<void*>(&block));
  EXPECT_EQ(static_cast<void*>(static_cast<IPicBlock*>(&pic)), static_cast<void*>(&pic));
  EXPECT_EQ(static_cast<void*>(static_cast<IArticle*>(&article)), static_cast<void*>(&article));
  EXPECT_EQ(static_cast<void*>(static_cast<IPageInfo*>(&info)), static_cast<void*>(&info));
  CTextBlockArray list;
  IBlockList* face = &list;
  EXPECT_EQ(static_cast<CTextBlockArray*>(static_cast<CBlockListBase*>(face)), &list);
}

TEST(Abi, Identifiers) {
  // The two list-related interface identifiers differ only in their last hex digit.
  EXPECT_EQ(std::memcmp(&IID_IDataAdaptor, &IID_IBlockList, 15), 0);
  EXPECT_EQ(IID_IDataAdaptor.Data4[7] & 0xF0, IID_IBlockList.Data4[7] & 0xF0);
  EXPECT_NE(IID_IDataAdaptor.Data4[7], IID_IBlockList.Data4[7]);
  const GUID* ids[] = {
      &CLSID_PDFDataAdaptor,   &CLSID_PDFIssueInfoProvider, &IID_IDataAdaptor, &IID_IBlockList,
      &IID_IIssueInfoProvider, &LIBID_VellumaLib,           &APPID_Velluma,    &IID_IUnknown,
      &IID_IDispatch};
  for (size_t i = 0; i < std::size(ids); ++i) {
    for (size_t j = i + 1; j < std::size(ids); ++j) EXPECT_NE(*ids[i], *ids[j]) << i << j;
  }
  EXPECT_EQ(CLSID_PDFDataAdaptor.Data1, 0xB21FEF21u);
}
