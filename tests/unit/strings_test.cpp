// String store, search helpers and text conversions.
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "MemMgr.h"
#include "utils.h"

namespace {

TEST(SaveStr, FormatsIntoFreshStrings)
{
    char* a = SaveStr("%s/%s", "/opt", "x");
    char* b = SaveStr("%s/%s", "/opt", "x");
    EXPECT_STREQ(a, "/opt/x");
    EXPECT_NE(a, b);
    char* c = SaveStr__("%03d", 7);
    EXPECT_STREQ(c, "007");
    EXPECT_EQ(SaveStr__(nullptr), nullptr);
    char* d = SaveStr_("100%s%n");  // copied, not formatted
    EXPECT_STREQ(d, "100%s%n");
    EXPECT_EQ(SaveStr_(nullptr), nullptr);
    for (char* p : {a, b, c, d})
        PutMem(p);
}

TEST(SaveStr, PiecesOfTextAreCopiedWhole)
{
    const char text[] = "one%stwo";
    char* piece = SaveStr_(std::string_view(text + 3, 2));
    EXPECT_STREQ(piece, "%s");
    PutMem(piece);
    char* inner = SaveStr_(std::string_view("a\0b", 3));
    EXPECT_EQ(std::string(inner, 4), std::string("a\0b\0", 4));
    PutMem(inner);
    char* empty = SaveStr_(std::string_view());
    ASSERT_NE(empty, nullptr);
    EXPECT_STREQ(empty, "");
    PutMem(empty);
    EXPECT_EQ(SaveStr_(static_cast<const char*>(nullptr)), nullptr);
}

TEST(SaveStr, ResultsLargerThanAnyWorkBuffer)
{
    const std::string big(70000, 'q');  // over 65,535 and over 8 KiB
    char* s = SaveStr("<%s>", big.c_str());
    EXPECT_EQ(std::string(s), "<" + big + ">");
    char* t = SaveStr__("%s%d", big.c_str(), 42);
    EXPECT_EQ(std::string(t), big + "42");
    PutMem(s);
    PutMem(t);
}

TEST(SaveStr, StoredTextIsZeroFilledToTheEndOfItsNodes)
{
    // A saved string of length L occupies (L + 2) rounded up to 32 bytes.
    for (int len : {0, 29, 30, 31, 62, 100}) {
        char* s = SaveStr("%s", std::string(static_cast<size_t>(len), 'z').c_str());
        EXPECT_EQ(std::strlen(s), static_cast<size_t>(len));
        for (int i = len; i < (len + 2 + 31) / 32 * 32; ++i)
            ASSERT_EQ(s[i], '\0') << "length " << len << " byte " << i;
        PutMem(s);
    }
}

TEST(SaveStrDeathTest, TextThatCannotBeFormattedEndsTheProcess)
{
    // A wide character the C locale cannot write makes formatting fail;
    // the caller must not get a null or a truncated string.
    my_name = const_cast<char*>("tester");
    EXPECT_EXIT(SaveStr("<%ls>", L"\u0100"), testing::ExitedWithCode(1),
                "^\ntester: Unable to allocate memory : Invalid or incomplete multibyte");
}

TEST(StrStr, GivesTheLeftmostWholeOccurrence)
{
    const char* s = "abcabc";
    EXPECT_EQ(StrStr(s, "ca"), s + 2);
    EXPECT_EQ(StrStr(s, "bc"), s + 1);
    EXPECT_EQ(StrStr(s, "abcabc"), s);
    EXPECT_EQ(StrStr(s, "abcabca"), nullptr);  // runs past the end
    EXPECT_EQ(StrStr(s, "cax"), nullptr);
    EXPECT_EQ(StrStr(s, ""), nullptr);
    EXPECT_EQ(StrStr("", "a"), nullptr);
    EXPECT_EQ(StrStr(nullptr, "a"), nullptr);
    EXPECT_EQ(StrStr(s, nullptr), nullptr);
}

TEST(StrStr, FindsTheFirstRunLongEnough)
{
    // Used and free marks as in an allocation table.
    const std::string table = "UU..U...U....U.....U" + std::string(2000, '.');
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
    EXPECT_EQ(StrCaseStr(s, "LOX"), nullptr);
    const char* r = "aAaaB";
    EXPECT_EQ(StrCaseStr(r, "AAB"), r + 2);
    EXPECT_EQ(StrCaseStr(s, ""), nullptr);
    EXPECT_EQ(StrCaseStr(nullptr, "a"), nullptr);
}

TEST(StrChr, SkipsEscapedCharacters)
{
    const char* s = "a\\,b,c";
    EXPECT_EQ(StrChr(s, ','), s + 4);
    const char* t = "x\\\\,y";  // an escaped backslash does not escape the comma
    EXPECT_EQ(StrChr(t, ','), t + 3);
    EXPECT_EQ(StrChr("a\\b", '\\'), nullptr);
    EXPECT_EQ(StrChr("a\\", 'x'), nullptr);
    EXPECT_EQ(StrChr("abc", '\0'), nullptr);
    EXPECT_EQ(StrChr("", ','), nullptr);
    EXPECT_EQ(StrChr(nullptr, ','), nullptr);
}

TEST(StrNChr, CountsOccurrencesFromOne)
{
    const char* s = "a,b,c";
    EXPECT_EQ(StrNChr(s, ',', 2), s + 3);
    EXPECT_EQ(StrNChr(s, ',', 3), nullptr);
    EXPECT_EQ(StrNChr(s, ',', 0), nullptr);
    const char* e = "a\\,b";  // backslashes escape nothing here
    EXPECT_EQ(StrNChr(e, ',', 1), e + 2);
    EXPECT_EQ(StrNChr(nullptr, ',', 1), nullptr);
}

TEST(StrNStr, CountsOverlappingOccurrences)
{
    const char* s = "aaaa";
    EXPECT_EQ(StrNStr(s, "aa", 1), s);
    EXPECT_EQ(StrNStr(s, "aa", 3), s + 2);
    EXPECT_EQ(StrNStr(s, "aa", 4), nullptr);
    const char* t = "aba";
    EXPECT_EQ(StrNStr(t, "a", 2), t + 2);
    EXPECT_EQ(StrNStr(t, "a", 3), nullptr);  // the second one is the last character
    EXPECT_EQ(StrNStr("", "a", 1), nullptr);
    EXPECT_EQ(StrNStr(t, nullptr, 1), nullptr);
}

TEST(SmallHelpers, LengthAndLarger)
{
    EXPECT_EQ(StrLen("abc"), 3);
    EXPECT_EQ(StrLen(""), 0);
    EXPECT_EQ(StrLen(nullptr), 0);
    EXPECT_EQ(MaxD(1.5, 2.5), 2.5);
    EXPECT_EQ(MaxD(3.0, -3.0), 3.0);
    // Unless the first is greater, the second is given.
    EXPECT_TRUE(std::signbit(MaxD(0.0, -0.0)));
    EXPECT_FALSE(std::signbit(MaxD(-0.0, 0.0)));
}

TEST(SetVarContent, CopiesForwardOrReversed)
{
    const unsigned char src[4] = {1, 2, 3, 4};
    unsigned char dst[5] = {9, 9, 9, 9, 9};
    SetVarContent(dst, src, 4, 1);
    EXPECT_EQ(std::memcmp(dst, "\4\3\2\1\11", 5), 0);
    SetVarContent(dst, src, 4, 0x100);  // only the low byte of the flag counts
    EXPECT_EQ(std::memcmp(dst, "\1\2\3\4\11", 5), 0);
}

TEST(CvtFloatFormat, ConvertsBetweenInchesCentimetresAndPoints)
{
    EXPECT_FLOAT_EQ(CvtFloatFormat(1.0f, 0, 2), 72.0f);
    EXPECT_FLOAT_EQ(CvtFloatFormat(2.54f, 1, 0), 1.0f);
    EXPECT_FLOAT_EQ(CvtFloatFormat(1.0f, 0, 1), 2.54f);
    EXPECT_FLOAT_EQ(CvtFloatFormat(144.0f, 2, 0), 2.0f);
    EXPECT_FLOAT_EQ(CvtFloatFormat(36.0f, 2, 1), 1.27f);
    EXPECT_FLOAT_EQ(CvtFloatFormat(2.54f, 1, 2), 72.0f);
    for (int unit = 0; unit < 3; ++unit)
        EXPECT_EQ(CvtFloatFormat(3.3f, unit, unit), 3.3f);
    EXPECT_EQ(CvtFloatFormat(3.3f, 3, 0), 3.3f);
}

TEST(TextCleanUp, StripsBackslashesAndControlCharacters)
{
    char a[] = "a\\,b\\\\c\\";
    EXPECT_EQ(StripAllBackslashes(a), a);
    EXPECT_STREQ(a, "a,bc");
    char b[] = "\tName: v1.2,\n x\r\x7f\x01!";
    EXPECT_STREQ(StripNonPrint(b, 0), "Name: v1.2, x!");
    char c[] = "one\r\ntwo\tthree\n";
    EXPECT_STREQ(StripNonPrint(c, 1), "one\r\ntwothree\n");
    char d[] = "Gr\xc3\xbc\xc3\x9f" "e\x1b[0m";
    EXPECT_STREQ(StripNonPrint(d, 0), "Gr\xc3\xbc\xc3\x9f" "e[0m");
    EXPECT_EQ(StripNonPrint(nullptr, 0), nullptr);
    EXPECT_EQ(StripAllBackslashes(nullptr), nullptr);
}

}  // namespace
