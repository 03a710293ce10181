// Token reader: the shared cursor that copies tokens into GetTokenBuf, the
// in-place splitters, the token-list lookups and the list sorter.
#include "MemMgr.h"
#include "utils.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <strings.h>

char GetTokenBuf[TOKEN_BUF_SIZE];
const char* szTokenIn = nullptr;
char chTokenDel = 0;

namespace {

// Read position of the shared cursor. It runs ahead of szTokenIn only after
// a line-mode stop, which passes the newline but gives no token.
const char* szIn = nullptr;

// A set of bytes as a 256-bit map, so each character of the text is
// classified with one lookup whatever the size of the delimiter set.
class CharSet {
public:
    explicit CharSet(const char* chars)
    {
        if (chars)
            for (; *chars; ++chars)
                Add(*chars);
    }
    void Add(char c)
    {
        const auto u = static_cast<unsigned char>(c);
        bits_[u >> 6] |= uint64_t{1} << (u & 63);
    }
    bool Has(char c) const
    {
        const auto u = static_cast<unsigned char>(c);
        return (bits_[u >> 6] >> (u & 63)) & 1;
    }

private:
    std::array<uint64_t, 4> bits_{};
};

char Unescape(char c)
{
    switch (c) {
    case 'n': return '\n';
    case 'r': return '\r';
    case 't': return '\t';
    default: return c;
    }
}

// Where a copying read stopped.
struct Scan {
    const char* next;   // position after the token and its ending delimiter
    int length;         // characters stored (at most TOKEN_MAX)
    char delimiter;     // last delimiter consumed, 0 for none
    bool delimited;     // the token was ended by a delimiter (not the text end)
};

// Reads one token from p into out, translating escapes and skipping leading
// delimiters. Characters past TOKEN_MAX are read but dropped, so an overlong
// token is cut and the next read starts after it.
Scan CopyToken(const char* p, const char* delims, char* out)
{
    // Characters that stop a plain run: the delimiters, the escape and the
    // text end. An escape takes precedence over a backslash delimiter.
    CharSet stops(delims);
    stops.Add('\\');
    stops.Add('\0');
    Scan scan{p, 0, 0, false};
    const auto append = [&](const char* from, std::size_t n) {
        const auto room = static_cast<std::size_t>(TOKEN_MAX - scan.length);
        n = std::min(n, room);
        std::memcpy(out + scan.length, from, n);
        scan.length += static_cast<int>(n);
    };
    for (;;) {
        const char* run = p;
        while (!stops.Has(*p))
            ++p;
        append(run, static_cast<std::size_t>(p - run));
        if (*p == '\0')
            break;
        if (*p == '\\') {
            if (p[1] == '\0') {   // a trailing backslash ends the text
                ++p;
                break;
            }
            const char c = Unescape(p[1]);
            append(&c, 1);
            p += 2;
            continue;
        }
        scan.delimiter = *p++;
        if (scan.length > 0) {
            scan.delimited = true;
            break;
        }
    }
    out[scan.length] = '\0';
    scan.next = p;
    return scan;
}

bool IsLineStop(const Scan& scan, bool lineMode)
{
    return lineMode && scan.delimited && scan.delimiter == '\n';
}

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// One element of a list being sorted: its text, and whether a delimiter
// follows it (every element but the last one has one).
struct Element {
    char* start;
    std::size_t length;
    bool delimited;

    std::size_t Span() const { return length + (delimited ? 1 : 0); }
};

Element ElementAt(char* p, char delim)
{
    if (char* d = StrChr(p, delim))
        return {p, static_cast<std::size_t>(d - p), true};
    return {p, std::strlen(p), false};
}

// Orders elements as the texts "element + delimiter": the last element of
// the list, which has no delimiter of its own, is compared as if it had one,
// so a prefix sorts before the longer element wherever it stands.
bool IsSmaller(const Element& candidate, const Element& smallest, char delim, bool ignoreCase)
{
    const auto fold = [ignoreCase](char c) {
        const auto u = static_cast<unsigned char>(c);
        return ignoreCase ? std::tolower(u) : static_cast<int>(u);
    };
    if (candidate.delimited)
        return (ignoreCase ? strncasecmp(candidate.start, smallest.start, candidate.length + 1)
                           : std::strncmp(candidate.start, smallest.start, candidate.length + 1))
               < 0;
    const int head = ignoreCase ? strncasecmp(candidate.start, smallest.start, candidate.length)
                                : std::strncmp(candidate.start, smallest.start, candidate.length);
    if (head != 0)
        return head < 0;
    // smallest holds at least candidate.length characters here, so the
    // character after them is inside the string.
    return fold(delim) < fold(smallest.start[candidate.length]);
}

char* SkipDelims(char* p, char delim)
{
    while (*p != '\0' && *p == delim)
        ++p;
    return p;
}

}  // namespace

void SetTokenBuf(const char* text)
{
    szIn = text;
    szTokenIn = text;
}

const char* GetTokenBufInput()
{
    return szIn;
}

char* GetToken(const char* text, const char* delims)
{
    chTokenDel = 0;
    const bool lineMode = text == TOKEN_LINEMODE;
    if (text && !lineMode)
        szIn = text;
    if (!szIn)
        return nullptr;
    const Scan scan = CopyToken(szIn, delims, GetTokenBuf);
    chTokenDel = scan.delimiter;
    szIn = scan.next;
    if (IsLineStop(scan, lineMode))
        return nullptr;
    szTokenIn = scan.next;
    return scan.length > 0 ? GetTokenBuf : nullptr;
}

char* GetTokenD(const char* text, const char* delims, const char** pos, char* buf)
{
    chTokenDel = 0;
    if (!pos || !buf)
        return nullptr;
    const bool lineMode = text == TOKEN_LINEMODE;
    const char* from = (text && !lineMode) ? text : *pos;
    if (!from)
        return nullptr;
    const Scan scan = CopyToken(from, delims, buf);
    chTokenDel = scan.delimiter;
    *pos = scan.next;
    if (IsLineStop(scan, lineMode))
        return nullptr;
    return scan.length > 0 ? buf : nullptr;
}

char* GetTokenParse(char* text, const char* delims)
{
    chTokenDel = 0;
    const bool lineMode = text == TOKEN_LINEMODE;
    if (text && !lineMode)
        szIn = text;
    if (!szIn)
        return nullptr;
    // The current input was handed to this reader as writable text.
    char* p = const_cast<char*>(szIn);
    const CharSet delimSet(delims);
    while (*p != '\0' && *p != '\\' && delimSet.Has(*p)) {
        chTokenDel = *p;
        *p++ = '\0';
    }
    char* const token = p;
    while (*p != '\0') {
        if (*p == '\\') {   // an escape stays as it is and never ends the token
            p += p[1] != '\0' ? 2 : 1;
            continue;
        }
        if (delimSet.Has(*p)) {
            chTokenDel = *p;
            *p++ = '\0';
            szIn = p;
            if (lineMode && chTokenDel == '\n')
                return nullptr;
            szTokenIn = p;
            return token;
        }
        ++p;
    }
    szIn = p;
    szTokenIn = p;
    return p != token ? token : nullptr;
}

char* GetTokenN(const char* text, const char* delims, int n)
{
    const char* const more = text == TOKEN_LINEMODE ? TOKEN_LINEMODE : nullptr;
    char* token = GetToken(text, delims);
    for (int i = 1; token && i < n; ++i)
        token = GetToken(more, delims);
    return token;
}

int GetTokenCount(const char* text, const char* delims)
{
    const char* const savedIn = szIn;
    const char* const savedTokenIn = szTokenIn;
    const char savedDel = chTokenDel;
    std::array<char, TOKEN_BUF_SIZE> savedBuf;
    std::memcpy(savedBuf.data(), GetTokenBuf, TOKEN_BUF_SIZE);

    const char* const more = text == TOKEN_LINEMODE ? TOKEN_LINEMODE : nullptr;
    int count = 0;
    for (const char* from = text; GetToken(from, delims); from = more)
        ++count;

    szIn = savedIn;
    szTokenIn = savedTokenIn;
    chTokenDel = savedDel;
    std::memcpy(GetTokenBuf, savedBuf.data(), TOKEN_BUF_SIZE);
    return count;
}

int ParseStr(char* text, const char* delims, char** fields, int capacity)
{
    if (!fields || capacity <= 0)
        return 0;
    std::fill(fields, fields + capacity, nullptr);
    if (!text)
        return 0;
    const CharSet delimSet(delims);
    int count = 0;
    char* p = text;
    while (*p != '\0' && count < capacity) {
        while (*p != '\0' && delimSet.Has(*p))
            ++p;
        if (*p == '\0')
            break;
        fields[count++] = p;
        while (*p != '\0' && !delimSet.Has(*p))
            ++p;
        if (*p != '\0')
            *p++ = '\0';
    }
    return count;
}

// The element is compared in place after each separator, so elements of any
// length are safe; the result is the leftmost "separator element separator"
// or else a last element without its closing separator.
int FindToken(const char* element, const char* list)
{
    if (!element || !list || *list == '\0')
        return 0;
    const char sep = list[0];
    const std::size_t length = std::strlen(element);
    int count = 0;
    const char* last = list;
    for (const char* p = list; (p = std::strchr(p, sep)) != nullptr; ++p) {
        ++count;
        if (std::strncmp(p + 1, element, length) == 0 && p[length + 1] == sep)
            return count;
        last = p;
    }
    return std::strcmp(last + 1, element) == 0 ? count : 0;
}

int FindTokenC(const char* element, const char* list)
{
    if (!element || !list || *list == '\0')
        return 0;
    const char sep = list[0];
    const std::size_t length = std::strlen(element);
    int count = 0;
    for (const char* p = list; (p = std::strchr(p, sep)) != nullptr; ++p) {
        ++count;
        if (strncasecmp(p + 1, element, length) == 0
            && (p[length + 1] == sep || p[length + 1] == '\0'))
            return count;
    }
    return 0;
}

int FindTokenWithDelim(const char* list, const char* element, char delim)
{
    if (!list || !element)
        return 0;
    const std::size_t length = std::strlen(element);
    int position = 1;
    for (const char* p = list; *p != '\0'; ++position) {
        const char* end = std::strchr(p, delim);
        if (!end)
            end = p + std::strlen(p);
        if (static_cast<std::size_t>(end - p) == length && std::memcmp(p, element, length) == 0)
            return position;
        if (*end == '\0')
            break;
        p = end + 1;
    }
    return 0;
}

const char* SkipSpace(const char* text)
{
    if (!text)
        return nullptr;
    while (IsSpace(*text))
        ++text;
    return text;
}

char* SkipSpace(char* text)
{
    return const_cast<char*>(SkipSpace(static_cast<const char*>(text)));
}

// Selection sort: each pass moves the smallest remaining element of a working
// copy to the output. The element that had no delimiter (the list's last) is
// given one when others follow it, so the list may grow by one character.
void SortTokens(char* list, char delim, int ignoreCase)
{
    if (!list)
        return;
    char* const copy = SaveStr_(list);
    char* out = SkipDelims(list, delim);
    char* const rest = SkipDelims(copy, delim);
    while (*rest != '\0') {
        Element smallest = ElementAt(rest, delim);
        for (Element e = smallest; e.delimited && e.start[e.Span()] != '\0';) {
            e = ElementAt(e.start + e.Span(), delim);
            if (IsSmaller(e, smallest, delim, ignoreCase != 0))
                smallest = e;
        }
        const std::size_t span = smallest.Span();
        std::memcpy(out, smallest.start, span);
        out += span;
        std::memmove(smallest.start, smallest.start + span, std::strlen(smallest.start + span) + 1);
        if (!smallest.delimited && *rest != '\0')
            *out++ = delim;
    }
    *out = '\0';
    PutMem(copy);
}
