// The end of an installation: the work directory goes, and the product's
// queue administration brings its queues up to the new release.
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "Installer.h"
#include "MemMgr.h"
#include "Setup.h"
#include "SysCmd.h"
#include "utils.h"

namespace {

// Runs <pAppDir>/nvqadmin with one option straight through the shell, its
// output on the terminal; its result is of no concern here.
void RunQueueAdmin(const char* option)
{
    RunDirect("%s/nvqadmin %s", pAppDir, option);
    putchar('.');
}

// The work areas named on the command line that the installer made
// itself: the work directory is removed once more from /opt, and each area
// goes too once it is empty (an area holding anything else stays), the
// last made first, so that one made inside another goes before it.
void RemoveCreatedWorkAreas()
{
    if (chdir("/opt") != 0)
        PutLogMsg("WARNING_MSG: cannot change to /opt\n");
    SysCmd(CMD_RM_R, 1, " %s", pTarvoInstallDir);
    if (!pCreatedWorkAreas)
        return;
    char* end = pCreatedWorkAreas + strlen(pCreatedWorkAreas);
    while (end > pCreatedWorkAreas) {
        char* start = end;
        while (start > pCreatedWorkAreas && start[-1] != '\n')
            --start;
        *end = '\0';
        rmdir(start);
        end = start > pCreatedWorkAreas ? start - 1 : pCreatedWorkAreas;
    }
    PutMem(pCreatedWorkAreas);
    pCreatedWorkAreas = nullptr;
}

}  // namespace

void TarvoClean(const char* workDir)
{
    // Out of the work directory, which may be the current one.
    if (chdir("/") != 0)
        PutLogMsg("WARNING_MSG: cannot change to /\n");
    SysCmd(CMD_RM_R, 1, " %s", workDir);
    if (flCreatedTmpDir)
        RemoveCreatedWorkAreas();
    if (pAppDir) {
        RunQueueAdmin("-upgrade");
        RunQueueAdmin("-clean");
    }
    putchar('\n');
    fflush(stdout);
}
