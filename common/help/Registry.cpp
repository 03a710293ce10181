// The registry of parsed help files: a file is read and parsed once, split
// into pages, laid out, and found again by its name for the rest of the
// process.
#include <cstring>
#include <strings.h>

#include "HelpImpl.h"
#include "HelpTty.h"
#include "List.h"
#include "MemMgr.h"
#include "utils.h"

HtmlFile* aFile[100];
int FileIndex;
int CurrentFile;
HtmlPage* pCurrentPage;

namespace {

constexpr int FileSlots = sizeof(aFile) / sizeof(aFile[0]);

// Whether the reader read a registered file's text itself (and so owns it)
// or was given it by the caller.
bool ownText[FileSlots];

HtmlPage* FirstPage(HtmlFile* file)
{
    return file->Pages.pFirst ? static_cast<HtmlPage*>(file->Pages.pFirst->pItem) : nullptr;
}

// The page named by the html tag's page="..." attribute (null when it has
// none); the name is cut in place at its closing quote.
char* PageAttribute(char* attributes)
{
    char* found = *attributes ? StrCaseStr(attributes, "page=\"") : nullptr;
    if (!found)
        return nullptr;
    char* name = found + 6;
    if (char* quote = strchr(name, '"'))
        *quote = '\0';
    return name;
}

// An html tag: skips the page when it says SkipPage and its closing tag
// follows; else starts a new page for the file's first html tag or one that
// names a page. Gives the current page (null when memory is short).
HtmlPage* OpenPage(HtmlFile* file, char* attributes, HtmlPage* current)
{
    if (StrStr(attributes, "SkipPage")) {
        if (char* end = StrCaseStr(file->pPos, "/HTML")) {
            if (char* close = strchr(end, '>')) {
                file->pPos = close + 1;
                return current;
            }
        }
    }
    char* name = PageAttribute(attributes);
    if (current && !name)
        return current;
    HtmlPage page{};
    page.pPageName = name;
    return static_cast<HtmlPage*>(ListPushItem(&file->Pages, &page, sizeof page));
}

// Walks the top-level tags of the file's text into pages with their head
// and body lists.
void ReadPages(HtmlFile* file)
{
    HtmlPage* page = nullptr;
    while (char* tag = GetKeyWord(file)) {
        while (*tag == ' ' || *tag == '\t' || *tag == '\r' || *tag == '\n')
            ++tag;
        char* attributes = tag + strcspn(tag, " \t\r\n");
        if (*attributes)
            *attributes++ = '\0';
        switch (*tag ? FindTokenC(tag, ",html,head,body,/html,") : 0) {
        case 1:
            page = OpenPage(file, attributes, page);
            break;
        case 2:
            if (page && page->Head.Count == 0)
                ParseHtml(file, &page->Head, "head");
            break;
        case 3:
            if (page)
                ParseHtml(file, &page->Body, "body");
            break;
        default:
            break;
        }
    }
}

void FreeElements(ListRec* list)
{
    for (ListLink* l = list->pFirst; l; l = l->pNext) {
        auto* element = static_cast<HtmlElement*>(l->pItem);
        if (element->pTag && strcasecmp(element->pTag, "a") == 0)
            PutMem(element->pText);
        else if (ElementTag(element) == TagFitab) {
            auto* table = static_cast<HtmlTable*>(element->pText);
            PutMem(table->pRowHeights);
            PutMem(table->pColWidths);
            PutMem(table);
        }
    }
    ListDelAllItems(list);
}

void FreeFile(int slot)
{
    HtmlFile* file = aFile[slot];
    for (ListLink* l = file->Pages.pFirst; l; l = l->pNext) {
        auto* page = static_cast<HtmlPage*>(l->pItem);
        FreeElements(&page->Head);
        FreeElements(&page->Body);
        ListDelAllItems(&page->Links);
        PutMem(page->pImage);
    }
    ListDelAllItems(&file->Pages);
    PutMem(file->pFileName);
    if (ownText[slot])
        PutMem(file->pText);
    PutMem(file);
    aFile[slot] = nullptr;
    ownText[slot] = false;
}

}  // namespace

HtmlFile* FindHtmlFile(const char* name)
{
    for (int i = 0; name && i < FileIndex; ++i) {
        if (aFile[i] && strcmp(aFile[i]->pFileName, name) == 0) {
            CurrentFile = i;
            return aFile[i];
        }
    }
    return nullptr;
}

HtmlFile* ParseHtmlFile(char* name, char* text)
{
    if (!name || strncasecmp(name, "http://", 7) == 0)
        return nullptr;
    if (strncmp(name, "file://", 7) == 0)
        name += 7;
    char* target = strchr(name, '#');
    if (target)
        *target++ = '\0';

    if (HtmlFile* known = FindHtmlFile(name)) {
        if (HtmlPage* first = FirstPage(known)) {
            pCurrentPage = first;
            return known;
        }
    }
    // A full registry takes no more files; the file is not even read.
    if (FileIndex >= FileSlots)
        return nullptr;
    const bool own = !text;
    if (own && !(text = GetSavedFileContent(name, nullptr)))
        return nullptr;

    auto* file = static_cast<HtmlFile*>(GetMem(sizeof(HtmlFile)));
    if (!file) {
        if (own)
            PutMem(text);
        return nullptr;
    }
    file->pFileName = SaveStr_(name);
    file->pText = file->pPos = text;
    aFile[FileIndex] = file;
    ownText[FileIndex] = own;
    ReadPages(file);
    if (!FirstPage(file)) {
        FreeFile(FileIndex);   // the slot is taken by the next file
        return nullptr;
    }

    CurrentFile = FileIndex++;
    for (ListLink* l = file->Pages.pFirst; l; l = l->pNext) {
        pCurrentPage = static_cast<HtmlPage*>(l->pItem);
        PrintTextImage(file);
    }
    pCurrentPage = FirstPage(file);
    if (target && *target)
        GoToTarget(target);
    return file;
}

void ForgetHtmlFiles()
{
    for (int slot = 0; slot < FileIndex; ++slot)
        if (aFile[slot])
            FreeFile(slot);
    FileIndex = CurrentFile = 0;
    pCurrentPage = nullptr;
    HistoryI = TargetPos = 0;
}
