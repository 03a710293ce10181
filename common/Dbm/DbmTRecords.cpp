// Tagged record database: storing, reading, copying and deleting records,
// and the key and link lists of an open handle.
#include <climits>
#include <cstring>

#include "Dbm.h"
#include "DbmImpl.h"
#include "MemMgr.h"
#include "utils.h"

namespace {

void Reload(DbTHandle* h)
{
    if (!(h->Flags & DBT_NO_RELOAD))
        DbTUpDate(h);
}

int WriteBack(DbTHandle* h)
{
    return (h->Flags & DBT_NO_ARCHIVE) ? 1 : dbm::ArchiveImage(h);
}

// A change that is written back at once takes its turn among the writers
// before it reloads, so that it builds on the file as the last writer left it.
bool TakeTurnToChange(DbTHandle* h, dbm::WriterLock& turn)
{
    return (h->Flags & DBT_NO_ARCHIVE) || dbm::TakeTurn(h, turn);
}

// Deleting from a database that has no file takes no turn: there is
// nothing to remove. Nor is anything removed from a file that could not be
// read: what it holds is not known.
bool TakeTurnToDelete(DbTHandle* h, dbm::WriterLock& turn)
{
    Reload(h);
    return h->pImage && !h->flUnread && TakeTurnToChange(h, turn);
}

// Data length of the record with this key (reloading first); the record is
// then in info with Cursor on its data. 0 when absent or empty.
int FindData(DbTHandle* h, const char* key, DbTRecInfo* info)
{
    Reload(h);
    if (!FindTRecord(h, key, info))
        return 0;
    const int size = info->RecLen - info->KeyLen - 2;
    return size > 0 ? size : 0;
}

void CopyData(DbTHandle* h, const DbTRecInfo* info, void* destination, int size)
{
    if (h->Type == DBT_LEGACY)
        memcpy(destination, info->pKey + info->KeyLen, static_cast<size_t>(size));
    else
        DbmTGetData(h, destination, size);
}

// The key and data of the record the walk stands on, transform undone, into
// dest (RecLen - 2 bytes); Cursor moves behind the record.
void CopyRecord(DbTHandle* h, const DbTRecInfo* info, char* dest)
{
    if (h->Type == DBT_LEGACY) {
        memcpy(dest, info->pKey, static_cast<size_t>(info->RecLen) - 2);
        return;
    }
    DbmTGetData(h, dest, info->KeyLen);
    DbmTGetData(h, dest + info->KeyLen, info->RecLen - info->KeyLen - 2);
}

// The key of the record the walk stands on, as text.
std::string_view WalkedKey(DbTHandle* h, const DbTRecInfo* info, char* keyBuf)
{
    if (h->Type == DBT_LEGACY)
        return dbm::KeyText(info->pKey, info->KeyLen);
    DbmTGetData(h, keyBuf, info->KeyLen);
    return dbm::KeyText(keyBuf, info->KeyLen);
}

char* KeyList(DbTHandle* h, const char* names, const char* separator, const char* terminator)
{
    Reload(h);
    char keyBuf[DBM_KEY_BUF];
    char* list = nullptr;
    int length = 0;
    DbTRecInfo info;
    for (DbTRecInfo* r = WalkDbTRecords(h, &info, 0); r; r = WalkDbTRecords(h, &info, 1)) {
        const std::string_view key = WalkedKey(h, r, keyBuf);
        if (names && !TestKeyName(key.data(), names))
            continue;
        dbm::AppendToList(list, length, separator, key);
    }
    return dbm::EndList(list, length, terminator);
}

}  // namespace

// Refused before anything changes: a key longer than the key buffer, and a
// record longer than the image's format holds (a legacy image is a keyed
// record file, whose reader takes in less than RecLen could count). The
// image is brought up to date first, so that the limit is the file's own.
// The empty key is a key like any other here, though the lookups and
// deletions, which want a key of at least one character, never name it.
int DbmTPutRecord(DbTHandle* h, const char* key, const void* data, int length)
{
    if (!h || !key || !data || length <= 0)
        return 0;
    const size_t keyLen = strlen(key) + 1;
    if (keyLen > DBM_KEY_BUF || length > DBT_MAX_RECORD)
        return 0;
    const int recLen = static_cast<int>(keyLen) + length + 2;
    dbm::WriterLock turn;
    if (!TakeTurnToChange(h, turn))
        return 0;
    Reload(h);
    const int maxRecord = h->Type == DBT_LEGACY ? DBM_MAX_RECORD : DBT_MAX_RECORD;
    if (recLen > maxRecord || h->Size > INT_MAX - DBT_HEADER_SIZE - recLen - 2)
        return 0;

    if (h->Type == DBT_NEW)
        DbTSetDbType(h, DBT_TAGGED);
    PurgeTRecord(h, key, 0);
    // A reload in the purge may have found an empty file again.
    if (h->Type == DBT_NEW)
        DbTSetDbType(h, DBT_TAGGED);
    const bool legacy = h->Type == DBT_LEGACY;
    if (h->Size == 0 && !legacy)
        h->Size = DBT_HEADER_SIZE;
    auto* image = static_cast<char*>(AdjustMem(h->pImage, h->Size + recLen + 2));
    if (!image)
        return 0;
    h->pImage = image;
    h->Cursor = h->Size;
    dbm::Put16(h->pImage + h->Cursor, static_cast<uint16_t>(recLen), h->flSwap);
    h->Cursor += 2;
    if (legacy) {
        uint8_t* run = dbm::LegacyWorkBuffer();
        if (!run)
            return 0;
        dbm::Put16(run, static_cast<uint16_t>(keyLen), false);
        memcpy(run + 2, key, keyLen);
        memcpy(run + 2 + keyLen, data, static_cast<size_t>(length));
        DbmTPutData(h, run, recLen);
    } else {
        dbm::Put16(h->pImage + h->Cursor, static_cast<uint16_t>(keyLen), h->flSwap);
        h->Cursor += 2;
        DbmTPutData(h, key, static_cast<int>(keyLen));
        DbmTPutData(h, data, length);
        ++h->Count;
    }
    h->Size += recLen + 2;
    h->flModified = 1;
    return WriteBack(h);
}

int DbmTGetRecord(DbTHandle* h, const char* key, void* buffer)
{
    if (!h || !key || !buffer)
        return 0;
    DbTRecInfo info;
    const int size = FindData(h, key, &info);
    if (size > 0)
        CopyData(h, &info, buffer, size);
    return size;
}

// A buffer that is missing is as good as one too small.
int DbmTGetRecordV(DbTHandle* h, const char* key, void** buffer, int size)
{
    if (!h || !key || !buffer)
        return 0;
    DbTRecInfo info;
    const int needed = FindData(h, key, &info);
    if (needed == 0)
        return 0;
    if (size < needed || !*buffer) {
        void* bigger = GetMem(needed);
        if (!bigger)
            return 0;
        *buffer = bigger;
    }
    CopyData(h, &info, *buffer, needed);
    return needed;
}

int DbmTGetRecordSize(DbTHandle* h, const char* key)
{
    if (!h || !key)
        return 0;
    DbTRecInfo info;
    return FindData(h, key, &info);
}

int DbmTCopyRecord(DbTHandle* h, const char* fromKey, const char* toKey)
{
    if (!h || !fromKey || !toKey)
        return 0;
    const int size = DbmTGetRecordSize(h, fromKey);
    if (size == 0)
        return 0;
    void* data = GetMem(size);
    if (!data)
        return 0;
    int result = 0;
    if (DbmTGetRecord(h, fromKey, data) == size)
        result = DbmTPutRecord(h, toKey, data, size);
    PutMem(data);
    return result;
}

int DbmTDeleteRecord(DbTHandle* h, const char* key)
{
    if (!h || !key || !*key)
        return 0;
    dbm::WriterLock turn;
    if (!TakeTurnToDelete(h, turn) || !PurgeTRecord(h, key, 0))
        return 0;
    return WriteBack(h);
}

// Nothing removed is nothing to write; a removal that cannot be written
// back is a failure, not a success.
int DbmTDeleteRecords(DbTHandle* h, const char* prefix)
{
    if (!h || !prefix || !*prefix)
        return 0;
    dbm::WriterLock turn;
    if (!TakeTurnToDelete(h, turn))
        return h->pImage ? 0 : 1;
    if (!PurgeTRecord(h, prefix, static_cast<int>(strlen(prefix))))
        return 1;
    return WriteBack(h);
}

char* DbmTGetRecordList(DbTHandle* h, const char* separator, const char* terminator)
{
    if (!h || !separator || !terminator)
        return nullptr;
    return KeyList(h, nullptr, separator, terminator);
}

char* DbmTGetRecordListS(DbTHandle* h, const char* names, const char* separator,
                         const char* terminator)
{
    if (!h || !names || !*names || !separator || !terminator)
        return nullptr;
    return KeyList(h, names, separator, terminator);
}

// The names are read with the token reader on a position of their own; the
// shared cursor and the last delimiter are left as they were.
int TestKeyName(const char* key, const char* names)
{
    if (!key || !names)
        return 0;
    const char savedDel = chTokenDel;
    const char* pos = names;
    char name[TOKEN_BUF_SIZE];
    int found = 0;
    for (char* n = GetTokenD(names, ",", &pos, name); n && !found;
         n = GetTokenD(nullptr, ",", &pos, name))
        found = strncmp(key, n, strlen(n)) == 0;
    chTokenDel = savedDel;
    return found;
}

DbmLink* DbmTGetDbLinkList(DbTHandle* h, const char* text)
{
    if (!h || !text)
        return nullptr;
    Reload(h);
    char keyBuf[DBM_KEY_BUF];
    DbmLink* head = nullptr;
    DbmLink** tail = &head;
    DbTRecInfo info;
    for (DbTRecInfo* r = WalkDbTRecords(h, &info, 0); r; r = WalkDbTRecords(h, &info, 1)) {
        const int keyStart = h->Cursor;
        if (!dbm::KeyContains(WalkedKey(h, r, keyBuf), text))
            continue;
        auto* node = static_cast<DbmLink*>(GetMem(sizeof(DbmLink)));
        if (!node)
            continue;
        node->pRecord = static_cast<char*>(GetMem(r->RecLen));
        if (node->pRecord) {
            h->Cursor = keyStart;
            CopyRecord(h, r, node->pRecord);
            node->pData = node->pRecord + r->KeyLen;
            node->DataSize = r->RecLen - r->KeyLen - 2;
        }
        *tail = node;
        tail = &node->pNext;
    }
    return head;
}
