// Tagged record databases: the header and record bytes, new, empty, legacy
// and damaged files, replacing and deleting, batched changes, reloading
// after another writer, lookups through the key index, the lists, the size
// limits, failed and interrupted write-backs, and names given as paths.
#include <csignal>
#include <cstring>
#include <map>
#include <random>

#include <sys/resource.h>

#include "dbm_fixture.h"

namespace {

using namespace dbm_test;

class TaggedTest : public DbmTest {
protected:
    void TearDown() override
    {
        for (DbTHandle* h : handles)
            DbTClose(h);
        DbmTest::TearDown();
    }

    DbTHandle* Open(const char* name, int flags = 0)
    {
        DbTHandle* h = DbTOpen(name, flags);
        EXPECT_NE(h, nullptr);
        handles.push_back(h);
        return h;
    }

    static std::string Get(DbTHandle* h, const char* key)
    {
        const int size = DbmTGetRecordSize(h, key);
        std::string data(static_cast<size_t>(size), '\0');
        EXPECT_EQ(DbmTGetRecord(h, key, data.data()), size);
        return data;
    }

    static std::string Keys(DbTHandle* h) { return Str(DbmTGetRecordList(h, " ", "")); }

    static bool Put(DbTHandle* h, const char* key, const std::string& data)
    {
        return DbmTPutRecord(h, key, data.data(), static_cast<int>(data.size())) == 1;
    }

    std::vector<DbTHandle*> handles;
};

TEST_F(TaggedTest, FirstStoreWritesHeaderAndRecord)
{
    DbTHandle* h = Open("t");
    EXPECT_EQ(h->pImage, nullptr);
    EXPECT_EQ(h->flModified, 0);
    ASSERT_TRUE(Put(h, "ab", "xyz"));
    const Bytes file = Read(DbFile("t"));
    ASSERT_EQ(file.size(), 26u);
    EXPECT_EQ(file.substr(0, 8), Bytes("TQDBAA1\0", 8));
    // RecLen 8 and KeyLen 3 big-endian, "ab" NUL and "xyz" chained apart.
    EXPECT_EQ(file.substr(16), Bytes("\x00\x08\x00\x03" "\x03\x62\x00" "\x01\x03\x7a", 10));
    EXPECT_EQ(h->Type, DBT_TAGGED);
    EXPECT_EQ(h->Count, 1);
    EXPECT_EQ(h->flSwap, 1);  // this host is little-endian
    EXPECT_TRUE(ScratchCopies(DbFile("t")).empty());

    ASSERT_TRUE(Put(h, "c", "d"));
    ASSERT_TRUE(Put(h, "ab", "again"));
    EXPECT_EQ(Keys(h), " c ab");
    EXPECT_EQ(h->Count, 2);
    EXPECT_EQ(Read(DbFile("t")).substr(0, 8), Bytes("TQDBAA2\0", 8));
    EXPECT_EQ(Get(h, "ab"), "again");
}

TEST_F(TaggedTest, HeaderCountIsCutToNineDigits)
{
    DbTHandle* h = Open("t");
    ASSERT_TRUE(Put(h, "k", "v"));
    h->Count = 1234567890;
    UpdateHeader(h);
    EXPECT_EQ(Bytes(h->pImage, 16).substr(0, 16), Bytes("TQDBAA123456789\0", 16));
    h->Count = -12;
    UpdateHeader(h);
    EXPECT_EQ(Bytes(h->pImage, 10), Bytes("TQDBAA-12\0", 10));
}

TEST_F(TaggedTest, EmptyFileLoadsAsNewAndTurnsTagged)
{
    Write(DbFile("t"), "");
    DbTHandle* h = Open("t", DBT_NO_ARCHIVE);
    EXPECT_EQ(h->Type, DBT_NEW);
    EXPECT_EQ(h->Size, 16);
    EXPECT_EQ(Bytes(h->pImage, 8), Bytes("TQDBAA0\0", 8));
    EXPECT_EQ(Keys(h), "(null)");
    // The batched record survives the reloads before the next operations.
    ASSERT_TRUE(Put(h, "k", "v"));
    EXPECT_EQ(h->Type, DBT_TAGGED);
    EXPECT_EQ(Get(h, "k"), "v");
    EXPECT_EQ(Read(DbFile("t")), "");
    ASSERT_EQ(DbmTArchiveDb(h), 1);
    EXPECT_EQ(Read(DbFile("t")).substr(0, 8), Bytes("TQDBAA1\0", 8));

    // A tagged header cut short holds no record: a new image, which a store
    // fills behind a whole header.
    Write(DbFile("short"), "TQDBAA5\0ab");
    DbTHandle* s = Open("short");
    EXPECT_EQ(s->Type, DBT_NEW);
    ASSERT_TRUE(Put(s, "k", "v"));
    const Bytes file = Read(DbFile("short"));
    EXPECT_EQ(file.substr(0, 8), Bytes("TQDBAA1\0", 8));
    EXPECT_EQ(file.substr(16), TaggedRecord("k", "v"));
}

TEST_F(TaggedTest, LegacyFilesAreReadAndKeptLegacy)
{
    const Bytes first = KeyedRecord("first", "1");
    Write(DbFile("t"), first + KeyedRecord("second", "22") + KeyedRecord("third", "333"));
    DbTHandle* h = Open("t");
    EXPECT_EQ(h->Type, DBT_LEGACY);
    EXPECT_EQ(h->flSwap, 0);
    EXPECT_EQ(Keys(h), " first second third");
    EXPECT_EQ(Get(h, "second"), "22");

    ASSERT_TRUE(Put(h, "fourth", "4444"));
    ASSERT_EQ(DbmTDeleteRecord(h, "first"), 1);
    EXPECT_EQ(Read(DbFile("t")),
              KeyedRecord("second", "22") + KeyedRecord("third", "333") + KeyedRecord("fourth", "4444"));
    // The keyed-record layer reads what the tagged one wrote.
    char buffer[8];
    EXPECT_EQ(DbmGetRecord("t", "fourth", buffer), 4);
    EXPECT_EQ(h->Count, 0);
}

TEST_F(TaggedTest, DeletingExactKeysAndPrefixes)
{
    DbTHandle* h = Open("t");
    for (const char* key : {"ab", "abc", "b", "abd"})
        ASSERT_TRUE(Put(h, key, key));
    EXPECT_EQ(DbmTDeleteRecord(h, "a"), 0);
    EXPECT_EQ(DbmTDeleteRecord(h, ""), 0);
    ASSERT_EQ(DbmTDeleteRecord(h, "ab"), 1);
    EXPECT_EQ(Keys(h), " abc b abd");
    EXPECT_EQ(h->Count, 3);

    const ino_t inode = Inode(DbFile("t"));
    EXPECT_EQ(DbmTDeleteRecords(h, "x"), 1);
    EXPECT_EQ(Inode(DbFile("t")), inode);  // nothing matched, nothing written
    EXPECT_EQ(DbmTDeleteRecords(h, ""), 0);
    ASSERT_EQ(DbmTDeleteRecords(h, "ab"), 1);
    EXPECT_EQ(Keys(h), " b");
    EXPECT_EQ(h->Count, 1);
    DbTHandle* fresh = Open("t");
    EXPECT_EQ(Keys(fresh), " b");
    EXPECT_EQ(fresh->Count, 1);
}

TEST_F(TaggedTest, NoArchiveKeepsChangesInMemoryUntilArchived)
{
    DbTHandle* writer = Open("t");
    ASSERT_TRUE(Put(writer, "old", "o"));
    const Bytes before = Read(DbFile("t"));

    DbTHandle* h = Open("t", DBT_NO_ARCHIVE);
    ASSERT_TRUE(Put(h, "new", "n"));
    ASSERT_EQ(DbmTDeleteRecord(h, "old"), 1);
    EXPECT_EQ(Get(h, "new"), "n");
    EXPECT_EQ(Read(DbFile("t")), before);
    ASSERT_EQ(DbmTArchiveDb(h), 1);
    EXPECT_EQ(Keys(writer), " new");
}

// Another writer replaces the file within the same second: the next
// operation still sees its change.
TEST_F(TaggedTest, ReloadsAfterAnotherWriter)
{
    DbTHandle* reader = Open("t");
    EXPECT_EQ(DbmTGetRecordSize(reader, "k"), 0);
    ASSERT_EQ(InChild([] {
                  DbTHandle* w = DbTOpen("t", 0);
                  const int ok = DbmTPutRecord(w, "k", "first", 5);
                  DbTClose(w);
                  return ok;
              }),
              1);
    EXPECT_EQ(Get(reader, "k"), "first");
    ASSERT_EQ(InChild([] {
                  DbTHandle* w = DbTOpen("t", 0);
                  const int ok = DbmTPutRecord(w, "k", "other", 5) + DbmTPutRecord(w, "j", "x", 1);
                  DbTClose(w);
                  return ok;
              }),
              2);
    EXPECT_EQ(Get(reader, "k"), "other");

    // A handle that had no file yet picks the file up before its first store.
    DbTHandle* late = Open("late");
    DbTHandle* early = Open("late");
    ASSERT_TRUE(Put(early, "a", "1"));
    ASSERT_TRUE(Put(late, "b", "2"));
    EXPECT_EQ(Keys(Open("late")), " a b");

    // Without reloading, the image stays as it was loaded.
    DbTHandle* fixed = Open("t", DBT_NO_RELOAD);
    ASSERT_TRUE(Put(reader, "z", "26"));
    EXPECT_EQ(DbmTGetRecordSize(fixed, "z"), 0);
}

TEST_F(TaggedTest, DamagedTailIsCutAndWrittenBack)
{
    const Bytes good = TaggedRecord("good", "data");
    for (const Bytes& bad : {TaggedRecord("big", "x", 200), TaggedRecord("key", "data", 0, 10),
                             TaggedRecord(std::string(DBM_KEY_BUF, 'k'), "d"), Bytes("\x00", 1),
                             TaggedRecord("short", "data", -6)}) {
        Write(DbFile("t"), TaggedHeader(3) + good + bad + TaggedRecord("lost", "data"));
        DbTHandle* h = Open("t");
        // A lookup that finds its key before the damage leaves the image whole.
        EXPECT_EQ(Get(h, "good"), "data");
        EXPECT_EQ(h->Size, static_cast<int>(Read(DbFile("t")).size()));
        EXPECT_EQ(DbmTGetRecordSize(h, "lost"), 0);
        EXPECT_EQ(h->Size, static_cast<int>(16 + good.size()));
        testing::internal::CaptureStderr();
        ASSERT_TRUE(Put(h, "new", "n"));
        ASSERT_TRUE(Put(h, "next", "n"));
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err, "WARNING: database t: the damaged records at its end are left out of the new file\n");
        EXPECT_EQ(Read(DbFile("t")).substr(16), good + TaggedRecord("new", "n") + TaggedRecord("next", "n"));
    }

    Write(DbFile("legacy"), KeyedRecord("good", "data") + KeyedRecord("key", "data", 0, 10));
    DbTHandle* h = Open("legacy");
    EXPECT_EQ(Keys(h), " good");
    EXPECT_EQ(h->Size, static_cast<int>(KeyedRecord("good", "data").size()));
}

// The key index gives what walking the records gives, through every kind
// of change, with duplicate keys answered by their first record.
TEST_F(TaggedTest, LookupsFollowEveryChange)
{
    Write(DbFile("dup"), TaggedHeader(3) + TaggedRecord("k", "first") + TaggedRecord("k", "second") +
                             TaggedRecord("j", "x"));
    DbTHandle* dup = Open("dup", DBT_NO_ARCHIVE);
    EXPECT_EQ(Get(dup, "k"), "first");
    ASSERT_TRUE(Put(dup, "k", "third"));  // every old "k" goes
    EXPECT_EQ(Keys(dup), " j k");
    EXPECT_EQ(Get(dup, "k"), "third");

    std::mt19937 random(5);
    std::map<std::string, std::string> model;
    DbTHandle* h = Open("t", DBT_NO_ARCHIVE);
    for (int step = 0; step < 3000; ++step) {
        const std::string key = "key" + std::to_string(random() % 200);
        switch (random() % 4) {
        case 0:
        case 1: {
            const std::string data = std::to_string(step);
            ASSERT_TRUE(Put(h, key.c_str(), data));
            model[key] = data;
            break;
        }
        case 2:
            EXPECT_EQ(DbmTDeleteRecord(h, key.c_str()), model.erase(key) ? 1 : 0);
            break;
        default: {
            const auto it = model.find(key);
            EXPECT_EQ(Get(h, key.c_str()), it == model.end() ? "" : it->second) << key;
        }
        }
    }
    for (const auto& [key, data] : model)
        EXPECT_EQ(Get(h, key.c_str()), data);
    EXPECT_EQ(h->Count, static_cast<int>(model.size()));
}

TEST_F(TaggedTest, ReadingIntoBuffersAndCopying)
{
    DbTHandle* h = Open("t");
    ASSERT_TRUE(Put(h, "k", "twelve bytes"));
    char small[4] = "abc";
    void* buffer = small;
    EXPECT_EQ(DbmTGetRecordV(h, "k", &buffer, sizeof small), 12);
    ASSERT_NE(buffer, small);
    EXPECT_EQ(std::string(static_cast<char*>(buffer), 12), "twelve bytes");
    EXPECT_STREQ(small, "abc");
    PutMem(buffer);
    char big[32] = "";
    buffer = big;
    EXPECT_EQ(DbmTGetRecordV(h, "k", &buffer, sizeof big), 12);
    EXPECT_EQ(buffer, big);
    buffer = nullptr;
    EXPECT_EQ(DbmTGetRecordV(h, "k", &buffer, 100), 12);
    ASSERT_NE(buffer, nullptr);
    PutMem(buffer);
    EXPECT_EQ(DbmTGetRecordV(h, "absent", &buffer, 0), 0);

    ASSERT_EQ(DbmTCopyRecord(h, "k", "copy"), 1);
    EXPECT_EQ(Get(h, "copy"), "twelve bytes");
    EXPECT_EQ(DbmTCopyRecord(h, "absent", "x"), 0);
}

TEST_F(TaggedTest, ListsByNameAndText)
{
    DbTHandle* h = Open("t");
    for (const char* key : {"menu.a", "menu.b", "help.x", "msg.1"})
        ASSERT_TRUE(Put(h, key, std::string("data of ") + key));
    EXPECT_EQ(Str(DbmTGetRecordList(h, "|", "#")), "|menu.a|menu.b|help.x|msg.1#");
    EXPECT_EQ(Str(DbmTGetRecordListS(h, "help,msg", ",", ";")), ",help.x,msg.1;");
    EXPECT_EQ(DbmTGetRecordListS(h, "none", ",", ";"), nullptr);
    EXPECT_EQ(DbmTGetRecordListS(h, "", ",", ";"), nullptr);

    // The names are read without disturbing the shared token cursor.
    ASSERT_STREQ(GetToken("one two", " "), "one");
    EXPECT_EQ(TestKeyName("menu.a", ",,x,menu"), 1);
    EXPECT_EQ(TestKeyName("menu.a", "menus,help"), 0);
    EXPECT_STREQ(GetToken(nullptr, " "), "two");

    DbmLink* list = DbmTGetDbLinkList(h, "menu");
    ASSERT_NE(list, nullptr);
    EXPECT_STREQ(list->pRecord, "menu.a");
    EXPECT_STREQ(list->pData, "data of menu.a");
    EXPECT_EQ(list->DataSize, 14);
    ASSERT_NE(list->pNext, nullptr);
    EXPECT_STREQ(list->pNext->pData, "data of menu.b");
    EXPECT_EQ(list->pNext->pNext, nullptr);
    DbmFreeDbLinkList(list);
}

// A tagged record may fill its 16-bit RecLen; a legacy one only what the
// keyed-record reader takes in, so that the keyed layer still reads the file.
TEST_F(TaggedTest, StoresOutsideTheLimitsAreRefused)
{
    DbTHandle* h = Open("t");
    const std::string longest(DBM_MAX_KEY, 'k');
    EXPECT_FALSE(Put(h, (longest + "k").c_str(), "d"));
    EXPECT_FALSE(Put(h, "k", ""));
    EXPECT_FALSE(Put(h, "k", std::string(DBT_MAX_RECORD - 3, 'd')));
    EXPECT_FALSE(fs::exists(DbFile("t")));
    ASSERT_TRUE(Put(h, longest.c_str(), "d"));
    std::string biggest(DBT_MAX_RECORD - 4, 'd');
    biggest.back() = 'e';
    ASSERT_TRUE(Put(h, "k", biggest));
    ASSERT_TRUE(Put(h, "after", "a"));
    DbTHandle* again = Open("t");
    EXPECT_EQ(Get(again, longest.c_str()), "d");
    EXPECT_EQ(Get(again, "k"), biggest);
    EXPECT_EQ(Keys(again), " " + longest + " k after");

    Write(DbFile("legacy"), KeyedRecord("old", "o"));
    DbTHandle* legacy = Open("legacy");
    EXPECT_FALSE(Put(legacy, "k", std::string(DBM_MAX_RECORD - 3, 'd')));
    ASSERT_TRUE(Put(legacy, "k", std::string(DBM_MAX_RECORD - 4, 'd')));
    EXPECT_EQ(DbmGetRecordSize("legacy", "k"), DBM_MAX_RECORD - 4);
    EXPECT_EQ(DbmGetRecordSize("legacy", "old"), 1);
}

// The empty key is stored like any other and shows in the lists, though no
// lookup or deletion names it.
TEST_F(TaggedTest, TheEmptyKeyIsStored)
{
    DbTHandle* h = Open("t");
    ASSERT_TRUE(Put(h, "", "empty"));
    ASSERT_TRUE(Put(h, "k", "v"));
    EXPECT_EQ(Keys(h), "  k");
    EXPECT_EQ(Read(DbFile("t")).substr(16), TaggedRecord("", "empty") + TaggedRecord("k", "v"));
    DbmLink* list = DbmTGetDbLinkList(Open("t"), "");
    ASSERT_NE(list, nullptr);
    EXPECT_STREQ(list->pRecord, "");
    EXPECT_EQ(std::string(list->pData, static_cast<size_t>(list->DataSize)), "empty");
    DbmFreeDbLinkList(list);
    EXPECT_EQ(DbmTGetRecordSize(h, ""), 0);
}

TEST_F(TaggedTest, FailedWriteBackLeavesTheFile)
{
    DbTHandle* h = Open("t");
    ASSERT_TRUE(Put(h, "a", "1"));
    const Bytes before = Read(DbFile("t"));
    testing::internal::CaptureStderr();
    const int result = InChild([h] {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = {100, 100};
        setrlimit(RLIMIT_FSIZE, &limit);
        DbmTPutRecord(h, "big", std::string(1000, 'b').data(), 1000);
        return DbmTDeleteRecords(h, "a");
    });
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, 0);
    EXPECT_NE(err.find("ERROR: Can't write to t"), std::string::npos) << err;
    EXPECT_EQ(Read(DbFile("t")), before);
}

// A writer killed while it rewrites a large database leaves the old file
// or the new one, never a mixture.
TEST_F(TaggedTest, KilledWriterLeavesAWholeDatabase)
{
    const std::string data(20000, 'd');
    auto dataOf = [&](int i) { return std::to_string(i) + data; };
    std::mt19937 random(11);
    int interrupted = 0;
    for (int attempt = 0; attempt < 20 && interrupted < 3; ++attempt) {
        fflush(nullptr);
        const pid_t child = fork();
        if (child == 0) {
            DbTHandle* w = DbTOpen("big", DBT_NO_RELOAD);
            for (int i = w->Count;; ++i) {
                const std::string key = "key" + std::to_string(i);
                if (!DbmTPutRecord(w, key.c_str(), dataOf(i).data(), static_cast<int>(dataOf(i).size())))
                    _exit(1);
            }
        }
        usleep(100000 + static_cast<useconds_t>(random() % 200000));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself";
        // A writer killed between creating its scratch copy and the move
        // leaves that copy behind, under a name no other writer uses.
        interrupted = static_cast<int>(ScratchCopies(DbFile("big")).size());

        DbTHandle* h = DbTOpen("big", 0);
        ASSERT_NE(h->pImage, nullptr);
        const int size = h->Size;
        DbmLink* list = DbmTGetDbLinkList(h, "");
        EXPECT_EQ(h->Size, size) << "damaged";
        int records = 0;
        for (DbmLink* l = list; l; l = l->pNext, ++records) {
            ASSERT_EQ(std::string(l->pRecord), "key" + std::to_string(records));
            ASSERT_EQ(std::string(l->pData, static_cast<size_t>(l->DataSize)), dataOf(records));
        }
        EXPECT_EQ(h->Count, records);
        DbmFreeDbLinkList(list);
        DbTClose(h);
    }
    EXPECT_GT(interrupted, 0) << "no kill landed during a rewrite";
}

// Named by path (as the tools do), the database is the file itself and its
// scratch copy lies beside it.
TEST_F(TaggedTest, NamesAsPaths)
{
    const std::string path = dir + "/own.qdb";
    DbTHandle* h = Open(path.c_str());
    DbmSetV4DriverPathHandling();
    ASSERT_TRUE(Put(h, "k", "v"));
    EXPECT_EQ(Read(path).substr(16), TaggedRecord("k", "v"));
    EXPECT_TRUE(ScratchCopies(path).empty());
    EXPECT_FALSE(fs::exists(DbFile("own")));
    DbTClose(h);
    handles.clear();
    EXPECT_FALSE(DbmV4DriverPathHandling);

    // A path without "." is read with ".qdb" added; a name starting with "."
    // is taken as it is.
    EXPECT_EQ(Get(Open((dir + "/own").c_str()), "k"), "v");
    const auto cwd = fs::current_path();
    fs::current_path(dir);
    EXPECT_EQ(Get(Open("./own.qdb"), "k"), "v");
    fs::current_path(cwd);
    EXPECT_EQ(DbTOpen(nullptr, 0), nullptr);
}

}  // namespace
