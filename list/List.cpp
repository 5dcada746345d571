// Doubly linked lists with a walking cursor; nodes and items live in the pool.
#include "list/List.h"

#include <cstdio>
#include <cstring>

#include "memmgr/MemMgr.h"

List *ListCreate()
{
  return static_cast<List *>(GetMem(sizeof(List)));
}

void ListPushLink(List *list, ListNode *node)
{
  if (!list || !node)
    return;
  if (list->nItems == 0 || !list->pFirst || !list->pLast) {
    node->pPrev = node->pNext = nullptr;
    list->pFirst = list->pLast = node;
    list->nItems = 1;
  } else if (list->flAddToFront) {
    node->pPrev = nullptr;
    node->pNext = list->pFirst;
    list->pFirst->pPrev = node;
    list->pFirst = node;
    list->nItems++;
  } else {
    node->pNext = nullptr;
    node->pPrev = list->pLast;
    list->pLast->pNext = node;
    list->pLast = node;
    list->nItems++;
  }
  list->nTotalSize += node->nSize;
}

void *ListPushItem(List *list, const void *data, int32_t size)
{
  if (!list || size < 1)
    return nullptr;
  auto *node = static_cast<ListNode *>(GetMem(sizeof(ListNode)));
  void *item = node ? GetMem(static_cast<size_t>(size)) : nullptr;
  if (!item) {
    PutMem(node);
    return nullptr;
  }
  node->pItem = item;
  node->nSize = size;
  if (data)
    memcpy(item, data, static_cast<size_t>(size));
  ListPushLink(list, node);
  return item;
}

void ListPopLink(List *list, ListNode *node)
{
  if (!list || list->nItems == 0 || !list->pFirst)
    return;
  if (!node)
    node = list->pFirst;
  list->nItems--;
  list->nTotalSize -= node->nSize;
  if (list->nItems == 0) {
    list->pFirst = list->pLast = nullptr;
  } else if (node == list->pFirst) {
    list->pFirst = node->pNext;
    if (list->pFirst)
      list->pFirst->pPrev = nullptr;
  } else if (node == list->pLast) {
    list->pLast = node->pPrev;
    if (list->pLast)
      list->pLast->pNext = nullptr;
  } else {
    node->pPrev->pNext = node->pNext;
    node->pNext->pPrev = node->pPrev;
  }
}

static ListNode *FindNode(List *list, const void *item)
{
  for (ListNode *n = list->pFirst; n; n = n->pNext)
    if (n->pItem == item)
      return n;
  return nullptr;
}

// Unlinks and releases a node; the item is released too, or handed back.
static void *DropNode(List *list, ListNode *node, int release)
{
  ListPopLink(list, node);
  // A released node must not stay under the cursor: the walk ends instead
  // of stepping into freed memory.
  if (list->pCurrent == node)
    list->pCurrent = nullptr;
  void *item = node->pItem;
  PutMem(node);
  if (release) {
    PutMem(item);
    return nullptr;
  }
  return item;
}

void *ListPopItem(List *list, void *item, int release)
{
  if (!list || list->nItems == 0 || !list->pFirst)
    return nullptr;
  ListNode *node = item ? FindNode(list, item) : list->pFirst;
  return node ? DropNode(list, node, release) : nullptr;
}

void *ListPopFirstItem(List *list, int release)
{
  if (!list || !list->pFirst)
    return nullptr;
  return DropNode(list, list->pFirst, release);
}

void *ListPopLastItem(List *list, int release)
{
  if (!list || !list->pLast)
    return nullptr;
  return DropNode(list, list->pLast, release);
}

void ListMoveItem(void *item, List *source, List *target)
{
  if (!source || !target || !source->pFirst)
    return;
  ListNode *node = FindNode(source, item);
  if (!node)
    return;
  ListPopLink(source, node);
  if (source->pCurrent == node)
    source->pCurrent = nullptr;
  ListPushLink(target, node);
}

void ListCopy(List *source, List *target)
{
  if (!source || !target)
    return;
  // Counted up front, so copying a list into itself ends.
  int32_t left = source->nItems;
  for (ListNode *n = source->pFirst; n && left > 0; n = n->pNext, left--)
    ListPushItem(target, n->pItem, n->nSize);
}

void *ListFindItemN(List *list, int32_t n)
{
  if (!list || n < 1)
    return nullptr;
  ListNode *node = list->pFirst;
  for (int32_t i = 1; node && i < n; i++)
    node = node->pNext;
  return node ? node->pItem : nullptr;
}

int32_t ListGetItemPos(List *list, void *item)
{
  if (!list)
    return 0;
  int32_t pos = 1;
  for (ListNode *n = list->pFirst; n; n = n->pNext, pos++)
    if (n->pItem == item)
      return pos;
  return 0;
}

void *ListWalk(List *list, int cont)
{
  if (!list)
    return nullptr;
  if (!cont)
    list->pCurrent = list->pFirst;
  ListNode *node = list->pCurrent;
  if (!node)
    return nullptr;
  list->pCurrent = node->pNext;
  return node->pItem;
}

void *ListWalkBackward(List *list, int cont)
{
  if (!list)
    return nullptr;
  if (!cont)
    list->pCurrent = list->pLast;
  ListNode *node = list->pCurrent;
  if (!node)
    return nullptr;
  list->pCurrent = node->pPrev;
  return node->pItem;
}

void ListDump(List *list)
{
  if (!list)
    return;
  int pos = 1;
  for (ListNode *n = list->pFirst; n; n = n->pNext, pos++) {
    // Items shorter than a word are read as far as they go.
    int32_t word = 0;
    if (n->pItem && n->nSize > 0)
      memcpy(&word, n->pItem, n->nSize < 4 ? static_cast<size_t>(n->nSize) : 4);
    printf("%3i) %li\n", pos, static_cast<long>(word));
  }
}

void ListDelAllItems(List *list)
{
  if (!list)
    return;
  ListNode *node = list->pFirst;
  while (node) {
    ListNode *next = node->pNext;
    ListPopLink(list, node);
    PutMem(node->pItem);
    PutMem(node);
    node = next;
  }
  list->pFirst = list->pLast = list->pCurrent = nullptr;
  list->nItems = 0;
  list->nTotalSize = 0;
}

void ListDel(List *list)
{
  if (!list)
    return;
  ListDelAllItems(list);
  PutMem(list);
}
