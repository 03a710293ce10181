// Doubly linked lists: order of growth and walks, finding, popping, moving,
// copying, raw links, the walk cursor under removal, and the dump format.
#include "List.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "MemMgr.h"

namespace {

// The first character of every item, front to back with ListWalk.
std::string Forward(ListRec* list) {
  std::string s;
  for (void* p = ListWalk(list, 0); p != nullptr; p = ListWalk(list, 1))
    s += *static_cast<char*>(p);
  return s;
}

std::string Backward(ListRec* list) {
  std::string s;
  for (void* p = ListWalkBackward(list, 0); p != nullptr; p = ListWalkBackward(list, 1))
    s += *static_cast<char*>(p);
  return s;
}

// Checks that the links agree with the record: ends, back links, Count, Size.
void ExpectSound(const ListRec* list) {
  int count = 0;
  unsigned int size = 0;
  const ListLink* prev = nullptr;
  for (const ListLink* l = list->pFirst; l != nullptr && count <= list->Count;
       l = l->pNext) {
    EXPECT_EQ(l->pPrev, prev) << "at link " << count + 1;
    prev = l;
    count++;
    size += static_cast<unsigned int>(l->ItemSize);
  }
  EXPECT_EQ(list->pLast, prev);
  EXPECT_EQ(list->Count, count);
  EXPECT_EQ(list->Size, size);
}

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
  // Pushes one item per character; each item is two bytes (char and NUL).
  void Push(ListRec* l, const char* chars) {
    for (const char* c = chars; *c; c++) {
      const char item[2] = {*c, '\0'};
      ASSERT_NE(ListPushItem(l, item, 2), nullptr);
    }
  }
  ListRec* list = nullptr;
  ListRec* other = nullptr;
};

TEST_F(ListTest, NewListIsEmpty) {
  EXPECT_EQ(list->pFirst, nullptr);
  EXPECT_EQ(list->pLast, nullptr);
  EXPECT_EQ(list->Count, 0);
  EXPECT_EQ(list->Size, 0u);
  EXPECT_FALSE(list->flPushFront);
  EXPECT_EQ(ListWalk(list, 0), nullptr);
  EXPECT_EQ(ListWalkBackward(list, 0), nullptr);
}

TEST_F(ListTest, GrowsAtEndOrFrontAndWalksBothWays) {
  Push(list, "abc");
  EXPECT_EQ(Forward(list), "abc");
  EXPECT_EQ(Backward(list), "cba");
  ExpectSound(list);

  other->flPushFront = true;
  Push(other, "abc");
  EXPECT_EQ(Forward(other), "cba");
  EXPECT_EQ(Backward(other), "abc");
  // The flag decides each push on its own.
  other->flPushFront = false;
  Push(other, "d");
  EXPECT_EQ(Forward(other), "cbad");
  ExpectSound(other);
}

TEST_F(ListTest, PushCopiesTheSourceOrZeroFills) {
  char src[] = "xyz";
  char* item = static_cast<char*>(ListPushItem(list, src, 4));
  ASSERT_NE(item, nullptr);
  EXPECT_NE(item, src);
  src[0] = 'q';
  EXPECT_STREQ(item, "xyz");

  unsigned char* zeros = static_cast<unsigned char*>(ListPushItem(list, nullptr, 8));
  ASSERT_NE(zeros, nullptr);
  for (int i = 0; i < 8; i++) EXPECT_EQ(zeros[i], 0) << i;
  EXPECT_EQ(list->pLast->ItemSize, 8);
  EXPECT_EQ(list->Size, 12u);
  ExpectSound(list);
}

TEST_F(ListTest, PushRefusesNullListAndSizesBelowOne) {
  EXPECT_EQ(ListPushItem(nullptr, "a", 1), nullptr);
  EXPECT_EQ(ListPushItem(list, "a", 0), nullptr);
  EXPECT_EQ(ListPushItem(list, "a", -1), nullptr);
  EXPECT_EQ(ListPushItem(list, nullptr, -100), nullptr);
  EXPECT_EQ(list->Count, 0);
  EXPECT_EQ(list->Size, 0u);
}

TEST_F(ListTest, FindsByPositionAndPositionByAddress) {
  Push(list, "abc");
  EXPECT_STREQ(static_cast<char*>(ListFindItemN(list, 2)), "b");
  EXPECT_STREQ(static_cast<char*>(ListFindItemN(list, 3)), "c");
  EXPECT_EQ(ListFindItemN(list, 4), nullptr);
  EXPECT_EQ(ListFindItemN(list, 0), nullptr);
  EXPECT_EQ(ListFindItemN(list, -1), nullptr);
  EXPECT_EQ(ListFindItemN(other, 1), nullptr);
  EXPECT_EQ(ListFindItemN(nullptr, 1), nullptr);

  void* b = ListFindItemN(list, 2);
  EXPECT_EQ(ListGetItemPos(list, b), 2);
  // Equal contents elsewhere is not the item.
  EXPECT_EQ(ListGetItemPos(list, "b"), 0);
  EXPECT_EQ(ListGetItemPos(other, b), 0);
  EXPECT_EQ(ListGetItemPos(nullptr, b), 0);
}

TEST_F(ListTest, PopFromTheMiddleRelinksNeighbours) {
  Push(list, "abc");
  unsigned int before = list->Size;
  void* b = ListFindItemN(list, 2);
  void* got = ListPopItem(list, b, 0);
  EXPECT_EQ(got, b);
  EXPECT_STREQ(static_cast<char*>(got), "b");  // still the caller's now
  PutMem(got);
  EXPECT_EQ(Forward(list), "ac");
  EXPECT_EQ(Backward(list), "ca");
  EXPECT_EQ(list->Count, 2);
  EXPECT_EQ(list->Size, before - 2);
  ExpectSound(list);
}

TEST_F(ListTest, PopsAtTheEnds) {
  Push(list, "abcd");
  EXPECT_EQ(ListPopItem(list, nullptr, 1), nullptr);  // null item: the first
  EXPECT_EQ(Forward(list), "bcd");
  char* last = static_cast<char*>(ListPopLastItem(list, 0));
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(*last, 'd');
  PutMem(last);
  char* first = static_cast<char*>(ListPopFirstItem(list, 0));
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(*first, 'b');
  PutMem(first);
  EXPECT_EQ(Forward(list), "c");
  ExpectSound(list);

  EXPECT_EQ(ListPopFirstItem(list, 1), nullptr);
  EXPECT_EQ(list->pFirst, nullptr);
  EXPECT_EQ(list->pLast, nullptr);
  EXPECT_EQ(list->Count, 0);
  EXPECT_EQ(list->Size, 0u);
}

TEST_F(ListTest, PopsOfNothingChangeNothing) {
  EXPECT_EQ(ListPopItem(list, nullptr, 0), nullptr);
  EXPECT_EQ(ListPopFirstItem(list, 0), nullptr);
  EXPECT_EQ(ListPopLastItem(list, 0), nullptr);
  EXPECT_EQ(ListPopItem(nullptr, nullptr, 1), nullptr);
  EXPECT_EQ(ListPopFirstItem(nullptr, 1), nullptr);
  EXPECT_EQ(ListPopLastItem(nullptr, 1), nullptr);

  Push(list, "ab");
  Push(other, "x");
  EXPECT_EQ(ListPopItem(list, other->pFirst->pItem, 1), nullptr);
  EXPECT_EQ(Forward(list), "ab");
  EXPECT_EQ(Forward(other), "x");
  ExpectSound(list);
}

TEST_F(ListTest, CopyDuplicatesEveryItemInOrder) {
  Push(list, "abc");
  ListCopy(list, other);
  EXPECT_EQ(Forward(other), "abc");
  EXPECT_EQ(other->Size, list->Size);
  for (int n = 1; n <= 3; n++) {
    void* a = ListFindItemN(list, n);
    void* b = ListFindItemN(other, n);
    EXPECT_NE(a, b);
    EXPECT_EQ(memcmp(a, b, 2), 0);
  }
  ExpectSound(other);

  ListCopy(other, nullptr);
  ListCopy(nullptr, other);
  EXPECT_EQ(other->Count, 3);
}

TEST_F(ListTest, CopyOntoItselfCopiesEachItemOnce) {
  Push(list, "abc");
  ListCopy(list, list);
  EXPECT_EQ(Forward(list), "abcabc");
  ExpectSound(list);

  list->flPushFront = true;
  ListCopy(list, list);
  EXPECT_EQ(Forward(list), "cbacbaabcabc");
  ExpectSound(list);
}

TEST_F(ListTest, MoveRelinksTheSameItem) {
  Push(list, "abc");
  Push(other, "x");
  void* b = ListFindItemN(list, 2);
  ListMoveItem(b, list, other);
  EXPECT_EQ(Forward(list), "ac");
  EXPECT_EQ(Forward(other), "xb");
  EXPECT_EQ(ListFindItemN(other, 2), b);
  EXPECT_EQ(list->Size, 4u);
  EXPECT_EQ(other->Size, 4u);
  ExpectSound(list);
  ExpectSound(other);

  other->flPushFront = true;
  ListMoveItem(ListFindItemN(list, 2), list, other);
  EXPECT_EQ(Forward(other), "cxb");
  ExpectSound(list);
  ExpectSound(other);
}

TEST_F(ListTest, MoveWithinOneListGoesToTheGrowingEnd) {
  Push(list, "abc");
  ListMoveItem(ListFindItemN(list, 1), list, list);
  EXPECT_EQ(Forward(list), "bca");
  ListMoveItem(ListFindItemN(list, 3), list, list);  // last onto itself
  EXPECT_EQ(Forward(list), "bca");
  ExpectSound(list);

  Push(other, "z");
  ListMoveItem(other->pFirst->pItem, other, other);  // the only item
  EXPECT_EQ(Forward(other), "z");
  ExpectSound(other);
}

TEST_F(ListTest, MoveOfAnAbsentItemChangesNothing) {
  Push(list, "ab");
  Push(other, "x");
  ListMoveItem(other->pFirst->pItem, list, other);
  ListMoveItem(ListFindItemN(list, 1), nullptr, other);
  ListMoveItem(ListFindItemN(list, 1), list, nullptr);
  EXPECT_EQ(Forward(list), "ab");
  EXPECT_EQ(Forward(other), "x");
}

TEST_F(ListTest, RawLinksPopWithoutFreeingAndPushElsewhere) {
  Push(list, "abc");
  ListLink* b = list->pFirst->pNext;
  ListLink* a = list->pFirst;
  ListLink* c = list->pLast;
  ListPopLink(list, b);
  EXPECT_EQ(Forward(list), "ac");
  EXPECT_EQ(b->pPrev, a);  // the popped link keeps its old neighbours
  EXPECT_EQ(b->pNext, c);
  EXPECT_STREQ(static_cast<char*>(b->pItem), "b");
  ListPushLink(other, b);
  EXPECT_EQ(Forward(other), "b");
  EXPECT_EQ(other->Size, 2u);
  ExpectSound(list);
  ExpectSound(other);

  ListPopLink(list, nullptr);  // null: the first
  EXPECT_EQ(Forward(list), "c");
  ListPushLink(list, a);
  EXPECT_EQ(Forward(list), "ca");
  ExpectSound(list);
}

TEST_F(ListTest, LinksAreNeitherPushedTwiceNorPoppedFromTheWrongList) {
  Push(list, "abc");
  Push(other, "xy");
  ListPushLink(list, list->pLast);
  ListPushLink(list, list->pFirst->pNext);
  EXPECT_EQ(Forward(list), "abc");
  ExpectSound(list);

  ListPopLink(list, other->pFirst);
  ListPopLink(list, other->pLast);
  EXPECT_EQ(Forward(list), "abc");
  EXPECT_EQ(Forward(other), "xy");
  ExpectSound(list);
  ExpectSound(other);

  ListPushLink(nullptr, list->pFirst);
  ListPushLink(list, nullptr);
  ListPopLink(nullptr, nullptr);
  EXPECT_EQ(list->Count, 3);
}

TEST_F(ListTest, WalkCursorSurvivesRemovalUnderIt) {
  Push(list, "abcd");
  EXPECT_EQ(*static_cast<char*>(ListWalk(list, 0)), 'a');
  // The cursor now rests on 'b'; removing it continues the walk with 'c'.
  ListPopItem(list, ListFindItemN(list, 2), 1);
  EXPECT_EQ(*static_cast<char*>(ListWalk(list, 1)), 'c');
  // Removing the item just given does not disturb the walk.
  ListPopItem(list, ListFindItemN(list, 2), 1);
  EXPECT_EQ(*static_cast<char*>(ListWalk(list, 1)), 'd');
  EXPECT_EQ(ListWalk(list, 1), nullptr);

  Push(list, "ef");
  ListWalk(list, 0);  // cursor on the second link
  ListMoveItem(ListFindItemN(list, 2), list, other);
  EXPECT_EQ(*static_cast<char*>(ListWalk(list, 1)), 'e');
  EXPECT_EQ(list->pWalk, list->pLast);
  EXPECT_EQ(Forward(other), "d");
}

TEST_F(ListTest, DeletingAllItemsEndsTheWalk) {
  Push(list, "abc");
  ListWalk(list, 0);
  ListDelAllItems(list);
  EXPECT_EQ(list->pWalk, nullptr);
  EXPECT_EQ(ListWalk(list, 1), nullptr);
  EXPECT_EQ(list->pFirst, nullptr);
  EXPECT_EQ(list->pLast, nullptr);
  EXPECT_EQ(list->Count, 0);
  EXPECT_EQ(list->Size, 0u);

  // The emptied list is usable again.
  Push(list, "z");
  EXPECT_EQ(Forward(list), "z");
  ListDelAllItems(nullptr);
  ListDel(nullptr);
}

TEST_F(ListTest, WalkPositionCanBeSavedAndRestored) {
  Push(list, "abcde");
  ListWalk(list, 0);
  ListWalk(list, 1);
  ListLink* saved = list->pWalk;
  EXPECT_EQ(*static_cast<char*>(ListWalk(list, 1)), 'c');
  EXPECT_EQ(*static_cast<char*>(ListWalk(list, 1)), 'd');
  list->pWalk = saved;
  EXPECT_EQ(*static_cast<char*>(ListWalk(list, 1)), 'c');
  EXPECT_EQ(*static_cast<char*>(ListWalkBackward(list, 1)), 'd');
  EXPECT_EQ(*static_cast<char*>(ListWalkBackward(list, 1)), 'c');
  EXPECT_EQ(ListWalk(nullptr, 0), nullptr);
  EXPECT_EQ(ListWalkBackward(nullptr, 1), nullptr);
}

std::string Dump(ListRec* list) {
  testing::internal::CaptureStdout();
  ListDump(list);
  return testing::internal::GetCapturedStdout();
}

TEST_F(ListTest, DumpPrintsPositionAndLeadingNumber) {
  int32_t seven = 7, eight = 8, minus = -123456;
  ListPushItem(list, &seven, 4);
  ListPushItem(list, &eight, sizeof eight);
  EXPECT_EQ(Dump(list), "  1) 7\n  2) 8\n");

  // Only the first four bytes count; the sign is kept.
  struct { int32_t v; int32_t rest; } rec = {minus, 99};
  ListPushItem(list, &rec, sizeof rec);
  EXPECT_EQ(Dump(list), "  1) 7\n  2) 8\n  3) -123456\n");

  EXPECT_EQ(Dump(other), "");
  EXPECT_EQ(Dump(nullptr), "");
}

TEST_F(ListTest, DumpReadsNoFurtherThanShortItems) {
  ListPushItem(list, "A", 1);
  uint16_t two = 0x0102;
  ListPushItem(list, &two, 2);
  EXPECT_EQ(Dump(list), "  1) 65\n  2) 258\n");
}

TEST_F(ListTest, DumpWidensPositionsBeyondThreeDigits) {
  int32_t v = 0;
  for (int i = 0; i < 1000; i++) ListPushItem(list, &v, 4);
  std::string out = Dump(list);
  EXPECT_NE(out.find("\n 99) 0\n100) 0\n"), std::string::npos);
  EXPECT_EQ(out.substr(out.size() - 8), "1000) 0\n");
}

}  // namespace
