// Opening files: plain handles with a reporting level, descriptors, and the
// one current input file that the line readers and in-place editing share.
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <fcntl.h>

#include "FilePath.h"
#include "utils.h"

FILE* pIn = nullptr;
FILE* pOut = nullptr;
char InputFileName[256];
int FileStatus = 0;
char Fn[128];
char FnOut[128];

namespace {

void ReportOpenFailure(const char* path, int level)
{
    if (level == 2)
        SysError("can't open file, %s", path);
    if (level == 1)
        fprintf(stderr, "ERROR: can't open file, %s\n", path);
}

// Formats an opening path into buf; false (errno ENAMETOOLONG) when it does
// not fit. Opening a cut path could open, or create, some other file.
bool FormatOpenPath(FormattedPath& buf, const char* format, va_list args)
{
    int n = vsnprintf(buf.data(), buf.size(), format, args);
    if (n < 0 || static_cast<size_t>(n) >= buf.size()) {
        errno = ENAMETOOLONG;
        return false;
    }
    return true;
}

// The current input could not be opened: the state says so, and the level
// decides the report (level 2 ends the process with status 0).
int InputOpenFailed(const char* path, int level)
{
    int err = errno;
    // ErrorMsg formats into Line, and the name may have been read into Line
    // or LineBuf: report a copy.
    PathBuf name;
    snprintf(name.data(), name.size(), "%s", path);
    FileStatus = 2;
    LineBuf[0] = '\0';
    LineLen = 0;
    errno = err;
    ErrorMsg(level, 0, "can't open file, %s", name.data());
    return 0;
}

// Bounded copy; path may be InputFileName itself (re-opening the input).
void SetInputFileName(const char* path)
{
    size_t length = strnlen(path, sizeof InputFileName - 1);
    memmove(InputFileName, path, length);
    InputFileName[length] = '\0';
}

}  // namespace

FILE* OpenFile(FILE* prev, const char* path, const char* mode, int level)
{
    if (prev)
        fclose(prev);
    if (!path)
        path = "";
    FILE* file = nullptr;
    if (mode)
        file = fopen(path, mode);
    else
        errno = EINVAL;
    if (!file)
        ReportOpenFailure(path, level);
    return file;
}

FILE* OpenFileF(FILE* prev, const char* mode, int level, const char* format, ...)
{
    FormattedPath path;
    va_list args;
    va_start(args, format);
    bool fits = FormatOpenPath(path, format, args);
    va_end(args);
    if (fits)
        return OpenFile(prev, path.data(), mode, level);
    if (prev)
        fclose(prev);
    ReportOpenFailure(path.data(), level);
    return nullptr;
}

int OpenRawFile(const char* path, int flags)
{
    if (!path)
        path = "";
    // The permission bits only count when flags create the file.
    int fd = open(path, flags, 0666);
    if (fd < 0)
        printf("ERROR: can't open file, %s", path);
    return fd;
}

int OpenInputFile(const char* path, int level)
{
    if (!path)
        path = "";
    SetInputFileName(path);
    CloseInputFile();
    pIn = fopen(path, "rt");
    if (!pIn)
        return InputOpenFailed(path, level);
    FileStatus = 0;
    return 1;
}

int OpenInputFileF(int level, const char* format, ...)
{
    FormattedPath path;
    va_list args;
    va_start(args, format);
    bool fits = FormatOpenPath(path, format, args);
    va_end(args);
    if (fits)
        return OpenInputFile(path.data(), level);
    SetInputFileName(path.data());
    CloseInputFile();
    return InputOpenFailed(path.data(), level);
}

void CloseInputFile()
{
    if (!pIn)
        return;
    fclose(pIn);
    pIn = nullptr;
    FileStatus = 1;
}
