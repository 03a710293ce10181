// The translation table (trans.conf) and the choice of the language
// directory from LANG.
#include <cstdlib>
#include <cstring>

#include "Dbm.h"
#include "MemMgr.h"
#include "NlsUtils.h"
#include "utils.h"

char* pNLSLang = nullptr;

namespace {

// The normalised table, read once from trans.conf or from message 999_1.
char* pTransTable = nullptr;

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// Appends to a bounded output; refuses (and writes nothing) what would not
// fit with the terminating NUL.
struct TableOut {
    char* out;
    int size;
    int length = 0;

    bool Add(const char* text, int n, const char* tail)
    {
        const int tailLen = static_cast<int>(strlen(tail));
        if (length + n + tailLen >= size)
            return false;
        memcpy(out + length, text, n);
        memcpy(out + length + n, tail, tailLen);
        length += n + tailLen;
        out[length] = '\0';
        return true;
    }
};

}  // namespace

// A word ended by a line end closes its line (" \n"). A carriage return
// counts as a line end as a line feed does, so that a table written with
// CR LF line ends keeps its lines apart. A comment that runs to a line end
// closes the line as that line end would have without the comment: the
// word before it gets its " \n" (a comment behind "=" closes nothing, as a
// line end behind "=" does not).
int NormalizeTransTable(const char* text, int length, char* out, int size)
{
    if (!out || size < 1)
        return 0;
    out[0] = '\0';
    if (!text || length <= 0)
        return 0;
    const int end = static_cast<int>(strnlen(text, length));
    TableOut table{out, size};
    bool closeLine = false;  // the next word ends its line
    bool openWord = false;   // the last word added still waits for its line end
    int i = 0;
    while (i < end) {
        const char c = text[i];
        if (c == '#') {
            while (i < end && text[i] != '\r' && text[i] != '\n')
                ++i;
            if (i == end)
                break;
            if (openWord) {
                if (!table.Add("", 0, "\n"))
                    break;
                openWord = false;
            }
            continue;
        }
        if (c == '=') {
            if (!table.Add("=", 1, " "))
                break;
            openWord = false;
            ++i;
            continue;
        }
        if (IsBlank(c)) {
            ++i;
            continue;
        }
        int j = i;
        while (j < end && !IsBlank(text[j]))
            ++j;
        const char ender = j < end ? text[j] : '\0';
        if (ender == '\n' || ender == '\r')
            closeLine = true;
        if (!table.Add(text + i, j - i, closeLine ? " \n" : " "))
            break;
        openWord = !closeLine;
        closeLine = j - i == 7 && strncmp(text + i, "Default", 7) == 0;
        i = j < end ? j + 1 : j;
    }
    return table.length;
}

char* ParseTransFile(const char* name)
{
    if (!name)
        return nullptr;
    char* content = GetSavedFileContent(pToolPath, name);
    if (!content)
        return nullptr;
    char table[NLS_TABLE_SIZE];
    const int length = NormalizeTransTable(content, SavedFileSize, table, sizeof table);
    PutMem(content);
    return length > 0 ? SaveStr_(table) : nullptr;
}

namespace {

// The word behind "Default", unless the line ends right there.
bool FindDefault(const char* table, char* buf, int size)
{
    const char* p = strstr(table, "Default");
    if (!p || p[7] == '\n')
        return false;
    const char* q = strchr(p + 7, ' ');
    if (!q)
        return false;
    while (*q == ' ' || *q == '\t')
        ++q;
    if (*q == '\n' || *q == '\r' || *q == '\0')
        return false;
    char token[TOKEN_BUF_SIZE];
    const char* pos = nullptr;
    const char* word = GetTokenD(q, " \t\r\n", &pos, token);
    if (!word)
        return false;
    snprintf(buf, size, "%s", word);
    return true;
}

// The first word of the line that holds the "=" nearest before the match.
bool FindAliasOwner(const char* table, const char* match, char* buf, int size)
{
    const char* eq = match;
    while (eq > table && *eq != '=')
        --eq;
    if (*eq != '=')
        return false;
    const char* start = eq;
    while (start > table && start[-1] != '\n')
        --start;
    char token[TOKEN_BUF_SIZE];
    const char* pos = nullptr;
    const char* word = GetTokenD(start, " =", &pos, token);
    if (!word)
        return false;
    snprintf(buf, size, "%s", word);
    return true;
}

}  // namespace

// The LANG value between two blanks, cut at its first "." (which also drops
// the closing blank), is looked for in the table: an alias is preceded by a
// blank, so the first word of a line never matches.
char* LookupTransLang(const char* table, const char* lang, char* buf, int size)
{
    if (!buf || size < 1)
        return buf;
    snprintf(buf, size, "%s", NLS_LANG_ENGLISH);
    if (!table)
        return buf;
    char* key = SaveStr(" %s ", lang ? lang : NLS_LANG_NOT_SET);
    if (char* dot = strchr(key, '.'))
        *dot = '\0';
    const char* match = strstr(table, key);
    PutMem(key);
    if (!match)
        FindDefault(table, buf, size);
    else
        FindAliasOwner(table, match, buf, size);
    return buf;
}

namespace {

// The table kept in the English core strings, for a tool directory without
// trans.conf; null when that database or the message is missing.
char* FallbackTable()
{
    if (!pDrvCoreDB)
        pDrvCoreDB = DbTOpen("en_US/CoreString", 0);
    if (!pDrvCoreDB)
        return nullptr;
    char* table = NlsFetchString(pDrvCoreDB, nullptr, NLS_MODE_NUMBER, NLS_SET_TRANS, 1);
    if (NlsIsErrorText(table))
        return nullptr;
    if (strcmp(table, "999_1") == 0) {
        PutMem(table);
        return nullptr;
    }
    return table;
}

}  // namespace

char* GetDesiredNLSLang()
{
    if (pNLSLang)
        return pNLSLang;
    if (!pTransTable)
        pTransTable = ParseTransFile(NLS_TRANS_FILE);
    if (!pTransTable)
        pTransTable = FallbackTable();
    char lang[TOKEN_BUF_SIZE];
    if (pTransTable)
        LookupTransLang(pTransTable, getenv("LANG"), lang, sizeof lang);
    else
        snprintf(lang, sizeof lang, "%s", NLS_LANG_ENGLISH);
    pNLSLang = SaveStr_(lang);
    return pNLSLang;
}
