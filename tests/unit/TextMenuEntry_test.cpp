#include "TextMenu.h"
#include "NlsUtils.h"
#include "textmenu_fixture.h"

#include <string>

namespace {

const std::string Continue = "\nPress <Return> to continue ";

struct Checked {
    int code;
    std::string shown;  // the message, without the request for Return
};

Checked Check(const std::string& entry, const char* format)
{
    int code = -1;
    std::string shown = Dialogue("\n", [&] { code = ValidateEntry(entry.c_str(), format); });
    if (shown.size() >= Continue.size() && shown.ends_with(Continue))
        shown.resize(shown.size() - Continue.size());
    return {code, shown};
}

#define EXPECT_VERDICT(entry, format, expectedCode, expectedText) \
    do {                                                          \
        const Checked c = Check(entry, format);                   \
        EXPECT_EQ(c.code, expectedCode) << (entry) << " " << (format); \
        EXPECT_EQ(c.shown, expectedText) << (entry) << " " << (format); \
    } while (0)

TEST(EntryFormat, Numbers)
{
    EXPECT_VERDICT("5", "d(1,9)", 0, "");
    EXPECT_VERDICT("10", "d(1,9)", 1, "This number must be between 1 to 9.");
    EXPECT_VERDICT("1a", "d(1,9)", 3, "Invalid digit:  a\n");
    EXPECT_VERDICT("123456789012", "d(0,0)", 0, "");
    EXPECT_VERDICT("105", "d(1,999)-0", 3, "Invalid digit:  0\n");
    EXPECT_VERDICT("15", "d(1,999)-0", 0, "");
    EXPECT_VERDICT("1.25", "f(0.5,2)", 0, "");
    EXPECT_VERDICT("1.2.5", "f(0.5,2)", 1, "Only one '.' may be entered.");
    EXPECT_VERDICT("3", "f(0.5,2)", 1, "This number must be between 0.500000 to 2.000000.");
    EXPECT_VERDICT("1,5", "f(0.5,2)", 3,
                   "Invalid character ','\nThis text may contain \"0123456789.\"");
    EXPECT_VERDICT("ff", "x(0,255)", 0, "");
    EXPECT_VERDICT("1ff", "x(0,255)", 1, "This number must be between 0 to ff.");
    EXPECT_VERDICT("12", "D(1,100)", 0, "");
    EXPECT_VERDICT("1000", "D(1,100)", 1, "This number must be between 1 to 100.");
    EXPECT_VERDICT("1e3", "D(1,100)", 3, "Invalid character 'e'\nThis text may contain \"0123456789.\"");
    // A number term's failure is reported whatever alternative follows.
    EXPECT_VERDICT("55", "a(1,8)|d(1,9)", 1, "This number must be between 1 to 9.");
    EXPECT_VERDICT("5", "a(1,8)|d(1,9)", 0, "");
    EXPECT_VERDICT("abc", "a(1,8)|d(1,9)", 0, "");
}

TEST(EntryFormat, CharactersAndLengths)
{
    EXPECT_VERDICT("abcde", "A(2,4)", 2, "This text length must be from 2 to 4 characters long.");
    EXPECT_VERDICT("ab-c", "A(2,4)", 3,
                   "Invalid character '-'\nThis text may contain \"abc..zABC..Z012..9\"");
    EXPECT_VERDICT("ab-c", "A(2,4)+-", 0, "");
    EXPECT_VERDICT("a1", "a(1,4)+_+.", 3,
                   "Invalid character '1'\nThis text may contain \"abc..zABC..Z_.\"");
    EXPECT_VERDICT("a b!", "p(1,9)", 0, "");
    EXPECT_VERDICT("ab", "p(1,9)-b", 3,
                   "Invalid character 'b'\nThis text may contain \"abc..zABC..Z012..9\"");
    EXPECT_VERDICT("abc", "L(4,4)", 2, "This text must be exactly 4 characters long.");
    EXPECT_VERDICT("abcd", "t(4,4)", 0, "");
    EXPECT_VERDICT(std::string(600, 'a'), "A(1,0)", 0, "");
    EXPECT_VERDICT("x", "A(2,4)|L(1,1)", 0, "");
    EXPECT_VERDICT("ab", "A(1,9)&L(3,5)", 2, "This text length must be from 3 to 5 characters long.");
}

TEST(EntryFormat, WordsAndLiterals)
{
    EXPECT_VERDICT("root", "!(root)", 4, "Invalid entry \"root\"");
    EXPECT_VERDICT("roots", "!(root)", 0, "");
    EXPECT_VERDICT("a|b", "!(a|b)", 4, "Invalid entry \"a|b\"");
    EXPECT_VERDICT("root", "t[root)", 4, "Invalid entry \"root\"");
    const char* path = "/A(1,255)+-+_+/";
    EXPECT_VERDICT("/tmp/my-set_1", path, 0, "");
    EXPECT_VERDICT("tmp/x", path, 3, "");
    EXPECT_VERDICT("/tmp/a.b", path, 3,
                   "Invalid character '.'\nThis text may contain \"abc..zABC..Z012..9-_/\"");
    EXPECT_VERDICT("12-x", "12:", 3, "Invalid character -\n: was expected after \"12\"");
    EXPECT_VERDICT("anything", nullptr, 0, "");
    EXPECT_VERDICT("anything", "", 0, "");
    // The text matched so far is bounded, whatever the entry's length.
    const std::string longEntry = "/" + std::string(4000, '9');
    const std::string literals = "/" + std::string(600, '9') + ":";
    const Checked c = Check(longEntry, literals.c_str());
    EXPECT_EQ(c.code, 3);
    EXPECT_EQ(c.shown, "Invalid character 9\n: was expected after \"/" + std::string(510, '9') + "\"");
    EXPECT_VERDICT(longEntry, "A(1,4095)+/", 0, "");
}

TEST(EntryFormat, DigitCodes)
{
    int min = 0;
    EXPECT_EQ(getMinMax("(4,6)", &min), 6);
    EXPECT_EQ(min, 4);
    EXPECT_EQ(getMinMax("12-30", &min), 30);
    EXPECT_EQ(min, 12);
    UseShippedCatalogue();
    EXPECT_EQ(ValidateEntryLen("1234", nullptr), nullptr);
    EXPECT_STREQ(ValidateEntryLen("12", nullptr), "This text must be exactly 4 characters long.");
    EXPECT_EQ(ValidateEntryLen("1234567", "(4,8)"), nullptr);
    EXPECT_STREQ(ValidateEntryLen(nullptr, "(1,3)"),
                 "This text length must be from 1 to 3 characters long.");
    EXPECT_EQ(ValidateEntryDigit("0123"), 0);
    EXPECT_EQ(ValidateEntryDigit("12x4"), 'x');
    EXPECT_EQ(ValidateEntryDigit(""), 0);

    int code = -1;
    EXPECT_EQ(Dialogue("\n", [&] { code = ValidateEntryTty("12345", "(4,6)"); }), "");
    EXPECT_EQ(code, 0);
    EXPECT_EQ(Dialogue("\n", [&] { code = ValidateEntryTty("123", "(4,6)"); }),
              "This text length must be from 4 to 6 characters long." + Continue);
    EXPECT_EQ(code, 2);
    EXPECT_EQ(Dialogue("\n", [&] { code = ValidateEntryTty("12a4", "(4,6)"); }),
              "Invalid digit:  a\n" + Continue);
    EXPECT_EQ(code, 3);
}

}  // namespace
