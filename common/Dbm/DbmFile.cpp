// Keyed record files: naming, the record primitives, opening with retries,
// and purging.
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "Dbm.h"
#include "DbmImpl.h"
#include "MemMgr.h"
#include "utils.h"

bool DbmV4DriverPathHandling = false;

namespace dbm {

namespace {

bool Format(char* buf, const char* format, const char* a, const char* b = "",
            const char* c = "")
{
    int n = snprintf(buf, PATH_BUF, format, a, b, c);
    return n >= 0 && n < PATH_BUF;
}

// Directory part and last component of a path: "/" for a name directly
// under the root, "." for a name without "/".
bool SplitName(const char* name, char* dir, char* base)
{
    const char* slash = strrchr(name, '/');
    if (!slash)
        return Format(dir, "%s", ".") && Format(base, "%s", name);
    const size_t dirLen = slash == name ? 1 : static_cast<size_t>(slash - name);
    if (dirLen >= PATH_BUF)
        return false;
    memcpy(dir, name, dirLen);
    dir[dirLen] = '\0';
    return Format(base, "%s", slash + 1);
}

}  // namespace

bool DatabasePath(char* path, const char* name, const char* ext)
{
    if (!name)
        return false;
    if (DbmV4DriverPathHandling)
        return Format(path, "%s_new", name);
    return pToolPath && Format(path, "%s/db/%s.%s", pToolPath, name, ext);
}

bool ScratchPlace(Place& place, const char* name, const char* from, const char* to)
{
    if (!name)
        return false;
    if (DbmV4DriverPathHandling) {
        char base[PATH_BUF];
        return SplitName(name, place.dir, base) && Format(place.from, "%s_new", base) &&
               Format(place.to, "%s", base);
    }
    return pToolPath && Format(place.dir, "%s/db", pToolPath) &&
           Format(place.from, "%s.%s", name, from) && Format(place.to, "%s.%s", name, to);
}

void ReportWriteFailure(const char* name)
{
    fprintf(stderr, "ERROR: Can't write to %s", name);
}

// A record that would run past the end of the file, or whose key would run
// past the record, is never read further: it ends the file there.
Got ReadRecord(FILE* stream, uint8_t* rec, size_t* consumed)
{
    static_assert(DBM_MAX_READ == UINT16_MAX, "a reader takes in every record a RecLen counts");
    size_t ignored = 0;
    size_t& got = consumed ? *consumed : ignored;
    got = fread(rec, 1, 2, stream);
    if (got == 0 && !ferror(stream))
        return Got::End;
    if (got != 2)
        return Got::Damaged;
    const uint16_t recLen = Get16(rec, false);
    if (recLen < 2)
        return Got::Damaged;
    got += fread(rec + 2, 1, recLen, stream);
    if (got != static_cast<size_t>(recLen) + 2)
        return Got::Damaged;
    Untransform(rec + 2, rec + 2, recLen);
    const uint16_t keyLen = Get16(rec + 2, false);
    return keyLen + 2 <= recLen ? Got::Record : Got::Damaged;
}

bool NextRecord(FILE* stream, uint8_t* rec, const char* name, bool rewrite)
{
    size_t consumed = 0;
    const Got got = ReadRecord(stream, rec, &consumed);
    // The place is asked for only when it is told: ftell costs a system
    // call, and this is on the path of every record read.
    if (got == Got::Damaged && !ferror(stream)) {
        const long at = ftell(stream) - static_cast<long>(consumed);
        fprintf(stderr, "WARNING: database %s: the records end in a damaged one at byte %ld%s\n", name, at,
                rewrite ? "; the rest of the file is left out of the new copy" : "");
    }
    return got == Got::Record;
}

}  // namespace dbm

int PutData(FILE* stream, void* record)
{
    auto* rec = static_cast<uint8_t*>(record);
    const uint16_t recLen = dbm::Get16(rec, false);
    dbm::Transform(rec + 2, rec + 2, recLen);
    return fwrite(rec, static_cast<size_t>(recLen) + 2, 1, stream) == 1 ? 1 : 0;
}

int GetData(FILE* stream, void* record)
{
    return dbm::ReadRecord(stream, static_cast<uint8_t*>(record)) == dbm::Got::Record ? 1 : 0;
}

void DbmSetV4DriverPathHandling()
{
    DbmV4DriverPathHandling = true;
}

// A file that exists but does not open is probably being replaced by
// another process: it is tried again a second later, ten times in all.
FILE* OpenDataBase(const char* name, const char* ext, const char* mode, int level)
{
    char path[dbm::PATH_BUF];
    if (!dbm::DatabasePath(path, name, ext) || !FindFile(nullptr, path))
        return nullptr;
    for (int tries = 0; tries < 10; ++tries) {
        if (FILE* file = OpenFile(nullptr, path, mode, level))
            return file;
        sleep(1);
    }
    return nullptr;
}

// A read error is not the end of the file: the copy would lose the rest.
int PurgeRecord(const char* name, FILE* in, FILE* out, const char* key, int prefixLen)
{
    uint8_t rec[DBM_RECORD_BUF];
    while (dbm::NextRecord(in, rec, name, true)) {
        const int keyLen = dbm::Get16(rec + 2, false);
        if (dbm::KeyMatches(reinterpret_cast<const char*>(rec + 4), keyLen, key, prefixLen))
            continue;
        if (!PutData(out, rec)) {
            dbm::ReportWriteFailure(name);
            return 0;
        }
    }
    if (ferror(in)) {
        fprintf(stderr, "ERROR: Can't read %s\n", name);
        return 0;
    }
    return 1;
}
