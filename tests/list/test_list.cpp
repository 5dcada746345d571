// Lists: order of pushes, pops at both ends and by item, walking, copies.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "list/List.h"
#include "memmgr/MemMgr.h"

namespace {

int Value(void *item)
{
  int v;
  memcpy(&v, item, sizeof v);
  return v;
}

void PushInts(List *l, std::initializer_list<int> values)
{
  for (int v : values)
    ASSERT_NE(ListPushItem(l, &v, sizeof v), nullptr);
}

std::string Walk(List *l)
{
  std::string out;
  for (void *p = ListWalk(l, 0); p; p = ListWalk(l, 1))
    out += std::to_string(Value(p)) + " ";
  return out;
}

std::string WalkBack(List *l)
{
  std::string out;
  for (void *p = ListWalkBackward(l, 0); p; p = ListWalkBackward(l, 1))
    out += std::to_string(Value(p)) + " ";
  return out;
}

// Checks the header invariants against the nodes.
void ExpectSound(List *l)
{
  int32_t count = 0, total = 0;
  ListNode *prev = nullptr;
  for (ListNode *n = l->pFirst; n; prev = n, n = n->pNext) {
    EXPECT_EQ(n->pPrev, prev);
    count++;
    total += n->nSize;
  }
  EXPECT_EQ(l->pLast, prev);
  EXPECT_EQ(l->nItems, count);
  EXPECT_EQ(l->nTotalSize, total);
  EXPECT_EQ(count == 0, l->pFirst == nullptr && l->pLast == nullptr);
}

TEST(List, PushOrderFollowsFlAddToFront)
{
  List *l = ListCreate();
  ASSERT_NE(l, nullptr);
  PushInts(l, {1, 2, 3});
  EXPECT_EQ(Walk(l), "1 2 3 ");
  EXPECT_EQ(WalkBack(l), "3 2 1 ");
  ExpectSound(l);
  EXPECT_EQ(l->nTotalSize, 12);

  List front{};  // a zero-filled embedded header is an empty list
  front.flAddToFront = 1;
  PushInts(&front, {1, 2, 3});
  EXPECT_EQ(Walk(&front), "3 2 1 ");
  ExpectSound(&front);
  ListDelAllItems(&front);
  ExpectSound(&front);
  ListDel(l);
}

TEST(List, PushRefusesEmptyItemsAndCopiesData)
{
  List *l = ListCreate();
  int v = 7;
  EXPECT_EQ(ListPushItem(l, &v, 0), nullptr);
  EXPECT_EQ(ListPushItem(l, &v, -4), nullptr);
  EXPECT_EQ(ListPushItem(nullptr, &v, 4), nullptr);
  EXPECT_EQ(l->nItems, 0);

  void *item = ListPushItem(l, &v, sizeof v);
  v = 8;  // the list holds its own copy
  EXPECT_EQ(Value(item), 7);

  auto *blank = static_cast<unsigned char *>(ListPushItem(l, nullptr, 12));
  ASSERT_NE(blank, nullptr);
  for (int i = 0; i < 12; i++)
    EXPECT_EQ(blank[i], 0);
  EXPECT_EQ(l->nTotalSize, 16);
  ListDel(l);
}

TEST(List, PopByItemAndAtEitherEnd)
{
  List *l = ListCreate();
  PushInts(l, {1, 2, 3});
  void *first = ListFindItemN(l, 1);
  void *popped = ListPopItem(l, nullptr, 0);
  EXPECT_EQ(popped, first);
  EXPECT_EQ(Value(popped), 1);
  EXPECT_EQ(l->nItems, 2);
  PutMem(popped);
  ExpectSound(l);

  int outsider = 5;
  EXPECT_EQ(ListPopItem(l, &outsider, 1), nullptr);
  EXPECT_EQ(l->nItems, 2);

  PushInts(l, {4});
  EXPECT_EQ(ListPopItem(l, ListFindItemN(l, 2), 1), nullptr);  // middle node, released
  EXPECT_EQ(Walk(l), "2 4 ");
  void *last = ListPopLastItem(l, 0);
  EXPECT_EQ(Value(last), 4);
  PutMem(last);
  EXPECT_EQ(ListPopFirstItem(l, 1), nullptr);
  ExpectSound(l);
  EXPECT_EQ(l->nItems, 0);
  EXPECT_EQ(ListPopFirstItem(l, 0), nullptr);
  EXPECT_EQ(ListPopLastItem(l, 0), nullptr);

  PushInts(l, {9});  // after emptying, a push makes both ends
  EXPECT_EQ(l->pFirst, l->pLast);
  EXPECT_EQ(Value(l->pFirst->pItem), 9);
  ExpectSound(l);
  ListDel(l);
}

TEST(List, PopLinkLeavesNodeForRelinking)
{
  List *l = ListCreate();
  PushInts(l, {1, 2, 3});
  ListNode *last = l->pLast;
  ListPopLink(l, last);
  ExpectSound(l);
  l->flAddToFront = 1;
  ListPushLink(l, last);
  EXPECT_EQ(Walk(l), "3 1 2 ");
  ListPopLink(l, nullptr);
  EXPECT_EQ(Walk(l), "1 2 ");
  ExpectSound(l);
  PutMem(last->pItem);
  PutMem(last);
  ListPushLink(nullptr, nullptr);
  ListPopLink(nullptr, nullptr);
  ListDel(l);
}

TEST(List, WalkStaysAtEndUntilRestarted)
{
  List *l = ListCreate();
  PushInts(l, {1, 2});
  EXPECT_NE(ListWalk(l, 0), nullptr);
  EXPECT_NE(ListWalk(l, 1), nullptr);
  EXPECT_EQ(ListWalk(l, 1), nullptr);
  EXPECT_EQ(ListWalk(l, 1), nullptr);
  EXPECT_EQ(Value(ListWalk(l, 0)), 1);
  EXPECT_EQ(ListWalk(nullptr, 0), nullptr);

  // Releasing the node under the cursor ends the walk rather than stepping into freed memory.
  ListWalk(l, 0);
  ListPopItem(l, ListFindItemN(l, 2), 1);
  EXPECT_EQ(ListWalk(l, 1), nullptr);
  ListDelAllItems(l);
  EXPECT_EQ(ListWalk(l, 1), nullptr);
  ListDel(l);
}

TEST(List, FindAndPosition)
{
  List *l = ListCreate();
  PushInts(l, {10, 20, 30});
  EXPECT_EQ(ListFindItemN(l, 0), nullptr);
  EXPECT_EQ(ListFindItemN(l, 4), nullptr);
  EXPECT_EQ(Value(ListFindItemN(l, 3)), 30);
  EXPECT_EQ(ListGetItemPos(l, ListFindItemN(l, 2)), 2);
  int same = 20;  // equal contents, other pointer
  EXPECT_EQ(ListGetItemPos(l, &same), 0);
  EXPECT_EQ(ListGetItemPos(nullptr, &same), 0);
  ListDel(l);
}

TEST(List, CopyAndMove)
{
  List *src = ListCreate();
  List *dst = ListCreate();
  unsigned char a[12], b[12];
  for (int i = 0; i < 12; i++) {
    a[i] = static_cast<unsigned char>(i);
    b[i] = static_cast<unsigned char>(100 + i);
  }
  ListPushItem(src, a, 12);
  ListPushItem(src, b, 12);
  ListCopy(src, dst);
  EXPECT_EQ(dst->nItems, 2);
  EXPECT_EQ(dst->nTotalSize, 24);
  EXPECT_NE(ListFindItemN(dst, 1), ListFindItemN(src, 1));
  EXPECT_EQ(memcmp(ListFindItemN(dst, 1), a, 12), 0);
  EXPECT_EQ(memcmp(ListFindItemN(dst, 2), b, 12), 0);

  ListCopy(src, src);  // into itself: copies the original nodes once
  EXPECT_EQ(src->nItems, 4);
  ExpectSound(src);

  void *moved = ListFindItemN(src, 2);
  ListMoveItem(moved, src, dst);
  EXPECT_EQ(src->nItems, 3);
  EXPECT_EQ(dst->nItems, 3);
  EXPECT_EQ(ListFindItemN(dst, 3), moved);
  ExpectSound(src);
  ExpectSound(dst);
  ListDel(src);
  ListDel(dst);
}

TEST(List, DumpPrintsPositionAndFirstWord)
{
  List *l = ListCreate();
  PushInts(l, {-5, 42});
  char c = 3;
  ListPushItem(l, &c, 1);
  testing::internal::CaptureStdout();
  ListDump(l);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "  1) -5\n  2) 42\n  3) 3\n");
  ListDel(l);
}

}  // namespace
