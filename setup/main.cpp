// setup: installs the product from the distribution directory that holds
// this program. One run, one installation, in a fixed order.
#include <cstring>

#include "FreeSpace.h"
#include "Installer.h"
#include "Licence.h"
#include "MemMgr.h"
#include "Setup.h"
#include "SysCmd.h"
#include "utils.h"

int main(int argc, char** argv)
{
    // Nothing is logged, created or changed before the user agrees.
    if (!UserAcceptedEULA(argc > 1 ? argv[1] : nullptr))
        return 0;

    flUseLog = true;
    pTarvoInstallDir = SaveStr("/tmp/%sInstall", MAKER_NAME);
    memset(LineBuf, 0, sizeof LineBuf);
    const char* invocation = argc > 0 && argv[0] ? argv[0] : "";
    pPathToSetup = GetToolPath(invocation);
    my_name = SaveStr_(StripPath(invocation));
    // The log's name goes into every logged command line and the
    // distribution's directory into the copies.
    RefuseUnsafePath("the installer's name", my_name);
    RefuseUnsafePath("the installer's directory", pPathToSetup);
    InitSysCmdList();

    parseCommandLineOptions(argc, argv);
    pCurrentInstallDir = locatePreviousInstallation();
    if (pCmdLineInstallDir)
        pTargetInstallDir = pCmdLineInstallDir;
    else if (pCurrentInstallDir)
        pTargetInstallDir = pCurrentInstallDir;
    else
        pTargetInstallDir = SaveStr_("/opt");
    pAppDir = SaveStr("%s/%s/%s", pTargetInstallDir, MAKER_NAME, PRODUCT_NAME);

    FreeSpaceForInstall(pTarvoInstallDir, pTargetInstallDir, MAKER_NAME);

    if (pCurrentInstallDir) {
        if (QuitForRunningProcesses(pBinaryInstanceCheckList))
            return 0;
        if (!SameApplicationPlace(pTargetInstallDir, pCurrentInstallDir))
            moveEarlierInstallation();
    }

    installFromSite(pTarvoInstallDir);
    TarvoClean(pTarvoInstallDir);
    return 0;
}
