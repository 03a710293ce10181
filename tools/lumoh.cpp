// lumoh: shows a help file of the suite at the terminal as the help menu
// the tools show on h, or prints every page's laid-out text and its links.
//
//   lumoh FILE           the help menu, until Exit Help
//   lumoh --dump FILE    each page's text, then its links, one per line
//
// The help menu's texts come from the library's catalogue, found as the
// other tools find it (the program's directory, the installed tool
// directory, or the directory above the program's).
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "HelpTty.h"
#include "MemMgr.h"
#include "NlsUtils.h"
#include "SysCmd.h"
#include "ToolCatalogue.h"
#include "utils.h"

namespace {

void Usage(FILE* out)
{
    fputs("Usage: lumoh [--dump] FILE\n"
          "\n"
          "Shows a help file at the terminal as the help menu of the suite's tools:\n"
          "the page's text, one numbered item per link, and e (Exit Help),\n"
          "c (Contents) and b (Back).\n"
          "\n"
          "  --dump     print every page's laid-out text, then its links, one per line:\n"
          "             [start,end) of the link in the page text, its kind (href, name\n"
          "             or -) and its target\n"
          "  --help     this text\n"
          "  --version  the program's version\n",
          out);
}

// The whole file with a NUL behind it: the reader works in place.
bool ReadHelpFile(const char* path, std::vector<char>& text)
{
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    int error = fd < 0 ? errno : 0;
    char chunk[65536];
    while (!error) {
        const ssize_t got = read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            error = got < 0 ? errno : 0;
            break;
        }
        text.insert(text.end(), chunk, chunk + got);
    }
    if (fd >= 0)
        close(fd);
    if (error) {
        fprintf(stderr, "lumoh: cannot read %s: %s\n", path, strerror(error));
        return false;
    }
    text.push_back('\0');
    return true;
}

const char* KindName(int kind)
{
    return kind == 1 ? "name" : kind == 2 ? "href" : "-";
}

void DumpPage(int number, const HtmlPage& page)
{
    printf("=== page %d", number);
    if (page.pPageName)
        printf(": %s", page.pPageName);
    printf("\n%s--- links\n", page.pImage ? page.pImage : "");
    for (const ListLink* entry = page.Links.pFirst; entry; entry = entry->pNext) {
        const HtmlLink* link = *static_cast<HtmlLink* const*>(entry->pItem);
        printf("[%d,%d) %s %s\n", link->Start, link->End, KindName(link->Kind),
               link->pTarget ? link->pTarget : "-");
    }
}

void Dump(const HtmlFile& file)
{
    int number = 0;
    for (const ListLink* entry = file.Pages.pFirst; entry; entry = entry->pNext)
        DumpPage(++number, *static_cast<const HtmlPage*>(entry->pItem));
}

// The help menu's texts in the user's language, when a catalogue is there.
void OpenCatalogue(const char* argv0)
{
    SavedStr toolDir(GetToolPath(argv0));
    if (!toolDir)
        return;
    static std::string catalogue;
    catalogue = CatalogueDir(toolDir.get());
    pToolPath = catalogue.data();
    pDrvCoreDB = NlsOpenDB("CoreString", 0);
}

}  // namespace

int main(int argc, char** argv)
{
    my_name = SaveStr_("lumoh");
    bool dump = false;
    const char* path = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--help") || !strcmp(argv[i], "-h")) {
            Usage(stdout);
            return 0;
        }
        if (!strcmp(argv[i], "--version")) {
            fputs("lumoh " TOOL_VERSION "\n", stdout);
            return 0;
        }
        if (!strcmp(argv[i], "--dump")) {
            dump = true;
        } else if ((argv[i][0] == '-' && argv[i][1]) || path) {
            Usage(stderr);
            return 2;
        } else {
            path = argv[i];
        }
    }
    if (!path) {
        Usage(stderr);
        return 2;
    }
    std::vector<char> text;
    if (!ReadHelpFile(path, text))
        return 1;
    // The reader cuts a "#" and what follows off the name it registers.
    std::string name = path;
    HtmlFile* file = ParseHtmlFile(name.data(), text.data());
    if (!file) {
        fprintf(stderr, "lumoh: %s holds no help page\n", path);
        return 1;
    }
    if (dump) {
        Dump(*file);
        return 0;
    }
    OpenCatalogue(argv[0]);
    InitSysCmdList();
    TtyHtmlHelp(name.data(), nullptr, "lumoh");
    return 0;
}
