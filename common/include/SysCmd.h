// System commands: the one table of outside programs the suite runs, running
// a row of it through the shell with logging and failure reports, reading
// what a command prints, and the queries built on that (processes, disk
// space, packages).
#pragma once

#include <cstdarg>
#include <cstdio>

// ---- command table ----

// One row of ComList. Name and Flags are fixed; Path is the directory the
// command was found in, null until resolved, and lives as long as the
// process once set.
struct ComRow {
    const char* Name;   // file name of the command; "" in rows 0 and 1, null in the end row
    const char* Flags;  // always put after the name; "" for none
    char* Path;         // directory holding the command, or null
    int Delay;          // settle time: 0 none, > 0 seconds, -1 until a process of that name runs
};

// Rows 0 to 83 and the end row.
inline constexpr int COM_ROWS = 85;
inline constexpr int COM_END_ROW = COM_ROWS - 1;
extern ComRow ComList[COM_ROWS];

// Row numbers of the table. Rows 0 and 1 run the caller's text as the whole
// command line (0 quietly); a negative table row runs quietly.
enum : int {
    CMD_NONE_QUIET = 0,
    CMD_NONE = 1,
    CMD_CANCEL = 2,
    CMD_CAT = 3,
    CMD_CHGRP = 4,
    CMD_CHMOD = 5,
    CMD_CHOWN = 6,
    CMD_CLEAR = 7,
    CMD_COMPRESS = 8,
    CMD_CP = 9,
    CMD_CP_R = 10,
    CMD_CUPSD = 11,
    CMD_ID = 12,
    CMD_ECHO = 13,
    CMD_EJECT_F = 14,
    CMD_EJECT_Q = 15,
    CMD_FILE = 16,
    CMD_LN = 17,
    CMD_LP = 18,
    CMD_LPC = 19,
    CMD_LPR = 20,
    CMD_LPRM = 21,
    CMD_LPSTAT = 22,
    CMD_LS = 23,
    CMD_KILL = 24,
    CMD_MV = 25,
    CMD_MKDIR = 26,
    CMD_MORE = 27,
    CMD_PING = 28,
    CMD_RM = 29,
    CMD_RM_R = 30,
    CMD_SH = 31,
    CMD_SLEEP = 32,
    CMD_TAR_C = 33,
    CMD_TAR_X = 34,
    CMD_TOUCH = 35,
    CMD_UNCOMPRESS = 36,
    CMD_WHOAMI = 37,
    CMD_ZCAT = 38,
    CMD_UNAME = 39,
    CMD_SED = 40,
    CMD_DU = 41,
    CMD_CHECKPC = 42,
    CMD_LPD = 43,
    CMD_PKGADD = 44,
    CMD_PKGINFO = 45,
    CMD_PKGRM = 46,
    CMD_ACCEPT = 47,
    CMD_DISABLE = 48,
    CMD_CUPSDISABLE = 49,
    CMD_ENABLE = 50,
    CMD_CUPSENABLE = 51,
    CMD_LPADMIN = 52,
    CMD_LPFILTER = 53,
    CMD_LPSCHED = 54,
    CMD_LPSHUT = 55,
    CMD_LPSYSTEM = 56,
    CMD_PS = 57,
    CMD_BAR = 58,
    CMD_DF = 59,
    CMD_LPQ = 60,
    CMD_YPCAT = 61,
    CMD_REJECT = 62,
    CMD_PMADM = 63,
    CMD_SACADM = 64,
    CMD_VOLCHECK = 65,
    CMD_CAPTURE = 66,
    CMD_LPSET = 67,
    CMD_INSTNETPR = 68,
    CMD_PIOMKPQ = 69,
    CMD_PIOMISC_EXT = 70,
    CMD_PIOMISC_BASE = 71,
    CMD_LSALLQ = 72,
    CMD_MKQUE = 73,
    CMD_MKQUEDEV = 74,
    CMD_RMQUE = 75,
    CMD_RMQUEDEV = 76,
    CMD_PIOCHDFQ = 77,
    CMD_ENQ = 78,
    CMD_LSQUEDEV = 79,
    CMD_LSQUE = 80,
    CMD_STARTSRC = 81,
    CMD_STOPSRC = 82,
    CMD_LSSRC = 83,
};

// The built-in search directories, in order.
extern const char SearchPaths[];
// SearchPaths, ':' and the value of PATH ("" when unset); built once, on
// first need.
extern char* FullSearchPath;
// While set, a row without a path is resolved on its first use.
extern bool flInitSysCmd;
// Set by InitSysCmdList when logging is on: commands then print a progress
// dot and are written to the log.
extern bool flSysCmdLog;

// Resolves the whole table along SearchPaths and then PATH, sets SHELL for
// the commands started, and notes the start in the log.
void InitSysCmdList();
// Gives every unresolved row whose command is listed in dir that directory.
// 1 while some row is still unresolved (also when dir cannot be listed).
int FillCmdPaths(const char* dir);
// Resolves one row along FullSearchPath; 1 when found.
int FillCmdPath(int row);
// 1 when the row is a table command (2 or higher) with a path.
int TestCmd(int row);
// "<path>/<name> <flags>" and "<path>/<name>" of a resolved row as saved
// strings, or null.
char* GetCmd(int row);
char* GetCmdNoFlags(int row);
// A table row (2 or higher), its path resolved on first use while
// flInitSysCmd is set; a row without a path ends the process with status 0
// after "ERROR: unable to locate system command '<name>'" on standard error.
// Any other number names no command: row 0.
const ComRow& RequireCmd(int row);

// ---- running commands ----

// Longest command line, terminator included.
inline constexpr int SYSCMD_LINE_SIZE = 4096;

// A command line built piece by piece in a fixed buffer, of at most limit
// bytes with its terminator. A piece that does not fit marks the line
// overflowed (the text is kept, cut, for messages): a cut command is
// another command, so an overflowed line must never be run.
struct CmdLine {
    char text[SYSCMD_LINE_SIZE] = "";
    int length = 0;
    int limit = SYSCMD_LINE_SIZE;
    bool overflow = false;

    // limit is cut to SYSCMD_LINE_SIZE.
    explicit CmdLine(int limit = SYSCMD_LINE_SIZE);
    void AddV(const char* format, va_list args);
    void Add(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // "<path>/<name> <flags> " of a table row (RequireCmd).
    void AddCmd(int row);
};

// Runs one row with the formatted arguments (see the row numbers above).
// mode 0: output discarded, failures not reported; 1: output appended to the
// log, a failure logged as "WARNING_MSG: <why>"; 2: as 1, but a failure is
// logged and printed as "ERROR: <why>" and the process ends with status 1.
// Quiet rows print no dot, log no line and, in modes 1 and 2, redirect
// nothing. The result is 0 on success, else the command's exit status,
// 128 + the signal that killed it, or the error number when the shell could
// not be started (E2BIG for a command line over SYSCMD_LINE_SIZE).
int SysCmd(int row, int mode, const char* format, ...) __attribute__((format(printf, 3, 4)));

// Runs a finished command line through the shell. Gives 0 on success, else
// the exit status, 128 + signal, or errno when the shell could not be
// started; why (when given) receives "exit status N", "killed by signal N"
// or the system's error text.
int RunShellCmd(const char* line, char* why, int size);

// ---- command output ----

// One kept output line; node and text are one allocation, the text (with
// its newline, if it had one) right behind the node.
struct ResponseNode {
    ResponseNode* pNext;
    char* pLine;
};

// Lines read per piece: a longer line comes as several pieces.
inline constexpr int RESPONSE_LINE_SIZE = 4096;

// Output of a row (its path, name and flags, then the formatted arguments,
// run through a read pipe without redirection or logging). Lines are kept
// when filter is null or empty or occurs in them. Null when the pipe cannot
// be opened or nothing was kept.
ResponseNode* GetCmdResponse(int row, const char* filter, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
// The same lines as one saved text, each ending in a newline; null when none.
char* GetCmdResponseStr(int row, const char* filter, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
void FreeResponseList(ResponseNode* response);

// The lines of an open stream, kept as GetCmdResponse keeps them.
ResponseNode* ReadResponse(FILE* stream, const char* filter);
// The lines of a response joined into one saved text, each ending in a
// newline; null for an empty response.
char* JoinResponse(const ResponseNode* response);

// ---- system queries ----

// Disk-free report line of a directory and its "avail" figure.
struct DiskSpaceRec {
    char Text[512];  // the data line as printed, cut to 511 characters
    double Avail;    // in the report's unit; 0 when not found
};

// " 412 977 " style lists: every number preceded by a blank, one blank
// after the last; saved strings, or null when empty.
// Processes whose command column is exactly name.
char* GetSysPsIdList(const char* name);
// For each program of the comma-separated list that runs, a line
// "<name> (<process list>)"; null when none runs.
char* CheckProcTableForExecs(const char* list);
// Sends signal 9 to every process of that name; always 0.
int KillProcessByName(const char* name);

// 1 when the free space of dir's file system was found.
int GetDiskSpace(const char* dir, DiskSpaceRec* rec);
// The first figure of the disk-usage report of path; 0 without output.
double DUPath(const char* path);
// 1 when dir's file system holds required (an existing file name in dir
// counts as reclaimable); a missing dir is judged by the nearest existing
// parent.
int AvailSpace(const char* dir, const char* name, double required);

// Package instances whose package-information line contains name.
char* GetSysPkgList(const char* name);
// Kept for the suite's tools: does nothing and gives its first argument.
long SysGetSubnetMask(long address, long unused1, long unused2);

// The parsers behind the queries, on output already read.
// Process numbers of the lines of a "ps -e" style listing (number,
// terminal, time, command) whose command is exactly name.
char* PsIdListFromResponse(const ResponseNode* response, const char* name);
// Second column of every line, as a blank-separated list.
char* PkgListFromResponse(const ResponseNode* response);
// Fills rec from a disk-free report: header line, then the data line.
int DiskSpaceFromResponse(const ResponseNode* response, DiskSpaceRec* rec);
// The leading figure of the first line.
double DUFromResponse(const ResponseNode* response);
