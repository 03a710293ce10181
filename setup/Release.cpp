// Releases of the operating system: read from "uname -r" and compared as
// numbers, component by component, so that 5.10 and 5.11 come after 5.6
// and 5.8.
#include <cstring>

#include "Installer.h"
#include "MemMgr.h"
#include "SysCmd.h"
#include "utils.h"

namespace {

// Splits off the component of text before its first '.'.
std::string_view TakeComponent(std::string_view& text)
{
    const size_t dot = text.find('.');
    std::string_view component = text.substr(0, dot);
    text.remove_prefix(dot == std::string_view::npos ? text.size() : dot + 1);
    return component;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

int Sign(int value)
{
    return (value > 0) - (value < 0);
}

// Compares the leading numbers of two components as numbers of any length:
// without leading zeros, the longer one is the larger; as long, the text
// decides. The numbers are taken off the components.
int CompareLeadingNumbers(std::string_view& a, std::string_view& b)
{
    auto takeNumber = [](std::string_view& text) {
        size_t end = 0;
        while (end < text.size() && IsDigit(text[end]))
            ++end;
        std::string_view number = text.substr(0, end);
        text.remove_prefix(end);
        while (!number.empty() && number.front() == '0')
            number.remove_prefix(1);
        return number;
    };
    std::string_view na = takeNumber(a);
    std::string_view nb = takeNumber(b);
    if (na.size() != nb.size())
        return na.size() < nb.size() ? -1 : 1;
    return Sign(na.compare(nb));
}

}  // namespace

int CompareRelease(std::string_view a, std::string_view b)
{
    while (!a.empty() || !b.empty()) {
        std::string_view ca = TakeComponent(a);
        std::string_view cb = TakeComponent(b);
        if (int order = CompareLeadingNumbers(ca, cb))
            return order;
        if (int order = Sign(ca.compare(cb)))
            return order;
    }
    return 0;
}

int ReleaseConditionHolds(std::string_view op, std::string_view running, std::string_view wanted)
{
    const int order = CompareRelease(running, wanted);
    if (op == "<")
        return order < 0;
    if (op == "<=")
        return order <= 0;
    if (op == "=")
        return order == 0;
    if (op == ">")
        return order > 0;
    if (op == ">=")
        return order >= 0;
    return -1;
}

char* GetSystemRelease()
{
    ResponseNode* response = GetCmdResponse(CMD_UNAME, nullptr, " -r");
    char* release = nullptr;
    if (response) {
        const char* line = response->pLine;
        const char* delims = " \t\r\n";
        line += strspn(line, delims);
        const size_t length = strcspn(line, delims);
        if (length > 0)
            release = SaveStr("%.*s", static_cast<int>(length), line);
    }
    FreeResponseList(response);
    return release;
}
