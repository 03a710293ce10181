// Creating, removing and renaming files and directories. Text files are
// written directly; the rest goes through the command layer, so that every
// change is logged and a failure is reported by the command's mode.
#include <cstdarg>
#include <cstdio>
#include <sys/stat.h>

#include "MemMgr.h"
#include "SysCmd.h"
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

void CreateFile(const char* dir, const char* name, const char* mode, const char* owner,
                const char* group)
{
    if (!dir)
        return;
    if (!FindFile(dir, nullptr))
        SysCmd(CMD_MKDIR, 2, "%s", dir);
    char* target = SaveStr("%s%s%s", dir, name ? "/" : "", name ? name : "");
    if (name)
        SysCmd(CMD_TOUCH, 2, "%s", target);
    if (mode)
        SysCmd(CMD_CHMOD, 2, "%s %s", mode, target);
    if (owner)
        SysCmd(CMD_CHOWN, 2, "%s %s", owner, target);
    if (group)
        SysCmd(CMD_CHGRP, 2, "%s %s", group, target);
    PutMem(target);
}

// The existence test looks the path up as a whole, so a trailing '/' on a
// directory does not make it look for a name inside it.
void DeleteFile(const char* dir, const char* name)
{
    if (!dir) {
        dir = name;
        name = nullptr;
    }
    if (!dir || !FindFile(dir, name))
        return;
    SysCmd(CMD_RM_R, 1, "%s%s%s", dir, name ? "/" : "", name ? name : "");
}

void DeleteFile_(const char* path, const char* name)
{
    DeleteFile(path, name);
}

void RenameFile(const char* dir, const char* oldName, const char* newName)
{
    if (!oldName || !newName)
        return;
    if (!dir) {
        if (FindFile(nullptr, oldName))
            SysCmd(-CMD_MV, 1, "%s %s", oldName, newName);
        return;
    }
    if (FindFile(dir, oldName))
        SysCmd(-CMD_MV, 1, "%s/%s %s/%s", dir, oldName, dir, newName);
}
