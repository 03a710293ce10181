// Keyed record files: the bytes on disk, storing and replacing, exact and
// prefix keys, lists, the shared record counter, the database list, the
// dump, damaged files, the size limits, failed writes, the open retry and
// the naming of files by path.
#include <chrono>
#include <cstring>
#include <thread>

#include <sys/resource.h>

#include "dbm_fixture.h"

namespace {

using namespace dbm_test;

class KeyedTest : public DbmTest {
protected:
    std::string Get(const char* name, const char* key)
    {
        const int size = DbmGetRecordSize(name, key);
        std::string data(static_cast<size_t>(size), '\0');
        EXPECT_EQ(DbmGetRecord(name, key, data.data()), size);
        return data;
    }

    std::string Keys(const char* name) { return Str(DbmGetRecordList(name, " ", "")); }
};

TEST_F(KeyedTest, RecordBytesAreNativeLengthsAndOneTransformedRun)
{
    ASSERT_EQ(DbmPutRecord("t", "a", "b", 1), 1);
    // RecLen 5; then KeyLen 2, "a", NUL, "b" chained: 02^00 00^61 61^00 00^62 62.
    uint16_t one = 1;
    const bool little = *reinterpret_cast<uint8_t*>(&one) == 1;
    const Bytes expected = little ? Bytes("\x05\x00\x02\x61\x61\x62\x62", 7)
                                  : Bytes("\x00\x05\x00\x02\x02\x61\x62", 7);
    EXPECT_EQ(Read(DbFile("t")), expected);
    EXPECT_TRUE(ScratchCopies(DbFile("t")).empty());
    EXPECT_EQ(fs::status(DbFile("t")).permissions() & fs::perms::all, UnderMask(0666));
}

TEST_F(KeyedTest, StoreReplacesAndMovesTheRecordLast)
{
    ASSERT_EQ(DbmPutRecord("t", "one", "1", 2), 1);
    ASSERT_EQ(DbmPutRecord("t", "two", "22", 3), 1);
    ASSERT_EQ(DbmPutRecord("t", "one", "first again", 12), 1);
    EXPECT_EQ(Keys("t"), " two one");
    EXPECT_EQ(Get("t", "one"), std::string("first again", 12));
    EXPECT_EQ(Get("t", "two"), std::string("22", 3));
    EXPECT_EQ(DbmGetRecordSize("t", "three"), 0);
    EXPECT_EQ(DbmGetRecordSize("missing", "one"), 0);

    ASSERT_EQ(DbmCopyRecord("t", "two", "copy"), 1);
    EXPECT_EQ(Get("t", "copy"), std::string("22", 3));
    EXPECT_EQ(DbmCopyRecord("t", "absent", "x"), 0);
    EXPECT_EQ(Keys("t"), " two one copy");
}

TEST_F(KeyedTest, EmptyDataIsRefusedAndTheEmptyKeyIsAKey)
{
    EXPECT_EQ(DbmPutRecord("t", "k", "data", 0), 0);
    EXPECT_EQ(DbmPutRecord("t", "k", "data", -1), 0);
    EXPECT_FALSE(fs::exists(DbFile("t")));
    ASSERT_EQ(DbmPutRecord("t", "", "empty", 5), 1);
    EXPECT_EQ(Get("t", ""), "empty");
}

TEST_F(KeyedTest, KeysTooLongAndRecordsTooLargeAreRefused)
{
    const std::string longest(DBM_MAX_KEY, 'k');
    EXPECT_EQ(DbmPutRecord("t", (longest + "k").c_str(), "d", 1), 0);
    ASSERT_EQ(DbmPutRecord("t", longest.c_str(), "d", 1), 1);
    EXPECT_EQ(Get("t", longest.c_str()), "d");

    // Key "k" with its NUL, the length field of the key and the data fill
    // the largest record that a reader holds.
    std::string data(DBM_MAX_RECORD - 4, 'x');
    data.back() = 'y';
    EXPECT_EQ(DbmPutRecord("t", "k", (data + "z").data(), static_cast<int>(data.size()) + 1), 0);
    ASSERT_EQ(DbmPutRecord("t", "k", data.data(), static_cast<int>(data.size())), 1);
    EXPECT_EQ(Get("t", "k"), data);
    // The big record does not stop a later rewrite from reading past it.
    ASSERT_EQ(DbmPutRecord("t", "after", "a", 1), 1);
    EXPECT_EQ(Keys("t"), " " + longest + " k after");
}

TEST_F(KeyedTest, ExactKeysAndPrefixes)
{
    ASSERT_EQ(DbmPutRecord("t", "ab", "1", 1), 1);
    ASSERT_EQ(DbmPutRecord("t", "abc", "2", 1), 1);
    ASSERT_EQ(DbmPutRecord("t", "b", "3", 1), 1);
    EXPECT_EQ(Get("t", "ab"), "1");
    EXPECT_EQ(Get("t", "a"), "");

    ASSERT_EQ(DbmDeleteRecord("t", "ab"), 1);
    EXPECT_EQ(Keys("t"), " abc b");
    ASSERT_EQ(DbmPutRecord("t", "ab", "1", 1), 1);
    ASSERT_EQ(DbmDeleteRecords("t", "ab"), 1);
    EXPECT_EQ(Keys("t"), " b");
    EXPECT_EQ(DbmDeleteRecords("t", ""), 0);
    EXPECT_EQ(DbmDeleteRecords("t", nullptr), 0);
    EXPECT_EQ(DbmDeleteRecords("missing", "a"), 0);
    EXPECT_EQ(DbmDeleteRecord("missing", "a"), 0);
}

TEST_F(KeyedTest, DeletingAnAbsentKeyRewritesTheSameBytes)
{
    ASSERT_EQ(DbmPutRecord("t", "a", "1", 1), 1);
    ASSERT_EQ(DbmPutRecord("t", "b", "2", 1), 1);
    const Bytes before = Read(DbFile("t"));
    const ino_t inode = Inode(DbFile("t"));
    EXPECT_EQ(DbmDeleteRecord("t", "c"), 1);
    EXPECT_EQ(Read(DbFile("t")), before);
    EXPECT_NE(Inode(DbFile("t")), inode);
}

TEST_F(KeyedTest, RecordListsAndLinkLists)
{
    Write(DbFile("empty"), "");
    EXPECT_EQ(DbmGetRecordList("empty", " ", "."), nullptr);
    EXPECT_EQ(DbmGetRecordList("missing", " ", "."), nullptr);
    EXPECT_EQ(DbmGetDbLinkList("empty", ""), nullptr);

    ASSERT_EQ(DbmPutRecord("t", "red", "R", 2), 1);
    ASSERT_EQ(DbmPutRecord("t", "green", "GG", 3), 1);
    ASSERT_EQ(DbmPutRecord("t", "blue", "BBB", 4), 1);
    EXPECT_EQ(Str(DbmGetRecordList("t", ", ", ";")), ", red, green, blue;");

    DbmLink* list = DbmGetDbLinkList("t", "re");
    ASSERT_NE(list, nullptr);
    EXPECT_STREQ(list->pRecord, "red");
    EXPECT_STREQ(list->pData, "R");
    EXPECT_EQ(list->DataSize, 2);
    ASSERT_NE(list->pNext, nullptr);
    EXPECT_STREQ(list->pNext->pRecord, "green");
    EXPECT_STREQ(list->pNext->pData, "GG");
    EXPECT_EQ(list->pNext->pNext, nullptr);
    DbmFreeDbLinkList(list);
    EXPECT_EQ(DbmGetDbLinkList("t", "yellow"), nullptr);
}

// One counter for every database: each call moves it on, whichever
// database it names, and the end of a database leaves it where it is.
TEST_F(KeyedTest, NextRecordCounterIsSharedByAllDatabases)
{
    for (const char* key : {"r0", "r1", "r2"})
        ASSERT_EQ(DbmPutRecord("a", key, key, 3), 1);
    ASSERT_EQ(DbmPutRecord("b", "only", "b-data", 7), 1);
    NextRecordIndex = 0;
    char buffer[16] = "";
    EXPECT_EQ(DbmGetNextRecord("a", buffer), 3);
    EXPECT_STREQ(buffer, "r0");
    EXPECT_EQ(DbmGetNextRecord("a", nullptr), 3);
    EXPECT_EQ(NextRecordIndex, 2);
    EXPECT_EQ(DbmGetNextRecord("b", buffer), 0);  // b has no record 2
    EXPECT_EQ(NextRecordIndex, 2);
    EXPECT_EQ(DbmGetNextRecord("a", buffer), 3);
    EXPECT_STREQ(buffer, "r2");
    EXPECT_EQ(DbmGetNextRecord("a", buffer), 0);
    EXPECT_EQ(DbmGetNextRecord("a", buffer), 0);
    EXPECT_EQ(NextRecordIndex, 3);
    EXPECT_EQ(DbmGetNextRecord("missing", buffer), 0);
}

TEST_F(KeyedTest, DatabaseListTakesOnlyNameDotQdb)
{
    for (const char* name : {"a.qdb", "a.b.qdb", "a.qdb_new", "c.qdb", "notes", "x.QDB"})
        Write(dir + "/db/" + name, "");
    const auto cwd = fs::current_path();
    fs::current_path(dir);
    const std::string spaced = Str(DbmGetDbList(1));
    const std::string joined = Str(DbmGetDbList(0));
    fs::current_path(dir + "/db");
    EXPECT_EQ(DbmGetDbList(0), nullptr);  // no ./db here
    fs::current_path(cwd);
    EXPECT_TRUE(spaced == " a c" || spaced == " c a") << spaced;
    EXPECT_TRUE(joined == "a,c" || joined == "c,a") << joined;
}

TEST_F(KeyedTest, DumpPrintsLengthsAndPrintableBytes)
{
    Write(dir + "/dump.db", KeyedRecord("key", Bytes("d\x01\x7f", 3)) + KeyedRecord("k2", "x y"));
    const auto cwd = fs::current_path();
    fs::current_path(dir);
    testing::internal::CaptureStdout();
    DumpDbm("dump");
    fflush(stdout);
    const std::string out = testing::internal::GetCapturedStdout();
    fs::current_path(cwd);
    EXPECT_EQ(out, "9 4 ==>{key.d..}\n8 3 ==>{k2.x y}\n");
}

// A record that runs past the end of the file, a key longer than its
// record, and a record cut short all end the file there, and the reader
// says where; a rewrite keeps what came before and says what it leaves out.
TEST_F(KeyedTest, DamagedTailEndsTheFile)
{
    const Bytes good = KeyedRecord("good", "data");
    for (const Bytes& bad : {KeyedRecord("big", "x", 65530 - 6), KeyedRecord("key", "data", 0, 10),
                             KeyedRecord("key", "data").substr(0, 8), Bytes("\x01", 1),
                             Bytes("\x00\x00", 2)}) {
        Write(DbFile("t"), good + bad + KeyedRecord("lost", "data"));
        testing::internal::CaptureStderr();
        EXPECT_EQ(Keys("t"), " good");
        EXPECT_EQ(DbmGetRecordSize("t", "lost"), 0);
        const std::string read = testing::internal::GetCapturedStderr();
        EXPECT_NE(read.find("WARNING: database t: the records end in a damaged one at byte 13\n"),
                  std::string::npos) << read;
        testing::internal::CaptureStderr();
        ASSERT_EQ(DbmPutRecord("t", "new", "n", 1), 1);
        const std::string rewrite = testing::internal::GetCapturedStderr();
        EXPECT_NE(rewrite.find("at byte 13; the rest of the file is left out of the new copy"), std::string::npos)
            << rewrite;
        EXPECT_EQ(Read(DbFile("t")), good + KeyedRecord("new", "n"));
    }
}

// Every length a 16-bit RecLen counts is read, by this layer as by the
// tagged one, so that no rewrite drops a long record written elsewhere.
TEST_F(KeyedTest, RecordsUpToTheLargestLengthAreRead)
{
    for (int recLen : {DBM_MAX_RECORD + 1, 65535}) {
        const std::string data(static_cast<size_t>(recLen - 6), 'L');
        Write(DbFile("t"), KeyedRecord("big", data) + KeyedRecord("after", "a"));
        EXPECT_EQ(Get("t", "big"), data);
        DbTHandle* h = DbTOpen("t", 0);
        EXPECT_EQ(DbmTGetRecordSize(h, "big"), recLen - 6);
        DbTClose(h);
        testing::internal::CaptureStderr();
        ASSERT_EQ(DbmPutRecord("t", "new", "n", 1), 1);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(Read(DbFile("t")), KeyedRecord("big", data) + KeyedRecord("after", "a") + KeyedRecord("new", "n"));
    }
}

// A scratch copy that cannot be written whole never replaces the database,
// and the change reports the failure (deletions included).
TEST_F(KeyedTest, FailedWriteLeavesTheDatabase)
{
    const std::string big(1000, 'b');
    ASSERT_EQ(DbmPutRecord("t", "a", "1", 1), 1);
    ASSERT_EQ(DbmPutRecord("t", "large", big.data(), static_cast<int>(big.size())), 1);
    const Bytes before = Read(DbFile("t"));
    for (const auto& change : std::vector<std::function<int()>>{
             [&] { return DbmPutRecord("t", "big", big.data(), static_cast<int>(big.size())); },
             [] { return DbmDeleteRecords("t", "a"); },
             [] { return DbmDeleteRecord("t", "a"); }}) {
        testing::internal::CaptureStderr();
        const int result = InChild([&] {
            signal(SIGXFSZ, SIG_IGN);
            struct rlimit limit = {100, 100};
            setrlimit(RLIMIT_FSIZE, &limit);
            return change();
        });
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(result, 0);
        EXPECT_NE(err.find("ERROR: Can't write to t"), std::string::npos) << err;
        EXPECT_EQ(Read(DbFile("t")), before);
    }
}

// A change makes "db", open to all, in the current directory when that has
// none, wherever the database itself lies (also for a database named by
// its path); the tool directory's own "db" is made as the scratch copy's
// place when it is missing.
TEST_F(KeyedTest, ChangesMakeDbInTheCurrentDirectory)
{
    fs::remove(dir + "/db");
    fs::create_directories(dir + "/run/db");
    fs::current_path(dir + "/run");
    ASSERT_EQ(DbmPutRecord("t", "k", "v", 1), 1);
    EXPECT_EQ(Read(DbFile("t")), KeyedRecord("k", "v"));
    EXPECT_TRUE(fs::is_empty(dir + "/run/db"));

    fs::create_directory(dir + "/elsewhere");
    fs::current_path(dir + "/elsewhere");
    ASSERT_EQ(DbmPutRecord("t", "j", "w", 1), 1);
    EXPECT_EQ(fs::status(dir + "/elsewhere/db").permissions() & fs::perms::all, UnderMask(0777));
    EXPECT_TRUE(fs::is_empty(dir + "/elsewhere/db"));

    fs::create_directory(dir + "/third");
    fs::current_path(dir + "/third");
    DbTHandle* h = DbTOpen((dir + "/own.qdb").c_str(), 0);
    DbmSetV4DriverPathHandling();
    EXPECT_EQ(DbmTPutRecord(h, "k", "v", 1), 1);
    DbTClose(h);
    EXPECT_TRUE(fs::is_directory(dir + "/third/db"));
    EXPECT_TRUE(fs::exists(dir + "/own.qdb"));
}

// A database that exists but does not open yet (here a link whose target
// appears a moment later) is tried again a second later.
TEST_F(KeyedTest, OpenRetriesAFileThatExists)
{
    const std::string target = dir + "/later.qdb";
    fs::create_symlink(target, DbFile("t"));
    std::thread appear([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        Write(target, KeyedRecord("k", "v"));
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(DbmGetRecordSize("t", "k"), 1);
    appear.join();
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
}

// With the name as the path, every file opened is <name>_new, the scratch
// copy is <name>_new.XXXXXX of its own, and the move goes to <base> in the
// name's directory: from the scratch copy made last for the name, else
// from <base>_new.
TEST_F(KeyedTest, NamesAsPaths)
{
    const std::string path = dir + "/own.file";
    DbmSetV4DriverPathHandling();
    FILE* scratch = OpenNewDataBase(path.c_str());
    ASSERT_NE(scratch, nullptr);
    fputs("content", scratch);
    fclose(scratch);
    ASSERT_EQ(ScratchCopies(path).size(), 1u);
    EXPECT_EQ(RenameDataBase(path.c_str(), "qdb_new", "qdb"), 1);
    EXPECT_EQ(Read(path), "content");
    EXPECT_TRUE(ScratchCopies(path).empty());
    EXPECT_EQ(RenameDataBase(path.c_str(), "qdb_new", "qdb"), 0);

    Write(path + "_new", "by hand");
    FILE* again = OpenDataBase(path.c_str(), "qdb", "rb", 0);
    ASSERT_NE(again, nullptr);
    fclose(again);
    EXPECT_EQ(RenameDataBase(path.c_str(), "qdb_new", "qdb"), 1);
    EXPECT_EQ(Read(path), "by hand");
    EXPECT_FALSE(fs::exists(path + "_new"));
    DbTClose(nullptr);
    EXPECT_FALSE(DbmV4DriverPathHandling);

    // Without the flag, nothing is named while the tool directory is unset.
    char* saved = pToolPath;
    pToolPath = nullptr;
    testing::internal::CaptureStderr();
    EXPECT_EQ(DbmPutRecord("t", "k", "v", 1), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: no place for a new copy of database t\n");
    pToolPath = saved;
}

}  // namespace
