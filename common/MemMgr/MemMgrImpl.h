// Helpers shared by the memory manager's sources: region sizes, the free
// node bitmap that mirrors each block's MAT, and the address-sanitizer
// poisoning of free nodes.
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

// Mark n nodes from pos used or free, in the MAT and in the bitmap.
void MarkUsed(MemBlock* b, int pos, int n);
void MarkFree(MemBlock* b, int pos, int n);
// 1 when the n nodes from pos all exist and are free.
bool RunIsFree(const MemBlock* b, int pos, int n);
// Position of the leftmost run of units free nodes, or -1.
int FindFreeRun(const MemBlock* b, int units);
// Length of the longest free run of the block.
int LongestFreeRun(const MemBlock* b);
// Length of the free run ending just before pos / starting at pos.
int FreeBefore(const MemBlock* b, int pos);
int FreeAfter(const MemBlock* b, int pos);

}  // namespace mem
