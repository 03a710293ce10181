// catalogue-languages: shows messages of the library's message catalogue in
// every language its translation table names, and marks the language that
// LANG chooses.
//
//   catalogue-languages [-t TOOLDIR] KEY...
//
// TOOLDIR is the tool directory holding trans.conf and
// db/<language>/CoreString.qdb (by default the installed one). For every KEY
// ("25_1001", a set and a message number) one line per language follows:
// "  <language>  <text>", with "*" before the language LANG chooses; a line
// end in a text shows as "\n". Exit status 0, or 1 when a language lacks a
// message or the table cannot be read, 2 for a wrong command line.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Dbm.h"
#include "MemMgr.h"
#include "NlsUtils.h"
#include "utils.h"

namespace {

// The language directories of the normalised translation table: the first
// word of every line "<directory> = <aliases>".
std::vector<std::string> Languages(const char* table)
{
    std::vector<std::string> languages;
    for (const char* line = table; *line;) {
        const char* end = std::strchr(line, '\n');
        const std::string text(line, end ? end : line + std::strlen(line));
        const size_t blank = text.find(' ');
        if (blank != std::string::npos && text.compare(blank, 3, " = ") == 0)
            languages.push_back(text.substr(0, blank));
        line = end ? end + 1 : line + text.size();
    }
    return languages;
}

std::string Shown(const char* text)
{
    std::string shown;
    for (; *text; ++text)
        shown += *text == '\n' ? std::string("\\n") : std::string(1, *text);
    return shown;
}

}  // namespace

int main(int argc, char** argv)
{
    int first = 1;
    pToolPath = SaveStr_(TOOL_DIR);
    if (argc > 2 && std::strcmp(argv[1], "-t") == 0) {
        PutMem(pToolPath);
        pToolPath = SaveStr_(argv[2]);
        first = 3;
    }
    if (first >= argc) {
        std::fprintf(stderr, "usage: %s [-t TOOLDIR] KEY...\n", argv[0]);
        return 2;
    }

    char* table = ParseTransFile(NLS_TRANS_FILE);
    if (!table) {
        std::fprintf(stderr, "%s: no translation table %s/%s\n", argv[0], pToolPath, NLS_TRANS_FILE);
        return 1;
    }
    const std::vector<std::string> languages = Languages(table);
    PutMem(table);
    const std::string chosen = GetDesiredNLSLang();

    int status = 0;
    for (int k = first; k < argc; ++k) {
        std::printf("%s\n", argv[k]);
        for (const std::string& language : languages) {
            // Databases are named below <pToolPath>/db.
            DbTHandle* db = DbTOpen((language + "/CoreString").c_str(), 0);
            char text[NLS_FETCH_SIZE];
            const char* message = NlsFetchString(db, text, NLS_MODE_KEY, argv[k]);
            if (message != text)
                status = 1;  // the key came back: no such message
            std::printf("%s %-6s %s\n", language == chosen ? "*" : " ", language.c_str(),
                        message == text ? Shown(text).c_str() : "(missing)");
            DbTClose(db);
        }
    }
    return status;
}
