// Keyed record files: storing, reading, deleting and copying records. Every
// operation opens the file, streams through it and closes it again; a
// change writes a whole new copy and moves it over the database.
#include <cstdio>
#include <cstring>

#include "Dbm.h"
#include "DbmImpl.h"
#include "MemMgr.h"
#include "utils.h"

int NextRecordIndex = 0;

namespace {

int DataSize(const uint8_t* rec)
{
    return dbm::Get16(rec, false) - dbm::Get16(rec + 2, false) - 2;
}

// Reads records until the first one with exactly this key; its data length,
// or -1 when the key is absent or the database cannot be opened. The record
// stays in rec.
int FindRecord(const char* name, const char* key, uint8_t* rec)
{
    FILE* in = OpenDataBase(name, "qdb", "rb", 0);
    if (!in)
        return -1;
    int size = -1;
    while (dbm::NextRecord(in, rec, name, false)) {
        const int keyLen = dbm::Get16(rec + 2, false);
        if (dbm::KeyMatches(reinterpret_cast<const char*>(rec + 4), keyLen, key, 0)) {
            size = DataSize(rec);
            break;
        }
    }
    fclose(in);
    return size;
}

// Rewrites the database without the records matching key (exact when
// prefixLen is 0), taking its turn among the writers. -1 when the database
// is missing, else the rewrite's result.
int Rewrite(const char* name, const char* key, int prefixLen)
{
    char path[dbm::PATH_BUF];
    if (!dbm::DatabasePath(path, name, "qdb") || !FindFile(nullptr, path))
        return -1;
    dbm::WriterLock turn;
    if (!turn.Take(name))
        return 0;
    FILE* old = OpenDataBase(name, "qdb", "rb", 0);
    if (!old)
        return -1;
    dbm::Change change;
    FILE* scratch = change.OpenScratch(name);
    const int purged = scratch && PurgeRecord(name, old, scratch, key, prefixLen);
    fclose(old);
    return change.Commit(name, purged);
}

// The record buffer of a new record: RecLen, KeyLen, the key and its NUL,
// the data.
void BuildRecord(uint8_t* rec, const char* key, size_t keyLen, const void* data, int length)
{
    dbm::Put16(rec, static_cast<uint16_t>(keyLen + length + 2), false);
    dbm::Put16(rec + 2, static_cast<uint16_t>(keyLen), false);
    memcpy(rec + 4, key, keyLen);
    memcpy(rec + 4 + keyLen, data, static_cast<size_t>(length));
}

}  // namespace

// The old records are read and the new file written while this writer holds
// the database's lock, so that no other writer's change falls between.
int DbmPutRecord(const char* name, const char* key, const void* data, int length)
{
    if (!name || !key || !data || length <= 0)
        return 0;
    const size_t keyLen = strlen(key) + 1;
    if (keyLen > DBM_KEY_BUF || static_cast<long>(keyLen) + length + 2 > DBM_MAX_RECORD)
        return 0;

    dbm::WriterLock turn;
    if (!dbm::MakeDbDirectory() || !turn.Take(name))
        return 0;
    dbm::Change change;
    FILE* old = OpenDataBase(name, "qdb", "rb", 0);
    FILE* scratch = change.OpenScratch(name);
    int written = 0;
    if (scratch) {
        written = old ? PurgeRecord(name, old, scratch, key, 0) : 1;
        if (written) {
            uint8_t rec[DBM_RECORD_BUF];
            BuildRecord(rec, key, keyLen, data, length);
            written = PutData(scratch, rec);
            if (!written)
                dbm::ReportWriteFailure(name);
        }
    }
    if (old)
        fclose(old);
    return change.Commit(name, written);
}

int DbmGetRecord(const char* name, const char* key, void* buffer)
{
    if (!name || !key || !buffer)
        return 0;
    uint8_t rec[DBM_RECORD_BUF];
    const int size = FindRecord(name, key, rec);
    if (size <= 0)
        return 0;
    memcpy(buffer, rec + 4 + dbm::Get16(rec + 2, false), static_cast<size_t>(size));
    return size;
}

int DbmGetRecordSize(const char* name, const char* key)
{
    if (!name || !key)
        return 0;
    uint8_t rec[DBM_RECORD_BUF];
    const int size = FindRecord(name, key, rec);
    return size > 0 ? size : 0;
}

int DbmGetNextRecord(const char* name, void* buffer)
{
    FILE* in = OpenDataBase(name, "qdb", "rb", 0);
    if (!in)
        return 0;
    uint8_t rec[DBM_RECORD_BUF];
    for (int i = 0; i <= NextRecordIndex; ++i) {
        if (!dbm::NextRecord(in, rec, name, false)) {
            fclose(in);
            return 0;
        }
    }
    const int size = DataSize(rec);
    if (buffer && size > 0)
        memcpy(buffer, rec + 4 + dbm::Get16(rec + 2, false), static_cast<size_t>(size));
    fclose(in);
    ++NextRecordIndex;
    return size;
}

int DbmDeleteRecord(const char* name, const char* key)
{
    if (!name || !key)
        return 0;
    return Rewrite(name, key, 0) == 1 ? 1 : 0;
}

int DbmDeleteRecords(const char* name, const char* prefix)
{
    if (!name || !prefix || !*prefix)
        return 0;
    return Rewrite(name, prefix, static_cast<int>(strlen(prefix))) == 1 ? 1 : 0;
}

int DbmCopyRecord(const char* name, const char* fromKey, const char* toKey)
{
    if (!name || !fromKey || !toKey)
        return 0;
    uint8_t rec[DBM_RECORD_BUF];
    const int size = FindRecord(name, fromKey, rec);
    if (size <= 0)
        return 0;
    return DbmPutRecord(name, toKey, rec + 4 + dbm::Get16(rec + 2, false), size);
}

void DbmCreate(const char*, int) {}

void DbmDelete(const char*, int) {}
