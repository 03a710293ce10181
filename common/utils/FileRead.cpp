// Reading files: the line readers of the current input file (pIn) and the
// whole-file reads into LineBuf, a caller's buffer or memory from GetMem.
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FilePath.h"
#include "MemMgr.h"
#include "utils.h"

char Line[262143];
char* pLine = nullptr;
char LineBuf[4096];
int LineCnt = 0;
int InPos = 0;
int LineLen = 0;
int SavedFileSize = 0;
bool flInputFilterState = true;

namespace {

// A physical line holds at most 510 characters and its line end; the rest
// of a longer one comes as the next line.
constexpr int kPhysicalLine = 511;
// After GetLine, Line holds its line followed by NULs up to here.
constexpr size_t kPaddedLine = 512;

void PadLine()
{
    size_t len = strlen(Line);
    memset(Line + len, 0, kPaddedLine - len);
}

int EndOfLines()
{
    Line[0] = '\0';
    PadLine();
    return 0;
}

void RemoveFront(char* text, size_t count)
{
    memmove(text, text + count, strlen(text + count) + 1);
}

// Drops leading white space (also the line end of a blank line); false
// when nothing is left.
bool SkipLeadingSpace(char* text)
{
    size_t count = 0;
    while (isspace(static_cast<unsigned char>(text[count])))
        ++count;
    RemoveFront(text, count);
    return text[0] != '\0';
}

// One pass of the comment filter over the physical line in Line. A comment
// opened on an earlier line ends at the first "*/"; a "/*" of this line
// either ends on it (the text after the "*/" joins the text before the
// "/*") or leaves the comment open. False when the line turned empty.
bool FilterLine(bool& commentOpen)
{
    if (commentOpen) {
        if (char* end = strstr(Line, "*/")) {
            RemoveFront(Line, end + 2 - Line);
            commentOpen = false;
        }
    }
    if (char* note = strstr(Line, "//"))
        *note = '\0';
    if (!SkipLeadingSpace(Line))
        return false;
    if (char* start = strstr(Line, "/*")) {
        if (char* end = strstr(start + 2, "*/")) {
            RemoveFront(start, end + 2 - start);
        } else {
            *start = '\0';
            commentOpen = true;
        }
    }
    return true;
}

bool ContinuesOnNextLine(const char* part)
{
    return strstr(part, "\\\n") != nullptr;
}

// Reads up to size bytes from fd; the count read, or -1 on a read error.
long ReadAll(int fd, char* buf, long size)
{
    long got = 0;
    while (got < size) {
        ssize_t n = read(fd, buf + got, size - got);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        got += n;
    }
    return got;
}

// At most size bytes of the file into buf, followed by a NUL (buf holds
// size + 1 bytes). 0 when the file cannot be opened or read, or is no
// plain file: a pipe would hold the reader up for ever, a device gives
// endless or changing bytes, and a directory opens but cannot be read.
int ReadFileInto(const char* dir, const char* name, char* buf, long size)
{
    PathBuf path;
    if (!JoinPath(path, dir, name))
        return 0;
    int fd = open(path.data(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    struct stat st;
    long got = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? ReadAll(fd, buf, size) : -1;
    close(fd);
    if (got < 0) {
        buf[0] = '\0';
        return 0;
    }
    buf[got] = '\0';
    return 1;
}

}  // namespace

int GetLine()
{
    LineCnt = 0;
    pLine = Line;
    if (!pIn)
        return EndOfLines();
    InPos = static_cast<int>(ftell(pIn));
    if (!fgets(Line, kPhysicalLine, pIn))
        return EndOfLines();
    bool commentOpen = false;
    for (;;) {
        ++LineCnt;
        if (!flInputFilterState)
            break;
        if (!FilterLine(commentOpen))
            break;
        if (!commentOpen) {
            Line[strcspn(Line, "\r\n")] = '\0';
            break;
        }
        // A comment opened on the second line does not carry over: that
        // line is given as it stands, line end included.
        if (LineCnt > 1)
            break;
        InPos = static_cast<int>(ftell(pIn));
        if (!fgets(Line, kPhysicalLine, pIn))
            return EndOfLines();
    }
    PadLine();
    return LineCnt;
}

int GetLineN(int n)
{
    int result = 0;
    for (int i = 0; i < n; ++i) {
        result = GetLine();
        if (result == 0)
            break;
    }
    return result;
}

int GetLinePos(long pos)
{
    if (!pIn || fseek(pIn, pos, SEEK_SET) != 0) {
        LineCnt = 0;
        pLine = Line;
        return EndOfLines();
    }
    return GetLine();
}

char* fgetsp(char* buf, int size, FILE* file, long pos)
{
    if (!buf || !file || size <= 0 || fseek(file, pos, SEEK_SET) != 0)
        return nullptr;
    return fgets(buf, size, file);
}

// A continued line that does not fit LineBuf is given as far as it fits;
// what is left of it comes with the following calls, so nothing is lost.
int GetFileLine()
{
    if (!pIn)
        return 0;
    LineLen = 0;
    if (!fgets(LineBuf, kPhysicalLine, pIn)) {
        LineBuf[0] = '\0';
        CloseInputFile();
        return 0;
    }
    size_t partStart = 0;
    while (ContinuesOnNextLine(LineBuf + partStart)) {
        size_t used = partStart + strlen(LineBuf + partStart);
        if (used + 1 >= sizeof LineBuf)
            break;
        if (!fgets(LineBuf + used, static_cast<int>(sizeof LineBuf - used), pIn))
            break;
        LineLen = static_cast<int>(used);
        partStart = used;
    }
    return 1;
}

// The token is cut the way strtok cuts its first one: leading delimiters
// skipped, the token ended by the next delimiter.
int GetFileTextLine(const char* delims)
{
    if (!delims)
        return 0;
    while (GetFileLine()) {
        if (LineBuf[0] == '#')
            continue;
        size_t start = strspn(LineBuf, delims);
        if (LineBuf[start] == '\0')
            continue;
        size_t length = strcspn(LineBuf + start, delims);
        memmove(LineBuf, LineBuf + start, length);
        LineBuf[length] = '\0';
        return 1;
    }
    return 0;
}

int GetFileContent(const char* dir, const char* name)
{
    return ReadFileInto(dir, name, LineBuf, sizeof LineBuf - 1);
}

int GetFileContentR(const char* dir, const char* name, char* buf, int size)
{
    if (!buf || size < 0)
        return 0;
    return ReadFileInto(dir, name, buf, size);
}

char* GetSavedFileContent(const char* dir, const char* name)
{
    SavedFileSize = 0;
    PathBuf path;
    if (!JoinPath(path, dir, name))
        return nullptr;
    long size = GetFileSize(path.data());
    SavedFileSize = static_cast<int>(size < INT_MAX ? size : INT_MAX);
    if (size <= 0)
        return nullptr;
    char* text = size < INT_MAX ? static_cast<char*>(GetMem(static_cast<int>(size) + 1)) : nullptr;
    if (!text) {
        ErrorMsg(1, 0, "Unable to allocate memory");
        return nullptr;
    }
    // The memory comes zero-filled, so a file of one byte is an empty text.
    if (size == 1)
        return text;
    int fd = open(path.data(), O_RDONLY | O_CLOEXEC);
    long got = fd < 0 ? -1 : ReadAll(fd, text, size);
    if (fd >= 0)
        close(fd);
    // A file that cannot be read gives nothing (its size stays known); one
    // that shrank since its size was taken gives what it now holds.
    if (got <= 0) {
        PutMem(text);
        if (got == 0)
            SavedFileSize = 0;
        return nullptr;
    }
    text[got] = '\0';
    SavedFileSize = static_cast<int>(got);
    return text;
}
