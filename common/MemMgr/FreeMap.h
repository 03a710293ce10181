// The free-node bitmap of a block and the longest free run starting in each
// of its words.
//
// FreeMap holds one bit per node, set when the node is free, in step with
// the MAT.  After a range changes, the WordRun of the words it touched (and
// of the word before, whose top run may go on into them) is measured again
// and BlockRun follows.  The word where the leftmost run of n free nodes
// starts is then found by comparing 32 bytes, and the run by a few shifts.
// Everything here is on the path of every GetMem and PutMem, hence inline.
#pragma once

#include "MemMgrImpl.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace mem {

inline constexpr uint64_t ALL_FREE = ~uint64_t{0};

// Bits pos..pos+n-1 (0 <= pos < 64, 0 < n, pos + n <= 64).
inline uint64_t Bits(int pos, int n)
{
    uint64_t run = n == 64 ? ALL_FREE : ((uint64_t{1} << n) - 1);
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

// The bits of x at which a run of n set bits starts (1 <= n <= 64), by
// and-ing x with itself shifted by 1..n-1 in doubling steps.
inline uint64_t RunStarts(uint64_t x, int n)
{
    for (int len = 1; len < n && x != 0;) {
        int step = std::min(len, n - len);
        x &= x >> step;
        len += step;
    }
    return x;
}

// Set bits at the top and at the bottom of x.  Or-ing in the far end bit
// keeps the count free of a special case for x == ~0 (no branch to
// mispredict); that case is added back as a 0 or 1.
inline int TopOnes(uint64_t x)
{
    return __builtin_clzll(~x | 1) + (x == ALL_FREE);
}

inline int LowOnes(uint64_t x)
{
    return __builtin_ctzll(~x | (uint64_t{1} << 63)) + (x == ALL_FREE);
}

// Longest run of set bits in x, without branches: s[j] marks where runs of
// 2^j bits start, and the length is built from its highest bit down, `at`
// marking where runs of the length found so far start.
inline int LongestRun(uint64_t x)
{
    uint64_t s[6];
    s[0] = x;
    for (int j = 1; j < 6; ++j)
        s[j] = s[j - 1] & (s[j - 1] >> (1 << (j - 1)));
    uint64_t at = ~uint64_t{0};
    int len = 0;
    for (int j = 5; j >= 0; --j) {
        uint64_t longer = at & (s[j] >> len);
        uint64_t keep = uint64_t{0} - (longer != 0);
        at = (longer & keep) | (at & ~keep);
        len += (1 << j) & static_cast<int>(keep);
    }
    return len + (x == ALL_FREE);
}

// Free nodes at the top of word w and on into word w + 1, or 0 when the
// top node of w is used.
inline int RunAcross(const MemBlock* b, int w)
{
    int tail = TopOnes(b->FreeMap[w]);
    int head = w + 1 < MAP_WORDS ? LowOnes(b->FreeMap[w + 1]) : 0;
    return tail != 0 ? tail + head : 0;
}

// Set WordRun[w] from WordInside[w] and the run across into word w + 1,
// keeping WordRunCount and (when it grows) BlockRun in step.
inline void SetWordRun(MemBlock* b, int w)
{
    int run = std::min(std::max(static_cast<int>(b->WordInside[w]), RunAcross(b, w)), 64);
    --b->WordRunCount[b->WordRun[w]];
    ++b->WordRunCount[run];
    b->WordRun[w] = static_cast<uint8_t>(run);
    if (run > b->BlockRun)
        b->BlockRun = static_cast<uint8_t>(run);
}

// After the words firstWord..lastWord changed: their WordRun, and that of
// the word before (its run across may now end sooner or later); then
// BlockRun, when its last word shrank.
inline void MeasureAround(MemBlock* b, int firstWord, int lastWord)
{
    for (int w = std::max(firstWord - 1, 0); w <= lastWord; ++w)
        SetWordRun(b, w);
    while (b->BlockRun > 0 && b->WordRunCount[b->BlockRun] == 0)
        --b->BlockRun;
    NoteRuns(b);
}

// Measure the words firstWord..lastWord from scratch.
inline void MeasureWords(MemBlock* b, int firstWord, int lastWord)
{
    for (int w = firstWord; w <= lastWord; ++w)
        b->WordInside[w] = static_cast<uint8_t>(LongestRun(b->FreeMap[w]));
    MeasureAround(b, firstWord, lastWord);
}

// Length of the free run inside word x that holds bits bit..bit+n-1,
// counting those n bits as free.
inline int RunInWord(uint64_t x, int bit, int n)
{
    int below = bit == 0 ? 0 : TopOnes(x << (64 - bit));
    int end = bit + n;
    int above = end == 64 ? 0 : LowOnes(x >> end);
    return below + n + above;
}

// A new block's MAT and bitmap: every node free.
inline void InitFreeMap(MemBlock* b)
{
    std::memset(b->MAT, MAT_FREE, MEM_BLOCK_NODES);
    b->MAT[MEM_BLOCK_NODES] = '\0';
    std::memset(b->FreeMap, 0xff, sizeof b->FreeMap);
    // Measured from a state of no free runs at all.
    std::memset(b->WordRun, 0, sizeof b->WordRun);
    std::memset(b->WordRunCount, 0, sizeof b->WordRunCount);
    b->WordRunCount[0] = MAP_WORDS;
    b->BlockRun = 0;
    MeasureWords(b, 0, MAP_WORDS - 1);
}

// Mark n nodes from pos used or free, in the MAT and the bitmap.  A range
// within one word changes only the run that holds it: freed, the joined run
// may be the word's new longest; taken, the word needs measuring again only
// when the run it split was its longest.
inline void MarkUsed(MemBlock* b, int pos, int n)
{
    if (n <= 0)
        return;
    std::memset(b->MAT + pos, MAT_USED, static_cast<size_t>(n));
    int w = pos >> 6, bit = pos & 63;
    if (bit + n <= 64) {
        uint64_t x = b->FreeMap[w];
        bool wasLongest = RunInWord(x, bit, n) == b->WordInside[w];
        b->FreeMap[w] = x & ~Bits(bit, n);
        if (wasLongest)
            b->WordInside[w] = static_cast<uint8_t>(LongestRun(b->FreeMap[w]));
        MeasureAround(b, w, w);
        return;
    }
    ForRange(pos, n, [b](int v, uint64_t m) { b->FreeMap[v] &= ~m; });
    MeasureWords(b, w, (pos + n - 1) >> 6);
}

inline void MarkFree(MemBlock* b, int pos, int n)
{
    if (n <= 0)
        return;
    std::memset(b->MAT + pos, MAT_FREE, static_cast<size_t>(n));
    int w = pos >> 6, bit = pos & 63;
    if (bit + n <= 64) {
        uint64_t x = b->FreeMap[w] | Bits(bit, n);
        b->FreeMap[w] = x;
        int joined = RunInWord(x, bit, n);
        if (joined > b->WordInside[w])
            b->WordInside[w] = static_cast<uint8_t>(joined);
        MeasureAround(b, w, w);
        return;
    }
    ForRange(pos, n, [b](int v, uint64_t m) { b->FreeMap[v] |= m; });
    MeasureWords(b, w, (pos + n - 1) >> 6);
}

// 1 when the n nodes from pos all exist and are free.
inline bool RunIsFree(const MemBlock* b, int pos, int n)
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

// False when a block whose BlockRun is blockRun surely has no run of units
// free nodes; true means it has one for units up to 64, and may for more.
inline bool MayHaveRun(int blockRun, int units)
{
    return blockRun >= std::min(units, 64);
}

// First word whose WordRun is at least units (1..64), or -1.  Eight bytes
// are compared at once: with every byte at most 64, (byte | 0x80) - units
// keeps its top bit exactly when byte >= units, and never borrows from the
// next byte.
inline int FirstWordWithRun(const MemBlock* b, int units)
{
    constexpr uint64_t ONES = 0x0101010101010101, TOPS = 0x8080808080808080;
    for (int w = 0; w < MAP_WORDS; w += 8) {
        uint64_t bytes = 0;
        std::memcpy(&bytes, b->WordRun + w, 8);
        uint64_t fits = ((bytes | TOPS) - ONES * static_cast<uint64_t>(units)) & TOPS;
        if (fits != 0) {
            if constexpr (std::endian::native == std::endian::little)
                return w + std::countr_zero(fits) / 8;
            else
                return w + std::countl_zero(fits) / 8;
        }
    }
    return -1;
}

// Runs of more than 64 nodes, word by word.  `carry` is the free run that
// reaches the top of the previous word; the first word whose free nodes at
// the start complete it gives the run.
inline int FindLongRun(const MemBlock* b, int units)
{
    int carry = 0;
    for (int w = 0; w < MAP_WORDS; ++w) {
        uint64_t bits = b->FreeMap[w];
        if (carry + LowOnes(bits) >= units)
            return w * 64 - carry;
        carry = bits == ALL_FREE ? carry + 64 : TopOnes(bits);
    }
    return -1;
}

// Position of the leftmost run of units free nodes, or -1.  It starts in
// the first word with a long enough WordRun: inside that word, or at the
// start of its top run when that goes on into the next word, whichever
// comes first.
inline int FindFreeRun(const MemBlock* b, int units)
{
    if (!MayHaveRun(b->BlockRun, units))
        return -1;
    if (units > 64)
        return FindLongRun(b, units);
    int w = FirstWordWithRun(b, units);
    if (w < 0)
        return -1;
    int pos = MEM_BLOCK_NODES;
    uint64_t starts = RunStarts(b->FreeMap[w], units);
    if (starts != 0)
        pos = w * 64 + std::countr_zero(starts);
    if (RunAcross(b, w) >= units)
        pos = std::min(pos, (w + 1) * 64 - TopOnes(b->FreeMap[w]));
    return pos;
}

// The oldest block with a run of units free nodes and the position of its
// leftmost such run; null when no block has one.
inline MemBlock* FirstFit(int units, int* pos)
{
    const uint8_t* blockRun = chainIndex.blockRun;
    for (int i = 0; i < chainIndex.count; ++i) {
        if (!MayHaveRun(blockRun[i], units))
            continue;
        *pos = FindFreeRun(chainIndex.order[i], units);
        if (*pos >= 0)
            return chainIndex.order[i];
    }
    return nullptr;
}

}  // namespace mem
