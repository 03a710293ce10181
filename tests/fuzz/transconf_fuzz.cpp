// trans.conf on arbitrary text: normalised into outputs of several sizes,
// each an allocation of exactly that size so that a write past it is
// caught, then searched for a LANG value taken from the text itself.
#include "NlsUtils.h"
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

// Every word is followed by a blank, so no line of the table starts with
// one and no two blanks meet.
void CheckTable(const char* table, int length, int size)
{
    Check(length >= 0 && length < size && static_cast<int>(strlen(table)) == length);
    Check(strstr(table, "  ") == nullptr && strstr(table, "\n ") == nullptr);
    Check(length == 0 || table[length - 1] == ' ' || table[length - 1] == '\n');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const int length = static_cast<int>(size);

    std::vector<char> full(NLS_TABLE_SIZE);
    const int n = NormalizeTransTable(text.c_str(), length, full.data(), NLS_TABLE_SIZE);
    CheckTable(full.data(), n, NLS_TABLE_SIZE);

    // A small output holds a leading part of the full table.
    const int small = 1 + (size ? data[0] % 64 : 0);
    std::vector<char> part(small);
    const int m = NormalizeTransTable(text.c_str(), length, part.data(), small);
    CheckTable(part.data(), m, small);
    Check(m <= n && strncmp(part.data(), full.data(), m) == 0);

    // LANG: the text's last word, or unset for an empty text.
    const size_t start = text.find_last_of(" \t\r\n");
    const std::string lang = text.substr(start == std::string::npos ? 0 : start + 1);
    for (int bufSize : {1, 6, TOKEN_BUF_SIZE}) {
        std::vector<char> buf(bufSize);
        char* chosen = LookupTransLang(full.data(), size ? lang.c_str() : nullptr, buf.data(), bufSize);
        Check(chosen == buf.data() && static_cast<int>(strlen(chosen)) < bufSize);
    }
    return 0;
}
