// The installer's command line: work area, installation base and version.
// The paths given are pasted into shell command lines, so they are checked
// before anything is created.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "Installer.h"
#include "MemMgr.h"
#include "Setup.h"
#include "SetupMessages.h"
#include "utils.h"

namespace {

// Punctuation that the shell takes literally in an unquoted word.
constexpr const char SafePathPunctuation[] = "/._-+,:=@%";

bool IsAsciiAlnum(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool IsDirectory(const char* path)
{
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

// The path an argument names, made absolute and checked; a refused one ends
// the process.
char* CheckedPathArgument(const char* what, const char* argument)
{
    RefuseUnsafePath(what, argument);
    char* path = CleanPathArgument(argument);
    RefuseUnsafePath(what, path);
    return path;
}

// An installation base is trimmed in the argument itself, then checked;
// with apply it becomes the base of this run.
void SetInstallBase(char* argument, bool apply)
{
    StripToBaseName(argument);
    char* base = CheckedPathArgument("the installation base", argument);
    if (!apply) {
        PutMem(base);
        return;
    }
    PutMem(pCmdLineInstallDir);
    pCmdLineInstallDir = base;
}

// Notes a work area the installer made, for the clean-up.
void NoteCreatedWorkArea(const char* area)
{
    flCreatedTmpDir = true;
    char* areas = pCreatedWorkAreas ? SaveStr("%s\n%s", pCreatedWorkAreas, area) : SaveStr_(area);
    PutMem(pCreatedWorkAreas);
    pCreatedWorkAreas = areas;
}

// The work directory goes into the work area, which is made when missing;
// with apply only, after the argument was checked. A work area that is
// still no directory after that ends the process.
void SetWorkArea(const char* argument, bool apply)
{
    char* area = CheckedPathArgument("the work area", argument);
    if (apply) {
        PutMem(pTarvoInstallDir);
        pTarvoInstallDir =
            SaveStr("%s/%sInstall", strcmp(area, "/") == 0 ? "" : area, MAKER_NAME);
        if (!IsDirectory(area)) {
            NoteCreatedWorkArea(area);
            CreateFile(area, nullptr, nullptr, nullptr, nullptr);
            if (!IsDirectory(area)) {
                printf(nlsSetupStrCvt(3), area);
                printf("\n\n");
                exit(2);
            }
        }
    }
    PutMem(area);
}

// One reading of the arguments. Without apply every path argument is only
// checked, up to a "-v"; with apply each takes effect as it is read: a work
// area is made at once, even when a later one replaces it.
void ReadArguments(int argc, char** argv, bool apply)
{
    for (int i = 1; i < argc; ++i) {
        switch (FindToken(argv[i], ",install,-v")) {
        case 1:
            if (i + 1 < argc)
                SetInstallBase(argv[++i], apply);
            break;
        case 2:
            if (!apply)
                return;
            fprintf(stderr, "%s %s\n", my_name, SETUP_VERSION);
            exit(0);
        default:
            if (i == 2)
                SetInstallBase(argv[i], apply);
            else
                SetWorkArea(argv[i], apply);
            break;
        }
    }
}

}  // namespace

char* StripToBaseName(char* path)
{
    if (!path)
        return nullptr;
    if (char* product = strstr(path, PRODUCT_NAME))
        *product = '\0';
    if (char* maker = strstr(path, MAKER_NAME))
        *maker = '\0';
    const size_t length = strlen(path);
    if (length > 1 && path[length - 1] == '/')
        path[length - 1] = '\0';
    return path;
}

int IsSafePathText(std::string_view path)
{
    if (path.empty())
        return 0;
    for (char c : path) {
        if (!IsAsciiAlnum(static_cast<unsigned char>(c)) &&
            (c == '\0' || !strchr(SafePathPunctuation, c)))
            return 0;
    }
    return 1;
}

int IsSafePathText(const char* path)
{
    return path ? IsSafePathText(std::string_view(path)) : 0;
}

char* CleanPathArgument(const char* path)
{
    if (!path || !*path)
        return SaveStr_("");
    char* full = nullptr;
    if (path[0] != '/') {
        char cwd[PATH_MAX];
        if (getcwd(cwd, sizeof cwd))
            full = SaveStr("%s/%s", cwd, path);
    }
    if (!full)
        full = SaveStr_(path);

    // The components are copied down over the text itself: the copy never
    // gets ahead of the reading position.
    const bool absolute = full[0] == '/';
    char* write = full;
    const char* read = full;
    while (*read) {
        while (*read == '/')
            ++read;
        const char* start = read;
        while (*read && *read != '/')
            ++read;
        const size_t length = static_cast<size_t>(read - start);
        if (length == 0 || (length == 1 && *start == '.'))
            continue;
        if (absolute || write != full)
            *write++ = '/';
        memmove(write, start, length);
        write += length;
    }
    if (write == full)
        *write++ = absolute ? '/' : '.';
    *write = '\0';
    return full;
}

void RefuseUnsafePath(const char* what, const char* path)
{
    if (!path || !*path)
        ErrorMsg(2, 2, "%s is empty", what);
    if (!IsSafePathText(path))
        ErrorMsg(2, 2,
                 "%s \"%s\" is refused: a path here may hold only letters, digits "
                 "and \"/ . _ - + , : = @ %%\"",
                 what, path);
}

void parseCommandLineOptions(int argc, char** argv)
{
    // A refused argument ends the run before anything is made.
    ReadArguments(argc, argv, false);
    ReadArguments(argc, argv, true);
}
