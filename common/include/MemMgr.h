// Block memory manager: every dynamic string and record of the program lives
// in blocks handed out here.
//
// Ordinary blocks hold 64 KiB of data carved into 32-byte nodes; each keeps a
// memory allocation table (MAT) of one character per node, ' ' for a free
// node and 'U' for a used one.  A request larger than one block gets a
// dedicated block of its own.  Memory handed out is always zero-filled and
// has room for one byte more than asked (a string terminator).
#pragma once

#include <cstdint>
#include <memory>

// Allocation unit: every allocation is a whole number of nodes.
inline constexpr int MEM_NODE_SIZE = 32;
// Data region of an ordinary (shared) block.
inline constexpr int MEM_BLOCK_SIZE = 0x10000;
// Nodes per shared block: also the length of the MAT and of the Node table.
inline constexpr int MEM_BLOCK_NODES = MEM_BLOCK_SIZE / MEM_NODE_SIZE;
// MAT characters of a free and of a used node.
inline constexpr char MAT_FREE = ' ';
inline constexpr char MAT_USED = 'U';
// Run lengths for which a block keeps the words where such runs may start.
inline constexpr int MEM_RUN_CLASSES = 8;

// Allocation record of one node position; only the first position of an
// allocation carries one, the others stay zero.
struct MemNode {
    uint16_t Nodes;  // nodes of the allocation starting here, 0 when none
    char* pAddr;     // its address (pMemory + position * 32), null when none
};

// The manager's bitmaps of 64 nodes of a block (bit k for node 64 w + k).
struct MemMapWord {
    uint64_t Free;   // the node is free
    uint64_t Start;  // an allocation starts at the node
};

// Header of one block.  It lives in a region of its own, apart from the data
// region it describes; both are released together.
struct MemBlock {
    MemBlock* pNext;    // next block of the chain, null at the tail
    MemBlock* pPrev;    // previous block, null at the head
    int Size;           // data region size: 65,536, or more for a dedicated block
    int UsedSize;       // dedicated block: bytes handed out; 0 in a shared block
    int FreeNodeCount;  // free nodes: 2048 in a new shared block, 0 when dedicated
    char* pMemory;      // the data region
    MemNode Node[MEM_BLOCK_NODES];
    char MAT[MEM_BLOCK_NODES + 1];  // NUL-terminated: exactly 2048 marks

    // The manager's own bookkeeping, kept in step with the tables above.
    // Map mirrors the MAT one bit per node (Free), so runs of free nodes are
    // found a 64-bit word at a time, and marks where a Node record starts an
    // allocation (Start).  RunBound is never less than the longest free run,
    // so a block that cannot serve a request is mostly passed over at once.
    // RunWords[c - 1] (c = 1..MEM_RUN_CLASSES) has bit w clear only when no
    // run of c free nodes starts in Map word w, so a search skips those
    // words.  Slot is the block's position in the chain.
    MemMapWord Map[MEM_BLOCK_NODES / 64];
    uint32_t RunWords[MEM_RUN_CLASSES];
    uint16_t RunBound;
    int Slot;
    uint16_t HeaderOffset;  // the header's place in its region
    bool InAddressMap;      // found by its address without a search
    bool HeaderOnHeap;  // regions taken from the heap fallback go back with
    bool DataOnHeap;    // free(), mapped ones with munmap()
};

// Head of the chain of blocks, oldest first; null when no block is live.
extern MemBlock* pMemB;
// Text of every out-of-memory report.
extern const char OutOfMem[];

// Allocate size bytes plus one, zero-filled; null for 0 or when no memory.
void* GetMem(int size);
// Free an allocation; null or an address no block holds is ignored.
void PutMem(void* p);
// Resize an allocation keeping its contents; (null, n) allocates, (p, 0)
// frees and gives null.  On failure gives null and keeps the old allocation.
void* AdjustMem(void* p, int size);
// Print every block and allocation to standard output.
void DumpMem();
// Null when the manager's records of its state all agree (the allocation
// tables and Node records, the bitmaps, the run bounds, the chain index and
// the address map), else a text naming the first disagreement: its block,
// node and record.  The text lives in a static buffer until the next call.
const char* CheckMemBooks();

// Holds memory from GetMem and gives it back with PutMem when it goes out of
// scope, so that a function keeping several saved strings frees them on
// every path.
struct PutMemDeleter {
    void operator()(void* p) const { PutMem(p); }
};
template <typename T>
using MemPtr = std::unique_ptr<T, PutMemDeleter>;
using SavedStr = MemPtr<char>;

// The manager's own steps.
MemBlock* GetNewBlock(int size);
// A zero-filled read/write region of more than length bytes (whole pages);
// onHeap, when given, tells whether it came from the heap fallback.
void* MapBlock(int length, bool* onHeap = nullptr);
MemBlock* FindBlock(const void* p);
void FreeBlock(MemBlock* block);
void PushBlock(MemBlock* block);
MemBlock* PopBlock(MemBlock* block);
int TestMAT(const char* text, char ch, int count);
