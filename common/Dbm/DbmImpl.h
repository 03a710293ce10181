// Shared pieces of the record databases: the chained XOR, 16-bit fields,
// key tests, file naming and the scratch copy's last steps.
#pragma once

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <utility>

#include "Dbm.h"

namespace dbm {

// A path as the system takes it, terminator included.
inline constexpr int PATH_BUF = PATH_MAX;

// Chained XOR: stored s[i] = b[i] ^ b[i+1], s[n-1] = b[n-1]. Both directions
// work in place (dst == src) as well as between separate buffers.
inline void Transform(uint8_t* dst, const uint8_t* src, int n)
{
    for (int i = 0; i < n - 1; ++i)
        dst[i] = src[i] ^ src[i + 1];
    if (n > 0)
        dst[n - 1] = src[n - 1];
}

inline void Untransform(uint8_t* dst, const uint8_t* src, int n)
{
    if (n <= 0)
        return;
    uint8_t next = src[n - 1];
    dst[n - 1] = next;
    for (int i = n - 2; i >= 0; --i) {
        next = src[i] ^ next;
        dst[i] = next;
    }
}

inline uint16_t Get16(const void* p, bool swap)
{
    uint8_t b[2];
    std::memcpy(b, p, 2);
    if (swap)
        std::swap(b[0], b[1]);
    uint16_t v;
    std::memcpy(&v, b, 2);
    return v;
}

inline void Put16(void* p, uint16_t v, bool swap)
{
    uint8_t b[2];
    std::memcpy(b, &v, 2);
    if (swap)
        std::swap(b[0], b[1]);
    std::memcpy(p, b, 2);
}

// The stored key as text: up to its first NUL, never beyond its KeyLen bytes
// (a damaged key may lack the NUL).
inline std::string_view KeyText(const char* key, int keyLen)
{
    return {key, strnlen(key, keyLen > 0 ? static_cast<size_t>(keyLen) : 0)};
}

// Exact match: the stored key (keyLen bytes with its NUL) is key. Prefix
// match (prefixLen > 0): the stored key begins with key's first prefixLen bytes.
inline bool KeyMatches(const char* stored, int keyLen, const char* key, int prefixLen)
{
    if (prefixLen > 0)
        return keyLen >= prefixLen && std::memcmp(stored, key, prefixLen) == 0;
    const size_t n = std::strlen(key) + 1;
    return static_cast<size_t>(keyLen) == n && std::memcmp(stored, key, n) == 0;
}

// The substring test of the link lists; an empty text is in every key.
inline bool KeyContains(std::string_view key, const char* text)
{
    return key.find(text) != std::string_view::npos;
}

inline bool IsLegacy(const DbTHandle* h)
{
    return h->Type == DBT_LEGACY;
}

inline uint8_t* Image(DbTHandle* h)
{
    return reinterpret_cast<uint8_t*>(h->pImage);
}

// The key of the record the walk stands on, as text in keyBuf (tagged) or
// in the legacy work buffer; Cursor moves behind the key.
inline const char* WalkKey(DbTHandle* h, const DbTRecInfo* info, char* keyBuf)
{
    if (IsLegacy(h))
        return info->pKey;
    DbmTGetData(h, keyBuf, info->KeyLen);
    return keyBuf;
}

// The search key in the form FindTRecord and PurgeTRecord compare it with:
// keys of tagged images are compared transformed (the transform of a run of
// fixed length is one to one, so equal stored bytes mean equal keys), and
// only a key that is asked for by its beginning needs its transform undone.
struct KeyProbe {
    const char* key;
    size_t n;           // key length with its NUL
    int prefixLen;      // 0 for the exact key
    bool comparable;    // n fits the key buffer
    uint8_t stored[DBM_KEY_BUF];
    char keyBuf[DBM_KEY_BUF];

    KeyProbe(const char* k, int prefix) : key(k), n(strlen(k) + 1), prefixLen(prefix)
    {
        comparable = n <= DBM_KEY_BUF;
        if (comparable && prefix == 0)
            Transform(stored, reinterpret_cast<const uint8_t*>(key), static_cast<int>(n));
    }

    // Whether the record the walk stands on matches; Cursor is then behind
    // its key.
    bool Matches(DbTHandle* h, const DbTRecInfo* info)
    {
        if (prefixLen > 0) {
            return info->KeyLen >= prefixLen &&
                   memcmp(WalkKey(h, info, keyBuf), key, static_cast<size_t>(prefixLen)) == 0;
        }
        if (info->KeyLen != n)
            return false;
        if (IsLegacy(h))
            return memcmp(info->pKey, key, n) == 0;
        if (!comparable || memcmp(Image(h) + h->Cursor, stored, n) != 0)
            return false;
        h->Cursor += static_cast<int>(n);
        return true;
    }
};

// The index of an image's keys: FindTRecord looks the key up there instead
// of walking every record, as long as the image is unchanged. IndexedFind
// gives -1 when no index can be had (memory is short), else FindTRecord's
// result, with the handle left as the walk would leave it.
int IndexedFind(DbTHandle* h, KeyProbe& probe, DbTRecInfo* info);
// The image changed in a way its pointer and size may not show.
void DropIndex(DbTHandle* h);
void FreeIndex(DbTHandle* h);

// Path of the database file with extension ext: <pToolPath>/db/<name>.<ext>,
// or <name>_new while DbmV4DriverPathHandling is on. False when pToolPath is
// needed but unset, or the path is too long.
bool DatabasePath(char* path, const char* name, const char* ext);

// Directory and file name of the scratch copy and of the database it
// replaces, as the move takes them.
struct Place {
    char dir[PATH_BUF];
    char from[PATH_BUF];
    char to[PATH_BUF];
};
bool ScratchPlace(Place& place, const char* name, const char* from, const char* to);

// Makes the directory "db" in the current directory, open to all, when the
// current directory has no entry of that name; false after saying why.
bool MakeDbDirectory();

void ReportWriteFailure(const char* name);

// The writers' lock of one database: an flock on <database>.lock beside it.
class WriterLock {
public:
    WriterLock() = default;
    ~WriterLock() { Release(); }
    WriterLock(const WriterLock&) = delete;
    WriterLock& operator=(const WriterLock&) = delete;
    // Waits until no other writer holds it; false after saying why.
    bool Take(const char* name);
    void Release();
    // Hands the held lock's descriptor over to the caller.
    int Detach();

private:
    int fd_ = -1;
};

// One change of a database file: a scratch copy of its own beside the
// database, and its move over it. A copy that is not moved is removed.
class Change {
public:
    Change() = default;
    ~Change();
    Change(const Change&) = delete;
    Change& operator=(const Change&) = delete;
    // Creates and opens the scratch copy; null after saying why.
    FILE* OpenScratch(const char* name);
    // Flushes the scratch copy to the disk and closes it; when written is
    // set and that succeeded, moves it over the database. 1 when moved; a
    // failed write is reported with the database's name.
    int Commit(const char* name, int written);

private:
    FILE* scratch_ = nullptr;
    char path_[PATH_BUF] = "";
};

// The scratch copy of its own: created exclusively in the database's
// directory (made when missing), mode 666 under the file creation mask.
// Null after saying why; path then holds nothing.
FILE* CreateScratch(const char* name, char* path);
// rename(2) of from over to; 1 when moved, else 0 after saying why.
int MoveOver(const char* from, const char* to);

// What reading one keyed record gives.
enum class Got { Record, End, Damaged };
// Reads one record into rec (DBM_RECORD_BUF bytes) and undoes its
// transform: Damaged for a record of length 0 or 1, one cut short by the
// end of the file, or one whose key runs past it. *consumed (when given)
// receives the bytes this read took from the stream.
Got ReadRecord(FILE* stream, uint8_t* rec, size_t* consumed = nullptr);
// Reads the next record of the named database; false at the end, which a
// damaged record makes after saying so on standard error (and, in a
// rewrite, that the rest of the file is left out).
bool NextRecord(FILE* stream, uint8_t* rec, const char* name, bool rewrite);

// Writes the image over the file, the writers' lock held by the caller.
int ArchiveImage(DbTHandle* h);
// The writers' lock for one change of a handle's database: already held
// when DbmTLock holds it, else taken into turn. False after saying why.
bool TakeTurn(DbTHandle* h, WriterLock& turn);

// Work buffer of the legacy walk and store: one whole legacy record with
// its transform undone. Null when memory is short.
inline constexpr int LEGACY_BUF = 65535;
uint8_t* LegacyWorkBuffer();

// Appends separator + key to a list string (AdjustMem); false when memory is
// short (the list is kept as it was).
bool AppendToList(char*& list, int& length, const char* separator, std::string_view key);
// Appends the terminator once to a list that exists.
char* EndList(char* list, int length, const char* terminator);

}  // namespace dbm
