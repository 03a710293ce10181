// Help files of any content: parsed from a writable copy, every page laid
// out, compacted again and walked by its links, then the registry emptied.
// Each page text must be terminated, its links must lie inside it, and
// forgetting the file must give back every byte the reader took.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "../../common/help/HelpImpl.h"
#include "HelpTty.h"
#include "MemMgr.h"
#include "html.h"

namespace {

void Check(bool ok, const char* what)
{
    if (!ok) {
        fprintf(stderr, "broken: %s\n", what);
        abort();
    }
}

// Bytes handed out by the memory manager.
long MemoryInUse()
{
    long used = 0;
    for (MemBlock* b = pMemB; b; b = b->pNext)
        used += b->Size == MEM_BLOCK_SIZE ? static_cast<long>(MEM_BLOCK_NODES - b->FreeNodeCount) * MEM_NODE_SIZE
                                          : b->UsedSize;
    return used;
}

void CheckPage(HtmlFile* file, HtmlPage* page)
{
    pCurrentPage = page;
    PrintTextImage(file);   // a page laid out already stays as it is
    Check(page->pImage != nullptr, "page without text");
    const int length = static_cast<int>(strlen(page->pImage));
    Check(page->LineCount >= 0 && page->LineCount <= CanvasMaxRows, "line count");
    Check(length == 0 || page->pImage[length - 1] == '\n', "the text ends its last line");
    for (ListLink* l = page->Links.pFirst; l; l = l->pNext) {
        const HtmlLink* link = *static_cast<HtmlLink**>(l->pItem);
        Check(link->Start >= 0 && link->Start <= link->End && link->End <= length, "link outside its page");
        Check(link->Length == link->End - link->Start, "link length");
        if (link->Kind == 1 && link->pTarget)
            GoToTarget(link->pTarget);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ForgetHtmlFiles();
    const long before = MemoryInUse();
    std::vector<char> text(data, data + size);
    text.push_back('\0');
    char name[] = "file://fuzz.html#top";
    if (HtmlFile* file = ParseHtmlFile(name, text.data())) {
        Check(FileIndex == 1 && aFile[0] == file, "registered");
        for (ListLink* l = file->Pages.pFirst; l; l = l->pNext)
            CheckPage(file, static_cast<HtmlPage*>(l->pItem));
        char again[] = "fuzz.html";
        Check(ParseHtmlFile(again, nullptr) == file, "found again by name");
    }
    ForgetHtmlFiles();
    Check(MemoryInUse() == before, "memory the reader took is given back");
    return 0;
}
