// The free-space check. Sizes are taken in the unit of the disk-free report
// and compared without conversion. Space that an earlier work directory or
// application directory occupies counts as free: the installation replaces
// it.
#include "FreeSpace.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "MemMgr.h"
#include "Setup.h"
#include "SetupMessages.h"
#include "SysCmd.h"
#include "utils.h"

namespace {

// The size a distribution's size file names plus the margin; a missing one
// ends the process.
double NeededSpace(const char* sizeFile)
{
    if (!GetFileContent(pPathToSetup, sizeFile)) {
        fputs(nlsSetupStrCvt(65), stdout);
        exit(0);
    }
    return strtod(LineBuf, nullptr) + SPACE_MARGIN;
}

// Where the application directory is measured, and where it would be
// created when it does not exist yet.
struct InstallSide {
    char* measured = nullptr;  // saved string
    const char* created = nullptr;  // measured, or null when it exists
    bool exists = false;
};

InstallSide FindInstallSide(const char* baseDir, const char* makerDir)
{
    InstallSide side;
    char* makerPath = SaveStr("%s/%s", baseDir, makerDir);
    char* appPath = SaveStr("%s/%s", makerPath, PRODUCT_NAME);
    if (FindFile(appPath, nullptr)) {
        side.measured = SaveStr_(appPath);
        side.exists = true;
    } else if (FindFile(makerPath, nullptr)) {
        side.measured = SaveStr_(makerPath);
    } else if (FindFile(baseDir, nullptr)) {
        side.measured = SaveStr_(baseDir);
    } else {
        // A base still to be made is measured at the root, however much of
        // its path exists.
        side.measured = SaveStr_("/");
    }
    if (!side.exists)
        side.created = side.measured;
    PutMem(appPath);
    PutMem(makerPath);
    return side;
}

[[noreturn]] void Shortage(int message, const char* first, double needed)
{
    printf(nlsSetupStrCvt(message), first, needed);
    exit(0);
}

}  // namespace

double PooledFreeSpace(double work, double install, double plain)
{
    // Nothing to reclaim on either side: the file system's free space once.
    if (plain >= work && plain >= install)
        return MaxD(work, install);
    // The free space once, plus what both earlier copies occupy.
    return work + install - plain;
}

void FreeSpaceForInstall(const char* workDir, const char* baseDir, const char* makerDir)
{
    const double installNeed = NeededSpace("isize");
    const double workNeed = NeededSpace("tsize");

    // A record whose reading fails keeps an empty data line and no room.
    DiskSpaceRec work{}, install{}, again{};
    int workExists = 0;
    char* workNear = FindExistingPath(workDir, &workExists);
    const int workFound = GetDiskSpace(workNear, &work);
    PutMem(workNear);
    // A work area whose free space is unknown is not checked at all.
    if (!workFound)
        return;
    if (workExists)
        work.Avail += DUPath(workDir);

    // The installation side is always checked: a place whose free space
    // cannot be read has no room to offer.
    InstallSide side = FindInstallSide(baseDir, makerDir);
    GetDiskSpace(side.measured, &install);
    if (side.exists)
        install.Avail += DUPath(side.measured);

    if (side.created) {
        GetDiskSpace(side.created, &again);
        if (again.Avail <= MIN_FREE_FOR_APPDIR)
            Shortage(SETUP_MSG_NO_ROOM_FOR_APPDIR, side.created, MIN_FREE_FOR_APPDIR);
    }

    if (strcmp(work.Text, install.Text) != 0) {
        if (work.Avail < workNeed)
            Shortage(49, workDir, workNeed);
        if (install.Avail < installNeed)
            Shortage(55, baseDir, installNeed);
    } else {
        GetDiskSpace(side.measured, &again);
        const double pooled = PooledFreeSpace(work.Avail, install.Avail, again.Avail);
        if (pooled < installNeed + workNeed) {
            printf(nlsSetupStrCvt(56), workDir, baseDir, installNeed + workNeed);
            exit(0);
        }
    }
    PutMem(side.measured);
}
