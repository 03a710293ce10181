// Diagnostic print of every block of the chain and every allocation in it.
#include "MemMgrImpl.h"

#include <cstdio>

namespace {

long AsLong(const void* p)
{
    return static_cast<long>(reinterpret_cast<intptr_t>(p));
}

void DumpDedicated(const MemBlock* b)
{
    std::printf("\n============ Dedicated Block(%li) size(%li) FreeNodeCount(%i) <==(%li) (%li)==>",
                AsLong(b->pMemory), static_cast<long>(b->Size), b->FreeNodeCount,
                AsLong(b->pPrev), AsLong(b->pNext));
}

void DumpShared(const MemBlock* b)
{
    int freeMarks = 0;
    int recordedNodes = 0;
    for (int i = 0; i < MEM_BLOCK_NODES; ++i) {
        freeMarks += b->MAT[i] == MAT_FREE;
        recordedNodes += b->Node[i].Nodes;
    }
    std::printf("\n============ Block(%li) size(%li) Free(%i) Used(%i) FreeNodeCount(%i) "
                "SizeCnt(%i) <==(%li) (%li)==>\n\tBlock MAT:",
                AsLong(b), static_cast<long>(b->Size), freeMarks, MEM_BLOCK_NODES - freeMarks,
                b->FreeNodeCount, MEM_BLOCK_NODES - recordedNodes, AsLong(b->pPrev),
                AsLong(b->pNext));
    for (int i = 0; i < MEM_BLOCK_NODES; ++i) {
        if (i % 64 == 0)
            std::fputs("\n\t", stdout);
        std::putchar(b->MAT[i] == MAT_FREE ? '_' : b->MAT[i]);
    }
    std::fputs("\n\n\tAllocated Nodes:\n", stdout);
    for (int i = 0; i < MEM_BLOCK_NODES; ++i) {
        const MemNode& n = b->Node[i];
        if (n.Nodes == 0 || !n.pAddr)
            continue;
        // The contents are printed as a string, but never past the
        // allocation when its terminator was overwritten.
        int size = n.Nodes * MEM_NODE_SIZE;
        std::printf("\tMAT index(%6i) Memory Addr(%6li) nodes(%5i) size(%5i) Memory(%.*s)\n", i,
                    AsLong(n.pAddr), n.Nodes, size, size, n.pAddr);
    }
}

}  // namespace

void DumpMem()
{
    for (const MemBlock* b = pMemB; b; b = b->pNext) {
        if (b->Size > MEM_BLOCK_SIZE)
            DumpDedicated(b);
        else
            DumpShared(b);
        std::putchar('\n');
    }
}
