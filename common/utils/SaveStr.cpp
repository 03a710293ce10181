// The string store: every string that outlives its call is a saved string
// from GetMem, given back with PutMem by its owner.
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "MemMgr.h"
#include "utils.h"

namespace {

// The message of every failure to save a string, the memory manager's own.
constexpr const char* kNoMemory = "Unable to allocate memory";

// Formats into a new saved string sized to fit the text exactly, so that no
// argument, however long, can overrun a work buffer. A text that cannot be
// formatted or stored ends the process like an allocation failure: callers
// of the string store never see a null result.
char* VSaveStr(const char* format, va_list args)
{
    va_list sizing;
    va_copy(sizing, args);
    int len = std::vsnprintf(nullptr, 0, format, sizing);
    va_end(sizing);
    if (len < 0 || len == INT_MAX) {
        if (len == INT_MAX)
            errno = EOVERFLOW;
        SysError("%s", kNoMemory);
    }
    auto* str = static_cast<char*>(GetMem(len + 1));
    if (str == nullptr)
        SysError("%s", kNoMemory);
    std::vsnprintf(str, static_cast<size_t>(len) + 1, format, args);
    return str;
}

}  // namespace

char* SaveStr(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    char* str = VSaveStr(format, args);
    va_end(args);
    return str;
}

char* SaveStr__(const char* format, ...)
{
    if (format == nullptr)
        return nullptr;
    va_list args;
    va_start(args, format);
    char* str = VSaveStr(format, args);
    va_end(args);
    return str;
}

char* SaveStr_(const char* str)
{
    return str == nullptr ? nullptr : SaveStr_(std::string_view(str));
}

char* SaveStr_(std::string_view text)
{
    if (text.size() >= INT_MAX) {
        errno = EOVERFLOW;
        SysError("%s", kNoMemory);
    }
    auto* copy = static_cast<char*>(GetMem(static_cast<int>(text.size()) + 1));
    if (copy == nullptr)
        SysError("%s", kNoMemory);
    if (!text.empty())
        std::memcpy(copy, text.data(), text.size());
    return copy;
}
