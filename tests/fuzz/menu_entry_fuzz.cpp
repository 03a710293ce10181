// Entry checks with any format and any entry: the bytes up to the first NUL
// are the format, the rest the entry. Messages go to /dev/null and their
// waits for Return read the end of /dev/null.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "TextMenu.h"
#include "utils.h"

namespace {

void Check(bool ok, const char* what)
{
    if (!ok) {
        fprintf(stderr, "broken: %s\n", what);
        abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    Check(freopen("/dev/null", "r", stdin) != nullptr, "stdin");
    Check(freopen("/dev/null", "w", stdout) != nullptr, "stdout");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* bytes = reinterpret_cast<const char*>(data);
    const char* split = static_cast<const char*>(memchr(bytes, '\0', size));
    const std::string format(bytes, split ? static_cast<size_t>(split - bytes) : size);
    const std::string entry = split ? std::string(split + 1, bytes + size) : std::string();
    const char* entryText = entry.c_str();

    const int code = ValidateEntry(entryText, format.c_str());
    Check(code >= 0 && code <= 4, "verdict code");
    const int tty = ValidateEntryTty(entryText, format.c_str());
    Check(tty == 0 || tty == 2 || tty == 3, "digit code verdict");
    int min = 0;
    getMinMax(format.c_str(), &min);
    return 0;
}
