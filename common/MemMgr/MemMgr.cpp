// Allocation, release and resizing of memory in blocks of 32-byte nodes.
//
// A small request takes the leftmost run of free nodes that fits, searching
// the blocks from the oldest (first fit); a request larger than one block
// gets a dedicated block.  The free-node bitmap, the run bounds kept per
// block and the chain index only speed the search up: the position chosen is
// always the leftmost run of the request's number of free marks in the
// oldest MAT that has one.
#include "FailAt.h"
#include "FreeMap.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

// A request of n bytes with room for a terminator, in whole nodes.
long RoundRequest(long n)
{
    long withTerminator = n + 1;
    long rounded = withTerminator / MEM_NODE_SIZE * MEM_NODE_SIZE;
    if (withTerminator % MEM_NODE_SIZE != 0)
        rounded += MEM_NODE_SIZE;
    return rounded;
}

// Clear a whole number of nodes.  Up to four nodes take four node-sized
// clears at offsets that overlap as needed (no branch on the size, which
// follows no pattern), up to eight two clears of four nodes.
void ClearNodes(char* addr, size_t bytes)
{
    constexpr size_t node = MEM_NODE_SIZE;
    if (bytes <= 4 * node) {
        char* last = addr + bytes - node;
        std::memset(addr, 0, node);
        std::memset(std::min(addr + node, last), 0, node);
        std::memset(std::min(addr + 2 * node, last), 0, node);
        std::memset(last, 0, node);
    } else if (bytes <= 8 * node) {
        std::memset(addr, 0, 4 * node);
        std::memset(addr + bytes - 4 * node, 0, 4 * node);
    } else {
        std::memset(addr, 0, bytes);
    }
}

// Hand out units nodes from pos, zero-filled.
[[gnu::always_inline]] inline char* TakeNodes(MemBlock* b, int pos, int units)
{
    char* addr = b->pMemory + static_cast<long>(pos) * MEM_NODE_SIZE;
    size_t bytes = static_cast<size_t>(units) * MEM_NODE_SIZE;
    mem::MarkUsed(b, pos, units);
    mem::SetStart(b, pos);
    b->Node[pos].Nodes = static_cast<uint16_t>(units);
    b->Node[pos].pAddr = addr;
    b->FreeNodeCount -= units;
    mem::Unpoison(addr, bytes);
    ClearNodes(addr, bytes);
    return addr;
}

// Take n nodes from pos back; the caller keeps the allocation records.
void ReleaseNodes(MemBlock* b, int pos, int n)
{
    mem::MarkFree(b, pos, n);
    b->FreeNodeCount += n;
    mem::Poison(b->pMemory + static_cast<long>(pos) * MEM_NODE_SIZE,
                static_cast<size_t>(n) * MEM_NODE_SIZE);
}

void* GetDedicated(long rounded)
{
    long blocks = (rounded + MEM_BLOCK_SIZE - 1) / MEM_BLOCK_SIZE;
    if (blocks > INT_MAX / MEM_BLOCK_SIZE) {
        mem::ReportOutOfMem();
        return nullptr;
    }
    MemBlock* b = GetNewBlock(static_cast<int>(blocks * MEM_BLOCK_SIZE));
    if (!b)
        return nullptr;
    mem::MarkUsed(b, 0, MEM_BLOCK_NODES);
    mem::SetRunBound(b, 0);
    std::memset(b->RunWords, 0, sizeof b->RunWords);
    mem::chainIndex.classes[b->Slot] = 0;
    b->FreeNodeCount = 0;
    b->UsedSize = static_cast<int>(rounded);
    mem::Unpoison(b->pMemory, static_cast<size_t>(rounded));
    std::memset(b->pMemory, 0, static_cast<size_t>(rounded));
    return b->pMemory;
}

// Node position of an address in a shared block.
int NodeIndex(const MemBlock* b, const void* p)
{
    return static_cast<int>((static_cast<const char*>(p) - b->pMemory) / MEM_NODE_SIZE);
}

// An address counts as an allocation when it lies in the first node of one:
// in a shared block the node must carry an allocation record (its bit in
// Map), in a dedicated block it is the block's first node.
bool IsAllocation(const MemBlock* b, const void* p)
{
    int i = NodeIndex(b, p);
    if (b->Size > MEM_BLOCK_SIZE)
        return i == 0;
    return mem::StartsAllocation(b, i);
}

// GetMem of an already rounded size (which GetMem rounds once more).
void* GetMemRounded(long rounded)
{
    if (rounded > INT_MAX) {
        mem::ReportOutOfMem();
        return nullptr;
    }
    return GetMem(static_cast<int>(rounded));
}

// Resize an allocation of a shared block that stays small (at most one
// block's worth of nodes).
void* AdjustNodes(MemBlock* b, char* p, int units)
{
    int i = NodeIndex(b, p);
    MemNode& rec = b->Node[i];
    int old = rec.Nodes;
    if (units == old)
        return p;
    if (units < old) {
        int d = old - units;
        std::memset(rec.pAddr + static_cast<long>(units) * MEM_NODE_SIZE, 0,
                    static_cast<size_t>(d) * MEM_NODE_SIZE);
        ReleaseNodes(b, i + units, d);
        rec.Nodes = static_cast<uint16_t>(units);
        return p;
    }
    int d = units - old;
    size_t grow = static_cast<size_t>(d) * MEM_NODE_SIZE;
    size_t oldBytes = static_cast<size_t>(old) * MEM_NODE_SIZE;
    if (mem::RunIsFree(b, i + old, d)) {
        // Grow forward into the free nodes that follow.
        char* tail = rec.pAddr + oldBytes;
        mem::MarkUsed(b, i + old, d);
        b->FreeNodeCount -= d;
        mem::Unpoison(tail, grow);
        std::memset(tail, 0, grow);
        rec.Nodes = static_cast<uint16_t>(units);
        return rec.pAddr;
    }
    if (mem::RunIsFree(b, i - d, d)) {
        // Move down over the free nodes just before it; the new range covers
        // all of the old one, so the two overlap when d < old.
        int j = i - d;
        char* dest = b->pMemory + static_cast<long>(j) * MEM_NODE_SIZE;
        mem::MarkUsed(b, j, d);
        b->FreeNodeCount -= d;
        mem::Unpoison(dest, grow);
        std::memmove(dest, rec.pAddr, oldBytes);
        std::memset(dest + oldBytes, 0, grow);
        mem::ClearStart(b, i);
        mem::SetStart(b, j);
        b->Node[j].Nodes = static_cast<uint16_t>(units);
        b->Node[j].pAddr = dest;
        rec = MemNode{};
        return dest;
    }
    auto* moved = static_cast<char*>(GetMemRounded(static_cast<long>(units) * MEM_NODE_SIZE));
    if (!moved)
        return nullptr;
    std::memcpy(moved, rec.pAddr, oldBytes);
    PutMem(p);
    return moved;
}

// Resize a dedicated allocation, or a small one that outgrows a block.
void* AdjustLarge(MemBlock* b, char* p, long rounded)
{
    bool dedicated = b->Size > MEM_BLOCK_SIZE;
    if (rounded <= b->Size) {
        // Only a dedicated block gets here: it keeps its allocation however
        // small it becomes; the bytes beyond the handed-out size stay zero.
        size_t used = static_cast<size_t>(b->UsedSize);
        size_t want = static_cast<size_t>(rounded);
        if (want < used) {
            std::memset(b->pMemory + want, 0, used - want);
            mem::Poison(b->pMemory + want, used - want);
        } else if (want > used) {
            mem::Unpoison(b->pMemory + used, want - used);
            std::memset(b->pMemory + used, 0, want - used);
        }
        b->UsedSize = static_cast<int>(rounded);
        return p;
    }
    auto* moved = static_cast<char*>(GetMemRounded(rounded));
    if (!moved)
        return nullptr;
    if (dedicated) {
        // Beyond UsedSize the region is all zeros, as is the new allocation.
        std::memcpy(moved, b->pMemory, static_cast<size_t>(b->UsedSize));
    } else {
        const MemNode& rec = b->Node[NodeIndex(b, p)];
        std::memcpy(moved, rec.pAddr, static_cast<size_t>(rec.Nodes) * MEM_NODE_SIZE);
    }
    PutMem(p);
    return moved;
}

// GetMem of every request but a short one that a block of the chain can
// serve: kept apart so that the short path stays small.
[[gnu::noinline]] void* GetMemSlow(int size)
{
    if (size <= 0)
        return nullptr;
    long rounded = RoundRequest(size);
    if (rounded > MEM_BLOCK_SIZE)
        return GetDedicated(rounded);
    int units = static_cast<int>(rounded / MEM_NODE_SIZE);
    int pos = 0;
    MemBlock* b = mem::FirstFit(units, &pos);
    if (!b) {
        // No block has room: a new one goes to the tail of the chain.
        b = GetNewBlock(static_cast<int>(rounded));
        if (!b)
            return nullptr;
        pos = 0;
    }
    return TakeNodes(b, pos, units);
}

// The largest request whose nodes a short run (RUN_CLASSES) holds.
constexpr int SHORT_REQUEST = mem::RUN_CLASSES * MEM_NODE_SIZE - 1;

}  // namespace

void* GetMem(int size)
{
    MEMMGR_CHECK_BOOKS_ON_RETURN();
    MEMMGR_FAIL_AT_HOOK();
    if (size > 0 && size <= SHORT_REQUEST) {
        int units = (size + MEM_NODE_SIZE) / MEM_NODE_SIZE;  // with the terminator
        int pos = 0;
        if (MemBlock* b = mem::FirstFitShort(units, &pos))
            return mem::Described(TakeNodes(b, pos, units));
    }
    return mem::Described(GetMemSlow(size));
}

void PutMem(void* p)
{
    MEMMGR_CHECK_BOOKS_ON_RETURN();
    MemBlock* b = mem::BlockOf(p);
    if (!b || !IsAllocation(b, p))
        return;
    if (mem::UnderMemcheck())
        mem::DescribeRelease(b, p);
    if (b->Size > MEM_BLOCK_SIZE) {
        FreeBlock(b);
        return;
    }
    // The length comes from the bitmaps, which are at hand, rather than from
    // the allocation record, which is only written.
    int i = NodeIndex(b, p);
    int n = mem::FreeInWord(b, i);
    if (n == 0) {
        n = mem::AllocationLength(b, i);
        mem::MarkFree(b, i, n);
        mem::ClearStart(b, i);
    }
    b->FreeNodeCount += n;
    mem::Poison(p, static_cast<size_t>(n) * MEM_NODE_SIZE);
    b->Node[i] = MemNode{};
    if (b->FreeNodeCount == MEM_BLOCK_NODES)
        FreeBlock(b);
}

namespace {

// AdjustMem's work; its GetMem and PutMem are its own steps.
void* Resize(void* p, int size)
{
    if (size == 0) {
        PutMem(p);
        return nullptr;
    }
    if (size < 0)
        return nullptr;
    MemBlock* b = mem::BlockOf(p);
    if (!b || !IsAllocation(b, p))
        return GetMem(size);
    long rounded = RoundRequest(size);
    if (rounded <= MEM_BLOCK_SIZE && b->Size <= MEM_BLOCK_SIZE)
        return AdjustNodes(b, static_cast<char*>(p), static_cast<int>(rounded / MEM_NODE_SIZE));
    return AdjustLarge(b, static_cast<char*>(p), rounded);
}

}  // namespace

void* AdjustMem(void* p, int size)
{
    MEMMGR_CHECK_BOOKS_ON_RETURN();
    if (mem::UnderMemcheck())
        return mem::DescribedResize(p, size, Resize);
    return Resize(p, size);
}

int TestMAT(const char* text, char ch, int count)
{
    for (int i = 0; i < count; ++i)
        if (text[i] != ch)
            return 0;
    return 1;
}
