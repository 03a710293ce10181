// The process table: process numbers of a program, which programs of a list
// run, and ending a program by name.
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <unistd.h>

#include "MemMgr.h"
#include "OutputText.h"
#include "SysCmd.h"
#include "utils.h"

namespace {

bool AllDigits(std::string_view text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

}  // namespace

char* PsIdListFromResponse(const ResponseNode* response, const char* name)
{
    if (!name)
        return nullptr;
    GrowText list;
    for (const ResponseNode* node = response; node; node = node->pNext) {
        std::string_view pid = OutputField(node->pLine, 1);
        // The command column is compared whole: a longer name that merely
        // begins with this one is another program. The header line has no
        // process number.
        if (OutputField(node->pLine, 4) == name && AllDigits(pid))
            list.Add(" %.*s", static_cast<int>(pid.size()), pid.data());
    }
    if (list.Empty())
        return nullptr;
    list.Add(" ");
    return list.Take();
}

char* GetSysPsIdList(const char* name)
{
    if (!name || !*name)
        return nullptr;
    ResponseNode* response = GetCmdResponse(CMD_PS, name, "%s", "");
    char* list = PsIdListFromResponse(response, name);
    FreeResponseList(response);
    return list;
}

char* CheckProcTableForExecs(const char* list)
{
    if (!list)
        return nullptr;
    GrowText running;
    std::string_view rest(list);
    while (!rest.empty()) {
        size_t comma = rest.find(',');
        std::string_view piece = rest.substr(0, comma);
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        if (piece.empty())
            continue;
        char* name = SaveStr("%.*s", static_cast<int>(piece.size()), piece.data());
        if (char* ids = GetSysPsIdList(name)) {
            running.Add("%s (%s)\n", name, ids);
            PutMem(ids);
        }
        PutMem(name);
    }
    return running.Take();
}

int KillProcessByName(const char* name)
{
    char* ids = GetSysPsIdList(name);
    if (!ids)
        return 0;
    for (char* p = ids; *p;) {
        char* end;
        long pid = strtol(p, &end, 10);
        if (end == p)
            break;
        p = end;
        // Zero or a negative number would signal whole process groups.
        if (pid <= 0)
            continue;
        if (kill(static_cast<pid_t>(pid), SIGKILL) != 0 && errno == EPERM) {
            sleep(1);
            PutMem(ids);
            return 0;
        }
    }
    sleep(1);
    PutMem(ids);
    return 0;
}
