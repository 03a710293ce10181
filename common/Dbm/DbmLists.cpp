// Keyed record files: key lists, link lists, the list of databases and the
// record dump; the list-building helpers shared with the tagged database.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "Dbm.h"
#include "DbmImpl.h"
#include "MemMgr.h"
#include "utils.h"

namespace dbm {

bool AppendToList(char*& list, int& length, const char* separator, std::string_view key)
{
    const size_t sepLen = strlen(separator);
    const size_t grown = static_cast<size_t>(length) + sepLen + key.size();
    if (grown >= INT_MAX)
        return false;
    auto* bigger = static_cast<char*>(AdjustMem(list, static_cast<int>(grown) + 1));
    if (!bigger)
        return false;
    memcpy(bigger + length, separator, sepLen);
    if (!key.empty())
        memcpy(bigger + length + sepLen, key.data(), key.size());
    bigger[grown] = '\0';
    list = bigger;
    length = static_cast<int>(grown);
    return true;
}

char* EndList(char* list, int length, const char* terminator)
{
    if (!list)
        return nullptr;
    AppendToList(list, length, terminator, {});
    return list;
}

}  // namespace dbm

namespace {

// Calls visit(rec, key) for every record of the database, in file order;
// false when the database cannot be opened.
template <typename Visit>
bool ForEachRecord(const char* name, Visit visit)
{
    FILE* in = OpenDataBase(name, "qdb", "rb", 0);
    if (!in)
        return false;
    uint8_t rec[DBM_RECORD_BUF];
    while (dbm::NextRecord(in, rec, name, false))
        visit(rec, dbm::KeyText(reinterpret_cast<const char*>(rec + 4), dbm::Get16(rec + 2, false)));
    fclose(in);
    return true;
}

}  // namespace

char* DbmGetRecordList(const char* name, const char* separator, const char* terminator)
{
    if (!name || !separator || !terminator)
        return nullptr;
    char* list = nullptr;
    int length = 0;
    ForEachRecord(name, [&](const uint8_t*, std::string_view key) {
        dbm::AppendToList(list, length, separator, key);
    });
    return dbm::EndList(list, length, terminator);
}

DbmLink* DbmGetDbLinkList(const char* name, const char* text)
{
    if (!name || !text)
        return nullptr;
    DbmLink* head = nullptr;
    DbmLink** tail = &head;
    ForEachRecord(name, [&](const uint8_t* rec, std::string_view key) {
        if (!dbm::KeyContains(key, text))
            return;
        auto* node = static_cast<DbmLink*>(GetMem(sizeof(DbmLink)));
        if (!node)
            return;
        const int recLen = dbm::Get16(rec, false);
        const int keyLen = dbm::Get16(rec + 2, false);
        node->pRecord = static_cast<char*>(GetMem(recLen));
        if (node->pRecord) {
            memcpy(node->pRecord, rec + 4, static_cast<size_t>(recLen) - 2);
            node->pData = node->pRecord + keyLen;
            node->DataSize = recLen - keyLen - 2;
        }
        *tail = node;
        tail = &node->pNext;
    });
    return head;
}

void DbmFreeDbLinkList(DbmLink* list)
{
    while (list) {
        DbmLink* next = list->pNext;
        PutMem(list->pRecord);
        PutMem(list);
        list = next;
    }
}

// The names are written over the listing itself: each is shorter than the
// entry it comes from, so writing never overtakes reading.
char* DbmGetDbList(int spaced)
{
    char* listing = GetDirFileList("db");
    if (!listing)
        return nullptr;
    const char separator = spaced ? ' ' : ',';
    const size_t total = strlen(listing);
    size_t out = spaced && total > 0 ? 1 : 0;
    bool first = true;
    size_t pos = 0;
    while (pos < total) {
        while (pos < total && listing[pos] == ' ')
            ++pos;
        size_t end = pos;
        while (end < total && listing[end] != ' ')
            ++end;
        const std::string_view entry(listing + pos, end - pos);
        const size_t dot = entry.find('.');
        if (!entry.empty() && dot != std::string_view::npos && entry.substr(dot) == ".qdb") {
            if (!first)
                listing[out++] = separator;
            memmove(listing + out, entry.data(), dot);
            out += dot;
            first = false;
        }
        pos = end;
    }
    listing[out] = '\0';
    return listing;
}

void DumpDbm(const char* name)
{
    if (!name)
        return;
    char path[dbm::PATH_BUF];
    int n = snprintf(path, sizeof path, "%s.db", name);
    if (n < 0 || n >= dbm::PATH_BUF)
        return;
    FILE* in = OpenFile(nullptr, path, "rb", 1);
    if (!in)
        return;
    uint8_t rec[DBM_RECORD_BUF];
    while (dbm::NextRecord(in, rec, path, false)) {
        const int recLen = dbm::Get16(rec, false);
        printf("%i %i ==>{", recLen, dbm::Get16(rec + 2, false));
        for (int i = 4; i < recLen + 2; ++i)
            putchar(isprint(rec[i]) ? rec[i] : '.');
        printf("}\n");
    }
    fclose(in);
}
