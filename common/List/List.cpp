// Doubly linked lists of copied items.
#include "List.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "MemMgr.h"

namespace {

// Links a link the list does not hold in at the growing end.
void LinkIn(ListRec* list, ListLink* link) {
  if (list->Count == 0 || list->pFirst == nullptr || list->pLast == nullptr) {
    link->pPrev = nullptr;
    link->pNext = nullptr;
    list->pFirst = link;
    list->pLast = link;
    list->Count = 1;
  } else if (list->flPushFront) {
    link->pPrev = nullptr;
    link->pNext = list->pFirst;
    list->pFirst->pPrev = link;
    list->pFirst = link;
    list->Count++;
  } else {
    link->pPrev = list->pLast;
    link->pNext = nullptr;
    list->pLast->pNext = link;
    list->pLast = link;
    list->Count++;
  }
  list->Size += static_cast<unsigned int>(link->ItemSize);
}

// Unlinks a link the list holds. The link keeps its own pPrev and pNext so
// that a caller may still look at its old neighbours. A walk cursor resting
// on the link moves on in the walk's direction; left alone it would point at
// a link the caller may free next.
void Unlink(ListRec* list, ListLink* link) {
  if (list->pWalk == link) list->pWalk = list->flWalkBackward ? link->pPrev : link->pNext;
  list->Count--;
  list->Size -= static_cast<unsigned int>(link->ItemSize);
  if (link->pPrev != nullptr)
    link->pPrev->pNext = link->pNext;
  else
    list->pFirst = link->pNext;
  if (link->pNext != nullptr)
    link->pNext->pPrev = link->pPrev;
  else
    list->pLast = link->pPrev;
}

// The link holding the item, null when there is none.
ListLink* FindLink(const ListRec* list, const void* item) {
  for (ListLink* link = list->pFirst; link != nullptr; link = link->pNext)
    if (link->pItem == item) return link;
  return nullptr;
}

bool HoldsLink(const ListRec* list, const ListLink* link) {
  if (link == list->pFirst || link == list->pLast) return true;
  for (const ListLink* l = list->pFirst; l != nullptr; l = l->pNext)
    if (l == link) return true;
  return false;
}

// Unlinks and frees a link; frees its item too when asked, else gives it.
void* ReleaseLink(ListRec* list, ListLink* link, int freeItem) {
  if (link == nullptr) return nullptr;
  Unlink(list, link);
  void* item = link->pItem;
  PutMem(link);
  if (freeItem) {
    PutMem(item);
    return nullptr;
  }
  return item;
}

bool IsEmpty(const ListRec* list) {
  return list == nullptr || list->pFirst == nullptr;
}

}  // namespace

ListRec* ListCreate() {
  return static_cast<ListRec*>(GetMem(sizeof(ListRec)));
}

void* ListPushItem(ListRec* list, const void* src, int size) {
  if (list == nullptr || size <= 0) return nullptr;
  auto* link = static_cast<ListLink*>(GetMem(sizeof(ListLink)));
  if (link == nullptr) return nullptr;
  void* item = GetMem(size);
  if (item == nullptr) {
    PutMem(link);
    return nullptr;
  }
  if (src != nullptr) memcpy(item, src, static_cast<size_t>(size));
  link->pItem = item;
  link->ItemSize = size;
  LinkIn(list, link);
  return item;
}

void ListPushLink(ListRec* list, ListLink* link) {
  if (list == nullptr || link == nullptr) return;
  // Linking a link in twice would make it its own neighbour and the list
  // endless.
  if (!IsEmpty(list) && HoldsLink(list, link)) return;
  LinkIn(list, link);
}

void ListPopLink(ListRec* list, ListLink* link) {
  if (IsEmpty(list)) return;
  if (link == nullptr)
    link = list->pFirst;
  else if (!HoldsLink(list, link))
    return;  // unlinking a foreign link would corrupt both lists
  Unlink(list, link);
}

void* ListPopItem(ListRec* list, void* item, int freeItem) {
  if (IsEmpty(list)) return nullptr;
  ListLink* link = item == nullptr ? list->pFirst : FindLink(list, item);
  return ReleaseLink(list, link, freeItem);
}

void* ListPopFirstItem(ListRec* list, int freeItem) {
  if (IsEmpty(list)) return nullptr;
  return ReleaseLink(list, list->pFirst, freeItem);
}

void* ListPopLastItem(ListRec* list, int freeItem) {
  if (IsEmpty(list)) return nullptr;
  return ReleaseLink(list, list->pLast, freeItem);
}

void* ListFindItemN(ListRec* list, int n) {
  if (IsEmpty(list) || n <= 0) return nullptr;
  ListLink* link = list->pFirst;
  for (int i = 1; i < n && link != nullptr; i++) link = link->pNext;
  return link != nullptr ? link->pItem : nullptr;
}

int ListGetItemPos(ListRec* list, const void* item) {
  if (list == nullptr) return 0;
  int pos = 1;
  for (ListLink* link = list->pFirst; link != nullptr; link = link->pNext, pos++)
    if (link->pItem == item) return pos;
  return 0;
}

void ListMoveItem(void* item, ListRec* from, ListRec* to) {
  if (IsEmpty(from) || to == nullptr) return;
  ListLink* link = FindLink(from, item);
  if (link == nullptr) return;
  Unlink(from, link);
  LinkIn(to, link);
}

void ListCopy(ListRec* source, ListRec* dest) {
  if (IsEmpty(source) || dest == nullptr) return;
  // Copy as many links as the source holds now: when the source is also the
  // destination, the copies must not be copied again.
  int remaining = source->Count;
  for (ListLink* link = source->pFirst; link != nullptr && remaining > 0;
       link = link->pNext, remaining--)
    ListPushItem(dest, link->pItem, link->ItemSize);
}

void ListDelAllItems(ListRec* list) {
  if (list == nullptr) return;
  while (list->pFirst != nullptr) ReleaseLink(list, list->pFirst, 1);
}

void ListDel(ListRec* list) {
  if (list == nullptr) return;
  ListDelAllItems(list);
  PutMem(list);
}

void* ListWalk(ListRec* list, int cont) {
  if (list == nullptr) return nullptr;
  if (!cont) {
    list->pWalk = list->pFirst;
    list->flWalkBackward = false;
  }
  ListLink* link = list->pWalk;
  if (link == nullptr) return nullptr;
  list->pWalk = link->pNext;
  return link->pItem;
}

void* ListWalkBackward(ListRec* list, int cont) {
  if (list == nullptr) return nullptr;
  if (!cont) {
    list->pWalk = list->pLast;
    list->flWalkBackward = true;
  }
  ListLink* link = list->pWalk;
  if (link == nullptr) return nullptr;
  list->pWalk = link->pPrev;
  return link->pItem;
}

void ListDump(ListRec* list) {
  if (list == nullptr) return;
  int pos = 1;
  for (ListLink* link = list->pFirst; link != nullptr; link = link->pNext, pos++) {
    // Items shorter than four bytes contribute what they have; reading four
    // would run past them.
    int32_t value = 0;
    if (link->pItem != nullptr && link->ItemSize > 0) {
      size_t n = link->ItemSize < 4 ? static_cast<size_t>(link->ItemSize) : 4;
      memcpy(&value, link->pItem, n);
    }
    printf("%3i) %li\n", pos, static_cast<long>(value));
  }
}
