// Help navigation: opening a help file, following a link to an anchor, a
// page or another file, going back through the history, and following the
// link under a character position of the page text.
#include <cstdio>
#include <cstring>
#include <string_view>

#include "HelpTty.h"
#include "MemMgr.h"
#include "utils.h"

unsigned char flBuildingFile = 0;

namespace {

HtmlPage* FirstPage(HtmlFile* file)
{
    return file && file->Pages.pFirst ? static_cast<HtmlPage*>(file->Pages.pFirst->pItem) : nullptr;
}

// Shows the first page of a registered file, from its top.
bool ShowFirstPage(int index)
{
    HtmlPage* page = index >= 0 && index < FileIndex ? FirstPage(aFile[index]) : nullptr;
    if (!page)
        return false;
    CurrentFile = index;
    pCurrentPage = page;
    TargetPos = 0;
    return true;
}

HtmlFile* ShownFile()
{
    return CurrentFile >= 0 && CurrentFile < FileIndex ? aFile[CurrentFile] : nullptr;
}

// The file name without its directories.
const char* BaseName(const char* path)
{
    const char* slash = strrchr(path, '/');
    return slash ? slash + 1 : path;
}

// Whether the part of the target before its last "#" names the file being
// shown: it begins the file's base name.
bool NamesShownFile(const char* target, const char* hash)
{
    const HtmlFile* file = ShownFile();
    if (!file || !file->pFileName)
        return false;
    const std::string_view part(target, static_cast<size_t>(hash - target));
    return std::string_view(BaseName(file->pFileName)).starts_with(part);
}

// A link between help files names its file relative to the file it is in,
// so that the help reads the same whatever directory the program runs in:
// the target behind the shown file's directory, or null when the target
// has nothing to resolve (a path from the root, a scheme, a shown file
// without directories).
char* BesideShownFile(const char* target)
{
    const HtmlFile* file = ShownFile();
    if (!file || !file->pFileName || target[0] == '/' || strstr(target, "://"))
        return nullptr;
    const char* base = BaseName(file->pFileName);
    if (base == file->pFileName)
        return nullptr;
    return SaveStr("%.*s%s", static_cast<int>(base - file->pFileName), file->pFileName, target);
}

// Shows the registered file of exactly this name at its first page.
bool ShowRegistered(const char* name)
{
    return FindHtmlFile(name) && ShowFirstPage(CurrentFile);
}

// Reads, lays out and shows another file (at the target behind its "#").
// The reader cuts the name it is given at the "#", so it gets a copy: the
// page's link keeps its whole target for the next time it is followed.
bool OpenLinkedFile(const char* name, SavedStr* cut)
{
    cut->reset(SaveStr_(name));
    return cut->get() && ParseHtmlFile(cut->get(), nullptr) != nullptr;
}

void FollowToFile(const char* target)
{
    SavedStr beside(BesideShownFile(target));
    if (beside && ShowRegistered(beside.get()))
        return;
    if (ShowRegistered(target))
        return;
    SavedStr cut;
    if (beside && OpenLinkedFile(beside.get(), &cut))
        return;
    if (!OpenLinkedFile(target, &cut))
        printf("Error in reading file %s\n", cut ? cut.get() : target);
}

}  // namespace

int HtmlHelp(char* name, char* text)
{
    if (!name)
        return 0;
    HistoryI = 0;
    flBuildingFile = 1;
    HtmlFile* file = ParseHtmlFile(name, text);
    flBuildingFile = 0;
    if (file)
        return 1;
    if (text)
        fputs("Error reading HTML buffer\n", stdout);
    else
        printf("Error in reading HTML file %s\n", name);
    return 0;
}

void ProcessLink(HtmlLink* link)
{
    if (!link || !link->pTarget)
        return;
    flBuildingFile = 1;
    const char* target = link->pTarget;
    const char* hash = strrchr(target, '#');
    if (target[0] == '#')
        GoToTarget(target);
    else if (hash && NamesShownFile(target, hash))
        GoToTarget(hash);
    else
        FollowToFile(target);
    flBuildingFile = 0;
}

int HtmlSetHistory(int how)
{
    if (HistoryI <= 0)
        return 0;
    if (how == 0) {
        HistoryI = 0;
        ShowFirstPage(0);
        return 1;
    }
    --HistoryI;
    CurrentFile = History[HistoryI].File;
    pCurrentPage = History[HistoryI].Page;
    return 1;
}

void HtmlProcessLink(int offset)
{
    if (flBuildingFile || FileIndex <= 0 || !pCurrentPage)
        return;
    // The page's link list is walked by its links, not with the list's walk
    // cursor, which the target search uses meanwhile.
    for (const ListLink* entry = pCurrentPage->Links.pFirst; entry; entry = entry->pNext) {
        HtmlLink* link = *static_cast<HtmlLink* const*>(entry->pItem);
        if (link && link->Kind == 2 && link->Start <= offset && offset < link->End) {
            TargetPos = offset;
            ProcessLink(link);
            return;
        }
    }
}
