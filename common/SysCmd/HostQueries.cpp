// What the host tells through its commands: the user running the program
// and the printing system it runs.
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "MemMgr.h"
#include "SysCmd.h"
#include "utils.h"

char* GetUserName()
{
    SavedStr command(GetCmd(CMD_WHOAMI));
    if (!command) {
        uid_t uid = getuid();
        return uid == 0 ? SaveStr_("root") : SaveStr("User ID:  %d", static_cast<int>(uid));
    }
    fflush(nullptr);
    FILE* pipe = popen(command.get(), "r");
    if (!pipe)
        return nullptr;
    char line[256];
    if (!fgets(line, sizeof line, pipe))
        line[0] = '\0';
    pclose(pipe);
    line[strcspn(line, "\r\n")] = '\0';
    return SaveStr_(line);
}

int SniffLprng()
{
    if (!TestCmd(CMD_LPD))
        return 0;
    ResponseNode* response = GetCmdResponse(CMD_LPD, "LPRng", "%s", " -V 2>&1");
    int found = 0;
    for (const ResponseNode* node = response; node; node = node->pNext) {
        if (strstr(node->pLine, "LPRng"))
            found = 1;
    }
    FreeResponseList(response);
    return found;
}

int SniffCUPS()
{
    char* running = CheckProcTableForExecs("cupsd");
    PutMem(running);
    return running ? 1 : 0;
}
