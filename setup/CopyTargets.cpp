// Places the installer copies onto. The copies run as root into directories
// that a group may write (the application directory of another base is
// 775), so whatever stands at a destination that a copy would write
// through or hang on is removed first: a symbolic link, a pipe, a device, a
// socket, or a file with a second name elsewhere. A directory and a plain
// file of one name stay; the copy replaces the file's content or fills the
// directory.
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Installer.h"
#include "MemMgr.h"
#include "utils.h"

namespace {

bool IsDotName(const char* name)
{
    return strcmp(name, ".") == 0 || strcmp(name, "..") == 0;
}

// The tree at src lands at dest: every entry of it is cleared at its place.
bool ClearTree(const char* src, const char* dest)
{
    if (!ClearCopyTarget(dest))
        return false;
    struct stat st;
    if (lstat(src, &st) != 0 || !S_ISDIR(st.st_mode))
        return true;
    // Nothing below a destination that is no directory (or is missing)
    // can be written through.
    struct stat target;
    if (lstat(dest, &target) != 0 || !S_ISDIR(target.st_mode))
        return true;
    DIR* dir = opendir(src);
    if (!dir)
        return true;
    bool cleared = true;
    while (dirent* entry = readdir(dir)) {
        if (IsDotName(entry->d_name))
            continue;
        SavedStr from(SaveStr("%s/%s", src, entry->d_name));
        SavedStr to(SaveStr("%s/%s", dest, entry->d_name));
        if (!ClearTree(from.get(), to.get())) {
            cleared = false;
            break;
        }
    }
    closedir(dir);
    return cleared;
}

}  // namespace

bool ClearCopyTarget(const char* path)
{
    struct stat st;
    if (lstat(path, &st) != 0)
        return true;
    if (S_ISDIR(st.st_mode) || (S_ISREG(st.st_mode) && st.st_nlink == 1))
        return true;
    if (unlink(path) == 0 || errno == ENOENT) {
        InstallerWarning("%s was no plain file of its own and is removed before the copy", path);
        return true;
    }
    InstallerWarning("%s is no plain file of its own and cannot be removed: %s; it is not copied "
                     "onto",
                     path, strerror(errno));
    return false;
}

bool ClearTreeTargets(const char* src, const char* destDir)
{
    const char* slash = strrchr(src, '/');
    SavedStr dest(SaveStr("%s/%s", destDir, slash ? slash + 1 : src));
    return ClearTree(src, dest.get());
}
