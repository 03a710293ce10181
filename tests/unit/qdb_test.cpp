// The qdb tool, run as a program: storing and reading records, the text
// form round trip, dumps, conversion, repair, and its answers to missing
// files, damaged files and bad arguments.
#include <fcntl.h>

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

class QdbTest : public DbmTest {
protected:
    // Runs qdb with the arguments (and standard input) in the scratch
    // directory, or in the directory where below it.
    Result Qdb(std::vector<std::string> args, const std::string& input = "", const std::string& where = ".")
    {
        Write(dir + "/stdin", input);
        fflush(nullptr);
        const pid_t pid = fork();
        if (pid == 0) {
            if (chdir((dir + "/" + where).c_str()) != 0)
                _exit(126);
            const int in = open((dir + "/stdin").c_str(), O_RDONLY);
            const int out = open((dir + "/stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int err = open((dir + "/stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(in, 0);
            dup2(out, 1);
            dup2(err, 2);
            std::vector<char*> argv{const_cast<char*>(QDB_PATH)};
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(QDB_PATH, argv.data());
            _exit(127);
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
            records[l->pRecord] = std::string(l->pData, static_cast<size_t>(l->DataSize));
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

TEST_F(QdbTest, ExportThenImportKeepsEveryByte)
{
    std::string every;
    for (int c = 0; c < 256; ++c)
        every += static_cast<char>(c);
    DbTHandle* h = DbTOpen((dir + "/src.qdb").c_str(), DBT_NO_ARCHIVE);
    DbmSetV4DriverPathHandling();
    ASSERT_EQ(DbmTPutRecord(h, "all bytes", every.data(), 256), 1);
    ASSERT_EQ(DbmTPutRecord(h, "tab\tkey\\with\nline", "v\r\n", 3), 1);
    ASSERT_EQ(DbmTPutRecord(h, "text", "plain text\0", 11), 1);
    ASSERT_EQ(DbmTArchiveDb(h), 1);
    DbTClose(h);

    const Result exported = Qdb({"export", "src.qdb"});
    ASSERT_EQ(exported.status, 0) << exported.err;
    EXPECT_NE(exported.out.find("tab\\tkey\\\\with\\nline\tv\\r\\n\n"), std::string::npos);
    Write(dir + "/text", exported.out);
    const Result imported = Qdb({"import", "copy.qdb", "text"});
    ASSERT_EQ(imported.status, 0) << imported.err;
    EXPECT_EQ(Records(dir + "/copy.qdb"), Records(dir + "/src.qdb"));
    EXPECT_EQ(Records(dir + "/copy.qdb").at("all bytes"), every);
    EXPECT_EQ(Qdb({"export", "copy.qdb"}).out, exported.out);

    // Bad text is refused whole: nothing is stored.
    for (const char* bad : {"k\tv\nno tab here\n", "k\tv\\q\n", "k\tv\\x4\n", "\tv\n", "k\t\n", "k\\x00\tv\n"}) {
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
    ASSERT_EQ(Qdb({"repair", "hurt.qdb"}).status, 0);
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
        {{"put", "bad name.qdb", "k", "v"}, 2, "may hold letters"},
        {{"put", "$(touch x).qdb", "k", "v"}, 2, "may hold letters"},
        {{"get", "missing.qdb", "k"}, 3, "No such file"},
        {{"list", "folder.qdb"}, 3, "not a database file"},
    };
    for (const Case& c : cases) {
        const Result r = Qdb(c.args);
        EXPECT_EQ(r.status, c.status) << c.message;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(r.err.rfind("qdb: ", 0), 0u) << r.err;
    }
    EXPECT_FALSE(fs::exists(dir + "/x"));
    EXPECT_EQ(Read(dir + "/k.qdb"), TaggedHeader(0));

    // A directory that cannot be written is reported before anything is tried.
    if (geteuid() != 0) {
        fs::create_directory(dir + "/ro");
        fs::permissions(dir + "/ro", fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_EQ(Qdb({"put", "ro/x.qdb", "k", "v"}).status, 5);
        const Result noDb = Qdb({"put", "../x.qdb", "k", "v"}, "", "ro");
        EXPECT_EQ(noDb.status, 5);
        EXPECT_NE(noDb.err.find("has no \"db\""), std::string::npos) << noDb.err;
        EXPECT_FALSE(fs::exists(dir + "/x.qdb"));
        fs::permissions(dir + "/ro", fs::perms::owner_all);
    }
}

}  // namespace
