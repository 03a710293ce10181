// Checks of a digits-only entry of a given length, such as a numeric code
// typed at a terminal.
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "TextMenuImpl.h"

namespace {

// The length of a code when no range is given.
constexpr int DefaultLength = 4;

const char* SkipDigits(const char* p)
{
    while (isdigit(static_cast<unsigned char>(*p)))
        ++p;
    return p;
}

}  // namespace

int getMinMax(const char* text, int* pmin)
{
    if (!text) {
        if (pmin)
            *pmin = 0;
        return 0;
    }
    const char* p = text;
    if (*p && !isdigit(static_cast<unsigned char>(*p)))
        ++p;
    const int min = atoi(p);
    if (pmin)
        *pmin = min;
    p = SkipDigits(p);
    if (*p)
        ++p;
    return atoi(p);
}

char* ValidateEntryLen(const char* entry, const char* range)
{
    const long length = entry ? static_cast<long>(strlen(entry)) : 0;
    int min = DefaultLength;
    int max = DefaultLength;
    if (range)
        max = getMinMax(range, &min);
    if (length >= min && length <= max)
        return nullptr;
    if (min != max)
        return FormatCore(NlsBuf, NLS_BUF_SIZE, NLS_SET_MENU, 42, min, max);
    return FormatCore(NlsBuf, NLS_BUF_SIZE, NLS_SET_MENU, 44, min);
}

int ValidateEntryDigit(const char* entry)
{
    if (!entry)
        return 0;
    const char* p = SkipDigits(entry);
    return static_cast<unsigned char>(*p);
}

int ValidateEntryTty(const char* entry, const char* range)
{
    if (const char* message = ValidateEntryLen(entry, range)) {
        PostMsg("%s", message);
        return 2;
    }
    if (const int c = ValidateEntryDigit(entry)) {
        PostMsg(TextInvalidDigit, c);
        return 3;
    }
    return 0;
}
