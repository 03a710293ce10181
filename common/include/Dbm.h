// Record databases: small key/value stores on disk.
//
// Keyed record file: a flat file of records, each a NUL-terminated key and
// opaque data, read and rewritten whole by every operation. One record:
//   RecLen  16 bits, native order: bytes that follow (2 + KeyLen + data)
//   then one run of RecLen bytes stored with the chained XOR below:
//   KeyLen  16 bits, native order: key length with its NUL
//   key     KeyLen bytes, the last one the NUL
//   data    RecLen - 2 - KeyLen bytes
// Chained XOR of n bytes b: stored s[i] = b[i] ^ b[i+1], s[n-1] = b[n-1].
//
// Tagged record database: the whole file in memory behind a DbTHandle. The
// file starts with a 16-byte header ("TQDBAA", the record count in decimal,
// a NUL, random filler), then records whose RecLen and KeyLen are big-endian
// and stored plain, followed by the key (with its NUL) and the data as two
// separately transformed runs. A file without the header is a keyed record
// file, read and written as such (the legacy type).
//
// Naming: a database name gives <pToolPath>/db/<name>.qdb. With
// DbmV4DriverPathHandling on, the name is the path of the file itself. A
// change is always written whole to a scratch copy of its own beside the
// database (<name>.qdb_new.XXXXXX, or <name>_new.XXXXXX with the flag),
// flushed to disk and then moved over the database, so an interrupted
// change leaves the old or the new file. Writers of one database take
// turns: each holds an advisory lock (flock) on <database>.lock, beside it,
// from reading the old file until the new one has taken its place. Readers
// take no lock; they see the old file or the new one.
//
// Limits: a key holds at most DBM_MAX_KEY characters. The readers of both
// layers take in any record that a 16-bit RecLen counts (DBM_MAX_READ). A
// store into a keyed record file holds at most DBM_MAX_RECORD bytes after
// its length field, so that readers of the narrower kind read it too; one
// into a tagged database DBT_MAX_RECORD. Larger stores are refused. A
// record that runs past the end of the file, or whose KeyLen exceeds its
// RecLen, ends the file there (a damaged tail); the keyed layer says so on
// standard error, and a rewrite that leaves such a tail out says so too.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>

// ---- keyed record file ----

inline constexpr int DBM_MAX_RECORD = 65527;            // bytes after RecLen, stored
inline constexpr int DBM_MAX_READ = 65535;              // bytes after RecLen, read
inline constexpr int DBM_RECORD_BUF = 2 + DBM_MAX_READ;  // one record buffer
inline constexpr int DBM_KEY_BUF = 4096;                 // a key and its NUL
inline constexpr int DBM_MAX_KEY = DBM_KEY_BUF - 1;

// One record of a link list; the caller frees the list with DbmFreeDbLinkList.
struct DbmLink {
    DbmLink* pNext;   // next node, null at the end
    char* pRecord;    // private copy of the key, its NUL and the data (GetMem)
    char* pData;      // the data inside pRecord, behind the key's NUL
    int DataSize;     // data bytes
};

// The name is the database's own path while set; off at start and again
// after DbTClose.
extern bool DbmV4DriverPathHandling;
// Record position of DbmGetNextRecord, shared by all databases, only counted up.
extern int NextRecordIndex;

// Primitives on a record buffer laid out as on disk (RecLen, then RecLen
// bytes). PutData transforms the buffer in place and writes it; 1 when
// written. GetData reads one record into a buffer of DBM_RECORD_BUF bytes
// and undoes the transform; 0 at the end of the file, for a record of length
// 0 and for a damaged or truncated record.
int PutData(FILE* stream, void* record);
int GetData(FILE* stream, void* record);

void DbmSetV4DriverPathHandling();
// Opens the named database's file with extension ext (see Naming). A file
// that does not exist gives null at once; one that exists but does not open
// is tried 10 times, a second apart; level is OpenFile's reporting level.
FILE* OpenDataBase(const char* name, const char* ext, const char* mode, int level);
// Creates a scratch copy of the database's own (mode 666 under the file
// creation mask, its directory made when missing) and opens it for writing;
// null after saying why on standard error.
FILE* OpenNewDataBase(const char* name);
// Moves the scratch copy that OpenNewDataBase made last for this name over
// <name>.<to>; without one, <name>.<from> (with the flag: <name>_new over
// the name). 1 when moved.
int RenameDataBase(const char* name, const char* from, const char* to);
// Copies the records of in to out but those whose key is key (prefixLen 0)
// or begins with its first prefixLen bytes. 1 when every record was copied.
int PurgeRecord(const char* name, FILE* in, FILE* out, const char* key, int prefixLen);

// The changes below return 0 for a failure they could not get past (a
// directory that cannot be made or written, a full disk), after saying on
// standard error which path and why; the database is then as it was.

// 1 when stored; 0 for a null argument, no data, a record over the limits
// or a failure. Any record with that key is replaced; the new one is last.
int DbmPutRecord(const char* name, const char* key, const void* data, int length);
// Data bytes copied into buffer (which must hold DbmGetRecordSize bytes);
// 0 when absent or empty.
int DbmGetRecord(const char* name, const char* key, void* buffer);
int DbmGetRecordSize(const char* name, const char* key);
// Data length of the record at NextRecordIndex, copied into buffer when one
// is given, and NextRecordIndex counted up; 0 at the end.
int DbmGetNextRecord(const char* name, void* buffer);
// 1 when the file was rewritten without the key (also when it was absent).
int DbmDeleteRecord(const char* name, const char* key);
// Removes every record whose key begins with the (non-empty) prefix; 1 when
// the file was rewritten.
int DbmDeleteRecords(const char* name, const char* prefix);
// Stores the data of fromKey under toKey; 0 when fromKey has no data.
int DbmCopyRecord(const char* name, const char* fromKey, const char* toKey);
// separator + key for every record, then the terminator once (GetMem); null
// when there is no record.
char* DbmGetRecordList(const char* name, const char* separator, const char* terminator);
// The records whose key contains text, in file order; null when none.
DbmLink* DbmGetDbLinkList(const char* name, const char* text);
void DbmFreeDbLinkList(DbmLink* list);
// Names of the "*.qdb" databases in ./db: " a b" when spaced, else "a,b"
// (GetMem); null when the directory cannot be read.
char* DbmGetDbList(int spaced);
// Prints every record of <name>.db (current directory) to standard output.
void DumpDbm(const char* name);
// Kept for the suite's tools; they do nothing.
void DbmCreate(const char* name, int flags);
void DbmDelete(const char* name, int flags);

// ---- tagged record database ----

// Open flags.
inline constexpr int DBT_NO_RELOAD = 2;   // never look for changes on disk
inline constexpr int DBT_NO_ARCHIVE = 4;  // changes wait for DbmTArchiveDb
// Image types.
inline constexpr int DBT_NEW = 0;     // header only, made in memory
inline constexpr int DBT_LEGACY = 1;  // keyed record file, no header
inline constexpr int DBT_TAGGED = 2;  // file with the 16-byte header

inline constexpr int DBT_HEADER_SIZE = 16;
// Bytes after RecLen in a record of a tagged image; a legacy image is a
// keyed record file and keeps to DBM_MAX_RECORD.
inline constexpr int DBT_MAX_RECORD = 65535;
inline constexpr char DBT_MAGIC[] = "TQDBAA";
// Byte-order probe: read as one native 32-bit word it is 0x01020304 on a
// big-endian host only.
extern const unsigned char TLBuf[5];

struct DbTIndex;

struct DbTHandle {
    char* pName;               // the name given to DbTOpen (saved copy)
    unsigned char flSwap;      // 16-bit fields are byte-swapped between image and host
    int Flags;                 // DBT_NO_RELOAD, DBT_NO_ARCHIVE
    char* pImage;              // the whole file (GetMem)
    int Size;                  // bytes of the image in use
    time_t MTime;              // modification time of the file loaded, 0 when none
    int Cursor;                // offset of the next transform read or write
    int WalkPos;               // offset of the next record of the walk
    int Count;                 // records, as the header keeps them
    unsigned char flModified;  // image (re)loaded or altered
    int Type;                  // DBT_NEW, DBT_LEGACY or DBT_TAGGED
    // The rest of the loaded file's status, so that a file replaced within
    // the same second as the load is still seen as changed.
    long MTimeNsec;
    long FileSize;
    unsigned long FileIno;
    DbTIndex* pIndex;          // key lookup table of the image, built on demand
    int LockFd;                // the writers' lock while DbmTLock holds it, else -1
    unsigned char flTailCut;   // a damaged tail was cut off the image as loaded
    unsigned char flUnread;    // the file is there but could not be read: no change is written
};

// What the record walk gives for each record. pKey is set for legacy images
// only: the key and data in a work buffer shared by all handles, valid until
// the next walk step.
struct DbTRecInfo {
    uint16_t RecLen;
    uint16_t KeyLen;
    char* pKey;
};

// A handle loaded from the file if it exists; null for a null name or when
// memory is short.
DbTHandle* DbTOpen(const char* name, int flags);
// Frees everything; also switches DbmV4DriverPathHandling off.
void DbTClose(DbTHandle* h);
// Loads the file again when it changed since the image was taken.
void DbTUpDate(DbTHandle* h);
void DbTSetDbType(DbTHandle* h, int type);
// Writes magic, Count, NUL and filler into the image's first 16 bytes.
void UpdateHeader(DbTHandle* h);
// Transformed copies between the image at Cursor and the caller; Cursor
// moves on by length.
void DbmTPutData(DbTHandle* h, const void* source, int length);
void DbmTGetData(DbTHandle* h, void* destination, int length);
// Step 0 gives the first record, later steps the next; null at the end (and
// a damaged tail is cut off the image there).
DbTRecInfo* WalkDbTRecords(DbTHandle* h, DbTRecInfo* info, int step);
// 1 when the record with exactly this key is found: info describes it and
// Cursor stands behind its key.
int FindTRecord(DbTHandle* h, const char* key, DbTRecInfo* info);
// Removes the records with this key (prefixLen 0) or beginning with its
// first prefixLen bytes from the image; 1 when any was removed.
int PurgeTRecord(DbTHandle* h, const char* key, int prefixLen);
// Writes the image over the file; 1 on success.
int DbmTArchiveDb(DbTHandle* h);
// Waits for the writers' lock of the handle's database and brings the image
// up to date (changes not yet written are given up when the file changed).
// Until DbmTUnlock (or DbTClose), the handle's changes and write-backs are
// made under that lock, so that several changes build on the file as it is
// and reach it in one write-back with no other writer between. Another
// writer of the same database in this process would wait for ever. 1 when
// held.
int DbmTLock(DbTHandle* h);
void DbmTUnlock(DbTHandle* h);
int DbmTPutRecord(DbTHandle* h, const char* key, const void* data, int length);
int DbmTGetRecord(DbTHandle* h, const char* key, void* buffer);
// As DbmTGetRecord into *buffer of size bytes; a smaller buffer is replaced
// by a new one of the data's size (GetMem; the old one is not freed).
int DbmTGetRecordV(DbTHandle* h, const char* key, void** buffer, int size);
int DbmTGetRecordSize(DbTHandle* h, const char* key);
int DbmTCopyRecord(DbTHandle* h, const char* fromKey, const char* toKey);
// 0 when nothing was removed, else whether the file was rewritten.
int DbmTDeleteRecord(DbTHandle* h, const char* key);
// 1 unless the arguments are bad or a needed rewrite failed.
int DbmTDeleteRecords(DbTHandle* h, const char* prefix);
char* DbmTGetRecordList(DbTHandle* h, const char* separator, const char* terminator);
// Only the keys that begin with one of the comma-separated names.
char* DbmTGetRecordListS(DbTHandle* h, const char* names, const char* separator,
                         const char* terminator);
int TestKeyName(const char* key, const char* names);
DbmLink* DbmTGetDbLinkList(DbTHandle* h, const char* text);
