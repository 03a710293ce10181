// The product's placement list "pkg.list", carried out after the package
// installer on a first installation: each line copies, touches or makes
// something in the application directory (or checks that it is there),
// may be guarded by release conditions, and ends in attribute pairs that
// act on the placed file.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "Installer.h"
#include "MemMgr.h"
#include "Scripts.h"
#include "Setup.h"
#include "SetupMessages.h"
#include "SysCmd.h"
#include "utils.h"

namespace {

// In the application directory while the placement list of its first
// installation is still to be carried out to its end.
constexpr const char* PLACEMENT_MARK = ".nv_placing";

// Length of the word separator at p: a blank, carriage return or newline,
// or the backslash that continues a line on the next; 0 for none.
size_t SeparatorLength(const char* p)
{
    if (*p == ' ' || *p == '\r' || *p == '\n')
        return 1;
    if (*p == '\\' && (p[1] == '\n' || p[1] == '\r'))
        return 2;
    return 0;
}

const char* SkipSeparators(const char* pos)
{
    while (size_t n = SeparatorLength(pos))
        pos += n;
    return pos;
}

std::string_view NextWord(const char*& pos)
{
    pos = SkipSeparators(pos);
    const char* start = pos;
    while (*pos && !SeparatorLength(pos))
        ++pos;
    return std::string_view(start, static_cast<size_t>(pos - start));
}

// Position of word in a token list such as ",a,b,", or 0. A word holding
// the list's separator names several elements, so it is none of them.
int WordPosition(std::string_view word, const char* list)
{
    if (word.empty() || word.find(list[0]) != std::string_view::npos)
        return 0;
    SavedStr text(SaveStr_(word));
    return FindToken(text.get(), list);
}

bool HasParentStep(std::string_view path)
{
    while (!path.empty()) {
        const size_t slash = path.find('/');
        if (path.substr(0, slash) == "..")
            return true;
        if (slash == std::string_view::npos)
            break;
        path.remove_prefix(slash + 1);
    }
    return false;
}

// How a word of the list may be used in a command line.
enum WordUse {
    IN_COMMAND,   // pasted as it is
    IN_APP_DIR,   // names something below the application directory
    COMMAND_NAME  // a plain name in /usr/bin
};

bool IsSafeWord(std::string_view word, WordUse use)
{
    bool safe = IsSafePathText(word) != 0;
    if (use == IN_APP_DIR)
        safe = safe && !HasParentStep(word);
    if (use == COMMAND_NAME)
        safe = safe && word.find('/') == std::string_view::npos && word != "." && word != "..";
    return safe;
}

// Warns that a line is passed over because of word.
void RefuseWord(std::string_view word)
{
    InstallerWarning("pkg.list: a line is passed over: \"%.*s\" may hold only letters, "
                     "digits and \"/ . _ - + , : = @ %%\", and never step out of the "
                     "application directory",
                     static_cast<int>(word.size()), word.data());
}

void WarnLine(const char* why, std::string_view word)
{
    InstallerWarning("pkg.list: a line is passed over: %s \"%.*s\"", why,
                     static_cast<int>(word.size()), word.data());
}

// Every word of the command and its attributes that goes into a command
// line must be safe there; the sed script is quoted instead.
bool CheckWords(const PkgListStep& step)
{
    if (!IsSafeWord(step.file, IN_APP_DIR)) {
        RefuseWord(step.file);
        return false;
    }
    if (step.command == PKG_DIRTO && !IsSafeWord(step.extra, IN_COMMAND)) {
        RefuseWord(step.extra);
        return false;
    }
    PkgListAttribute attribute;
    for (const char* pos = step.rest; ParsePkgListAttribute(pos, &attribute);
         pos = attribute.rest) {
        WordUse use = IN_COMMAND;
        switch (attribute.key) {
        case PKG_ATTR_SED:
        case PKG_ATTR_OTHER:
            continue;
        case PKG_ATTR_NAME:
            use = IN_APP_DIR;
            break;
        case PKG_ATTR_BAT:
            use = COMMAND_NAME;
            break;
        default:
            break;
        }
        if (!IsSafeWord(attribute.value, use)) {
            RefuseWord(attribute.value);
            return false;
        }
    }
    return true;
}

// The text in single quotes for the shell, a quote inside as '\''.
char* ShellQuoted(std::string_view text)
{
    int size = 3;
    for (char c : text)
        size += c == '\'' ? 4 : 1;
    char* quoted = static_cast<char*>(GetMem(size));
    if (!quoted)
        SysError("%s", OutOfMem);
    char* out = quoted;
    *out++ = '\'';
    for (char c : text) {
        if (c == '\'') {
            memcpy(out, "'\\''", 4);
            out += 4;
        } else {
            *out++ = c;
        }
    }
    *out++ = '\'';
    *out = '\0';
    return quoted;
}

// Makes path a new empty file of this process with the given mode, in
// place of whatever stands there (a link planted in /tmp above all). Once
// it is ours, nobody else can replace it in the sticky /tmp, so the shell
// may open it by name.
void PrepareTempFile(const char* path, mode_t mode)
{
    const int fd = CreateFreshFile(path, static_cast<int>(mode));
    if (fd < 0) {
        const int err = errno;
        PutLogMsg("ERROR: couldn't open %s: %s\n", path, strerror(err));
        fprintf(stderr, "ERROR: couldn't open %s: %s\n", path, strerror(err));
        exit(1);
    }
    close(fd);
}

// The sed attribute: the script is applied to <app>/<file>, the result
// goes to /tmp/<my_name>.tmp and is copied back over the file. An edit
// leaves the file's mode, owner and group as they were: the temporary file
// takes the mode, which the copy keeps, and the owner and group the copy
// takes from the temporary file are given back afterwards (the temporary
// file itself stays the installer's, so nobody else can change it).
void EditWithSed(std::string_view script, const char* file)
{
    SavedStr target(SaveStr("%s/%s", pAppDir, file));
    struct stat st;
    const bool known = stat(target.get(), &st) == 0;
    const mode_t mode = known ? (st.st_mode & 0777) : 0644;
    SavedStr temp(SaveStr("/tmp/%s.tmp", my_name));
    PrepareTempFile(temp.get(), mode);
    const ComRow& sed = RequireCmd(CMD_SED);
    SavedStr quoted(ShellQuoted(script));
    // The group keeps sed's output in the temporary file; its errors go to
    // the log with the line.
    SysCmd(CMD_NONE, 2, "(%s/%s -e %s %s 1>%s)", sed.Path, sed.Name, quoted.get(), target.get(),
           temp.get());
    // The edited text is copied back onto a plain file of one name only.
    if (!ClearCopyTarget(target.get())) {
        PutLogMsg("ERROR: couldn't write %s\n", target.get());
        fprintf(stderr, "ERROR: couldn't write %s\n", target.get());
        exit(1);
    }
    SysCmd(CMD_CP, 2, "/tmp/%s.tmp %s", my_name, target.get());
    if (known && lchown(target.get(), st.st_uid, st.st_gid) != 0)
        InstallerWarning("couldn't give %s its owner and group back: %s", target.get(),
                         strerror(errno));
    SysCmd(CMD_RM, 0, "/tmp/%s.tmp", my_name);
}

// Whether path is a symbolic link to <app>/<file>.
bool LinksTo(const char* path, const char* file)
{
    SavedStr wanted(SaveStr("%s/%s", pAppDir, file));
    char text[SYSCMD_LINE_SIZE];
    const ssize_t length = readlink(path, text, sizeof text - 1);
    if (length < 0)
        return false;
    text[length] = '\0';
    return strcmp(text, wanted.get()) == 0;
}

void ApplyAttribute(const PkgListAttribute& attribute, const char* file)
{
    char* value = SaveStr_(attribute.value);
    switch (attribute.key) {
    case PKG_ATTR_MODE:
        SysCmd(CMD_CHMOD, 2, "%s %s/%s", value, pAppDir, file);
        break;
    case PKG_ATTR_BAT: {
        char* path = SaveStr("/usr/bin/%s", value);
        if (!GenSimpleScript(path, ScriptShShell, SimpleScript, pAppDir, pAppDir, file)) {
            PutLogMsg("ERROR: couldn't write %s\n", path);
            exit(1);
        }
        PutMem(path);
        break;
    }
    case PKG_ATTR_OWNER:
        SysCmd(CMD_CHOWN, 2, "-R %s %s/%s", value, pAppDir, file);
        break;
    case PKG_ATTR_GROUP:
        SysCmd(CMD_CHGRP, 2, "-R %s %s/%s", value, pAppDir, file);
        break;
    case PKG_ATTR_LINK:
        // A link an earlier run of the list made stays as it is.
        if (!LinksTo(value, file))
            SysCmd(CMD_LN, 2, "-s %s/%s %s", pAppDir, file, value);
        break;
    case PKG_ATTR_NAME:
        SysCmd(CMD_MV, 2, "%s/%s %s/%s", pAppDir, file, pAppDir, value);
        break;
    case PKG_ATTR_SED:
        EditWithSed(attribute.value, file);
        break;
    default:
        break;
    }
    PutMem(value);
}

// Where the list's files come from, and the running release once read.
struct ListRun {
    const char* workDir;
    const char* subdir;
    char* release;
    bool incomplete;  // a command failed or a line was passed over
};

// Whether the release condition of step holds; a release that cannot be
// read is reported (message 60) and holds nothing.
bool ConditionHolds(const PkgListStep& step, ListRun& run)
{
    if (!run.release) {
        run.release = GetSystemRelease();
        if (!run.release) {
            errno = ENODATA;
            perror(nlsSetupStrCvt(60));
            return false;
        }
    }
    if (step.extra.empty())
        return false;
    const int holds = ReleaseConditionHolds(step.file, run.release, step.extra);
    if (holds < 0)
        WarnLine("unknown release operator", step.file);
    return holds > 0;
}

// Notes a command of the list that failed (in mode 1, the list goes on).
void Done(ListRun& run, int result)
{
    if (result != 0)
        run.incomplete = true;
}

// Carries out the command of step (its words checked) and then its
// attributes. 1 when the user chose to quit.
int CarryOut(const PkgListStep& step, ListRun& run)
{
    SavedStr saved(SaveStr_(step.file));
    const char* file = saved.get();
    SavedStr source(SaveStr("%s/%s/%s", run.workDir, run.subdir, file));
    bool attributes = true;
    // Nothing is copied or touched through a link or into a pipe at the
    // destination; where one cannot be removed, the line is passed over.
    switch (step.command) {
    case PKG_DIR:
        attributes = ClearTreeTargets(source.get(), pAppDir);
        if (attributes)
            Done(run, SysCmd(CMD_CP_R, 1, "%s %s", source.get(), pAppDir));
        break;
    case PKG_DIRTO: {
        SavedStr dest(SaveStr_(step.extra));
        attributes = ClearTreeTargets(source.get(), dest.get());
        if (attributes)
            Done(run, SysCmd(CMD_CP_R, 1, "%s %s", source.get(), dest.get()));
        break;
    }
    case PKG_TOUCH: {
        SavedStr target(SaveStr("%s/%s", pAppDir, file));
        attributes = ClearCopyTarget(target.get());
        if (attributes)
            Done(run, SysCmd(CMD_TOUCH, 1, "%s", target.get()));
        break;
    }
    case PKG_IF_PRESENT_M:
    case PKG_IF_PRESENT_S:
        attributes = FindFile(pAppDir, file) != 0;
        break;
    case PKG_NEWDIR:
        attributes = !FindFile(pAppDir, file);
        if (attributes) {
            char* dir = SaveStr("%s/%s", pAppDir, file);
            CreateFile(dir, nullptr, "775", nullptr, nullptr);
            PutMem(dir);
        }
        break;
    case PKG_CHECKPS:
        if (QuitForRunningProcesses(file))
            return 1;
        break;
    default:
        attributes = ClearTreeTargets(source.get(), pAppDir);
        if (attributes)
            Done(run, SysCmd(CMD_CP, 1, "%s %s", source.get(), pAppDir));
        break;
    }
    // A copy or touch whose destination could not be cleared is not done.
    if (!attributes && step.command != PKG_IF_PRESENT_M && step.command != PKG_IF_PRESENT_S &&
        step.command != PKG_NEWDIR)
        run.incomplete = true;
    PkgListAttribute attribute;
    for (const char* pos = step.rest; attributes && ParsePkgListAttribute(pos, &attribute);
         pos = attribute.rest)
        ApplyAttribute(attribute, file);
    return 0;
}

// One line of the list: its release conditions, then its command. 1 when
// the user chose to quit.
int CarryOutLine(const char* line, ListRun& run)
{
    PkgListStep step;
    const char* text = line;
    for (;;) {
        if (!ParsePkgListStep(text, &step) || step.command == PKG_COMMENT)
            return 0;
        if (step.command != PKG_RELEASE)
            break;
        if (!ConditionHolds(step, run))
            return 0;
        text = step.rest;
    }
    if (step.file.empty()) {
        WarnLine("no file named after", step.word);
        return 0;
    }
    if (step.command == PKG_DIRTO && step.extra.empty()) {
        WarnLine("no destination named for", step.file);
        return 0;
    }
    if (!CheckWords(step))
        return 0;
    return CarryOut(step, run);
}

}  // namespace

int ParsePkgListStep(const char* text, PkgListStep* step)
{
    const char* pos = text;
    *step = PkgListStep{PKG_NO_COMMAND, NextWord(pos), {}, {}, nullptr};
    if (step->word.empty()) {
        step->rest = pos;
        return 0;
    }
    // A word that begins with "#" starts a comment, like "#" itself.
    if (step->word.front() == '#') {
        step->command = PKG_COMMENT;
        step->rest = pos;
        return 1;
    }
    step->command = WordPosition(step->word, PKG_LIST_COMMANDS);
    if (step->command == PKG_NO_COMMAND)
        step->command = PKG_OTHER;
    step->file = NextWord(pos);
    if (step->command == PKG_DIRTO || step->command == PKG_RELEASE)
        step->extra = NextWord(pos);
    step->rest = pos;
    return 1;
}

int ParsePkgListAttribute(const char* text, PkgListAttribute* attribute)
{
    const char* pos = text;
    *attribute = PkgListAttribute{PKG_ATTR_OTHER, NextWord(pos), {}, nullptr};
    attribute->key = WordPosition(attribute->name, PKG_LIST_ATTRIBUTES);
    if (attribute->key == PKG_ATTR_SED) {
        // The script is the rest of the line, blanks and all.
        pos = SkipSeparators(pos);
        const char* end = pos + strlen(pos);
        while (end > pos && (end[-1] == ' ' || end[-1] == '\r' || end[-1] == '\n'))
            --end;
        attribute->value = std::string_view(pos, static_cast<size_t>(end - pos));
        pos += strlen(pos);
    } else {
        attribute->value = NextWord(pos);
    }
    attribute->rest = pos;
    return !attribute->name.empty() && !attribute->value.empty();
}

int ProcessPkgList(const char* subdir)
{
    OpenInputFileF(2, "%s/%s/pkg.list", pTarvoInstallDir, subdir);
    ListRun run{pTarvoInstallDir, subdir, nullptr, false};
    // The line is taken out of LineBuf before anything is carried out.
    char* line = static_cast<char*>(GetMem(sizeof LineBuf));
    if (!line)
        SysError("%s", OutOfMem);
    int quit = 0;
    bool overlong = false;
    while (!quit && GetListLine(&overlong)) {
        if (overlong)
            continue;
        memcpy(line, LineBuf, sizeof LineBuf);
        quit = CarryOutLine(line, run);
    }
    CloseInputFile();
    PutMem(line);
    PutMem(run.release);
    if (!quit && !run.incomplete) {
        SavedStr mark(SaveStr("%s/%s", pAppDir, PLACEMENT_MARK));
        if (unlink(mark.get()) != 0 && errno != ENOENT)
            InstallerWarning("couldn't remove %s: %s", mark.get(), strerror(errno));
    }
    return quit;
}

void MarkPlacementPending()
{
    SavedStr mark(SaveStr("%s/%s", pAppDir, PLACEMENT_MARK));
    const int fd = CreateFreshFile(mark.get(), 0644);
    if (fd < 0)
        InstallerWarning("couldn't create %s: %s", mark.get(), strerror(errno));
    else
        close(fd);
}

bool PlacementPending()
{
    return FindFile(pAppDir, PLACEMENT_MARK) != 0;
}
