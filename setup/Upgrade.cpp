// Upgrading the installed Solaris package in place, over an earlier
// installation: the package installer is not run again; every regular file
// of the package map is copied into place and added to the package's
// registration, and the new version is stamped into it once every file is
// in place.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Installer.h"
#include "MemMgr.h"
#include "Setup.h"
#include "SetupMessages.h"
#include "SysCmd.h"
#include "utils.h"

const char* const pPathToInstallf = "/usr/sbin/installf";

namespace {

// The graphics toolkit's directories below the application directory's
// lib, which newer releases of the driver need.
constexpr const char* TOOLKIT_DIRS[] = {
    "gtk",
    "gtk/modules",
    "gtk/modules/2.2.0",
    "gtk/modules/2.2.0/engines",
    "gtk/modules/2.2.0/immodules",
    "gtk/modules/2.2.0/loaders",
    "gtk/modules/etc",
    "gtk/modules/etc/gtk-2.0",
    "gtk/modules/etc/pango",
    "gtk/modules/include",
    "gtk/modules/modules",
    "gtk/modules/pango",
    "gtk/modules/pango/1.2.0",
    "gtk/modules/pango/1.2.0/modules",
};

constexpr const char* FIELD_DELIMS = " \t\r\n";

void CreateToolkitDirectories()
{
    char* lib = SaveStr("%s/lib", pAppDir);
    if (!FindFile(lib, nullptr))
        CreateFile(lib, nullptr, "755", nullptr, nullptr);
    PutMem(lib);
    for (const char* dir : TOOLKIT_DIRS)
        SysCmd(CMD_MKDIR, 2, "%s/lib/%s", pAppDir, dir);
}

std::string_view NextField(const char*& pos)
{
    pos += strspn(pos, FIELD_DELIMS);
    const size_t length = strcspn(pos, FIELD_DELIMS);
    std::string_view field(pos, length);
    pos += length;
    return field;
}

// Every field of the entry goes into a shell command line unquoted.
bool IsSafeEntry(const PkgMapEntry& e)
{
    for (std::string_view field : {e.type, e.pkgClass, e.path, e.mode, e.owner, e.group}) {
        if (!IsSafePathText(field))
            return false;
    }
    return true;
}

// Copies one regular file of the package into place and adds it to the
// package: absolute path names from the package's root tree, relative ones
// from its reloc tree into <base>/Tarvo. The destination is cleared first,
// so that the copy never writes through a link planted there. False, with
// the destination in *dest, when the file could not be put in place.
bool UpgradeFile(const char* pkg, const char* workDir, const PkgMapEntry& e, SavedStr* dest)
{
    SavedStr clsText(SaveStr_(e.pkgClass)), pathText(SaveStr_(e.path)), typeText(SaveStr_(e.type)),
        modeText(SaveStr_(e.mode)), ownerText(SaveStr_(e.owner)), groupText(SaveStr_(e.group));
    const char* cls = clsText.get();
    const char* path = pathText.get();
    const char* type = typeText.get();
    const char* mode = modeText.get();
    const char* owner = ownerText.get();
    const char* group = groupText.get();
    const bool absolute = path[0] == '/';
    dest->reset(absolute ? SaveStr_(path) : SaveStr("%s/%s/%s", pTargetInstallDir, MAKER_NAME, path));
    const int registered =
        absolute ? RunDirect("%s -c %s %s %s %s %s %s %s 1>/dev/null 2>/dev/null", pPathToInstallf,
                             cls, pkg, path, type, mode, owner, group)
                 : RunDirect("%s -c %s %s %s/%s/%s %s %s %s %s 1>/dev/null 2>/dev/null",
                             pPathToInstallf, cls, pkg, pTargetInstallDir, MAKER_NAME, path, type,
                             mode, owner, group);
    // The file is put in place all the same; a later run registers it again.
    if (registered != 0)
        InstallerWarning("installf could not add %s to the package %s", dest->get(), pkg);
    if (!ClearCopyTarget(dest->get()))
        return false;
    const int copied = absolute ? RunDirect("cp %s/%s/root%s %s", workDir, pkg, path, path)
                                : RunDirect("cp %s/%s/reloc/%s %s", workDir, pkg, path, dest->get());
    putchar('.');
    fflush(stdout);
    return copied == 0;
}

// The upgrade cannot go on: the file is named, the version is not stamped
// and the run ends with status 1.
[[noreturn]] void UpgradeStopped(const char* dest)
{
    PutLogMsg("ERROR: couldn't write %s\n", dest);
    fflush(stdout);
    fprintf(stderr, nlsSetupStrCvt(SETUP_MSG_UPGRADE_STOPPED), dest);
    exit(1);
}

}  // namespace

bool ParsePkgMapLine(const char* line, PkgMapEntry* entry)
{
    const char* pos = line;
    std::string_view* fields[] = {&entry->part,  &entry->type,  &entry->pkgClass, &entry->path,
                                  &entry->mode,  &entry->owner, &entry->group};
    for (std::string_view* field : fields) {
        *field = NextField(pos);
        if (field->empty())
            return false;
    }
    return true;
}

int upgradeSolarisPackage(const char* pkg, const char* workDir)
{
    CreateToolkitDirectories();
    OpenInputFileF(2, "%s/%s/pkgmap", workDir, pkg);
    bool overlong = false;
    while (GetListLine(&overlong)) {
        PkgMapEntry entry;
        if (overlong || !ParsePkgMapLine(LineBuf, &entry) || entry.type != "f")
            continue;
        if (!IsSafeEntry(entry)) {
            InstallerWarning("the package map line \"%.*s\" is passed over: its fields may "
                             "hold only letters, digits and \"/ . _ - + , : = @ %%\"",
                             static_cast<int>(strcspn(LineBuf, "\r\n")), LineBuf);
            continue;
        }
        SavedStr dest;
        if (!UpgradeFile(pkg, workDir, entry, &dest))
            UpgradeStopped(dest.get());
    }
    CloseInputFile();

    if (RunDirect("%s -f %s 1>/dev/null 2>/dev/null", pPathToInstallf, pkg) != 0)
        InstallerWarning("installf could not finish the registration of the package %s", pkg);
    SysCmd(CMD_RM, 1, "/var/sadm/pkg/%s/pkginfo.tmp", pkg);
    const int stamped = RunDirect("sed -e\"s/VERSION=[0-9.].*/VERSION=%s/\" /var/sadm/pkg/%s/pkginfo >> "
                                  "/var/sadm/pkg/%s/pkginfo.tmp",
                                  SETUP_VERSION, pkg, pkg);
    putchar('.');
    fflush(stdout);
    // What a failed edit left in the temporary file never replaces the
    // registration: the earlier version stays recorded.
    if (stamped == 0)
        SysCmd(CMD_MV, 1, "/var/sadm/pkg/%s/pkginfo.tmp /var/sadm/pkg/%s/pkginfo", pkg, pkg);
    else
        InstallerWarning("couldn't stamp the version %s into /var/sadm/pkg/%s/pkginfo", SETUP_VERSION,
                         pkg);
    return 1;
}
