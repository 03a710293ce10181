// The licence texts and the agreement question.
//
// The agreement language is chosen once per process, so every run of the
// question happens in a forked child with its own standard input and output.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "Licence.h"

namespace {

const char* const BOM = "\xEF\xBB\xBF";

struct Text {
    const char* code;
    const char* const* text;
};

// In the order of EULA_LANG_CODES.
const Text Texts[] = {
    {"en_US", &pEnglishEULA},   {"es_ES", &pSpanishEULA},   {"it_IT", &pItalianEULA},
    {"fr_FR", &pFrenchEULA},    {"ge_GE", &pGermanEULA},    {"pr_BR", &pPortugueseEULA},
    {"cs_CZ", &pCzechEULA},     {"fi_FI", &pFinnishEULA},   {"hu_HU", &pHungarianEULA},
    {"nl_NL", &pDutchEULA},     {"no_NO", &pNorwegianEULA}, {"pl_PL", &pPolishEULA},
    {"ru_RU", &pRussianEULA},   {"sv_SE", &pSwedishEULA},   {"tr_TR", &pTurkishEULA},
    {"da_DK", &pDanishEULA},
};

bool IsValidUtf8(const std::string& text)
{
    std::setlocale(LC_CTYPE, "C.UTF-8");
    std::mbstate_t state{};
    for (std::size_t at = 0; at < text.size();) {
        wchar_t wide;
        const std::size_t used = std::mbrtowc(&wide, text.data() + at, text.size() - at, &state);
        if (used == static_cast<std::size_t>(-1) || used == static_cast<std::size_t>(-2)
            || used == 0)
            return false;
        at += used;
    }
    return true;
}

// True when the letter stands alone in the text (not inside a word).
bool HasLoneLetter(const std::string& text, char letter)
{
    for (std::size_t at = text.find(letter); at != std::string::npos;
         at = text.find(letter, at + 1)) {
        const bool before = at == 0 || !std::isalpha(static_cast<unsigned char>(text[at - 1]));
        const bool after = at + 1 == text.size()
                           || !std::isalpha(static_cast<unsigned char>(text[at + 1]));
        if (before && after)
            return true;
    }
    return false;
}

struct Outcome {
    int accepted = -1;   // what UserAcceptedEULA gave
    std::string shown;   // everything written to standard output
    std::string rest;    // standard input left unread for the next question
};

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

// Asks the question in a child process whose standard input holds input and
// whose LANG is lang (unset for null); the rest of the input is read back
// through the same stream, as the installer's next question would.
Outcome AskAgreement(const std::string& input, const char* lang)
{
    const std::string base = testing::TempDir() + "licence_test_" + std::to_string(getpid());
    const std::string inPath = base + ".in";
    const std::string outPath = base + ".out";
    std::ofstream(inPath, std::ios::binary) << input;
    int report[2];
    EXPECT_EQ(pipe(report), 0);
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        close(report[0]);
        const int in = open(inPath.c_str(), O_RDONLY);
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0)
            _exit(2);
        if (lang != nullptr)
            setenv("LANG", lang, 1);
        else
            unsetenv("LANG");
        const int accepted = UserAcceptedEULA(nullptr);
        std::fflush(stdout);
        std::string rest;
        for (int c; (c = std::getchar()) != EOF;)
            rest += static_cast<char>(c);
        const bool sent = write(report[1], &accepted, sizeof accepted) == sizeof accepted
                          && write(report[1], rest.data(), rest.size())
                                 == static_cast<ssize_t>(rest.size());
        _exit(sent ? 0 : 3);
    }
    close(report[1]);
    Outcome outcome;
    if (read(report[0], &outcome.accepted, sizeof outcome.accepted)
        != static_cast<ssize_t>(sizeof outcome.accepted))
        outcome.accepted = -1;
    char chunk[256];
    for (ssize_t n; (n = read(report[0], chunk, sizeof chunk)) > 0;)
        outcome.rest.append(chunk, n);
    close(report[0]);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    outcome.shown = ReadFile(outPath);
    unlink(inPath.c_str());
    unlink(outPath.c_str());
    return outcome;
}

}  // namespace

TEST(LicenceTexts, EachStartsWithItsMarkAndEndsWithItsQuestion)
{
    std::set<std::string> distinct;
    for (const Text& entry : Texts) {
        SCOPED_TRACE(entry.code);
        const std::string text = *entry.text;
        const std::string head = std::string(entry.code) == "ru_RU" ? BOM : std::string("\n") + BOM;
        ASSERT_GT(text.size(), head.size());
        EXPECT_EQ(text.substr(0, head.size()), head);
        EXPECT_EQ(text.find(BOM, head.size()), std::string::npos) << "a second mark";
        EXPECT_TRUE(IsValidUtf8(text));
        distinct.insert(text);

        // The last paragraph is the question, answered on its own line.
        EXPECT_FALSE(std::isspace(static_cast<unsigned char>(text.back())));
        const std::string question = text.substr(text.rfind("\n\n") + 2);
        EXPECT_TRUE(HasLoneLetter(question, 'y')) << question;
        EXPECT_TRUE(HasLoneLetter(question, 'n')) << question;
    }
    EXPECT_EQ(distinct.size(), std::size(Texts));
}

TEST(LicenceTexts, CodesSelectTheirOwnTextAndAnythingElseEnglish)
{
    for (const Text& entry : Texts)
        EXPECT_EQ(EULATextFor(entry.code), *entry.text) << entry.code;
    // The empty code would match after the list's closing comma.
    for (const char* other : {"", "xx_XX", "de_DE", "en_US,es_ES", "ru", "da_DK,"})
        EXPECT_EQ(EULATextFor(other), pEnglishEULA) << other;
    EXPECT_EQ(EULATextFor(nullptr), pEnglishEULA);
}

TEST(Agreement, ShowsTheWholeTextOfTheLangLanguageAndABlank)
{
    EXPECT_EQ(AskAgreement("y\n", "de_CH").shown, std::string(pGermanEULA) + " ");
    EXPECT_EQ(AskAgreement("y\n", "es_ES.ISO8859-1").shown, std::string(pSpanishEULA) + " ");
    EXPECT_EQ(AskAgreement("y\n", "ru_UA").shown, std::string(pRussianEULA) + " ");
    EXPECT_EQ(AskAgreement("y\n", "xx_XX").shown, std::string(pEnglishEULA) + " ");
    EXPECT_EQ(AskAgreement("y\n", nullptr).shown, std::string(pEnglishEULA) + " ");
}

TEST(Agreement, OnlyAnAnswerStartingWithYAgrees)
{
    struct Case {
        const char* input;
        int accepted;
    };
    const Case cases[] = {
        {"y\n", 1},   {"Y\n", 1},  {"yes\n", 1}, {"Yes please\n", 1}, {"y", 1},
        {"n\n", 0},   {"\n", 0},   {" y\n", 0},  {"no\n", 0},         {"", 0},
        {"x\ny\n", 0}, {"\xEF\xBB\xBFy\n", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(AskAgreement(c.input, "en_US").accepted, c.accepted) << '"' << c.input << '"';
}

TEST(Agreement, ReadsAtMostThreeCharactersOfTheAnswer)
{
    // A short answer is read with its newline.
    EXPECT_EQ(AskAgreement("y\nnext\n", nullptr).rest, "next\n");
    EXPECT_EQ(AskAgreement("\nnext\n", nullptr).rest, "next\n");
    // A longer one leaves the rest of its line, newline included.
    const Outcome longer = AskAgreement("Yes please\n2\n", nullptr);
    EXPECT_EQ(longer.accepted, 1);
    EXPECT_EQ(longer.rest, " please\n2\n");
    // Three characters fill the answer: the newline stays unread.
    EXPECT_EQ(AskAgreement("yes\n", nullptr).rest, "\n");
}
