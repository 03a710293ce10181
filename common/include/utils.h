// Text, file and process utilities: token reader, string store and path
// helpers, file access and lookup, reporting and process exits.
#pragma once

#include <cstdio>
#include <string_view>

// ---- token reader ----
// Three ways to split text: the cursor readers copy each token into a buffer
// and translate escapes (backslash n, r, t give newline, return, tab; a
// backslash before any other character makes it literal, so a delimiter can
// be part of a token); GetTokenParse and ParseStr cut the text in place; and
// lookups in token lists, strings whose first character is their separator
// and in which each element is followed by it (";.;..;"), positions from 1.
// Delimiter sets are NUL-terminated strings; NUL is never a delimiter.

// The cursor readers' first argument: a text starts reading it, nullptr
// continues, TOKEN_LINEMODE continues in line mode, where a token ended by a
// newline is not given back: the result is null and the read position is
// already past the newline, so the next call starts on the next line.
inline char* const TOKEN_LINEMODE = reinterpret_cast<char*>(-1);

// Tokens are cut to TOKEN_MAX characters: the rest of an overlong token is
// read and dropped, so the next token starts after it. A buffer of
// TOKEN_BUF_SIZE bytes therefore always holds a token.
inline constexpr int TOKEN_BUF_SIZE = 128;
inline constexpr int TOKEN_MAX = TOKEN_BUF_SIZE - 1;

extern char GetTokenBuf[TOKEN_BUF_SIZE];  // last token of GetToken
extern const char* szTokenIn;  // position after the last token given back
// Last delimiter consumed by the last call (the one ending the token, or a
// skipped leading one); 0 when the call consumed none.
extern char chTokenDel;

// One line of standard input without its newline, at most size - 1
// characters (the rest of a longer line stays for the next call). Null at
// end of input with nothing read, or for a size below 1.
char* Gets(char* buffer, int size);

// The shared cursor: one read position for the whole process.
void SetTokenBuf(const char* text);
const char* GetTokenBufInput();
// Next token in GetTokenBuf, or null at the end; the text is never written.
char* GetToken(const char* text, const char* delims);
// As GetToken, on the caller's position *pos (read when text is nullptr or
// TOKEN_LINEMODE, always written back) into the caller's buf of at least
// TOKEN_BUF_SIZE bytes. The shared cursor is left alone; chTokenDel is set.
char* GetTokenD(const char* text, const char* delims, const char** pos, char* buf);
// Next token inside the text itself: the delimiter ending it and any leading
// ones are overwritten with NULs. No escape translation, but a backslash and
// the character after it never end a token. Continuing (nullptr or
// TOKEN_LINEMODE) needs the current input to be writable, as a text started
// with GetTokenParse is.
char* GetTokenParse(char* text, const char* delims);
// The n-th token (n below 1 counts as 1), or null when there are fewer.
char* GetTokenN(const char* text, const char* delims, int n);
// Number of tokens; the cursor, GetTokenBuf and chTokenDel are left as they were.
int GetTokenCount(const char* text, const char* delims);
// Cuts text in place into at most capacity fields (runs of delimiters make
// no empty fields, no escapes); clears the array first; gives the count.
int ParseStr(char* text, const char* delims, char** fields, int capacity);

// Lookups; null arguments give 0.
int FindToken(const char* element, const char* list);   // exact
int FindTokenC(const char* element, const char* list);  // any case
// Position of element in "a:b:c" style lists (separator delim, no leading
// separator: a leading delim makes an empty first element).
int FindTokenWithDelim(const char* list, const char* element, char delim);

// First character that is not white space (space, \t, \n, \r, \v, \f).
const char* SkipSpace(const char* text);
char* SkipSpace(char* text);

// Sorts the delim-separated elements in place (escaped delimiters do not
// split; strncasecmp order when ignoreCase is set; equal elements keep their
// order). A last element without delimiter gains one when moved before
// others: list must have room for one more character.
void SortTokens(char* list, char delim, int ignoreCase);

// ---- string store and string helpers ----
// Saved strings come from GetMem and are given back with PutMem by their
// owner. Running out of memory while saving a string ends the process.
char* SaveStr(const char* format, ...) __attribute__((format(printf, 1, 2)));
// As SaveStr, but a null format gives null.
char* SaveStr__(const char* format, ...) __attribute__((format(printf, 1, 2)));
// A plain copy (no formatting, so '%' is safe); a null string gives null.
char* SaveStr_(const char* str);
// A copy of a piece of text, which need not end in a NUL.
char* SaveStr_(std::string_view text);

// Path helpers. Each returns a pointer into its own static buffer, valid
// until its next call; overlong input is cut to the buffer (127 characters,
// 255 for StripFn).
char* StripExt(const char* path);       // "a.b.c" -> "a"; ".profile" stays whole
char* StripPath(const char* path);      // "/a/b/" -> "b"
char* StripPathExt(const char* path);   // "/a/b/c.txt" -> "c"
char* StripFn(const char* path);        // "/usr/bin/ls" -> "/usr/bin"; "ls" -> "."
char* StripPathName(const char* path);  // "dir/name.ext" -> "ext"; "/opt/a/b" -> "/opt"

// Search helpers; null or empty strings are never searched (result null).
int StrLen(const char* str);
char* StrChr(const char* str, char c);               // skips backslash escapes
char* StrNChr(const char* str, char c, int n);       // n-th occurrence, from 1
char* StrNStr(const char* str, const char* sub, int n);  // n-th, overlapping
char* StrStr(const char* str, const char* sub);      // leftmost; empty sub: null
char* StrCaseStr(const char* str, const char* sub);  // as StrStr, any case

// Copies count bytes, in reverse order when the low byte of reverse is set
// (turns stored values between byte orders).
void SetVarContent(void* dst, const void* src, int count, int reverse);
double MaxD(double a, double b);
// Units: 0 inches, 1 centimetres, 2 points (1/72 inch).
float CvtFloatFormat(float value, int from, int to);
char* StripAllBackslashes(char* str);
// Keeps letters, digits, punctuation, spaces and bytes above 0x7F; a non-zero
// keepLineEnds also keeps newlines and carriage returns.
char* StripNonPrint(char* str, int keepLineEnds);

// ---- file access and lookup ----
// One input file is current at a time (pIn); the line readers share the
// buffers below, so a line given by one call is overwritten by the next.
#include <ctime>
#include <dirent.h>

extern FILE* pIn;    // current input of the line readers and in-place editing
extern FILE* pOut;   // current output of in-place editing
// Line buffer of GetLine, also the shared scratch line of ErrorMsg. After
// each GetLine the first 512 bytes hold the line followed by NULs.
extern char Line[262143];
extern char* pLine;             // set to Line by GetLine
extern char LineBuf[4096];      // GetFileLine, GetFileTextLine, GetFileContent
extern int LineCnt;             // physical lines consumed by the last GetLine
extern int InPos;               // where the last line read by GetLine began
extern int LineLen;             // text before the last part of a continued line
extern char InputFileName[256]; // last name given to OpenInputFile (cut to 255)
extern int FileStatus;          // 0 input open, 1 closed or ended, 2 open failed
extern int SavedFileSize;       // size of the file last read by GetSavedFileContent
extern bool flInputFilterState; // GetLine drops comments and blanks when set
extern char Fn[128];            // input name of in-place editing
extern char FnOut[128];         // output name of in-place editing

// Opening. level: 0 silent, 1 "ERROR: can't open file, %s" on standard
// error, 2 fatal. prev (when not null) is closed first, so a call re-opens.
FILE* OpenFile(FILE* prev, const char* path, const char* mode, int level);
// The formatted path holds at most 511 characters; a longer one is refused
// as an open failure (ENAMETOOLONG), never cut.
FILE* OpenFileF(FILE* prev, const char* mode, int level, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
// Descriptor-level open; a failure is reported on standard output.
int OpenRawFile(const char* path, int flags);
// Makes path the current input (pIn); 1 on success. A failure is reported
// through ErrorMsg with the level (level 2 ends the process with status 0).
int OpenInputFile(const char* path, int level);
int OpenInputFileF(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));
void CloseInputFile();

// Line readers of the current input.
// Next line into Line, comments and blanks filtered when flInputFilterState
// is set; gives the number of physical lines consumed, 0 at end of file.
int GetLine();
int GetLineN(int n);          // n GetLine calls; the last result (0 for n = 0)
int GetLinePos(long pos);     // GetLine from that file position
// One line (fgets) read from position pos of file.
char* fgetsp(char* buf, int size, FILE* file, long pos);
// Next line into LineBuf, lines ending in a backslash joined with the next
// (backslashes and newlines kept); closes the input at end of file.
int GetFileLine();
// First token of the next line that neither starts with '#' nor holds only
// delimiters, moved to the start of LineBuf.
int GetFileTextLine(const char* delims);

// Whole-file reads. The path is "dir/name", or dir alone when name is null.
// GetFileContent and GetFileContentR read plain files only: a pipe, a
// device or a directory there is unreadable (0, an empty buffer).
int GetFileContent(const char* dir, const char* name);    // first 4095 bytes into LineBuf
// At most size bytes into buf, which must hold size + 1.
int GetFileContentR(const char* dir, const char* name, char* buf, int size);
// The whole file in memory from GetMem (caller frees it with PutMem), its
// size in SavedFileSize; null for an empty or unreadable file. A file of one
// byte gives an empty text.
char* GetSavedFileContent(const char* dir, const char* name);

// Status queries; a path that cannot be examined gives 0.
long GetFileSize(const char* path);
time_t GetFileTime(const char* path);
// 1 directory, 2 symbolic link (the link itself), 3 anything else.
int GetFileType(const char* path);

// Existence. FindFile_ asks for the status (a dangling link is missing);
// FindFile looks the name up in its directory (any entry counts).
int FindFile_(const char* dir, const char* name);
int FindFile(const char* dir, const char* name);
// First line (at most 510 characters, line end kept) of the file that
// contains text, any first line for a null text; a private buffer, or null.
char* FileSearch(const char* path, const char* text, int level);
// Saved copy of the longest leading part of path that exists; *exists is
// set to 1 when that is the whole path (else left alone).
char* FindExistingPath(const char* path, int* exists);

// Directory listings: " name1 name2 ... " from GetMem, freed with PutMem by
// the caller; a token list with the separator blank.
char* ReadDir(DIR* dir, char* unused);     // next entry name, or null
char* GetDirFileList(const char* dir);     // every entry, "." and ".." included
// Entries whose text after their last '.' is ext; all but "." and ".." for
// a null ext. Null when nothing matches.
char* SearchDirFileList(const char* dir, const char* ext);

// ---- reporting and process exits ----
// The program's base name, shown in front of fatal and plain messages.
extern char* my_name;

// Fatal exit for resource failures: "\n<my_name>: <message> : <system error
// text>" on standard error, then status 1.
[[noreturn]] void SysError(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Formats into Line. Level 1 warns on standard error, level 2 prints the
// error and ends the process with status, other levels only format.
void ErrorMsg(int level, int status, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
// "<my_name>: <message>" and a newline on standard error.
void errormsg(const char* format, ...) __attribute__((format(printf, 1, 2)));
[[noreturn]] void exit_app(int status);

// ---- in-place file editing ----
// Line edits of the text file "base.ext" (base alone for an empty ext): every
// line goes, edited, to the output "base.extout" ("base.out" for an empty
// ext), which then takes the input's place by rename(2), keeping the input's
// permissions; after a successful edit the output name no longer exists.
// - Both files are opened through OpenFile at the fatal level: a file that
//   cannot be opened, or a name over 127 characters, ends the process.
// - A line longer than 510 characters is edited in pieces of 510, each piece
//   as a line of its own; every character is kept.
// - A null or empty search text is found in no line.
// - When the input cannot be read whole, the output not written whole or the
//   rename fails, a warning says so, the output is removed and the input is
//   left as it was.
// - An edit takes over the current input (pIn) and pOut; both are closed
//   when it ends, so no edit may run between OpenIOFiles and ReplaceInputFile.
// The first occurrence of text in each line becomes replacement.
void FileChange(const char* base, const char* ext, const char* text, const char* replacement);
// Every character `code` becomes the characters of `replacements`: codes read
// like "%i" (decimal, 0 octal, 0x hexadecimal), the replacement a
// comma-separated list of them (at most 135; null or empty deletes the
// character). Codes that cannot be read are warned about and nothing is edited.
void FileChangeChar(const char* base, const char* ext, const char* code, const char* replacements);
// The first occurrence of text is removed from each line holding it, but for
// the first `skip` such lines.
void FileDel(const char* base, const char* ext, int skip, const char* text);
// By mode's first character, for lines holding text: "" removes its first
// occurrence, "a" keeps the line up to and including it (then a newline),
// "b" keeps the line from it on, "l" drops the line; "c" removes from every
// line each character whose code ("%i") text holds. 0 when done; 1, with no
// file touched, for another mode or a "c" text that holds no code.
int FileDelFormat(const char* base, const char* ext, const char* mode, const char* text);
// Drops lines holding text, but the first `skip` of them.
void FileDelLine(const char* base, const char* ext, int skip, const char* text);
// Drops each line holding start (but the first `skip` of them) together
// with its matching line holding end, nested pairs included; the lines
// between them stay.
void FileDelLinePair(const char* base, const char* ext, int skip, const char* start, const char* end);
// Writes a prefix before every line. In the template, "%s<n>" (removed) starts
// the count at n (else 0); "%#<m>" makes it numbered: the prefix is written
// from the count m on, with "%#<m>" shown as the count minus m in "%05i".
// The count goes up by one per line.
void FileInsert(const char* base, const char* ext, const char* templ);
// As FileInsert, for the lines holding text only (only they are counted).
void FileSearchInsert(const char* base, const char* ext, const char* templ, const char* text);
// For edits written by the caller: opens pIn on Fn ("base.ext", or base) and
// a new pOut on FnOut (Fn and "out", so "baseout" for an empty ext), both at
// the fatal level. The third argument is not read.
void OpenIOFiles(const char* base, const char* ext, const char* unused);
// Closes pIn and pOut and puts FnOut in the place of Fn, as the edits do.
// Does nothing more when pOut is not open.
void ReplaceInputFile();
// A capitalised identifier from free text: from the first letter on, each
// run of letters and digits in lower case with its first character in upper
// case ("hello world-2x" gives "HelloWorld2x"); a private 128-byte buffer.
char* GenName(const char* text);

// ---- log and process environment ----
// The log /tmp/<my_name>.log holds exactly the texts logged, in order, with
// the output of the commands run in logged modes between them. Each message
// opens and closes it, so that those commands can append in between.
extern bool flUseLog;         // logging on
extern const char* pLogPath;  // directory of the log, "/tmp"
extern FILE* pLog;            // the log while one message is written, else null
extern char* pToolPath;       // directory holding the library's "db" directory

// Appends the message to the log while logging is on; the first message of
// the process empties it first. A plain file there that another user owns or
// that has a second name is replaced by a new log of this process. A log
// that cannot be opened safely (a link or anything but a plain file is never
// written, and left alone) is reported with "ERROR: couldn't open <path>" on
// standard error and the message is lost.
void PutLogMsg(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Makes sure the log exists as a plain file of this process's own (created
// open to everyone when missing or replaced as PutLogMsg replaces it) before
// a command appends to it by name; its path (a private buffer), or null
// after reporting as PutLogMsg does.
const char* PrepareLogFile();

// A new, empty file at path open for writing, with exactly mode whatever
// the file-creation mask. Whatever stands at path but a directory is removed
// first and the file is created exclusively, never through a link: in a
// directory that others may write, nothing they plant there is written
// through. The descriptor, or -1 with errno set.
int CreateFreshFile(const char* path, int mode);
// The same file as a stream; null with errno set.
FILE* CreateFreshStream(const char* path, int mode);

// Writes the formatted text to path opened with mode ("wt", "at", ...);
// non-zero permissions are then set on the file. 1 when written; 0 after
// "ERROR: couldn't open <path>" or "ERROR: couldn't write <path>".
int CreateTextFile(const char* path, const char* mode, int permissions, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

// Saved strings, freed by the caller with PutMem.
char* GetHostname();     // null when the system does not tell
char* GetEnv(const char* name);  // null when unset
// The directory of the program from its invocation name, made absolute
// against the current directory (the command path is not searched).
char* GetToolPath(const char* argv0);

// ---- file operations and host queries through commands ----
// These run commands: they belong to the command layer (SysCmd),
// whose library a program links to use them.

// Through the command layer, any failure ending the process: creates a
// missing directory with its parents, touches dir/name when a name is
// given, and applies the mode, owner and group given to the target.
void CreateFile(const char* dir, const char* name, const char* mode, const char* owner,
                const char* group);
// Removes dir/name (or dir, or the name alone when dir is null) with
// everything below it when it exists; a failure is logged.
void DeleteFile(const char* dir, const char* name);
void DeleteFile_(const char* path, const char* name);
// Moves dir/oldName to dir/newName when it exists (a null dir takes both
// names as paths); a failure is logged.
void RenameFile(const char* dir, const char* oldName, const char* newName);

// Runs a formatted command line of at most 511 characters through the
// shell, then waits a second. Modes 1 and 2 echo the line; a failure is
// written as "WARNING_MSG: <why>" (mode 1) or "ERROR: <why>" (mode 2, which
// then ends the process with status 1) to standard error and the log.
void SysCmdP(int mode, const char* format, ...) __attribute__((format(printf, 2, 3)));

// What "whoami" prints, a saved string; without that command "root" or
// "User ID:  <uid>"; null when the command cannot be started.
char* GetUserName();
int SniffLprng();  // 1 when "lpd -V" tells of LPRng
int SniffCUPS();   // 1 when a "cupsd" process runs
