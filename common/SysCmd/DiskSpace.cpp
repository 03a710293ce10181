// Free disk space and disk usage, from the disk-free and disk-usage reports.
#include <array>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <string_view>

#include "MemMgr.h"
#include "OutputText.h"
#include "SysCmd.h"
#include "utils.h"

namespace {

using PathBuf = std::array<char, PATH_MAX>;

// A column as a number; what does not read as one counts as 0.
double FieldValue(std::string_view field)
{
    char number[64];
    if (field.empty() || field.size() >= sizeof number)
        return 0;
    memcpy(number, field.data(), field.size());
    number[field.size()] = '\0';
    return strtod(number, nullptr);
}

// Position (from 1) of the header column that starts with "avail" in any
// case, or 0.
int AvailColumn(const char* header)
{
    for (int n = 1;; ++n) {
        std::string_view field = OutputField(header, n);
        if (field.empty())
            return 0;
        if (field.size() >= 5 && strncasecmp(field.data(), "avail", 5) == 0)
            return n;
    }
}

}  // namespace

int DiskSpaceFromResponse(const ResponseNode* response, DiskSpaceRec* rec)
{
    rec->Avail = 0;
    if (!response)
        return 0;
    int column = AvailColumn(response->pLine);
    const ResponseNode* data = response->pNext;
    if (column == 0 || !data)
        return 0;
    snprintf(rec->Text, sizeof rec->Text, "%s", data->pLine);
    std::string_view field = OutputField(data->pLine, column);
    if (field.empty())
        return 0;
    rec->Avail = FieldValue(field);
    return 1;
}

int GetDiskSpace(const char* dir, DiskSpaceRec* rec)
{
    rec->Avail = 0;
    if (!dir)
        return 0;
    ResponseNode* response = GetCmdResponse(CMD_DF, "", "%s", dir);
    int found = DiskSpaceFromResponse(response, rec);
    FreeResponseList(response);
    return found;
}

double DUFromResponse(const ResponseNode* response)
{
    return response ? strtod(response->pLine, nullptr) : 0;
}

double DUPath(const char* path)
{
    if (!path)
        return 0;
    ResponseNode* response = GetCmdResponse(CMD_DU, "", "%s", path);
    double used = DUFromResponse(response);
    FreeResponseList(response);
    return used;
}

int AvailSpace(const char* dir, const char* name, double required)
{
    if (!dir)
        return 0;
    DiskSpaceRec rec;
    if (name && *name && FindFile(dir, name)) {
        // The file there will be replaced: its space counts as free.
        char* path = SaveStr("%s/%s", dir, name);
        double used = DUPath(path);
        PutMem(path);
        GetDiskSpace(dir, &rec);
        return rec.Avail + used >= required;
    }
    // A directory that does not exist yet is judged by the nearest one above
    // it that does; the walk ends where the parent is the directory itself.
    PathBuf current;
    snprintf(current.data(), current.size(), "%s", dir);
    while (!GetDiskSpace(current.data(), &rec)) {
        PathBuf parent;
        snprintf(parent.data(), parent.size(), "%s", StripFn(current.data()));
        if (strcmp(parent.data(), current.data()) == 0)
            return 0;
        current = parent;
    }
    return rec.Avail >= required;
}
