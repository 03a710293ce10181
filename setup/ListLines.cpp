// Reading the installer's lists (the placement list and the package map)
// line by line, and the warning about what of them is passed over.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "Installer.h"
#include "utils.h"

namespace {

// Longest line of a list: what one physical line of LineBuf holds.
constexpr int LIST_LINE_MAX = 510;

}  // namespace

int GetListLine(bool* overlong)
{
    *overlong = false;
    if (!GetFileLine())
        return 0;
    const size_t length = strlen(LineBuf);
    if ((length > 0 && LineBuf[length - 1] == '\n') || !pIn || feof(pIn))
        return 1;
    int c = getc(pIn);
    if (c == EOF || c == '\n')
        return 1;
    // The line goes on beyond what LineBuf took: the rest of it, and of the
    // lines it continues on, is dropped.
    int previous = length > 0 ? LineBuf[length - 1] : 0;
    while (c != EOF && !(c == '\n' && previous != '\\')) {
        previous = c;
        c = getc(pIn);
    }
    *overlong = true;
    InstallerWarning("a line of %s longer than %d characters is passed over", InputFileName,
                     LIST_LINE_MAX);
    return 1;
}

void InstallerWarning(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vsnprintf(Line, sizeof Line, format, args);
    va_end(args);
    PutLogMsg("WARNING_MSG: %s\n", Line);
    fprintf(stderr, "WARNING: %s\n", Line);
}
