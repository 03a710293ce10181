// Whether this machine may be installed on now: the superuser runs the
// installer, the release is one the product runs on, and an earlier
// product generation with its own print daemon has been dealt with.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Installer.h"
#include "MemMgr.h"
#include "Setup.h"
#include "SetupMessages.h"
#include "utils.h"

namespace {

// The oldest release the product runs on.
constexpr const char* OLDEST_RELEASE = "5.6";
// Where the old daemon's boot scripts are.
constexpr const char* BOOT_SCRIPT_DIR = "/etc/rc2.d";

// Refuses a release before OLDEST_RELEASE: message 61, the clean-up, then
// the end of the run. No release reported means no check.
void CheckRelease()
{
    char* release = GetSystemRelease();
    if (release && CompareRelease(release, OLDEST_RELEASE) < 0) {
        fputs(nlsSetupStrCvt(61), stderr);
        TarvoClean(pTarvoInstallDir);
        exit(0);
    }
    PutMem(release);
}

// The first word of an answer line (at most 510 characters, the rest of a
// longer line dropped) into LineBuf; false at the end of input.
bool ReadAnswer()
{
    constexpr int lineSize = 511;
    if (!fgets(LineBuf, lineSize, stdin))
        return false;
    const size_t length = strlen(LineBuf);
    if (length > 0 && LineBuf[length - 1] != '\n') {
        int c;
        do
            c = getchar();
        while (c != EOF && c != '\n');
    }
    const char* delims = " \t\r\n";
    const size_t start = strspn(LineBuf, delims);
    const size_t wordLength = strcspn(LineBuf + start, delims);
    memmove(LineBuf, LineBuf + start, wordLength);
    LineBuf[wordLength] = '\0';
    return true;
}

// The old daemon's markers are in the application directory: the user is
// warned and asked whether to go on. "n" removes the daemon's boot scripts
// and goes on; "no" and the end of input end the run.
void AskAboutOldDaemon()
{
    printf(nlsSetupStrCvt(62), MAKER_NAME, MAKER_NAME, MAKER_NAME, PRODUCT_NAME);
    for (;;) {
        fputs(nlsSetupStrCvt(63), stdout);
        fflush(stdout);
        if (!ReadAnswer()) {
            // Nobody is left to answer: nothing is installed.
            putchar('\n');
            fflush(stdout);
            exit(0);
        }
        switch (FindToken(LineBuf, ",y,yes,n,no,")) {
        case 1:
        case 2:
            return;
        case 3:
            DeleteFile(BOOT_SCRIPT_DIR, "KTarvoPrintD");
            DeleteFile(BOOT_SCRIPT_DIR, "STarvoPrintD");
            return;
        case 4:
            fflush(stdout);
            exit(0);
        default:
            break;
        }
    }
}

}  // namespace

int readyForInstallation()
{
    char* user = GetUserName();
    if (!user || strcmp(user, "root") != 0) {
        printf(nlsSetupStrCvt(35), user ? user : "", my_name);
        fflush(stdout);
        PutMem(user);
        return 0;
    }
    PutMem(user);

    PutMem(pTarvoPkgName);
    pTarvoPkgName = SaveStr("QMPT%s", PRODUCT_NAME);
    CheckRelease();
    if (FindFile(pAppDir, "NuvrinD") || FindFile(pAppDir, "NuvrinDStop"))
        AskAboutOldDaemon();
    return 1;
}
