// The free-node bitmap of a block: one bit per node, set when the node is
// free, kept in step with the MAT so that runs of free nodes are found a
// 64-bit word at a time instead of a character at a time.
#include "MemMgrImpl.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace mem {
namespace {

constexpr uint64_t ALL = ~uint64_t{0};

// Bits pos..pos+n-1 of word w (0 <= pos < 64, 0 < n, pos + n <= 64).
uint64_t Bits(int pos, int n)
{
    uint64_t run = n == 64 ? ALL : ((uint64_t{1} << n) - 1);
    return run << pos;
}

// Apply op to every word piece of the node range [pos, pos + n).
template <typename Op>
void ForRange(int pos, int n, Op op)
{
    while (n > 0) {
        int w = pos >> 6, bit = pos & 63;
        int take = std::min(n, 64 - bit);
        op(w, Bits(bit, take));
        pos += take;
        n -= take;
    }
}

}  // namespace

void MarkUsed(MemBlock* b, int pos, int n)
{
    std::memset(b->MAT + pos, MAT_USED, static_cast<size_t>(n));
    ForRange(pos, n, [b](int w, uint64_t m) { b->FreeMap[w] &= ~m; });
}

void MarkFree(MemBlock* b, int pos, int n)
{
    std::memset(b->MAT + pos, MAT_FREE, static_cast<size_t>(n));
    ForRange(pos, n, [b](int w, uint64_t m) { b->FreeMap[w] |= m; });
}

bool RunIsFree(const MemBlock* b, int pos, int n)
{
    if (pos < 0 || n < 0 || pos + n > MEM_BLOCK_NODES)
        return false;
    bool free = true;
    ForRange(pos, n, [b, &free](int w, uint64_t m) {
        if ((b->FreeMap[w] & m) != m)
            free = false;
    });
    return free;
}

// Word by word, lowest node first.  `carry` is the free run that reaches the
// top of the previous word; a run continuing it into this word starts before
// any run inside this word, so it is tried first.  Inside a word, the bits
// that start units free nodes are those left after and-ing the word with
// itself shifted by 1..units-1 (done in doubling steps).
int FindFreeRun(const MemBlock* b, int units)
{
    int carry = 0;
    for (int w = 0; w < MAP_WORDS; ++w) {
        uint64_t bits = b->FreeMap[w];
        if (bits == 0) {
            carry = 0;
            continue;
        }
        if (carry + std::countr_one(bits) >= units)
            return w * 64 - carry;
        if (units <= 64) {
            uint64_t starts = bits;
            for (int len = 1; len < units && starts != 0;) {
                int step = std::min(len, units - len);
                starts &= starts >> step;
                len += step;
            }
            if (starts != 0)
                return w * 64 + std::countr_zero(starts);
        }
        carry = bits == ALL ? carry + 64 : std::countl_one(bits);
    }
    return -1;
}

int LongestFreeRun(const MemBlock* b)
{
    int longest = 0;
    int pos = 0;
    while (pos < MEM_BLOCK_NODES) {
        int run = FreeAfter(b, pos);
        longest = std::max(longest, run);
        pos += run;
        // Skip the used nodes up to the next free one.
        while (pos < MEM_BLOCK_NODES) {
            uint64_t rest = b->FreeMap[pos >> 6] >> (pos & 63);
            if (rest != 0) {
                pos += std::countr_zero(rest);
                break;
            }
            pos = (pos | 63) + 1;
        }
    }
    return longest;
}

int FreeBefore(const MemBlock* b, int pos)
{
    int n = 0;
    while (pos > 0) {
        int bit = (pos - 1) & 63;
        // Bring node pos-1 to the top bit; zeros fill in below node 0 of
        // the word, so the count never passes the word's start.
        int run = std::countl_one(b->FreeMap[(pos - 1) >> 6] << (63 - bit));
        n += run;
        pos -= run;
        if (run <= bit)
            break;
    }
    return n;
}

int FreeAfter(const MemBlock* b, int pos)
{
    int n = 0;
    while (pos < MEM_BLOCK_NODES) {
        int bit = pos & 63;
        // Zeros fill in above the word's top node, so the count never
        // passes the word's end.
        int run = std::countr_one(b->FreeMap[pos >> 6] >> bit);
        n += run;
        pos += run;
        if (run < 64 - bit)
            break;
    }
    return n;
}

}  // namespace mem
