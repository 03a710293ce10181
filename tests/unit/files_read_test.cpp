// Opening files, the current input file, the line readers and whole-file
// reads.
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "MemMgr.h"
#include "files_fixture.h"

namespace {

using testing::ExitedWithCode;
using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

using Opening = FilesTest;
using OpeningDeathTest = FilesTest;

TEST_F(Opening, LevelsDecideTheReport)
{
    std::string missing = Path("missing");
    CaptureStderr();
    EXPECT_EQ(OpenFile(nullptr, missing.c_str(), "rt", 0), nullptr);
    EXPECT_EQ(GetCapturedStderr(), "");

    CaptureStderr();
    EXPECT_EQ(OpenFile(nullptr, missing.c_str(), "rt", 1), nullptr);
    EXPECT_EQ(GetCapturedStderr(), "ERROR: can't open file, " + missing + "\n");

    FILE* file = OpenFile(nullptr, Write("a", "x").c_str(), "rt", 2);
    ASSERT_NE(file, nullptr);
    // Re-opening closes the previous handle and gives the new one.
    file = OpenFile(file, Path("a").c_str(), "rt", 2);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(fgetc(file), 'x');
    fclose(file);
}

TEST_F(OpeningDeathTest, LevelTwoEndsTheProgram)
{
    std::string missing = Path("missing");
    EXPECT_EXIT(OpenFile(nullptr, missing.c_str(), "rt", 2), ExitedWithCode(1),
                "can't open file, " + missing + " : No such file or directory");
}

TEST_F(Opening, FormattedPathsAreBoundedAndRefusedWhenTooLong)
{
    Write("f7", "seven");
    FILE* file = OpenFileF(nullptr, "rt", 1, "%s/f%d", dir.c_str(), 7);
    ASSERT_NE(file, nullptr);
    fclose(file);

    // A path of 512 characters must not create the file its first 511 name.
    std::string sub(200, 'd');
    std::filesystem::create_directories(Path(sub + "/" + sub));
    std::string base = Path(sub + "/" + sub + "/");
    std::string name(512 - base.size(), 'f');
    CaptureStderr();
    errno = 0;
    EXPECT_EQ(OpenFileF(nullptr, "wt", 1, "%s%s", base.c_str(), name.c_str()), nullptr);
    EXPECT_EQ(errno, ENAMETOOLONG);
    EXPECT_EQ(GetCapturedStderr(), "ERROR: can't open file, " + base + name.substr(1) + "\n");
    EXPECT_FALSE(std::filesystem::exists(base + name.substr(1)));

    file = OpenFileF(nullptr, "wt", 1, "%s%s", base.c_str(), name.c_str() + 1);
    ASSERT_NE(file, nullptr);
    fclose(file);

    EXPECT_EQ(OpenInputFileF(0, "%s%s", base.c_str(), name.c_str()), 0);
    EXPECT_EQ(FileStatus, 2);
    EXPECT_EQ(pIn, nullptr);
    EXPECT_EQ(OpenInputFileF(0, "%s%s", base.c_str(), name.c_str() + 1), 1);
}

TEST_F(Opening, RawOpenReportsOnStandardOutput)
{
    int fd = OpenRawFile(Write("raw", "r").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    close(fd);

    std::string missing = Path("missing");
    CaptureStdout();
    EXPECT_LT(OpenRawFile(missing.c_str(), O_RDONLY), 0);
    EXPECT_EQ(GetCapturedStdout(), "ERROR: can't open file, " + missing);
}

TEST_F(Opening, FailedInputOpenClearsTheLineState)
{
    std::string path = Write("in", "a \\\nb\n");
    ASSERT_EQ(OpenInputFile(path.c_str(), 1), 1);
    EXPECT_EQ(FileStatus, 0);
    ASSERT_EQ(GetFileLine(), 1);
    ASSERT_GT(LineLen, 0);

    std::string missing = Path("missing");
    CaptureStderr();
    EXPECT_EQ(OpenInputFile(missing.c_str(), 1), 0);
    EXPECT_EQ(GetCapturedStderr(), "WARNING: can't open file, " + missing + "\n");
    EXPECT_EQ(pIn, nullptr);
    EXPECT_EQ(FileStatus, 2);
    EXPECT_STREQ(LineBuf, "");
    EXPECT_EQ(LineLen, 0);
    EXPECT_STREQ(InputFileName, missing.c_str());
}

TEST_F(OpeningDeathTest, FailedInputOpenAtLevelTwoEndsWithStatusZero)
{
    std::string missing = Path("missing");
    EXPECT_EXIT(OpenInputFile(missing.c_str(), 2), ExitedWithCode(0),
                "^ERROR: can't open file, " + missing + "\n$");
}

TEST_F(Opening, InputFileNameIsCutToItsBuffer)
{
    std::string longName(300, 'q');
    EXPECT_EQ(OpenInputFile(longName.c_str(), 0), 0);
    EXPECT_EQ(std::string(InputFileName), longName.substr(0, 255));
}

TEST_F(Opening, NamesHeldInTheSharedBuffers)
{
    // Re-opening the current input by its own name.
    Input("again\n");
    ASSERT_EQ(GetLine(), 1);
    EXPECT_EQ(OpenInputFile(InputFileName, 1), 1);
    EXPECT_EQ(GetLine(), 1);
    EXPECT_STREQ(Line, "again");

    // A name read into Line, which the warning is formatted into.
    std::string missing = Path("missing");
    snprintf(Line, sizeof Line, "%s", missing.c_str());
    CaptureStderr();
    EXPECT_EQ(OpenInputFile(Line, 1), 0);
    EXPECT_EQ(GetCapturedStderr(), "WARNING: can't open file, " + missing + "\n");
    EXPECT_STREQ(InputFileName, missing.c_str());
}

using FilteredLines = FilesTest;

TEST_F(FilteredLines, LineCommentsAndBlanks)
{
    Input("key = 1 // note\n   \n\tvalue\r\na /* x */ b\n");
    EXPECT_EQ(GetLine(), 1);
    EXPECT_STREQ(Line, "key = 1 ");
    EXPECT_EQ(pLine, Line);
    EXPECT_EQ(GetLine(), 1);
    EXPECT_STREQ(Line, "");
    EXPECT_EQ(GetLine(), 1);
    EXPECT_STREQ(Line, "value");
    EXPECT_EQ(GetLine(), 1);
    EXPECT_STREQ(Line, "a  b");
    EXPECT_EQ(GetLine(), 0);
    EXPECT_STREQ(Line, "");
    // GetLine leaves the input open at its end.
    EXPECT_NE(pIn, nullptr);
}

TEST_F(FilteredLines, CommentAcrossTwoLines)
{
    Input("first\np /* start\nend */ q\nlast\n");
    EXPECT_EQ(GetLine(), 1);
    EXPECT_EQ(InPos, 0);
    EXPECT_EQ(GetLine(), 2);
    EXPECT_STREQ(Line, "q");
    EXPECT_EQ(InPos, static_cast<int>(strlen("first\np /* start\n")));
    EXPECT_EQ(GetLine(), 1);
    EXPECT_STREQ(Line, "last");
}

TEST_F(FilteredLines, CommentOpenAfterTheSecondLineDoesNotCarryOver)
{
    Input("a /* open\nstill inside\nnext\n");
    EXPECT_EQ(GetLine(), 2);
    EXPECT_STREQ(Line, "still inside\n");
    EXPECT_EQ(GetLine(), 1);
    EXPECT_STREQ(Line, "next");
}

TEST_F(FilteredLines, CommentOpenAtEndOfFileEndsTheInput)
{
    Input("x /* never closed\n");
    EXPECT_EQ(GetLine(), 0);
}

TEST_F(FilteredLines, LineIsPaddedWithNuls)
{
    Input("ab\n");
    memset(Line, 'X', 600);
    ASSERT_EQ(GetLine(), 1);
    for (int i = 2; i < 512; ++i)
        ASSERT_EQ(Line[i], '\0') << "at " << i;
    EXPECT_EQ(Line[512], 'X');
}

TEST_F(FilteredLines, LongLinesComeInPiecesOf510)
{
    Input(std::string(600, 'w') + "\n");
    EXPECT_EQ(GetLine(), 1);
    EXPECT_EQ(strlen(Line), 510u);
    EXPECT_EQ(GetLine(), 1);
    EXPECT_EQ(strlen(Line), 90u);
}

TEST_F(FilteredLines, UnfilteredKeepsTheLineAsRead)
{
    Input("  x // y\n\n");
    flInputFilterState = false;
    EXPECT_EQ(GetLine(), 1);
    EXPECT_STREQ(Line, "  x // y\n");
    EXPECT_EQ(GetLine(), 1);
    EXPECT_STREQ(Line, "\n");
    EXPECT_EQ(GetLine(), 0);
}

TEST_F(FilteredLines, PositionedAndCountedReads)
{
    Input("one\ntwo\nthree\n");
    EXPECT_EQ(GetLineN(0), 0);
    EXPECT_EQ(GetLineN(2), 1);
    EXPECT_STREQ(Line, "two");
    int second = InPos;
    EXPECT_EQ(GetLinePos(second), 1);
    EXPECT_STREQ(Line, "two");
    EXPECT_EQ(GetLineN(5), 0);

    char buf[16];
    EXPECT_STREQ(fgetsp(buf, sizeof buf, pIn, 4), "two\n");
    EXPECT_EQ(fgetsp(buf, 0, pIn, 0), nullptr);
}

using ContinuedLines = FilesTest;

TEST_F(ContinuedLines, BackslashJoinsTheNextLine)
{
    Input("a \\\nb\nc\n");
    EXPECT_EQ(GetFileLine(), 1);
    EXPECT_STREQ(LineBuf, "a \\\nb\n");
    EXPECT_EQ(LineLen, 4);
    EXPECT_EQ(GetFileLine(), 1);
    EXPECT_STREQ(LineBuf, "c\n");
    EXPECT_EQ(LineLen, 0);
    EXPECT_EQ(GetFileLine(), 0);
    EXPECT_EQ(pIn, nullptr);
    EXPECT_EQ(FileStatus, 1);
    // Without an input every reader gives nothing.
    EXPECT_EQ(GetFileLine(), 0);
    EXPECT_EQ(GetLine(), 0);
    EXPECT_EQ(GetLinePos(0), 0);
}

TEST_F(ContinuedLines, JoiningStopsAtTheEndOfLineBufAndLosesNothing)
{
    std::string part = std::string(300, 'c') + "\\\n";
    std::string content;
    for (int i = 0; i < 20; ++i)
        content += part;
    content += "tail\n";
    Input(content);
    std::string joined;
    int calls = 0;
    while (GetFileLine()) {
        ASSERT_LT(strlen(LineBuf), sizeof LineBuf);
        ASSERT_LT(LineLen, static_cast<int>(sizeof LineBuf));
        joined += LineBuf;
        ++calls;
    }
    EXPECT_EQ(joined, content);
    EXPECT_GT(calls, 1);
}

TEST_F(ContinuedLines, TextLinesSkipCommentsAndBlankLines)
{
    Input("# comment\n\n\r\nvalue one\r\n  first second\n");
    EXPECT_EQ(GetFileTextLine(nullptr), 0);
    EXPECT_EQ(GetFileTextLine("\n\r"), 1);
    EXPECT_STREQ(LineBuf, "value one");
    EXPECT_EQ(GetFileTextLine(" \t\n"), 1);
    EXPECT_STREQ(LineBuf, "first");
    EXPECT_EQ(GetFileTextLine("\n"), 0);
}

using WholeFiles = FilesTest;

TEST_F(WholeFiles, ContentIntoLineBuf)
{
    Write("small", "hello\n");
    EXPECT_EQ(GetFileContent(dir.c_str(), "small"), 1);
    EXPECT_STREQ(LineBuf, "hello\n");
    EXPECT_EQ(GetFileContent(Path("small").c_str(), nullptr), 1);
    EXPECT_STREQ(LineBuf, "hello\n");

    Write("big", std::string(5000, 'b'));
    EXPECT_EQ(GetFileContent(dir.c_str(), "big"), 1);
    EXPECT_EQ(strlen(LineBuf), 4095u);

    EXPECT_EQ(GetFileContent(dir.c_str(), "missing"), 0);
    // A directory opens, but holds no content.
    EXPECT_EQ(GetFileContent(dir.c_str(), nullptr), 0);
    // A pipe without a writer would hold the reader up for ever; a device
    // has no content of its own.
    ASSERT_EQ(mkfifo(Path("pipe").c_str(), 0600), 0);
    EXPECT_EQ(GetFileContent(dir.c_str(), "pipe"), 0);
    EXPECT_STREQ(LineBuf, "");
    EXPECT_EQ(GetFileContent("/dev/zero", nullptr), 0);
}

TEST_F(WholeFiles, ContentIntoTheCallersBuffer)
{
    Write("abc", "abcdef");
    char buf[8];
    memset(buf, '#', sizeof buf);
    EXPECT_EQ(GetFileContentR(dir.c_str(), "abc", buf, 3), 1);
    EXPECT_STREQ(buf, "abc");
    EXPECT_EQ(buf[4], '#');
    EXPECT_EQ(GetFileContentR(dir.c_str(), "missing", buf, 3), 0);
    EXPECT_EQ(GetFileContentR(dir.c_str(), "abc", nullptr, 3), 0);
    std::string tooLong(5000, 'p');
    EXPECT_EQ(GetFileContentR(dir.c_str(), tooLong.c_str(), buf, 3), 0);
}

TEST_F(WholeFiles, SavedContent)
{
    Write("empty", "");
    SavedFileSize = 9;
    EXPECT_EQ(GetSavedFileContent(dir.c_str(), "empty"), nullptr);
    EXPECT_EQ(SavedFileSize, 0);

    Write("one", "x");
    char* text = GetSavedFileContent(dir.c_str(), "one");
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(SavedFileSize, 1);
    PutMem(text);

    std::string binary("ab\0cd\n", 6);
    Write("bin", binary);
    text = GetSavedFileContent(Path("bin").c_str(), nullptr);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(SavedFileSize, 6);
    EXPECT_EQ(std::string(text, 6), binary);
    EXPECT_EQ(text[6], '\0');
    PutMem(text);

    EXPECT_EQ(GetSavedFileContent(dir.c_str(), "missing"), nullptr);
    EXPECT_EQ(SavedFileSize, 0);
    // A directory has a size but no content.
    EXPECT_EQ(GetSavedFileContent(dir.c_str(), nullptr), nullptr);
}

}  // namespace
