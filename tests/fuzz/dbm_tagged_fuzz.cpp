// Tagged database images of arbitrary bytes: loading, the record walk with
// its cut of a damaged tail, lookups through the key index, the lists, and
// changes made in memory all stay inside the image.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "Dbm.h"
#include "MemMgr.h"
#include "utils.h"
#include "dbm_fuzz_scratch.h"

namespace {

// Walks every record; the walk never leaves the image and ends it at the
// first damaged record.
int Walk(DbTHandle* h)
{
    const int size = h->Size;
    int records = 0;
    DbTRecInfo info;
    for (DbTRecInfo* r = WalkDbTRecords(h, &info, 0); r; r = WalkDbTRecords(h, &info, 1)) {
        ++records;
        Check(r->KeyLen + 2 <= r->RecLen && h->WalkPos <= h->Size, "record inside the image");
    }
    Check(h->Size <= size, "the walk only cuts");
    return records;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string& path = DbFile();
    FILE* file = fopen(path.c_str(), "wb");
    Check(file && fwrite(data, 1, size, file) == size && fclose(file) == 0, "write input");

    DbTHandle* h = DbTOpen("f", DBT_NO_ARCHIVE | DBT_NO_RELOAD);
    Check(h && h->pImage, "loaded");
    const int records = Walk(h);
    Check(Walk(h) == records, "a second walk finds the same records");

    // Every key found by the walk is found again by the lookup, with the
    // data of its first record.
    DbmLink* list = DbmTGetDbLinkList(h, "");
    std::map<std::string, std::string> first;
    int listed = 0;
    for (DbmLink* l = list; l; l = l->pNext, ++listed) {
        Check(l->pRecord != nullptr, "record copied");
        const std::string key = l->pRecord;
        if (key.empty() || key.size() + 1 != static_cast<size_t>(l->pData - l->pRecord))
            continue;  // no lookup names an empty key, or one with a NUL inside
        first.emplace(key, std::string(l->pData, static_cast<size_t>(l->DataSize)));
    }
    for (const auto& [key, expected] : first) {
        void* found = nullptr;
        const int got = DbmTGetRecordV(h, key.c_str(), &found, 0);
        Check(got == static_cast<int>(expected.size()), "lookup size");
        Check(got == 0 || memcmp(found, expected.data(), expected.size()) == 0, "lookup data");
        PutMem(found);
    }
    Check(listed == records, "link list length");
    PutMem(DbmTGetRecordList(h, ",", ";"));
    PutMem(DbmTGetRecordListS(h, list && list->pRecord ? list->pRecord : "k", " ", ""));

    // Changes in memory: a store is found again, a prefix removal removes.
    const char* prefix = list && list->pRecord && *list->pRecord ? list->pRecord : "k";
    Check(DbmTPutRecord(h, "fuzz-key", "value", 5) == 1, "store");
    char value[8] = "";
    Check(DbmTGetRecord(h, "fuzz-key", value) == 5 && memcmp(value, "value", 5) == 0, "stored record");
    DbmTDeleteRecords(h, prefix);
    Check(DbmTGetRecordSize(h, prefix) == 0, "prefix removed");
    Walk(h);
    DbmFreeDbLinkList(list);
    DbTClose(h);
    return 0;
}
