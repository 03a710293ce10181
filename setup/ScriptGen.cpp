// Writing the generated scripts: the queue scripts of the application
// directory, their link for LPRng's printconf, and the /usr/bin wrappers.
#include "Scripts.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <span>
#include <sys/stat.h>
#include <unistd.h>

#include "MemMgr.h"
#include "Setup.h"
#include "SysCmd.h"
#include "utils.h"

namespace {

// Where LPRng's printconf looks for queue filters.
constexpr const char* PRINTCONF_UTIL_DIR = "/usr/share/printconf/util";

bool IsDirectory(const char* path)
{
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

// Number of "%s" a template asks for ("%%" is a plain "%").
int CountValues(const char* templ)
{
    int count = 0;
    for (const char* p = templ; *p; ++p) {
        if (p[0] == '%' && (p[1] == 's' || p[1] == '%')) {
            count += p[1] == 's';
            ++p;
        }
    }
    return count;
}

// Writes the template, each "%s" replaced by the next value (there are
// enough: the caller counted) and "%%" by "%".
void FillTemplate(FILE* out, const char* templ, std::span<const char* const> values)
{
    size_t next = 0;
    for (const char* p = templ; *p; ++p) {
        if (p[0] == '%' && p[1] == 's') {
            fputs(values[next++], out);
            ++p;
        } else if (p[0] == '%' && p[1] == '%') {
            fputc('%', out);
            ++p;
        } else {
            fputc(*p, out);
        }
    }
}

// Values stand inside double quotes in the scripts, where these characters
// would end the quotes or start an expansion or a command.
bool SafeInQuotes(const char* value)
{
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(value); *p; ++p) {
        if (*p < 0x20 || *p == 0x7f || *p == '"' || *p == '$' || *p == '`' || *p == '\\')
            return false;
    }
    return true;
}

// Opens path for a new script, in place of whatever file or link is there.
// The directory may be writable by a group, so nothing found at the path
// is written through: the old entry is removed and the new file must be
// created by this call.
FILE* OpenNewScript(const char* path)
{
    FILE* out = CreateFreshStream(path, 0600);
    if (!out)
        fprintf(stderr, "ERROR: can't open file, %s\n", path);
    return out;
}

// The one way every script is written: first line, banner with the
// current year, template with its values; then mode 755, set on the open
// file so that no link can redirect it.
int WriteScript(const char* path, const char* firstLine, const char* templ,
                std::span<const char* const> values)
{
    if (!path || !firstLine || !templ)
        return 0;
    if (static_cast<size_t>(CountValues(templ)) > values.size()) {
        fprintf(stderr, "ERROR: couldn't write %s: the script needs more values than given\n",
                path);
        return 0;
    }
    for (const char* value : values) {
        if (!value || !SafeInQuotes(value)) {
            fprintf(stderr, "ERROR: couldn't write %s: \"%s\" can't be quoted in a shell script\n",
                    path, value ? value : "(none)");
            return 0;
        }
    }
    FILE* out = OpenNewScript(path);
    if (!out)
        return 0;

    time_t now = time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    char year[16];
    snprintf(year, sizeof year, "%04d", local.tm_year + 1900);
    const char* const yearValue[] = {year};

    fprintf(out, "%s\n", firstLine);
    FillTemplate(out, ScriptBanner, yearValue);
    FillTemplate(out, templ, values);

    errno = 0;
    int err = 0;
    if (fflush(out) != 0 || ferror(out) || fchmod(fileno(out), 0755) != 0)
        err = errno != 0 ? errno : EIO;
    if (fclose(out) != 0 && err == 0)
        err = errno;
    if (err != 0) {
        fprintf(stderr, "ERROR: couldn't write %s: %s\n", path, strerror(err));
        return 0;
    }
    return 1;
}

}  // namespace

int generateTarvoPrintlumoScript(const char* path, const char* firstLine, const char* templ)
{
    // The seventh value is passed for the template and not asked for by ours.
    const char* const values[] = {pAppDir, PRODUCT_NAME, "nuvrinlumo", "nuvrinlumo",
                                  PRODUCT_NAME, PRODUCT_NAME, PRODUCT_NAME};
    return WriteScript(path, firstLine, templ, values);
}

int generatev4DriverScript(const char* path, const char* firstLine, const char* templ)
{
    const char* const values[] = {pAppDir};
    return WriteScript(path, firstLine, templ, values);
}

int generateTarvoQDFScript(const char* path, const char* firstLine, const char* templ,
                           const char* spoolSubdir)
{
    const char* const values[] = {pAppDir, spoolSubdir};
    return WriteScript(path, firstLine, templ, values);
}

int GenSimpleScript(const char* path, const char* firstLine, const char* templ, const char* dir1,
                    const char* dir2, const char* file)
{
    const char* const values[] = {dir1, dir2, file};
    return WriteScript(path, firstLine, templ, values);
}

void createQueueScripts(const char* spoolDir)
{
    char* path = SaveStr("%s/%sPrint%s", pAppDir, MAKER_NAME, PRODUCT_NAME);
    generateTarvoPrintlumoScript(path, ScriptShShell, TarvoPrintlumoScript);
    PutMem(path);

    path = SaveStr("%s/v4DriverScript", pAppDir);
    generatev4DriverScript(path, ScriptShShell, pv4DriverScript);
    PutMem(path);

    path = SaveStr("%s/%s%s", pAppDir, MAKER_NAME, "QDF");
    char* queueSpool = SaveStr("%s/%s", spoolDir, PRODUCT_NAME);
    generateTarvoQDFScript(path, ScriptShShell, TarvoQDFScript, queueSpool);
    PutMem(queueSpool);
    PutMem(path);

    // printconf offers the filters of its util directory for new queues.
    if (SniffLprng() && IsDirectory(PRINTCONF_UTIL_DIR) &&
        !FindFile(PRINTCONF_UTIL_DIR, "TarvoPrintlumo")) {
        SysCmd(CMD_LN, 1, "-s %s/%s/%s/TarvoPrintlumo %s/TarvoPrintlumo", pTargetInstallDir,
               MAKER_NAME, PRODUCT_NAME, PRINTCONF_UTIL_DIR);
    }
}
