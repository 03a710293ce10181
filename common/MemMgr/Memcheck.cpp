// Descriptions of allocations for valgrind's memcheck (see Memcheck.h).
// Each allocation is a chunk of one memory pool: memcheck then keeps where
// it was made and where it was given back, and names both when a stale
// pointer is used.  The manager itself reads and clears whole nodes, so
// the bytes of an allocation's last node beyond the handed-out size are
// opened to it for a resize and closed again after.
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

// Nobody's: the bytes of p's nodes beyond the size + 1 handed out.
void CloseTail(char* p, int size)
{
    char* start = nullptr;
    size_t span = Allocation(p, &start);
    size_t handed = static_cast<size_t>(size) + 1;
    if (span > handed)
        VALGRIND_MAKE_MEM_NOACCESS(p + handed, span - handed);
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

void DescribeAllocation(void* p, int size)
{
    if (!p || resizing)
        return;
    VALGRIND_MEMPOOL_ALLOC(&pool, p, static_cast<size_t>(size) + 1);
    CloseTail(static_cast<char*>(p), size);
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
    size_t span = Allocation(p, &start);
    // A new allocation, a release, or nothing: described on their own.
    if (span == 0 || size <= 0)
        return resize(p, size);
    VALGRIND_MAKE_MEM_DEFINED(start, span);
    ++resizing;
    auto* q = static_cast<char*>(resize(p, size));
    --resizing;
    // Out of memory, the allocation stays as it was; its size is not kept
    // here, so its last node stays open.
    if (!q)
        return nullptr;
    size_t handed = static_cast<size_t>(size) + 1;
    if (q == start) {
        VALGRIND_MEMPOOL_CHANGE(&pool, start, q, handed);
    } else {
        // Moved: the old place counts as given back, so a stale pointer's
        // use is reported as a use after release.
        VALGRIND_MEMPOOL_FREE(&pool, start);
        VALGRIND_MEMPOOL_ALLOC(&pool, q, handed);
    }
    VALGRIND_MAKE_MEM_DEFINED(q, handed);
    CloseTail(q, size);
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
