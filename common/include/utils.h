// Text, file and process utilities: token reader, string store and path
// helpers, file access and lookup, reporting and process exits.
#pragma once

#include <cstdio>

// ---- token reader ----
// The cursor readers' first argument: a text starts reading it, nullptr
// continues, TOKEN_LINEMODE continues in line mode.
inline char* const TOKEN_LINEMODE = reinterpret_cast<char*>(-1);

// ---- string store and string helpers ----
// Saved strings come from GetMem and are given back with PutMem by their
// owner. Running out of memory while saving a string ends the process.
char* SaveStr(const char* format, ...) __attribute__((format(printf, 1, 2)));
// As SaveStr, but a null format gives null.
char* SaveStr__(const char* format, ...) __attribute__((format(printf, 1, 2)));
// A plain copy (no formatting, so '%' is safe); a null string gives null.
char* SaveStr_(const char* str);

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
