// Record databases written by several processes at once, named with
// characters a shell would read as commands, and kept in directories the
// writer may not change.
#include <chrono>
#include <cstdio>
#include <set>

#include "dbm_fixture.h"

namespace {

using namespace dbm_test;

enum class Layer { Keyed, Tagged };

// The keys one writer stores (and, with deletes, the ones it stores and
// takes away again).
std::string KeyOf(int writer, int i)
{
    return "w" + std::to_string(writer) + "-k" + std::to_string(i);
}

std::string PassingKeyOf(int writer, int i)
{
    return "w" + std::to_string(writer) + "-gone" + std::to_string(i);
}

// One writer: 200 keys of its own; with deletes, every fourth key also
// brings a passing record that the next step removes. 0 when every call
// succeeded.
int Writer(Layer layer, int writer, bool deletes)
{
    DbTHandle* h = layer == Layer::Tagged ? DbTOpen("shared", 0) : nullptr;
    auto put = [&](const std::string& key) {
        const std::string data = "data of " + key;
        const int size = static_cast<int>(data.size());
        return h ? DbmTPutRecord(h, key.c_str(), data.data(), size)
                 : DbmPutRecord("shared", key.c_str(), data.data(), size);
    };
    auto remove = [&](const std::string& key) {
        return h ? DbmTDeleteRecord(h, key.c_str()) : DbmDeleteRecord("shared", key.c_str());
    };
    int failures = 0;
    for (int i = 0; i < 200; ++i) {
        failures += put(KeyOf(writer, i)) != 1;
        if (deletes && i % 4 == 0)
            failures += put(PassingKeyOf(writer, i)) != 1;
        if (deletes && i % 4 == 1)
            failures += remove(PassingKeyOf(writer, i - 1)) != 1;
    }
    DbTClose(h);
    return failures == 0 ? 0 : 1;
}

class WritersTest : public DbmTest, public testing::WithParamInterface<std::tuple<Layer, bool>> {
protected:
    // The keys of the shared database, read by the tagged layer (which
    // reads both formats); fails the test when the records end before the
    // file does.
    std::multiset<std::string> StoredKeys()
    {
        std::multiset<std::string> keys;
        DbTHandle* h = DbTOpen("shared", DBT_NO_RELOAD);
        const int size = h->Size;
        DbmLink* list = DbmTGetDbLinkList(h, "");
        EXPECT_EQ(h->Size, size) << "the records end early";
        for (const DbmLink* l = list; l; l = l->pNext)
            keys.insert(l->pRecord);
        DbmFreeDbLinkList(list);
        DbTClose(h);
        return keys;
    }
};

TEST_P(WritersTest, NoStoreOfOneWriterIsLostByAnother)
{
    const Layer layer = std::get<0>(GetParam());
    const bool deletes = std::get<1>(GetParam());
    const auto start = std::chrono::steady_clock::now();
    const std::vector<int> statuses = AllAtOnce(8, [&](int w) { return Writer(layer, w, deletes); });
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(statuses, std::vector<int>(8, 0));

    std::multiset<std::string> expected;
    for (int w = 0; w < 8; ++w)
        for (int i = 0; i < 200; ++i)
            expected.insert(KeyOf(w, i));
    const std::multiset<std::string> stored = StoredKeys();
    size_t kept = 0;
    for (const std::string& key : expected)
        kept += stored.count(key) > 0;
    printf("[ figures  ] %s layer%s: %zu of 1600 records kept, %.2f s\n",
           layer == Layer::Tagged ? "tagged" : "keyed", deletes ? " with deletes" : "", kept, seconds);
    EXPECT_EQ(stored, expected);
    for (const auto& entry : fs::directory_iterator(dir + "/db")) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name == "shared.qdb" || name == "shared.qdb.lock") << "left behind: " << name;
    }
}

INSTANTIATE_TEST_SUITE_P(Layers, WritersTest,
                         testing::Combine(testing::Values(Layer::Keyed, Layer::Tagged), testing::Bool()),
                         [](const testing::TestParamInfo<WritersTest::ParamType>& info) {
                             return std::string(std::get<0>(info.param) == Layer::Tagged ? "Tagged" : "Keyed") +
                                    (std::get<1>(info.param) ? "WithDeletes" : "StoresOnly");
                         });

class NamesTest : public DbmTest {};

// No name reaches a shell: database names and a tool directory holding
// separators, substitutions, quotes and blanks give files of exactly those
// names and run nothing.
TEST_F(NamesTest, NamesAreFileNamesAndNothingElse)
{
    const std::string tool = dir + "/tool dir;$(touch PWNED) 'q\"";
    fs::create_directories(tool + "/db");
    PutMem(pToolPath);
    pToolPath = SaveStr_(tool.c_str());
    const std::vector<std::string> names = {"a;touch PWNED;b", "$(touch PWNED)", "`touch PWNED`",
                                            "it's \"quoted\"", "two words", "x|touch PWNED&"};
    const int status = InChild([&] {
        int failures = 0;
        for (const std::string& name : names) {
            failures += DbmPutRecord(name.c_str(), "k", "v", 1) != 1;
            failures += DbmPutRecord(name.c_str(), "j", "w", 1) != 1;
            failures += DbmDeleteRecord(name.c_str(), "j") != 1;
            DbTHandle* h = DbTOpen(name.c_str(), 0);
            failures += DbmTPutRecord(h, "t", "u", 1) != 1;
            failures += DbmTDeleteRecord(h, "k") != 1;
            DbTClose(h);
        }
        return failures;
    });
    EXPECT_EQ(status, 0);
    for (const std::string& name : names)
        EXPECT_EQ(Read(tool + "/db/" + name + ".qdb"), KeyedRecord("t", "u")) << name;
    std::set<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        files.insert(entry.path().filename().string());
    EXPECT_EQ(files.count("PWNED"), 0u);
    EXPECT_FALSE(fs::exists(cwd / "PWNED"));
    EXPECT_FALSE(fs::exists("/PWNED"));
    for (const std::string& file : files)
        EXPECT_TRUE(file == "db" || file == "tool dir;$(touch PWNED) 'q\"" || file.find(".qdb") != std::string::npos)
            << "stray file " << file;
}

// The scratch copy is created under the process's file-creation mask, as
// open(2) applies it, and a missing database directory is made with mkdir(2).
TEST_F(NamesTest, NewFilesFollowTheCreationMask)
{
    fs::remove(dir + "/db");
    const int status = InChild([] {
        umask(027);
        return DbmPutRecord("t", "k", "v", 1);
    });
    EXPECT_EQ(status, 1);
    EXPECT_EQ(fs::status(DbFile("t")).permissions() & fs::perms::all, fs::perms(0640));
    EXPECT_EQ(fs::status(dir + "/db").permissions() & fs::perms::all, fs::perms(0750));
}

class ReadOnlyTest : public DbmTest {
protected:
    void SetUp() override
    {
        DbmTest::SetUp();
        for (const char* key : {"k1", "k2", "k3"})
            ASSERT_EQ(DbmPutRecord("t", key, "v", 1), 1);
        before = Read(DbFile("t"));
        fs::permissions(dir, fs::perms(0755));
    }

    void TearDown() override
    {
        fs::permissions(dir + "/db", fs::perms::owner_all);
        DbmTest::TearDown();
    }

    // Every change of both layers as another user, in the directory where:
    // one bit for each change that reported success, and what was said.
    enum { KEYED_PUT = 1, KEYED_DELETE = 2, KEYED_PREFIX = 4, TAGGED_PUT = 8, TAGGED_DELETE = 16, TAGGED_PREFIX = 32 };
    int ChangesAsOtherUser(const std::string& where, std::string& err)
    {
        testing::internal::CaptureStderr();
        const int succeeded = InChild([&] {
            if (!BecomeOtherUser() || chdir(where.c_str()) != 0)
                return 100;
            auto tagged = [](auto change) {
                DbTHandle* h = DbTOpen("t", 0);
                const int result = change(h);
                DbTClose(h);
                return result;
            };
            int bits = 0;
            bits |= tagged([](DbTHandle* h) { return DbmTPutRecord(h, "new", "n", 1); }) ? TAGGED_PUT : 0;
            bits |= tagged([](DbTHandle* h) { return DbmTDeleteRecord(h, "k3"); }) ? TAGGED_DELETE : 0;
            bits |= tagged([](DbTHandle* h) { return DbmTDeleteRecords(h, "k"); }) ? TAGGED_PREFIX : 0;
            bits |= DbmPutRecord("t", "new", "n", 1) ? KEYED_PUT : 0;
            bits |= DbmDeleteRecord("t", "k1") ? KEYED_DELETE : 0;
            bits |= DbmDeleteRecords("t", "k2") ? KEYED_PREFIX : 0;
            return bits;
        });
        err = testing::internal::GetCapturedStderr();
        return succeeded;
    }

    Bytes before;
};

// A database directory the writer may not change: every change returns 0
// and says which path and why; the process goes on and the file stays.
TEST_F(ReadOnlyTest, DatabaseDirectoryThatCannotBeWritten)
{
    fs::permissions(dir + "/db", fs::perms(0555));
    std::string err;
    EXPECT_EQ(ChangesAsOtherUser(dir, err), 0);
    EXPECT_NE(err.find(dir + "/db"), std::string::npos) << err;
    EXPECT_NE(err.find("Permission denied"), std::string::npos) << err;
    EXPECT_EQ(err.find("exit status"), std::string::npos) << err;
    EXPECT_EQ(Read(DbFile("t")), before);
}

// A working directory without "db" where none can be made: the changes
// that make it return 0 and name it; the keyed deletions, which do not
// make it, still work.
TEST_F(ReadOnlyTest, WorkingDirectoryWithoutDbThatCannotBeWritten)
{
    fs::permissions(dir + "/db", fs::perms::all);
    fs::permissions(DbFile("t"), fs::perms(0666));
    fs::create_directory(dir + "/locked");
    fs::permissions(dir + "/locked", fs::perms(0555));
    std::string err;
    EXPECT_EQ(ChangesAsOtherUser(dir + "/locked", err), KEYED_DELETE | KEYED_PREFIX);
    EXPECT_NE(err.find(dir + "/locked/db"), std::string::npos) << err;
    EXPECT_NE(err.find("Permission denied"), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(dir + "/locked/db"));
    EXPECT_EQ(Read(DbFile("t")), KeyedRecord("k3", "v"));
}

}  // namespace
