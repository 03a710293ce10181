// The qdb tool, run as a program: storing and reading records, the text
// form round trip, dumps, conversion, checks and repair, several writers at
// once, names a shell would misread, directories it may not write, and its
// answers to missing files, damaged files and bad arguments.
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>

#include "dbm_fixture.h"

#ifndef QDB_PATH
#error "QDB_PATH names the qdb program"
#endif

namespace {

using namespace dbm_test;

struct Result {
    int status;
    std::string out;
    std::string err;
};

// In a child: becomes qdb with the arguments.
[[noreturn]] void ExecQdb(std::vector<std::string>& args)
{
    std::vector<char*> argv{const_cast<char*>(QDB_PATH)};
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(QDB_PATH, argv.data());
    _exit(127);
}

class QdbTest : public DbmTest {
protected:
    // Runs qdb with the arguments (and standard input) in the scratch
    // directory, or in the directory where below it; prepare runs in the
    // child just before qdb starts.
    Result Qdb(std::vector<std::string> args, const std::string& input = "", const std::string& where = ".",
               const std::function<bool()>& prepare = {})
    {
        Write(dir + "/stdin", input);
        fflush(nullptr);
        const pid_t pid = fork();
        if (pid == 0) {
            const int in = open((dir + "/stdin").c_str(), O_RDONLY);
            const int out = open((dir + "/stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
            const int err = open((dir + "/stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
            if ((prepare && !prepare()) || chdir((dir + "/" + where).c_str()) != 0)
                _exit(126);
            dup2(in, 0);
            dup2(out, 1);
            dup2(err, 2);
            ExecQdb(args);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), Read(dir + "/stdout"),
                Read(dir + "/stderr")};
    }

    // The records of a database file, key to data, read through the library.
    std::map<std::string, std::string> Records(const std::string& path)
    {
        std::map<std::string, std::string> records;
        DbTHandle* h = DbTOpen(path.c_str(), 0);
        DbmLink* list = DbmTGetDbLinkList(h, "");
        for (DbmLink* l = list; l; l = l->pNext)
            records[std::string(l->pRecord, static_cast<size_t>(l->pData - l->pRecord - 1))] =
                std::string(l->pData, static_cast<size_t>(l->DataSize));
        DbmFreeDbLinkList(list);
        DbTClose(h);
        return records;
    }
};

TEST_F(QdbTest, StoreReadListDelete)
{
    EXPECT_EQ(Qdb({"put", "d.qdb", "greeting", "hello world"}).status, 0);
    EXPECT_EQ(Qdb({"put", "--nul", "d.qdb", "menu.title", "Main\tmenu"}).status, 0);
    Write(dir + "/blob", Bytes("\x00\x01\xfe\xff", 4));
    EXPECT_EQ(Qdb({"put", "d.qdb", "blob", "--file", "blob"}).status, 0);
    EXPECT_EQ(Qdb({"put", "d.qdb", "stdin", "--file", "-"}, "from input").status, 0);
    EXPECT_EQ(Read(dir + "/d.qdb").substr(0, 8), Bytes("TQDBAA4\0", 8));
    EXPECT_TRUE(ScratchCopies(dir + "/d.qdb").empty());

    EXPECT_EQ(Qdb({"list", "d.qdb"}).out, "greeting\nmenu.title\nblob\nstdin\n");
    EXPECT_EQ(Qdb({"list", "d.qdb", "me"}).out, "menu.title\n");
    EXPECT_EQ(Qdb({"get", "d.qdb", "menu.title"}).out, "Main\\tmenu\\x00\n");
    EXPECT_EQ(Qdb({"get", "--raw", "d.qdb", "blob"}).out, Bytes("\x00\x01\xfe\xff", 4));
    EXPECT_EQ(Qdb({"get", "--hex", "d.qdb", "blob"}).out,
              "00000000  00 01 fe ff" + std::string(36, ' ') + "  |....|\n");
    EXPECT_EQ(Qdb({"get", "d.qdb", "stdin"}).out, "from input\n");

    const Result absent = Qdb({"get", "d.qdb", "nothing"});
    EXPECT_EQ(absent.status, 1);
    EXPECT_NE(absent.err.find("no record 'nothing'"), std::string::npos) << absent.err;
    EXPECT_EQ(Qdb({"delete", "d.qdb", "greeting"}).status, 0);
    EXPECT_EQ(Qdb({"delete", "d.qdb", "greeting"}).status, 1);
    EXPECT_EQ(Qdb({"delete", "--prefix", "d.qdb", "x"}).status, 1);
    EXPECT_EQ(Qdb({"delete", "--prefix", "d.qdb", "b"}).status, 0);
    EXPECT_EQ(Qdb({"list", "d.qdb"}).out, "menu.title\nstdin\n");

    // A path with no "." gets ".qdb", whatever the current directory is
    // called; a change there makes its "db" when it has none.
    fs::create_directory(dir + "/run.dir");
    EXPECT_EQ(Qdb({"put", "plain", "k", "v"}, "", "run.dir").status, 0);
    EXPECT_TRUE(fs::exists(dir + "/run.dir/plain.qdb"));
    EXPECT_TRUE(fs::is_directory(dir + "/run.dir/db"));
    EXPECT_EQ(Qdb({"get", "run.dir/plain.qdb", "k"}).out, "v\n");
}

// Every record export writes comes back from import byte for byte: every
// byte value in data and in keys, the empty key, and empty data, in both
// formats.
TEST_F(QdbTest, ExportThenImportKeepsEveryByte)
{
    std::string every;
    for (int c = 0; c < 256; ++c)
        every += static_cast<char>(c);
    Write(dir + "/src.qdb", TaggedHeader(6) + TaggedRecord("all bytes", every) +
                                TaggedRecord("tab\tkey\\with\nline", "v\r\n") +
                                TaggedRecord("text", Bytes("plain text\0", 11)) + TaggedRecord("", "empty key") +
                                TaggedRecord("empty data", "") + TaggedRecord(every.substr(1), "key of every byte"));
    Write(dir + "/old.qdb", KeyedRecord("", "") + KeyedRecord("k", every));

    const Result exported = Qdb({"export", "src.qdb"});
    ASSERT_EQ(exported.status, 0) << exported.err;
    EXPECT_NE(exported.out.find("tab\\tkey\\\\with\\nline\tv\\r\\n\n"), std::string::npos);
    Write(dir + "/text", exported.out);
    const Result imported = Qdb({"import", "copy.qdb", "text"});
    ASSERT_EQ(imported.status, 0) << imported.err;
    EXPECT_EQ(Records(dir + "/copy.qdb"), Records(dir + "/src.qdb"));
    EXPECT_EQ(Records(dir + "/copy.qdb").at("all bytes"), every);
    EXPECT_EQ(Records(dir + "/copy.qdb").at(""), "empty key");
    EXPECT_EQ(Records(dir + "/copy.qdb").at("empty data"), "");
    EXPECT_EQ(Qdb({"export", "copy.qdb"}).out, exported.out);

    // Into a keyed record file that already holds the same keys: replaced,
    // and the file keeps its format.
    const Result keyed = Qdb({"import", "old.qdb", "text"});
    ASSERT_EQ(keyed.status, 0) << keyed.err;
    EXPECT_EQ(Read(dir + "/old.qdb").substr(0, KeyedRecord("k", every).size()), KeyedRecord("k", every));
    auto withK = Records(dir + "/src.qdb");
    withK["k"] = every;
    EXPECT_EQ(Records(dir + "/old.qdb"), withK);
    Write(dir + "/old-text", Qdb({"export", "old.qdb"}).out);
    ASSERT_EQ(Qdb({"import", "again.qdb", "old-text"}).status, 0);
    EXPECT_EQ(Records(dir + "/again.qdb"), withK);

    // Bad text is refused whole: nothing is stored.
    for (const char* bad : {"k\tv\nno tab here\n", "k\tv\\q\n", "k\tv\\x4\n", "k\\\tv\n"}) {
        const Result r = Qdb({"import", "bad.qdb"}, bad);
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_NE(r.err.find("line"), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(dir + "/bad.qdb")) << bad;
    }
}

TEST_F(QdbTest, DumpConvertAndRepair)
{
    Write(dir + "/old.qdb", KeyedRecord("key", "data") + KeyedRecord("empty", ""));
    const Result dump = Qdb({"dump", "old.qdb"});
    EXPECT_EQ(dump.status, 0);
    EXPECT_EQ(dump.out, dir + "/old.qdb: keyed record file, 2 records\n10 4 ==>{key.data}\n8 6 ==>{empty.}\n");
    const Result empty = Qdb({"get", "old.qdb", "empty"});
    EXPECT_EQ(empty.status, 0) << empty.err;
    EXPECT_EQ(empty.out, "\n");

    ASSERT_EQ(Qdb({"convert", "old.qdb"}).status, 0);
    const Bytes converted = Read(dir + "/old.qdb");
    EXPECT_EQ(converted.substr(0, 8), Bytes("TQDBAA2\0", 8));
    EXPECT_EQ(converted.substr(16), TaggedRecord("key", "data") + TaggedRecord("empty", ""));
    EXPECT_EQ(Qdb({"convert", "old.qdb"}).out, dir + "/old.qdb: already a tagged database\n");
    EXPECT_EQ(Qdb({"dump", "old.qdb"}).out,
              dir + "/old.qdb: tagged database, 2 records (header count 2)\n10 4 ==>{key.data}\n8 6 ==>{empty.}\n");

    const Bytes whole = TaggedHeader(2) + TaggedRecord("a", "1");
    Write(dir + "/hurt.qdb", whole + TaggedRecord("b", "2", 50));
    EXPECT_EQ(Qdb({"get", "hurt.qdb", "a"}).status, 4);
    EXPECT_EQ(Qdb({"put", "hurt.qdb", "a", "x"}).status, 4);
    EXPECT_EQ(Qdb({"export", "hurt.qdb"}).status, 4);
    const Result listed = Qdb({"list", "hurt.qdb"});
    EXPECT_EQ(listed.status, 4);
    EXPECT_NE(listed.err.find("damaged: the records end at byte 23 of"), std::string::npos) << listed.err;
    EXPECT_EQ(Qdb({"dump", "hurt.qdb"}).status, 4);
    const Bytes hurt = Read(dir + "/hurt.qdb");
    ASSERT_EQ(Qdb({"repair", "hurt.qdb"}).status, 0);
    EXPECT_EQ(Read(dir + "/hurt.qdb.bak"), hurt);
    EXPECT_EQ(Read(dir + "/hurt.qdb").substr(16), TaggedRecord("a", "1"));
    EXPECT_EQ(Read(dir + "/hurt.qdb").substr(0, 8), Bytes("TQDBAA1\0", 8));
    EXPECT_EQ(Qdb({"list", "hurt.qdb"}).out, "a\n");
}

TEST_F(QdbTest, ClearAnswersToBadRequests)
{
    const Result help = Qdb({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: qdb COMMAND", 0), 0u);
    EXPECT_NE(help.out.find("Exit status"), std::string::npos);

    struct Case {
        std::vector<std::string> args;
        int status;
        const char* message;
    };
    Write(dir + "/k.qdb", TaggedHeader(0));
    fs::create_directory(dir + "/folder.qdb");
    const std::vector<Case> cases = {
        {{}, 2, "no command"},
        {{"frobnicate", "k.qdb"}, 2, "unknown command"},
        {{"get", "k.qdb"}, 2, "wrong number of arguments"},
        {{"get", "--bin", "k.qdb", "x"}, 2, "unknown option --bin"},
        {{"put", "k.qdb", "", "v"}, 2, "may not be empty"},
        {{"put", "k.qdb", "k", ""}, 2, "no empty records"},
        {{"put", "k.qdb", std::string(DBM_MAX_KEY + 1, 'k'), "v"}, 2, "longer than 4095"},
        {{"put", "k.qdb", "k", "--file", "no-such-file"}, 2, "no-such-file"},
        {{"put", "k.qdb", "k", "--file"}, 2, "--file needs a PATH"},
        {{"put", "k.qdb", "k", "-1"}, 2, "unknown option -1 (\"--\" ends the options)"},
        {{"copy", "k.qdb", "other.qdb", "absent"}, 1, "no record 'absent'"},
        {{"get", "missing.qdb", "k"}, 3, "No such file"},
        {{"list", "folder.qdb"}, 3, "not a database file"},
    };
    for (const Case& c : cases) {
        const Result r = Qdb(c.args);
        EXPECT_EQ(r.status, c.status) << c.message;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(r.err.rfind("qdb: ", 0), 0u) << r.err;
    }
    EXPECT_FALSE(fs::exists(dir + "/other.qdb"));
    EXPECT_EQ(Read(dir + "/k.qdb"), TaggedHeader(0));
}

// check reports and writes nothing; repair leaves alone what it does not
// know as a record database.
TEST_F(QdbTest, CheckAndRepairKnowWhatTheyLookAt)
{
    Write(dir + "/notes.qdb", "hello world, no database here\n");
    for (const char* command : {"repair", "check"}) {
        const Result r = Qdb({command, "notes.qdb"});
        EXPECT_EQ(r.status, 1) << command;
        EXPECT_EQ(r.err, "qdb: " + dir + "/notes.qdb: not a record database: no tagged header and no whole "
                                         "record at its start\n");
    }
    EXPECT_EQ(Read(dir + "/notes.qdb"), "hello world, no database here\n");
    EXPECT_FALSE(fs::exists(dir + "/notes.qdb.bak"));

    const Bytes whole = TaggedHeader(1) + TaggedRecord("a", "1");
    Write(dir + "/t.qdb", whole);
    EXPECT_EQ(Qdb({"check", "t.qdb"}).out, dir + "/t.qdb: tagged database, 1 records, 23 bytes, whole\n");
    Write(dir + "/t.qdb", whole + "xyz");
    const ino_t inode = Inode(dir + "/t.qdb");
    const Result damaged = Qdb({"check", "t.qdb"});
    EXPECT_EQ(damaged.status, 4);
    EXPECT_EQ(damaged.out, dir + "/t.qdb: tagged database, 1 records, 26 bytes, damaged: the records end at byte 23\n");
    Write(dir + "/k.qdb", KeyedRecord("k", "v") + "\x01");
    EXPECT_EQ(Qdb({"check", "k.qdb"}).out,
              dir + "/k.qdb: keyed record file, 1 records, 8 bytes, damaged: the records end at byte 7\n");
    EXPECT_EQ(Read(dir + "/t.qdb"), whole + "xyz");
    EXPECT_EQ(Inode(dir + "/t.qdb"), inode);
    EXPECT_TRUE(ScratchCopies(dir + "/t.qdb").empty());
}

TEST_F(QdbTest, CountInfoCopyAndOptionsAnywhere)
{
    ASSERT_EQ(Qdb({"put", "d.qdb", "a", "1"}).status, 0);
    ASSERT_EQ(Qdb({"put", "d.qdb", "b", "2", "--nul"}).status, 0);
    ASSERT_EQ(Qdb({"put", "d.qdb", "--", "-k", "-v"}).status, 0);
    EXPECT_EQ(Qdb({"get", "d.qdb", "b", "--raw"}).out, Bytes("2\0", 2));
    EXPECT_EQ(Qdb({"get", "d.qdb", "--", "-k"}).out, "-v\n");
    EXPECT_EQ(Qdb({"count", "d.qdb"}).out, "3\n");
    const Result info = Qdb({"info", "d.qdb"});
    ASSERT_EQ(info.status, 0) << info.err;
    const std::string size = std::to_string(fs::file_size(dir + "/d.qdb"));
    EXPECT_EQ(info.out.rfind("file: " + dir + "/d.qdb\nformat: tagged database\nrecords: 3\nbytes: " + size +
                                 "\nmodified: ",
                             0),
              0u)
        << info.out;

    ASSERT_EQ(Qdb({"copy", "d.qdb", "e.qdb", "b"}).status, 0);
    Write(dir + "/old.qdb", KeyedRecord("b", "old"));
    ASSERT_EQ(Qdb({"copy", "d.qdb", "old.qdb", "--", "-k"}).status, 0);
    ASSERT_EQ(Qdb({"copy", "d.qdb", "old.qdb", "b"}).status, 0);
    EXPECT_EQ(Records(dir + "/e.qdb"), (std::map<std::string, std::string>{{"b", Bytes("2\0", 2)}}));
    EXPECT_EQ(Read(dir + "/old.qdb"), KeyedRecord("-k", "-v") + KeyedRecord("b", Bytes("2\0", 2)));
    EXPECT_EQ(Qdb({"count", "missing.qdb"}).status, 3);
}

// Several qdb put at once, and deletes among them: every writer's records
// are there afterwards and the file is whole. Under the sanitizer every run
// of qdb costs many times more, so its writers take fewer turns: they wait
// for one another the same way.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kPutsPerWriter = 40;
#else
constexpr int kPutsPerWriter = 200;
#endif

class QdbWritersTest : public QdbTest, public testing::WithParamInterface<bool> {
protected:
    int Quietly(std::vector<std::string> args)
    {
        const pid_t pid = fork();
        if (pid == 0) {
            const int null = open("/dev/null", O_RDWR);
            dup2(null, 1);
            dup2(null, 2);
            ExecQdb(args);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
};

TEST_P(QdbWritersTest, NoPutIsLostByAnother)
{
    const bool deletes = GetParam();
    const std::string db = dir + "/shared.qdb";
    const auto start = std::chrono::steady_clock::now();
    const std::vector<int> statuses = AllAtOnce(8, [&](int w) {
        int failures = 0;
        for (int i = 0; i < kPutsPerWriter; ++i) {
            const std::string key = "w" + std::to_string(w) + "-k" + std::to_string(i);
            const std::string gone = "w" + std::to_string(w) + "-gone" + std::to_string(i - i % 4);
            failures += Quietly({"put", db, key, "data of " + key}) != 0;
            if (deletes && i % 4 == 0)
                failures += Quietly({"put", db, gone, "passing"}) != 0;
            if (deletes && i % 4 == 1)
                failures += Quietly({"delete", db, gone}) != 0;
        }
        return failures == 0 ? 0 : 1;
    });
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(statuses, std::vector<int>(8, 0));
    std::map<std::string, std::string> expected;
    for (int w = 0; w < 8; ++w)
        for (int i = 0; i < kPutsPerWriter; ++i) {
            const std::string key = "w" + std::to_string(w) + "-k" + std::to_string(i);
            expected[key] = "data of " + key;
        }
    const auto stored = Records(db);
    size_t kept = 0;
    for (const auto& [key, data] : expected)
        kept += stored.count(key) && stored.at(key) == data;
    printf("[ figures  ] qdb put%s: %zu of %zu records kept, %.2f s\n", deletes ? " with deletes" : "", kept,
           expected.size(), seconds);
    EXPECT_EQ(stored, expected);
    EXPECT_EQ(Qdb({"check", db}).status, 0);
    EXPECT_TRUE(ScratchCopies(db).empty());
}

INSTANTIATE_TEST_SUITE_P(Writers, QdbWritersTest, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "WithDeletes" : "PutsOnly");
                         });

// Paths holding separators, substitutions, quotes and blanks are file
// names like any other: nothing is run.
TEST_F(QdbTest, NamesAShellWouldMisread)
{
    const std::string odd = "odd dir;$(touch PWNED)";
    fs::create_directory(dir + "/" + odd);
    for (const std::string name : {"a;touch PWNED;b.qdb", "$(touch PWNED)", "it's \"q\"", "`touch PWNED`|x&"}) {
        const Result put = Qdb({"put", name, "k", "v"}, "", odd);
        ASSERT_EQ(put.status, 0) << name << ": " << put.err;
        EXPECT_EQ(Qdb({"get", odd + "/" + name, "k"}).out, "v\n") << name;
        EXPECT_EQ(Qdb({"delete", name, "k"}, "", odd).status, 0) << name;
        const std::string file = dir + "/" + odd + "/" + name + (name.find('.') == std::string::npos ? ".qdb" : "");
        EXPECT_EQ(Read(file).substr(0, 8), TaggedHeader(0).substr(0, 8)) << file;
    }
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        EXPECT_NE(entry.path().filename(), "PWNED") << entry.path();
}

// As someone who may not write there: a database directory, and a working
// directory without "db"; and a disk that takes no more. qdb says which
// path and why, its own message on a line of its own, and leaves the file.
TEST_F(QdbTest, PlacesItMayNotWrite)
{
    fs::permissions(dir, fs::perms(0755));
    fs::create_directories(dir + "/ro");
    Write(dir + "/ro/x.qdb", TaggedHeader(1) + TaggedRecord("k", "v"));
    fs::permissions(dir + "/ro", fs::perms(0555));
    const Result ro = Qdb({"put", "ro/x.qdb", "k", "new"}, "", ".", BecomeOtherUser);
    EXPECT_EQ(ro.status, 5);
    EXPECT_NE(ro.err.find(dir + "/ro/"), std::string::npos) << ro.err;
    EXPECT_NE(ro.err.find("Permission denied\nqdb: " + dir + "/ro/x.qdb: not written\n"), std::string::npos)
        << ro.err;
    EXPECT_EQ(Read(dir + "/ro/x.qdb"), TaggedHeader(1) + TaggedRecord("k", "v"));

    fs::create_directories(dir + "/shared");
    fs::permissions(dir + "/shared", fs::perms::all);
    fs::create_directories(dir + "/locked");
    fs::permissions(dir + "/locked", fs::perms(0555));
    const Result noDb = Qdb({"put", "../shared/w.qdb", "k", "v"}, "", "locked", BecomeOtherUser);
    EXPECT_EQ(noDb.status, 5);
    EXPECT_NE(noDb.err.find("ERROR: can't make directory " + dir + "/locked/db: Permission denied\n"),
              std::string::npos)
        << noDb.err;
    EXPECT_FALSE(fs::exists(dir + "/shared/w.qdb"));

    ASSERT_EQ(Qdb({"put", "d.qdb", "k", "v"}).status, 0);
    const Bytes before = Read(dir + "/d.qdb");
    const Result full = Qdb({"put", "d.qdb", "big", std::string(1000, 'b')}, "", ".", [] {
        signal(SIGXFSZ, SIG_IGN);
        const struct rlimit limit = {400, 400};
        return setrlimit(RLIMIT_FSIZE, &limit) == 0;
    });
    EXPECT_EQ(full.status, 5);
    EXPECT_EQ(full.err, "ERROR: Can't write to " + dir + "/d.qdb\nqdb: " + dir + "/d.qdb: not written\n");
    EXPECT_EQ(Read(dir + "/d.qdb"), before);
    fs::permissions(dir + "/ro", fs::perms::owner_all);
}

}  // namespace
