// Faults that memcheck must report in the memory manager's own regions,
// one per mode, so that a run under valgrind proves the manager describes
// its allocations (tests/valgrind/memcheck_faults.sh runs every mode):
//   after-put        reads an allocation after PutMem
//   past-end         writes the byte after an allocation's last node
//   after-move       reads the old place of an allocation AdjustMem moved
//   after-shrink     writes where an allocation was before AdjustMem shrank it
//   dedicated        writes past a dedicated (over 64 KiB) allocation that
//                    AdjustMem shrank in place (its nodes)
//   clean            the same steps without a fault: must run clean
#include "MemMgr.h"

#include <cstdio>
#include <cstring>

namespace {

// Reads and writes the compiler may not drop.
char Read(const char* p)
{
    return *static_cast<const volatile char*>(p);
}

void Write(char* p, char c)
{
    *static_cast<volatile char*>(p) = c;
}

char* Get(int size)
{
    return static_cast<char*>(GetMem(size));
}

// The neighbours keep the block (and the place) alive, so a fault reads
// the manager's memory, not an unmapped page.
int Run(const char* mode)
{
    const bool clean = std::strcmp(mode, "clean") == 0;
    char* keep = Get(10);
    char* p = Get(10);
    char* after = Get(10);
    std::memset(p, 'x', 11);  // the request and its terminator are the caller's
    char* last = Get(40);      // two nodes, the last allocation of the block
    if (std::strcmp(mode, "past-end") == 0)
        Write(last + 64, 'x');
    Write(last + 40, 'x');
    PutMem(last);
    PutMem(p);
    if (std::strcmp(mode, "after-put") == 0)
        return Read(p);

    // Grows past its neighbour: AdjustMem moves it.
    char* small = Get(20);
    char* wall = Get(10);
    char* moved = static_cast<char*>(AdjustMem(small, 200));
    if (moved == small) {
        std::fputs("memcheck_faults: AdjustMem did not move the allocation\n", stderr);
        return 2;
    }
    if (std::strcmp(mode, "after-move") == 0)
        return Read(small);
    Write(moved + 200, 'y');

    char* wide = Get(100);
    wide = static_cast<char*>(AdjustMem(wide, 10));
    if (std::strcmp(mode, "after-shrink") == 0)
        Write(wide + 64, 'z');
    Write(wide + 10, 'z');

    char* large = Get(100000);
    Write(large + 100000, 'w');
    large = static_cast<char*>(AdjustMem(large, 70000));
    if (std::strcmp(mode, "dedicated") == 0)
        Write(large + 70016, 'w');
    Write(large + 70000, 'w');

    for (char* q : {keep, after, wall, moved, wide, large})
        PutMem(q);
    if (!clean) {
        std::fprintf(stderr, "memcheck_faults: unknown mode %s\n", mode);
        return 2;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: memcheck_faults after-put|past-end|after-move|after-shrink|dedicated|clean\n",
                   stderr);
        return 2;
    }
    // The value read is no matter: only memcheck's report of the read is.
    return Run(argv[1]) == 2 ? 2 : 0;
}
