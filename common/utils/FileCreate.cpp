// Files the program writes itself: a text file in one go, and a fresh file
// that nothing planted at its name can redirect.
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "utils.h"

int CreateTextFile(const char* path, const char* mode, int permissions, const char* format, ...)
{
    FILE* file = path && mode ? fopen(path, mode) : nullptr;
    if (!file) {
        fprintf(stderr, "ERROR: couldn't open %s\n", path ? path : "");
        return 0;
    }
    va_list args;
    va_start(args, format);
    bool written = vfprintf(file, format, args) >= 0;
    va_end(args);
    if (fflush(file) != 0)
        written = false;
    if (permissions != 0 && fchmod(fileno(file), static_cast<mode_t>(permissions)) != 0)
        written = false;
    if (fclose(file) != 0)
        written = false;
    if (!written) {
        fprintf(stderr, "ERROR: couldn't write %s\n", path);
        return 0;
    }
    return 1;
}

// The file is made with no access for others and only then given its mode,
// on the open descriptor: nobody can open it in between, and the mask does
// not change the mode asked for.
int CreateFreshFile(const char* path, int mode)
{
    struct stat st;
    if (lstat(path, &st) == 0 && !S_ISDIR(st.st_mode))
        unlink(path);
    const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return -1;
    if (fchmod(fd, static_cast<mode_t>(mode)) != 0) {
        const int err = errno;
        close(fd);
        errno = err;
        return -1;
    }
    return fd;
}

FILE* CreateFreshStream(const char* path, int mode)
{
    const int fd = CreateFreshFile(path, mode);
    if (fd < 0)
        return nullptr;
    FILE* file = fdopen(fd, "w");
    if (!file) {
        const int err = errno;
        close(fd);
        errno = err;
    }
    return file;
}
