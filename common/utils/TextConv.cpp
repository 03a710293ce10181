// Small value and text conversions: byte-order copies, lengths between
// units, in-place clean-up of texts, and identifiers made of free text.
#include <cctype>
#include <cstddef>

#include "utils.h"

void SetVarContent(void* dst, const void* src, int count, int reverse)
{
    auto* to = static_cast<unsigned char*>(dst);
    const auto* from = static_cast<const unsigned char*>(src);
    const bool swap = (reverse & 0xFF) != 0;
    for (int i = 0; i < count; ++i)
        to[i] = swap ? from[count - 1 - i] : from[i];
}

double MaxD(double a, double b)
{
    return a > b ? a : b;
}

// Units: 0 inches, 1 centimetres, 2 points (1/72 inch). Computed in double
// precision; an unknown pair of units leaves the value as it is.
float CvtFloatFormat(float value, int from, int to)
{
    constexpr double kCmPerInch = 2.54;
    constexpr double kPointsPerInch = 72.0;
    const double v = value;
    double result = v;
    if (to == 0 && from == 1)
        result = v / kCmPerInch;
    else if (to == 0 && from == 2)
        result = v / kPointsPerInch;
    else if (to == 1 && from == 0)
        result = v * kCmPerInch;
    else if (to == 1 && from == 2)
        result = v / kPointsPerInch * kCmPerInch;
    else if (to == 2 && from == 0)
        result = v * kPointsPerInch;
    else if (to == 2 && from == 1)
        result = v / kCmPerInch * kPointsPerInch;
    return static_cast<float>(result);
}

// Every backslash goes, a doubled one too.
char* StripAllBackslashes(char* str)
{
    if (str == nullptr)
        return nullptr;
    char* out = str;
    for (const char* in = str; *in != '\0'; ++in) {
        if (*in != '\\')
            *out++ = *in;
    }
    *out = '\0';
    return str;
}

// Keeps the printable ASCII characters (letters, digits, punctuation and the
// space) and drops control characters, tabs included. Bytes above 0x7F are
// kept: they are parts of characters of other languages in UTF-8 texts, and
// dropping them would change the words. keepLineEnds also keeps newlines and
// carriage returns, for cleaning texts of several lines.
char* StripNonPrint(char* str, int keepLineEnds)
{
    if (str == nullptr)
        return nullptr;
    char* out = str;
    for (const char* in = str; *in != '\0'; ++in) {
        const auto ch = static_cast<unsigned char>(*in);
        const bool keep = (ch >= 0x20 && ch != 0x7F) ||
                          (keepLineEnds != 0 && (ch == '\n' || ch == '\r'));
        if (keep)
            *out++ = *in;
    }
    *out = '\0';
    return str;
}

char* GenName(const char* text)
{
    static char name[128];
    size_t length = 0;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text ? text : "");
    while (*p && !isalpha(*p))
        ++p;
    while (*p) {
        for (bool first = true; isalnum(*p); ++p, first = false) {
            if (length < sizeof name - 1)
                name[length++] = static_cast<char>(first ? toupper(*p) : tolower(*p));
        }
        while (*p && !isalnum(*p))
            ++p;
    }
    name[length] = '\0';
    return name;
}
