// The catalogue compiler: a source compiled and decompiled gives the same
// messages back, malformed sources are refused with file and line, and a
// translation is checked against its reference.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "Dbm.h"
#include "MemMgr.h"
#include "NlsUtils.h"
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
    EXPECT_EQ(RunCompiler("ok.txt 'out dir/x.qdb'", &output), 2);
    EXPECT_NE(output.find("a database path may hold"), std::string::npos) << output;
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

}  // namespace
