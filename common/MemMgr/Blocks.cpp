// Blocks of the memory manager: their regions (mapped from the zero device,
// or from the heap when the device cannot be opened) and the chain that
// holds them, oldest first.
#include "MemMgrImpl.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

MemBlock* pMemB = nullptr;
const char OutOfMem[] = "Unable to allocate memory";

namespace {

// Descriptor of "/dev/zero", opened on the first region request and kept
// open; -1 while it is not open (a failed open is tried again next time).
int zeroDevice = -1;

size_t PageSize()
{
    static const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    return page;
}

}  // namespace

namespace mem {

// The smallest multiple of the page size that is greater than length.
size_t RegionLength(size_t length)
{
    return (length / PageSize() + 1) * PageSize();
}

void ReleaseRegion(void* region, size_t length, bool onHeap)
{
    if (onHeap)
        std::free(region);
    else
        munmap(region, length);
}

void ReportOutOfMem()
{
    std::fprintf(stderr, "ERROR: %s\n", OutOfMem);
}

}  // namespace mem

void* MapBlock(int length, bool* onHeap)
{
    if (onHeap)
        *onHeap = false;
    if (length < 0)
        return nullptr;
    size_t len = mem::RegionLength(static_cast<size_t>(length));
    if (zeroDevice == -1)
        zeroDevice = open("/dev/zero", O_RDWR | O_CLOEXEC);
    if (zeroDevice == -1) {
        void* region = std::calloc(1, len);
        if (region && onHeap)
            *onHeap = true;
        return region;
    }
    void* region = mmap(nullptr, len, PROT_READ | PROT_WRITE, MAP_PRIVATE, zeroDevice, 0);
    return region == MAP_FAILED ? nullptr : region;
}

MemBlock* GetNewBlock(int size)
{
    int dataSize = size <= MEM_BLOCK_SIZE ? MEM_BLOCK_SIZE : size;
    bool headerOnHeap = false;
    bool dataOnHeap = false;
    auto* block = static_cast<MemBlock*>(MapBlock(sizeof(MemBlock), &headerOnHeap));
    auto* data = block ? static_cast<char*>(MapBlock(dataSize, &dataOnHeap)) : nullptr;
    if (!data) {
        if (block)
            mem::ReleaseRegion(block, mem::RegionLength(sizeof(MemBlock)), headerOnHeap);
        mem::ReportOutOfMem();
        return nullptr;
    }
    std::memset(static_cast<void*>(block), 0, sizeof(MemBlock));
    std::memset(block->MAT, MAT_FREE, MEM_BLOCK_NODES);
    block->MAT[MEM_BLOCK_NODES] = '\0';
    std::memset(block->FreeMap, 0xff, sizeof block->FreeMap);
    block->RunHint = MEM_BLOCK_NODES;
    block->Size = dataSize;
    block->pMemory = data;
    block->FreeNodeCount = MEM_BLOCK_NODES;
    block->HeaderOnHeap = headerOnHeap;
    block->DataOnHeap = dataOnHeap;
    // Every node is free until handed out, and the page beyond the data
    // belongs to nobody.
    mem::Poison(data, mem::RegionLength(static_cast<size_t>(dataSize)));
    PushBlock(block);
    return block;
}

// The data region holds [pMemory, pMemory + Size): an address one past its
// end belongs to no block.
MemBlock* FindBlock(const void* p)
{
    if (!p)
        return nullptr;
    auto addr = reinterpret_cast<uintptr_t>(p);
    for (MemBlock* b = pMemB; b; b = b->pNext) {
        auto start = reinterpret_cast<uintptr_t>(b->pMemory);
        if (addr >= start && addr - start < static_cast<uintptr_t>(b->Size))
            return b;
    }
    return nullptr;
}

void FreeBlock(MemBlock* block)
{
    if (!block)
        return;
    PopBlock(block);
    size_t dataLength = mem::RegionLength(static_cast<size_t>(block->Size));
    bool headerOnHeap = block->HeaderOnHeap;
    mem::Unpoison(block->pMemory, dataLength);
    mem::ReleaseRegion(block->pMemory, dataLength, block->DataOnHeap);
    mem::ReleaseRegion(block, mem::RegionLength(sizeof(MemBlock)), headerOnHeap);
}

void PushBlock(MemBlock* block)
{
    if (!block)
        return;
    if (!pMemB) {
        pMemB = block;
        return;
    }
    MemBlock* tail = pMemB;
    while (tail->pNext)
        tail = tail->pNext;
    tail->pNext = block;
    block->pPrev = tail;
}

// Gives the new head when the head is taken out, else the block itself; the
// block's own links are left as they were.
MemBlock* PopBlock(MemBlock* block)
{
    if (!block)
        return nullptr;
    if (block == pMemB) {
        pMemB = block->pNext;
        if (pMemB)
            pMemB->pPrev = nullptr;
        return pMemB;
    }
    if (block->pNext) {
        if (block->pPrev)
            block->pPrev->pNext = block->pNext;
        block->pNext->pPrev = block->pPrev;
    } else if (block->pPrev) {
        block->pPrev->pNext = nullptr;
    }
    return block;
}
