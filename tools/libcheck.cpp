// libcheck: a short self-check of the support library that a person can read.
// It saves strings, splits a text into tokens, looks a name up in a token
// list, lists a directory, keeps records in a list and finally prints the
// memory manager's map, so one run shows the library's core at work.
// Exit status 0 when every check held, 1 otherwise.
#include "List.h"
#include "MemMgr.h"
#include "utils.h"

#include <cstdio>
#include <cstring>

namespace {

int failures = 0;

void check(bool ok, const char* what)
{
    std::printf("%-58s %s\n", what, ok ? "ok" : "FAILED");
    if (!ok)
        ++failures;
}

void checkStrings()
{
    char* greeting = SaveStr("%s %d.%02d", "release", 5, 10);
    check(greeting && std::strcmp(greeting, "release 5.10") == 0,
          "SaveStr formats into a saved string");
    char* copy = SaveStr_("100% literal");
    check(copy && std::strcmp(copy, "100% literal") == 0, "SaveStr_ copies without formatting");
    check(std::strcmp(StripPath("/opt/Tarvo/lumo"), "lumo") == 0 &&
              std::strcmp(StripFn("/opt/Tarvo/lumo"), "/opt/Tarvo") == 0,
          "path helpers split /opt/Tarvo/lumo");
    PutMem(copy);
    PutMem(greeting);
}

void checkTokens()
{
    const char* text = "cp -p disks /tmp/TarvoInstall";
    int count = GetTokenCount(text, " ");
    char* first = GetToken(text, " ");
    check(count == 4 && first && std::strcmp(first, "cp") == 0,
          "GetToken splits a command line into 4 words");
    check(FindToken("-v", ",install,-v") == 2 && FindTokenC("YES", ",y,yes,n,no,") == 2,
          "token lists answer positions of elements");
    char list[16] = "c,a,b";
    SortTokens(list, ',', 0);
    check(std::strcmp(list, "a,b,c,") == 0, "SortTokens sorts a delimited list");
}

void checkFiles()
{
    int exists = 0;
    char* found = FindExistingPath("/usr/nosuch/deeper", &exists);
    check(found && std::strcmp(found, "/usr") == 0 && exists == 0,
          "FindExistingPath walks up to /usr");
    PutMem(found);
    char* listing = GetDirFileList("/");
    check(listing && FindToken("usr", listing) > 0, "the root directory lists usr");
    PutMem(listing);
    check(GetFileType("/") == 1, "GetFileType knows a directory");
}

void checkList()
{
    ListRec* list = ListCreate();
    const char* names[] = {"disks", "isize", "tsize"};
    for (const char* name : names)
        ListPushItem(list, name, static_cast<int>(std::strlen(name)) + 1);
    void* second = ListFindItemN(list, 2);
    check(second && std::strcmp(static_cast<char*>(second), "isize") == 0 &&
              ListGetItemPos(list, second) == 2,
          "a list keeps copies of its items in order");
    ListDel(list);
}

}  // namespace

int main()
{
    std::printf("common library self-check\n\n");
    checkStrings();
    checkTokens();
    checkFiles();
    checkList();

    void* kept = GetMem(100);
    std::printf("\nmemory map with one 100-byte allocation live:\n");
    std::fflush(stdout);
    DumpMem();
    PutMem(kept);

    std::printf("\n%s\n", failures ? "self-check FAILED" : "self-check passed");
    return failures ? 1 : 0;
}
