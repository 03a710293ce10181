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

// The old database (if any) has been copied to the scratch copy less the
// records to drop; ends both and moves the copy over the database when
// everything was written.
int FinishRewrite(const char* name, FILE* old, FILE* scratch, int written)
{
    if (old)
        fclose(old);
    if (!dbm::CloseNewDataBase(scratch, written, name))
        return 0;
    return RenameDataBase(name, "qdb_new", "qdb");
}

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
    while (GetData(in, rec)) {
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
// prefixLen is 0). -1 when a file cannot be opened, else the rewrite's result.
int Rewrite(const char* name, const char* key, int prefixLen)
{
    FILE* old = OpenDataBase(name, "qdb", "rb", 0);
    if (!old)
        return -1;
    FILE* scratch = OpenNewDataBase(name);
    if (!scratch) {
        fclose(old);
        return -1;
    }
    const int purged = PurgeRecord(name, old, scratch, key, prefixLen);
    return FinishRewrite(name, old, scratch, purged);
}

}  // namespace

int DbmPutRecord(const char* name, const char* key, const void* data, int length)
{
    if (!name || !key || !data || length <= 0)
        return 0;
    const size_t keyLen = strlen(key) + 1;
    if (keyLen > DBM_KEY_BUF || static_cast<long>(keyLen) + length + 2 > DBM_MAX_RECORD)
        return 0;
    const auto recLen = static_cast<uint16_t>(keyLen + length + 2);

    dbm::MakeDbDirectory();
    FILE* old = OpenDataBase(name, "qdb", "rb", 0);
    FILE* scratch = OpenNewDataBase(name);
    if (!scratch) {
        if (old)
            fclose(old);
        return 0;
    }
    int written = old ? PurgeRecord(name, old, scratch, key, 0) : 1;
    if (written) {
        uint8_t rec[DBM_RECORD_BUF];
        dbm::Put16(rec, recLen, false);
        dbm::Put16(rec + 2, static_cast<uint16_t>(keyLen), false);
        memcpy(rec + 4, key, keyLen);
        memcpy(rec + 4 + keyLen, data, static_cast<size_t>(length));
        written = PutData(scratch, rec);
        if (!written)
            dbm::ReportWriteFailure(name);
    }
    return FinishRewrite(name, old, scratch, written);
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
        if (!GetData(in, rec)) {
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
