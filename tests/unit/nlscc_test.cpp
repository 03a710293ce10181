// The catalogue compiler: a source compiled and decompiled gives the same
// messages back, malformed sources are refused with file and line, a
// translation is checked against its reference, and a catalogue being
// replaced is never missing or half written.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <random>
#include <sys/resource.h>
#include <vector>

#include "Dbm.h"
#include "MemMgr.h"
#include "NlsUtils.h"
#include "dbm_fixture.h"
#include "nls_fixture.h"

namespace {

using NlsCompiler = NlsScratch;

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string Fetch(DbTHandle* h, const char* key)
{
    char buf[NLS_FETCH_SIZE];
    return NlsFetchString(h, buf, NLS_MODE_KEY, key);
}

TEST_F(NlsCompiler, RoundTripKeepsEveryMessage)
{
    const std::string source =
        "\xEF\xBB\xBF# comment line behind a byte-order mark\n"
        "   \t\n"
        "25_1017 \"\\nDo you want to return to %s menu\"   # trailing comment\n"
        "\"key with blanks\" \"quote \\\" backslash \\\\ tab \\t bell \\a octal \\101 hex \\x42\"\r\n"
        "plain-key\t\"caf\xc3\xa9 # not a comment\"\n"
        "25_1 \"\"\n";
    Write("src.txt", source);
    std::string output;
    ASSERT_EQ(RunCompiler("src.txt out.qdb", &output), 0) << output;

    DbTHandle* h = DbTOpen(Path("out.qdb").c_str(), 0);
    EXPECT_EQ(Fetch(h, "25_1017"), "\nDo you want to return to %s menu");
    EXPECT_EQ(Fetch(h, "key with blanks"), "quote \" backslash \\ tab \t bell \a octal A hex B");
    EXPECT_EQ(Fetch(h, "plain-key"), "caf\xc3\xa9 # not a comment");
    EXPECT_EQ(Fetch(h, "25_1"), "");
    EXPECT_EQ(DbmTGetRecordSize(h, "25_1"), 1);  // the text's NUL is stored
    DbTClose(h);
    // Its texts are printf formats: nobody but the owner may change them.
    EXPECT_EQ(std::filesystem::status(Path("out.qdb")).permissions() & std::filesystem::perms::all,
              std::filesystem::perms(0644));

    // Decompiled, compiled again and decompiled again: the same source.
    ASSERT_EQ(RunCompiler("-d out.qdb first.txt", &output), 0) << output;
    ASSERT_EQ(RunCompiler("first.txt again.qdb", &output), 0) << output;
    ASSERT_EQ(RunCompiler("-d again.qdb second.txt", &output), 0) << output;
    const std::string first = ReadFile(Path("first.txt"));
    const std::string second = ReadFile(Path("second.txt"));
    EXPECT_EQ(first.substr(first.find('\n')), second.substr(second.find('\n')));
    EXPECT_NE(first.find("\"key with blanks\" \"quote \\\" backslash \\\\ tab \\t bell \\007 octal A hex B\""),
              std::string::npos)
        << first;

    // Compiling again replaces the database whole.
    Write("src.txt", "only \"one\"\n");
    ASSERT_EQ(RunCompiler("src.txt out.qdb", &output), 0) << output;
    h = DbTOpen(Path("out.qdb").c_str(), 0);
    EXPECT_EQ(h->Count, 1);
    DbTClose(h);
}

TEST_F(NlsCompiler, MalformedLinesAreReportedWithFileAndLine)
{
    Write("bad.txt",
          "25_1 \"fine\"\n"
          "25_01 \"leading zero\"\n"
          "25_2 \"no end\n"
          "25_3 \"text\" junk\n"
          "25_4 \"nul \\0 inside\"\n"
          "25_5 \"odd \\q escape\"\n"
          "25_6\n"
          "25_7\"no blank\"\n"
          "0_8 \"zero set\"\n"
          "25_1 \"again\"\n");
    std::string output;
    EXPECT_EQ(RunCompiler("bad.txt out.qdb", &output), 1);
    for (const char* expected : {
             "bad.txt:2: key 25_01 is never fetched by number: write 25_1",
             "bad.txt:3: message 25_2: missing closing quote",
             "bad.txt:4: unexpected text after the message 25_3",
             "bad.txt:5: message 25_4: a message cannot hold a NUL byte",
             "bad.txt:6: message 25_5: unknown escape \\q",
             "bad.txt:7: message 25_6 has no text",
             "bad.txt:8: a key with a quote must be written in quotes",
             "bad.txt:9: set and number of key 0_8 must be 1 to",
             "bad.txt:10: duplicate key 25_1 (first at line 1)",
             "nlscc: bad.txt: 9 errors",
         })
        EXPECT_NE(output.find(expected), std::string::npos) << expected << "\n" << output;
    EXPECT_FALSE(std::filesystem::exists(Path("out.qdb")));

    EXPECT_EQ(RunCompiler("missing.txt out.qdb", &output), 1);
    EXPECT_NE(output.find("missing.txt: No such file or directory"), std::string::npos) << output;
    EXPECT_EQ(RunCompiler("bad.txt", &output), 2);
    EXPECT_EQ(RunCompiler("-c bad.txt", &output), 1);
    Write("ok.txt", "a \"b\"\n");
    // A path with blanks or shell characters is a path like any other.
    EXPECT_EQ(RunCompiler("ok.txt 'out dir;$(touch PWNED)/x.qdb'", &output), 0) << output;
    EXPECT_TRUE(std::filesystem::exists(Path("out dir;$(touch PWNED)/x.qdb")));
    EXPECT_FALSE(std::filesystem::exists(Path("PWNED")));
}

// Errors come in the order of their lines, whatever finds them; the
// statistics count messages and, against a reference, missing and extra keys.
TEST_F(NlsCompiler, ErrorsInLineOrderAndStatistics)
{
    Write("dup.txt", "25_1 \"one\"\n25_1 \"again\"\n25_3 \"bad \\q\"\n");
    std::string output;
    EXPECT_EQ(RunCompiler("-c dup.txt", &output), 1);
    const size_t duplicate = output.find("dup.txt:2: duplicate key 25_1");
    const size_t escape = output.find("dup.txt:3: message 25_3: unknown escape");
    ASSERT_NE(duplicate, std::string::npos) << output;
    ASSERT_NE(escape, std::string::npos) << output;
    EXPECT_LT(duplicate, escape) << output;

    Write("en.txt", "25_1 \"one\"\n25_2 \"two\"\n25_3 \"three\"\n");
    Write("de.txt", "25_1 \"eins\"\n25_4 \"vier\"\n25_5 \"fuenf\"\n");
    EXPECT_EQ(RunCompiler("--statistics -r en.txt -c de.txt", &output), 1);
    EXPECT_NE(output.find("de.txt: 3 messages, 2 missing and 2 extra keys against en.txt\n"), std::string::npos)
        << output;
    EXPECT_EQ(RunCompiler("-c en.txt --statistics", &output), 0);
    EXPECT_EQ(output, "en.txt: 3 messages\n");
    EXPECT_EQ(RunCompiler("--version", &output), 0);
    EXPECT_EQ(output.rfind("nlscc ", 0), 0u) << output;
    EXPECT_EQ(RunCompiler("-o", &output), 2);
    EXPECT_NE(output.find("unknown option -o without its file"), std::string::npos) << output;
}

TEST_F(NlsCompiler, TranslationMustMatchItsReference)
{
    Write("en.txt",
          "25_1 \"%s of %i\"\n"
          "25_2 \"between %Lg and %Lg, 100%% sure\"\n"
          "25_3 \"plain\"\n");
    Write("good.txt",
          "25_3 \"schlicht\"\n"
          "25_1 \"%s von %d\"\n"
          "25_2 \"zwischen %Lg und %Lg, 100%% sicher\"\n");
    Write("bad.txt",
          "25_1 \"%i von %s\"\n"
          "25_2 \"zwischen %g und %Lg\"\n"
          "25_4 \"extra\"\n");
    std::string output;
    EXPECT_EQ(RunCompiler("-c -r en.txt good.txt", &output), 0) << output;
    EXPECT_EQ(RunCompiler("-r en.txt bad.txt bad.qdb", &output), 1);
    for (const char* expected : {
             "bad.txt:1: message 25_1 has the conversions %d %s, en.txt:1 has %s %d",
             "bad.txt:2: message 25_2 has the conversions %g %Lg, en.txt:2 has %Lg %Lg",
             "bad.txt:3: message 25_4 is not in en.txt",
             "bad.txt: message 25_3 of en.txt:3 is missing",
         })
        EXPECT_NE(output.find(expected), std::string::npos) << expected << "\n" << output;
    EXPECT_FALSE(std::filesystem::exists(Path("bad.qdb")));
}

TEST_F(NlsCompiler, DecompileReportsRecordsThatAreNoTexts)
{
    // Records written straight through the record library: one text
    // without its NUL, one with data behind the NUL.
    const std::string path = Path("raw.qdb");
    DbTHandle* h = DbTOpen(path.c_str(), DBT_NO_ARCHIVE);
    ASSERT_EQ(DbmTPutRecord(h, "bare", "abc", 3), 1);
    ASSERT_EQ(DbmTPutRecord(h, "tail", "ab\0cd", 5), 1);
    ASSERT_EQ(DbmTPutRecord(h, "good", "ok", 3), 1);
    UpdateHeader(h);
    std::ofstream(path, std::ios::binary).write(h->pImage, h->Size);
    DbTClose(h);

    std::string output;
    EXPECT_EQ(RunCompiler("-d raw.qdb", &output), 1);
    EXPECT_NE(output.find("message bare has no terminating NUL"), std::string::npos) << output;
    EXPECT_NE(output.find("message tail has data behind its text"), std::string::npos) << output;
    EXPECT_NE(output.find("good \"ok\""), std::string::npos) << output;
    EXPECT_NE(output.find("tail \"ab\""), std::string::npos) << output;

    EXPECT_EQ(RunCompiler("-d nothing.qdb", &output), 3);
}

class CatalogueReplaced : public NlsScratch {
protected:
    // Starts the compiler with the arguments in the directory where below
    // the scratch directory, its output to a file; prepare runs in the child
    // first.
    pid_t Start(std::vector<std::string> args, const std::string& where = ".",
                const std::function<bool()>& prepare = {})
    {
        fflush(nullptr);
        const pid_t pid = fork();
        if (pid == 0) {
            const int out = open(Path("output").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
            dup2(out, 1);
            dup2(out, 2);
            if ((prepare && !prepare()) || chdir(Path(where).c_str()) != 0)
                _exit(126);
            std::vector<char*> argv{const_cast<char*>(Compiler.c_str())};
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(Compiler.c_str(), argv.data());
            _exit(127);
        }
        return pid;
    }

    int Run(std::vector<std::string> args, const std::string& where = ".", const std::function<bool()>& prepare = {})
    {
        int status = 0;
        waitpid(Start(std::move(args), where, prepare), &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    std::string Output() { return ReadFile(Path("output")); }

    // A source of count messages whose texts tell which source they are from.
    std::string Source(const std::string& name, int count)
    {
        std::string text;
        for (int i = 1; i <= count; ++i)
            text += "25_" + std::to_string(i) + " \"" + name + " " + std::string(100, 'x') + "\"\n";
        return Write(name + ".txt", text);
    }

    // Records of a catalogue, -1 when it is missing or its records end
    // before the file does.
    int WholeRecords(const std::string& path)
    {
        if (!std::filesystem::exists(path))
            return -1;
        DbTHandle* h = DbTOpen(path.c_str(), DBT_NO_RELOAD);
        const int size = h->Size;
        int records = 0;
        DbTRecInfo info;
        for (DbTRecInfo* r = WalkDbTRecords(h, &info, 0); r; r = WalkDbTRecords(h, &info, 1))
            ++records;
        const bool whole = h->Size == size && h->Count == records;
        DbTClose(h);
        return whole ? records : -1;
    }
};

// Killed at any moment while it compiles, the compiler leaves the old
// catalogue or the new one, whole.
TEST_F(CatalogueReplaced, KilledCompilerLeavesAWholeCatalogue)
{
    const std::string oldSource = Source("old", 2000);
    const std::string newSource = Source("new", 2500);
    const std::string catalogue = Path("cat.qdb");
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(Run({newSource, catalogue}), 0) << Output();
    const auto compile = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    std::mt19937 random(3);
    int killed = 0;
    for (int attempt = 0; attempt < 20; ++attempt) {
        ASSERT_EQ(Run({oldSource, "-o", catalogue}), 0) << Output();
        const pid_t pid = Start({newSource, catalogue});
        usleep(static_cast<useconds_t>(random() % (compile.count() + 1)));
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        killed += WIFSIGNALED(status);
        const int records = WholeRecords(catalogue);
        EXPECT_TRUE(records == 2000 || records == 2500) << "attempt " << attempt << ": " << records;
    }
    EXPECT_GT(killed, 0) << "no kill landed while compiling";
}

// A directory the compiler may not write, and a disk that takes no more:
// the compile fails, says why, and the old catalogue stays as it was. The
// working directory needs no "db".
TEST_F(CatalogueReplaced, FailedCompileLeavesTheOldCatalogue)
{
    std::filesystem::permissions(dir, std::filesystem::perms(0755));
    const std::string source = Source("new", 50);
    std::filesystem::create_directories(Path("cats"));
    ASSERT_EQ(Run({Source("old", 10), Path("cats/cat.qdb")}), 0) << Output();
    const std::string before = ReadFile(Path("cats/cat.qdb"));
    std::filesystem::permissions(Path("cats"), std::filesystem::perms(0555));
    EXPECT_EQ(Run({source, "-o", Path("cats/cat.qdb")}, ".", dbm_test::BecomeOtherUser), 3);
    EXPECT_NE(Output().find(Path("cats/cat.qdb")), std::string::npos) << Output();
    EXPECT_NE(Output().find("Permission denied"), std::string::npos) << Output();
    EXPECT_EQ(ReadFile(Path("cats/cat.qdb")), before);
    std::filesystem::permissions(Path("cats"), std::filesystem::perms::owner_all);

    EXPECT_EQ(Run({source, Path("cats/cat.qdb")}, ".", [] {
                  signal(SIGXFSZ, SIG_IGN);
                  const struct rlimit limit = {4000, 4000};
                  return setrlimit(RLIMIT_FSIZE, &limit) == 0;
              }),
              3);
    EXPECT_NE(Output().find("the catalogue is left as it was"), std::string::npos) << Output();
    EXPECT_EQ(ReadFile(Path("cats/cat.qdb")), before);
    EXPECT_TRUE(dbm_test::ScratchCopies(Path("cats/cat.qdb")).empty());

    std::filesystem::create_directories(Path("shared"));
    std::filesystem::permissions(Path("shared"), std::filesystem::perms::all);
    std::filesystem::create_directories(Path("locked"));
    std::filesystem::permissions(Path("locked"), std::filesystem::perms(0555));
    EXPECT_EQ(Run({source, "-o", Path("shared/cat.qdb")}, "locked", dbm_test::BecomeOtherUser), 0) << Output();
    EXPECT_EQ(WholeRecords(Path("shared/cat.qdb")), 50);
    EXPECT_FALSE(std::filesystem::exists(Path("locked/db")));
}

}  // namespace
