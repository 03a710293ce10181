// Message catalogue: the translation table and the language choice, fetches
// from compiled message databases, redirects, the localised conversions,
// and the shipped catalogue itself.
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "Dbm.h"
#include "MemMgr.h"
#include "NlsUtils.h"
#include "TextMenu.h"
#include "nls_fixture.h"

namespace {

std::string Normalized(const std::string& text)
{
    char out[NLS_TABLE_SIZE];
    NormalizeTransTable(text.c_str(), static_cast<int>(text.size()), out, sizeof out);
    return out;
}

std::string Lookup(const std::string& table, const char* lang)
{
    char buf[TOKEN_BUF_SIZE];
    return LookupTransLang(table.c_str(), lang, buf, sizeof buf);
}

// The language a process chooses with this tool directory and LANG (null: unset).
std::string ChosenLanguage(const std::string& toolDir, const char* lang)
{
    return InChild([&] {
        SetToolPath(toolDir);
        if (lang)
            setenv("LANG", lang, 1);
        else
            unsetenv("LANG");
        return std::string(GetDesiredNLSLang());
    });
}

// ---- translation table ----

TEST(NlsTransTable, NormalizesWordsLinesAndDefault)
{
    EXPECT_EQ(Normalized("Default en_US\nen_US = en en_US POSIX\n"),
              "Default en_US \nen_US = en en_US POSIX \n");
    // The word behind Default closes its line even when more follow; white
    // space and comments disappear; "=" inside a word stays part of it.
    EXPECT_EQ(Normalized("# head\n\tDefault  de_DE more\nde_DE=x =  de\t de_AT"),
              "Default de_DE \nmore \nde_DE=x = de de_AT ");
    // A continued alias list keeps the continuation's words on the same line.
    EXPECT_EQ(Normalized("de_DE = de\n  de_AT de_CH\n"), "de_DE = de \nde_AT de_CH \n");
    EXPECT_EQ(Normalized(""), "");
    EXPECT_EQ(Normalized("# only a comment"), "");
}

TEST(NlsTransTable, CommentBehindWordsEndsItsLine)
{
    // Without the line end the next line's aliases would be filed under es_ES.
    const std::string table = Normalized("es_ES = es # Spanish\npt_BR = pt\n");
    EXPECT_EQ(table, "es_ES = es \npt_BR = pt \n");
    EXPECT_EQ(Lookup(table, "pt"), "pt_BR");
    // A comment behind "=" leaves the list open, as a line end there does.
    EXPECT_EQ(Normalized("it_IT = # list follows\n it it_CH\n"), "it_IT = it it_CH \n");
    // Lines ended by CR LF stay apart as well.
    EXPECT_EQ(Normalized("es_ES = es\r\npt_BR = pt\r\n"), "es_ES = es \npt_BR = pt \n");
}

TEST(NlsTransTable, OverlongTableIsCutAfterAWholeWord)
{
    std::string text = "Default en_US\nen_US =";
    for (int i = 0; i < 3000; ++i)
        text += " alias" + std::to_string(i);
    const std::string table = Normalized(text);
    ASSERT_LT(table.size(), static_cast<size_t>(NLS_TABLE_SIZE));
    EXPECT_GT(table.size(), static_cast<size_t>(NLS_TABLE_SIZE) - 16);
    EXPECT_EQ(table.back(), ' ');
    EXPECT_NE(table.find(" alias1 "), std::string::npos);
    // A small output is filled as far as whole words go, never past its end.
    char small[10];
    EXPECT_EQ(NormalizeTransTable("abcd efgh ijkl", 14, small, sizeof small), 5);
    EXPECT_STREQ(small, "abcd ");
}

TEST(NlsTransTable, LooksUpAliasesAsWordsOfAliasLists)
{
    const std::string table = Normalized("Default fr_FR\n"
                                         "de_DE = de de_DE\n"
                                         "   de_AT de_CH\n"
                                         "it_IT = it\n");
    EXPECT_EQ(Lookup(table, "de_DE.UTF-8"), "de_DE");
    EXPECT_EQ(Lookup(table, "de"), "de_DE");
    EXPECT_EQ(Lookup(table, "de_CH"), "de_DE");  // continuation line, not its first word
    EXPECT_EQ(Lookup(table, "de_AT"), "fr_FR");  // first word of a line never matches
    EXPECT_EQ(Lookup(table, "it_IT"), "fr_FR");  // a name that only heads its line
    EXPECT_EQ(Lookup(table, nullptr), "fr_FR");
    EXPECT_EQ(Lookup(table, "xx"), "fr_FR");
    EXPECT_EQ(Lookup("de_DE = de \n", "xx"), "en_US");  // no default at all
    EXPECT_EQ(Lookup("Default \nde_DE = de \n", "xx"), "en_US");
}

// ---- language choice ----

TEST(NlsLanguage, ShippedTableMapsUsualLocaleNames)
{
    const struct {
        const char* lang;
        const char* dir;
    } cases[] = {
        {"de_DE.UTF-8", "de_DE"}, {"de", "de_DE"},           {"de_AT@euro", "de_DE"},
        {"fr_CA.ISO8859-1", "fr_FR"}, {"es_MX.UTF-8", "es_ES"}, {"it", "it_IT"},
        {"pt_PT", "pt_BR"},       {"en_US.UTF-8", "en_US"},   {"C.UTF-8", "en_US"},
        {"POSIX", "en_US"},       {"xx_YY", "en_US"},         {nullptr, "en_US"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ChosenLanguage(BuildRoot, c.lang), c.dir) << (c.lang ? c.lang : "LANG unset");
}

TEST(NlsLanguage, ChosenOncePerProcess)
{
    const std::string result = InChild([] {
        SetToolPath(BuildRoot);
        setenv("LANG", "it_IT.UTF-8", 1);
        char* first = GetDesiredNLSLang();
        setenv("LANG", "de", 1);
        return std::string(first == GetDesiredNLSLang() ? first : "another pointer");
    });
    EXPECT_EQ(result, "it_IT");
}

using NlsFallback = NlsScratch;

TEST_F(NlsFallback, TableOfTheEnglishDatabaseStandsInForTransConf)
{
    Database("en_US/CoreString", "999_1 \"Default it_IT \\nde_DE = de \\n\"\n");
    EXPECT_EQ(ChosenLanguage(dir, "de"), "de_DE");
    EXPECT_EQ(ChosenLanguage(dir, nullptr), "it_IT");
    // A trans.conf without words does not count as a table either.
    Write("trans.conf", "# nothing yet\n");
    EXPECT_EQ(ChosenLanguage(dir, "de"), "de_DE");
    const std::string opened = InChild([&] {
        SetToolPath(dir);
        GetDesiredNLSLang();
        return std::string(pDrvCoreDB && pDrvCoreDB->Type == DBT_TAGGED ? "opened" : "not opened");
    });
    EXPECT_EQ(opened, "opened");
}

TEST_F(NlsFallback, EnglishWithoutTableOrMessage)
{
    EXPECT_EQ(ChosenLanguage(dir, "de"), "en_US");
    Database("en_US/CoreString", "25_1 \"no table here\"\n");
    EXPECT_EQ(ChosenLanguage(dir, "de"), "en_US");
}

TEST_F(NlsFallback, OpeningReportsOnlyAMissingEnglishDatabase)
{
    Write("trans.conf", "Default en_US\nde_DE = de\n");
    const std::string german = InChild([&] {
        SetToolPath(dir);
        setenv("LANG", "de", 1);
        DbTHandle* h = NlsOpenDB("CoreString", 0);
        char* text = NlsFetchString(h, nullptr, NLS_MODE_NUMBER, 25, 1001);
        return std::string(h ? "handle " : "none ") + text;
    });
    EXPECT_EQ(german, "handle 25_1001");

    EXPECT_EXIT(
        {
            SetToolPath(dir);
            setenv("LANG", "en_US.UTF-8", 1);
            _exit(NlsOpenDB("CoreString", 0) == nullptr ? 0 : 1);
        },
        testing::ExitedWithCode(0),
        "ERROR:  Could not open English database:  .*/db/en_US/CoreString\\.qdb\n");
}

// ---- fetching ----

class NlsFetch : public NlsScratch {
protected:
    void SetUp() override
    {
        NlsScratch::SetUp();
        english = DbTOpen((BuildRoot + "/db/en_US/CoreString.qdb").c_str(), 0);
        long5000 = std::string(4990, 'x') + "0123456789";
        test = DbTOpen(Database("Test", "30_1 \"First\"\n"
                                        "30_2 \"Second\"\n"
                                        "25_7 \"" + long5000 + "\"\n"
                                        "25_8 \"see $$Other.Redirect now\"\n"
                                        "Other \"the other text\"\n"
                                        "31_1 \"Zur\xc3\xbc" "ck\"\n"
                                        "\"a key\" \"by its text\"\n")
                           .c_str(),
                       0);
        ASSERT_NE(english, nullptr);
        ASSERT_NE(test, nullptr);
    }

    void TearDown() override
    {
        DbTClose(english);
        DbTClose(test);
        pDrvCoreDB = nullptr;
        pPrtHelpDB = nullptr;
        NlsScratch::TearDown();
    }

    // A fetched string as text, given back when it is a new one.
    std::string Take(char* text)
    {
        std::string s = text ? text : "<null>";
        if (text && !NlsIsErrorText(text))
            PutMem(text);
        return s;
    }

    DbTHandle* english = nullptr;
    DbTHandle* test = nullptr;
    std::string long5000;
};

TEST_F(NlsFetch, ModesByNumberAndByKey)
{
    EXPECT_EQ(Take(NlsFetchString(english, nullptr, 0, 25, 1017)), "\nDo you want to return to %s menu");
    EXPECT_EQ(Take(NlsFetchString(english, nullptr, 0, 25, 9999)), "25_9999");
    EXPECT_EQ(Take(NlsFetchString(english, nullptr, 3, 20, 151)), "~c Contents");
    EXPECT_EQ(Take(NlsFetchString(test, nullptr, 1, "a key")), "by its text");
    EXPECT_EQ(Take(NlsFetchString(test, nullptr, 2, "30_2")), "Second");
    // A missing text key comes back as the caller's own string.
    const char* key = "no such key";
    EXPECT_EQ(NlsFetchString(test, nullptr, 1, key), key);

    char buf[NLS_FETCH_SIZE];
    EXPECT_EQ(NlsFetchString(test, buf, 0, 30, 1), buf);
    EXPECT_STREQ(buf, "First");
    // Missing: the key lands in the buffer too, but the answer is not the
    // buffer: a new string in the numeric modes, the caller's key otherwise.
    char* missing = NlsFetchString(test, buf, 0, 30, 3);
    EXPECT_NE(missing, buf);
    EXPECT_STREQ(buf, "30_3");
    EXPECT_EQ(Take(missing), "30_3");
    EXPECT_EQ(NlsFetchString(test, buf, 1, key), key);
    EXPECT_STREQ(buf, key);
}

TEST_F(NlsFetch, FailuresGiveTheSharedErrorText)
{
    char* error = NlsFetchString(nullptr, nullptr, 1, "30_1");
    EXPECT_STREQ(error, "Error");
    EXPECT_TRUE(NlsIsErrorText(error));
    EXPECT_EQ(NlsFetchString(test, nullptr, 0, 0, 1), error);
    EXPECT_EQ(NlsFetchString(test, nullptr, 3, 30, 0), error);
    EXPECT_EQ(NlsFetchString(test, nullptr, 4, 30, 1), error);
    EXPECT_EQ(NlsFetchString(test, nullptr, 1, static_cast<const char*>(nullptr)), error);
    // Given back by mistake, it stays valid.
    PutMem(error);
    EXPECT_STREQ(NlsFetchString(nullptr, nullptr, 2, "x"), "Error");
    // Without a handle a numeric key can still be formed: the key comes back.
    EXPECT_EQ(Take(NlsFetchString(nullptr, nullptr, 0, 30, 1)), "30_1");
}

TEST_F(NlsFetch, LongMessagesWholeInMode3AndCutOtherwise)
{
    EXPECT_EQ(Take(NlsFetchString(test, nullptr, 3, 25, 7)), long5000);
    EXPECT_EQ(Take(NlsFetchString(test, nullptr, 0, 25, 7)), long5000.substr(0, NLS_FETCH_SIZE - 1));
    std::vector<char> buf(NLS_FETCH_SIZE, '#');
    NlsFetchString(test, buf.data(), 0, 25, 7);
    EXPECT_EQ(std::string(buf.data()), long5000.substr(0, NLS_FETCH_SIZE - 1));
    EXPECT_EQ(Take(NlsFetchString(test, nullptr, 3, 30, 2)), "Second");
}

TEST_F(NlsFetch, Redirects)
{
    char text[NLS_FETCH_SIZE] = "see $$Other.REDIRECT now";
    EXPECT_STREQ(FindRedirect(text), "Other");
    EXPECT_STREQ(text, "see $$Other");
    char twoDots[] = "see $$Other.txt.redirect";
    EXPECT_EQ(FindRedirect(twoDots), nullptr);
    EXPECT_STREQ(twoDots, "see $$Other.txt.redirect");
    char plain[] = "no redirect.redirect";
    EXPECT_EQ(FindRedirect(plain), nullptr);

    pPrtHelpDB = test;
    NlsFetchString(test, text, 0, 25, 8);
    EXPECT_STREQ(CheckForRedirect(text), "Other");
    EXPECT_STREQ(text, "the other text");
    snprintf(text, sizeof text, "$$Missing.redirect");
    EXPECT_STREQ(CheckForRedirect(text), "Missing");
    EXPECT_STREQ(text, "Missing");
    snprintf(text, sizeof text, "$$%s.redirect", std::string(100, 'n').c_str());
    EXPECT_EQ(std::string(CheckForRedirect(text)), std::string(NLS_REDIRECT_SIZE - 1, 'n'));
    snprintf(text, sizeof text, "nothing to follow");
    EXPECT_EQ(CheckForRedirect(text), nullptr);
}

// ---- conversions ----

std::string Printed(DbTHandle* h, int set, int number, const char* arg1, int arg2)
{
    char* out = nullptr;
    size_t size = 0;
    FILE* stream = open_memstream(&out, &size);
    Nlsfprintf(stream, h, set, number, arg1, arg2);
    fclose(stream);
    std::string s(out, size);
    free(out);
    return s;
}

TEST_F(NlsFetch, PrintfConveniences)
{
    EXPECT_EQ(Printed(english, 25, 1018, "setup", 0), "\nDo you want to exit setup");
    EXPECT_EQ(Printed(english, 25, 9999, "unused", 0), "Error");
    EXPECT_EQ(Printed(nullptr, 25, 1018, "unused", 0), "Error");

    char buf[128];
    EXPECT_EQ(Nlssprintf(buf, english, 30, 42, 2, 4), buf);
    EXPECT_STREQ(buf, "This text length must be from 2 to 4 characters long.");
    EXPECT_STREQ(Nlssprintf(buf, english, 30, 9999, 2, 4), "Error");
    EXPECT_STREQ(Nlssprintf(NlsBuf, english, 30, 44, 8), "This text must be exactly 8 characters long.");
    EXPECT_STREQ(Nlssnprintf(buf, 20, english, 25, 1003, 1, 9), "This number must be");
    EXPECT_STREQ(Nlssnprintf(buf, 4, english, 25, 9999), "Err");
}

TEST_F(NlsFetch, TemplatesAreFilledFromTheSet)
{
    pDrvCoreDB = test;
    char out[64];
    EXPECT_STREQ(NlsGuiStrCvt("%s: %s", 30, out, sizeof out), "First: Second");
    EXPECT_STREQ(NlsGuiStrCvt("[%s|%s|%s]", 30, out, sizeof out), "[First|Second|30_3]");
    EXPECT_STREQ(NlsGuiStrCvt("no holes, 100%", 30, out, sizeof out), "no holes, 100%");
    char small[8];
    EXPECT_STREQ(NlsGuiStrCvt("%s: %s", 30, small, sizeof small), "First: ");
    // Cut texts keep whole UTF-8 characters.
    EXPECT_STREQ(NlsGuiStrCvt("%s", 31, small, 6), "Zur\xc3\xbc");
    EXPECT_STREQ(NlsGuiStrCvt("%s", 31, small, 5), "Zur");
    EXPECT_STREQ(Nlssnprintf(small, 5, test, 31, 1), "Zur");
    pDrvCoreDB = nullptr;
    EXPECT_STREQ(NlsGuiStrCvt("%s", 30, out, sizeof out), "30_1");
}

TEST_F(NlsFetch, ItemRunsFillExactlyCountItems)
{
    pDrvCoreDB = english;
    TextMenuItem items[4] = {};
    items[3].label = "untouched";
    NlsTtyMenuItemCvt(items, 230, 3);
    EXPECT_STREQ(items[0].label, " or s for store settings in a file");
    EXPECT_STREQ(items[1].label, " or h for help");
    EXPECT_STREQ(items[2].label, " or <Return> to exit");
    EXPECT_STREQ(items[3].label, "untouched");
    NlsTtyMenuItemStateCvt(items, 270, 2);
    EXPECT_STREQ(items[0].choices, " [");
    EXPECT_STREQ(items[1].choices, "1 (default)");
    NlsTtyMenuItemPromptCvt(items + 1, 1017, 2);
    EXPECT_STREQ(items[1].prompt, "\nDo you want to return to %s menu");
    EXPECT_STREQ(items[2].prompt, "\nDo you want to exit %s");
    EXPECT_EQ(items[0].prompt, nullptr);
    NlsTtyMenuItemCvt(items + 3, 230, 0);
    EXPECT_STREQ(items[3].label, "untouched");

    char* text = nullptr;
    NlsTtyMenuCvt(&text, 1016);
    EXPECT_STREQ(text, "unexpected end of input");
    PutMem(text);

    // A text over the work buffer is cut to 127 bytes.
    pDrvCoreDB = test;
    NlsTtyMenuItemCvt(items, 7, 1);
    EXPECT_EQ(std::string(items[0].label), long5000.substr(0, NLS_ITEM_TEXT_SIZE - 1));
    NlsTtyMenuItemCvt(items, 9, 1);
    EXPECT_STREQ(items[0].label, "25_9");
    for (const TextMenuItem& item : items) {
        if (item.label && strcmp(item.label, "untouched") != 0)
            PutMem(const_cast<char*>(item.label));
        PutMem(item.choices);
        PutMem(const_cast<char*>(item.prompt));
    }
}

TEST(NlsCheckValue, SumsOfSignedCharacters)
{
    EXPECT_STREQ(NlsCalcStrVal("abc"), "0000056400000126");
    EXPECT_STREQ(NlsCalcStrVal(""), "0000000000000000");
    // 0xFF counts as -1: W = -1, S = -1.
    EXPECT_STREQ(NlsCalcStrVal("\xff"), "FFFFFFFFFFFFFFFF");
    // 1000 characters of 127: W = 127 * (1 + 4 + ... + 1000^2) = 42,396,854,500,
    // which wraps to 0xDF0CA8E4 in 32 bits.
    EXPECT_STREQ(NlsCalcStrVal(std::string(1000, '\x7f').c_str()), "DF0CA8E40001F018");
}

// ---- the shipped catalogue ----

const char* const Languages[] = {"en_US", "es_ES", "it_IT", "fr_FR", "de_DE", "pt_BR"};

struct Key {
    int set;
    int number;
};

std::vector<Key> LibraryKeys()
{
    std::vector<Key> keys = {{999, 1}, {20, 150}, {20, 151}, {20, 152}, {30, 22}, {30, 42}, {30, 44}};
    for (int n : {201, 202, 203, 204, 205, 206, 207, 208, 230, 231, 232, 270, 271, 510, 1000, 1001, 1002,
                  1003, 1004, 1006, 1007, 1008, 1009, 1011, 1016, 1017, 1018, 1020, 1024})
        keys.push_back({25, n});
    return keys;
}

TEST(NlsCatalogue, EveryLanguageHoldsEveryMessage)
{
    for (const char* lang : Languages) {
        DbTHandle* h = DbTOpen((BuildRoot + "/db/" + lang + "/CoreString.qdb").c_str(), 0);
        ASSERT_EQ(h->Type, DBT_TAGGED) << lang;
        for (const Key& k : LibraryKeys()) {
            char buf[NLS_FETCH_SIZE];
            const std::string key = std::to_string(k.set) + "_" + std::to_string(k.number);
            EXPECT_NE(std::string(NlsFetchString(h, buf, 0, k.set, k.number)), key) << lang;
        }
        // Help buttons: "~", a lower-case letter, a blank; three letters.
        std::string letters;
        for (int n = 150; n <= 152; ++n) {
            char label[NLS_FETCH_SIZE];
            NlsFetchString(h, label, 0, 20, n);
            EXPECT_TRUE(label[0] == '~' && islower(label[1]) && label[2] == ' ') << lang << " " << label;
            letters += label[1];
        }
        EXPECT_TRUE(letters[0] != letters[1] && letters[1] != letters[2] && letters[0] != letters[2])
            << lang << " " << letters;
        // Keep and cancel words answer by their first letters.
        char keep[NLS_FETCH_SIZE];
        char cancel[NLS_FETCH_SIZE];
        NlsFetchString(h, keep, 0, 25, 201);
        NlsFetchString(h, cancel, 0, 25, 202);
        EXPECT_TRUE(islower(keep[0]) && islower(cancel[0]) && keep[0] != cancel[0]) << lang;
        DbTClose(h);
    }
}

// The host may have opened any language's core strings before the table is
// needed, so every language carries the same table.
TEST(NlsCatalogue, FallbackTableIsTheShippedTransConf)
{
    SetToolPath(BuildRoot);
    char* table = ParseTransFile("trans.conf");
    ASSERT_NE(table, nullptr);
    for (const char* lang : Languages) {
        DbTHandle* h = DbTOpen((BuildRoot + "/db/" + lang + "/CoreString.qdb").c_str(), 0);
        char buf[NLS_FETCH_SIZE];
        EXPECT_STREQ(NlsFetchString(h, buf, 0, 999, 1), table) << lang;
        DbTClose(h);
    }
    PutMem(table);
}

TEST(NlsCatalogue, LanguageDatabaseOpensByLang)
{
    const std::string text = InChild([] {
        SetToolPath(BuildRoot);
        setenv("LANG", "fr_FR.UTF-8", 1);
        DbTHandle* h = NlsOpenDB("CoreString", 0);
        char out[NLS_FETCH_SIZE];
        return std::string(NlsFetchString(h, out, 0, 20, 152));
    });
    EXPECT_EQ(text, "~r Retour");
    const std::string heading = InChild([] {
        SetToolPath(BuildRoot);
        setenv("LANG", "de_DE.UTF-8", 1);
        DbTHandle* h = NlsOpenDB("CoreString", 0);
        char out[128];
        return std::string(Nlssnprintf(out, sizeof out, h, 30, 22, "Tarvo"));
    });
    EXPECT_EQ(heading, "Tarvo Online-Hilfe");
}

}  // namespace
