// Helpers shared by the memory manager's sources: region sizes, the index
// of the chain, and the poisoning of free nodes (for the address sanitizer,
// or for valgrind's memcheck when the program runs under it).
#pragma once

#include "MemMgr.h"

#include <algorithm>
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

#include "Memcheck.h"

namespace mem {

inline constexpr int MAP_WORDS = MEM_BLOCK_NODES / 64;
inline constexpr int RUN_CLASSES = MEM_RUN_CLASSES;

// Free nodes are poisoned so that a write past an allocation into a free
// neighbour, or a use after PutMem, is reported where it happens.
inline void Poison(const void* p, size_t n)
{
#ifdef MEMMGR_POISONS
    ASAN_POISON_MEMORY_REGION(p, n);
#else
    if (UnderMemcheck())
        MarkNoAccess(p, n);
#endif
}

inline void Unpoison(const void* p, size_t n)
{
#ifdef MEMMGR_POISONS
    ASAN_UNPOISON_MEMORY_REGION(p, n);
#else
    if (UnderMemcheck())
        MarkUndefined(p, n);
#endif
}

// Length of the region MapBlock takes for a request of length bytes.
size_t RegionLength(size_t length);
// Give back a region from MapBlock the way it was obtained.
void ReleaseRegion(void* region, size_t length, bool onHeap);
// Write the out-of-memory line to standard error.
void ReportOutOfMem();

// The chain's index, kept beside the chain in a region of its own: the
// blocks in chain order with each one's RunBound, and for each run class
// the blocks where such a run may be (so the oldest block that can serve a
// request is found without visiting every header), and the data regions
// sorted by address (so the block of an address that the address map
// below leaves out is found by a binary search).
struct Region {
    uintptr_t start;  // [start, end) is a block's data region
    uintptr_t end;
    MemBlock* block;
};

struct ChainIndex {
    Region* byAddress = nullptr;  // sorted by start
    MemBlock** order = nullptr;   // chain order; a block's Slot is its place here
    // Bit c - 1 of classes[i] is clear only when order[i] has no run of c
    // free nodes (c = 1..RUN_CLASSES).
    uint8_t* classes = nullptr;
    uint16_t* runBound = nullptr;  // RunBound of order[i]
    int count = 0;
    int capacity = 0;         // a multiple of 64
    void* storage = nullptr;  // one region holding the four arrays
    size_t storageLength = 0;
    bool storageOnHeap = false;
};

extern ChainIndex chainIndex;

inline bool Indexed(const MemBlock* b)
{
    return b->Slot < chainIndex.count && chainIndex.order[b->Slot] == b;
}

// Take a block's new RunBound into the index (the block is in the chain).
inline void NoteRuns(const MemBlock* b)
{
    chainIndex.runBound[b->Slot] = b->RunBound;
}

// The class bits of runs of 1..length nodes.
inline uint8_t ClassesUpTo(int length)
{
    return static_cast<uint8_t>((1u << std::min(length, RUN_CLASSES)) - 1);
}

// A block of the chain may now hold runs of every class up to length nodes.
inline void NoteClasses(const MemBlock* b, int length)
{
    chainIndex.classes[b->Slot] |= ClassesUpTo(length);
}

// Place in byAddress of the last region starting at or below addr, or -1.
// The search has no data-dependent branches: it is on the path of every
// PutMem.
inline int RegionAt(uintptr_t addr)
{
    if (chainIndex.count == 0)
        return -1;
    const Region* base = chainIndex.byAddress;
    for (int n = chainIndex.count; n > 1;) {
        int half = n / 2;
        base = base[half].start <= addr ? base + half : base;
        n -= half;
    }
    return base->start <= addr ? static_cast<int>(base - chainIndex.byAddress) : -1;
}

// The blocks by the 64 KiB pieces of the address space that their data
// regions cover, in an open-addressing table: PutMem finds the block of an
// address in a probe or two.  A piece may hold the end of one region and
// the start of another, each with an entry of its own.  A block with more
// pieces than MAX_PIECES (a large dedicated block), or one that found no
// room, is left out and found by the binary search of the chain's index.
inline constexpr int PIECE_SHIFT = 16;
inline constexpr uintptr_t MAX_PIECES = 64;

struct PieceEntry {
    uintptr_t key;  // piece number + 1; 0 for an empty entry
    MemBlock* block;
};

struct AddressMap {
    PieceEntry* table = nullptr;
    size_t mask = 0;     // entries - 1 (a power of two)
    size_t used = 0;
    int leftOut = 0;     // blocks of the chain not in the table
    void* storage = nullptr;
    size_t storageLength = 0;
    bool storageOnHeap = false;
};

extern AddressMap addressMap;

// The keys of the pieces that a block's data region covers, first and last.
inline uintptr_t FirstPiece(const MemBlock* b)
{
    return (reinterpret_cast<uintptr_t>(b->pMemory) >> PIECE_SHIFT) + 1;
}

inline uintptr_t LastPiece(const MemBlock* b)
{
    return ((reinterpret_cast<uintptr_t>(b->pMemory) + static_cast<uintptr_t>(b->Size) - 1) >>
            PIECE_SHIFT) + 1;
}

inline size_t PieceHash(uintptr_t key, size_t mask)
{
    return static_cast<size_t>((key * 0x9E3779B97F4A7C15u) >> 32) & mask;
}

// The block whose data region holds addr, by the binary search.
inline MemBlock* SearchBlock(uintptr_t addr)
{
    int at = RegionAt(addr);
    if (at < 0 || addr >= chainIndex.byAddress[at].end)
        return nullptr;
    return chainIndex.byAddress[at].block;
}

// The block whose data region holds p (FindBlock).
inline MemBlock* BlockOf(const void* p)
{
    auto addr = reinterpret_cast<uintptr_t>(p);
    if (const PieceEntry* table = addressMap.table) {
        uintptr_t key = (addr >> PIECE_SHIFT) + 1;
        for (size_t h = PieceHash(key, addressMap.mask); table[h].key != 0; h = (h + 1) & addressMap.mask) {
            MemBlock* b = table[h].block;
            if (table[h].key == key && addr - reinterpret_cast<uintptr_t>(b->pMemory) < static_cast<uintptr_t>(b->Size))
                return b;
        }
    }
    return addressMap.leftOut > 0 ? SearchBlock(addr) : nullptr;
}

// Make sure one more block can be indexed; false when no memory.
bool ReserveSlot();

// With MEMMGR_CHECK_BOOKS (the sanitizer build) GetMem, AdjustMem and
// PutMem check on their way out that the manager's records agree, and end
// the program at the first disagreement; otherwise the check costs nothing.
void CheckBooksAfterOperation();

struct CheckBooksOnReturn {
    CheckBooksOnReturn() = default;
    CheckBooksOnReturn(const CheckBooksOnReturn&) = delete;
    CheckBooksOnReturn& operator=(const CheckBooksOnReturn&) = delete;
    ~CheckBooksOnReturn() { CheckBooksAfterOperation(); }
};

}  // namespace mem

#ifdef MEMMGR_CHECK_BOOKS
#define MEMMGR_CHECK_BOOKS_ON_RETURN() const mem::CheckBooksOnReturn memmgrBooksChecked
#else
#define MEMMGR_CHECK_BOOKS_ON_RETURN() static_cast<void>(0)
#endif
