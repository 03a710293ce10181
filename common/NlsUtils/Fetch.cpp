// Message databases: opening one for the chosen language, fetching a
// message, and redirects from one message to another.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "Dbm.h"
#include "MemMgr.h"
#include "NlsUtils.h"
#include "utils.h"

DbTHandle* pDrvCoreDB = nullptr;
DbTHandle* pPrtHelpDB = nullptr;

namespace {

// The answer of every failed fetch. It lives outside the memory manager, so
// a caller that gives it back with PutMem by mistake changes nothing.
char ErrorText[] = "Error";

// Receives message data; one byte more than a message may have, so that
// data of exactly NLS_FETCH_SIZE bytes can still be terminated.
char FetchBuf[NLS_FETCH_SIZE + 1];

char RedirectName[NLS_REDIRECT_SIZE];

// Data of the record into FetchBuf, terminated behind it; a record longer
// than the buffer comes in a buffer of its own, which *data then points to.
int FetchRecord(DbTHandle* h, const char* key, void** data)
{
    *data = FetchBuf;
    const int length = DbmTGetRecordV(h, key, data, NLS_FETCH_SIZE);
    if (length > 0 && *data == FetchBuf)
        FetchBuf[length] = '\0';
    return length;
}

// Modes 0 to 2: the text cut to what a message may hold.
char* FetchShort(DbTHandle* h, const char* key, char* buffer)
{
    void* data;
    const int length = FetchRecord(h, key, &data);
    if (length <= 0)
        return nullptr;
    if (data != FetchBuf) {
        memcpy(FetchBuf, data, NLS_FETCH_SIZE - 1);
        PutMem(data);
    }
    FetchBuf[NLS_FETCH_SIZE - 1] = '\0';
    if (!buffer)
        return SaveStr_(FetchBuf);
    memcpy(buffer, FetchBuf, strlen(FetchBuf) + 1);
    return buffer;
}

// Mode 3: the whole text in a new string.
char* FetchLong(DbTHandle* h, const char* key)
{
    void* data;
    const int length = FetchRecord(h, key, &data);
    if (length <= 0)
        return nullptr;
    return data == FetchBuf ? SaveStr_(FetchBuf) : static_cast<char*>(data);
}

}  // namespace

int NlsIsErrorText(const char* text)
{
    return text == ErrorText;
}

// A missing English database is reported, as English is the language every
// other one falls back to; another language's missing database is not,
// and its messages come back as their keys.
DbTHandle* NlsOpenDB(const char* name, int flags)
{
    if (!name)
        return nullptr;
    char* lang = SaveStr_(GetDesiredNLSLang());
    // A relative tool directory must read as a path, not as a database name
    // under the tool directory.
    const char* root = pToolPath ? pToolPath : ".";
    const char* lead = root[0] == '/' || root[0] == '.' ? "" : "./";
    char* path = SaveStr("%s%s/db/%s/%s.qdb", lead, root, lang, name);
    DbTHandle* h = DbTOpen(path, flags);
    if (h && h->Type == DBT_NEW && strncmp(lang, NLS_LANG_ENGLISH, strlen(NLS_LANG_ENGLISH)) == 0) {
        fprintf(stderr, "ERROR:  Could not open English database:  %s\n", path);
        // Closing switches the driver path handling off; the host's choice stays.
        const bool pathHandling = DbmV4DriverPathHandling;
        DbTClose(h);
        DbmV4DriverPathHandling = pathHandling;
        h = nullptr;
    }
    PutMem(path);
    PutMem(lang);
    return h;
}

char* NlsFetchString(DbTHandle* h, char* buffer, int mode, ...)
{
    va_list args;
    va_start(args, mode);
    char numberKey[32] = "";
    const char* textKey = nullptr;
    if (mode == NLS_MODE_NUMBER || mode == NLS_MODE_LONG) {
        const int set = va_arg(args, int);
        const int number = va_arg(args, int);
        if (set != 0 && number != 0)
            snprintf(numberKey, sizeof numberKey, "%d_%d", set, number);
    } else if (mode == NLS_MODE_KEY || mode == NLS_MODE_KEY2) {
        if (h)
            textKey = va_arg(args, const char*);
    }
    va_end(args);
    if (!textKey && !numberKey[0])
        return ErrorText;
    const char* key = textKey ? textKey : numberKey;

    char* text = mode == NLS_MODE_LONG ? FetchLong(h, key) : FetchShort(h, key, buffer);
    if (text)
        return text;
    // Missing: the key stands for the message, and the answer is never the
    // caller's buffer, so that a caller tells a found message by getting its
    // buffer back.
    if (buffer)
        snprintf(buffer, NLS_FETCH_SIZE, "%s", key);
    return textKey ? const_cast<char*>(textKey) : SaveStr_(numberKey);
}

char* FindRedirect(char* text)
{
    if (!text)
        return nullptr;
    char* mark = strstr(text, "$$");
    if (!mark)
        return nullptr;
    char* dot = strchr(mark + 2, '.');
    if (!dot || strncasecmp(dot, ".redirect", 9) != 0)
        return nullptr;
    *dot = '\0';
    return mark + 2;
}

char* CheckForRedirect(char* text)
{
    const char* name = FindRedirect(text);
    if (!name)
        return nullptr;
    memset(RedirectName, 0, sizeof RedirectName);
    snprintf(RedirectName, sizeof RedirectName, "%s", name);
    NlsFetchString(pPrtHelpDB, text, NLS_MODE_KEY, RedirectName);
    return RedirectName;
}
