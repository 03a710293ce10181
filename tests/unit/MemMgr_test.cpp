// Block memory manager: placement, release, resizing, the dump and the
// region fallbacks.
#include "MemMgr.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <string>
#include <vector>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#if __has_include(<valgrind/valgrind.h>)
#include <valgrind/valgrind.h>
#define TEST_UNDER_VALGRIND RUNNING_ON_VALGRIND
#else
#define TEST_UNDER_VALGRIND 0
#endif

#if defined(__SANITIZE_ADDRESS__)
#define TEST_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TEST_UNDER_ASAN 1
#endif
#endif

namespace {

char* Get(int size)
{
    return static_cast<char*>(GetMem(size));
}

int Position(const void* p)
{
    const MemBlock* b = FindBlock(p);
    return static_cast<int>((static_cast<const char*>(p) - b->pMemory) / MEM_NODE_SIZE);
}

int ChainLength()
{
    int n = 0;
    for (MemBlock* b = pMemB; b; b = b->pNext)
        ++n;
    return n;
}

bool AllZero(const char* p, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        if (p[i] != 0)
            return false;
    return true;
}

// Every test starts and must end with an empty chain: freeing all that a
// test took releases every block.
class MemMgr : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(pMemB, nullptr); }
    void TearDown() override { EXPECT_EQ(pMemB, nullptr) << "a block outlived its allocations"; }
};

TEST_F(MemMgr, RequestsAreRoundedToNodesWithRoomForATerminator)
{
    EXPECT_EQ(GetMem(0), nullptr);
    EXPECT_EQ(GetMem(-5), nullptr);
    EXPECT_EQ(pMemB, nullptr);

    char* one = Get(1);
    char* thirtyOne = Get(31);
    char* thirtyTwo = Get(32);
    char* after = Get(1);
    EXPECT_EQ(Position(one), 0);
    EXPECT_EQ(Position(thirtyOne), 1);
    EXPECT_EQ(Position(thirtyTwo), 2);
    EXPECT_EQ(Position(after), 4);  // 32 bytes and a terminator take two nodes
    EXPECT_EQ(pMemB->Node[2].Nodes, 2);
    EXPECT_EQ(pMemB->FreeNodeCount, MEM_BLOCK_NODES - 5);

    // The asked size and one byte more are usable (a sanitizer build
    // catches any write past the nodes).
    std::memset(thirtyOne, 'x', 32);
    std::memset(thirtyTwo, 'y', 33);
    EXPECT_EQ(after[0], 0);
    for (char* p : {one, thirtyOne, thirtyTwo, after})
        PutMem(p);
}

TEST_F(MemMgr, FirstFitTakesTheLowestFreePosition)
{
    char* a = Get(1);
    char* b = Get(1);
    char* c = Get(1);
    EXPECT_EQ(Position(a), 0);
    EXPECT_EQ(Position(b), 1);
    EXPECT_EQ(Position(c), 2);
    EXPECT_EQ(std::string(pMemB->MAT, 4), "UUU ");

    PutMem(b);
    EXPECT_EQ(std::string(pMemB->MAT, 4), "U U ");
    EXPECT_EQ(pMemB->Node[1].Nodes, 0);
    EXPECT_EQ(pMemB->Node[1].pAddr, nullptr);
    char* again = Get(1);
    EXPECT_EQ(again, b);

    // A two-node request skips the one-node hole and lands after c.
    PutMem(again);
    char* two = Get(40);
    EXPECT_EQ(Position(two), 3);
    for (char* p : {a, c, two})
        PutMem(p);
}

// Free runs in a full block: runs inside a 64-node stretch of the table,
// runs across the border of two stretches, and what is left of a run that
// was taken in part.  Each request lands on the lowest run that holds it.
TEST_F(MemMgr, FirstFitFindsRunsAcrossStretchesAndInWhatIsLeft)
{
    std::vector<char*> one(MEM_BLOCK_NODES);
    for (int i = 0; i < MEM_BLOCK_NODES; ++i)
        one[static_cast<size_t>(i)] = Get(1);
    ASSERT_EQ(ChainLength(), 1);
    auto release = [&one](int from, int count) {
        for (int i = from; i < from + count; ++i) {
            PutMem(one[static_cast<size_t>(i)]);
            one[static_cast<size_t>(i)] = nullptr;
        }
    };
    release(10, 2);   // two nodes inside the first stretch
    release(63, 2);   // two nodes across the first border
    release(100, 5);  // five inside the second stretch
    release(190, 4);  // four across the third border
    char* first = Get(40);
    char* across = Get(40);
    char* partOfFive = Get(40);
    char* restOfFive = Get(60);
    char* fourAcross = Get(100);
    EXPECT_EQ(Position(first), 10);
    EXPECT_EQ(Position(across), 63);
    EXPECT_EQ(Position(partOfFive), 100);
    EXPECT_EQ(Position(restOfFive), 102);
    EXPECT_EQ(Position(fourAcross), 190);
    EXPECT_EQ(ChainLength(), 1);
    for (char* p : {first, across, partOfFive, restOfFive, fourAcross})
        PutMem(p);
    for (char* p : one)
        PutMem(p);
}

TEST_F(MemMgr, MemoryIsZeroFilledAlsoWhereFreedDataWas)
{
    char* p = Get(100);
    std::memset(p, 0x5a, 101);
    PutMem(p);
    ASSERT_EQ(pMemB, nullptr);

    char* keep = Get(1);
    char* q = Get(100);
    std::memset(q, 0x5a, 101);
    PutMem(q);
    char* r = Get(100);
    ASSERT_EQ(r, q);
    EXPECT_TRUE(AllZero(r, 128));
    PutMem(r);
    PutMem(keep);
}

TEST_F(MemMgr, FullBlockRequestGetsAFreshSharedBlock)
{
    char* small = Get(1);
    char* whole = Get(65535);
    ASSERT_EQ(ChainLength(), 2);
    MemBlock* second = pMemB->pNext;
    EXPECT_EQ(FindBlock(whole), second);
    EXPECT_EQ(whole, second->pMemory);
    EXPECT_EQ(second->Size, MEM_BLOCK_SIZE);
    EXPECT_EQ(second->FreeNodeCount, 0);
    EXPECT_EQ(second->Node[0].Nodes, MEM_BLOCK_NODES);
    EXPECT_EQ(second->pPrev, pMemB);

    // Freeing the only allocation of the first block releases it and the
    // second becomes the head.
    PutMem(small);
    EXPECT_EQ(pMemB, second);
    EXPECT_EQ(second->pPrev, nullptr);
    PutMem(whole);
}

TEST_F(MemMgr, LargeRequestGetsADedicatedBlock)
{
    char* big = Get(65536);
    ASSERT_NE(big, nullptr);
    MemBlock* b = FindBlock(big);
    EXPECT_EQ(big, b->pMemory);
    EXPECT_EQ(b->Size, 131072);
    EXPECT_EQ(b->UsedSize, 65568);
    EXPECT_EQ(b->FreeNodeCount, 0);
    EXPECT_EQ(b->Node[0].Nodes, 0);
    EXPECT_TRUE(AllZero(big, 65537));

    // Small requests never go into a dedicated block.
    char* small = Get(1);
    EXPECT_NE(FindBlock(small), b);
    EXPECT_EQ(ChainLength(), 2);

    // Only the start of a dedicated allocation frees it.
    PutMem(big + 4096);
    EXPECT_EQ(FindBlock(big), b);
    PutMem(big);
    EXPECT_EQ(FindBlock(big), nullptr);
    EXPECT_EQ(ChainLength(), 1);
    PutMem(small);
}

TEST_F(MemMgr, PutMemIgnoresWhatItNeverGave)
{
    char* a = Get(100);
    char* b = Get(1);
    std::string mat(pMemB->MAT);
    int freeNodes = pMemB->FreeNodeCount;

    int onStack = 0;
    void* onHeap = std::malloc(16);
    PutMem(nullptr);
    PutMem(&onStack);
    PutMem(onHeap);
    PutMem(a + MEM_NODE_SIZE);  // a later node of an allocation
    PutMem(pMemB->pMemory + 10 * MEM_NODE_SIZE);  // a free node
    std::free(onHeap);
    EXPECT_EQ(std::string(pMemB->MAT), mat);
    EXPECT_EQ(pMemB->FreeNodeCount, freeNodes);

    // An address inside the first node stands for its allocation; a second
    // release of it changes nothing.
    PutMem(a + 5);
    EXPECT_EQ(pMemB->FreeNodeCount, freeNodes + 4);
    PutMem(a);
    EXPECT_EQ(pMemB->FreeNodeCount, freeNodes + 4);
    PutMem(b);
}

TEST_F(MemMgr, FindBlockCoversTheDataRegionOnly)
{
    char* p = Get(1);
    MemBlock* b = pMemB;
    EXPECT_EQ(FindBlock(b->pMemory), b);
    EXPECT_EQ(FindBlock(b->pMemory + b->Size - 1), b);
    EXPECT_EQ(FindBlock(b->pMemory + b->Size), nullptr);
    EXPECT_EQ(FindBlock(b->pMemory - 1), nullptr);
    EXPECT_EQ(FindBlock(nullptr), nullptr);
    // Nor does PutMem of the address one past the end touch the node table.
    PutMem(b->pMemory + b->Size);
    EXPECT_EQ(b->FreeNodeCount, MEM_BLOCK_NODES - 1);
    PutMem(p);
}

TEST_F(MemMgr, AdjustMemEdgeArguments)
{
    char* p = static_cast<char*>(AdjustMem(nullptr, 10));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(Position(p), 0);
    std::strcpy(p, "text");
    EXPECT_EQ(AdjustMem(p, 30), p);  // same node count
    EXPECT_STREQ(p, "text");

    // An address no block holds is not resized: a fresh allocation is made.
    int onStack = 7;
    char* fresh = static_cast<char*>(AdjustMem(&onStack, 10));
    EXPECT_EQ(Position(fresh), 1);
    EXPECT_EQ(onStack, 7);
    // Nor is one of a free node, which carries no allocation.
    char* freeNode = pMemB->pMemory + 20 * MEM_NODE_SIZE;
    char* other = static_cast<char*>(AdjustMem(freeNode, 10));
    EXPECT_EQ(Position(other), 2);
    EXPECT_EQ(pMemB->MAT[20], MAT_FREE);

    EXPECT_EQ(AdjustMem(fresh, 0), nullptr);
    EXPECT_EQ(pMemB->MAT[1], MAT_FREE);
    EXPECT_EQ(AdjustMem(p, -1), nullptr);  // refused, p kept
    EXPECT_STREQ(p, "text");
    PutMem(p);
    PutMem(other);
}

TEST_F(MemMgr, AdjustMemShrinksAndGrowsInPlace)
{
    char* p = Get(200);  // 7 nodes at 0
    std::memset(p, 'a', 200);
    char* next = Get(1);
    ASSERT_EQ(Position(next), 7);

    // Shrink: the tail nodes are cleared and freed for the next request.
    EXPECT_EQ(AdjustMem(p, 40), p);
    EXPECT_EQ(pMemB->Node[0].Nodes, 2);
    EXPECT_EQ(std::string(pMemB->MAT, 8), "UU     U");
    char* hole = Get(1);
    EXPECT_EQ(Position(hole), 2);
    EXPECT_TRUE(AllZero(hole, 32));
    PutMem(hole);

    // Grow forward into the free nodes that follow.
    EXPECT_EQ(AdjustMem(p, 150), p);
    EXPECT_EQ(pMemB->Node[0].Nodes, 5);
    EXPECT_EQ(std::string(p, 40), std::string(40, 'a'));
    EXPECT_TRUE(AllZero(p + 64, 96));
    EXPECT_EQ(pMemB->FreeNodeCount, MEM_BLOCK_NODES - 6);
    PutMem(p);
    PutMem(next);
}

TEST_F(MemMgr, AdjustMemMovesDownOverFreeNodesBefore)
{
    char* before = Get(100);  // positions 0-3
    char* p = Get(60);        // 4-5
    char* after = Get(1);     // 6
    char* last = Get(1);      // 7
    std::strcpy(p, "moving contents");
    std::strcpy(after, "after");
    PutMem(before);

    char* grown = static_cast<char*>(AdjustMem(p, 120));  // 4 nodes: needs 2 more
    ASSERT_NE(grown, nullptr);
    EXPECT_EQ(Position(grown), 2);
    EXPECT_STREQ(grown, "moving contents");
    EXPECT_TRUE(AllZero(grown + 64, 64));
    EXPECT_EQ(std::string(pMemB->MAT, 8), "  UUUUUU");
    EXPECT_EQ(pMemB->Node[2].Nodes, 4);
    EXPECT_EQ(pMemB->Node[4].Nodes, 0);
    EXPECT_EQ(pMemB->Node[4].pAddr, nullptr);
    // The other allocations are untouched.
    EXPECT_EQ(pMemB->Node[6].Nodes, 1);
    EXPECT_EQ(pMemB->Node[6].pAddr, after);
    EXPECT_EQ(pMemB->Node[7].pAddr, last);
    EXPECT_STREQ(after, "after");
    EXPECT_EQ(pMemB->FreeNodeCount, MEM_BLOCK_NODES - 6);

    // Growing by more than the nodes before it, with no room after, takes
    // a new allocation (sized by rounding the rounded size once more).
    char* moved = static_cast<char*>(AdjustMem(grown, 300));
    EXPECT_EQ(Position(moved), 8);
    EXPECT_EQ(pMemB->Node[8].Nodes, 11);
    EXPECT_STREQ(moved, "moving contents");
    EXPECT_EQ(pMemB->MAT[2], MAT_FREE);
    for (char* q : {moved, after, last})
        PutMem(q);
}

TEST_F(MemMgr, AdjustMemAcrossTheBlockSize)
{
    char* p = Get(10);
    std::strcpy(p, "grows big");
    char* big = static_cast<char*>(AdjustMem(p, 100000));
    ASSERT_NE(big, nullptr);
    MemBlock* b = FindBlock(big);
    EXPECT_EQ(big, b->pMemory);
    EXPECT_EQ(b->Size, 131072);
    EXPECT_STREQ(big, "grows big");
    EXPECT_EQ(ChainLength(), 1);  // the small one's block was released

    // A dedicated allocation shrinks and grows within its region, and the
    // bytes beyond the kept size read as zeros when it grows again.
    std::memset(big, 'b', 100001);
    EXPECT_EQ(AdjustMem(big, 100), big);
    EXPECT_EQ(b->UsedSize, 128);
    EXPECT_EQ(AdjustMem(big, 131071), big);
    EXPECT_EQ(b->UsedSize, 131072);
    EXPECT_EQ(std::string(big, 128), std::string(128, 'b'));
    EXPECT_TRUE(AllZero(big + 128, 131072 - 128));

    // Beyond its region it moves to a larger one, contents kept.
    std::memset(big + 131000, 'c', 72);
    char* bigger = static_cast<char*>(AdjustMem(big, 200000));
    ASSERT_NE(bigger, nullptr);
    EXPECT_NE(bigger, big);
    EXPECT_EQ(FindBlock(bigger)->Size, 262144);
    EXPECT_EQ(std::string(bigger, 128), std::string(128, 'b'));
    EXPECT_EQ(std::string(bigger + 131000, 72), std::string(72, 'c'));
    EXPECT_TRUE(AllZero(bigger + 131072, 200001 - 131072));
    EXPECT_EQ(ChainLength(), 1);
    PutMem(bigger);
}

TEST_F(MemMgr, AdjustMemFailureKeepsTheOldAllocation)
{
    char* p = Get(10);
    std::strcpy(p, "kept");
    // Sizes whose regions would not fit the 32-bit size of a block.
    testing::internal::CaptureStderr();
    EXPECT_EQ(AdjustMem(p, INT_MAX), nullptr);
    EXPECT_EQ(AdjustMem(p, INT_MAX - 100), nullptr);
    EXPECT_EQ(GetMem(INT_MAX - 40), nullptr);
    std::string err = testing::internal::GetCapturedStderr();
    std::string line = "ERROR: Unable to allocate memory\n";
    EXPECT_EQ(err, line + line + line);
    EXPECT_STREQ(p, "kept");
    EXPECT_EQ(pMemB->Node[0].Nodes, 1);
    PutMem(p);
}

#ifndef TEST_UNDER_ASAN
// Lowers the address-space limit so that every new mapping is refused.  The
// stack is grown first: under a tool that maps it on demand its growth
// would be refused too.
void RefuseNewMappings()
{
    volatile char stack[256 * 1024];
    for (size_t i = 0; i < sizeof stack; i += 1024)
        stack[i] = 0;
    rlimit limit{};
    getrlimit(RLIMIT_AS, &limit);
    limit.rlim_cur = 1;
    setrlimit(RLIMIT_AS, &limit);
}

// Whether the limit takes effect here: the sanitizer's reservations and
// tools that manage the program's memory themselves defeat it.
bool MappingsCanBeRefused()
{
    if (TEST_UNDER_VALGRIND)
        return false;
    pid_t pid = fork();
    if (pid == 0) {
        RefuseNewMappings();
        void* p = mmap(nullptr, 1 << 20, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        _exit(p == MAP_FAILED ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
#endif

// The system refuses every new mapping: growing past the block fails, and
// the allocation stays as it was.
TEST(MemMgrLimits, AdjustMemKeepsTheAllocationWhenNoRegionCanBeHad)
{
#ifdef TEST_UNDER_ASAN
    GTEST_SKIP() << "the sanitizer needs to map memory of its own";
#else
    if (!MappingsCanBeRefused())
        GTEST_SKIP() << "new mappings cannot be refused under this runner";
    EXPECT_EXIT(
        {
            char* p = Get(10);
            std::strcpy(p, "kept");
            RefuseNewMappings();
            void* moved = AdjustMem(p, 200000);
            bool kept = moved == nullptr && std::strcmp(p, "kept") == 0 &&
                        FindBlock(p)->Node[0].Nodes == 1;
            _exit(kept ? 0 : 1);
        },
        testing::ExitedWithCode(0), "ERROR: Unable to allocate memory");
#endif
}

// When the zero device cannot be opened, regions come from the heap and go
// back to it; the device is tried again on the next request.
TEST(MemMgrLimits, HeapFallbackWhenTheZeroDeviceCannotBeOpened)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh process
    EXPECT_EXIT(
        {
            rlimit limit{};
            getrlimit(RLIMIT_NOFILE, &limit);
            rlim_t saved = limit.rlim_cur;
            struct mallinfo2 before = mallinfo2();
            limit.rlim_cur = 0;
            setrlimit(RLIMIT_NOFILE, &limit);
            char* p = Get(100);
            char* big = Get(100000);
            limit.rlim_cur = saved;
            setrlimit(RLIMIT_NOFILE, &limit);
            char* mapped = Get(65535);
            bool ok = p && big && mapped && FindBlock(p)->DataOnHeap &&
                      FindBlock(p)->HeaderOnHeap && FindBlock(big)->DataOnHeap &&
                      !FindBlock(mapped)->DataOnHeap && AllZero(big, 100001);
            std::strcpy(p, "on the heap");
            ok = ok && std::strcmp(p, "on the heap") == 0;
            PutMem(p);
            PutMem(big);
            PutMem(mapped);
            struct mallinfo2 after = mallinfo2();
            ok = ok && pMemB == nullptr && after.uordblks == before.uordblks &&
                 after.hblkhd == before.hblkhd;
            std::exit(ok ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

TEST(MemMgrPoison, OverflowAndUseAfterPutMemAreCaught)
{
#ifndef TEST_UNDER_ASAN
    GTEST_SKIP() << "free nodes are poisoned only in the sanitizer build";
#else
    ASSERT_EQ(pMemB, nullptr);
    EXPECT_DEATH(
        {
            volatile char* p = Get(10);
            p[MEM_NODE_SIZE] = 1;  // the next node is free
        },
        "use-after-poison");
    EXPECT_DEATH(
        {
            char* p = Get(10);
            char* keep = Get(10);
            PutMem(p);
            static_cast<volatile char*>(p)[0] = 1;
            PutMem(keep);
        },
        "use-after-poison");
    EXPECT_DEATH(
        {
            volatile char* p = static_cast<char*>(GetMem(40));
            AdjustMem(const_cast<char*>(p), 10);  // shrink frees the second node
            p[MEM_NODE_SIZE] = 1;
        },
        "use-after-poison");
#endif
}

TEST_F(MemMgr, TestMATComparesARunOfMarks)
{
    EXPECT_EQ(TestMAT("  U", ' ', 2), 1);
    EXPECT_EQ(TestMAT("  U", ' ', 3), 0);
    EXPECT_EQ(TestMAT("U", ' ', 0), 1);
    EXPECT_EQ(TestMAT("  ", ' ', 3), 0);  // stops at the terminator
}

// Whether p lies in a mapping of the process's memory map.
bool Mapped(const void* p)
{
    auto addr = reinterpret_cast<uintptr_t>(p);
    FILE* maps = std::fopen("/proc/self/maps", "r");
    if (!maps)
        return true;
    bool found = false;
    unsigned long start = 0, end = 0;
    while (!found && std::fscanf(maps, "%lx-%lx%*[^\n]", &start, &end) == 2)
        found = start <= addr && addr < end;
    std::fclose(maps);
    return found;
}

// Headers sit at different places in their regions; every region still
// goes back to the system whole when its block goes.
TEST_F(MemMgr, ReleasedBlocksLeaveNoMapping)
{
    char* first = Get(65535);  // keeps the chain, and its index, in place
    std::array<char*, 40> data{};
    std::array<MemBlock*, 40> headers{};
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = Get(65535);
        headers[i] = FindBlock(data[i]);
        ASSERT_TRUE(Mapped(data[i]) && Mapped(headers[i]));
    }
    for (char* p : data)
        PutMem(p);
    for (size_t i = 0; i < data.size(); ++i) {
        EXPECT_FALSE(Mapped(data[i])) << "data region " << i;
        EXPECT_FALSE(Mapped(headers[i])) << "header region " << i;
    }
    PutMem(first);
}

TEST_F(MemMgr, ChainKeepsOrderWhenAMiddleBlockGoes)
{
    char* a = Get(65535);
    char* b = Get(65535);
    char* c = Get(65535);
    MemBlock* first = FindBlock(a);
    MemBlock* third = FindBlock(c);
    ASSERT_EQ(ChainLength(), 3);
    PutMem(b);
    EXPECT_EQ(pMemB, first);
    EXPECT_EQ(first->pNext, third);
    EXPECT_EQ(third->pPrev, first);
    EXPECT_EQ(third->pNext, nullptr);
    // New blocks still go to the tail.
    char* d = Get(65535);
    EXPECT_EQ(third->pNext, FindBlock(d));
    for (char* p : {a, c, d})
        PutMem(p);
}

TEST_F(MemMgr, PopBlockGivesTheNewHeadOrTheBlock)
{
    char* a = Get(65535);
    char* b = Get(65535);
    MemBlock* first = FindBlock(a);
    MemBlock* second = FindBlock(b);
    EXPECT_EQ(PopBlock(nullptr), nullptr);
    EXPECT_EQ(PopBlock(second), second);
    EXPECT_EQ(first->pNext, nullptr);
    EXPECT_EQ(second->pPrev, first);  // its own links are left
    second->pPrev = nullptr;
    PushBlock(second);
    EXPECT_EQ(first->pNext, second);
    EXPECT_EQ(PopBlock(first), second);
    EXPECT_EQ(pMemB, second);
    EXPECT_EQ(second->pPrev, nullptr);
    first->pNext = nullptr;
    PushBlock(first);
    PushBlock(nullptr);
    EXPECT_EQ(second->pNext, first);
    PutMem(a);
    PutMem(b);
}

TEST_F(MemMgr, DumpMemPrintsEveryBlock)
{
    testing::internal::CaptureStdout();
    DumpMem();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

    char* text = Get(3);
    std::strcpy(text, "abc");
    char* blank = Get(40);
    char* full = Get(31);
    std::memset(full, 'z', 32);  // no terminator left: printed up to its end
    char* after = Get(1);
    std::strcpy(after, "next");
    char* big = Get(70000);
    MemBlock* shared = pMemB;
    MemBlock* dedicated = FindBlock(big);

    auto num = [](const void* p) { return std::to_string(reinterpret_cast<intptr_t>(p)); };
    auto addr6 = [](const void* p) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%6li", static_cast<long>(reinterpret_cast<intptr_t>(p)));
        return std::string(buf);
    };
    std::string want = "\n============ Block(" + num(shared) +
                       ") size(65536) Free(2043) Used(5) FreeNodeCount(2043) SizeCnt(2043) <==(0) (" +
                       num(dedicated) + ")==>\n\tBlock MAT:";
    std::string mat = "UUUUU" + std::string(2043, '_');
    for (int i = 0; i < 2048; i += 64)
        want += "\n\t" + mat.substr(i, 64);
    want += "\n\n\tAllocated Nodes:\n";
    want += "\tMAT index(     0) Memory Addr(" + addr6(text) + ") nodes(    1) size(   32) Memory(abc)\n";
    want += "\tMAT index(     1) Memory Addr(" + addr6(blank) + ") nodes(    2) size(   64) Memory()\n";
    want += "\tMAT index(     3) Memory Addr(" + addr6(full) + ") nodes(    1) size(   32) Memory(" +
            std::string(32, 'z') + ")\n";
    want += "\tMAT index(     4) Memory Addr(" + addr6(after) + ") nodes(    1) size(   32) Memory(next)\n";
    want += "\n";
    want += "\n============ Dedicated Block(" + num(big) + ") size(131072) FreeNodeCount(0) <==(" +
            num(shared) + ") (0)==>\n";

    testing::internal::CaptureStdout();
    DumpMem();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), want);
    for (char* p : {text, blank, full, after, big})
        PutMem(p);
}

}  // namespace
