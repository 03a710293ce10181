// The process's environment: the plain shell runner, host and user names,
// environment variables, the program's own directory and the printing
// system the machine runs.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "FilePath.h"
#include "MemMgr.h"
#include "SysCmd.h"
#include "utils.h"

char* pToolPath = nullptr;

namespace {

// StripFn's rule in place, on a path of any length: the text before the
// last '/' ("/" for a name in the root), "." for a name without one.
void CutLastName(char* path)
{
    size_t length = strlen(path);
    while (length > 0 && path[length - 1] != '/')
        --length;
    if (length == 0)
        strcpy(path, ".");
    else
        path[length > 1 ? length - 1 : length] = '\0';
}

// The first line of text without its line end.
void CutLineEnd(char* text)
{
    text[strcspn(text, "\r\n")] = '\0';
}

}  // namespace

void SysCmdP(int mode, const char* format, ...)
{
    char line[512];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(line, sizeof line, format, args);
    va_end(args);
    const bool reported = mode == 1 || mode == 2;
    char why[256];
    int result;
    // A line that does not fit is not run cut short.
    if (n < 0 || n >= static_cast<int>(sizeof line)) {
        result = E2BIG;
        snprintf(why, sizeof why, "%s", strerror(E2BIG));
    } else {
        if (reported)
            printf("%s\n", line);
        result = RunShellCmd(line, why, sizeof why);
    }
    if (result != 0 && reported) {
        const char* prefix = mode == 2 ? "ERROR" : "WARNING_MSG";
        fprintf(stderr, "%s: %s\n", prefix, why);
        PutLogMsg("%s: %s\n", prefix, why);
        if (mode == 2)
            exit(1);
    }
    sleep(1);
}

char* GetHostname()
{
    char name[256];
    if (gethostname(name, sizeof name) != 0)
        return nullptr;
    name[sizeof name - 1] = '\0';
    CutLineEnd(name);
    return SaveStr_(name);
}

char* GetUserName()
{
    char* command = GetCmd(CMD_WHOAMI);
    if (!command) {
        uid_t uid = getuid();
        return uid == 0 ? SaveStr_("root") : SaveStr("User ID:  %d", static_cast<int>(uid));
    }
    fflush(nullptr);
    FILE* pipe = popen(command, "r");
    PutMem(command);
    if (!pipe)
        return nullptr;
    char line[256];
    if (!fgets(line, sizeof line, pipe))
        line[0] = '\0';
    pclose(pipe);
    CutLineEnd(line);
    return SaveStr_(line);
}

char* GetEnv(const char* name)
{
    const char* value = name ? getenv(name) : nullptr;
    return value ? SaveStr_(value) : nullptr;
}

char* GetToolPath(const char* argv0)
{
    if (!argv0)
        argv0 = "";
    PathBuf dir;
    snprintf(dir.data(), dir.size(), "%s", argv0);
    CutLastName(dir.data());
    if (argv0[0] == '/')
        return SaveStr_(dir.data());
    PathBuf cwd;
    // Without a current directory the relative one is all there is.
    if (!getcwd(cwd.data(), cwd.size()))
        return SaveStr_(dir.data());
    if (strcmp(dir.data(), "./") == 0)
        return SaveStr_(cwd.data());
    if (strncmp(dir.data(), "./", 2) == 0)
        return SaveStr("%s/%s", cwd.data(), dir.data() + 2);
    if (strncmp(dir.data(), "../", 3) != 0) {
        // The program is not looked for along the command path: a bare name
        // is taken to be in the current directory.
        char* joined = SaveStr("%s/%s", cwd.data(), argv0);
        CutLastName(joined);
        return joined;
    }
    // Each leading "../" is one level up from the current directory, also
    // a last one with nothing behind it ("..//setup").
    const char* rest = dir.data();
    while (strncmp(rest, "../", 3) == 0) {
        rest += 3;
        CutLastName(cwd.data());
    }
    return *rest ? SaveStr("%s/%s", cwd.data(), rest) : SaveStr_(cwd.data());
}

int SniffLprng()
{
    if (!TestCmd(CMD_LPD))
        return 0;
    ResponseNode* response = GetCmdResponse(CMD_LPD, "LPRng", "%s", " -V 2>&1");
    int found = 0;
    for (const ResponseNode* node = response; node; node = node->pNext) {
        if (strstr(node->pLine, "LPRng"))
            found = 1;
    }
    FreeResponseList(response);
    return found;
}

int SniffCUPS()
{
    char* running = CheckProcTableForExecs("cupsd");
    PutMem(running);
    return running ? 1 : 0;
}
