// The manager's books: one state is kept in five records, and this checks
// that they agree.  The allocation tables (MAT) and Node records say which
// nodes are handed out; the Free and Start bitmaps mirror them; the run
// bounds (RunBound, RunWords and the classes of the chain index) may claim
// more free runs than there are but never fewer, or a search would pass
// over a run that first fit must take; the chain index lists the chain's
// blocks in order and their data regions by address; the address map finds
// every block by the pieces of the address space it covers.  The check only
// reads: it never touches a data region (free nodes are poisoned in the
// sanitizer build) nor anything the manager would change.
#include "FreeMap.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using mem::addressMap;
using mem::chainIndex;
using mem::MAP_WORDS;
using mem::RUN_CLASSES;

char report[320];

__attribute__((format(printf, 1, 2))) const char* Disagree(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vsnprintf(report, sizeof report, format, args);
    va_end(args);
    return report;
}

bool StartBit(const MemBlock* b, int i)
{
    return (b->Map[i >> 6].Start >> (i & 63)) & 1;
}

const char* FreeOrUsed(bool isFree)
{
    return isFree ? "free" : "used";
}

// Mark k of eight MAT marks read as one word.  One load for eight marks:
// the check runs after every operation in the sanitizer build, where each
// load is checked too.
inline char MarkOf(uint64_t eight, int k)
{
    int shift = std::endian::native == std::endian::little ? 8 * k : 56 - 8 * k;
    return static_cast<char>(eight >> shift);
}

// The first of eight marks from node i that is neither free nor used or
// disagrees with its Free bit.
const char* EightMarksDisagree(const MemBlock* b, int place, int i, uint64_t eight)
{
    uint64_t freeBits = b->Map[i >> 6].Free >> (i & 63);
    for (int k = 0; k < 8; ++k) {
        char mark = MarkOf(eight, k);
        if (mark != MAT_FREE && mark != MAT_USED)
            return Disagree("block %d node %d: MAT mark 0x%02x is neither free nor used", place, i + k,
                            static_cast<unsigned char>(mark));
        bool isFree = mark == MAT_FREE;
        if (isFree != ((freeBits >> k) & 1))
            return Disagree("block %d node %d: the MAT says %s, the Free bit %s", place, i + k,
                            FreeOrUsed(isFree), FreeOrUsed(!isFree));
    }
    return nullptr;
}

// The MAT is 2048 marks and a terminator, each mark matches its Free bit,
// and FreeNodeCount counts the free marks.  Eight marks at a time, with no
// branch until they disagree.
const char* CheckMarks(const MemBlock* b, int place)
{
    if (b->MAT[MEM_BLOCK_NODES] != '\0')
        return Disagree("block %d: the MAT lacks its terminator", place);
    int freeMarks = 0;
    for (int i = 0; i < MEM_BLOCK_NODES; i += 8) {
        uint64_t eight;
        std::memcpy(&eight, b->MAT + i, sizeof eight);
        unsigned freeBits = 0;
        bool odd = false;
        for (int k = 0; k < 8; ++k) {
            char mark = MarkOf(eight, k);
            freeBits |= static_cast<unsigned>(mark == MAT_FREE) << k;
            odd |= mark != MAT_FREE && mark != MAT_USED;
        }
        if (odd || freeBits != ((b->Map[i >> 6].Free >> (i & 63)) & 0xff))
            return EightMarksDisagree(b, place, i, eight);
        freeMarks += std::popcount(freeBits);
    }
    if (b->FreeNodeCount != freeMarks)
        return Disagree("block %d: FreeNodeCount is %d, the MAT has %d free marks", place,
                        b->FreeNodeCount, freeMarks);
    return nullptr;
}

// Every used node of a shared block belongs to exactly one Node record:
// a record starts where its Start bit is set, at its node's address, and
// its extent of used nodes ends where the block, a free node or the next
// record begins; empty records are clear.  One pass, each record read once.
const char* CheckRecords(const MemBlock* b, int place)
{
    int owner = -1;   // the node of the record that the nodes before `covered` belong to
    int covered = 0;
    for (int i = 0; i < MEM_BLOCK_NODES; ++i) {
        const MemNode& rec = b->Node[i];
        bool starts = rec.Nodes != 0;
        if (StartBit(b, i) != starts)
            return Disagree("block %d node %d: the Start bit is %s, but the Node record %s", place, i,
                            starts ? "clear" : "set", starts ? "starts an allocation" : "is empty");
        if (starts) {
            if (i < covered)
                return Disagree("block %d node %d: a Node record starts inside the record of node %d",
                                place, i, owner);
            if (rec.pAddr != b->pMemory + static_cast<long>(i) * MEM_NODE_SIZE)
                return Disagree("block %d node %d: the Node record's pAddr is not the node's address",
                                place, i);
            if (i + rec.Nodes > MEM_BLOCK_NODES)
                return Disagree("block %d node %d: the Node record's %d nodes run past the block", place,
                                i, rec.Nodes);
            owner = i;
            covered = i + rec.Nodes;
        } else if (rec.pAddr) {
            return Disagree("block %d node %d: an empty Node record has a pAddr", place, i);
        }
        bool used = b->MAT[i] == MAT_USED;
        if (used && i >= covered)
            return Disagree("block %d node %d: the used node belongs to no Node record", place, i);
        if (!used && i < covered)
            return Disagree("block %d node %d: free in the MAT inside the Node record of node %d", place,
                            i, owner);
    }
    return nullptr;
}

// The first node from pos on whose Free bit is `free`, or the block's end.
int NextWithFreeBit(const MemBlock* b, int pos, bool free)
{
    while (pos < MEM_BLOCK_NODES) {
        int w = pos >> 6;
        uint64_t bits = (free ? b->Map[w].Free : ~b->Map[w].Free) & (~uint64_t{0} << (pos & 63));
        if (bits != 0)
            return w * 64 + std::countr_zero(bits);
        pos = (w + 1) * 64;
    }
    return MEM_BLOCK_NODES;
}

// The free runs of a shared block against its bounds: RunBound is at least
// the longest run, each word where a run of c nodes starts has its bit in
// RunWords[c - 1], and the chain index holds every class present.  The
// runs are read from the Free bits, which agree with the MAT by now; the
// block is order[place] of the index.
const char* CheckRuns(const MemBlock* b, int place)
{
    int wordRun[MAP_WORDS] = {};  // the longest run starting in each word
    int wordRunAt[MAP_WORDS] = {};
    int longest = 0, longestAt = 0;
    for (int start = NextWithFreeBit(b, 0, true); start < MEM_BLOCK_NODES;) {
        int end = NextWithFreeBit(b, start, false);
        if (end - start > longest) {
            longest = end - start;
            longestAt = start;
        }
        for (int w = start >> 6; w <= (end - 1) >> 6; ++w) {
            int from = std::max(start, w * 64);
            if (end - from > wordRun[w]) {
                wordRun[w] = end - from;
                wordRunAt[w] = from;
            }
        }
        start = NextWithFreeBit(b, end, true);
    }
    if (b->RunBound < longest)
        return Disagree("block %d node %d: RunBound %d is below the free run of %d nodes there", place,
                        longestAt, b->RunBound, longest);
    for (int w = 0; w < MAP_WORDS; ++w)
        for (int c = 1; c <= std::min(wordRun[w], RUN_CLASSES); ++c)
            if (((b->RunWords[c - 1] >> w) & 1) == 0)
                return Disagree("block %d node %d: a run of %d free nodes starts in word %d, but its bit "
                                "in RunWords[%d] is clear", place, wordRunAt[w], c, w, c - 1);
    uint8_t present = mem::ClassesUpTo(longest);
    uint8_t missing = static_cast<uint8_t>(present & ~chainIndex.classes[place]);
    if (missing != 0) {
        int c = std::countr_zero(missing) + 1;
        return Disagree("block %d node %d: a run of %d free nodes there, but the chain index's class "
                        "%d of the block is clear", place, longestAt, c, c);
    }
    return nullptr;
}

const char* CheckShared(const MemBlock* b, int place)
{
    if (b->UsedSize != 0)
        return Disagree("block %d: UsedSize is %d in a shared block", place, b->UsedSize);
    if (const char* fault = CheckMarks(b, place))
        return fault;
    if (b->FreeNodeCount == MEM_BLOCK_NODES)
        return Disagree("block %d: a shared block with no allocation was kept", place);
    if (const char* fault = CheckRecords(b, place))
        return fault;
    return CheckRuns(b, place);
}

// A dedicated block is one allocation of UsedSize bytes: every mark used,
// no Node record, no Start bit, no free run.
const char* CheckDedicated(const MemBlock* b, int place)
{
    if (b->Size % MEM_BLOCK_SIZE != 0)
        return Disagree("block %d: dedicated Size %d is not a whole number of blocks", place, b->Size);
    if (b->UsedSize <= 0 || b->UsedSize > b->Size || b->UsedSize % MEM_NODE_SIZE != 0)
        return Disagree("block %d: dedicated UsedSize %d does not fit its %d-byte region", place,
                        b->UsedSize, b->Size);
    if (const char* fault = CheckMarks(b, place))
        return fault;
    if (b->FreeNodeCount != 0)
        return Disagree("block %d: FreeNodeCount is %d in a dedicated block", place, b->FreeNodeCount);
    for (int i = 0; i < MEM_BLOCK_NODES; ++i)
        if (b->Node[i].Nodes != 0 || b->Node[i].pAddr || StartBit(b, i))
            return Disagree("block %d node %d: a Node record or Start bit in a dedicated block", place, i);
    if (b->RunBound != 0)
        return Disagree("block %d: RunBound is %d in a dedicated block", place, b->RunBound);
    return nullptr;
}

// The block-level books of order[place]; the chain and its slots are
// already known to agree.
const char* CheckBlock(const MemBlock* b, int place)
{
    const char* fault = nullptr;
    if (b->Size == MEM_BLOCK_SIZE)
        fault = CheckShared(b, place);
    else if (b->Size > MEM_BLOCK_SIZE)
        fault = CheckDedicated(b, place);
    else
        fault = Disagree("block %d: Size %d is less than a block", place, b->Size);
    if (!fault && chainIndex.runBound[place] != b->RunBound)
        fault = Disagree("block %d: the chain index holds RunBound %d, the block %d", place,
                         chainIndex.runBound[place], b->RunBound);
    return fault;
}

// The chain from pMemB through pNext is the index's order, with pPrev
// pointing back and each block's Slot its place; slots past the end hold no
// classes (the search reads the classes eight at a time).  No block is
// read before the index vouches for it, so a broken link is reported, not
// followed into freed memory.
const char* CheckChain()
{
    const mem::ChainIndex& x = chainIndex;
    if (x.count < 0 || x.count > x.capacity)
        return Disagree("chain index: %d blocks in %d slots", x.count, x.capacity);
    if ((pMemB == nullptr) != (x.count == 0))
        return Disagree("chain: pMemB is %s, the chain index holds %d blocks",
                        pMemB ? "set" : "null", x.count);
    const MemBlock* prev = nullptr;
    int place = 0;
    for (const MemBlock* b = pMemB; b; prev = b, b = b->pNext, ++place) {
        if (place == x.count)
            return Disagree("chain: a block follows the last of the chain index's %d blocks", x.count);
        if (x.order[place] != b)
            return Disagree("chain index slot %d: order names another block than the chain's block %d",
                            place, place);
        if (b->pPrev != prev)
            return Disagree("block %d: pPrev is not the block before it", place);
        if (b->Slot != place)
            return Disagree("block %d: Slot is %d", place, b->Slot);
    }
    if (place != x.count)
        return Disagree("chain: %d blocks, the chain index holds %d", place, x.count);
    for (int i = x.count; i < x.capacity; ++i)
        if (x.classes[i] != 0)
            return Disagree("chain index slot %d: classes past the end of the index", i);
    return nullptr;
}

// byAddress holds the data regions sorted and apart, and each block of the
// chain finds its own region there.  With as many entries as blocks, and
// every block at a distinct start, no entry names a block outside the chain.
const char* CheckRegions()
{
    const mem::ChainIndex& x = chainIndex;
    for (int i = 0; i < x.count; ++i) {
        const mem::Region& r = x.byAddress[i];
        if (r.start >= r.end || (i + 1 < x.count && r.end > x.byAddress[i + 1].start))
            return Disagree("chain index byAddress %d: regions out of order or overlapping", i);
    }
    for (int place = 0; place < x.count; ++place) {
        const MemBlock* b = x.order[place];
        auto start = reinterpret_cast<uintptr_t>(b->pMemory);
        int at = mem::RegionAt(start);
        if (at < 0 || x.byAddress[at].start != start || x.byAddress[at].block != b)
            return Disagree("block %d: its data region is not in the chain index's byAddress", place);
        if (x.byAddress[at].end != start + static_cast<uintptr_t>(b->Size))
            return Disagree("block %d: byAddress %d gives its data region another end", place, at);
    }
    return nullptr;
}

// The block of the chain whose data region holds a byte of the piece that
// an address-map entry names, and that the entry names; null when none.
const MemBlock* CoveringBlock(const mem::PieceEntry& e)
{
    uintptr_t low = (e.key - 1) << mem::PIECE_SHIFT;
    uintptr_t high = low + (uintptr_t{1} << mem::PIECE_SHIFT) - 1;
    for (int at = mem::RegionAt(high); at >= 0 && chainIndex.byAddress[at].end > low; --at)
        if (chainIndex.byAddress[at].block == e.block)
            return e.block;
    return nullptr;
}

// The entries of the table: each names a block of the chain that is in the
// map and covers the entry's piece, and `used` counts them.  Gives the
// number of entries in *present.
const char* CheckEntries(size_t* present)
{
    size_t entries = addressMap.mask + 1;
    if ((entries & addressMap.mask) != 0 || 2 * addressMap.used > entries)
        return Disagree("address map: %zu entries used of %zu", addressMap.used, entries);
    *present = 0;
    for (size_t h = 0; h < entries; ++h) {
        const mem::PieceEntry& e = addressMap.table[h];
        if (e.key == 0)
            continue;
        ++*present;
        const MemBlock* b = CoveringBlock(e);
        if (!b)
            return Disagree("address map entry %zu: piece %#lx names a block that does not cover it",
                            h, static_cast<unsigned long>(e.key - 1));
        if (!b->InAddressMap)
            return Disagree("address map entry %zu: names block %d, which is not in the map", h, b->Slot);
    }
    if (*present != addressMap.used)
        return Disagree("address map: used is %zu, the table holds %zu entries", addressMap.used, *present);
    return nullptr;
}

// Whether the probe for key, as the lookup makes it, reaches b's entry.
bool PieceFound(uintptr_t key, const MemBlock* b)
{
    const mem::PieceEntry* table = addressMap.table;
    for (size_t h = mem::PieceHash(key, addressMap.mask); table[h].key != 0; h = (h + 1) & addressMap.mask)
        if (table[h].key == key && table[h].block == b)
            return true;
    return false;
}

// Every block marked InAddressMap has exactly its pieces in the table,
// leftOut counts the others, and the lookup finds every block for its
// first and last byte, and not for the bytes just outside.
const char* CheckAddressMap()
{
    if (chainIndex.count == 0) {
        if (addressMap.table || addressMap.used != 0 || addressMap.leftOut != 0)
            return Disagree("address map: entries kept with no block in the chain");
        return nullptr;
    }
    size_t present = 0;
    if (addressMap.table) {
        if (const char* fault = CheckEntries(&present))
            return fault;
    }
    size_t pieces = 0;
    int leftOut = 0;
    for (int place = 0; place < chainIndex.count; ++place) {
        const MemBlock* b = chainIndex.order[place];
        if (!b->InAddressMap) {
            ++leftOut;
        } else {
            if (!addressMap.table)
                return Disagree("block %d: marked InAddressMap with no address map", place);
            for (uintptr_t key = mem::FirstPiece(b); key <= mem::LastPiece(b); ++key, ++pieces)
                if (!PieceFound(key, b))
                    return Disagree("block %d: the address map lacks its piece %#lx", place,
                                    static_cast<unsigned long>(key - 1));
        }
        const char* first = b->pMemory;
        const char* last = first + b->Size - 1;
        if (mem::BlockOf(first) != b || mem::BlockOf(last) != b)
            return Disagree("block %d: the address map does not find it for its %s byte", place,
                            mem::BlockOf(first) != b ? "first" : "last");
        if (mem::BlockOf(first - 1) == b || mem::BlockOf(last + 1) == b)
            return Disagree("block %d: the address map finds it outside its data region", place);
    }
    if (present != pieces)
        return Disagree("address map: %zu entries for the %zu pieces of the blocks in it", present, pieces);
    if (addressMap.leftOut != leftOut)
        return Disagree("address map: leftOut is %d, %d blocks are not in it", addressMap.leftOut, leftOut);
    return nullptr;
}

}  // namespace

const char* CheckMemBooks()
{
    if (const char* fault = CheckChain())
        return fault;
    for (int place = 0; place < chainIndex.count; ++place)
        if (const char* fault = CheckBlock(chainIndex.order[place], place))
            return fault;
    if (const char* fault = CheckRegions())
        return fault;
    return CheckAddressMap();
}

// The check after each operation (the sanitizer build).  A full check of
// every block after every GetMem and PutMem would make a program with many
// blocks many times slower, and an operation changes one block or two.  So
// the chain-level books (chain, index order and slots, byAddress, the
// address map) are checked in full, and the block-level books of each block
// whose fingerprint changed since its last check: its bitmaps, MAT, counts,
// bounds and its entries in the index.  Every change the manager makes to a
// block changes that fingerprint: a take, free or move of nodes flips Free
// bits, a new or moved allocation record flips a Start bit, a resize in
// place flips the Free bits of the nodes it takes or gives back, a search
// that learns a bound changes RunBound, RunWords or the block's classes, a
// dedicated block's resize changes UsedSize.  So every block is checked
// whenever it changes, and a new or renumbered block at once.  The MAT and
// the Node records are not hashed (that would cost about as much as the
// check itself): the manager writes neither without flipping the block's
// Free or Start bits.  One more block in rotation is checked in full each
// time, which catches even a stray write that the fingerprint misses within
// as many operations as there are blocks.
namespace {

struct Seen {
    const MemBlock* block;  // the block at this slot when it was last checked
    uint64_t print;
};

// Blocks at slots beyond these are checked in full every time.
constexpr int SEEN_SLOTS = 1024;
Seen seen[SEEN_SLOTS];
unsigned rotation = 0;

uint64_t Mix(uint64_t h, uint64_t v)
{
    return (h ^ v) * 0xFF51AFD7ED558CCDu;
}

// Two lanes of the bitmap words, so that the multiplications overlap.
uint64_t Fingerprint(const MemBlock* b, int place)
{
    uint64_t free = reinterpret_cast<uintptr_t>(b->pMemory), start = ~free;
    for (const MemMapWord& w : b->Map) {
        free = Mix(free, w.Free);
        start = Mix(start, w.Start);
    }
    uint64_t h = Mix(free, start);
    for (uint32_t words : b->RunWords)
        h ^= words;
    h = Mix(h, static_cast<uint64_t>(static_cast<uint32_t>(b->Size)) << 32 |
                   static_cast<uint32_t>(b->UsedSize));
    h = Mix(h, static_cast<uint64_t>(static_cast<uint32_t>(b->FreeNodeCount)) << 32 |
                   uint64_t{b->RunBound} << 16 | uint64_t{b->InAddressMap});
    return Mix(h, uint64_t{chainIndex.classes[place]} << 16 | chainIndex.runBound[place]);
}

const char* CheckChangedBlocks()
{
    int count = chainIndex.count;
    int turn = count > 0 ? static_cast<int>(rotation++ % static_cast<unsigned>(count)) : -1;
    for (int place = 0; place < count; ++place) {
        const MemBlock* b = chainIndex.order[place];
        uint64_t print = Fingerprint(b, place);
        bool known = place < SEEN_SLOTS && seen[place].block == b && seen[place].print == print;
        if (known && place != turn)
            continue;
        if (const char* fault = CheckBlock(b, place))
            return fault;
        if (place < SEEN_SLOTS)
            seen[place] = Seen{b, print};
    }
    return nullptr;
}

const char* CheckAfterOperation()
{
    if (const char* fault = CheckChain())
        return fault;
    if (const char* fault = CheckChangedBlocks())
        return fault;
    if (const char* fault = CheckRegions())
        return fault;
    return CheckAddressMap();
}

}  // namespace

void mem::CheckBooksAfterOperation()
{
    if (const char* fault = CheckAfterOperation()) {
        std::fprintf(stderr, "memory manager books disagree: %s\n", fault);
        std::abort();
    }
}
