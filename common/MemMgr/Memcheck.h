// The manager's memory as valgrind's memcheck should see it.  Compiled in
// when the valgrind headers are at hand and the address sanitizer (which
// poisons free nodes its own way) is not.  Under valgrind every allocation
// is a block of one memory pool, its whole nodes; free nodes belong to
// nobody.  So memcheck reports a use after PutMem, or a write past an
// allocation's nodes, where it happens.  Outside valgrind the cost is a
// test of one word on the way through GetMem, PutMem and AdjustMem.
#pragma once

#include <cstddef>

struct MemBlock;

#if !defined(MEMMGR_POISONS) && defined(__has_include)
#if __has_include(<valgrind/memcheck.h>)
#define MEMMGR_MEMCHECK 1
#endif
#endif

namespace mem {

#ifdef MEMMGR_MEMCHECK

// -1 until the first test, then 1 under valgrind, 0 otherwise.  A constant
// initial value, so an allocation made before main is described too.
extern int memcheckState;
bool StartMemcheck();

inline bool UnderMemcheck()
{
    return __builtin_expect(memcheckState != 0, 0) && StartMemcheck();
}

// A new allocation at p; null is none.
void DescribeAllocation(void* p);
// p, in the first node of an allocation of block b, is given back.
void DescribeRelease(const MemBlock* b, const void* p);
// AdjustMem under memcheck: resize does the work; its own GetMem and
// PutMem are steps of the one change described at the end.
void* DescribedResize(void* p, int size, void* (*resize)(void*, int));
void MarkNoAccess(const void* p, size_t n);
void MarkUndefined(const void* p, size_t n);

#else

constexpr bool UnderMemcheck()
{
    return false;
}
inline void DescribeAllocation(void*) {}
inline void DescribeRelease(const MemBlock*, const void*) {}
inline void* DescribedResize(void* p, int size, void* (*resize)(void*, int))
{
    return resize(p, size);
}
inline void MarkNoAccess(const void*, size_t) {}
inline void MarkUndefined(const void*, size_t) {}

#endif

// GetMem's result on its way out.
inline void* Described(void* p)
{
    if (UnderMemcheck())
        DescribeAllocation(p);
    return p;
}

}  // namespace mem
