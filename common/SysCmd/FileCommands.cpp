// Creating, removing and renaming files and directories through the command
// table, so that every change is logged and a failure is reported by the
// command's mode.
#include "MemMgr.h"
#include "SysCmd.h"
#include "utils.h"

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
