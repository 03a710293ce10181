// The tools' catalogue and help directories, from the tool's own directory.
#include "ToolCatalogue.h"

#include <sys/stat.h>

#include "NlsUtils.h"

namespace {

bool IsFile(const std::string& path)
{
    struct stat st{};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool HasCatalogue(const std::string& dir)
{
    return IsFile(dir + "/db/" + NLS_LANG_ENGLISH + "/CoreString.qdb");
}

std::string InstalledToolDir(const std::string& toolDir)
{
    return toolDir + "/" + INSTALLED_TOOL_DIR;
}

}  // namespace

std::string CatalogueDir(const std::string& toolDir)
{
    if (HasCatalogue(toolDir))
        return toolDir;
    const std::string installed = InstalledToolDir(toolDir);
    return HasCatalogue(installed) ? installed : toolDir + "/..";
}

bool IsInstalledToolDir(const std::string& dir, const std::string& toolDir)
{
    return dir == InstalledToolDir(toolDir);
}

std::string HelpFile(const std::string& catalogue, const char* name)
{
    for (const char* language : {static_cast<const char*>(GetDesiredNLSLang()), NLS_LANG_ENGLISH}) {
        const std::string path = catalogue + "/help/" + language + "/" + name;
        if (IsFile(path))
            return path;
    }
    return {};
}
