// Keyed record files: naming, the record primitives, opening with retries,
// the scratch copy and its move over the database, and purging.
#include <cerrno>
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

// The suite's tools run in their tool directory, where "db" holds the
// databases shared by all of them (hence open to all) and where
// DbmGetDbList and DumpDbm look. The test is on the current directory,
// whatever pToolPath says and however the database is named.
void MakeDbDirectory()
{
    if (!FindFile(".", "db"))
        CreateFile("./db", nullptr, "777", nullptr, nullptr);
}

void ReportWriteFailure(const char* name)
{
    fprintf(stderr, "ERROR: Can't write to %s", name);
}

// The data must be on the disk before the scratch copy takes the database's
// place: a crash after the move then still finds the whole new file.
int CloseNewDataBase(FILE* scratch, int written, const char* name)
{
    bool ok = written != 0;
    if (fflush(scratch) != 0 || fsync(fileno(scratch)) != 0)
        ok = false;
    if (fclose(scratch) != 0)
        ok = false;
    if (written && !ok)
        ReportWriteFailure(name);
    return ok ? 1 : 0;
}

}  // namespace dbm

int PutData(FILE* stream, void* record)
{
    auto* rec = static_cast<uint8_t*>(record);
    const uint16_t recLen = dbm::Get16(rec, false);
    dbm::Transform(rec + 2, rec + 2, recLen);
    return fwrite(rec, static_cast<size_t>(recLen) + 2, 1, stream) == 1 ? 1 : 0;
}

// A record that would not fit the buffer, or whose key would run past its
// end, is never read further: it ends the file as a damaged tail does.
int GetData(FILE* stream, void* record)
{
    auto* rec = static_cast<uint8_t*>(record);
    if (fread(rec, 2, 1, stream) != 1)
        return 0;
    const uint16_t recLen = dbm::Get16(rec, false);
    if (recLen < 2 || recLen > DBM_MAX_RECORD)
        return 0;
    if (fread(rec + 2, recLen, 1, stream) != 1)
        return 0;
    dbm::Untransform(rec + 2, rec + 2, recLen);
    const uint16_t keyLen = dbm::Get16(rec + 2, false);
    return keyLen + 2 <= recLen ? 1 : 0;
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

FILE* OpenNewDataBase(const char* name)
{
    dbm::Place place;
    if (!dbm::ScratchPlace(place, name, "qdb_new", "qdb")) {
        fprintf(stderr, "ERROR: no place for a new copy of database %s\n", name ? name : "");
        return nullptr;
    }
    CreateFile(place.dir, place.from, "666", nullptr, nullptr);
    return OpenDataBase(name, "qdb_new", "wb", 1);
}

// The move is one rename(2): the database is the old file or the new one at
// every moment, and no shell sees the names.
int RenameDataBase(const char* name, const char* from, const char* to)
{
    dbm::Place place;
    if (!dbm::ScratchPlace(place, name, from, to) || !FindFile(place.dir, place.from))
        return 0;
    char fromPath[dbm::PATH_BUF];
    char toPath[dbm::PATH_BUF];
    int n = snprintf(fromPath, sizeof fromPath, "%s/%s", place.dir, place.from);
    int m = snprintf(toPath, sizeof toPath, "%s/%s", place.dir, place.to);
    if (n < 0 || n >= dbm::PATH_BUF || m < 0 || m >= dbm::PATH_BUF)
        return 0;
    if (rename(fromPath, toPath) != 0) {
        fprintf(stderr, "ERROR: can't move %s to %s: %s\n", fromPath, toPath, strerror(errno));
        return 0;
    }
    return 1;
}

// A read error is not the end of the file: the copy would lose the rest.
int PurgeRecord(const char* name, FILE* in, FILE* out, const char* key, int prefixLen)
{
    uint8_t rec[DBM_RECORD_BUF];
    while (GetData(in, rec)) {
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
