// qdb's text form of keys and data.
#include "qdb_text.h"

#include "HexDigit.h"

#include <cstdio>

namespace qdb {

std::string Escape(std::string_view bytes)
{
    static const char hex[] = "0123456789abcdef";
    std::string text;
    for (unsigned char c : bytes) {
        switch (c) {
        case '\\': text += "\\\\"; break;
        case '\t': text += "\\t"; break;
        case '\n': text += "\\n"; break;
        case '\r': text += "\\r"; break;
        default:
            if (c < 32 || c >= 127) {
                text += "\\x";
                text += hex[c >> 4];
                text += hex[c & 15];
            } else {
                text += static_cast<char>(c);
            }
        }
    }
    return text;
}

bool Unescape(std::string_view text, std::string& bytes, std::string& why)
{
    bytes.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            bytes += text[i];
            continue;
        }
        if (++i == text.size()) {
            why = "a backslash ends the text";
            return false;
        }
        switch (text[i]) {
        case '\\': bytes += '\\'; break;
        case 't': bytes += '\t'; break;
        case 'n': bytes += '\n'; break;
        case 'r': bytes += '\r'; break;
        case 'x': {
            const int high = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
            const int low = i + 2 < text.size() ? HexDigit(text[i + 2]) : -1;
            if (high < 0 || low < 0) {
                why = "\\x needs two hex digits";
                return false;
            }
            bytes += static_cast<char>(high * 16 + low);
            i += 2;
            break;
        }
        default:
            why = std::string("unknown escape \\") + text[i];
            return false;
        }
    }
    return true;
}

void HexDump(std::string_view bytes)
{
    for (size_t line = 0; line < bytes.size(); line += 16) {
        printf("%08zx ", line);
        std::string shown;
        for (size_t i = line; i < line + 16; ++i) {
            if (i < bytes.size()) {
                const auto c = static_cast<unsigned char>(bytes[i]);
                printf(" %02x", c);
                shown += c >= 32 && c < 127 ? static_cast<char>(c) : '.';
            } else {
                printf("   ");
            }
        }
        printf("  |%s|\n", shown.c_str());
    }
}

}  // namespace qdb
