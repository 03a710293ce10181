// Descriptions of allocations for valgrind's memcheck (see Memcheck.h).
// Each allocation is a chunk of one memory pool, its whole nodes (a
// dedicated block: the bytes handed out, whole nodes too): memcheck then
// keeps where it was made and where it was given back, and names both when
// a stale pointer is used.  The manager keeps the rest of a last node zero
// and its own tests and DumpMem read it, so it belongs to the allocation,
// as in the sanitizer build.
#include "MemMgrImpl.h"

#ifdef MEMMGR_MEMCHECK

#include <valgrind/memcheck.h>

namespace {

// The pool's anchor: its address names the pool.
char pool;
// Inside AdjustMem: its own GetMem and PutMem are not the caller's.
int resizing = 0;

// The allocation holding p in its first node: its start (in *start) and
// the bytes of its nodes; 0 when p is in no allocation.
size_t Allocation(const void* p, char** start)
{
    MemBlock* b = mem::BlockOf(p);
    if (!b)
        return 0;
    long node = (static_cast<const char*>(p) - b->pMemory) / MEM_NODE_SIZE;
    *start = b->pMemory + node * MEM_NODE_SIZE;
    if (b->Size > MEM_BLOCK_SIZE)
        return node == 0 ? static_cast<size_t>(b->UsedSize) : 0;
    return static_cast<size_t>(b->Node[node].Nodes) * MEM_NODE_SIZE;
}

}  // namespace

namespace mem {

int memcheckState = -1;

bool StartMemcheck()
{
    if (memcheckState < 0) {
        memcheckState = RUNNING_ON_VALGRIND ? 1 : 0;
        // Allocations come zero-filled: memcheck takes them as defined.
        if (memcheckState > 0)
            VALGRIND_CREATE_MEMPOOL(&pool, 0, 1);
    }
    return memcheckState > 0;
}

void DescribeAllocation(void* p)
{
    char* start = nullptr;
    if (!p || resizing)
        return;
    VALGRIND_MEMPOOL_ALLOC(&pool, p, Allocation(p, &start));
}

void DescribeRelease(const MemBlock* b, const void* p)
{
    if (resizing)
        return;
    long node = (static_cast<const char*>(p) - b->pMemory) / MEM_NODE_SIZE;
    VALGRIND_MEMPOOL_FREE(&pool, b->pMemory + node * MEM_NODE_SIZE);
}

void* DescribedResize(void* p, int size, void* (*resize)(void*, int))
{
    char* start = nullptr;
    // A new allocation, a release, or nothing: described on their own.
    if (Allocation(p, &start) == 0 || size <= 0)
        return resize(p, size);
    ++resizing;
    auto* q = static_cast<char*>(resize(p, size));
    --resizing;
    // Out of memory, the allocation stays as it was.
    if (!q)
        return nullptr;
    char* at = nullptr;
    size_t span = Allocation(q, &at);
    if (q == start) {
        VALGRIND_MEMPOOL_CHANGE(&pool, start, q, span);
    } else {
        // Moved: the old place counts as given back, so a stale pointer's
        // use is reported as a use after release.  The new place may
        // overlap the old one, so it is described after.
        VALGRIND_MEMPOOL_FREE(&pool, start);
        VALGRIND_MEMPOOL_ALLOC(&pool, q, span);
    }
    return q;
}

void MarkNoAccess(const void* p, size_t n)
{
    VALGRIND_MAKE_MEM_NOACCESS(p, n);
}

void MarkUndefined(const void* p, size_t n)
{
    VALGRIND_MAKE_MEM_UNDEFINED(p, n);
}

}  // namespace mem

#endif
