// Doubly linked lists of items. Every item is a block of bytes that the list
// copies in and owns; links, items and list records all come from the memory
// manager. A list grows at its end, or at its front when flPushFront is set,
// and keeps one walk cursor for ListWalk and ListWalkBackward.
//
// Items are identified by their address (pItem), never by their contents.
// Positions count from 1; 0 means absent.
#pragma once

struct ListLink {
  ListLink* pPrev;   // previous link, null for the first
  ListLink* pNext;   // next link, null for the last
  void* pItem;       // the item's bytes (from GetMem, owned by the list)
  int ItemSize;      // size of the item in bytes, as pushed
};

struct ListRec {
  ListLink* pFirst;   // first link, null when empty
  ListLink* pLast;    // last link, null when empty
  ListLink* pWalk;    // link whose item the next walk step gives
  int Count;          // number of links
  unsigned int Size;  // sum of the ItemSize of all links
  bool flPushFront;   // new links go in front of pFirst instead of after pLast
  // The walk in progress goes from the last item towards the first (set by
  // ListWalkBackward, cleared by ListWalk), so that removing the link under
  // the cursor moves the cursor on in the walk's own direction.
  bool flWalkBackward;
};

// A new empty list (null when memory is exhausted). Free it with ListDel.
ListRec* ListCreate();

// Copies size bytes from src (zeros when src is null) into a new item at the
// list's growing end and gives the item; null for a null list, a size that is
// not positive, or exhausted memory.
void* ListPushItem(ListRec* list, const void* src, int size);

// Links an unlinked link in at the list's growing end. A link the list
// already holds is left where it is.
void ListPushLink(ListRec* list, ListLink* link);

// Unlinks a link of the list (null: the first) without freeing anything; the
// link keeps its own pPrev and pNext. A link the list does not hold is
// ignored.
void ListPopLink(ListRec* list, ListLink* link);

// Unlinks the item's link (null item: the first) and frees the link. With
// freeItem the item is freed as well and null is given; otherwise the item
// is given and now belongs to the caller (free it with PutMem). Null when the
// list is null or empty or does not hold the item.
void* ListPopItem(ListRec* list, void* item, int freeItem);
void* ListPopFirstItem(ListRec* list, int freeItem);
void* ListPopLastItem(ListRec* list, int freeItem);

// The item at position n (from 1), null when there is none.
void* ListFindItemN(ListRec* list, int n);

// The item's position (from 1), 0 when the list does not hold it.
int ListGetItemPos(ListRec* list, const void* item);

// Moves the item's link from one list to the other, placed as ListPushLink
// places it; the item is not copied. Nothing happens when `from` does not
// hold the item.
void ListMoveItem(void* item, ListRec* from, ListRec* to);

// Pushes a copy of every item of `source`, in order, onto `dest`. Copying a
// list onto itself copies each of its items once.
void ListCopy(ListRec* source, ListRec* dest);

// Frees every link and item, leaving the list empty.
void ListDelAllItems(ListRec* list);

// Frees every link and item and the list record itself.
void ListDel(ListRec* list);

// Walks the list: with cont 0 the first item (the walk restarts), otherwise
// the next one; null after the last. ListWalkBackward walks from the last
// item towards the first. Removing the link under the cursor moves the
// cursor on to the link the walk would have come to next.
void* ListWalk(ListRec* list, int cont);
void* ListWalkBackward(ListRec* list, int cont);

// Prints one line per link on standard output: the position and the item's
// first four bytes read as a signed 32-bit number.
void ListDump(ListRec* list);
