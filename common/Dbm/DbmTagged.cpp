// Tagged record database: the handle, loading the file into the image, the
// header, the transformed reads and writes at the cursor, the record walk,
// finding and removing records, and writing the image back.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Dbm.h"
#include "DbmImpl.h"
#include "MemMgr.h"
#include "utils.h"

const unsigned char TLBuf[5] = {1, 2, 3, 4, 0};

namespace dbm {

// Shared by all handles and kept for the life of the process.
uint8_t* LegacyWorkBuffer()
{
    static uint8_t* buffer = nullptr;
    if (!buffer)
        buffer = static_cast<uint8_t*>(GetMem(LEGACY_BUF));
    return buffer;
}

}  // namespace dbm

namespace {

using dbm::Image;
using dbm::IsLegacy;

bool HostIsBigEndian()
{
    uint32_t word;
    memcpy(&word, TLBuf, 4);
    return word == 0x01020304;
}

// File of the handle's name: an absolute name as it is (".qdb" added when
// it has no "."), a name starting with "." as it is, any other under
// <pToolPath>/db.
bool TaggedPath(char* path, const char* name)
{
    int n;
    if (name[0] == '/')
        n = snprintf(path, dbm::PATH_BUF, "%s%s", name, strchr(name, '.') ? "" : ".qdb");
    else if (name[0] == '.')
        n = snprintf(path, dbm::PATH_BUF, "%s", name);
    else if (pToolPath)
        n = snprintf(path, dbm::PATH_BUF, "%s/db/%s.qdb", pToolPath, name);
    else
        return false;
    return n >= 0 && n < dbm::PATH_BUF;
}

void KeepStamp(DbTHandle* h, const struct stat& st)
{
    h->MTime = st.st_mtime;
    h->MTimeNsec = st.st_mtim.tv_nsec;
    h->FileSize = st.st_size;
    h->FileIno = st.st_ino;
}

bool SameStamp(const DbTHandle* h, const struct stat& st)
{
    return h->MTime == st.st_mtime && h->MTimeNsec == st.st_mtim.tv_nsec &&
           h->FileSize == st.st_size && h->FileIno == st.st_ino;
}

// The whole file through one descriptor, so that the content, its size and
// its time all belong to the same file even while another process replaces
// it. Null when it cannot be read or is empty (*st then tells which).
char* ReadImage(const char* path, struct stat* st, int* size)
{
    *size = 0;
    st->st_size = -1;
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    char* image = nullptr;
    if (fstat(fd, st) == 0 && S_ISREG(st->st_mode) && st->st_size > 0 && st->st_size < INT_MAX)
        image = static_cast<char*>(GetMem(static_cast<int>(st->st_size)));
    long got = 0;
    while (image && got < st->st_size) {
        ssize_t n = read(fd, image + got, static_cast<size_t>(st->st_size - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += n;
    }
    close(fd);
    if (image && got == 0) {
        PutMem(image);
        image = nullptr;
    }
    *size = static_cast<int>(got);
    return image;
}

// The record count of a tagged header: the decimal text at offset 6, up to
// its NUL and never beyond the image.
int HeaderCount(const DbTHandle* h)
{
    const char* p = h->pImage + 6;
    const char* end = h->pImage + h->Size;
    bool negative = p < end && *p == '-';
    if (negative)
        ++p;
    long count = 0;
    for (; p < end && *p >= '0' && *p <= '9'; ++p)
        count = count < INT_MAX ? count * 10 + (*p - '0') : count;
    count = count < INT_MAX ? count : INT_MAX;
    return static_cast<int>(negative ? -count : count);
}

// A fresh image of the header alone, as for an empty file.
void NewImage(DbTHandle* h)
{
    h->pImage = nullptr;
    h->Size = 0;
    h->MTime = 0;
    h->MTimeNsec = 0;
    h->FileSize = 0;
    h->FileIno = 0;
    h->Cursor = 0;
    h->WalkPos = 0;
    h->Count = 0;
    h->flModified = 0;
    h->flTailCut = 0;
    DbTSetDbType(h, DBT_NEW);
    h->pImage = static_cast<char*>(GetMem(DBT_HEADER_SIZE));
    if (!h->pImage)
        return;
    h->Size = DBT_HEADER_SIZE;
    UpdateHeader(h);
}

DbTRecInfo* CutTail(DbTHandle* h, int start)
{
    h->Size = start;
    h->flTailCut = 1;
    return nullptr;
}

}  // namespace

DbTHandle* DbTOpen(const char* name, int flags)
{
    if (!name)
        return nullptr;
    auto* h = static_cast<DbTHandle*>(GetMem(sizeof(DbTHandle)));
    if (!h)
        return nullptr;
    h->pName = SaveStr_(name);
    h->Flags = flags;
    h->LockFd = -1;
    DbTUpDate(h);
    h->flModified = 0;
    return h;
}

void DbTClose(DbTHandle* h)
{
    DbmV4DriverPathHandling = false;
    if (!h)
        return;
    DbmTUnlock(h);
    dbm::FreeIndex(h);
    PutMem(h->pImage);
    PutMem(h->pName);
    PutMem(h);
}

void DbTUpDate(DbTHandle* h)
{
    if (!h || !h->pName || !*h->pName)
        return;
    char path[dbm::PATH_BUF];
    struct stat st;
    if (!TaggedPath(path, h->pName))
        return;
    if (stat(path, &st) != 0 || !S_ISREG(st.st_mode)) {
        h->flUnread = 0;
        return;
    }
    if (h->pImage && SameStamp(h, st))
        return;

    PutMem(h->pImage);
    h->pImage = nullptr;
    h->flModified = 1;
    dbm::DropIndex(h);
    char* image = nullptr;
    int size = 0;
    for (int reads = 1; reads <= 10; ++reads) {
        image = ReadImage(path, &st, &size);
        if (image || st.st_size == 0)
            break;
        if (reads < 10)
            sleep(1);
    }
    const bool tagged = image && size >= 5 && memcmp(image, DBT_MAGIC, 5) == 0;
    if (image && (!tagged || size >= DBT_HEADER_SIZE)) {
        h->pImage = image;
        h->Size = size;
        h->flTailCut = 0;
        h->flUnread = 0;
        KeepStamp(h, st);
        if (tagged)
            h->Count = HeaderCount(h);
        DbTSetDbType(h, tagged ? DBT_TAGGED : DBT_LEGACY);
        return;
    }
    // Nothing read, or a tagged header cut short (it holds no record): a
    // new image. An empty file, or that short header, is the state of the
    // file as loaded, so it is not read again until it changes; a file that
    // could not be read is tried again at the next reload, and until it is
    // read no change is written over it: the empty image would replace
    // every record the file holds.
    const bool loaded = image || st.st_size == 0;
    PutMem(image);
    NewImage(h);
    h->flUnread = !loaded;
    if (loaded)
        KeepStamp(h, st);
}

void DbTSetDbType(DbTHandle* h, int type)
{
    if (!h)
        return;
    dbm::DropIndex(h);
    h->Type = type;
    h->flSwap = type != DBT_LEGACY && !HostIsBigEndian();
}

void UpdateHeader(DbTHandle* h)
{
    if (!h || !h->pImage || h->Size < DBT_HEADER_SIZE)
        return;
    char digits[32];
    snprintf(digits, sizeof digits, "%li", static_cast<long>(h->Count));
    digits[9] = '\0';
    const int end = snprintf(h->pImage, DBT_HEADER_SIZE, "%s%s", DBT_MAGIC, digits) + 1;
    for (int i = end; i < DBT_HEADER_SIZE; ++i)
        h->pImage[i] = static_cast<char>(rand() % 256);
}

void DbmTPutData(DbTHandle* h, const void* source, int length)
{
    if (!h || !h->pImage || length <= 0)
        return;
    dbm::DropIndex(h);
    dbm::Transform(Image(h) + h->Cursor, static_cast<const uint8_t*>(source), length);
    h->Cursor += length;
}

void DbmTGetData(DbTHandle* h, void* destination, int length)
{
    if (!h || !h->pImage || length <= 0 || h->Cursor < 0 || length > h->Size - h->Cursor)
        return;
    dbm::Untransform(static_cast<uint8_t*>(destination), Image(h) + h->Cursor, length);
    h->Cursor += length;
}

// A record that runs past the image, or whose key runs past the record or
// the key buffer, is not read: the image ends before it.
DbTRecInfo* WalkDbTRecords(DbTHandle* h, DbTRecInfo* info, int step)
{
    if (!h || !h->pImage || !info)
        return nullptr;
    const bool legacy = IsLegacy(h);
    uint8_t* legacyBuf = legacy ? dbm::LegacyWorkBuffer() : nullptr;
    if (step == 0)
        h->WalkPos = legacy ? 0 : DBT_HEADER_SIZE;
    if (legacy && !legacyBuf)
        return nullptr;
    const int start = h->WalkPos;
    if (start >= h->Size)
        return nullptr;
    h->Cursor = start;
    if (h->Size - start < 2)
        return CutTail(h, start);
    const int recLen = dbm::Get16(Image(h) + start, h->flSwap);
    h->Cursor += 2;
    if (recLen < 2 || recLen > h->Size - start - 2)
        return CutTail(h, start);
    int keyLen;
    if (legacy) {
        DbmTGetData(h, legacyBuf, recLen);
        keyLen = dbm::Get16(legacyBuf, false);
        info->pKey = reinterpret_cast<char*>(legacyBuf) + 2;
    } else {
        keyLen = dbm::Get16(Image(h) + h->Cursor, h->flSwap);
        h->Cursor += 2;
        info->pKey = nullptr;
        if (keyLen > DBM_KEY_BUF)
            return CutTail(h, start);
    }
    if (keyLen + 2 > recLen)
        return CutTail(h, start);
    info->RecLen = static_cast<uint16_t>(recLen);
    info->KeyLen = static_cast<uint16_t>(keyLen);
    h->WalkPos = start + recLen + 2;
    return info;
}

int FindTRecord(DbTHandle* h, const char* key, DbTRecInfo* info)
{
    if (!h || !key || !*key || !info)
        return 0;
    if (!h->pImage)
        return 0;
    dbm::KeyProbe probe(key, 0);
    const int found = dbm::IndexedFind(h, probe, info);
    if (found >= 0)
        return found;
    for (DbTRecInfo* r = WalkDbTRecords(h, info, 0); r; r = WalkDbTRecords(h, info, 1))
        if (probe.Matches(h, r))
            return 1;
    return 0;
}

int PurgeTRecord(DbTHandle* h, const char* key, int prefixLen)
{
    if (!h || !key || !*key || prefixLen < 0)
        return 0;
    if (!(h->Flags & DBT_NO_RELOAD))
        DbTUpDate(h);
    if (!h->pImage)
        return 0;
    dbm::KeyProbe probe(key, prefixLen);
    bool removed = false;
    DbTRecInfo info;
    for (DbTRecInfo* r = WalkDbTRecords(h, &info, 0); r; r = WalkDbTRecords(h, &info, 1)) {
        if (!probe.Matches(h, r))
            continue;
        const int end = h->WalkPos;
        const int start = end - r->RecLen - 2;
        memmove(h->pImage + start, h->pImage + end, static_cast<size_t>(h->Size - end));
        h->Size -= end - start;
        if (h->Count != 0)
            --h->Count;
        h->WalkPos = start;
        removed = true;
    }
    if (!removed)
        return 0;
    dbm::DropIndex(h);
    // The image keeps at least one byte: a handle without one would take
    // the file again at the next reload and drop this change.
    if (char* shrunk = static_cast<char*>(AdjustMem(h->pImage, h->Size > 0 ? h->Size : 1)))
        h->pImage = shrunk;
    h->flModified = 1;
    return 1;
}

namespace dbm {

// A tail cut off as damaged is not in the image: writing the image over
// the file drops it, and says so.
int ArchiveImage(DbTHandle* h)
{
    if (h->flUnread) {
        fprintf(stderr, "ERROR: Can't read %s\n", h->pName);
        return 0;
    }
    if (h->Type == DBT_TAGGED)
        UpdateHeader(h);
    if (!MakeDbDirectory())
        return 0;
    Change change;
    FILE* scratch = change.OpenScratch(h->pName);
    if (!scratch)
        return 0;
    const int written = h->Size <= 0 || fwrite(h->pImage, static_cast<size_t>(h->Size), 1, scratch) == 1;
    if (!written)
        ReportWriteFailure(h->pName);
    if (!change.Commit(h->pName, written))
        return 0;
    if (h->flTailCut)
        fprintf(stderr, "WARNING: database %s: the damaged records at its end are left out of the new file\n",
                h->pName);
    h->flTailCut = 0;
    return 1;
}

bool TakeTurn(DbTHandle* h, WriterLock& turn)
{
    return h->LockFd >= 0 || turn.Take(h->pName);
}

}  // namespace dbm

int DbmTArchiveDb(DbTHandle* h)
{
    if (!h)
        return 0;
    dbm::WriterLock turn;
    if (!dbm::TakeTurn(h, turn))
        return 0;
    return dbm::ArchiveImage(h);
}
