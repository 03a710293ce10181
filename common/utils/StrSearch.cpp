// Search helpers. They differ from their standard namesakes in settled ways
// callers rely on: null and empty strings are never searched, an empty
// substring is never found, StrChr honours backslash escapes, and the N
// variants count occurrences from 1.
#include <cctype>
#include <cstring>

#include "utils.h"

int StrLen(const char* str)
{
    return str == nullptr ? 0 : static_cast<int>(std::strlen(str));
}

// First c that is not escaped: a backslash hides the character after it,
// and a backslash itself is never found.
char* StrChr(const char* str, char c)
{
    if (str == nullptr)
        return nullptr;
    for (const char* p = str; *p != '\0'; ++p) {
        if (*p == '\\') {
            if (*++p == '\0')
                return nullptr;
        } else if (*p == c) {
            return const_cast<char*>(p);
        }
    }
    return nullptr;
}

char* StrNChr(const char* str, char c, int n)
{
    if (str == nullptr || n < 1)
        return nullptr;
    for (const char* p = str; *p != '\0'; ++p) {
        if (*p == c && --n == 0)
            return const_cast<char*>(p);
    }
    return nullptr;
}

// Each further search starts one character after the previous match, so
// overlapping occurrences count ("aaaa" holds "aa" three times).
char* StrNStr(const char* str, const char* sub, int n)
{
    if (str == nullptr || *str == '\0' || sub == nullptr)
        return nullptr;
    const char* p = std::strstr(str, sub);
    for (int found = 1; p != nullptr && found < n; ++found) {
        if (p[1] == '\0')
            return nullptr;
        p = std::strstr(p + 1, sub);
    }
    return const_cast<char*>(p);
}

// Leftmost occurrence. This is also the memory manager's first-fit search
// for a run of free marks, so it leans on the C library's fast search once
// the cases where it would differ (null, empty) are settled.
char* StrStr(const char* str, const char* sub)
{
    if (str == nullptr || *str == '\0' || sub == nullptr || *sub == '\0')
        return nullptr;
    return const_cast<char*>(std::strstr(str, sub));
}

char* StrCaseStr(const char* str, const char* sub)
{
    if (str == nullptr || *str == '\0' || sub == nullptr || *sub == '\0')
        return nullptr;
    auto upper = [](char ch) { return std::toupper(static_cast<unsigned char>(ch)); };
    const int first = upper(*sub);
    for (const char* p = str; *p != '\0'; ++p) {
        if (upper(*p) != first)
            continue;
        const char* s = p + 1;
        const char* t = sub + 1;
        while (*t != '\0' && upper(*s) == upper(*t)) {
            ++s;
            ++t;
        }
        if (*t == '\0')
            return const_cast<char*>(p);
        if (*s == '\0')
            return nullptr;  // the rest of the string is shorter than sub
    }
    return nullptr;
}
