// The log: /tmp/<my_name>.log holds exactly the texts logged, in order,
// between the output that logged commands append to it. The program runs
// as root while /tmp is open to everyone, so the log is never reached
// through a link or taken over from another file: it is created
// exclusively and written only while it is a plain file of its own, owned
// by the running user.
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FilePath.h"
#include "utils.h"

bool flUseLog = false;
const char* pLogPath = "/tmp";
FILE* pLog = nullptr;

namespace {

// The first message of the process empties the log of an earlier run.
bool flFirstLogMsg = true;

// Before the program has set my_name the name it was started with stands in.
const char* LogName()
{
    return my_name != nullptr ? my_name : program_invocation_short_name;
}

// The log's path; false (after reporting) when it is too long for a path.
bool LogFilePath(PathBuf& path)
{
    pLogPath = "/tmp";
    int n = snprintf(path.data(), path.size(), "%s/%s.log", pLogPath, LogName());
    if (n < 0 || static_cast<size_t>(n) >= path.size()) {
        fprintf(stderr, "ERROR: couldn't open %s\n", path.data());
        return false;
    }
    return true;
}

// Opens the log for appending. A missing log is created exclusively,
// readable and writable by everyone. A plain file that another user owns,
// or that has a second name, is replaced by a new one of this process: its
// owner could otherwise swap it for a link between two logged commands, and
// the shell would follow that link when it appends a command's output by
// name. In the sticky /tmp nobody else can replace a file of the program's
// own. A link, a pipe, a directory or anything else but a plain file is
// refused and left alone. The descriptor, or -1 after reporting.
int OpenLog(const char* path)
{
    int fd = open(path, O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    bool fresh = fd < 0 && errno == ENOENT;
    if (fd >= 0) {
        struct stat st;
        if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            close(fd);
            fd = -1;
        } else if (st.st_uid != geteuid() || st.st_nlink != 1) {
            close(fd);
            fd = -1;
            fresh = true;
        }
    }
    // The creation mask must not narrow what commands run by other users
    // may add: the new file gets its mode on its own descriptor.
    if (fresh)
        fd = CreateFreshFile(path, 0666);
    if (fd < 0)
        fprintf(stderr, "ERROR: couldn't open %s\n", path);
    return fd;
}

}  // namespace

void PutLogMsg(const char* format, ...)
{
    if (!flUseLog)
        return;
    const bool truncate = flFirstLogMsg;
    flFirstLogMsg = false;
    PathBuf path;
    if (!LogFilePath(path))
        return;
    int fd = OpenLog(path.data());
    if (fd < 0)
        return;
    if (truncate && ftruncate(fd, 0) != 0) {
        close(fd);
        fprintf(stderr, "ERROR: couldn't write %s\n", path.data());
        return;
    }
    pLog = fdopen(fd, "a");
    if (!pLog) {
        close(fd);
        fprintf(stderr, "ERROR: couldn't open %s\n", path.data());
        return;
    }
    va_list args;
    va_start(args, format);
    bool written = vfprintf(pLog, format, args) >= 0;
    va_end(args);
    if (fclose(pLog) != 0)
        written = false;
    pLog = nullptr;
    if (!written)
        fprintf(stderr, "ERROR: couldn't write %s\n", path.data());
}

const char* PrepareLogFile()
{
    static PathBuf path;
    if (!LogFilePath(path))
        return nullptr;
    int fd = OpenLog(path.data());
    if (fd < 0)
        return nullptr;
    close(fd);
    return path.data();
}
