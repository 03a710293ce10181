// Blocks of the memory manager: their regions (mapped from the zero device,
// or from the heap when the device cannot be opened), the chain that holds
// them, oldest first, and the chain's index.
#include "FreeMap.h"

#include <algorithm>
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

using mem::chainIndex;
using mem::ChainIndex;
using mem::Region;

// Steps of the header's place in its region: a cache line.
constexpr size_t HEADER_COLOUR = 64;

// Bytes of the index for capacity slots (a multiple of 64).
size_t IndexBytes(int capacity)
{
    auto slots = static_cast<size_t>(capacity);
    return slots * (sizeof(Region) + sizeof(MemBlock*) + sizeof(uint16_t) + sizeof(uint8_t));
}

bool Grow(int capacity)
{
    ChainIndex& x = chainIndex;
    size_t bytes = IndexBytes(capacity);
    if (bytes > INT32_MAX)
        return false;
    bool onHeap = false;
    void* storage = MapBlock(static_cast<int>(bytes), &onHeap);
    if (!storage)
        return false;
    auto* byAddress = static_cast<Region*>(storage);
    auto* order = reinterpret_cast<MemBlock**>(byAddress + capacity);
    auto* runBound = reinterpret_cast<uint16_t*>(order + capacity);
    auto* classes = reinterpret_cast<uint8_t*>(runBound + capacity);
    if (x.count > 0) {
        std::memcpy(byAddress, x.byAddress, sizeof(Region) * static_cast<size_t>(x.count));
        std::memcpy(order, x.order, sizeof(MemBlock*) * static_cast<size_t>(x.count));
        std::memcpy(classes, x.classes, static_cast<size_t>(x.count));
        std::memcpy(runBound, x.runBound, sizeof(uint16_t) * static_cast<size_t>(x.count));
    }
    if (x.storage)
        mem::ReleaseRegion(x.storage, x.storageLength, x.storageOnHeap);
    x.byAddress = byAddress;
    x.order = order;
    x.classes = classes;
    x.runBound = runBound;
    x.capacity = capacity;
    x.storage = storage;
    x.storageLength = mem::RegionLength(bytes);
    x.storageOnHeap = onHeap;
    return true;
}

using mem::addressMap;
using mem::FirstPiece;
using mem::LastPiece;
using mem::PieceEntry;

void PutPiece(uintptr_t key, MemBlock* b)
{
    size_t h = mem::PieceHash(key, addressMap.mask);
    while (addressMap.table[h].key != 0)
        h = (h + 1) & addressMap.mask;
    addressMap.table[h] = PieceEntry{key, b};
    ++addressMap.used;
}

// Room for `more` entries beyond those used, at most half the table full;
// false when no region for a larger table can be had.
bool RoomForPieces(size_t more)
{
    size_t entries = addressMap.mask + 1;
    if (addressMap.table && 2 * (addressMap.used + more) <= entries)
        return true;
    size_t want = addressMap.table ? entries : 64;
    while (2 * (addressMap.used + more) > want)
        want *= 2;
    size_t bytes = want * sizeof(PieceEntry);
    if (bytes > INT32_MAX)
        return false;
    bool onHeap = false;
    auto* table = static_cast<PieceEntry*>(MapBlock(static_cast<int>(bytes), &onHeap));
    if (!table)
        return false;
    mem::AddressMap old = addressMap;
    addressMap.table = table;
    addressMap.mask = want - 1;
    addressMap.used = 0;
    addressMap.storage = table;
    addressMap.storageLength = mem::RegionLength(bytes);
    addressMap.storageOnHeap = onHeap;
    for (size_t i = 0; old.table && i <= old.mask; ++i)
        if (old.table[i].key != 0)
            PutPiece(old.table[i].key, old.table[i].block);
    if (old.storage)
        mem::ReleaseRegion(old.storage, old.storageLength, old.storageOnHeap);
    return true;
}

void MapPieces(MemBlock* b)
{
    uintptr_t first = FirstPiece(b), last = LastPiece(b);
    b->InAddressMap = last - first < mem::MAX_PIECES && RoomForPieces(last - first + 1);
    if (!b->InAddressMap) {
        ++addressMap.leftOut;
        return;
    }
    for (uintptr_t key = first; key <= last; ++key)
        PutPiece(key, b);
}

// Take entry i out; the entries after it in its probe run move up into the
// gap when their home place allows, so that no search stops short.
void ErasePiece(size_t i)
{
    PieceEntry* table = addressMap.table;
    size_t mask = addressMap.mask;
    for (size_t j = (i + 1) & mask; table[j].key != 0; j = (j + 1) & mask) {
        size_t home = mem::PieceHash(table[j].key, mask);
        // Entry j may fill the gap at i unless its home lies after i, up to j.
        bool stays = i <= j ? (home > i && home <= j) : (home > i || home <= j);
        if (!stays) {
            table[i] = table[j];
            i = j;
        }
    }
    table[i] = PieceEntry{};
    --addressMap.used;
}

void UnmapPieces(MemBlock* b)
{
    if (!b->InAddressMap) {
        --addressMap.leftOut;
        return;
    }
    for (uintptr_t key = FirstPiece(b), last = LastPiece(b); key <= last; ++key) {
        size_t h = mem::PieceHash(key, addressMap.mask);
        while (addressMap.table[h].key != key || addressMap.table[h].block != b)
            h = (h + 1) & addressMap.mask;
        ErasePiece(h);
    }
}

void AddToIndex(MemBlock* b)
{
    ChainIndex& x = chainIndex;
    auto start = reinterpret_cast<uintptr_t>(b->pMemory);
    int at = mem::RegionAt(start) + 1;
    std::memmove(x.byAddress + at + 1, x.byAddress + at, sizeof(Region) * static_cast<size_t>(x.count - at));
    x.byAddress[at] = Region{start, start + static_cast<uintptr_t>(b->Size), b};
    x.order[x.count] = b;
    x.runBound[x.count] = b->RunBound;
    x.classes[x.count] = mem::ClassesUpTo(b->RunBound);
    b->Slot = x.count;
    ++x.count;
    MapPieces(b);
}

void RemoveFromIndex(MemBlock* b)
{
    ChainIndex& x = chainIndex;
    int at = mem::RegionAt(reinterpret_cast<uintptr_t>(b->pMemory));
    std::memmove(x.byAddress + at, x.byAddress + at + 1, sizeof(Region) * static_cast<size_t>(x.count - at - 1));
    int slot = b->Slot;
    std::memmove(x.order + slot, x.order + slot + 1, sizeof(MemBlock*) * static_cast<size_t>(x.count - slot - 1));
    std::memmove(x.runBound + slot, x.runBound + slot + 1, sizeof(uint16_t) * static_cast<size_t>(x.count - slot - 1));
    std::memmove(x.classes + slot, x.classes + slot + 1, static_cast<size_t>(x.count - slot - 1));
    --x.count;
    // The index is read eight slots at a time: slots past the end hold no
    // classes.
    x.classes[x.count] = 0;
    for (int i = slot; i < x.count; ++i)
        x.order[i]->Slot = i;
    UnmapPieces(b);
    // With the chain empty the manager holds no memory at all.
    if (x.count == 0) {
        mem::ReleaseRegion(x.storage, x.storageLength, x.storageOnHeap);
        x = ChainIndex{};
        if (addressMap.storage)
            mem::ReleaseRegion(addressMap.storage, addressMap.storageLength, addressMap.storageOnHeap);
        addressMap = mem::AddressMap{};
    }
}

}  // namespace

namespace mem {

ChainIndex chainIndex;
AddressMap addressMap;

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

bool ReserveSlot()
{
    return chainIndex.count < chainIndex.capacity || Grow(std::max(64, 2 * chainIndex.capacity));
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

// Where in its region the next header goes.  Regions start on a page, so
// headers at the start of theirs would put the fields that every GetMem
// and PutMem touches into the same few cache sets, where they evict one
// another; the region's slack beyond the header spreads them out.
size_t NextHeaderOffset()
{
    static unsigned next = 0;
    size_t colours = (mem::RegionLength(sizeof(MemBlock)) - sizeof(MemBlock)) / HEADER_COLOUR + 1;
    return next++ % colours * HEADER_COLOUR;
}

MemBlock* GetNewBlock(int size)
{
    int dataSize = size <= MEM_BLOCK_SIZE ? MEM_BLOCK_SIZE : size;
    bool headerOnHeap = false;
    bool dataOnHeap = false;
    char* header = nullptr;
    char* data = nullptr;
    if (mem::ReserveSlot()) {
        header = static_cast<char*>(MapBlock(sizeof(MemBlock), &headerOnHeap));
        data = header ? static_cast<char*>(MapBlock(dataSize, &dataOnHeap)) : nullptr;
    }
    if (!data) {
        if (header)
            mem::ReleaseRegion(header, mem::RegionLength(sizeof(MemBlock)), headerOnHeap);
        mem::ReportOutOfMem();
        return nullptr;
    }
    size_t offset = NextHeaderOffset();
    auto* block = reinterpret_cast<MemBlock*>(header + offset);
    std::memset(static_cast<void*>(block), 0, sizeof(MemBlock));
    mem::InitFreeMap(block);
    block->Size = dataSize;
    block->pMemory = data;
    block->FreeNodeCount = MEM_BLOCK_NODES;
    block->HeaderOffset = static_cast<uint16_t>(offset);
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
    return mem::BlockOf(p);
}

void FreeBlock(MemBlock* block)
{
    if (!block)
        return;
    PopBlock(block);
    size_t dataLength = mem::RegionLength(static_cast<size_t>(block->Size));
    bool headerOnHeap = block->HeaderOnHeap;
    char* header = reinterpret_cast<char*>(block) - block->HeaderOffset;
    mem::Unpoison(block->pMemory, dataLength);
    mem::ReleaseRegion(block->pMemory, dataLength, block->DataOnHeap);
    mem::ReleaseRegion(header, mem::RegionLength(sizeof(MemBlock)), headerOnHeap);
}

void PushBlock(MemBlock* block)
{
    if (!block)
        return;
    if (!mem::ReserveSlot()) {
        mem::ReportOutOfMem();
        return;
    }
    if (chainIndex.count == 0) {
        pMemB = block;
    } else {
        MemBlock* tail = chainIndex.order[chainIndex.count - 1];
        tail->pNext = block;
        block->pPrev = tail;
    }
    AddToIndex(block);
}

// Gives the new head when the head is taken out, else the block itself; the
// block's own links are left as they were.
MemBlock* PopBlock(MemBlock* block)
{
    if (!block)
        return nullptr;
    if (mem::Indexed(block))
        RemoveFromIndex(block);
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
