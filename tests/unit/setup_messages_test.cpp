// The installer's message tables and its two language choices.
//
// The message table and the agreement language are chosen once per process,
// so every test that goes through nlsSetupStrCvt or GetTargetNLSLang runs
// in a child process (EXPECT_EXIT); this process never calls them.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <sstream>
#include <string>
#include <vector>

#include "MemMgr.h"
#include "SetupMessages.h"

namespace {

struct Table {
    const char* language;
    const char* const* rows;
};

const Table Translations[] = {
    {"Spanish", NLS_SPANISH}, {"Italian", NLS_ITALIAN},       {"French", NLS_FRENCH},
    {"German", NLS_GERMAN},   {"Portuguese", NLS_PORTUGUESE},
};

// The printf conversions of a text in order, each as written ("%s", "%e",
// "%5.2f", ...); "%%" is no conversion.
std::vector<std::string> Conversions(const char* text)
{
    std::vector<std::string> found;
    for (std::size_t i = 0; text[i] != '\0'; ++i) {
        if (text[i] != '%')
            continue;
        if (text[i + 1] == '%') {
            ++i;
            continue;
        }
        // Flags, width, precision and length, then the conversion character.
        std::size_t end = i + 1 + std::strspn(text + i + 1, "-+ #0'123456789.*hlLqjzt");
        if (text[end] != '\0')
            ++end;
        found.emplace_back(text + i, end - i);
        i = end - 1;
    }
    return found;
}

std::string LeadingSpace(const char* text)
{
    return std::string(text, std::strspn(text, " \t\n"));
}

std::string TrailingSpace(const char* text)
{
    std::size_t end = std::strlen(text);
    std::size_t start = end;
    while (start > 0 && std::strchr(" \t\n", text[start - 1]) != nullptr)
        --start;
    return std::string(text + start, end - start);
}

bool IsValidUtf8(const char* text)
{
    std::setlocale(LC_CTYPE, "C.UTF-8");
    std::mbstate_t state{};
    const char* end = text + std::strlen(text);
    for (const char* p = text; p < end;) {
        wchar_t wide;
        const std::size_t used = std::mbrtowc(&wide, p, end - p, &state);
        if (used == static_cast<std::size_t>(-1) || used == static_cast<std::size_t>(-2))
            return false;
        p += used;
    }
    return true;
}

// The agreement language for a LANG value, as a std::string.
std::string TargetFor(const char* lang)
{
    char* code = TargetNLSLangFor(lang);
    std::string result = code != nullptr ? code : "(null)";
    PutMem(code);
    return result;
}

}  // namespace

TEST(SetupTables, TranslationsCarryTheEnglishConversionsInOrder)
{
    ASSERT_EQ(Conversions("%s at %5.2f%% of %e, %i"),
              (std::vector<std::string>{"%s", "%5.2f", "%e", "%i"}));
    for (const Table& table : Translations) {
        for (int i = 0; i < SETUP_MSG_COUNT; ++i) {
            SCOPED_TRACE(std::string(table.language) + " message " + std::to_string(i));
            ASSERT_NE(table.rows[i], nullptr);
            EXPECT_EQ(Conversions(table.rows[i]), Conversions(NLS_ENGLISH[i]));
        }
    }
}

TEST(SetupTables, TranslationsKeepLayoutKeysAndChoiceLists)
{
    // Rows the suite's tools pass on as they are, never translated.
    const int fixedRows[] = {15, 16, 28, 45, 57, 58};
    // Questions handed to the yes/no prompt, which adds "? [y/n] " itself.
    const int promptRows[] = {8, 9, 38, 54};
    // Choice lists: one label per comma-separated item.
    const int listRows[] = {40, 41, 46, 47, 48, 50};
    for (const Table& table : Translations) {
        for (int i = 0; i < SETUP_MSG_COUNT; ++i) {
            SCOPED_TRACE(std::string(table.language) + " message " + std::to_string(i));
            const char* english = NLS_ENGLISH[i];
            const char* row = table.rows[i];
            EXPECT_TRUE(IsValidUtf8(row));
            EXPECT_EQ(LeadingSpace(row), LeadingSpace(english));
            EXPECT_EQ(TrailingSpace(row), TrailingSpace(english));
            const bool fixed = std::find(std::begin(fixedRows), std::end(fixedRows), i)
                               != std::end(fixedRows);
            if (fixed)
                EXPECT_STREQ(row, english);
            else
                EXPECT_STRNE(row, english) << "left untranslated";
        }
        // Help menu labels keep their letter key: "~e ", "~c ", "~b ".
        for (int i = 0; i <= 2; ++i)
            EXPECT_EQ(std::string(table.rows[i], 3), std::string(NLS_ENGLISH[i], 3));
        // The running-program question is answered with "1" or "2".
        EXPECT_EQ(std::string(table.rows[68], 4), "1.  ");
        EXPECT_EQ(std::string(table.rows[69], 4), "2.  ");
        for (int i : promptRows) {
            const std::string row = table.rows[i];
            EXPECT_NE(row.back(), '?') << table.language << " message " << i;
        }
        for (int i : listRows) {
            const std::string row = table.rows[i];
            const std::string english = NLS_ENGLISH[i];
            EXPECT_EQ(std::count(row.begin(), row.end(), ','),
                      std::count(english.begin(), english.end(), ','))
                << table.language << " message " << i;
        }
    }
}

TEST(SetupTables, LangPicksOnlyTheSixExactCodes)
{
    EXPECT_EQ(SetupTableFor("es_ES.ISO8859-1"), NLS_SPANISH);
    EXPECT_EQ(SetupTableFor("it_IT"), NLS_ITALIAN);
    EXPECT_EQ(SetupTableFor("fr_FR.UTF-8"), NLS_FRENCH);
    EXPECT_EQ(SetupTableFor("ge_GE"), NLS_GERMAN);
    EXPECT_EQ(SetupTableFor("pr_BR"), NLS_PORTUGUESE);  // last code, no comma after it
    EXPECT_EQ(SetupTableFor("en_US"), NLS_ENGLISH);
    for (const char* other : {"de_DE", "fr_CA", "pt_BR", "es", "ES_ES", "es_ES_x", "", ".es_ES"})
        EXPECT_EQ(SetupTableFor(other), NLS_ENGLISH) << other;
    EXPECT_EQ(SetupTableFor(nullptr), NLS_ENGLISH);
}

TEST(SetupTables, FirstMessageFixesTheTableAndCutsTheCodesetOffLang)
{
    EXPECT_EXIT(
        {
            setenv("LANG", "es_ES.ISO8859-1", 1);
            bool ok = nlsSetupStrCvt(49) == NLS_SPANISH[49];
            // The commands started from now on see the bare code.
            ok = ok && std::strcmp(getenv("LANG"), "es_ES") == 0;
            setenv("LANG", "ge_GE.UTF-8", 1);
            ok = ok && nlsSetupStrCvt(3) == NLS_SPANISH[3];
            // Only the first message touches LANG.
            ok = ok && std::strcmp(getenv("LANG"), "ge_GE.UTF-8") == 0;
            std::exit(ok ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
    EXPECT_EXIT(
        {
            setenv("LANG", "de_DE", 1);
            bool ok = nlsSetupStrCvt(70) == NLS_ENGLISH[70];
            ok = ok && std::strcmp(getenv("LANG"), "de_DE") == 0;
            std::exit(ok ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
    EXPECT_EXIT(
        {
            unsetenv("LANG");
            const bool ok = nlsSetupStrCvt(0) == NLS_ENGLISH[0];
            std::exit(ok ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

TEST(SetupTables, IndexOutsideTheTableGivesAnEmptyTextAndAWarning)
{
    EXPECT_EXIT(
        {
            unsetenv("LANG");
            const bool ok = *nlsSetupStrCvt(SETUP_MSG_COUNT) == '\0'
                            && *nlsSetupStrCvt(-1) == '\0'
                            && nlsSetupStrCvt(SETUP_MSG_COUNT - 1)
                                   == NLS_ENGLISH[SETUP_MSG_COUNT - 1];
            std::exit(ok ? 0 : 1);
        },
        testing::ExitedWithCode(0), "WARNING: there is no setup message 74");
}

TEST(AgreementLanguage, AliasesMapToTheCodeOfTheirLine)
{
    EXPECT_EQ(TargetFor("de_AT"), "ge_GE");
    EXPECT_EQ(TargetFor("de_CH.UTF-8"), "ge_GE");
    EXPECT_EQ(TargetFor("pt_PT"), "pr_BR");
    EXPECT_EQ(TargetFor("en_GB"), "en_US");  // continuation line
    EXPECT_EQ(TargetFor("en_ZW"), "en_US");  // last word of the continuation line
    EXPECT_EQ(TargetFor("sv_FI"), "fi_FI");  // first occurrence wins
    EXPECT_EQ(TargetFor("sv_SE"), "sv_SE");
    EXPECT_EQ(TargetFor("es_ES.ISO8859-1"), "es_ES");
    EXPECT_EQ(TargetFor("français"), "fr_FR");
    EXPECT_EQ(TargetFor("nb_NO"), "no_NO");  // an alias before the line's own code
    EXPECT_EQ(TargetFor("da_DK"), "da_DK");
    EXPECT_EQ(TargetFor("danish"), "da_DK");
}

TEST(AgreementLanguage, UnknownOrMissingLangGivesEnglish)
{
    EXPECT_EQ(TargetFor(nullptr), "en_US");
    EXPECT_EQ(TargetFor("xx_XX"), "en_US");
    EXPECT_EQ(TargetFor(""), "en_US");
    EXPECT_EQ(TargetFor(".UTF-8"), "en_US");
    EXPECT_EQ(TargetFor("DE_AT"), "en_US");  // case matters
    EXPECT_EQ(TargetFor(std::string(5000, 'a').c_str()), "en_US");
    // An occurrence within 8 characters of the table's end starts the scan
    // past its last character.
    EXPECT_EQ(TargetFor("dansk"), "en_US");
    EXPECT_EQ(TargetFor("ansk"), "en_US");
}

// Every word of the table, looked up, names the code heading the line of its
// first occurrence (or of the line above a continuation line); only the last
// word, too close to the end, gives English.
TEST(AgreementLanguage, EveryWordOfTheTableResolvesToItsLine)
{
    std::vector<std::string> lines;
    std::istringstream table(pTransBuf);
    for (std::string line; std::getline(table, line);)
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 17u);
    ASSERT_EQ(pTransBuf[std::strlen(pTransBuf) - 1], '\n');

    auto codeOfLine = [&](std::size_t n) {
        while (lines[n].find(" = ") == std::string::npos)
            --n;
        return lines[n].substr(0, lines[n].find(' '));
    };
    const std::string text = pTransBuf;
    for (const std::string& line : lines) {
        std::istringstream words(line);
        for (std::string word; words >> word;) {
            if (word == "=")
                continue;
            const std::size_t at = text.find(word);
            const std::size_t lineNo = std::count(text.begin(), text.begin() + at, '\n');
            const bool nearTheEnd = at + 8 >= text.size();
            EXPECT_EQ(TargetFor(word.c_str()), nearTheEnd ? "en_US" : codeOfLine(lineNo)) << word;
        }
    }
}

TEST(AgreementLanguage, FirstCallFixesTheLanguage)
{
    EXPECT_EXIT(
        {
            setenv("LANG", "de_AT", 1);
            const char* first = GetTargetNLSLang();
            setenv("LANG", "ru_RU", 1);
            const bool ok = std::strcmp(first, "ge_GE") == 0 && GetTargetNLSLang() == first;
            std::exit(ok ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
    EXPECT_EXIT(
        {
            unsetenv("LANG");
            std::exit(std::strcmp(GetTargetNLSLang(), "en_US") == 0 ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
    // LANG names the German agreement but English messages.
    EXPECT_EXIT(
        {
            setenv("LANG", "de_DE", 1);
            const bool ok = std::strcmp(GetTargetNLSLang(), "ge_GE") == 0
                            && nlsSetupStrCvt(63) == NLS_ENGLISH[63];
            std::exit(ok ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}
