// Localised conversions: messages put where the menus and the help viewer
// need them (text pointers, runs of menu items, templates, printf-style
// output) and the text check value.
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "MemMgr.h"
#include "NlsUtils.h"
#include "TextMenu.h"
#include "utils.h"

char NlsBuf[NLS_BUF_SIZE];

namespace {

// Length of a cut text without an unfinished UTF-8 sequence at its end, so
// that a cut message still shows whole characters.
size_t WholeChars(const char* text, size_t length)
{
    size_t lead = length;
    int continuation = 0;
    while (lead > 0 && continuation < 3 && (static_cast<unsigned char>(text[lead - 1]) & 0xC0) == 0x80) {
        --lead;
        ++continuation;
    }
    if (lead == 0)
        return length;
    const auto c = static_cast<unsigned char>(text[lead - 1]);
    const int needed = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    return needed > continuation ? lead - 1 : length;
}

// At most limit bytes of text, cut at a character boundary.
size_t CutLength(const char* text, size_t limit)
{
    const size_t length = strnlen(text, limit + 1);
    return length <= limit ? length : WholeChars(text, limit);
}

// Appends text to out (length so far *used, size bytes with the NUL).
void Append(char* out, int size, int* used, const char* text)
{
    const size_t room = static_cast<size_t>(size - 1 - *used);
    const size_t n = CutLength(text, room);
    memcpy(out + *used, text, n);
    *used += static_cast<int>(n);
    out[*used] = '\0';
}

// A copy of message 25_number of the core strings cut to the item runs'
// work buffer.
char* ItemText(int number)
{
    char* message = NlsFetchString(pDrvCoreDB, nullptr, NLS_MODE_NUMBER, NLS_SET_CORE, number);
    char work[NLS_ITEM_TEXT_SIZE] = {};
    int used = 0;
    Append(work, sizeof work, &used, message);
    if (!NlsIsErrorText(message))
        PutMem(message);
    return SaveStr_(work);
}

template <typename Store>
void ItemRun(TextMenuItem* item, int first, int count, Store store)
{
    if (!item)
        return;
    for (int i = 0; i < count; ++i)
        store(item[i], ItemText(first + i));
}

// The format of message set_number, or null when it is missing; *owned
// tells whether the caller must give it back.
char* MessageFormat(DbTHandle* h, int set, int number, char* key, int keySize, bool byKey,
                    bool* owned)
{
    snprintf(key, keySize, "%d_%d", set, number);
    char* text = byKey ? NlsFetchString(h, nullptr, NLS_MODE_KEY, key)
                       : NlsFetchString(h, nullptr, NLS_MODE_NUMBER, set, number);
    *owned = text != key && !NlsIsErrorText(text);
    if (strcmp(text, key) != 0)
        return text;
    if (*owned)
        PutMem(text);
    *owned = false;
    return nullptr;
}

// Formats message set_number into buf; a size of 0 leaves the output
// unbounded (the caller vouches for the room).
char* FormatInto(char* buf, size_t size, DbTHandle* h, int set, int number, va_list args)
{
    char key[32];
    bool owned;
    char* format = MessageFormat(h, set, number, key, sizeof key, false, &owned);
    if (!format) {
        if (size == 0)
            strcpy(buf, "Error");
        else
            snprintf(buf, size, "%s", "Error");
        return buf;
    }
    if (size == 0) {
        vsprintf(buf, format, args);
    } else {
        const int n = vsnprintf(buf, size, format, args);
        if (n >= 0 && static_cast<size_t>(n) >= size)
            buf[WholeChars(buf, size - 1)] = '\0';
    }
    if (owned)
        PutMem(format);
    return buf;
}

}  // namespace

void NlsTtyMenuCvt(char** text, int number)
{
    if (!text)
        return;
    char* message = NlsFetchString(pDrvCoreDB, nullptr, NLS_MODE_NUMBER, NLS_SET_CORE, number);
    *text = NlsIsErrorText(message) ? SaveStr_(message) : message;
}

void NlsTtyMenuItemCvt(TextMenuItem* item, int first, int count)
{
    ItemRun(item, first, count, [](TextMenuItem& it, char* text) { it.label = text; });
}

void NlsTtyMenuItemStateCvt(TextMenuItem* item, int first, int count)
{
    ItemRun(item, first, count, [](TextMenuItem& it, char* text) { it.choices = text; });
}

void NlsTtyMenuItemPromptCvt(TextMenuItem* item, int first, int count)
{
    ItemRun(item, first, count, [](TextMenuItem& it, char* text) { it.prompt = text; });
}

// The output is bounded by its size: a template or messages too long for it
// are cut.
char* NlsGuiStrCvt(const char* templ, int set, char* out, int size)
{
    if (!out || size < 1)
        return out;
    memset(out, 0, size);
    if (!templ)
        return out;
    char work[NLS_FETCH_SIZE] = {};
    int used = 0;
    int n = 1;
    for (const char* p = templ; *p && used < size - 1;) {
        if (p[0] == '%' && p[1] == 's') {
            // A missing message leaves its key in work and comes back as a
            // new string of its own.
            char* key = NlsFetchString(pDrvCoreDB, work, NLS_MODE_NUMBER, set, n);
            if (key != work && !NlsIsErrorText(key))
                PutMem(key);
            Append(out, size, &used, work);
            memset(work, 0, sizeof work);
            ++n;
            p += 2;
        } else {
            out[used++] = *p++;
        }
    }
    return out;
}

void Nlsfprintf(FILE* stream, DbTHandle* h, int set, int number, ...)
{
    if (!stream)
        return;
    char key[32];
    bool owned;
    char* format = MessageFormat(h, set, number, key, sizeof key, true, &owned);
    if (!format) {
        fputs("Error", stream);
        return;
    }
    va_list args;
    va_start(args, number);
    vfprintf(stream, format, args);
    va_end(args);
    if (owned)
        PutMem(format);
}

// The shared NlsBuf is known, so a message formatted there is cut to it;
// any other buffer must hold the formatted message.
char* Nlssprintf(char* buf, DbTHandle* h, int set, int number, ...)
{
    if (!buf)
        return nullptr;
    const size_t size = buf == NlsBuf ? sizeof NlsBuf : 0;
    va_list args;
    va_start(args, number);
    FormatInto(buf, size, h, set, number, args);
    va_end(args);
    return buf;
}

char* Nlssnprintf(char* buf, int size, DbTHandle* h, int set, int number, ...)
{
    if (!buf || size < 1)
        return buf;
    va_list args;
    va_start(args, number);
    FormatInto(buf, static_cast<size_t>(size), h, set, number, args);
    va_end(args);
    return buf;
}

// Both sums wrap in 32 bits, so they are kept unsigned; a character above
// 127 counts as a negative value.
char* NlsCalcStrVal(const char* text)
{
    static char value[17];
    uint32_t weighted = 0;
    uint32_t sum = 0;
    uint32_t i = 0;
    for (const char* p = text ? text : ""; *p; ++p) {
        ++i;
        const auto c = static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(*p)));
        weighted += c * i * i;
        sum += c;
    }
    snprintf(value, sizeof value, "%08X%08X", weighted, sum);
    return value;
}
