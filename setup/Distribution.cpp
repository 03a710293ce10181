// The installation proper: the distribution's pieces are copied into the
// work directory, joined, uncompressed and unpacked there, and the product
// is installed from the unpacked tree: registered with the package
// installer the first time, upgraded in place over an earlier installation.
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "Installer.h"
#include "MemMgr.h"
#include "Scripts.h"
#include "Setup.h"
#include "SetupMessages.h"
#include "SysCmd.h"
#include "utils.h"

namespace {

// The joined archive is <work>/<ARCHIVE_NAME>.tar.Z.
constexpr const char* ARCHIVE_NAME = "TarvoSolarisLumo";
constexpr const char* PIECE_DELIMS = " \t\r\n";

bool IsPieceDelim(char c)
{
    return c != '\0' && strchr(PIECE_DELIMS, c) != nullptr;
}

// Ends the process with status 1 over the piece list, in the log too.
[[noreturn]] void RefuseList(char* text)
{
    PutLogMsg("ERROR: %s\n", text);
    ErrorMsg(2, 1, "%s", text);
    exit(1);
}

// Every name of the loaded list must be safe to paste into the commands
// that copy and join the pieces, and name no pipe, device or directory of
// dir: a copy would wait on a pipe for ever. A name that is missing is left
// to the copy, which reports it.
void CheckPieceNames(const char* dir, const char* listPath)
{
    const char* pos = LineBuf;
    std::string_view name;
    while (NextPieceName(&pos, &name)) {
        if (!IsSafePieceName(name)) {
            RefuseList(SaveStr("the piece list %s names \"%.*s\", which is refused: a piece "
                               "name may hold only letters, digits and \". _ - + , : = @ %%\"",
                               listPath, static_cast<int>(name.size()), name.data()));
        }
        SavedStr piece(SaveStr("%s/%.*s", dir, static_cast<int>(name.size()), name.data()));
        struct stat st;
        if (stat(piece.get(), &st) == 0 && !S_ISREG(st.st_mode)) {
            RefuseList(SaveStr("the piece list %s names %s, which is no plain file", listPath,
                               piece.get()));
        }
    }
}

// Loads dir/name into LineBuf and checks it; 0 when it cannot be read. A
// list that LineBuf cuts before its end is refused, since its last name
// may be cut too; one that fits whole needs no end_of_list.
int LoadPieceList(const char* dir, const char* name, bool capitals)
{
    if (!GetFileContent(dir, name))
        return 0;
    char* path = SaveStr("%s/%s", dir, name);
    if (!PieceListEnds(LineBuf) && GetFileSize(path) > static_cast<long>(sizeof LineBuf - 1)) {
        RefuseList(SaveStr("the piece list %s is longer than %d bytes before its %s", path,
                           static_cast<int>(sizeof LineBuf - 1), PIECE_LIST_END));
    }
    // Media that show names in capitals show the pieces' names so too.
    if (capitals)
        UpperCasePieceList(LineBuf);
    CheckPieceNames(dir, path);
    PutMem(path);
    return 1;
}

void ChangeDirectory(const char* dir)
{
    if (chdir(dir) != 0)
        SysError("can't change to %s", dir);
}

// The printing system's flag file is written only as a new file of its
// own: the application directory may be writable by a group, so a link
// planted at its name is removed, never written through.
void WriteFlagFile(const char* path, const char* word)
{
    FILE* file = CreateFreshStream(path, 0644);
    if (!file) {
        fprintf(stderr, "ERROR: couldn't open %s\n", path);
        return;
    }
    bool written = fputs(word, file) >= 0;
    written = fflush(file) == 0 && written;
    written = fclose(file) == 0 && written;
    if (!written)
        fprintf(stderr, "ERROR: couldn't write %s\n", path);
}

// Whether the package is registered with the package installer.
bool PackageRegistered(const char* pkg)
{
    SavedStr pkginfo(SaveStr("/var/sadm/pkg/%s/pkginfo", pkg));
    struct stat st;
    return stat(pkginfo.get(), &st) == 0 && S_ISREG(st.st_mode);
}

// The package installer failed. Only what this run made goes: the flag file
// and the application directory when the run created it; an application
// directory that was there before (an earlier installation, its files and
// the site's own) stays as it is. The run has failed: status 1.
[[noreturn]] void FirstInstallationFailed(bool appDirExisted, bool flagFileExisted)
{
    if (!appDirExisted) {
        DeleteFile(pAppDir, ".nv_cfg");
        SysCmd(CMD_RM_R, 1, " %s", pAppDir);
    } else {
        if (!flagFileExisted)
            DeleteFile(pAppDir, ".nv_cfg");
        PutLogMsg(nlsSetupStrCvt(SETUP_MSG_APPDIR_KEPT), pAppDir);
        printf(nlsSetupStrCvt(SETUP_MSG_APPDIR_KEPT), pAppDir);
    }
    fflush(stdout);
    exit(1);
}

// What a first installation does once its package is registered, after
// the scripts: the spool and download directories and the placement list.
// 1 when the user stopped at the placement list.
int PlaceProduct(const char* spoolDir)
{
    CreateFile(spoolDir, nullptr, "775", nullptr, nullptr);
    char* download = SaveStr("%s/%s/__nva_download__", spoolDir, PRODUCT_NAME);
    CreateFile(download, nullptr, "777", nullptr, nullptr);
    PutMem(download);
    return ProcessPkgList(".");
}

// A first installation: application directory, flag file, the package
// installer, the scripts, the spool directories and the placement list.
// An application directory that is there already (left by a first
// installation that stopped before its package was registered) is
// installed into, keeping its files. 1 when the user stopped at the
// placement list.
int InstallFirst(const char* workDir, const char* spoolDir)
{
    const bool appDirExisted = FindFile(pAppDir, nullptr) != 0;
    const bool flagFileExisted = appDirExisted && FindFile(pAppDir, ".nv_cfg");
    createInstallationDirectories(pTargetInstallDir);
    createPrintingSubsystemFile(pAppDir);
    ChangeDirectory(workDir);
    // The package installer asks its own questions on the terminal.
    if (SysCmd(-CMD_PKGADD, 1, "-d %s %s", workDir, pTarvoPkgName) != 0)
        FirstInstallationFailed(appDirExisted, flagFileExisted);
    MarkPlacementPending();
    createQueueScripts(spoolDir);
    return PlaceProduct(spoolDir);
}

// Whether /opt/Tarvo/lumo is already a link to the application directory.
bool LinkedFromOpt(const char* optAppDir, const char* appDir)
{
    struct stat link, linked, app;
    return lstat(optAppDir, &link) == 0 && S_ISLNK(link.st_mode) && stat(optAppDir, &linked) == 0 &&
           stat(appDir, &app) == 0 && linked.st_dev == app.st_dev && linked.st_ino == app.st_ino;
}

}  // namespace

bool NextPieceName(const char** pos, std::string_view* name)
{
    const char* p = *pos;
    while (IsPieceDelim(*p))
        ++p;
    const char* start = p;
    while (*p && !IsPieceDelim(*p))
        ++p;
    *pos = p;
    *name = std::string_view(start, static_cast<size_t>(p - start));
    return !name->empty() && *name != PIECE_LIST_END;
}

int PieceListEnds(const char* list)
{
    const char* pos = list;
    std::string_view name;
    while (NextPieceName(&pos, &name)) {
    }
    return name == PIECE_LIST_END;
}

void UpperCasePieceList(char* list)
{
    const char* pos = list;
    std::string_view name;
    while (NextPieceName(&pos, &name)) {
    }
    char* end = name == PIECE_LIST_END ? list + (name.data() - list) : list + strlen(list);
    for (char* p = list; p < end; ++p)
        *p = static_cast<char>(toupper(static_cast<unsigned char>(*p)));
}

int IsSafePieceName(std::string_view name)
{
    if (name.empty() || name == "." || name == "..")
        return 0;
    if (name.find('/') != std::string_view::npos)
        return 0;
    return IsSafePathText(name);
}

int IsArchivePiece(std::string_view name)
{
    return name.starts_with("pkg_tar.") || name.starts_with("PKG_TAR.");
}

void GetDisksData(const char* dir)
{
    if (!LoadPieceList(dir, "disks", false) && !LoadPieceList(dir, "DISKS", true))
        ErrorMsg(2, 1, nlsSetupStrCvt(21), MAKER_NAME);
}

void genZFile()
{
    ChangeDirectory(pTarvoInstallDir);
    GetDisksData(pTarvoInstallDir);
    char* list = SaveStr_(LineBuf);
    const char* pos = list;
    std::string_view name;
    while (NextPieceName(&pos, &name)) {
        if (!IsArchivePiece(name))
            continue;
        char* piece = SaveStr_(name);
        if (FindFile(pTarvoInstallDir, piece)) {
            SysCmd(-CMD_CAT, 2, "%s/%s >> %s/%s.tar.Z", pTarvoInstallDir, piece, pTarvoInstallDir,
                   ARCHIVE_NAME);
        }
        PutMem(piece);
    }
    PutMem(list);
}

void createInstallationDirectories(const char* base)
{
    if (strcmp(base, "/opt") == 0) {
        CreateFile(pAppDir, nullptr, "755", nullptr, nullptr);
        return;
    }
    char* appDir = SaveStr("%s/%s/%s", base, MAKER_NAME, PRODUCT_NAME);
    CreateFile(appDir, nullptr, "775", nullptr, nullptr);
    char* optMaker = SaveStr("/opt/%s", MAKER_NAME);
    if (GetFileType(optMaker) == 0)
        CreateFile(optMaker, nullptr, "775", nullptr, nullptr);
    PutMem(optMaker);
    // The link is there already when an earlier run stopped after making it.
    char* optAppDir = SaveStr("/opt/%s/%s", MAKER_NAME, PRODUCT_NAME);
    if (!LinkedFromOpt(optAppDir, appDir)) {
        SysCmd(CMD_LN, 2, "-s %s/%s/%s %s/%s/%s", base, MAKER_NAME, PRODUCT_NAME, "/opt",
               MAKER_NAME, PRODUCT_NAME);
    }
    PutMem(optAppDir);
    PutMem(appDir);
}

void createPrintingSubsystemFile(const char* appDir)
{
    const char* word = " V5 ";
    if (SniffLprng())
        word = " LPRng ";
    if (SniffCUPS())
        word = " CUPS ";
    char* path = SaveStr("%s/.nv_cfg", appDir);
    WriteFlagFile(path, word);
    PutMem(path);
}

int Install()
{
    if (!readyForInstallation())
        return 0;
    const char* workDir = pTarvoInstallDir;
    genZFile();
    SysCmd(CMD_UNCOMPRESS, 2, "%s/%s.tar.Z", workDir, ARCHIVE_NAME);
    ChangeDirectory(workDir);
    SysCmd(CMD_TAR_X, 2, "%s/%s.tar", workDir, ARCHIVE_NAME);
    char* tarName = SaveStr("%s.tar", ARCHIVE_NAME);
    DeleteFile(workDir, tarName);
    PutMem(tarName);

    char* spoolDir = SaveStr("/var/spool/%s", MAKER_NAME);
    int stopped = 0;
    // An application directory whose package was never registered is no
    // earlier installation to upgrade: its first installation is finished.
    if (pCurrentInstallDir && PackageRegistered(pTarvoPkgName)) {
        upgradeSolarisPackage(pTarvoPkgName, workDir);
        createPrintingSubsystemFile(pAppDir);
        createQueueScripts(spoolDir);
        // A first installation that stopped once its package was
        // registered is finished now.
        if (PlacementPending())
            stopped = PlaceProduct(spoolDir);
    } else {
        stopped = InstallFirst(workDir, spoolDir);
    }
    PutMem(spoolDir);
    if (stopped)
        return 1;
    SysCmd(CMD_CHMOD, 0, "755 %s/%s", pTargetInstallDir, MAKER_NAME);
    return 0;
}

int installFromSite(const char* workDir)
{
    DeleteFile(workDir, nullptr);
    // A work directory that cannot be made new (something was put in its
    // place again) must not be copied into. It is the installer's alone,
    // whatever the creation mask: nobody else may swap the unpacked package
    // or the placement list before they are run as root.
    if (mkdir(workDir, 0700) != 0)
        SysError("can't create the work directory %s", workDir);
    if (chmod(workDir, 0700) != 0)
        SysError("can't set the mode of the work directory %s", workDir);
    // Every name was checked when the list was loaded, before any copy.
    GetDisksData(pPathToSetup);
    char* list = SaveStr_(LineBuf);
    const char* pos = list;
    std::string_view name;
    while (NextPieceName(&pos, &name)) {
        char* piece = SaveStr_(name);
        SysCmd(CMD_CP, 2, "%s/%s %s", pPathToSetup, piece, workDir);
        PutMem(piece);
    }
    PutMem(list);
    Install();
    return 0;
}
