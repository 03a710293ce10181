// The token reader on arbitrary text: the first byte gives how many of the
// following bytes (0 to 7) form the delimiter set, the rest is the text.
#include "utils.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

// A writable, NUL-terminated heap copy with extra room, so any write past
// its end is caught.
std::vector<char> Copy(const std::string& s, std::size_t extra = 0)
{
    std::vector<char> v(s.begin(), s.end());
    v.resize(s.size() + 1 + extra, '\0');
    return v;
}

void ReadCursor(const char* text, const char* delims)
{
    for (char* t = GetToken(text, delims); t; t = GetToken(nullptr, delims))
        Check(t == GetTokenBuf && std::strlen(t) <= TOKEN_MAX);
    Check(*GetTokenBufInput() == '\0');

    // Line mode: a null may only mean a line end, so go on until the end.
    GetToken(text, delims);
    while (GetToken(TOKEN_LINEMODE, delims) || *GetTokenBufInput() != '\0') {
    }

    const int count = GetTokenCount(text, delims);
    Check(count == 0 || GetTokenN(text, delims, count) != nullptr);
    Check(GetTokenN(text, delims, count + 1) == nullptr);

    std::vector<char> buf(TOKEN_BUF_SIZE);
    const char* pos = text;
    int own = 0;
    while (GetTokenD(nullptr, delims, &pos, buf.data()))
        ++own;
    Check(own == count);
}

void Split(const std::string& text, const char* delims)
{
    std::vector<char> parsed = Copy(text);
    for (char* t = GetTokenParse(parsed.data(), delims); t; t = GetTokenParse(nullptr, delims))
        Check(*t != '\0');

    std::vector<char> fields = Copy(text);
    char* slots[8];
    const int n = ParseStr(fields.data(), delims, slots, 8);
    Check(n >= 0 && n <= 8);
    for (int i = 0; i < n; ++i)
        Check(*slots[i] != '\0');
}

void LookUp(const std::string& text, char delim)
{
    // Try each element of the text as a list, and a few slices of it.
    const char* list = text.c_str();
    for (std::size_t cut = 0; cut <= text.size(); cut += 1 + text.size() / 4) {
        const std::string element = text.substr(cut, text.size() / 3);
        const int exact = FindToken(element.c_str(), list);
        const int anyCase = FindTokenC(element.c_str(), list);
        Check(exact == 0 || (anyCase >= 1 && anyCase <= exact));
        FindTokenWithDelim(list, element.c_str(), delim);
    }

    std::vector<char> sorted = Copy(text, 1);
    const std::size_t before = std::strlen(sorted.data());
    SortTokens(sorted.data(), delim, text.size() % 2);
    const std::size_t after = std::strlen(sorted.data());
    Check(after == before || after == before + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t delimCount = std::min<std::size_t>(data[0] % 8, size - 1);
    const std::string delims(reinterpret_cast<const char*>(data + 1), delimCount);
    const std::string raw(reinterpret_cast<const char*>(data + 1 + delimCount), size - 1 - delimCount);
    const std::string text(raw.c_str());   // a text ends at its first NUL

    ReadCursor(text.c_str(), delims.c_str());
    Split(text, delims.c_str());
    LookUp(text, delims.empty() ? ',' : delims[0]);
    return 0;
}
