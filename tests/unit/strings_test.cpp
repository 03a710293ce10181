// String store, search helpers and text conversions.
#include <cerrno>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "MemMgr.h"
#include "utils.h"

namespace {

// ---- string store ----

TEST(SaveStr, FormatsIntoFreshStrings)
{
    char* a = SaveStr("%s/%s", "/opt", "x");
    char* b = SaveStr("%s/%s", "/opt", "x");
    EXPECT_STREQ(a, "/opt/x");
    EXPECT_STREQ(b, "/opt/x");
    EXPECT_NE(a, b);
    PutMem(a);
    PutMem(b);
}

TEST(SaveStr, ResultsLongerThanAnyWorkBuffer)
{
    // Larger than the 65,535 bytes a stack buffer once held, and than the
    // 8 KiB a short format used to get.
    const std::string big(70000, 'q');
    char* s = SaveStr("<%s>", big.c_str());
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(std::strlen(s), big.size() + 2);
    EXPECT_EQ(std::string(s), "<" + big + ">");
    char* t = SaveStr__("%s%d", big.c_str(), 42);
    EXPECT_EQ(std::string(t), big + "42");
    PutMem(s);
    PutMem(t);
}

TEST(SaveStr, StoredTextIsZeroFilledToTheEndOfItsNodes)
{
    // A saved string of length L occupies (L + 2) rounded up to 32 bytes.
    for (int len : {0, 1, 29, 30, 31, 62, 100}) {
        const std::string text(static_cast<size_t>(len), 'z');
        char* s = SaveStr("%s", text.c_str());
        const int occupied = (len + 2 + 31) / 32 * 32;
        EXPECT_EQ(std::strlen(s), static_cast<size_t>(len));
        for (int i = len; i < occupied; ++i)
            ASSERT_EQ(s[i], '\0') << "length " << len << " byte " << i;
        PutMem(s);
    }
}

TEST(SaveStr, FreedStringsAreReused)
{
    char* a = SaveStr("%s", "first");
    PutMem(a);
    char* b = SaveStr("%s", "again");
    EXPECT_EQ(a, b);
    EXPECT_STREQ(b, "again");
    PutMem(b);
}

TEST(SaveStr, NullFormatOnlyForTheTolerantVariant)
{
    EXPECT_EQ(SaveStr__(nullptr), nullptr);
    char* s = SaveStr__("%03d", 7);
    EXPECT_STREQ(s, "007");
    PutMem(s);
}

TEST(SaveStr, PlainCopyKeepsPercentSigns)
{
    char* s = SaveStr_("100%");
    EXPECT_STREQ(s, "100%");
    char* t = SaveStr_("%s%n%d");
    EXPECT_STREQ(t, "%s%n%d");
    char* e = SaveStr_("");
    EXPECT_STREQ(e, "");
    EXPECT_EQ(SaveStr_(nullptr), nullptr);
    PutMem(s);
    PutMem(t);
    PutMem(e);
}

TEST(SaveStrDeathTest, TextThatCannotBeFormattedEndsTheProcess)
{
    // A wide character the C locale cannot write makes formatting fail;
    // the caller must not get a null or a truncated string.
    my_name = const_cast<char*>("tester");
    EXPECT_EXIT(SaveStr("<%ls>", L"\u0100"), testing::ExitedWithCode(1),
                "^\ntester: Unable to allocate memory : Invalid or incomplete multibyte");
}

// ---- search helpers ----

TEST(StrStr, GivesTheLeftmostOccurrence)
{
    const char* s = "abcabc";
    EXPECT_EQ(StrStr(s, "ca"), s + 2);
    EXPECT_EQ(StrStr(s, "abc"), s);
    EXPECT_EQ(StrStr(s, "bc"), s + 1);
    EXPECT_EQ(StrStr(s, "c"), s + 2);
    EXPECT_EQ(StrStr(s, "abcabc"), s);
}

TEST(StrStr, MissesPartialMatchesAndNeverFindsNothing)
{
    const char* s = "abcab";
    EXPECT_EQ(StrStr(s, "abc!"), nullptr);
    EXPECT_EQ(StrStr(s, "abca"), s);
    EXPECT_EQ(StrStr(s, "cabx"), nullptr);
    EXPECT_EQ(StrStr(s, "abcabc"), nullptr);  // runs past the end
    EXPECT_EQ(StrStr(s, ""), nullptr);
    EXPECT_EQ(StrStr("", "a"), nullptr);
    EXPECT_EQ(StrStr("", ""), nullptr);
    EXPECT_EQ(StrStr(nullptr, "a"), nullptr);
    EXPECT_EQ(StrStr(s, nullptr), nullptr);
}

TEST(StrStr, FindsTheFirstRunLongEnough)
{
    // Free/used marks as in an allocation table: the first run of at least
    // four free marks starts after the shorter runs.
    std::string table = "UU..U...U....U.....U";
    table += std::string(2000, '.');
    const char* t = table.c_str();
    EXPECT_EQ(StrStr(t, "...."), t + 9);
    EXPECT_EQ(StrStr(t, "....."), t + 14);
    EXPECT_EQ(StrStr(t, std::string(2000, '.').c_str()), t + 20);
    EXPECT_EQ(StrStr(t, std::string(2001, '.').c_str()), nullptr);
}

TEST(StrCaseStr, IgnoresCase)
{
    const char* s = "Hello";
    EXPECT_EQ(StrCaseStr(s, "LL"), s + 2);
    EXPECT_EQ(StrCaseStr(s, "hELLO"), s);
    EXPECT_EQ(StrCaseStr(s, "lo"), s + 3);
    EXPECT_EQ(StrCaseStr(s, "LOX"), nullptr);
    EXPECT_EQ(StrCaseStr(s, "Hellos"), nullptr);
    EXPECT_EQ(StrCaseStr("aAaX", "AAB"), nullptr);
    const char* r = "aAaaB";
    EXPECT_EQ(StrCaseStr(r, "AAB"), r + 2);
    EXPECT_EQ(StrCaseStr(s, ""), nullptr);
    EXPECT_EQ(StrCaseStr("", "a"), nullptr);
    EXPECT_EQ(StrCaseStr(nullptr, "a"), nullptr);
    EXPECT_EQ(StrCaseStr(s, nullptr), nullptr);
}

TEST(StrChr, SkipsEscapedCharacters)
{
    const char* s = "a\\,b,c";
    EXPECT_EQ(StrChr(s, ','), s + 4);
    EXPECT_EQ(StrChr(s, 'a'), s);
    EXPECT_EQ(StrChr(s, 'c'), s + 5);
    const char* t = "x\\\\,y";  // an escaped backslash does not escape the comma
    EXPECT_EQ(StrChr(t, ','), t + 3);
}

TEST(StrChr, NeverFindsBackslashesTerminatorsOrEmptyText)
{
    EXPECT_EQ(StrChr("a\\b", '\\'), nullptr);
    EXPECT_EQ(StrChr("a\\", 'x'), nullptr);
    EXPECT_EQ(StrChr("a\\,", ','), nullptr);
    EXPECT_EQ(StrChr("abc", '\0'), nullptr);
    EXPECT_EQ(StrChr("", ','), nullptr);
    EXPECT_EQ(StrChr(nullptr, ','), nullptr);
}

TEST(StrNChr, CountsOccurrencesFromOne)
{
    const char* s = "a,b,c";
    EXPECT_EQ(StrNChr(s, ',', 1), s + 1);
    EXPECT_EQ(StrNChr(s, ',', 2), s + 3);
    EXPECT_EQ(StrNChr(s, ',', 3), nullptr);
    EXPECT_EQ(StrNChr(s, ',', 0), nullptr);
    EXPECT_EQ(StrNChr(s, ',', -1), nullptr);
    const char* e = "a\\,b";  // backslashes escape nothing here
    EXPECT_EQ(StrNChr(e, ',', 1), e + 2);
    EXPECT_EQ(StrNChr("", ',', 1), nullptr);
    EXPECT_EQ(StrNChr(nullptr, ',', 1), nullptr);
}

TEST(StrNStr, CountsOverlappingOccurrences)
{
    const char* s = "aaaa";
    EXPECT_EQ(StrNStr(s, "aa", 1), s);
    EXPECT_EQ(StrNStr(s, "aa", 2), s + 1);
    EXPECT_EQ(StrNStr(s, "aa", 3), s + 2);
    EXPECT_EQ(StrNStr(s, "aa", 4), nullptr);
    const char* t = "x.y.z";
    EXPECT_EQ(StrNStr(t, ".", 2), t + 3);
    EXPECT_EQ(StrNStr(t, "q", 1), nullptr);
}

TEST(StrNStr, StopsAtTheEndOfTheText)
{
    const char* s = "aba";
    EXPECT_EQ(StrNStr(s, "a", 2), s + 2);
    EXPECT_EQ(StrNStr(s, "a", 3), nullptr);  // the second one is the last character
    EXPECT_EQ(StrNStr("", "a", 1), nullptr);
    EXPECT_EQ(StrNStr(nullptr, "a", 1), nullptr);
    EXPECT_EQ(StrNStr(s, nullptr, 1), nullptr);
}

TEST(StrLen, CountsUpToTheTerminator)
{
    EXPECT_EQ(StrLen("abc"), 3);
    EXPECT_EQ(StrLen(""), 0);
    EXPECT_EQ(StrLen(nullptr), 0);
    const char withNul[] = "ab\0cd";
    EXPECT_EQ(StrLen(withNul), 2);
}

// ---- conversions ----

TEST(SetVarContent, CopiesForwardOrReversed)
{
    const unsigned char src[4] = {1, 2, 3, 4};
    unsigned char dst[5] = {9, 9, 9, 9, 9};
    SetVarContent(dst, src, 4, 0);
    EXPECT_EQ(std::memcmp(dst, "\1\2\3\4\11", 5), 0);
    SetVarContent(dst, src, 4, 1);
    EXPECT_EQ(std::memcmp(dst, "\4\3\2\1\11", 5), 0);
    SetVarContent(dst, src, 2, 0x1FF);
    EXPECT_EQ(std::memcmp(dst, "\2\1\2\1\11", 5), 0);
    // Only the low byte of the flag counts.
    SetVarContent(dst, src, 4, 0x100);
    EXPECT_EQ(std::memcmp(dst, "\1\2\3\4\11", 5), 0);
    SetVarContent(dst, src, 0, 1);
    EXPECT_EQ(dst[0], 1);
}

TEST(MaxD, GivesTheLarger)
{
    EXPECT_EQ(MaxD(2.5, 1.0), 2.5);
    EXPECT_EQ(MaxD(1.0, 2.5), 2.5);
    EXPECT_EQ(MaxD(-3.0, -4.0), -3.0);
}

TEST(CvtFloatFormat, ConvertsBetweenInchesCentimetresAndPoints)
{
    EXPECT_FLOAT_EQ(CvtFloatFormat(1.0f, 0, 2), 72.0f);
    EXPECT_FLOAT_EQ(CvtFloatFormat(2.54f, 1, 0), 1.0f);
    EXPECT_FLOAT_EQ(CvtFloatFormat(1.0f, 0, 1), 2.54f);
    EXPECT_FLOAT_EQ(CvtFloatFormat(144.0f, 2, 0), 2.0f);
    EXPECT_FLOAT_EQ(CvtFloatFormat(72.0f, 2, 1), 2.54f);
    EXPECT_FLOAT_EQ(CvtFloatFormat(2.54f, 1, 2), 72.0f);
    EXPECT_FLOAT_EQ(CvtFloatFormat(36.0f, 2, 1), 1.27f);
}

TEST(CvtFloatFormat, SameOrUnknownUnitsLeaveTheValue)
{
    for (int unit = 0; unit < 3; ++unit)
        EXPECT_EQ(CvtFloatFormat(3.3f, unit, unit), 3.3f);
    EXPECT_EQ(CvtFloatFormat(3.3f, 3, 0), 3.3f);
    EXPECT_EQ(CvtFloatFormat(3.3f, 0, -1), 3.3f);
}

TEST(StripAllBackslashes, RemovesEveryBackslash)
{
    char a[] = "a\\,b\\\\c\\";
    EXPECT_EQ(StripAllBackslashes(a), a);
    EXPECT_STREQ(a, "a,bc");
    char b[] = "\\\\\\\\";
    EXPECT_STREQ(StripAllBackslashes(b), "");
    char c[] = "plain";
    EXPECT_STREQ(StripAllBackslashes(c), "plain");
    EXPECT_EQ(StripAllBackslashes(nullptr), nullptr);
}

TEST(StripNonPrint, DropsControlCharacters)
{
    char a[] = "\tName: v1.2,\n x\r\x7f\x01!";
    EXPECT_EQ(StripNonPrint(a, 0), a);
    EXPECT_STREQ(a, "Name: v1.2, x!");
    char b[] = "line one\r\nline\ttwo\n";
    EXPECT_STREQ(StripNonPrint(b, 1), "line one\r\nlinetwo\n");
    char c[] = "Gr\xc3\xbc\xc3\x9f" "e\x1b[0m";
    EXPECT_STREQ(StripNonPrint(c, 0), "Gr\xc3\xbc\xc3\x9f" "e[0m");
    EXPECT_EQ(StripNonPrint(nullptr, 0), nullptr);
}

}  // namespace
