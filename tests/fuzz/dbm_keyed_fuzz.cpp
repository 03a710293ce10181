// Keyed record files of arbitrary bytes: the record reader, the lookups, the
// key and link lists and the purging copy all stop at the first damaged
// record and never read past their buffers.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "Dbm.h"
#include "MemMgr.h"
#include "utils.h"
#include "dbm_fuzz_scratch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string& path = DbFile();
    FILE* file = fopen(path.c_str(), "wb");
    Check(file && fwrite(data, 1, size, file) == size && fclose(file) == 0, "write input");

    // The reader: every record it gives is whole and its key fits in it.
    static uint8_t rec[DBM_RECORD_BUF];
    int records = 0;
    std::string firstKey;
    int firstSize = -1;
    file = fopen(path.c_str(), "rb");
    Check(file != nullptr, "open input");
    while (GetData(file, rec)) {
        uint16_t recLen, keyLen;
        memcpy(&recLen, rec, 2);
        memcpy(&keyLen, rec + 2, 2);
        Check(recLen >= 2 && recLen <= DBM_MAX_READ && keyLen + 2 <= recLen, "record bounds");
        if (records++ == 0 && keyLen > 0 && memchr(rec + 4, 0, keyLen)) {
            firstKey = reinterpret_cast<const char*>(rec + 4);
            if (firstKey.size() + 1 == keyLen)
                firstSize = recLen - keyLen - 2;
        }
    }
    fclose(file);

    // The lookups and lists see the same records.
    int listed = 0;
    DbmLink* list = DbmGetDbLinkList("f", "");
    for (DbmLink* l = list; l; l = l->pNext, ++listed)
        Check(l->DataSize >= 0 && l->pData >= l->pRecord, "link sizes");
    DbmFreeDbLinkList(list);
    Check(listed == records, "link list length");
    PutMem(DbmGetRecordList("f", " ", "."));
    if (firstSize >= 0)
        Check(DbmGetRecordSize("f", firstKey.c_str()) == firstSize, "first record's size");
    DbmFreeDbLinkList(DbmGetDbLinkList("f", firstKey.c_str()));
    NextRecordIndex = 0;
    for (int i = 0; i < records; ++i)
        DbmGetNextRecord("f", rec);
    Check(NextRecordIndex == records, "next record counter");
    Check(DbmGetNextRecord("f", rec) == 0 && NextRecordIndex == records, "next record at the end");

    // The purging copy writes the records it keeps.
    FILE* in = fopen(path.c_str(), "rb");
    FILE* out = fopen("/dev/null", "wb");
    Check(in && out, "open purge files");
    Check(PurgeRecord("f", in, out, firstKey.empty() ? "x" : firstKey.c_str(), 0) == 1, "purge");
    fclose(in);
    fclose(out);
    return 0;
}
