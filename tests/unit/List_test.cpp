// Doubly linked lists: growth and walks, finding and popping, moving and
// copying, raw links, the walk cursor under removal, and the dump format.
#include "List.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "MemMgr.h"

namespace {

// The first character of every item, front to back (or back to front).
std::string Walk(ListRec* list, bool backward = false) {
  auto step = backward ? ListWalkBackward : ListWalk;
  std::string s;
  for (void* p = step(list, 0); p != nullptr; p = step(list, 1)) s += *static_cast<char*>(p);
  return s;
}

// The links agree with the record: ends, back links, Count and Size.
void ExpectSound(const ListRec* list) {
  int count = 0;
  unsigned int size = 0;
  const ListLink* prev = nullptr;
  for (const ListLink* l = list->pFirst; l != nullptr && count <= list->Count; l = l->pNext) {
    EXPECT_EQ(l->pPrev, prev) << "at link " << count + 1;
    prev = l;
    count++;
    size += static_cast<unsigned int>(l->ItemSize);
  }
  EXPECT_EQ(list->pLast, prev);
  EXPECT_EQ(list->Count, count);
  EXPECT_EQ(list->Size, size);
}

char At(ListRec* list, int n) { return *static_cast<char*>(ListFindItemN(list, n)); }

class ListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    list = ListCreate();
    other = ListCreate();
    ASSERT_NE(list, nullptr);
    ASSERT_NE(other, nullptr);
  }
  void TearDown() override {
    ListDel(list);
    ListDel(other);
  }
  // One two-byte item (the character and a NUL) per character.
  static void Push(ListRec* l, const char* chars) {
    for (const char* c = chars; *c; c++) {
      const char item[2] = {*c, '\0'};
      ASSERT_NE(ListPushItem(l, item, 2), nullptr);
    }
  }
  ListRec* list = nullptr;
  ListRec* other = nullptr;
};

TEST_F(ListTest, GrowsAtEndOrFrontAndWalksBothWays) {
  EXPECT_EQ(Walk(list), "");
  EXPECT_EQ(Walk(list, true), "");
  Push(list, "abc");
  EXPECT_EQ(Walk(list), "abc");
  EXPECT_EQ(Walk(list, true), "cba");
  ExpectSound(list);

  other->flPushFront = true;
  Push(other, "abc");
  EXPECT_EQ(Walk(other), "cba");
  other->flPushFront = false;  // the flag decides each push on its own
  Push(other, "d");
  EXPECT_EQ(Walk(other), "cbad");
  ExpectSound(other);
}

TEST_F(ListTest, PushCopiesTheSourceOrZeroFillsAndRefusesBadSizes) {
  char src[] = "xyz";
  char* item = static_cast<char*>(ListPushItem(list, src, 4));
  ASSERT_NE(item, nullptr);
  src[0] = 'q';
  EXPECT_STREQ(item, "xyz");

  auto* zeros = static_cast<unsigned char*>(ListPushItem(list, nullptr, 8));
  ASSERT_NE(zeros, nullptr);
  for (int i = 0; i < 8; i++) EXPECT_EQ(zeros[i], 0) << i;
  EXPECT_EQ(list->pLast->ItemSize, 8);

  EXPECT_EQ(ListPushItem(nullptr, "a", 1), nullptr);
  EXPECT_EQ(ListPushItem(list, "a", 0), nullptr);
  EXPECT_EQ(ListPushItem(list, "a", -1), nullptr);
  EXPECT_EQ(list->Count, 2);
  EXPECT_EQ(list->Size, 12u);
}

TEST_F(ListTest, FindsByPositionAndPositionByAddress) {
  Push(list, "abc");
  EXPECT_EQ(At(list, 2), 'b');
  EXPECT_EQ(ListFindItemN(list, 4), nullptr);
  EXPECT_EQ(ListFindItemN(list, 0), nullptr);
  EXPECT_EQ(ListFindItemN(list, -1), nullptr);
  EXPECT_EQ(ListFindItemN(nullptr, 1), nullptr);

  void* b = ListFindItemN(list, 2);
  EXPECT_EQ(ListGetItemPos(list, b), 2);
  EXPECT_EQ(ListGetItemPos(list, "b"), 0);  // equal contents is not the item
  EXPECT_EQ(ListGetItemPos(other, b), 0);
  EXPECT_EQ(ListGetItemPos(nullptr, b), 0);
}

TEST_F(ListTest, PopFromTheMiddleRelinksNeighbours) {
  Push(list, "abc");
  void* b = ListFindItemN(list, 2);
  void* got = ListPopItem(list, b, 0);
  EXPECT_EQ(got, b);
  EXPECT_STREQ(static_cast<char*>(got), "b");  // kept for the caller
  PutMem(got);
  EXPECT_EQ(Walk(list), "ac");
  EXPECT_EQ(Walk(list, true), "ca");
  EXPECT_EQ(list->Size, 4u);
  ExpectSound(list);
}

TEST_F(ListTest, PopsAtTheEndsAndOfNothing) {
  EXPECT_EQ(ListPopItem(list, nullptr, 0), nullptr);
  EXPECT_EQ(ListPopLastItem(list, 0), nullptr);
  EXPECT_EQ(ListPopFirstItem(nullptr, 0), nullptr);

  Push(list, "abcd");
  Push(other, "x");
  EXPECT_EQ(ListPopItem(list, other->pFirst->pItem, 1), nullptr);  // not held
  EXPECT_EQ(ListPopItem(list, nullptr, 1), nullptr);  // null item: the first
  char* last = static_cast<char*>(ListPopLastItem(list, 0));
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(*last, 'd');
  PutMem(last);
  EXPECT_EQ(ListPopFirstItem(list, 1), nullptr);
  EXPECT_EQ(Walk(list), "c");
  EXPECT_EQ(Walk(other), "x");
  ExpectSound(list);

  ListPopFirstItem(list, 1);
  EXPECT_EQ(list->pFirst, nullptr);
  EXPECT_EQ(list->pLast, nullptr);
  EXPECT_EQ(list->Size, 0u);
  ExpectSound(list);
}

TEST_F(ListTest, CopyDuplicatesEveryItemInOrder) {
  Push(list, "abc");
  ListCopy(list, other);
  EXPECT_EQ(Walk(other), "abc");
  EXPECT_EQ(other->Size, list->Size);
  for (int n = 1; n <= 3; n++) EXPECT_NE(ListFindItemN(list, n), ListFindItemN(other, n));
  ExpectSound(other);

  // Onto itself, each item is copied once (never the copies again).
  ListCopy(list, list);
  EXPECT_EQ(Walk(list), "abcabc");
  list->flPushFront = true;
  ListCopy(list, list);
  EXPECT_EQ(Walk(list), "cbacbaabcabc");
  ExpectSound(list);
}

TEST_F(ListTest, MoveRelinksTheSameItem) {
  Push(list, "abc");
  Push(other, "x");
  void* b = ListFindItemN(list, 2);
  ListMoveItem(b, list, other);
  EXPECT_EQ(Walk(list), "ac");
  EXPECT_EQ(Walk(other), "xb");
  EXPECT_EQ(ListFindItemN(other, 2), b);
  EXPECT_EQ(other->Size, 4u);
  ExpectSound(list);
  ExpectSound(other);

  // Absent items and null lists change nothing.
  ListMoveItem(b, list, other);
  ListMoveItem(ListFindItemN(list, 1), nullptr, other);
  ListMoveItem(ListFindItemN(list, 1), list, nullptr);
  EXPECT_EQ(Walk(list), "ac");
  EXPECT_EQ(Walk(other), "xb");
}

TEST_F(ListTest, MoveWithinOneListGoesToTheGrowingEnd) {
  Push(list, "abc");
  ListMoveItem(ListFindItemN(list, 1), list, list);
  EXPECT_EQ(Walk(list), "bca");
  ListMoveItem(ListFindItemN(list, 3), list, list);
  EXPECT_EQ(Walk(list), "bca");
  list->flPushFront = true;
  ListMoveItem(ListFindItemN(list, 3), list, list);
  EXPECT_EQ(Walk(list), "abc");
  ExpectSound(list);

  Push(other, "z");
  ListMoveItem(other->pFirst->pItem, other, other);
  EXPECT_EQ(Walk(other), "z");
  ExpectSound(other);
}

TEST_F(ListTest, RawLinksPopWithoutFreeingAndPushElsewhere) {
  Push(list, "abc");
  ListLink* a = list->pFirst;
  ListLink* b = a->pNext;
  ListPopLink(list, b);
  EXPECT_EQ(Walk(list), "ac");
  EXPECT_EQ(b->pPrev, a);  // the popped link keeps its old neighbours
  EXPECT_EQ(b->pNext, list->pLast);
  ListPushLink(other, b);
  EXPECT_EQ(Walk(other), "b");
  EXPECT_EQ(other->Size, 2u);

  ListPopLink(list, nullptr);  // null: the first
  ListPushLink(list, a);
  EXPECT_EQ(Walk(list), "ca");
  ExpectSound(list);
  ExpectSound(other);
}

TEST_F(ListTest, LinksAreNeitherPushedTwiceNorPoppedFromTheWrongList) {
  Push(list, "abc");
  Push(other, "xy");
  ListPushLink(list, list->pLast);
  ListPushLink(list, list->pFirst->pNext);
  ListPopLink(list, other->pFirst);
  ListPopLink(list, other->pLast);
  EXPECT_EQ(Walk(list), "abc");
  EXPECT_EQ(Walk(other), "xy");
  ExpectSound(list);
  ExpectSound(other);
}

TEST_F(ListTest, WalkCursorSurvivesRemovalUnderIt) {
  Push(list, "abcd");
  EXPECT_EQ(*static_cast<char*>(ListWalk(list, 0)), 'a');
  // The cursor rests on 'b'; removing it continues the walk with 'c'.
  ListPopItem(list, ListFindItemN(list, 2), 1);
  EXPECT_EQ(*static_cast<char*>(ListWalk(list, 1)), 'c');
  // Removing the item just given does not disturb the walk.
  ListPopItem(list, ListFindItemN(list, 2), 1);
  EXPECT_EQ(*static_cast<char*>(ListWalk(list, 1)), 'd');
  EXPECT_EQ(ListWalk(list, 1), nullptr);

  Push(list, "ef");  // now "adef"
  ListWalk(list, 0);
  ListMoveItem(ListFindItemN(list, 2), list, other);
  EXPECT_EQ(*static_cast<char*>(ListWalk(list, 1)), 'e');

  // Walking backwards, the cursor moves on towards the first item.
  Push(list, "gh");  // now "aefgh"
  EXPECT_EQ(*static_cast<char*>(ListWalkBackward(list, 0)), 'h');
  ListPopItem(list, ListFindItemN(list, 4), 1);  // 'g', under the cursor
  EXPECT_EQ(*static_cast<char*>(ListWalkBackward(list, 1)), 'f');
  EXPECT_EQ(Walk(list), "aefh");

  ListWalk(list, 0);
  ListDelAllItems(list);
  EXPECT_EQ(ListWalk(list, 1), nullptr);
  ExpectSound(list);
  Push(list, "z");  // an emptied list is usable again
  EXPECT_EQ(Walk(list), "z");
}

std::string Dump(ListRec* list) {
  testing::internal::CaptureStdout();
  ListDump(list);
  return testing::internal::GetCapturedStdout();
}

TEST_F(ListTest, DumpPrintsPositionAndLeadingNumber) {
  EXPECT_EQ(Dump(list), "");
  int32_t seven = 7, eight = 8;
  ListPushItem(list, &seven, 4);
  ListPushItem(list, &eight, 4);
  EXPECT_EQ(Dump(list), "  1) 7\n  2) 8\n");

  // Only the first four bytes count, signed; short items give what they hold.
  struct { int32_t v, rest; } rec = {-123456, 99};
  ListPushItem(list, &rec, sizeof rec);
  uint16_t two = 0x0102;
  ListPushItem(list, &two, 2);
  EXPECT_EQ(Dump(list), "  1) 7\n  2) 8\n  3) -123456\n  4) 258\n");

  for (int i = 0; i < 96; i++) ListPushItem(list, &seven, 4);
  EXPECT_NE(Dump(list).find("\n 99) 7\n100) 7\n"), std::string::npos);
}

}  // namespace
