// Helpers shared by the memory manager's sources: region sizes, the index
// of the chain, and the address-sanitizer poisoning of free nodes.
#pragma once

#include "MemMgr.h"

#include <cstddef>
#include <cstdint>

#if defined(__SANITIZE_ADDRESS__)
#define MEMMGR_POISONS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MEMMGR_POISONS 1
#endif
#endif

#ifdef MEMMGR_POISONS
#include <sanitizer/asan_interface.h>
#endif

namespace mem {

inline constexpr int MAP_WORDS = MEM_BLOCK_NODES / 64;

// Free nodes are poisoned so that a write past an allocation into a free
// neighbour, or a use after PutMem, is reported where it happens.
inline void Poison(const void* p, size_t n)
{
#ifdef MEMMGR_POISONS
    ASAN_POISON_MEMORY_REGION(p, n);
#else
    (void)p;
    (void)n;
#endif
}

inline void Unpoison(const void* p, size_t n)
{
#ifdef MEMMGR_POISONS
    ASAN_UNPOISON_MEMORY_REGION(p, n);
#else
    (void)p;
    (void)n;
#endif
}

// Length of the region MapBlock takes for a request of length bytes.
size_t RegionLength(size_t length);
// Give back a region from MapBlock the way it was obtained.
void ReleaseRegion(void* region, size_t length, bool onHeap);
// Write the out-of-memory line to standard error.
void ReportOutOfMem();

// The chain's index, kept beside the chain in a region of its own: the
// blocks in chain order with each one's BlockRun (so the oldest block that
// can serve a request is found without visiting every header), and the
// data regions sorted by address (so the block of an address is found by a
// binary search).
struct Region {
    uintptr_t start;  // [start, end) is a block's data region
    uintptr_t end;
    MemBlock* block;
};

struct ChainIndex {
    Region* byAddress = nullptr;  // sorted by start
    MemBlock** order = nullptr;   // chain order; a block's Slot is its place here
    uint8_t* blockRun = nullptr;  // BlockRun of order[i]
    int count = 0;
    int capacity = 0;
    void* storage = nullptr;  // one region holding the three arrays
    size_t storageLength = 0;
    bool storageOnHeap = false;
};

extern ChainIndex chainIndex;

inline bool Indexed(const MemBlock* b)
{
    return b->Slot < chainIndex.count && chainIndex.order[b->Slot] == b;
}

// Take a block's new BlockRun into the index.
inline void NoteRuns(const MemBlock* b)
{
    if (Indexed(b))
        chainIndex.blockRun[b->Slot] = b->BlockRun;
}

// Make sure one more block can be indexed; false when no memory.
bool ReserveSlot();
// The oldest block with a run of units free nodes and the position of its
// leftmost such run; null when no block has one.
MemBlock* FirstFit(int units, int* pos);

}  // namespace mem
