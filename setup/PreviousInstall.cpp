// An earlier installation: found through /opt/Tarvo/lumo, which is the
// application directory itself for an installation under /opt and a link to
// it for any other base; and moved when this run names another base.
#include <climits>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "Installer.h"
#include "MemMgr.h"
#include "Setup.h"
#include "SysCmd.h"
#include "utils.h"

namespace {

constexpr const char OptDir[] = "/opt";

// Whether <base>/Tarvo exists; its identity in st.
bool StatMakerDir(const char* base, struct stat* st)
{
    char* dir = SaveStr("%s/%s", base, MAKER_NAME);
    const bool found = stat(dir, st) == 0;
    PutMem(dir);
    return found;
}

// The application directory a relative link at optAppDir leads to. The
// system resolves the link's text against the directory holding the link
// (/opt/Tarvo), through whatever links lie on the way; so is it resolved
// here. A saved string.
char* ResolvedRelativeLink(const char* optAppDir)
{
    char resolved[PATH_MAX];
    if (!realpath(optAppDir, resolved))
        SysError("can't follow the link %s", optAppDir);
    return SaveStr_(resolved);
}

}  // namespace

char* locatePreviousInstallation()
{
    char* optAppDir = SaveStr("%s/%s/%s", OptDir, MAKER_NAME, PRODUCT_NAME);
    char* optMakerDir = SaveStr("%s/%s", OptDir, MAKER_NAME);
    char* base = nullptr;
    char link[256] = {};
    struct stat target;

    if (!FindFile(optMakerDir, PRODUCT_NAME)) {
        // No entry at all: a first installation.
    } else if (readlink(optAppDir, link, sizeof link - 1) < 0) {
        // A real directory (or file): the installation lives under /opt.
        base = SaveStr_(OptDir);
    } else if (stat(optAppDir, &target) != 0 || !S_ISDIR(target.st_mode)) {
        // A link to nothing usable is left over from a removed
        // installation: it goes, and this is a first installation.
        SysCmd(CMD_RM, 1, "%s/%s/%s", OptDir, MAKER_NAME, PRODUCT_NAME);
    } else {
        base = link[0] == '/' ? SaveStr_(link) : ResolvedRelativeLink(optAppDir);
        StripToBaseName(base);
        // The base is pasted into the command lines that move the
        // installation, as the command-line bases are.
        RefuseUnsafePath("the earlier installation's base (from /opt/Tarvo/lumo)", base);
    }
    PutMem(optMakerDir);
    PutMem(optAppDir);
    return base;
}

int SameApplicationPlace(const char* targetBase, const char* currentBase)
{
    if (strcmp(targetBase, currentBase) == 0)
        return 1;
    // Two spellings of one directory ("/var/./apps", a link to the base)
    // must not count as a move: the move removes the new application
    // directory first, which would be the earlier installation itself.
    struct stat target, current;
    return StatMakerDir(targetBase, &target) && StatMakerDir(currentBase, &current) &&
           target.st_dev == current.st_dev && target.st_ino == current.st_ino;
}

void moveEarlierInstallation()
{
    // Whatever stands at the new place goes; when the installation comes
    // back to /opt that is the link to it.
    SysCmd(CMD_RM_R, 1, " %s", pAppDir);
    char* makerDir = SaveStr("%s/%s", pTargetInstallDir, MAKER_NAME);
    CreateFile(makerDir, nullptr, "755", nullptr, nullptr);
    PutMem(makerDir);
    SysCmd(CMD_MV, 2, "-f %s/%s/%s %s/%s", pCurrentInstallDir, MAKER_NAME, PRODUCT_NAME,
           pTargetInstallDir, MAKER_NAME);

    char* optAppDir = SaveStr("%s/%s/%s", OptDir, MAKER_NAME, PRODUCT_NAME);
    if (strcmp(pAppDir, optAppDir) != 0) {
        SysCmd(CMD_RM, 1, "%s/%s/%s", OptDir, MAKER_NAME, PRODUCT_NAME);
        SysCmd(CMD_LN, 2, "-s %s/%s/%s %s/%s/%s", pTargetInstallDir, MAKER_NAME, PRODUCT_NAME,
               OptDir, MAKER_NAME, PRODUCT_NAME);
    }
    PutMem(optAppDir);
}
