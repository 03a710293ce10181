// Changing a database file: the directories it needs, the writers' lock,
// the scratch copy of each writer's own and its move over the database.
// No name is ever handed to a shell: everything here is a system call.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Dbm.h"
#include "DbmImpl.h"
#include "utils.h"

namespace {

bool Join(char* path, const char* dir, const char* name, const char* suffix = "")
{
    const int n = snprintf(path, dbm::PATH_BUF, "%s/%s%s", dir, name, suffix);
    return n >= 0 && n < dbm::PATH_BUF;
}

mode_t CreationMask()
{
    const mode_t mask = umask(0);
    umask(mask);
    return mask;
}

bool MakeDirectory(const char* path)
{
    struct stat st;
    if (mkdir(path, 0777) == 0 || (errno == EEXIST && stat(path, &st) == 0 && S_ISDIR(st.st_mode)))
        return true;
    fprintf(stderr, "ERROR: can't make directory %s: %s\n", path, strerror(errno));
    return false;
}

// The directory and every missing parent, as "mkdir -p" makes them.
bool MakeDirectories(const char* dir)
{
    struct stat st;
    if (stat(dir, &st) == 0 && S_ISDIR(st.st_mode))
        return true;
    char path[dbm::PATH_BUF];
    const int n = snprintf(path, sizeof path, "%s", dir);
    if (n < 0 || n >= dbm::PATH_BUF)
        return false;
    for (char* slash = strchr(path + 1, '/'); slash; slash = strchr(slash + 1, '/')) {
        *slash = '\0';
        const bool made = MakeDirectory(path);
        *slash = '/';
        if (!made)
            return false;
    }
    return MakeDirectory(path);
}

// The scratch copy that OpenNewDataBase made last, for RenameDataBase.
struct Loose {
    char name[dbm::PATH_BUF];
    char path[dbm::PATH_BUF];
} loose;

}  // namespace

namespace dbm {

// The suite's tools run in their tool directory, where "db" holds the
// databases shared by all of them (hence open to all) and where
// DbmGetDbList and DumpDbm look. The test is on the current directory,
// whatever pToolPath says and however the database is named.
bool MakeDbDirectory()
{
    if (FindFile(".", "db"))
        return true;
    char path[PATH_BUF];
    if (!getcwd(path, sizeof path - 3))
        snprintf(path, sizeof path, ".");
    strcat(path, "/db");
    return MakeDirectory(path);
}

// The lock file is never removed: a writer waiting on it would otherwise
// lock a file that the next writer no longer sees. It holds nothing, so
// everyone may read it, which is all flock needs.
bool WriterLock::Take(const char* name)
{
    Release();
    Place place;
    char path[PATH_BUF];
    if (!ScratchPlace(place, name, "qdb_new", "qdb") || !Join(path, place.dir, place.to, ".lock")) {
        fprintf(stderr, "ERROR: no place for a new copy of database %s\n", name ? name : "");
        return false;
    }
    if (!MakeDirectories(place.dir))
        return false;
    int fd = open(path, O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0 && errno == ENOENT) {
        fd = open(path, O_RDONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd >= 0)
            fchmod(fd, (0666 & ~CreationMask()) | 0444);
        else if (errno == EEXIST)
            fd = open(path, O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    }
    if (fd < 0) {
        fprintf(stderr, "ERROR: can't open lock %s: %s\n", path, strerror(errno));
        return false;
    }
    while (flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            fprintf(stderr, "ERROR: can't lock %s: %s\n", path, strerror(errno));
            close(fd);
            return false;
        }
    }
    fd_ = fd;
    return true;
}

void WriterLock::Release()
{
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
}

int WriterLock::Detach()
{
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

FILE* CreateScratch(const char* name, char* path)
{
    path[0] = '\0';
    Place place;
    if (!ScratchPlace(place, name, "qdb_new", "qdb")) {
        fprintf(stderr, "ERROR: no place for a new copy of database %s\n", name ? name : "");
        return nullptr;
    }
    char pattern[PATH_BUF];
    if (!Join(pattern, place.dir, place.from, ".XXXXXX")) {
        fprintf(stderr, "ERROR: no place for a new copy of database %s\n", name);
        return nullptr;
    }
    if (!MakeDirectories(place.dir))
        return nullptr;
    const int fd = mkostemp(pattern, O_CLOEXEC);
    if (fd < 0) {
        fprintf(stderr, "ERROR: can't create %s: %s\n", pattern, strerror(errno));
        return nullptr;
    }
    FILE* file = nullptr;
    if (fchmod(fd, 0666 & ~CreationMask()) != 0 || !(file = fdopen(fd, "wb"))) {
        fprintf(stderr, "ERROR: can't create %s: %s\n", pattern, strerror(errno));
        close(fd);
        unlink(pattern);
        return nullptr;
    }
    memcpy(path, pattern, strlen(pattern) + 1);
    return file;
}

int MoveOver(const char* from, const char* to)
{
    if (rename(from, to) != 0) {
        fprintf(stderr, "ERROR: can't move %s to %s: %s\n", from, to, strerror(errno));
        return 0;
    }
    return 1;
}

Change::~Change()
{
    if (scratch_)
        fclose(scratch_);
    if (path_[0])
        unlink(path_);
}

FILE* Change::OpenScratch(const char* name)
{
    scratch_ = CreateScratch(name, path_);
    return scratch_;
}

// The data must be on the disk before the scratch copy takes the database's
// place: a crash after the move then still finds the whole new file.
int Change::Commit(const char* name, int written)
{
    if (!scratch_)
        return 0;
    bool ok = written != 0;
    if (fflush(scratch_) != 0 || fsync(fileno(scratch_)) != 0)
        ok = false;
    if (fclose(scratch_) != 0)
        ok = false;
    scratch_ = nullptr;
    if (written && !ok)
        ReportWriteFailure(name);
    Place place;
    char to[PATH_BUF];
    if (!ok || !ScratchPlace(place, name, "qdb_new", "qdb") || !Join(to, place.dir, place.to))
        return 0;
    if (!MoveOver(path_, to))
        return 0;
    path_[0] = '\0';
    return 1;
}

}  // namespace dbm

FILE* OpenNewDataBase(const char* name)
{
    char path[dbm::PATH_BUF];
    FILE* file = dbm::CreateScratch(name, path);
    if (file) {
        snprintf(loose.name, sizeof loose.name, "%s", name);
        memcpy(loose.path, path, sizeof path);
    }
    return file;
}

// The move is one rename(2): the database is the old file or the new one at
// every moment.
int RenameDataBase(const char* name, const char* from, const char* to)
{
    dbm::Place place;
    char toPath[dbm::PATH_BUF];
    if (!dbm::ScratchPlace(place, name, from, to) || !Join(toPath, place.dir, place.to))
        return 0;
    char fromPath[dbm::PATH_BUF];
    if (loose.path[0] && strcmp(from, "qdb_new") == 0 && strcmp(loose.name, name) == 0) {
        memcpy(fromPath, loose.path, sizeof fromPath);
        loose.path[0] = '\0';
    } else if (!FindFile(place.dir, place.from) || !Join(fromPath, place.dir, place.from)) {
        return 0;
    }
    return dbm::MoveOver(fromPath, toPath);
}

int DbmTLock(DbTHandle* h)
{
    if (!h)
        return 0;
    if (h->LockFd < 0) {
        dbm::WriterLock lock;
        if (!lock.Take(h->pName))
            return 0;
        h->LockFd = lock.Detach();
    }
    DbTUpDate(h);
    return 1;
}

void DbmTUnlock(DbTHandle* h)
{
    if (!h || h->LockFd < 0)
        return;
    close(h->LockFd);
    h->LockFd = -1;
}
