// Going to a page or named anchor of the current help file, and the history
// of the positions left that way.
#include <cstring>

#include "HelpTty.h"
#include "List.h"

HtmlHistory History[100];
int HistoryI;
int TargetPos;

namespace {

constexpr int HistorySize = sizeof(History) / sizeof(History[0]);

// The first named anchor of the page called name, null when there is none.
HtmlLink* FindAnchor(HtmlPage* page, const char* name)
{
    for (ListLink* l = page->Links.pFirst; l; l = l->pNext) {
        HtmlLink* link = *static_cast<HtmlLink**>(l->pItem);
        if (link->Kind == 1 && link->pTarget && strcmp(link->pTarget, name) == 0)
            return link;
    }
    return nullptr;
}

}  // namespace

void SetHistory()
{
    // A full history takes no more entries; the jump is made all the same.
    if (HistoryI >= HistorySize)
        return;
    History[HistoryI++] = HtmlHistory{CurrentFile, pCurrentPage, TargetPos};
}

void GoToTarget(const char* target)
{
    if (!target || CurrentFile < 0 || CurrentFile >= FileIndex || !aFile[CurrentFile])
        return;
    if (*target == '#')
        ++target;
    for (ListLink* l = aFile[CurrentFile]->Pages.pFirst; l; l = l->pNext) {
        auto* page = static_cast<HtmlPage*>(l->pItem);
        if (page->pPageName && strcmp(page->pPageName, target) == 0) {
            SetHistory();
            pCurrentPage = page;
            TargetPos = 0;
            return;
        }
        if (HtmlLink* anchor = FindAnchor(page, target)) {
            SetHistory();
            pCurrentPage = page;
            TargetPos = anchor->Start;
            return;
        }
    }
}
