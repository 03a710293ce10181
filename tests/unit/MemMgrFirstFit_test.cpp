// Placement under random use: every allocation must land exactly where a
// plain first-fit search of the MAT strings puts it (the leftmost run of
// free marks in the oldest block that has one), whatever bookkeeping the
// manager keeps to find it faster; every resize takes the case that a plain
// reading of the MAT strings chooses; and the manager's records agree.
#include "MemMgr.h"
#include "utils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

struct Placement {
    MemBlock* block;  // null: a new block at the tail
    int position;
};

int NodesFor(long size)
{
    return static_cast<int>((size + 1 + MEM_NODE_SIZE - 1) / MEM_NODE_SIZE);
}

long RoundedSize(long size)
{
    return static_cast<long>(NodesFor(size)) * MEM_NODE_SIZE;
}

Placement ReferenceFirstFit(int units)
{
    std::string run(static_cast<size_t>(units), MAT_FREE);
    for (MemBlock* b = pMemB; b; b = b->pNext) {
        if (b->FreeNodeCount < units)
            continue;
        if (const char* hit = StrStr(b->MAT, run.c_str()))
            return {b, static_cast<int>(hit - b->MAT)};
    }
    return {nullptr, 0};
}

MemBlock* Tail()
{
    MemBlock* b = pMemB;
    while (b && b->pNext)
        b = b->pNext;
    return b;
}

// Free nodes from each position on, up to the end of the block.
std::vector<int> FreeFrom(const char* mat)
{
    std::vector<int> from(MEM_BLOCK_NODES + 1, 0);
    for (int i = MEM_BLOCK_NODES - 1; i >= 0; --i)
        from[static_cast<size_t>(i)] = mat[i] == MAT_FREE ? from[static_cast<size_t>(i) + 1] + 1 : 0;
    return from;
}

bool FreeBit(const MemBlock* b, int i)
{
    return ((b->Map[i / 64].Free >> (i % 64)) & 1) != 0;
}

bool StartBit(const MemBlock* b, int i)
{
    return ((b->Map[i / 64].Start >> (i % 64)) & 1) != 0;
}

// The counts, records and the manager's own bookkeeping agree with the MAT:
// the bitmaps mirror it and the records, no free run is longer than
// RunBound, and every word where a run of c nodes starts is in
// RunWords[c - 1].
void CheckBlocks()
{
    for (MemBlock* b = pMemB; b; b = b->pNext) {
        ASSERT_EQ(b->MAT[MEM_BLOCK_NODES], '\0');
        ASSERT_EQ(static_cast<int>(std::strlen(b->MAT)), MEM_BLOCK_NODES);
        int freeMarks = 0, recorded = 0;
        for (int i = 0; i < MEM_BLOCK_NODES; ++i) {
            bool isFree = b->MAT[i] == MAT_FREE;
            freeMarks += isFree;
            recorded += b->Node[i].Nodes;
            // The plain comparisons keep the check cheap; gtest's report is
            // only made on a failure.
            if (isFree != FreeBit(b, i))
                FAIL() << "node " << i << ": the MAT and the Free bit disagree";
            if ((b->Node[i].Nodes != 0) != StartBit(b, i))
                FAIL() << "node " << i << ": the record and the Start bit disagree";
        }
        ASSERT_EQ(b->FreeNodeCount, freeMarks);
        if (b->Size != MEM_BLOCK_SIZE) {
            ASSERT_EQ(b->RunBound, 0);
            continue;
        }
        ASSERT_EQ(recorded, MEM_BLOCK_NODES - freeMarks);
        ASSERT_LT(freeMarks, MEM_BLOCK_NODES) << "an empty block was kept";
        for (int i = 0; i < MEM_BLOCK_NODES; ++i) {
            const MemNode& rec = b->Node[i];
            if (rec.Nodes == 0)
                continue;
            ASSERT_EQ(rec.pAddr, b->pMemory + i * MEM_NODE_SIZE) << "node " << i;
            for (int k = 0; k < rec.Nodes; ++k)
                ASSERT_EQ(b->MAT[i + k], MAT_USED) << "node " << i + k;
            int end = i + rec.Nodes;
            ASSERT_TRUE(end == MEM_BLOCK_NODES || b->MAT[end] == MAT_FREE || b->Node[end].Nodes != 0)
                << "used node " << end << " belongs to no allocation";
        }
        std::vector<int> from = FreeFrom(b->MAT);
        ASSERT_GE(b->RunBound, *std::max_element(from.begin(), from.end()));
        for (int i = 0; i < MEM_BLOCK_NODES; ++i)
            for (int c = 1; c <= std::min(from[static_cast<size_t>(i)], MEM_RUN_CLASSES); ++c)
                if (((b->RunWords[c - 1] >> (i / 64)) & 1) == 0)
                    FAIL() << "a run of " << c << " at " << i << " lies in a word passed over";
    }
    for (MemBlock* b = pMemB; b && b->pNext; b = b->pNext)
        ASSERT_EQ(b->pNext->pPrev, b);
}

::testing::AssertionResult BooksAgree()
{
    if (const char* fault = CheckMemBooks())
        return ::testing::AssertionFailure() << fault;
    return ::testing::AssertionSuccess();
}

// The block whose data region holds p, by a walk of the chain.
MemBlock* Holding(const char* p)
{
    for (MemBlock* b = pMemB; b; b = b->pNext)
        if (p >= b->pMemory && p < b->pMemory + b->Size)
            return b;
    return nullptr;
}

bool MarksFree(const char* mat, int from, int n)
{
    return from >= 0 && from + n <= MEM_BLOCK_NODES &&
           std::string(mat + from, static_cast<size_t>(n)) == std::string(static_cast<size_t>(n), MAT_FREE);
}

// The ways AdjustMem may resize an allocation.
enum Resize {
    SAME_NODES,      // the same node count: nothing changes
    SHRINK,          // the tail nodes are given back
    GROW_IN_PLACE,   // into the free nodes after it
    MOVE_DOWN,       // over the free nodes just before it
    MOVE,            // to the first fit of the (once more rounded) size
    OWN_BLOCK,       // to a new dedicated block at the tail
    DEDICATED_KEPT,  // a dedicated allocation stays in its region
    RESIZE_CASES
};

const char* const resizeNames[RESIZE_CASES] = {"same nodes", "shrink", "grow in place", "move down",
                                               "move", "own block", "dedicated kept"};

struct ResizePlan {
    Resize kind;
    Placement place;  // where the allocation goes; block null: a new one at the tail
    int nodes;        // its nodes there (shared blocks)
};

// The case AdjustMem(p, size) must take, read from the MAT strings and the
// records before the call.
ResizePlan ReferenceResize(char* p, int size)
{
    MemBlock* b = Holding(p);
    long rounded = RoundedSize(size);
    int units = static_cast<int>(rounded / MEM_NODE_SIZE);
    if (b->Size > MEM_BLOCK_SIZE || rounded > MEM_BLOCK_SIZE) {
        if (rounded <= b->Size)
            return {DEDICATED_KEPT, {b, 0}, 0};
        return {OWN_BLOCK, {nullptr, 0}, 0};
    }
    int i = static_cast<int>((p - b->pMemory) / MEM_NODE_SIZE);
    int old = b->Node[i].Nodes;
    if (units == old)
        return {SAME_NODES, {b, i}, units};
    if (units < old)
        return {SHRINK, {b, i}, units};
    int d = units - old;
    if (MarksFree(b->MAT, i + old, d))
        return {GROW_IN_PLACE, {b, i}, units};
    if (MarksFree(b->MAT, i - d, d))
        return {MOVE_DOWN, {b, i - d}, units};
    // The new allocation is asked for with the rounded size, which is
    // rounded once more.
    int again = NodesFor(rounded);
    if (again > MEM_BLOCK_NODES)
        return {OWN_BLOCK, {nullptr, 0}, 0};
    return {MOVE, ReferenceFirstFit(again), again};
}

// The resize took the planned case: the allocation is where the plan puts
// it, with the planned nodes (or handed-out size) and the nodes it gave
// back free.
void CheckResize(const ResizePlan& plan, char* q, int size, int oldNodes)
{
    MemBlock* got = Holding(q);
    ASSERT_NE(got, nullptr);
    SCOPED_TRACE(resizeNames[plan.kind]);
    if (plan.kind == OWN_BLOCK || plan.kind == DEDICATED_KEPT) {
        ASSERT_GT(got->Size, MEM_BLOCK_SIZE);
        ASSERT_EQ(q, got->pMemory);
        if (plan.kind == DEDICATED_KEPT) {
            ASSERT_EQ(got, plan.place.block);
            ASSERT_EQ(got->UsedSize, RoundedSize(size));
        } else {
            ASSERT_EQ(got, Tail());
            ASSERT_EQ(got->UsedSize, RoundedSize(RoundedSize(size)));
        }
        return;
    }
    if (plan.place.block) {
        ASSERT_EQ(got, plan.place.block);
        ASSERT_EQ(q, got->pMemory + plan.place.position * MEM_NODE_SIZE);
    } else {
        ASSERT_EQ(got, Tail());
        ASSERT_EQ(got->Size, MEM_BLOCK_SIZE);
        ASSERT_EQ(q, got->pMemory);
    }
    int at = static_cast<int>((q - got->pMemory) / MEM_NODE_SIZE);
    ASSERT_EQ(got->Node[at].Nodes, plan.nodes);
    if (plan.kind == SHRINK) {
        ASSERT_TRUE(MarksFree(got->MAT, at + plan.nodes, oldNodes - plan.nodes));
    }
    if (plan.kind == MOVE_DOWN) {
        ASSERT_EQ(got->Node[at + plan.nodes - oldNodes].Nodes, 0) << "the old record was kept";
    }
}

struct Live {
    char* p;
    int size;
    char fill;
};

bool Holds(const Live& a, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        if (a.p[i] != a.fill)
            return false;
    return true;
}

int RandomSize(std::mt19937& rng)
{
    int kind = std::uniform_int_distribution<int>(0, 99)(rng);
    if (kind < 70)
        return std::uniform_int_distribution<int>(1, 200)(rng);
    if (kind < 95)
        return std::uniform_int_distribution<int>(201, 4000)(rng);
    if (kind < 99)
        return std::uniform_int_distribution<int>(4001, 65535)(rng);
    return std::uniform_int_distribution<int>(65536, 200000)(rng);
}

// Steps between full checks of the manager's books.  The sanitizer build
// checks them after every operation already.
#ifdef MEMMGR_CHECK_BOOKS
constexpr int BOOKS_EVERY = 97;
#else
constexpr int BOOKS_EVERY = 31;
#endif

TEST(MemMgrFirstFit, EveryPlacementMatchesThePlainSearch)
{
    ASSERT_EQ(pMemB, nullptr);
    std::mt19937 rng(20240611);
    std::vector<Live> live;
    int maxChain = 0;
    int resizes[RESIZE_CASES] = {};
    const int steps = 30000;
    for (int step = 0; step < steps; ++step) {
        // Grow towards a few thousand live allocations, churn, then drain.
        int target = step < steps / 3 ? 3000 : step < 2 * steps / 3 ? 2000 : 0;
        int op = std::uniform_int_distribution<int>(0, 99)(rng);
        bool grow = static_cast<int>(live.size()) < target ? op < 65 : op < 30;
        if (live.empty() || grow) {
            // Now and then a block too large to be found without a search.
            int size = step % 2000 == 1999 ? 5000000 : RandomSize(rng);
            int units = NodesFor(size);
            Placement want = units <= MEM_BLOCK_NODES ? ReferenceFirstFit(units) : Placement{};
            auto* p = static_cast<char*>(GetMem(size));
            ASSERT_NE(p, nullptr);
            MemBlock* got = FindBlock(p);
            if (units > MEM_BLOCK_NODES) {
                ASSERT_EQ(got, Tail());
                ASSERT_GT(got->Size, MEM_BLOCK_SIZE);
            } else if (want.block) {
                ASSERT_EQ(got, want.block) << "step " << step;
                ASSERT_EQ(p, got->pMemory + want.position * MEM_NODE_SIZE) << "step " << step;
            } else {
                ASSERT_EQ(got, Tail()) << "step " << step;
                ASSERT_EQ(p, got->pMemory) << "step " << step;
            }
            char fill = static_cast<char>('a' + step % 26);
            std::memset(p, fill, static_cast<size_t>(size));
            live.push_back({p, size, fill});
        } else {
            size_t k = std::uniform_int_distribution<size_t>(0, live.size() - 1)(rng);
            Live& a = live[k];
            ASSERT_TRUE(Holds(a, a.size)) << "step " << step;
            if (op % 3 == 0) {
                int size = RandomSize(rng);
                ResizePlan plan = ReferenceResize(a.p, size);
                MemBlock* from = Holding(a.p);
                int oldNodes = from->Size == MEM_BLOCK_SIZE
                                   ? from->Node[(a.p - from->pMemory) / MEM_NODE_SIZE].Nodes
                                   : 0;
                auto* q = static_cast<char*>(AdjustMem(a.p, size));
                ASSERT_NE(q, nullptr);
                ASSERT_NO_FATAL_FAILURE(CheckResize(plan, q, size, oldNodes)) << "step " << step;
                ++resizes[plan.kind];
                a.p = q;
                ASSERT_TRUE(Holds(a, std::min(a.size, size))) << "step " << step;
                std::memset(q, a.fill, static_cast<size_t>(size));
                a.size = size;
            } else {
                PutMem(a.p);
                live[k] = live.back();
                live.pop_back();
            }
        }
        int chain = 0;
        for (MemBlock* b = pMemB; b; b = b->pNext)
            ++chain;
        maxChain = std::max(maxChain, chain);
        if (step % 97 == 0) {
            ASSERT_NO_FATAL_FAILURE(CheckBlocks()) << "step " << step;
        }
        if (step % BOOKS_EVERY == 0) {
            ASSERT_TRUE(BooksAgree()) << "step " << step;
        }
    }
    for (const Live& a : live)
        PutMem(a.p);
    EXPECT_EQ(pMemB, nullptr);
    EXPECT_TRUE(BooksAgree());
    EXPECT_GE(maxChain, 8) << "the run should spread over many blocks";
    for (int k = 0; k < RESIZE_CASES; ++k)
        EXPECT_GT(resizes[k], 0) << "no resize took the case " << resizeNames[k];
}

}  // namespace
