// List: doubly linked lists of pool-held items with a built-in walking cursor.
//
// Items are byte blocks owned by their node: pushing copies the caller's bytes
// into a new pool block. Items are identified by their pointer, never by their
// contents; positions count from 1. A zero-filled List is a valid empty list,
// so a header may be embedded in another pool record. Single-threaded.
#ifndef NORVO_LIST_H
#define NORVO_LIST_H

#include <cstdint>

// One node per item; node and item are two pool allocations.
struct ListNode {
  ListNode *pPrev;  // null for the first node
  ListNode *pNext;  // null for the last node
  void *pItem;      // pool block owned by the node
  int32_t nSize;    // size of the item in bytes
};

// The list header.
struct List {
  ListNode *pFirst;      // null when empty
  ListNode *pLast;       // null when empty
  ListNode *pCurrent;    // cursor of ListWalk/ListWalkBackward: node of the next step
  int32_t nItems;        // number of nodes
  int32_t nTotalSize;    // sum of the item sizes
  uint8_t flAddToFront;  // nonzero: new nodes go in front instead of at the end
};

// A new empty list in pool memory; release it with ListDel. Null if the pool is exhausted.
List *ListCreate();

// Pushes a copy of size bytes of data (zero-filled when data is null) as a new
// item; returns the item for the caller to fill, or null (null list, size < 1,
// pool exhausted). Constant time.
void *ListPushItem(List *list, const void *data, int32_t size);
// Links an unlinked node at the end (or the front with flAddToFront). Constant time.
void ListPushLink(List *list, ListNode *node);
// Unlinks a node (null: the first one) without releasing it. Constant time.
void ListPopLink(List *list, ListNode *node);

// Removes the node of an item (null: the first item). With release set the item
// is released too and null comes back; otherwise the caller owns the returned
// item (PutMem). An item not in the list gives null. Linear.
void *ListPopItem(List *list, void *item, int release);
void *ListPopFirstItem(List *list, int release);
void *ListPopLastItem(List *list, int release);

// Moves the node of an item from one list into another without copying the item.
void ListMoveItem(void *item, List *source, List *target);
// Pushes a copy of every item of source, in order, into target.
void ListCopy(List *source, List *target);

// The n-th item (from 1), or null. Linear.
void *ListFindItemN(List *list, int32_t n);
// Position (from 1) of the node holding the item pointer, 0 if absent. Linear.
int32_t ListGetItemPos(List *list, void *item);

// One step of a walk: pass 0 to start, nonzero to go on; null at the end (and
// on every later call until a restart). The cursor is shared per list, so a
// nested walk of the same list restarts it. Removing the item just returned
// is fine; releasing or moving the node under the cursor ends the walk.
void *ListWalk(List *list, int cont);
void *ListWalkBackward(List *list, int cont);

// Prints "%3i) %li\n" per node: position and the first 32-bit word of the item.
void ListDump(List *list);

// Releases every node and item; the header stays as an empty list.
void ListDelAllItems(List *list);
// As ListDelAllItems, then releases the header (only for ListCreate headers).
void ListDel(List *list);

#endif
