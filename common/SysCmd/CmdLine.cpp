// Building command lines: every command the library and the installer run
// through the shell is put together here, so that none is ever run cut.
#include <algorithm>
#include <cstdio>

#include "SysCmd.h"

CmdLine::CmdLine(int limit) : limit(std::clamp(limit, 1, SYSCMD_LINE_SIZE)) {}

void CmdLine::AddV(const char* format, va_list args)
{
    if (overflow)
        return;
    const int room = limit - length;
    const int n = vsnprintf(text + length, static_cast<size_t>(room), format, args);
    if (n < 0 || n >= room) {
        overflow = true;
        length = limit - 1;
        text[length] = '\0';
        return;
    }
    length += n;
}

void CmdLine::Add(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    AddV(format, args);
    va_end(args);
}

void CmdLine::AddCmd(int row)
{
    const ComRow& entry = RequireCmd(row);
    Add("%s/%s %s ", entry.Path, entry.Name, entry.Flags);
}
