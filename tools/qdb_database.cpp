// qdb's hold on one database file.
#include "qdb_database.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "MemMgr.h"
#include "qdb_text.h"

namespace qdb {

void Fail(int status, std::string message)
{
    throw Failure{status, std::move(message)};
}

namespace {

// Runs a library call whose messages on standard error may leave their last
// line open (the library's "ERROR: Can't write to ..." has no line end): they
// are passed on with that line ended, so that qdb's own message that follows
// stands on a line of its own.
template <typename Call>
int EndingItsLine(Call call)
{
    fflush(stderr);
    FILE* held = tmpfile();
    const int saved = held ? dup(STDERR_FILENO) : -1;
    if (saved < 0 || dup2(fileno(held), STDERR_FILENO) < 0) {
        if (saved >= 0)
            close(saved);
        if (held)
            fclose(held);
        return call();
    }
    const int result = call();
    fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);
    rewind(held);
    int last = '\n';
    for (int c; (c = fgetc(held)) != EOF; last = c)
        fputc(c, stderr);
    if (last != '\n')
        fputc('\n', stderr);
    fclose(held);
    return result;
}

// The database file named on the command line, as an absolute path: the
// library takes a name with a "/" in front as the file's own path. A name
// with no "." anywhere gets ".qdb".
std::string PathOf(const std::string& arg)
{
    if (arg.empty())
        Fail(BAD_ARGS, "a database path may not be empty");
    std::string path = arg;
    if (arg[0] != '/') {
        char cwd[PATH_MAX];
        if (!getcwd(cwd, sizeof cwd))
            Fail(NO_DATABASE, std::string("current directory: ") + strerror(errno));
        path = std::string(cwd) + "/" + arg;
    }
    if (arg.find('.') == std::string::npos)
        path += ".qdb";
    return path;
}

void PutTagged(DbTHandle* h, const Record& r)
{
    const int keyLen = static_cast<int>(r.key.size()) + 1;
    const int recLen = 2 + keyLen + static_cast<int>(r.data.size());
    const unsigned char lengths[4] = {static_cast<unsigned char>(recLen >> 8), static_cast<unsigned char>(recLen),
                                      static_cast<unsigned char>(keyLen >> 8), static_cast<unsigned char>(keyLen)};
    memcpy(h->pImage + h->Cursor, lengths, 4);
    h->Cursor += 4;
    DbmTPutData(h, r.key.c_str(), keyLen);
    DbmTPutData(h, r.data.data(), static_cast<int>(r.data.size()));
    ++h->Count;
}

// A keyed record: RecLen, then KeyLen, key, NUL and data as one run, both
// lengths in the host's order.
void PutLegacy(DbTHandle* h, const Record& r)
{
    const auto keyLen = static_cast<uint16_t>(r.key.size() + 1);
    const auto recLen = static_cast<uint16_t>(2 + keyLen + r.data.size());
    memcpy(h->pImage + h->Cursor, &recLen, 2);
    h->Cursor += 2;
    std::string run(reinterpret_cast<const char*>(&keyLen), 2);
    run += r.key;
    run += '\0';
    run += r.data;
    DbmTPutData(h, run.data(), static_cast<int>(run.size()));
}

}  // namespace

Database::Database(const std::string& arg, Access access) : path_(PathOf(arg))
{
    struct stat st;
    if (stat(path_.c_str(), &st) != 0) {
        if (errno != ENOENT || access != Access::Create)
            Fail(NO_DATABASE, path_ + ": " + strerror(errno));
    } else if (!S_ISREG(st.st_mode)) {
        Fail(NO_DATABASE, path_ + ": not a database file");
    } else {
        // The library would try an unreadable file for ten seconds.
        const int fd = open(path_.c_str(), O_RDONLY | O_NONBLOCK);
        if (fd < 0)
            Fail(NO_DATABASE, path_ + ": " + strerror(errno));
        close(fd);
    }
    h_ = DbTOpen(path_.c_str(), DBT_NO_ARCHIVE);
    if (!h_)
        Fail(NO_DATABASE, path_ + ": out of memory");
    DbmSetV4DriverPathHandling();
    if (access != Access::Read && !EndingItsLine([this] { return DbmTLock(h_); })) {
        DbTClose(h_);
        h_ = nullptr;
        Fail(NOT_WRITTEN, path_ + ": not written");
    }
    if (stat(path_.c_str(), &st) == 0)
        modified_ = st.st_mtime;
    Survey();
}

// Walks every record; a damaged tail shows as a shorter image, which is
// given its whole size back.
void Database::Survey()
{
    const int size = h_->Size;
    records_ = 0;
    DbTRecInfo info;
    for (DbTRecInfo* r = WalkDbTRecords(h_, &info, 0); r; r = WalkDbTRecords(h_, &info, 1))
        ++records_;
    damagedAt_ = h_->Size < size ? h_->Size : -1;
    fileSize_ = size;
    h_->Size = size;
    h_->flTailCut = 0;
}

bool Database::Recognised() const
{
    return h_->Type != DBT_LEGACY || records_ > 0;
}

const char* Database::Format() const
{
    switch (h_->Type) {
    case DBT_TAGGED: return "tagged database";
    case DBT_LEGACY: return "keyed record file";
    default: return "empty database";
    }
}

void Database::CheckWhole() const
{
    if (Damaged())
        Fail(DAMAGED, path_ + ": damaged: the records end at byte " + std::to_string(damagedAt_) + " of " +
                          std::to_string(fileSize_) + " (qdb repair cuts the rest off)");
}

std::vector<Record> Database::List()
{
    std::vector<Record> records;
    DbmLink* list = DbmTGetDbLinkList(h_, "");
    for (const DbmLink* l = list; l; l = l->pNext) {
        if (!l->pRecord) {
            DbmFreeDbLinkList(list);
            Fail(NO_DATABASE, path_ + ": out of memory");
        }
        records.push_back({std::string(l->pRecord, static_cast<size_t>(l->pData - l->pRecord - 1)),
                           std::string(l->pData, static_cast<size_t>(l->DataSize))});
    }
    DbmFreeDbLinkList(list);
    return records;
}

void Database::SetRecords(const std::vector<Record>& records)
{
    const bool legacy = h_->Type == DBT_LEGACY;
    long size = legacy ? 0 : DBT_HEADER_SIZE;
    for (const Record& r : records) {
        CheckFits(r, h_->Type);
        size += 4 + static_cast<long>(r.key.size() + 1 + r.data.size());
        if (size >= INT_MAX)
            Fail(NOT_WRITTEN, path_ + ": too large");
    }
    auto* image = static_cast<char*>(GetMem(size > 0 ? static_cast<int>(size) : 1));
    if (!image)
        Fail(NOT_WRITTEN, path_ + ": out of memory");
    PutMem(h_->pImage);
    h_->pImage = image;
    h_->Size = static_cast<int>(size);
    h_->Count = 0;
    h_->flTailCut = 0;
    DbTSetDbType(h_, legacy ? DBT_LEGACY : DBT_TAGGED);
    h_->Cursor = legacy ? 0 : DBT_HEADER_SIZE;
    for (const Record& r : records)
        legacy ? PutLegacy(h_, r) : PutTagged(h_, r);
    if (!legacy)
        UpdateHeader(h_);
    records_ = static_cast<int>(records.size());
}

void Database::Save()
{
    if (!EndingItsLine([this] { return DbmTArchiveDb(h_); }))
        Fail(NOT_WRITTEN, path_ + ": not written");
}

void CheckFits(const Record& record, int type)
{
    if (record.key.size() > static_cast<size_t>(DBM_MAX_KEY))
        Fail(BAD_ARGS, "key '" + Escape(record.key.substr(0, 40)) + "...': longer than " +
                           std::to_string(DBM_MAX_KEY) + " characters");
    const size_t most = type == DBT_LEGACY ? DBM_MAX_RECORD : DBT_MAX_RECORD;
    if (2 + record.key.size() + 1 + record.data.size() > most)
        Fail(BAD_ARGS, "key '" + Escape(record.key) + "': the record would be longer than " +
                           std::to_string(most) + " bytes");
}

void Replace(std::vector<Record>& records, Record record)
{
    std::erase_if(records, [&](const Record& r) { return r.key == record.key; });
    records.push_back(std::move(record));
}

}  // namespace qdb
