// Running commands. A row of the command table: the command line is built
// from the shell, the row's path, name and flags and the caller's
// arguments, output goes to the log or the null device, failures are
// reported by mode, and the row's settle time is waited for. A plain line:
// run as it is, echoed and reported by mode.
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

#include "MemMgr.h"
#include "SysCmd.h"
#include "utils.h"

namespace {

// Mode 1 logs the failure and goes on; mode 2 logs it, prints it and ends
// the process.
void ReportFailure(int mode, const char* why)
{
    if (mode != 1 && mode != 2)
        return;
    const char* prefix = mode == 2 ? "ERROR" : "WARNING_MSG";
    PutLogMsg("%s: %s\n", prefix, why);
    if (mode == 2) {
        printf("%s: %s\n", prefix, why);
        fflush(stdout);
        exit(1);
    }
}

// Waits until the row's command shows up in the process table: one search
// and up to ten more, a second apart.
void WaitForProcess(const char* name)
{
    for (int tries = 0; tries <= 10; ++tries) {
        if (tries > 0)
            sleep(1);
        if (char* ids = GetSysPsIdList(name)) {
            PutMem(ids);
            return;
        }
    }
    PutLogMsg("ERROR: Time out for command %s\n", name);
}

void Settle(const ComRow& entry)
{
    if (entry.Delay == -1)
        WaitForProcess(entry.Name);
    else if (entry.Delay > 0)
        sleep(static_cast<unsigned>(entry.Delay));
}

}  // namespace

int RunShellCmd(const char* line, char* why, int size)
{
    // Output still buffered here must reach the terminal or the log before
    // the command's own.
    fflush(nullptr);
    errno = 0;
    const int status = system(line);
    const int err = errno != 0 ? errno : ECHILD;
    char scratch[1];
    if (!why || size <= 0) {
        why = scratch;
        size = sizeof scratch;
    }
    if (status == -1) {
        snprintf(why, size, "%s", strerror(err));
        return err;
    }
    if (WIFEXITED(status)) {
        if (WEXITSTATUS(status) != 0)
            snprintf(why, size, "exit status %d", WEXITSTATUS(status));
        return WEXITSTATUS(status);
    }
    if (WIFSIGNALED(status)) {
        snprintf(why, size, "killed by signal %d", WTERMSIG(status));
        return 128 + WTERMSIG(status);
    }
    snprintf(why, size, "%s", strerror(ECHILD));
    return ECHILD;
}

int SysCmd(int row, int mode, const char* format, ...)
{
    const bool quiet = row <= 0;
    if (row <= -COM_END_ROW || row >= COM_END_ROW) {
        ReportFailure(mode, strerror(EINVAL));
        return EINVAL;
    }
    row = abs(row);
    const ComRow& entry = ComList[row];
    CmdLine line;
    if (row >= 2) {
        RequireCmd(row);  // a missing command is told of before a missing shell
        const ComRow& shell = RequireCmd(CMD_SH);
        line.Add("%s/%s -c \"", shell.Path, shell.Name);
        line.AddCmd(row);
    }
    va_list args;
    va_start(args, format);
    line.AddV(format, args);
    va_end(args);
    const int logged = line.length;

    if (mode == 0) {
        line.Add(" 1>/dev/null 2>/dev/null");
    } else if (!quiet && (mode == 1 || mode == 2)) {
        const char* log = flUseLog ? PrepareLogFile() : nullptr;
        if (log)
            line.Add(" 1>>%s 2>>%s", log, log);
        else
            line.Add(" 1>>/dev/null 2>>/dev/null");
    }
    if (row >= 2)
        line.Add("\"");

    if (line.overflow) {
        ReportFailure(mode, strerror(E2BIG));
        return E2BIG;
    }

    if (!quiet && flSysCmdLog && (mode == 1 || mode == 2)) {
        fputs(".", stdout);
        fflush(stdout);
        PutLogMsg("%.*s\n", logged, line.text);
    }

    char why[256];
    int result = RunShellCmd(line.text, why, sizeof why);
    if (result != 0)
        ReportFailure(mode, why);
    Settle(entry);
    return result;
}

void SysCmdP(int mode, const char* format, ...)
{
    CmdLine line(512);
    va_list args;
    va_start(args, format);
    line.AddV(format, args);
    va_end(args);
    const bool reported = mode == 1 || mode == 2;
    char why[256];
    int result;
    // A line that does not fit is not run cut short.
    if (line.overflow) {
        result = E2BIG;
        snprintf(why, sizeof why, "%s", strerror(E2BIG));
    } else {
        if (reported)
            printf("%s\n", line.text);
        result = RunShellCmd(line.text, why, sizeof why);
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
