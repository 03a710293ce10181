// The process's environment: the host name, environment variables and the
// program's own directory.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "FilePath.h"
#include "MemMgr.h"
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

char* GetHostname()
{
    char name[256];
    if (gethostname(name, sizeof name) != 0)
        return nullptr;
    name[sizeof name - 1] = '\0';
    CutLineEnd(name);
    return SaveStr_(name);
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
