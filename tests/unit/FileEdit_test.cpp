// In-place editing of text files: every edit on real files in a scratch
// directory, the names of the input and its output, long lines, and what
// happens when opening, reading, writing or replacing fails.
#include <algorithm>
#include <cctype>
#include <csignal>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "files_fixture.h"

namespace {

using testing::ExitedWithCode;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;
using Names = std::vector<std::string>;
using S = const char*;

class Editing : public FilesTest {
protected:
    void TearDown() override
    {
        if (pOut)
            fclose(pOut);
        pOut = nullptr;
        FilesTest::TearDown();
    }

    std::string Read(const std::string& name) const
    {
        std::ifstream in(Path(name), std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    Names Entries() const
    {
        Names names;
        for (const auto& entry : std::filesystem::directory_iterator(dir))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    // Runs edit on conf.txt holding content and gives the new contents; the
    // output must be gone and both handles closed.
    template <typename Edit>
    std::string Edited(const std::string& content, Edit edit)
    {
        Write("conf.txt", content);
        edit(Path("conf").c_str(), "txt");
        EXPECT_EQ(Entries(), Names{"conf.txt"});
        EXPECT_TRUE(pIn == nullptr && pOut == nullptr);
        return Read("conf.txt");
    }
};

using EditingDeathTest = Editing;

TEST_F(Editing, ChangeReplacesTheFirstOccurrenceInEachLine)
{
    EXPECT_EQ(Edited("old old\nnone\nxoldx", [](S b, S e) { FileChange(b, e, "old", "new"); }),
              "new old\nnone\nxnewx");
    // The replacement is text, never a format; a null one deletes; an empty
    // text is found nowhere.
    EXPECT_EQ(Edited("a=1\n", [](S b, S e) { FileChange(b, e, "=", "%s%n"); }), "a%s%n1\n");
    EXPECT_EQ(Edited("a=1\n", [](S b, S e) { FileChange(b, e, "=", nullptr); }), "a1\n");
    EXPECT_EQ(Edited("abc\n", [](S b, S e) { FileChange(b, e, "", "X"); }), "abc\n");
}

TEST_F(Editing, ChangeCharReplacesEveryOccurrenceByCodes)
{
    EXPECT_EQ(Edited("a\tb\t\n\t", [](S b, S e) { FileChangeChar(b, e, "9", "32,32"); }), "a  b  \n  ");
    EXPECT_EQ(Edited("ABA\n", [](S b, S e) { FileChangeChar(b, e, "0x41", "011,0x42"); }), "\tBB\tB\n");
    EXPECT_EQ(Edited("a,b,\n", [](S b, S e) { FileChangeChar(b, e, "44", nullptr); }), "ab\n");
    // NUL bytes are characters like any other.
    EXPECT_EQ(Edited(std::string("a\0b\n", 4), [](S b, S e) { FileChangeChar(b, e, "0", "45"); }), "a-b\n");

    // An overlong replacement is cut at 135 characters.
    std::string codes = "46";
    for (int i = 1; i < 200; ++i)
        codes += ",46";
    EXPECT_EQ(Edited("|x|\n", [&](S b, S e) { FileChangeChar(b, e, "120", codes.c_str()); }),
              "|" + std::string(135, '.') + "|\n");

    // Codes that cannot be read leave the file alone.
    CaptureStderr();
    EXPECT_EQ(Edited("a b\n", [](S b, S e) { FileChangeChar(b, e, "space", "45"); }), "a b\n");
    EXPECT_EQ(Edited("a b\n", [](S b, S e) { FileChangeChar(b, e, "32", "45,,45"); }), "a b\n");
    EXPECT_EQ(GetCapturedStderr(), "WARNING: bad character code, space\nWARNING: bad character codes, 45,,45\n");
}

TEST_F(Editing, DeletingTextsAndLines)
{
    EXPECT_EQ(Edited("ax\nbx\n", [](S b, S e) { FileDel(b, e, 1, "x"); }), "ax\nb\n");
    EXPECT_EQ(Edited("xx\ny\n", [](S b, S e) { FileDel(b, e, 0, "x"); }), "x\ny\n");
    EXPECT_EQ(Edited("k1\nx\nk2\n", [](S b, S e) { FileDelLine(b, e, 0, "k"); }), "x\n");
    EXPECT_EQ(Edited("k1\nk2\nx\nk3\n", [](S b, S e) { FileDelLine(b, e, 2, "k"); }), "k1\nk2\nx\n");

    auto pair = [](S b, S e) { FileDelLinePair(b, e, 0, "BEGIN", "END"); };
    EXPECT_EQ(Edited("a\nBEGIN\nb\nEND\nc\n", pair), "a\nb\nc\n");
    // A spared start line leaves its end line too.
    EXPECT_EQ(Edited("BEGIN\nx\nEND\nBEGIN\ny\nEND\nEND\n", [](S b, S e) { FileDelLinePair(b, e, 1, "BEGIN", "END"); }),
              "BEGIN\nx\nEND\ny\nEND\n");
    // Nesting deeper than 255 still matches every end line.
    std::string nested;
    for (int i = 0; i < 300; ++i)
        nested = "BEGIN\n" + nested + "END\n";
    EXPECT_EQ(Edited(nested + "END tail\n", pair), "END tail\n");
}

TEST_F(Editing, DelFormatModes)
{
    const std::string lines = "k=v=w\nplain\n";
    EXPECT_EQ(Edited(lines, [](S b, S e) { EXPECT_EQ(FileDelFormat(b, e, "", "="), 0); }), "kv=w\nplain\n");
    EXPECT_EQ(Edited("k=v", [](S b, S e) { FileDelFormat(b, e, "a", "="); }), "k=\n");
    EXPECT_EQ(Edited(lines, [](S b, S e) { FileDelFormat(b, e, "b", "="); }), "=v=w\nplain\n");
    EXPECT_EQ(Edited(lines, [](S b, S e) { FileDelFormat(b, e, "line", "="); }), "plain\n");
    EXPECT_EQ(Edited("a,b,,c\nd\n", [](S b, S e) { EXPECT_EQ(FileDelFormat(b, e, "c", "44"), 0); }), "abc\nd\n");

    // An unknown mode (or a code that cannot be read) opens nothing and
    // leaves nothing behind, even on an empty file.
    EXPECT_EQ(Edited(lines, [](S b, S e) { EXPECT_EQ(FileDelFormat(b, e, "z", "="), 1); }), lines);
    EXPECT_EQ(Edited("", [](S b, S e) { EXPECT_EQ(FileDelFormat(b, e, "x", "="), 1); }), "");
    EXPECT_EQ(Edited(lines, [](S b, S e) { EXPECT_EQ(FileDelFormat(b, e, "c", "comma"), 1); }), lines);
}

TEST_F(Editing, InsertWritesNumberedPrefixes)
{
    EXPECT_EQ(Edited("a\nb\n", [](S b, S e) { FileInsert(b, e, "%#0: "); }), "00000: a\n00001: b\n");
    EXPECT_EQ(Edited("a\nb\nc\nd", [](S b, S e) { FileInsert(b, e, "%s5%#7: "); }), "a\nb\n00000: c\n00001: d");
    EXPECT_EQ(Edited("a\nb\n", [](S b, S e) { FileInsert(b, e, "%s98%#0 "); }), "00098 a\n00099 b\n");
    // Marks without a number, and printf conversions, stay as text.
    EXPECT_EQ(Edited("a\n", [](S b, S e) { FileInsert(b, e, "# %s %# %d\n"); }), "# %s %# %d\na\n");
    EXPECT_EQ(Edited("a\n", [](S b, S e) { FileInsert(b, e, "%s-%#0|"); }), "%s-00000|a\n");
    // Only the matching lines get a prefix, and only they are counted.
    EXPECT_EQ(Edited("x1\ny\nx2\nx3\n", [](S b, S e) { FileSearchInsert(b, e, "%#1 ", "x"); }),
              "x1\ny\n00000 x2\n00001 x3\n");
}

TEST_F(Editing, LongLinesAreEditedInPiecesWithNothingLost)
{
    // 1200 characters: pieces of 510, 510 and 180, each edited as a line.
    std::string expected(1200, 'x');
    expected[0] = expected[510] = expected[1020] = 'y';
    EXPECT_EQ(Edited(std::string(1200, 'x') + "\nx\n", [](S b, S e) { FileChange(b, e, "x", "y"); }),
              expected + "\ny\n");
    EXPECT_EQ(Edited(std::string(2000, 'a') + "\n", [](S b, S e) { FileChangeChar(b, e, "97", "98,98"); }),
              std::string(4000, 'b') + "\n");

    // A line of exactly 510 characters keeps its line end; one more
    // character starts a piece of its own.
    auto prefix = [](S b, S e) { FileInsert(b, e, "> "); };
    std::string full(510, 'a');
    EXPECT_EQ(Edited(full + "\nb\n", prefix), "> " + full + "\n> b\n");
    EXPECT_EQ(Edited(full + "c\n", prefix), "> " + full + "> c\n");
}

TEST_F(Editing, TheReplaceIsSafeForAnyNameAndKeepsPermissions)
{
    // With an empty extension the output is base.out. A link left at the
    // output name is removed, not written through.
    Write("victim", "keep\n");
    Write("plain", "a\n");
    ASSERT_EQ(symlink(Path("victim").c_str(), Path("plain.out").c_str()), 0);
    FileChange(Path("plain").c_str(), "", "a", "b");
    EXPECT_EQ(Read("plain"), "b\n");
    EXPECT_EQ(Read("victim"), "keep\n");

    const std::string odd = "my conf; touch pwned $(touch pwned2) 'x\"";
    Write(odd + ".a b", "old\n");
    ASSERT_EQ(chmod(Path(odd + ".a b").c_str(), 0750), 0);
    FileChange(Path(odd).c_str(), "a b", "old", "new");
    EXPECT_EQ(Read(odd + ".a b"), "new\n");
    struct stat status;
    ASSERT_EQ(stat(Path(odd + ".a b").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0750u);
    EXPECT_EQ(Entries(), (Names{odd + ".a b", "plain", "victim"}));
}

TEST_F(Editing, OpenIOFilesLetsTheCallerWriteTheOutput)
{
    Write("data", "one\ntwo\n");
    OpenIOFiles(Path("data").c_str(), "", nullptr);
    EXPECT_EQ(std::string(Fn), Path("data"));
    EXPECT_EQ(std::string(FnOut), Path("dataout"));
    while (GetFileLine()) {
        for (char* c = LineBuf; *c; ++c)
            *c = static_cast<char>(toupper(static_cast<unsigned char>(*c)));
        fputs(LineBuf, pOut);
    }
    ReplaceInputFile();
    EXPECT_EQ(Read("data"), "ONE\nTWO\n");

    Write("data.txt", "x\n");
    OpenIOFiles(Path("data").c_str(), "txt", nullptr);
    EXPECT_EQ(std::string(FnOut), Path("data.txtout"));
    fputs("y\n", pOut);
    ReplaceInputFile();
    EXPECT_EQ(Read("data.txt"), "y\n");
    EXPECT_TRUE(pIn == nullptr && pOut == nullptr);
    EXPECT_EQ(Entries(), (Names{"data", "data.txt"}));

    // Without an open output there is nothing to replace, and nothing to report.
    CaptureStderr();
    ReplaceInputFile();
    EXPECT_EQ(GetCapturedStderr(), "");
}

TEST_F(Editing, AFailedReadOrReplaceKeepsTheInput)
{
    // A directory opens for reading but cannot be read.
    std::filesystem::create_directory(Path("adir"));
    CaptureStderr();
    FileChange(Path("adir").c_str(), "", "a", "b");
    EXPECT_EQ(GetCapturedStderr(), "WARNING: can't read file, " + Path("adir") + " : Is a directory\n");
    EXPECT_TRUE(std::filesystem::is_directory(Path("adir")));

    // The output vanishes before the replace: the rename fails, and the
    // input must still be there, whole.
    Write("data", "one\n");
    OpenIOFiles(Path("data").c_str(), "", nullptr);
    fputs("two\n", pOut);
    std::filesystem::remove(FnOut);
    CaptureStderr();
    ReplaceInputFile();
    EXPECT_EQ(GetCapturedStderr(), "WARNING: can't replace file, " + Path("data") + " : No such file or directory\n");
    EXPECT_EQ(Read("data"), "one\n");
    EXPECT_EQ(Entries(), (Names{"adir", "data"}));
}

TEST_F(EditingDeathTest, AFailedWriteKeepsTheInput)
{
    std::string original;
    for (int i = 0; i < 2000; ++i)
        original += "line " + std::to_string(i) + "\n";
    Write("big.txt", original);
    std::string base = Path("big");
    // The file size limit makes the output's writes fail part way.
    auto changeUnderLimit = [&] {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        limit.rlim_cur = limit.rlim_max = 4096;
        setrlimit(RLIMIT_FSIZE, &limit);
        FileChange(base.c_str(), "txt", "line", "LINE");
        exit(0);
    };
    EXPECT_EXIT(changeUnderLimit(), ExitedWithCode(0), "WARNING: can't write file, .*big.txtout : File too large");
    EXPECT_EQ(Read("big.txt"), original);
    EXPECT_EQ(Entries(), Names{"big.txt"});
}

TEST_F(EditingDeathTest, FilesThatCannotBeOpenedEndTheProgram)
{
    std::string missing = Path("missing");
    EXPECT_EXIT(FileDel(missing.c_str(), "txt", 0, "x"), ExitedWithCode(1),
                "can't open file, .*missing.txt : No such file or directory");
    EXPECT_EXIT(OpenIOFiles(missing.c_str(), "", nullptr), ExitedWithCode(1),
                "can't open file, .*missing : No such file or directory");

    // An output name taken by a directory; a name over 127 characters is
    // refused, not cut.
    Write("conf.txt", "a\n");
    std::filesystem::create_directory(Path("conf.txtout"));
    std::string base = Path("conf");
    EXPECT_EXIT(FileInsert(base.c_str(), "txt", "> "), ExitedWithCode(1), "can't open file, .*conf.txtout : File exists");
    std::string longBase = base + std::string(128 - base.size(), 'n');
    EXPECT_EXIT(FileInsert(longBase.c_str(), "", "> "), ExitedWithCode(1), "can't open file, .*n : File name too long");
    EXPECT_EQ(Read("conf.txt"), "a\n");
    EXPECT_EQ(Entries(), (Names{"conf.txt", "conf.txtout"}));
}

TEST(GenName, BuildsCapitalisedIdentifiers)
{
    EXPECT_STREQ(GenName("hello world-2x"), "HelloWorld2x");
    EXPECT_STREQ(GenName("  2nd try"), "NdTry");
    EXPECT_STREQ(GenName("ABC dEF_gh"), "AbcDefGh");
    EXPECT_STREQ(GenName("12 -- 34"), "");
    EXPECT_STREQ(GenName(nullptr), "");
    EXPECT_EQ(std::string(GenName(std::string(300, 'q').c_str())), "Q" + std::string(126, 'q'));
}

}  // namespace
