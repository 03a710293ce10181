// Path helpers and text clean-up on arbitrary bytes, as paths given on the
// command line may hold anything.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "utils.h"

namespace {

void Require(bool ok)
{
    if (!ok)
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const char* path = text.c_str();

    Require(std::strlen(StripExt(path)) <= 127);
    Require(std::strlen(StripPath(path)) <= 127);
    Require(std::strlen(StripPathExt(path)) <= 127);
    Require(std::strlen(StripPathName(path)) <= 127);
    const char* dir = StripFn(path);
    Require(std::strlen(dir) <= 255 && *dir != '\0');

    std::string copy = text;
    const char* stripped = StripAllBackslashes(copy.data());
    Require(std::strchr(stripped, '\\') == nullptr);

    copy = text;
    const char* printable = StripNonPrint(copy.data(), static_cast<int>(size & 1));
    for (const char* p = printable; *p != '\0'; ++p) {
        const auto ch = static_cast<unsigned char>(*p);
        Require(ch >= 0x20 || ch == '\n' || ch == '\r');
        Require(ch != 0x7F);
    }

    // Search the text for its own second half, found where it starts at the
    // latest (an empty half is never found).
    const char* half = path + std::strlen(path) / 2;
    const char* hit = StrStr(path, half);
    Require(*half == '\0' ? hit == nullptr : hit != nullptr && hit <= half);
    Require(StrCaseStr(path, half) == nullptr || *half != '\0');
    return 0;
}
