// Key index of a tagged database image: a hash table of record offsets,
// built by one walk over the image and used by FindTRecord until the image
// changes. It gives exactly what walking the records would: the first
// record with the key, and a damaged tail cut off when the key is absent.
#include <climits>
#include <cstring>

#include "Dbm.h"
#include "DbmImpl.h"
#include "MemMgr.h"

struct DbTIndex {
    struct Slot {
        uint32_t hash;
        int offset;  // record start, -1 for an empty slot
    };
    bool valid;
    const char* image;  // the image, size and type the table was built for
    int size;
    int type;
    int damagedAt;      // start of the record the walk stopped at as damaged, or -1
    int used;
    int slots;          // a power of two, at least twice used
    Slot* table;        // GetMem
};

namespace {

// FNV-1a over the key in its compared form.
uint32_t Hash(const uint8_t* key, size_t n)
{
    uint32_t hash = 2166136261u;
    for (size_t i = 0; i < n; ++i)
        hash = (hash ^ key[i]) * 16777619u;
    return hash;
}

// Records of the same key keep their file order along the probe sequence,
// so the first one that matches there is the first one in the file.
void Insert(DbTIndex* index, uint32_t hash, int offset)
{
    const int mask = index->slots - 1;
    int i = static_cast<int>(hash) & mask;
    while (index->table[i].offset >= 0)
        i = (i + 1) & mask;
    index->table[i] = {hash, offset};
    ++index->used;
}

bool Grow(DbTIndex* index)
{
    if (index->slots > INT_MAX / 2 / static_cast<int>(sizeof(DbTIndex::Slot)))
        return false;
    const int slots = index->slots ? index->slots * 2 : 64;
    auto* table = static_cast<DbTIndex::Slot*>(GetMem(slots * static_cast<int>(sizeof(DbTIndex::Slot))));
    if (!table)
        return false;
    for (int i = 0; i < slots; ++i)
        table[i].offset = -1;
    DbTIndex::Slot* old = index->table;
    const int oldSlots = index->slots;
    index->table = table;
    index->slots = slots;
    index->used = 0;
    for (int i = 0; i < oldSlots; ++i)
        if (old[i].offset >= 0)
            Insert(index, old[i].hash, old[i].offset);
    PutMem(old);
    return true;
}

// The key of the record the walk stands on in its compared form: as stored
// (transformed) in a tagged image, the plain key of a legacy one.
const uint8_t* ComparedKey(DbTHandle* h, const DbTRecInfo* info)
{
    if (dbm::IsLegacy(h))
        return reinterpret_cast<const uint8_t*>(info->pKey);
    return dbm::Image(h) + h->Cursor;
}

// One walk over the image. A damaged record is noted, not cut: only a
// lookup that would have walked up to it cuts the image there.
bool Build(DbTHandle* h, DbTIndex* index)
{
    for (int i = 0; i < index->slots; ++i)
        index->table[i].offset = -1;
    index->used = 0;
    index->damagedAt = -1;
    const int size = h->Size;
    const unsigned char tailCut = h->flTailCut;
    DbTRecInfo info;
    for (DbTRecInfo* r = WalkDbTRecords(h, &info, 0); r; r = WalkDbTRecords(h, &info, 1)) {
        if ((index->used + 1) * 2 > index->slots && !Grow(index))
            return false;
        Insert(index, Hash(ComparedKey(h, r), r->KeyLen), h->WalkPos - r->RecLen - 2);
    }
    if (h->Size != size) {
        index->damagedAt = h->Size;
        h->Size = size;
        h->flTailCut = tailCut;
    }
    index->image = h->pImage;
    index->size = h->Size;
    index->type = h->Type;
    index->valid = true;
    return true;
}

DbTIndex* CurrentIndex(DbTHandle* h)
{
    DbTIndex* index = h->pIndex;
    if (index && index->valid && index->image == h->pImage && index->size == h->Size &&
        index->type == h->Type)
        return index;
    if (!index) {
        index = static_cast<DbTIndex*>(GetMem(sizeof(DbTIndex)));
        if (!index)
            return nullptr;
        h->pIndex = index;
    }
    index->valid = false;
    if (!index->table && !Grow(index))
        return nullptr;
    return Build(h, index) ? index : nullptr;
}

}  // namespace

namespace dbm {

int IndexedFind(DbTHandle* h, KeyProbe& probe, DbTRecInfo* info)
{
    DbTIndex* index = CurrentIndex(h);
    if (!index)
        return -1;
    if (IsLegacy(h) || probe.comparable) {
        const uint8_t* key = IsLegacy(h) ? reinterpret_cast<const uint8_t*>(probe.key) : probe.stored;
        const uint32_t hash = Hash(key, probe.n);
        const int mask = index->slots - 1;
        for (int i = static_cast<int>(hash) & mask; index->table[i].offset >= 0; i = (i + 1) & mask) {
            if (index->table[i].hash != hash)
                continue;
            h->WalkPos = index->table[i].offset;
            DbTRecInfo* r = WalkDbTRecords(h, info, 1);
            if (r && probe.Matches(h, r))
                return 1;
        }
    }
    if (index->damagedAt >= 0) {
        h->Size = index->damagedAt;
        h->flTailCut = 1;
    }
    h->WalkPos = h->Size;
    return 0;
}

void DropIndex(DbTHandle* h)
{
    if (h && h->pIndex)
        h->pIndex->valid = false;
}

void FreeIndex(DbTHandle* h)
{
    if (!h || !h->pIndex)
        return;
    PutMem(h->pIndex->table);
    PutMem(h->pIndex);
    h->pIndex = nullptr;
}

}  // namespace dbm
