// Installed packages, from the package-information listing, and the
// network query kept for the suite's tools.
#include <string_view>

#include "MemMgr.h"
#include "OutputText.h"
#include "SysCmd.h"
#include "utils.h"

char* PkgListFromResponse(const ResponseNode* response)
{
    GrowText list;
    for (const ResponseNode* node = response; node; node = node->pNext) {
        std::string_view instance = OutputField(node->pLine, 2);
        if (!instance.empty())
            list.Add(" %.*s", static_cast<int>(instance.size()), instance.data());
    }
    if (list.Empty())
        return nullptr;
    list.Add(" ");
    return list.Take();
}

char* GetSysPkgList(const char* name)
{
    ResponseNode* response = GetCmdResponse(CMD_PKGINFO, name, "%s", "");
    char* list = PkgListFromResponse(response);
    FreeResponseList(response);
    return list;
}

long SysGetSubnetMask(long address, long, long)
{
    return address;
}
