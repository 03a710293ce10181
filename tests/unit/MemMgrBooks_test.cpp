// The memory manager's check of its books: it passes on every state the
// manager reaches, and names each kind of disagreement between its records
// when one is corrupted on purpose (and put back before the next operation).
#include "MemMgr.h"

#include "../../common/MemMgr/MemMgrImpl.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

char* Get(int size)
{
    return static_cast<char*>(GetMem(size));
}

std::string Books()
{
    const char* fault = CheckMemBooks();
    return fault ? fault : "";
}

// A chain of four blocks: 0 shared with a hole of four nodes at 1-4 and
// allocations at 0 and 5, 1 shared and full, 2 dedicated and in the address
// map, 3 dedicated and too large for the map.
class MemMgrBooks : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(pMemB, nullptr);
        ASSERT_EQ(Books(), "");
        first = Get(1);
        char* hole = Get(100);
        after = Get(1);
        full = Get(65535);
        dedicated = Get(100000);
        huge = Get(5000000);
        PutMem(hole);
        shared = FindBlock(first);
        ASSERT_EQ(shared, pMemB);
        ASSERT_EQ(std::string(shared->MAT, 7), "U    U ");
        fullBlock = FindBlock(full);
        dedicatedBlock = FindBlock(dedicated);
        hugeBlock = FindBlock(huge);
        ASSERT_EQ(mem::chainIndex.count, 4);
        ASSERT_TRUE(dedicatedBlock->InAddressMap);
        ASSERT_FALSE(hugeBlock->InAddressMap);
    }

    void TearDown() override
    {
        for (char* p : {first, after, full, dedicated, huge})
            PutMem(p);
        EXPECT_EQ(pMemB, nullptr);
        EXPECT_EQ(Books(), "");
    }

    // The entry of the address map for the first piece of b.
    mem::PieceEntry& EntryOf(const MemBlock* b)
    {
        uintptr_t key = mem::FirstPiece(b);
        size_t h = mem::PieceHash(key, mem::addressMap.mask);
        while (mem::addressMap.table[h].key != key || mem::addressMap.table[h].block != b)
            h = (h + 1) & mem::addressMap.mask;
        return mem::addressMap.table[h];
    }

    // A block of the map whose data region holds no byte of the piece.
    MemBlock* FarFrom(uintptr_t key)
    {
        uintptr_t low = (key - 1) << mem::PIECE_SHIFT, high = low + (uintptr_t{1} << mem::PIECE_SHIFT);
        for (MemBlock* b : {fullBlock, dedicatedBlock}) {
            auto start = reinterpret_cast<uintptr_t>(b->pMemory);
            if (start >= high || start + static_cast<uintptr_t>(b->Size) <= low)
                return b;
        }
        return nullptr;
    }

    char* first = nullptr;
    char* after = nullptr;
    char* full = nullptr;
    char* dedicated = nullptr;
    char* huge = nullptr;
    MemBlock* shared = nullptr;
    MemBlock* fullBlock = nullptr;
    MemBlock* dedicatedBlock = nullptr;
    MemBlock* hugeBlock = nullptr;
};

// Bytes of the manager's records that a corruption may change.
struct Bytes {
    void* at;
    size_t n;
};

template <typename T>
Bytes Field(T& field)
{
    return Bytes{static_cast<void*>(&field), sizeof field};
}

// One corruption: the bytes it may change (saved and put back), the change,
// and the words the check's report must hold.
struct Corruption {
    const char* what;
    std::vector<Bytes> keep;
    std::function<void()> corrupt;
    std::vector<std::string> named;
};

void ExpectNamed(const Corruption& c)
{
    SCOPED_TRACE(c.what);
    std::vector<std::vector<char>> saved;
    for (const Bytes& b : c.keep)
        saved.emplace_back(static_cast<const char*>(b.at), static_cast<const char*>(b.at) + b.n);
    c.corrupt();
    std::string report = Books();
    for (size_t i = c.keep.size(); i-- > 0;)
        std::memcpy(c.keep[i].at, saved[i].data(), c.keep[i].n);
    EXPECT_NE(report, "");
    for (const std::string& word : c.named)
        EXPECT_NE(report.find(word), std::string::npos) << "report: " << report;
    EXPECT_EQ(Books(), "") << "not put back";
}

TEST_F(MemMgrBooks, AgreeOnEveryStateReached)
{
    EXPECT_EQ(Books(), "");
    char* moved = static_cast<char*>(AdjustMem(first, 90));  // grows into the hole
    EXPECT_EQ(moved, first);
    EXPECT_EQ(Books(), "");
    first = static_cast<char*>(AdjustMem(first, 1));
    dedicated = static_cast<char*>(AdjustMem(dedicated, 10));
    EXPECT_EQ(Books(), "");
}

TEST_F(MemMgrBooks, NamesADisagreementOfTablesAndBitmaps)
{
    MemBlock* s = shared;
    const Corruption cases[] = {
        {"a used mark made free", {Field(s->MAT)}, [s] { s->MAT[0] = MAT_FREE; },
         {"block 0 node 0", "MAT", "Free bit"}},
        {"a free mark made used", {Field(s->MAT)}, [s] { s->MAT[3] = MAT_USED; },
         {"block 0 node 3", "MAT"}},
        {"the terminator overwritten", {Field(s->MAT)},
         [s] { s->MAT[MEM_BLOCK_NODES] = MAT_USED; }, {"block 0", "terminator"}},
        {"a Free bit flipped", {Field(s->Map)}, [s] { s->Map[0].Free ^= 1u << 2; },
         {"block 0 node 2", "Free bit"}},
        {"a Start bit cleared", {Field(s->Map)}, [s] { s->Map[0].Start ^= 1u << 5; },
         {"block 0 node 5", "Start bit"}},
        {"a Start bit set inside no allocation", {Field(s->Map)},
         [s] { s->Map[0].Start |= 1u << 3; }, {"block 0 node 3", "Start bit"}},
        {"a record's extent too long", {Field(s->Node)}, [s] { s->Node[5].Nodes = 2; },
         {"block 0 node 6", "Node record"}},
        {"a record's extent too short", {Field(fullBlock->Node)},
         [this] { fullBlock->Node[0].Nodes = 100; }, {"block 1 node 100", "no Node record"}},
        {"a record's address", {Field(s->Node)},
         [s] { s->Node[0].pAddr += MEM_NODE_SIZE; }, {"block 0 node 0", "pAddr"}},
        {"an empty record with an address", {Field(s->Node)},
         [s] { s->Node[3].pAddr = s->pMemory; }, {"block 0 node 3", "pAddr"}},
        {"FreeNodeCount", {Field(s->FreeNodeCount)}, [s] { --s->FreeNodeCount; },
         {"block 0", "FreeNodeCount"}},
    };
    for (const Corruption& c : cases)
        ExpectNamed(c);
}

TEST_F(MemMgrBooks, NamesABoundThatHidesAFreeRun)
{
    MemBlock* s = shared;
    mem::ChainIndex& x = mem::chainIndex;
    const Corruption cases[] = {
        // The longest free run of the block is its tail, from node 6 on.
        {"RunBound below the longest run", {Field(s->RunBound)},
         [s] { s->RunBound = 3; }, {"block 0 node 6", "RunBound 3"}},
        {"a RunWords bit cleared where a run starts", {Field(s->RunWords)},
         [s] { s->RunWords[3] &= ~1u; }, {"block 0", "word 0", "RunWords[3]"}},
        {"a RunWords bit of a later word", {Field(s->RunWords)},
         [s] { s->RunWords[7] &= ~(1u << 31); }, {"block 0", "word 31", "RunWords[7]"}},
        {"an index class cleared", {Field(x.classes[0])}, [] { mem::chainIndex.classes[0] &= ~(1u << 2); },
         {"block 0", "chain index", "class 3"}},
        {"the index's RunBound copy", {Field(x.runBound[0])}, [] { mem::chainIndex.runBound[0] = 7; },
         {"block 0", "chain index", "RunBound"}},
        {"a class past the end of the index", {Field(x.classes[x.count])},
         [] { mem::chainIndex.classes[mem::chainIndex.count] = 1; }, {"chain index slot 4", "past the end"}},
    };
    for (const Corruption& c : cases)
        ExpectNamed(c);
}

TEST_F(MemMgrBooks, NamesADedicatedBlockThatDisagrees)
{
    MemBlock* d = dedicatedBlock;
    const Corruption cases[] = {
        {"UsedSize beyond the region", {Field(d->UsedSize)},
         [d] { d->UsedSize = d->Size + MEM_NODE_SIZE; }, {"block 2", "UsedSize"}},
        {"a free mark", {Field(d->MAT)}, [d] { d->MAT[9] = MAT_FREE; }, {"block 2 node 9", "MAT"}},
        {"a Node record", {Field(d->Node)}, [d] { d->Node[0].Nodes = 1; },
         {"block 2 node 0", "Node record"}},
        {"a free run bound", {Field(d->RunBound)}, [d] { d->RunBound = 4; },
         {"block 2", "RunBound"}},
    };
    for (const Corruption& c : cases)
        ExpectNamed(c);
}

TEST_F(MemMgrBooks, NamesAChainThatDisagreesWithItsIndex)
{
    mem::ChainIndex& x = mem::chainIndex;
    MemBlock* f = fullBlock;
    const Corruption cases[] = {
        {"two blocks swapped in the order", {Field(x.order[1]), Field(x.order[2])},
         [] { std::swap(mem::chainIndex.order[1], mem::chainIndex.order[2]); },
         {"chain index slot 1", "order"}},
        {"a broken pPrev", {Field(f->pPrev)}, [f] { f->pPrev = nullptr; }, {"block 1", "pPrev"}},
        {"a wrong Slot", {Field(f->Slot)}, [f] { f->Slot = 3; }, {"block 1", "Slot"}},
        {"a chain cut short", {Field(f->pNext)}, [f] { f->pNext = nullptr; },
         {"chain", "2 blocks", "holds 4"}},
        {"a region's end", {Field(x.byAddress[0])},
         [] { mem::chainIndex.byAddress[0].end += MEM_NODE_SIZE; }, {"byAddress"}},
        {"a region naming another block", {Field(x.byAddress[0])},
         [] { mem::chainIndex.byAddress[0].block = mem::chainIndex.byAddress[1].block; }, {"byAddress"}},
    };
    for (const Corruption& c : cases)
        ExpectNamed(c);
}

TEST_F(MemMgrBooks, NamesAnAddressMapThatDisagrees)
{
    mem::AddressMap& m = mem::addressMap;
    mem::PieceEntry& sharedEntry = EntryOf(shared);
    MemBlock* f = fullBlock;
    MemBlock* far = FarFrom(mem::FirstPiece(shared));
    ASSERT_NE(far, nullptr);
    const Corruption cases[] = {
        {"an entry removed", {Field(sharedEntry), Field(m.used)},
         [&sharedEntry] {
             sharedEntry = mem::PieceEntry{};
             --mem::addressMap.used;
         },
         {"block 0", "address map lacks its piece"}},
        {"an entry removed, used kept", {Field(sharedEntry)},
         [&sharedEntry] { sharedEntry = mem::PieceEntry{}; }, {"address map", "used"}},
        {"an entry retargeted", {Field(sharedEntry)},
         [&sharedEntry, far] { sharedEntry.block = far; }, {"address map entry", "does not cover it"}},
        {"an entry naming a block outside the chain", {Field(sharedEntry)},
         [&sharedEntry] { sharedEntry.block = reinterpret_cast<MemBlock*>(&sharedEntry); },
         {"address map entry", "does not cover it"}},
        {"leftOut", {Field(m.leftOut)}, [] { ++mem::addressMap.leftOut; }, {"address map", "leftOut"}},
        {"a block in the map marked left out", {Field(f->InAddressMap)},
         [f] { f->InAddressMap = false; }, {"address map entry", "block 1", "not in the map"}},
        {"a left-out block marked in the map", {Field(hugeBlock->InAddressMap)},
         [this] { hugeBlock->InAddressMap = true; }, {"block 3", "address map lacks its piece"}},
    };
    for (const Corruption& c : cases)
        ExpectNamed(c);
}

#ifdef MEMMGR_CHECK_BOOKS
// In the checking build every operation checks the books on its way out
// and ends the program at a disagreement, also in a block it never touched.
TEST_F(MemMgrBooks, EveryOperationChecksTheBooks)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const char* disagree = "memory manager books disagree: block 2: dedicated UsedSize";
    EXPECT_DEATH(
        {
            dedicatedBlock->UsedSize = 0;
            GetMem(1);
        },
        disagree);
    EXPECT_DEATH(
        {
            dedicatedBlock->UsedSize = 0;
            PutMem(after);
        },
        disagree);
    EXPECT_DEATH(
        {
            dedicatedBlock->UsedSize = 0;
            AdjustMem(after, 40);
        },
        disagree);
    // A stray write that leaves the bitmaps as they were is found by the
    // block checked in rotation, within as many operations as blocks.
    EXPECT_DEATH(
        {
            fullBlock->Node[7].pAddr = fullBlock->pMemory;
            for (int i = 0; i < 4; ++i)
                PutMem(nullptr);
        },
        "memory manager books disagree: block 1 node 7: an empty Node record has a pAddr");
}
#endif

}  // namespace
