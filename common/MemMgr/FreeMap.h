// The free-node bitmap of a block, the allocation-start bitmap, and the
// bounds that let a search for a free run skip what cannot serve it.
//
// Map holds two bits per node: Free, set when the node is free, and Start,
// set where an allocation starts; both are in step with the MAT and the
// Node records.  The two words of 64 nodes share a cache line.  The bounds may only claim too much:
// RunBound is never less than the longest free run of the block;
// RunWords[c - 1] has a bit per word of Map that is clear only where no
// run of c free nodes starts in that word; the chain index keeps per block
// the classes c it may hold.  Taking nodes only shortens runs, so it leaves
// all of them true without any work; freeing nodes raises RunBound to the
// joined run and sets the classes up to its length, for its words and its
// block.  A search that finds no run in a word clears the word's bit, and
// one that finds none in a block clears the block's class (or lowers
// RunBound).  A search thus visits only words that may hold a start, in
// order, and still finds the leftmost run; every bit it clears was set by a
// free, so the failures cost no more than the frees that caused them.
// Everything here is on the path of every GetMem and PutMem, hence inline,
// and kept free of branches that depend on the request's size where that
// is cheap: the sizes of a program's strings follow no pattern.
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

// Bits first..last of a word mask (0 <= first <= last < 32).
inline uint32_t WordBits(int first, int last)
{
    return ((uint32_t{2} << last) - 1) & ~((uint32_t{1} << first) - 1);
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
// and-ing x with itself shifted in doubling steps.  Up to 8 bits it takes
// three steps whatever n is, which make runs of min(n, 2), min(n, 4) and n
// bits (a step of 0 changes nothing): no branch.
inline uint64_t RunStarts(uint64_t x, int n)
{
    if (n <= 8) {
        int two = std::min(n, 2), four = std::min(n, 4);
        x &= x >> (two - 1);
        x &= x >> (four - two);
        return x & (x >> (n - four));
    }
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

// Free nodes directly before pos, and from pos on.
inline int FreeBefore(const MemBlock* b, int pos)
{
    int w = pos >> 6, bit = pos & 63;
    int n = bit == 0 ? 0 : TopOnes(b->Map[w].Free << (64 - bit));
    if (n < bit)
        return n;
    while (--w >= 0 && b->Map[w].Free == ALL_FREE)
        n += 64;
    return w >= 0 ? n + TopOnes(b->Map[w].Free) : n;
}

inline int FreeFrom(const MemBlock* b, int pos)
{
    if (pos >= MEM_BLOCK_NODES)
        return 0;
    int w = pos >> 6, bit = pos & 63;
    int n = LowOnes(b->Map[w].Free >> bit);
    if (n < 64 - bit)
        return n;
    n = 64 - bit;
    while (++w < MAP_WORDS && b->Map[w].Free == ALL_FREE)
        n += 64;
    return w < MAP_WORDS ? n + LowOnes(b->Map[w].Free) : n;
}

// The RunWords mask that covers runs of n nodes: runs longer than the
// classes kept begin with a run of the longest class.
inline int RunClass(int n)
{
    return std::min(n, RUN_CLASSES);
}

inline void SetRunBound(MemBlock* b, int bound)
{
    b->RunBound = static_cast<uint16_t>(bound);
    NoteRuns(b);
}

// A new block: every node free, no allocation.
inline void InitFreeMap(MemBlock* b)
{
    std::memset(b->MAT, MAT_FREE, MEM_BLOCK_NODES);
    b->MAT[MEM_BLOCK_NODES] = '\0';
    for (MemMapWord& word : b->Map)
        word = MemMapWord{ALL_FREE, 0};
    std::memset(b->RunWords, 0xff, sizeof b->RunWords);
    b->RunBound = MEM_BLOCK_NODES;
}

// The MAT marks of n nodes from pos, only written (a table line that is
// not at hand is then no wait).  Up to four marks take four one-byte
// stores at places that overlap as needed, with no branch on n; up to eight
// two overlapping four-byte stores.
inline void SetMarks(MemBlock* b, int pos, int n, char mark)
{
    char* at = b->MAT + pos;
    if (n <= 4) {
        int last = n - 1;
        at[0] = mark;
        at[std::min(1, last)] = mark;
        at[std::min(2, last)] = mark;
        at[last] = mark;
    } else if (n <= 8) {
        uint32_t four = 0x01010101u * static_cast<unsigned char>(mark);
        std::memcpy(at, &four, 4);
        std::memcpy(at + n - 4, &four, 4);
    } else {
        std::memset(at, mark, static_cast<size_t>(n));
    }
}

// Mark n free nodes from pos used, in the MAT and the bitmap.
[[gnu::always_inline]] inline void MarkUsed(MemBlock* b, int pos, int n)
{
    if (n <= 0)
        return;
    SetMarks(b, pos, n, MAT_USED);
    int bit = pos & 63;
    if (bit + n <= 64)
        b->Map[pos >> 6].Free &= ~Bits(bit, n);
    else
        ForRange(pos, n, [b](int w, uint64_t m) { b->Map[w].Free &= ~m; });
}

// Mark n used nodes from pos free.  They join the runs before and after
// them; runs of up to the joined run's length may now start in its words.
[[gnu::always_inline]] inline void MarkFree(MemBlock* b, int pos, int n)
{
    if (n <= 0)
        return;
    SetMarks(b, pos, n, MAT_FREE);
    int bit = pos & 63;
    if (bit + n <= 64)
        b->Map[pos >> 6].Free |= Bits(bit, n);
    else
        ForRange(pos, n, [b](int w, uint64_t m) { b->Map[w].Free |= m; });
    int start = pos - FreeBefore(b, pos);
    int end = pos + n + FreeFrom(b, pos + n);
    int length = end - start;
    if (length > b->RunBound)
        SetRunBound(b, length);
    uint32_t words = WordBits(start >> 6, (end - 1) >> 6);
    for (int c = 0; c < RUN_CLASSES; ++c)
        b->RunWords[c] |= words & (uint32_t{0} - (c < length));
    NoteClasses(b, length);
}

// PutMem's common case, done with the one bitmap word at hand: the
// allocation at node i ends inside its word, and so does the free run it
// joins.  Frees it (MAT, bitmaps, bounds) and gives its length in nodes;
// gives 0, having changed nothing, when the case does not apply.
[[gnu::always_inline]] inline int FreeInWord(MemBlock* b, int i)
{
    int w = i >> 6;
    MemMapWord& m = b->Map[w];
    uint64_t self = uint64_t{1} << (i & 63);
    uint64_t ends = (m.Free | m.Start) & ~(self | (self - 1));  // nodes that end it
    uint64_t end = ends & (uint64_t{0} - ends);
    uint64_t nodes = (end - 1) & ~(self - 1);
    uint64_t joined = m.Free | nodes;
    uint64_t usedBelow = ~joined & (self - 1);
    uint64_t usedAbove = ~joined & ~(end - 1);
    bool beyond = ends == 0 || (usedBelow == 0 && w > 0) || (usedAbove == 0 && w + 1 < MAP_WORDS);
    if (beyond)
        return 0;
    int n = std::countr_zero(end) - (i & 63);
    int first = usedBelow == 0 ? 0 : 64 - std::countl_zero(usedBelow);
    int last = usedAbove == 0 ? 64 : std::countr_zero(usedAbove);
    int length = last - first;
    m.Free = joined;
    m.Start &= ~self;
    SetMarks(b, i, n, MAT_FREE);
    if (length > b->RunBound)
        SetRunBound(b, length);
    uint32_t word = uint32_t{1} << w;
    for (int c = 0; c < RUN_CLASSES; ++c)
        b->RunWords[c] |= word & (uint32_t{0} - (c < length));
    NoteClasses(b, length);
    return n;
}

// 1 when the n nodes from pos all exist and are free.
inline bool RunIsFree(const MemBlock* b, int pos, int n)
{
    if (pos < 0 || n < 0 || pos + n > MEM_BLOCK_NODES)
        return false;
    bool free = true;
    ForRange(pos, n, [b, &free](int w, uint64_t m) {
        if ((b->Map[w].Free & m) != m)
            free = false;
    });
    return free;
}

// Place of the first non-zero byte of eight bytes read as one word.
inline int FirstByteWith(uint64_t hits)
{
    if constexpr (std::endian::native == std::endian::little)
        return std::countr_zero(hits) / 8;
    else
        return std::countl_zero(hits) / 8;
}

// Bit c - 1 of each of eight bytes.
inline uint64_t ByteBits(int c)
{
    return 0x0101010101010101u << (c - 1);
}

inline uint64_t Load8(const uint8_t* p)
{
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

// Leftmost run of n (1..64) free nodes starting in word w, or -1.  A run
// either starts and ends inside its word, or starts at the bottom of the
// word's top run and goes on into the next word; a start inside the word
// comes first.
inline int RunInWord(const MemBlock* b, int w, int n)
{
    uint64_t x = b->Map[w].Free;
    uint64_t starts = RunStarts(x, n);
    if (starts != 0)
        return w * 64 + std::countr_zero(starts);
    int top = TopOnes(x);
    if (top != 0 && w + 1 < MAP_WORDS && top + LowOnes(b->Map[w + 1].Free) >= n)
        return w * 64 + 64 - top;
    return -1;
}

// Leftmost run of n (1..64) free nodes, among the words whose class says
// they may hold the start of one.  A word found to hold no run of its class
// is taken out of the class.
[[gnu::always_inline]] inline int FindShortRun(MemBlock* b, int n)
{
    int c = RunClass(n);
    for (uint32_t maybe = b->RunWords[c - 1]; maybe != 0; maybe &= maybe - 1) {
        int w = std::countr_zero(maybe);
        int pos = RunInWord(b, w, n);
        if (pos >= 0)
            return pos;
        if (c == n)
            b->RunWords[c - 1] &= ~(uint32_t{1} << w);
    }
    return -1;
}

// Runs of more than 64 nodes: the first word whose free nodes at the start
// complete the run carried in from the words before, from the first word
// where a run of the longest class may start.
inline int FindLongRun(const MemBlock* b, int n)
{
    uint32_t maybe = b->RunWords[RUN_CLASSES - 1];
    if (maybe == 0)
        return -1;
    int carry = 0;
    for (int w = std::countr_zero(maybe); w < MAP_WORDS; ++w) {
        uint64_t x = b->Map[w].Free;
        if (carry + LowOnes(x) >= n)
            return w * 64 - carry;
        carry = x == ALL_FREE ? carry + 64 : TopOnes(x);
    }
    return -1;
}

// Position of the leftmost run of n free nodes, or -1.  A search that finds
// none has learned that every run is shorter than n.
inline int FindFreeRun(MemBlock* b, int n)
{
    if (n > b->RunBound)
        return -1;
    int pos = n <= 64 ? FindShortRun(b, n) : FindLongRun(b, n);
    if (pos < 0)
        SetRunBound(b, n - 1);
    return pos;
}

// The run of n nodes at `bit` of word w, whose free bits are x and whose
// run starts are `starts`, is about to be taken.  When the word then holds
// no other run of n nodes (inside it or going on into the next word), its
// class bit goes at once, and the block's when no other word has it:
// otherwise the next search for n nodes would visit them in vain.  No
// branch: whether to clear is worked into the masks.
inline void ForgetTakenRun(MemBlock* b, int w, uint64_t x, uint64_t starts, int bit, int n, int slot)
{
    uint64_t left = x & ~Bits(bit, n);
    uint64_t next = w + 1 < MAP_WORDS ? b->Map[w + 1].Free : 0;
    int top = TopOnes(left);
    bool across = top != 0 && top + LowOnes(next) >= n;
    bool more = (starts >> bit >> 1 >> (n - 1)) != 0 || across;  // starts from bit + n on
    uint32_t& words = b->RunWords[n - 1];
    words &= ~(static_cast<uint32_t>(!more) << w);
    chainIndex.classes[slot] &= static_cast<uint8_t>(~(static_cast<unsigned>(words == 0) << (n - 1)));
}

// The oldest block with a run of n (1..RUN_CLASSES) free nodes, among the
// blocks whose class in the index says they may hold one (eight at a time;
// the index holds no classes past its end), and within a block among the
// words whose class bit says so (as FindShortRun, with the shifts of the
// run starts worked out once).  A word or block found to hold none is
// taken out of the class.
[[gnu::always_inline]] inline MemBlock* FirstFitShort(int n, int* pos)
{
    int two = std::min(n, 2), four = std::min(n, 4);
    int shift1 = two - 1, shift2 = four - two, shift3 = n - four;
    uint64_t pattern = ByteBits(n);
    uint8_t* classes = chainIndex.classes;
    for (int first = 0; first < chainIndex.count; first += 8) {
        for (uint64_t hits = Load8(classes + first) & pattern; hits != 0; hits &= hits - 1) {
            int slot = first + FirstByteWith(hits);
            MemBlock* b = chainIndex.order[slot];
            uint32_t& words = b->RunWords[n - 1];
            for (uint32_t maybe = words; maybe != 0; maybe &= maybe - 1) {
                int w = std::countr_zero(maybe);
                uint64_t x = b->Map[w].Free;
                uint64_t starts = x & (x >> shift1);
                starts &= starts >> shift2;
                starts &= starts >> shift3;
                if (starts != 0) {
                    int bit = std::countr_zero(starts);
                    *pos = w * 64 + bit;
                    ForgetTakenRun(b, w, x, starts, bit, n, slot);
                    return b;
                }
                int top = TopOnes(x);
                if (top != 0 && w + 1 < MAP_WORDS && top + LowOnes(b->Map[w + 1].Free) >= n) {
                    *pos = w * 64 + 64 - top;
                    return b;
                }
                words &= ~(uint32_t{1} << w);
            }
            classes[slot] &= static_cast<uint8_t>(~(1u << (n - 1)));
        }
    }
    return nullptr;
}

// The oldest block with a run of n free nodes and the position of its
// leftmost such run; null when no block has one.
inline MemBlock* FirstFit(int n, int* pos)
{
    if (n <= RUN_CLASSES)
        return FirstFitShort(n, pos);
    const uint16_t* runBound = chainIndex.runBound;
    for (int i = 0; i < chainIndex.count; ++i) {
        if (runBound[i] < n)
            continue;
        *pos = FindFreeRun(chainIndex.order[i], n);
        if (*pos >= 0)
            return chainIndex.order[i];
    }
    return nullptr;
}

// Length in nodes of the allocation that starts at node i: up to the next
// free node, the next allocation's start, or the end of the block.
inline int AllocationLength(const MemBlock* b, int i)
{
    int w = i >> 6, bit = i & 63;
    uint64_t beyond = ~((uint64_t{2} << bit) - 1);  // bits above i in its word
    uint64_t ends = (b->Map[w].Free | b->Map[w].Start) & beyond;
    while (ends == 0 && ++w < MAP_WORDS)
        ends = b->Map[w].Free | b->Map[w].Start;
    return (w < MAP_WORDS ? w * 64 + std::countr_zero(ends) : MEM_BLOCK_NODES) - i;
}

inline bool StartsAllocation(const MemBlock* b, int i)
{
    return (b->Map[i >> 6].Start >> (i & 63)) & 1;
}

inline void SetStart(MemBlock* b, int i)
{
    b->Map[i >> 6].Start |= uint64_t{1} << (i & 63);
}

inline void ClearStart(MemBlock* b, int i)
{
    b->Map[i >> 6].Start &= ~(uint64_t{1} << (i & 63));
}

}  // namespace mem
