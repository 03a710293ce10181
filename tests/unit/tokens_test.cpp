#include "utils.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::string Tok(char* token) { return token ? token : "<null>"; }

// Reads the tokens of text (starting with text, then mode) joined by '|'.
std::string ReadAll(const char* text, const char* delims, const char* mode = nullptr)
{
    std::string all;
    const char* from = text;
    for (int i = 0; i < 100; ++i, from = mode) {
        const char* token = GetToken(from, delims);
        if (!token)
            break;
        all += (all.empty() ? "" : "|") + std::string(token);
    }
    return all;
}

TEST(TokenCursor, DelimiterRunsAndChTokenDel)
{
    const char* text = "a,,b";
    EXPECT_EQ(Tok(GetToken(text, ",")), "a");
    EXPECT_EQ(chTokenDel, ',');
    EXPECT_EQ(szTokenIn, text + 2);
    EXPECT_EQ(Tok(GetToken(nullptr, ",")), "b");
    EXPECT_EQ(chTokenDel, ',');   // the skipped one before b
    EXPECT_EQ(szTokenIn, text + 4);
    EXPECT_EQ(GetToken(nullptr, ","), nullptr);
    EXPECT_EQ(chTokenDel, 0);
    EXPECT_EQ(GetToken(nullptr, ","), nullptr);

    EXPECT_EQ(Tok(GetToken("  x", " ")), "x");
    EXPECT_EQ(GetToken(" \t ", " \t"), nullptr);
    EXPECT_EQ(chTokenDel, ' ');
    EXPECT_EQ(ReadAll("k=v; w", "=; "), "k|v|w");
    EXPECT_EQ(ReadAll("abc", nullptr), "abc");

    const char* other = "p q";
    SetTokenBuf(other);
    EXPECT_EQ(GetTokenBufInput(), other);
    EXPECT_EQ(szTokenIn, other);
    EXPECT_EQ(Tok(GetToken(nullptr, " ")), "p");
    EXPECT_EQ(GetTokenBufInput(), other + 2);
}

TEST(TokenCursor, Escapes)
{
    EXPECT_EQ(ReadAll("a\\,b,c", ","), "a,b|c");
    EXPECT_EQ(ReadAll("x\\ty\\n\\r", ","), "x\ty\n\r");
    EXPECT_EQ(ReadAll("\\\\,\\q", ","), "\\|q");
    // A trailing backslash ends the text.
    EXPECT_EQ(ReadAll("ab\\", ","), "ab");
    EXPECT_EQ(GetToken("\\", ","), nullptr);
}

TEST(TokenCursor, LineMode)
{
    const char* text = "one two\nthree\n\nfour five";
    EXPECT_EQ(Tok(GetToken(text, " \n")), "one");
    const char* afterOne = szTokenIn;
    EXPECT_EQ(GetToken(TOKEN_LINEMODE, " \n"), nullptr);   // "two" ended the line
    EXPECT_EQ(chTokenDel, '\n');
    EXPECT_EQ(szTokenIn, afterOne);
    EXPECT_EQ(GetTokenBufInput(), text + 8);
    EXPECT_EQ(GetToken(TOKEN_LINEMODE, " \n"), nullptr);   // "three" alone on its line
    // The empty line is skipped as leading delimiters; a token ended by the
    // end of the text is given.
    EXPECT_EQ(Tok(GetToken(TOKEN_LINEMODE, " \n")), "four");
    EXPECT_EQ(Tok(GetToken(TOKEN_LINEMODE, " \n")), "five");
    EXPECT_EQ(GetToken(TOKEN_LINEMODE, " \n"), nullptr);
}

TEST(TokenCursor, GetTokenDKeepsItsOwnState)
{
    const char* mine = "1 2 3";
    const char* pos = nullptr;
    std::array<char, TOKEN_BUF_SIZE> buf{};
    EXPECT_EQ(Tok(GetToken("x y", " ")), "x");
    EXPECT_EQ(Tok(GetTokenD(mine, " ", &pos, buf.data())), "1");
    EXPECT_EQ(pos, mine + 2);
    EXPECT_EQ(Tok(GetToken(nullptr, " ")), "y");   // shared cursor untouched
    EXPECT_EQ(Tok(GetTokenD(nullptr, " ", &pos, buf.data())), "2");
    EXPECT_EQ(chTokenDel, ' ');
    EXPECT_STREQ(GetTokenBuf, "y");
    EXPECT_EQ(Tok(GetTokenD(nullptr, " ", &pos, buf.data())), "3");
    EXPECT_EQ(GetTokenD(nullptr, " ", &pos, buf.data()), nullptr);

    const char* lines = "a b\nc";
    pos = lines;
    EXPECT_EQ(Tok(GetTokenD(TOKEN_LINEMODE, " \n", &pos, buf.data())), "a");
    EXPECT_EQ(GetTokenD(TOKEN_LINEMODE, " \n", &pos, buf.data()), nullptr);
    EXPECT_EQ(pos, lines + 4);
    EXPECT_EQ(Tok(GetTokenD(TOKEN_LINEMODE, " \n", &pos, buf.data())), "c");

    const char* unset = nullptr;
    EXPECT_EQ(GetTokenD(nullptr, " ", &unset, buf.data()), nullptr);
    EXPECT_EQ(GetTokenD("a", " ", nullptr, buf.data()), nullptr);
}

TEST(TokenCursor, GetTokenParseCutsInPlace)
{
    char text[] = ",,ab\\,c,d\n\\";
    char* first = GetTokenParse(text, ",\n");
    EXPECT_EQ(first, text + 2);
    EXPECT_STREQ(first, "ab\\,c");   // escape kept, not split
    EXPECT_EQ(text[0], '\0');
    EXPECT_EQ(text[1], '\0');
    EXPECT_EQ(chTokenDel, ',');
    EXPECT_EQ(szTokenIn, text + 8);
    EXPECT_EQ(Tok(GetTokenParse(nullptr, ",\n")), "d");
    EXPECT_EQ(chTokenDel, '\n');
    EXPECT_EQ(Tok(GetTokenParse(nullptr, ",\n")), "\\");
    EXPECT_EQ(GetTokenParse(nullptr, ",\n"), nullptr);

    char lines[] = "a b\nc";
    EXPECT_EQ(Tok(GetTokenParse(lines, " \n")), "a");
    EXPECT_EQ(GetTokenParse(TOKEN_LINEMODE, " \n"), nullptr);
    EXPECT_EQ(szTokenIn, lines + 2);
    EXPECT_EQ(Tok(GetTokenParse(TOKEN_LINEMODE, " \n")), "c");
}

TEST(TokenCursor, GetTokenNAndCountRestoreState)
{
    EXPECT_EQ(Tok(GetTokenN("a b c d", " ", 3)), "c");
    EXPECT_EQ(GetTokenN("a b c d", " ", 5), nullptr);
    EXPECT_EQ(Tok(GetTokenN("a b", " ", 0)), "a");
    EXPECT_EQ(Tok(GetTokenN("_x,,y", ",", 2)), "y");

    const char* text = "p q r";
    EXPECT_EQ(Tok(GetToken(text, " ")), "p");
    EXPECT_EQ(GetTokenCount("a b c", " "), 3);
    EXPECT_STREQ(GetTokenBuf, "p");
    EXPECT_EQ(chTokenDel, ' ');
    EXPECT_EQ(szTokenIn, text + 2);
    EXPECT_EQ(GetTokenCount(nullptr, " "), 2);   // the rest: q and r
    EXPECT_EQ(Tok(GetToken(nullptr, " ")), "q");
    EXPECT_EQ(GetTokenCount("", " "), 0);
    EXPECT_EQ(Tok(GetToken(nullptr, " ")), "r");
}

TEST(TokenCursor, OverlongTokensAreCut)
{
    const std::string longWord(300, 'w');
    const std::string text = longWord + " next";
    EXPECT_EQ(Tok(GetToken(text.c_str(), " ")), std::string(TOKEN_MAX, 'w'));
    EXPECT_EQ(Tok(GetToken(nullptr, " ")), "next");

    // An escape that lands past the cut is dropped with the rest.
    const std::string escaped = std::string(TOKEN_MAX - 1, 'e') + "\\t\\tz,ok";
    std::vector<char> buf(TOKEN_BUF_SIZE + 8, '#');
    const char* pos = nullptr;
    EXPECT_EQ(Tok(GetTokenD(escaped.c_str(), ",", &pos, buf.data())),
              std::string(TOKEN_MAX - 1, 'e') + "\t");
    EXPECT_EQ(std::string(buf.begin() + TOKEN_BUF_SIZE, buf.end()), "########");
    EXPECT_EQ(Tok(GetTokenD(nullptr, ",", &pos, buf.data())), "ok");
}

TEST(TokenSplit, ParseStr)
{
    char text[] = "x  y z";
    std::array<char*, 3> fields{};
    fields[2] = text;
    EXPECT_EQ(ParseStr(text, " ", fields.data(), 2), 2);
    EXPECT_STREQ(fields[0], "x");
    EXPECT_STREQ(fields[1], "y");
    EXPECT_EQ(fields[2], text);   // beyond the capacity: untouched
    EXPECT_EQ(text[5], 'z');

    char runs[] = ":a::b\\:c:";
    EXPECT_EQ(ParseStr(runs, ":", fields.data(), 3), 3);
    EXPECT_STREQ(fields[0], "a");
    EXPECT_STREQ(fields[1], "b\\");   // no escapes here
    EXPECT_STREQ(fields[2], "c");

    char empty[] = "";
    EXPECT_EQ(ParseStr(empty, " ", fields.data(), 3), 0);
    EXPECT_EQ(fields[0], nullptr);
    EXPECT_EQ(ParseStr(nullptr, " ", fields.data(), 3), 0);
    EXPECT_EQ(ParseStr(text, " ", fields.data(), 0), 0);
}

TEST(TokenLists, FindToken)
{
    EXPECT_EQ(FindToken("..", ";.;..;"), 2);
    EXPECT_EQ(FindToken(".", ";.;..;"), 1);
    EXPECT_EQ(FindToken("x", ";.;..;"), 0);
    EXPECT_EQ(FindToken("c", ",a,b,c"), 3);
    EXPECT_EQ(FindToken("b", ",ab,b"), 2);
    EXPECT_EQ(FindToken("a", ",ab,ba"), 0);
    EXPECT_EQ(FindToken("B", ",a,b,"), 0);
    EXPECT_EQ(FindToken(nullptr, ",a,"), 0);
    EXPECT_EQ(FindToken("a", nullptr), 0);
    EXPECT_EQ(FindToken("a", ""), 0);

    // Elements of any length, far beyond any pattern buffer.
    const std::string big(5000, 'q');
    const std::string list = ",a," + big + ",z," + big + "q";
    EXPECT_EQ(FindToken(big.c_str(), list.c_str()), 2);
    EXPECT_EQ(FindToken((big + "q").c_str(), list.c_str()), 4);
    EXPECT_EQ(FindToken((big + "qq").c_str(), list.c_str()), 0);
    EXPECT_EQ(FindTokenC(big.c_str(), list.c_str()), 2);
}

TEST(TokenLists, FindTokenCAndWithDelim)
{
    EXPECT_EQ(FindTokenC("B", ",a,b,"), 2);
    EXPECT_EQ(FindTokenC("YES", ",y,yes,n,no,"), 2);
    EXPECT_EQ(FindTokenC("Ye", ",y,yes,n,no,"), 0);
    EXPECT_EQ(FindTokenC("NO", ",y,yes,n,no"), 4);
    EXPECT_EQ(FindTokenC(nullptr, ",a,"), 0);

    EXPECT_EQ(FindTokenWithDelim("a:b:c", "b", ':'), 2);
    EXPECT_EQ(FindTokenWithDelim("a:b:c", "c", ':'), 3);
    EXPECT_EQ(FindTokenWithDelim("a:bc", "b", ':'), 0);
    EXPECT_EQ(FindTokenWithDelim(":a", "", ':'), 1);
    EXPECT_EQ(FindTokenWithDelim("a::b", "b", ':'), 3);
    EXPECT_EQ(FindTokenWithDelim("a:b:", "", ':'), 0);
    EXPECT_EQ(FindTokenWithDelim("/usr/bin:/bin", "/bin", ':'), 2);
    EXPECT_EQ(FindTokenWithDelim(nullptr, "a", ':'), 0);
}

TEST(TokenLists, SkipSpace)
{
    char text[] = " \t\n\r\v\fx y";
    EXPECT_EQ(SkipSpace(text), text + 6);
    EXPECT_STREQ(SkipSpace("   "), "");
    EXPECT_EQ(SkipSpace(static_cast<const char*>(nullptr)), nullptr);
}

// Sorts a copy with room for one more character plus guard bytes, and
// checks the guards.
std::string Sorted(const std::string& list, char delim, int ignoreCase)
{
    std::vector<char> buf(list.begin(), list.end());
    buf.push_back('\0');
    buf.push_back('\0');
    buf.insert(buf.end(), 4, '#');
    SortTokens(buf.data(), delim, ignoreCase);
    EXPECT_EQ(std::string(buf.end() - 4, buf.end()), "####");
    return buf.data();
}

TEST(TokenLists, SortTokens)
{
    EXPECT_EQ(Sorted("c,a,b,", ',', 0), "a,b,c,");
    EXPECT_EQ(Sorted("b,a", ',', 0), "a,b,");   // one character longer
    EXPECT_EQ(Sorted("a,b", ',', 0), "a,b");
    EXPECT_EQ(Sorted(",,b,a,", ',', 0), ",,a,b,");
    EXPECT_EQ(Sorted("z", ',', 0), "z");
    EXPECT_EQ(Sorted("", ',', 0), "");
    // A prefix sorts first also when it is the last element.
    EXPECT_EQ(Sorted("abc,ab", ',', 0), "ab,abc,");
    EXPECT_EQ(Sorted("ab,abc", ',', 0), "ab,abc");
    // Escaped delimiters stay inside their element, and the last element,
    // which ends in one, still gets its own delimiter when moved.
    EXPECT_EQ(Sorted("c,b\\,x,a\\,", ',', 0), "a\\,,b\\,x,c,");
    // Ignoring case, equal elements keep their order.
    EXPECT_EQ(Sorted("b B a A b", ' ', 1), "a A b B b");
    EXPECT_EQ(Sorted("b B a A b", ' ', 0), "A B a b b");
    SortTokens(nullptr, ',', 0);
}

// Runs Gets over the given standard input.
class GetsTest : public ::testing::Test {
protected:
    void Feed(const std::string& input)
    {
        char path[] = "/tmp/gets_testXXXXXX";
        const int fd = mkstemp(path);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(write(fd, input.data(), input.size()), static_cast<ssize_t>(input.size()));
        close(fd);
        ASSERT_NE(std::freopen(path, "r", stdin), nullptr);
        unlink(path);
    }
    std::string Line(int size)
    {
        char* line = Gets(buf.data(), size);
        return line ? line : "<null>";
    }
    std::array<char, 16> buf{};
};

TEST_F(GetsTest, LinesAreCutAndContinued)
{
    Feed("abcdef\n\nxy\n\xff\xfe|\nlast");
    EXPECT_EQ(Line(4), "abc");
    EXPECT_EQ(Line(4), "def");
    EXPECT_EQ(Line(16), "");   // the newline of the cut line
    EXPECT_EQ(Line(16), "");
    EXPECT_EQ(Line(16), "xy");
    EXPECT_EQ(Line(16), "\xff\xfe|");
    EXPECT_EQ(Line(16), "last");
    EXPECT_EQ(Line(16), "<null>");
}

TEST_F(GetsTest, TinyBuffers)
{
    Feed("ab\n");
    buf.fill('#');
    EXPECT_EQ(Gets(buf.data(), 0), nullptr);
    EXPECT_EQ(buf[0], '#');
    EXPECT_EQ(Line(1), "");
    EXPECT_EQ(Line(16), "ab");
    EXPECT_EQ(Line(1), "");   // reads nothing, so cannot see the end
    EXPECT_EQ(Line(2), "<null>");
}

}  // namespace
