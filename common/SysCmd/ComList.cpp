// The command table and its resolution: every row learns, once, the
// directory its command lives in, from the built-in directories first and
// then from PATH.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "MemMgr.h"
#include "SysCmd.h"
#include "utils.h"

ComRow ComList[COM_ROWS] = {
    {"", "", nullptr, 0},
    {"", "", nullptr, 0},
    {"cancel", "", nullptr, 2},
    {"cat", "", nullptr, 0},
    {"chgrp", "", nullptr, 0},
    {"chmod", "", nullptr, 0},
    {"chown", "", nullptr, 0},
    {"clear", "", nullptr, 0},
    {"compress", "", nullptr, 0},
    {"cp", "-p", nullptr, 0},
    {"cp", "-pr", nullptr, 0},
    {"cupsd", "", nullptr, 0},
    {"id", "", nullptr, 0},
    {"echo", "", nullptr, 0},
    {"eject", "-f", nullptr, 1},
    {"eject", "-q", nullptr, 1},
    {"file", "", nullptr, 0},
    {"ln", "", nullptr, 0},
    {"lp", "", nullptr, 0},
    {"lpc", "", nullptr, 1},
    {"lpr", "", nullptr, 0},
    {"lprm", "", nullptr, 1},
    {"lpstat", "", nullptr, 1},
    {"ls", "", nullptr, 0},
    {"kill", "-KILL", nullptr, 0},
    {"mv", "-f", nullptr, 0},
    {"mkdir", "-p", nullptr, 0},
    {"more", "", nullptr, 0},
    {"ping", "", nullptr, 0},
    {"rm", "-f", nullptr, 0},
    {"rm", "-rf", nullptr, 0},
    {"sh", "", nullptr, 0},
    {"sleep", "", nullptr, 0},
    {"tar", "cvfp", nullptr, 0},
    {"tar", "xvfp", nullptr, 0},
    {"touch", "", nullptr, 0},
    {"uncompress", "", nullptr, 0},
    {"whoami", "", nullptr, 0},
    {"zcat", "", nullptr, 0},
    {"uname", "", nullptr, 0},
    {"sed", "", nullptr, 0},
    {"du", "-s", nullptr, 0},
    {"checkpc", "", nullptr, 0},
    {"lpd", "", nullptr, 0},
    {"pkgadd", "", nullptr, 1},
    {"pkginfo", "", nullptr, 0},
    {"pkgrm", "", nullptr, 1},
    {"accept", "", nullptr, 1},
    {"disable", "", nullptr, 1},
    {"cupsdisable", "", nullptr, 1},
    {"enable", "", nullptr, 1},
    {"cupsenable", "", nullptr, 1},
    {"lpadmin", "", nullptr, 1},
    {"lpfilter", "", nullptr, 1},
    {"lpsched", "", nullptr, 1},
    {"lpshut", "", nullptr, 1},
    {"lpsystem", "", nullptr, 1},
    {"ps", "-e", nullptr, 0},
    {"bar", "", nullptr, 0},
    {"df", "-b", nullptr, 0},
    {"lpq", "-P", nullptr, 0},
    {"ypcat", "", nullptr, 0},
    {"reject", "", nullptr, 1},
    {"pmadm", "", nullptr, 1},
    {"sacadm", "", nullptr, 1},
    {"volcheck", "", nullptr, 0},
    {"capture", "", nullptr, 0},
    {"lpset", "", nullptr, 1},
    {"instnetpr", "", nullptr, 1},
    {"piomkpq", "", nullptr, 0},
    {"piomisc_ext", "", nullptr, 0},
    {"piomisc_base", "", nullptr, 0},
    {"lsallq", "", nullptr, 0},
    {"mkque", "", nullptr, 0},
    {"mkquedev", "", nullptr, 0},
    {"rmque", "", nullptr, 0},
    {"rmquedev", "", nullptr, 0},
    {"piochdfq", "", nullptr, 0},
    {"enq", "", nullptr, 0},
    {"lsquedev", "", nullptr, 0},
    {"lsque", "", nullptr, 0},
    {"startsrc", "", nullptr, 1},
    {"stopsrc", "", nullptr, 0},
    {"lssrc", "", nullptr, 0},
    {nullptr, nullptr, nullptr, 0},
};

const char SearchPaths[] = "/usr/bin:/usr/ucb:/usr/sbin:/bin:/sbin:/usr/lib:/usr/lib/lp";
char* FullSearchPath = nullptr;
bool flInitSysCmd = true;
bool flSysCmdLog = false;

namespace {

bool IsTableRow(int row)
{
    return row >= 2 && row < COM_END_ROW;
}

void BuildFullSearchPath()
{
    if (FullSearchPath)
        return;
    const char* path = getenv("PATH");
    FullSearchPath = SaveStr("%s:%s", SearchPaths, path ? path : "");
}

// Rows from 2 up to the first one without a name.
template <typename Visit>
void ForEachTableRow(Visit visit)
{
    for (int row = 2; row < COM_END_ROW; ++row) {
        if (!ComList[row].Name || !*ComList[row].Name)
            break;
        visit(ComList[row]);
    }
}

bool AnyRowMissing()
{
    bool missing = false;
    ForEachTableRow([&missing](const ComRow& entry) { missing |= entry.Path == nullptr; });
    return missing;
}

// Calls visit with each non-empty ':'-separated directory of list, as a
// terminated text, until visit gives true; gives whether it did. A
// directory too long for any path is passed over.
template <typename Visit>
bool ForEachDir(const char* list, Visit visit)
{
    std::string_view rest(list);
    char dir[SYSCMD_LINE_SIZE];
    while (!rest.empty()) {
        size_t colon = rest.find(':');
        std::string_view piece = rest.substr(0, colon);
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        if (piece.empty() || piece.size() >= sizeof dir)
            continue;
        memcpy(dir, piece.data(), piece.size());
        dir[piece.size()] = '\0';
        if (visit(static_cast<const char*>(dir)))
            return true;
    }
    return false;
}

// Offers the directories of a list to FillCmdPaths, in order, until no row
// is missing. Gives whether a row is still missing.
bool FillFromList(const char* list)
{
    ForEachDir(list, [](const char* dir) { return FillCmdPaths(dir) == 0; });
    return AnyRowMissing();
}

}  // namespace

void InitSysCmdList()
{
    flInitSysCmd = false;
    const char* path = getenv("PATH");
    BuildFullSearchPath();
    if (FillFromList(SearchPaths) && path)
        FillFromList(path);
    // Commands that start a shell of their own take it from SHELL; the
    // environment keeps pointing at this text, so it is never freed.
    if (ComList[CMD_SH].Path)
        putenv(SaveStr("SHELL=%s/%s ", ComList[CMD_SH].Path, ComList[CMD_SH].Name));
    if (flUseLog) {
        flSysCmdLog = true;
        PutLogMsg("initializing system\n");
    }
}

int FillCmdPaths(const char* dir)
{
    char* list = GetDirFileList(dir);
    if (!list)
        return 1;
    // One copy of the directory serves every row found in it; resolved
    // paths live as long as the process.
    char* copy = nullptr;
    ForEachTableRow([&](ComRow& entry) {
        if (!entry.Path && FindToken(entry.Name, list)) {
            if (!copy)
                copy = SaveStr_(dir);
            entry.Path = copy;
        }
    });
    PutMem(list);
    return AnyRowMissing() ? 1 : 0;
}

int FillCmdPath(int row)
{
    if (!IsTableRow(row) || !ComList[row].Name || !*ComList[row].Name)
        return 0;
    BuildFullSearchPath();
    ComRow& entry = ComList[row];
    return ForEachDir(FullSearchPath, [&entry](const char* dir) {
        if (!FindFile(dir, entry.Name))
            return false;
        entry.Path = SaveStr_(dir);
        return true;
    });
}

int TestCmd(int row)
{
    if (!IsTableRow(row))
        return 0;
    if (flInitSysCmd && !ComList[row].Path)
        FillCmdPath(row);
    return ComList[row].Path != nullptr;
}

char* GetCmd(int row)
{
    if (row < 0 || row >= COM_END_ROW || !ComList[row].Path)
        return nullptr;
    return SaveStr("%s/%s %s", ComList[row].Path, ComList[row].Name, ComList[row].Flags);
}

char* GetCmdNoFlags(int row)
{
    if (row < 0 || row >= COM_END_ROW || !ComList[row].Path)
        return nullptr;
    return SaveStr("%s/%s", ComList[row].Path, ComList[row].Name);
}

const ComRow& RequireCmd(int row)
{
    if (!IsTableRow(row))
        return ComList[CMD_NONE_QUIET];
    ComRow& entry = ComList[row];
    if (flInitSysCmd && !entry.Path)
        FillCmdPath(row);
    if (!entry.Path) {
        fprintf(stderr, "ERROR: unable to locate system command '%s'\n", entry.Name);
        exit(0);
    }
    return entry;
}
