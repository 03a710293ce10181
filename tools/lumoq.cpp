// lumoq: sets up a print queue with a form at the terminal and stores it in
// the queue database of the program's directory.
//
//   lumoq [-n] [SETTINGS]
//
// The form's texts come from the core-string catalogue of the program's
// directory (or of the directory above it, where a build tree keeps it, or
// of the installed tool directory, which then holds the queue database too);
// its help pages, which the answer h shows, lie beside the catalogue in
// help/<language>/lumoq.html.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "MemMgr.h"
#include "NlsUtils.h"
#include "QueueForm.h"
#include "SysCmd.h"
#include "ToolCatalogue.h"
#include "utils.h"

namespace {

// The catalogue is opened from the directory that holds it. The queue
// database lives under the program's own directory, but for an installed
// program: its directory of programs is shared, so the queues go to the
// installed tool directory with the catalogue.
bool OpenCatalogue(char*& toolDir, std::string& catalogue)
{
    catalogue = CatalogueDir(toolDir);
    pToolPath = const_cast<char*>(catalogue.c_str());
    pDrvCoreDB = NlsOpenDB("CoreString", 0);
    if (IsInstalledToolDir(catalogue, toolDir)) {
        PutMem(toolDir);
        toolDir = SaveStr_(catalogue.c_str());
    }
    pToolPath = toolDir;
    return pDrvCoreDB != nullptr;
}

void Usage(FILE* out)
{
    if (pDrvCoreDB)
        Nlsfprintf(out, pDrvCoreDB, 40, 53);
    else
        fputs("Usage: lumoq [-n] [SETTINGS]\n", out);
}

}  // namespace

int main(int argc, char** argv)
{
    my_name = SaveStr_("lumoq");
    char* toolDir = GetToolPath(argv[0]);
    std::string catalogue;
    if (!toolDir || !OpenCatalogue(toolDir, catalogue)) {
        fprintf(stderr, "ERROR: %s: the message catalogue cannot be read\n", my_name);
        return 1;
    }
    bool interactive = true;
    const char* settings = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--help") || !strcmp(argv[i], "-h")) {
            Usage(stdout);
            return 0;
        }
        if (!strcmp(argv[i], "--version")) {
            fputs("lumoq " TOOL_VERSION "\n", stdout);
            return 0;
        }
        if (!strcmp(argv[i], "-n")) {
            interactive = false;
        } else if (argv[i][0] == '-' || settings) {
            Usage(stderr);
            return 2;
        } else {
            settings = argv[i];
        }
    }
    if (!interactive && !settings) {
        Usage(stderr);
        return 2;
    }
    mkdir((std::string(toolDir) + "/db").c_str(), 0755);
    InitSysCmdList();
    if (!PrepareQueueForm()) {
        fprintf(stderr, "ERROR: %s: the form's texts are missing from the message catalogue\n", my_name);
        return 1;
    }
    const std::string help = HelpFile(catalogue, "lumoq.html");
    if (!help.empty())
        OfferQueueFormHelp(SaveStr_(help.c_str()));
    RunMenu(&QueueMenu, settings, interactive ? 1 : 0);
    if (settings && !flLoadedSettings)
        return 1;
    return interactive || flQueueStored ? 0 : 1;
}
