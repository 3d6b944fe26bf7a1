// Article assembly (analysis level 5) and the article operations it uses.
#include "layout/articles.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <unordered_map>

#include "blocks/article.h"
#include "blocks/geometry.h"
#include "blocks/picblock.h"
#include "blocks/textblock.h"
#include "engine/pdfinstance.h"
#include "layout/columns.h"
#include "layout/formation.h"
#include "layout/listops.h"
#include "layout/orderings.h"
#include "layout/predicates.h"
#include "layout/sortutil.h"
#include "pageinfo/pageinfo.h"

namespace {

// The header band ends above this ordinate, or there is no header band.
constexpr double kHeaderBandLimit = 280;
// The band's first row reaches down at least this far.
constexpr double kHeaderMinReach = 40;
// Pictures that start and end this close to the page's edges run the whole height.
constexpr double kFullHeightMargin = 100;

struct Box {
  double left;
  double top;
  double right;
  double bottom;
};

Box BoxOf(const CTextBlock* b) {
  return {b->m_dLeft, b->m_dTop, b->m_dRight, b->m_dBottom};
}

Box BoxOf(const CPicBlock* p) {
  return {p->m_dLeft, p->m_dTop, p->m_dRight, p->m_dBottom};
}

// Overlap ratios of two boxes: relative to the union (h, v) and to the shorter extent (hs, vs).
struct Overlap {
  double h;
  double hs;
  double v;
  double vs;
};

Overlap OverlapOf(const Box& a, const Box& b) {
  Overlap o{};
  o.h = OverlapRatio(a.left, a.right, b.left, b.right, &o.hs);
  o.v = OverlapRatio(a.top, a.bottom, b.top, b.bottom, &o.vs);
  return o;
}

// Distance between two boxes across (vertical) or along (horizontal) the page; negative when
// they overlap.
double VerticalGap(const Box& a, const Box& b) {
  return std::max(a.top, b.top) - std::min(a.bottom, b.bottom);
}

double HorizontalGap(const Box& a, const Box& b) {
  return std::max(a.left, b.left) - std::min(a.right, b.right);
}

double BodyFontSize(const CPageInfo* info) {
  return info != nullptr ? info->m_dBodyFontSize : 0.0;
}

bool IsHorizontalDirection(int d) {
  return d == 1 || d == 2 || d == 6 || d == 7;
}

// In double: a box of a hostile page can span the whole int range (out-of-range edges are
// INT32_MIN), where an int difference overflows and a 64-bit product too.
double Area(const RECT& rc) {
  if (rc.right <= rc.left || rc.bottom <= rc.top) return 0;
  return (static_cast<double>(rc.right) - rc.left) * (static_cast<double>(rc.bottom) - rc.top);
}

// Destroys a container block whose children have been taken over by other blocks.
void DestroyContainer(CTextBlock* container) {
  container->m_children.RemoveAll();
  delete container;
}

// A title group: q and every title of pool that stands close to a member in line with it.
CTextBlockArray GatherTitleGroup(CTextBlockArray& pool, CTextBlock* q, double dBody) {
  CTextBlockArray group;
  group.Add(q);
  for (int i = 0; i < group.GetSize(); ++i) {
    const CTextBlock* p = group[i];
    const int direction = DirectionOf(p);
    const bool horizontal = IsHorizontalDirection(direction);
    const Box pb = BoxOf(p);
    int k = 0;
    while (k < pool.GetSize()) {
      CTextBlock* t = pool[k];
      bool joins = false;
      if (JoinDirection(t, direction) != 0) {
        const double m = std::max(p->m_dFontSize, t->m_dFontSize);
        const double limit = 0.25 * m + 1.5 * dBody;
        const Box tb = BoxOf(t);
        const Overlap o = OverlapOf(pb, tb);
        joins = horizontal ? (o.hs >= 0.8 && VerticalGap(pb, tb) <= limit)
                           : (o.vs >= 0.8 && HorizontalGap(pb, tb) <= limit);
      }
      if (joins) {
        pool.RemoveAt(k);
        group.Add(t);
      } else {
        ++k;
      }
    }
  }
  return group;
}

// The article among articles that accepts a box with the largest value (the first of equals),
// or null.
template <class Accepts>
CArticle* BestArticle(CArticleArray& articles, Accepts accepts) {
  CArticle* best = nullptr;
  double bestValue = 0;
  for (CArticle* a : articles) {
    double value = 0;
    if (!accepts(a, &value)) continue;
    if (best == nullptr || value > bestValue) {
      best = a;
      bestValue = value;
    }
  }
  return best;
}

void ArticlesFromTitles(CArticleArray& articles, CTextBlockArray& pool, CPageInfo* info) {
  const double dBody = BodyFontSize(info);
  while (!pool.IsEmpty()) {
    CTextBlock* q = pool[0];
    pool.RemoveAt(0);
    auto* article = new CArticle(q->m_pPageInfo);
    articles.Add(article);
    CTextBlockArray group = GatherTitleGroup(pool, q, dBody);
    article->ChooseMainTitle(group, &pool);
  }
}

void AttachBodies(CArticleArray& articles, CTextBlockArray& texts) {
  CTextBlockArray remaining;
  for (CTextBlock* p : texts) {
    CArticle* a =
        BestArticle(articles, [p](CArticle* art, double* v) { return art->OverlapsBlock(p, v); });
    if (a != nullptr) {
      a->AddBodyBlock(p);
    } else {
      remaining.Add(p);
    }
  }
  texts.Copy(remaining);
  for (CArticle* a : articles) a->RebuildBody();
}

// One pass suffices: whether an article accepts a picture depends on its titles and body only,
// never on the pictures it already holds, so a further pass would attach nothing.
void AttachPictures(CArticleArray& articles, CPicBlockArray& pictures) {
  CPicBlockArray remaining;
  for (CPicBlock* pic : pictures) {
    CArticle* a = BestArticle(
        articles, [pic](CArticle* art, double* v) { return art->AcceptsPicture(pic, v); });
    if (a != nullptr) {
      a->m_pics.Add(pic);
    } else {
      remaining.Add(pic);
    }
  }
  pictures.Copy(remaining);
}

void AttachByArea(CArticleArray& articles, CTextBlockArray& texts) {
  for (CArticle* a : articles) {
    CTextBlockArray remaining;
    bool added = false;
    for (CTextBlock* q : texts) {
      if (a->OverlapsArea(q->GetIntRect())) {
        a->AddBodyBlock(q);
        added = true;
      } else {
        remaining.Add(q);
      }
    }
    texts.Copy(remaining);
    if (added) a->RebuildBody();
  }
}

void ArticlesFromLeftovers(CArticleArray& articles, CTextBlockArray& texts) {
  for (CTextBlock* p : texts) {
    auto* article = new CArticle(p->m_pPageInfo);
    articles.Add(article);
    const uint32_t type = p->GetType();
    if (type == TBT_TITLE && p->m_nLineCount <= 3) {
      article->m_pMainTitle = p;
      continue;
    }
    if ((type != TBT_BODY && type != TBT_TITLE) || p->GetLevel() < 2) {
      article->m_pBody = p;
      continue;
    }
    // A group: a title child met before more than three lines of other text heads the article.
    int lines = 0;
    int titleAt = -1;
    for (int i = 0; i < p->m_children.GetSize(); ++i) {
      const CTextBlock* child = p->m_children[i];
      if (child->GetType() == TBT_TITLE) {
        if (lines <= 3) titleAt = i;
        break;
      }
      lines += child->m_nLineCount;
      if (lines > 3) break;
    }
    if (titleAt < 0) {
      article->m_pBody = p;
      continue;
    }
    CTextBlockArray before;
    CTextBlockArray after;
    for (int i = 0; i < p->m_children.GetSize(); ++i) {
      if (i < titleAt) before.Add(p->m_children[i]);
      if (i > titleAt) after.Add(p->m_children[i]);
    }
    article->m_pMainTitle = p->m_children[titleAt];
    article->m_pUpperTitle = CArticle::SplitTitles(before, nullptr);
    article->m_pBody = CombineBlocks(after, true);
    DestroyContainer(p);
  }
  texts.RemoveAll();
}

void ArticlesFromPictures(CArticleArray& articles, CPicBlockArray& pictures) {
  for (CPicBlock* pic : pictures) {
    auto* article = new CArticle(pic->m_pPageInfo);
    articles.Add(article);
    article->m_pics.Add(pic);
  }
  pictures.RemoveAll();
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Article operations

void CArticle::ChooseMainTitle(CTextBlockArray& group, CTextBlockArray* pPool) {
  if (group.IsEmpty()) return;
  if (group.GetSize() == 1) {
    m_pMainTitle = group[0];
    return;
  }
  CTextBlock* main = group[0];
  for (CTextBlock* member : group)
    if (member->m_dFontSize > main->m_dFontSize) main = member;
  m_pMainTitle = main;

  int d = 5;
  for (int i = 1; i < group.GetSize(); ++i)
    if (DirectionOf(group[i]) != 5) d = DirectionOf(group[i]);
  if (DirectionOf(main) != 5) d = DirectionOf(main);

  if (d < 1 || d > 10) {
    // Without a usable direction the members cannot be placed before or after the main title;
    // they go back to the pool to start articles of their own rather than being dropped.
    CTextBlockArray rest;
    for (CTextBlock* member : group)
      if (member != main) rest.Add(member);
    if (pPool != nullptr) {
      pPool->InsertAt(0, rest);
    } else {
      m_pSubTitle = CombineBlocks(rest, true);
    }
    return;
  }
  CTextBlockArray* pool = pPool;
  if (d == 1 || d == 2) {
    SortBlocks(group, 1);
  } else if (d <= 5) {
    SortBlocks(group, 2);
  } else {
    pool = nullptr;
  }

  const int at = group.Find(main);
  CTextBlockArray first;
  CTextBlockArray second;
  for (int i = 0; i < group.GetSize(); ++i) {
    if (i < at) first.Add(group[i]);
    if (i > at) second.Add(group[i]);
  }
  CTextBlock* upper = SplitTitles(first, pool);
  CTextBlock* sub = SplitTitles(second, pool);
  if (d == 4) std::swap(upper, sub);
  m_pUpperTitle = upper;
  m_pSubTitle = sub;
}

CTextBlock* CArticle::SplitTitles(CTextBlockArray& side, CTextBlockArray* pPool) {
  if (side.IsEmpty()) return nullptr;
  if (side.GetSize() == 1) return side[0];
  double largest = side[0]->m_dFontSize;
  for (const CTextBlock* member : side) largest = std::max(largest, member->m_dFontSize);
  MoveFarTitles(side, largest, pPool);
  return CombineBlocks(side, true);
}

void CArticle::MoveFarTitles(CTextBlockArray& side, double dSize, CTextBlockArray* pPool) {
  if (pPool == nullptr) return;
  CTextBlockArray moved;
  for (int i = side.GetSize() - 1; i >= 0; --i) {
    if (std::fabs(side[i]->m_dFontSize - dSize) > 2) {
      moved.InsertAt(0, side[i]);
      side.RemoveAt(i);
    }
  }
  if (!moved.IsEmpty()) pPool->InsertAt(0, moved);
}

bool CArticle::OverlapsTitles(double dLeft, double dTop, double dRight, double dBottom,
                              double* pValue) const {
  const Box box{dLeft, dTop, dRight, dBottom};
  const int mainDirection = m_pMainTitle != nullptr ? DirectionOf(m_pMainTitle) : 0;
  const bool horizontal = mainDirection == 1 || mainDirection == 2;
  const double dBody = BodyFontSize(m_pPageInfo);
  for (const CTextBlock* s : {m_pMainTitle, m_pSubTitle, m_pUpperTitle}) {
    if (s == nullptr) continue;
    const Box sb = BoxOf(s);
    const Overlap o = OverlapOf(sb, box);
    *pValue = horizontal ? o.h : o.v;
    const double limit = s->m_dFontSize / 5 + 2 * dBody;
    if (o.h > 0.8 && o.v > 0.8) return true;
    if (o.hs > 0.95 && o.v > 0.2) return true;
    if (o.vs > 0.95 && o.h > 0.2) return true;
    if (o.hs > 0.95 && o.vs > 0.95 && sb.right - sb.left > 6 * dBody) return true;
    if (horizontal && o.h > 0 && o.hs > 0.8) {
      if (VerticalGap(sb, box) < limit && box.top > sb.top) return true;
    } else if (!horizontal && o.v > 0 && o.vs > 0.8) {
      if (HorizontalGap(sb, box) < limit) return true;
    }
  }
  return false;
}

bool CArticle::OverlapsBlock(const CTextBlock* pBlock, double* pValue) const {
  return OverlapsTitles(pBlock->m_dLeft, pBlock->m_dTop, pBlock->m_dRight, pBlock->m_dBottom,
                        pValue);
}

bool CArticle::AcceptsPicture(const CPicBlock* pPic, double* pValue) {
  const Box pb = BoxOf(pPic);
  if (OverlapsTitles(pb.left, pb.top, pb.right, pb.bottom, pValue)) return true;
  if (m_pBody == nullptr) return false;
  const auto accepts = [&](const CTextBlock* s) {
    const Overlap o = OverlapOf(BoxOf(s), pb);
    bool yes = (o.h > 0.8 && o.v > 0.8) || (o.hs > 0.95 && o.v > 0.2);
    if (!yes) {
      yes = o.vs > 0.95 ? o.h > 0.2
                        : (o.h > 0.2 && o.v > 0.2 && o.hs * o.vs > 0.3 && o.h * o.v > 0.12);
    }
    if (yes) *pValue = std::max(o.h, o.v);
    return yes;
  };
  if (m_pBody->GetLevel() >= 3) {
    for (const CTextBlock* s : m_pBody->m_children)
      if (accepts(s)) return true;
  } else if (accepts(m_pBody)) {
    return true;
  }
  RECT rc{};
  if (!GetBoundingRect(&rc, ART_TITLES | ART_BODY)) return false;
  const RECT pr = pPic->GetIntRect();
  double hs = 0;
  double vs = 0;
  OverlapRatio(rc.left, rc.right, pr.left, pr.right, &hs);
  OverlapRatio(rc.top, rc.bottom, pr.top, pr.bottom, &vs);
  return hs > 0.9 && vs > 0.9;
}

bool CArticle::OverlapsArea(const RECT& box) {
  RECT rc{};
  if (!GetBoundingRect(&rc, 255)) return false;
  RECT common{};
  if (!IntersectRect(&common, &rc, &box)) return false;
  const double shared = Area(common);
  return 2 * shared > Area(rc) || 2 * shared > Area(box);
}

void CArticle::AddBodyBlock(CTextBlock* pBlock) {
  if (m_pBody == nullptr) {
    m_pBody = new CTextBlock(m_pPageInfo);
    m_pBody->CopyAttributes(pBlock);
  } else {
    m_pBody->UnionWith(pBlock);
  }
  m_pBody->m_children.Add(pBlock);
}

void CArticle::RebuildBody() {
  // A body without children is a block in its own right, not a container: nothing to rebuild.
  if (m_pBody == nullptr || m_pBody->m_children.IsEmpty()) return;
  CTextBlock* combined = CombineBlocks(m_pBody->m_children, true);
  if (combined == m_pBody) return;
  DestroyContainer(m_pBody);
  m_pBody = combined;
}

void CArticle::SettleTitleKind() {
  if (m_pMainTitle == nullptr || DirectionOf(m_pMainTitle) != 5) return;
  for (CTextBlock* title : {m_pUpperTitle, m_pSubTitle}) {
    if (title == nullptr) continue;
    const int d = DirectionOf(title);
    if (d == 5) continue;
    if (d == 4) {
      std::swap(m_pUpperTitle, m_pSubTitle);
      m_pMainTitle->SetDirection(4);
    } else {
      m_pMainTitle->SetDirection(3);
    }
    return;
  }
  bool stays;
  if (m_pBody != nullptr) {
    const double mainCentre = (m_pMainTitle->m_dLeft + m_pMainTitle->m_dRight) / 2;
    const double bodyCentre = (m_pBody->m_dLeft + m_pBody->m_dRight) / 2;
    stays = !(mainCentre < bodyCentre);
  } else if (m_pUpperTitle != nullptr) {
    stays = m_pMainTitle->m_dTop < m_pUpperTitle->m_dTop;
  } else {
    stays = m_pSubTitle != nullptr && m_pSubTitle->m_dTop < m_pMainTitle->m_dTop;
  }
  if (!stays) m_pMainTitle->SetDirection(3);
}

void CArticle::SettleTitles() {
  if (m_pMainTitle == nullptr) return;
  const int d = DirectionOf(m_pMainTitle);
  if (d != 1 && d != 6) return;

  if (m_pSubTitle == nullptr && m_pBody != nullptr && m_pBody->GetLevel() >= 2 &&
      m_pBody->m_children.GetSize() > 1) {
    CTextBlock* child = m_pBody->m_children[0];
    if (child->GetType() == TBT_TITLE && child->m_nLineCount <= 2) {
      const Box mb = BoxOf(m_pMainTitle);
      const Box cb = BoxOf(child);
      const Overlap o = OverlapOf(mb, cb);
      if (o.hs > 0.9 && VerticalGap(mb, cb) < 1.2 * child->m_dFontSize) {
        m_pSubTitle = child;
        m_pBody->m_children.RemoveAt(0);
        RebuildBody();
      }
    }
  }

  if (m_pMainTitle->GetLevel() >= 2 && m_pMainTitle->m_children.GetSize() >= 2) {
    CTextBlockArray& children = m_pMainTitle->m_children;
    const double f0 = children[0]->m_dFontSize;
    const double f1 = children[1]->m_dFontSize;
    if (std::fabs(f0 - f1) <= 1) return;
    int chosen = -1;
    if (f0 < f1 && m_pUpperTitle == nullptr) {
      chosen = 0;
      m_pUpperTitle = children[0];
    } else if (f0 > f1 && m_pSubTitle == nullptr) {
      chosen = 1;
      m_pSubTitle = children[1];
    }
    if (chosen < 0) return;
    children.RemoveAt(chosen);
    CTextBlock* rebuilt = CombineBlocks(children, true);
    if (rebuilt != m_pMainTitle) {
      DestroyContainer(m_pMainTitle);
      m_pMainTitle = rebuilt;
    }
  }
}

// ---------------------------------------------------------------------------------------------
// The stage

void AssembleArticles(CArticleArray& articles, CTextBlockArray& texts, CPicBlockArray* pictures,
                      CPageInfo* pPageInfo) {
  CTextBlockArray titles;
  SelectBlocks(texts, titles, nullptr, SBS_DETACH | SBT_TYPE, TBT_TITLE);
  if (!titles.IsEmpty()) ArticlesFromTitles(articles, titles, pPageInfo);
  AttachBodies(articles, texts);
  if (pictures != nullptr) AttachPictures(articles, *pictures);
  if (!texts.IsEmpty()) {
    CArticleArray bodiless;
    for (CArticle* a : articles)
      if (a->m_pBody == nullptr) bodiless.Add(a);
    AttachByArea(bodiless, texts);
  }
  ArticlesFromLeftovers(articles, texts);
  if (pictures != nullptr) ArticlesFromPictures(articles, *pictures);
  for (CArticle* a : articles) {
    a->SettleTitleKind();
    a->SettleTitles();
  }
}

void BuildHeaderArticles(CPDFInstance& engine, CArticleArray& out) {
  CPageInfo* info = engine.GetPageInfo();
  CTextBlockArray& page = engine.GetTextBlocks();
  CPicBlockArray& pictures = engine.GetPicBlocks();
  SafeSort(pictures, [](const CPicBlock* a, const CPicBlock* b) {
    return a->m_nSeq < b->m_nSeq ? -1 : (a->m_nSeq > b->m_nSeq ? 1 : 0);
  });
  const double pageHeight = info != nullptr ? info->m_dPageHeight : 0.0;
  const double dBody = BodyFontSize(info);

  // Placeholders stand for the pictures among the text blocks; each knows its picture.
  std::unordered_map<const CTextBlock*, CPicBlock*> pictureOf;
  CTextBlockArray placeholders;
  for (CPicBlock* pic : pictures) {
    CTextBlock* holder = pic->MakePlaceholder();
    if (holder->m_dTop < kFullHeightMargin && holder->m_dBottom > pageHeight - kFullHeightMargin) {
      delete holder;
      continue;
    }
    placeholders.Add(holder);
    pictureOf.emplace(holder, pic);
  }
  const auto deletePlaceholders = [&placeholders]() { placeholders.DeleteBlockTree(); };

  CTextBlockArray l;
  l.Append(page);
  l.Append(placeholders);
  if (l.IsEmpty()) return;
  SortBlocks(l, 1);
  const double top0 = l[0]->m_dTop;
  double reach = std::max(l[0]->m_dBottom, kHeaderMinReach);
  int bandSize = 0;
  for (const CTextBlock* h : l) {
    const double distance = -OverlapLength(h->m_dTop, h->m_dBottom, top0, reach);
    const double limit = (pictureOf.count(h) != 0 ? 0.8 : 1.2) * dBody;
    if (!(distance < limit)) break;
    reach = std::max(reach, h->m_dBottom);
    ++bandSize;
  }
  if (!(reach < kHeaderBandLimit)) {
    deletePlaceholders();
    return;
  }

  CTextBlockArray band;
  for (int i = 0; i < bandSize; ++i) band.Add(l[i]);
  l.RemoveAt(0, bandSize);
  SortBlocks(band, 0);
  CTextBlockArray bandTexts;
  CPicBlockArray bandPictures;
  for (CTextBlock* element : band) {
    auto it = pictureOf.find(element);
    if (it == pictureOf.end()) {
      bandTexts.Add(element);
      continue;
    }
    const int at = pictures.Find(it->second);
    if (at >= 0) pictures.RemoveAt(at);
    bandPictures.Add(it->second);
  }
  SortBlocks(l, 0);
  KeepOnly(page, l);
  AssembleArticles(out, bandTexts, &bandPictures, info);
  deletePlaceholders();
}

int BuildArticlesImpl(CPDFInstance& engine) {
  CArticleArray* articles = engine.GetArticles();
  if (articles == nullptr) return 0;
  CArticleArray header;
  BuildHeaderArticles(engine, header);
  AssembleArticles(*articles, engine.GetTextBlocks(), &engine.GetPicBlocks(), engine.GetPageInfo());
  articles->Append(header);
  for (int i = 0; i < articles->GetSize(); ++i) {
    CArticle* a = (*articles)[i];
    a->SetArticleId(i);
    a->BuildArticleHtml();
  }
  return 0;
}

void DissolveArticles(CPDFInstance& engine, CTextBlockArray& runs) {
  CArticleArray* articles = engine.GetArticles();
  if (articles == nullptr || articles->IsEmpty()) return;
  CTextBlockArray blocks;
  for (CArticle* a : *articles) a->CollectBlocks(blocks, ART_DETACH | 0xF);
  FlattenToRuns(blocks, runs, true);
  blocks.DeleteBlockTree();
  CPicBlockArray& pictures = engine.GetPicBlocks();
  for (CArticle* a : *articles) {
    pictures.Append(a->m_pics);
    a->m_pics.RemoveAll();
  }
  articles->DeleteAllArticles();
}

void GatherArticleBlocks(CPDFInstance& engine, CTextBlockArray& list) {
  CArticleArray* articles = engine.GetArticles();
  if (articles == nullptr) return;
  for (CArticle* a : *articles) a->CollectBlocks(list, 0xF);
}
