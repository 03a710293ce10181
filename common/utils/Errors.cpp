// Reporting and process exits: warnings, fatal errors with the system's
// error text, and the program's base name in front of them.
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "utils.h"

char* my_name = nullptr;

namespace {

// The base name to show; before the entry has set my_name (or in a program
// that never does) the name the process was started with stands in.
const char* ShownName()
{
    return my_name != nullptr ? my_name : program_invocation_short_name;
}

}  // namespace

void SysError(const char* format, ...)
{
    const int err = errno;
    std::fprintf(stderr, "\n%s: ", ShownName());
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fprintf(stderr, " : %s\n", std::strerror(err));
    std::exit(1);
}

void ErrorMsg(int level, int status, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vsnprintf(Line, sizeof Line, format, args);
    va_end(args);
    if (level == 1) {
        std::fprintf(stderr, "WARNING: %s\n", Line);
    } else if (level == 2) {
        std::fprintf(stderr, "ERROR: %s\n", Line);
        std::exit(status);
    }
}

void errormsg(const char* format, ...)
{
    std::fprintf(stderr, "%s: ", ShownName());
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
}

void exit_app(int status)
{
    std::exit(status);
}
