// Commands the installer runs straight through the shell, outside the
// command table: the package tools by their full paths and the product's
// own programs.
#include <cerrno>
#include <cstdarg>

#include "Installer.h"
#include "SysCmd.h"

int RunDirect(const char* format, ...)
{
    CmdLine line;
    va_list args;
    va_start(args, format);
    line.AddV(format, args);
    va_end(args);
    // A line that does not fit is not run cut short.
    if (line.overflow) {
        InstallerWarning("command line too long: %.60s...", line.text);
        return E2BIG;
    }
    return RunShellCmd(line.text, nullptr, 0);
}
