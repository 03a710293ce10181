// Message catalogue: the suite's texts in the user's language.
//
// Messages live in per-language message databases (tagged record databases)
// <pToolPath>/db/<language>/<name>.qdb. A message's key is "<set>_<number>"
// or a free text key; its data is the text with its terminating NUL. The
// language directory is chosen once per process from LANG through the
// translation table <pToolPath>/trans.conf; English ("en_US") is the
// fallback throughout.
//
// trans.conf, free format: '#' starts a comment that runs to the end of the
// line; "Default <dir>" names the default directory; "<dir> = <aliases>"
// maps every alias (a LANG value without its "." part) to <dir>, and the
// alias list may go on over the following lines. The table is kept in a
// normalised form: every word followed by one blank, and the last word of
// each line by a blank and a line feed.
#pragma once

#include <cstdio>

struct DbTHandle;
struct TextMenuItem;

// ---- language choice and message databases ----

inline constexpr char NLS_LANG_ENGLISH[] = "en_US";
inline constexpr char NLS_TRANS_FILE[] = "trans.conf";
inline constexpr char NLS_LANG_NOT_SET[] = "___LANG_NOT_SET___";

// Message sets of the library.
inline constexpr int NLS_SET_HELP = 20;    // help menu labels
inline constexpr int NLS_SET_CORE = 25;    // core strings of menus and prompts
inline constexpr int NLS_SET_MENU = 30;    // menu messages
inline constexpr int NLS_SET_TRANS = 999;  // message 1: the translation table

// Fixed buffers: the normalised table (NUL included), the fetch buffer of
// modes 0 to 2 (a message's text and its NUL; longer texts are cut), the
// redirect name (NUL included).
inline constexpr int NLS_TABLE_SIZE = 8192;
inline constexpr int NLS_FETCH_SIZE = 2048;
inline constexpr int NLS_REDIRECT_SIZE = 64;

// Fetch modes of NlsFetchString.
inline constexpr int NLS_MODE_NUMBER = 0;   // set, number: key "<set>_<number>"
inline constexpr int NLS_MODE_KEY = 1;      // key text
inline constexpr int NLS_MODE_KEY2 = 2;     // key text (as mode 1)
inline constexpr int NLS_MODE_LONG = 3;     // set, number; any length, always a new string

// The chosen language directory; once set, the answer of GetDesiredNLSLang.
extern char* pNLSLang;
// Core-string database, set by the host program (GetDesiredNLSLang opens
// "en_US/CoreString" into it when it needs the fallback table).
extern DbTHandle* pDrvCoreDB;
// Printer-help database, opened by the host program; redirects resolve there.
extern DbTHandle* pPrtHelpDB;

// The normalised table of <pToolPath>/<name> as a saved string; null when
// the file cannot be read or holds no words. A table that would exceed
// NLS_TABLE_SIZE is cut after its last whole word.
char* ParseTransFile(const char* name);
// Normalises length bytes of text (up to a NUL) into out (size bytes, a NUL
// always written); gives the length of the result.
int NormalizeTransTable(const char* text, int length, char* out, int size);
// The language the normalised table gives for a LANG value (null: not
// set), copied into buf (size bytes): the directory of the alias list that
// holds the value, else the table's default, else "en_US".
char* LookupTransLang(const char* table, const char* lang, char* buf, int size);
// The language directory name (pNLSLang), chosen on the first call; never null.
char* GetDesiredNLSLang();
// Handle of <pToolPath>/db/<language>/<name>.qdb (open flags as DbTOpen's).
// Null, after "ERROR:  Could not open English database:  <path>" on standard
// error, when the language is English and the database is missing or empty.
DbTHandle* NlsOpenDB(const char* name, int flags);

// One message. Arguments after the mode: set and number (modes 0 and 3) or
// the key text (modes 1 and 2).
// - Found: with a caller buffer (which must hold NLS_FETCH_SIZE bytes) the
//   text is copied there and the buffer returned; else a new string.
// - Missing or empty: the key text comes back (and is copied into the
//   caller's buffer when one is given): the caller's own key in the string
//   modes, a new string holding the key in the numeric modes. The caller's
//   buffer comes back only for a message found.
// - No handle in a string mode, a zero set or number, a null key or an
//   unknown mode: the shared text "Error", which callers must not free.
// Mode 3 ignores the caller's buffer for the text and returns a new string
// of any length. New strings are the caller's to free with PutMem.
char* NlsFetchString(DbTHandle* h, char* buffer, int mode, ...);
// 1 when text is the shared "Error" text of a failed fetch.
int NlsIsErrorText(const char* text);

// A text "...$$<name>.redirect..." (".redirect" in any case, at the first
// '.' behind the "$$") sends the reader to message <name>. FindRedirect cuts
// the text at that '.' and returns the name inside it, or null.
char* FindRedirect(char* text);
// When text is a redirect: the name (at most 63 characters) goes to the
// redirect name buffer, and text (a buffer of NLS_FETCH_SIZE bytes) is
// replaced by message <name> of pPrtHelpDB, or by the name when that is
// missing. Gives the redirect name buffer, or null for no redirect.
char* CheckForRedirect(char* text);

// ---- localised conversions ----

// Destination buffer for Nlssprintf and the menu engine's messages.
inline constexpr int NLS_BUF_SIZE = 65535;
extern char NlsBuf[NLS_BUF_SIZE];

// Work buffer of the item runs: texts are cut to 127 characters.
inline constexpr int NLS_ITEM_TEXT_SIZE = 128;

// *text = a new copy of message 25_number of pDrvCoreDB.
void NlsTtyMenuCvt(char** text, int number);
// For i = 0 .. count - 1: item[i]'s label, choices or prompt = a new copy of
// message 25_(first + i), cut to 127 characters. Exactly count items are
// written; the table's end is not looked for.
void NlsTtyMenuItemCvt(TextMenuItem* item, int first, int count);
void NlsTtyMenuItemStateCvt(TextMenuItem* item, int first, int count);
void NlsTtyMenuItemPromptCvt(TextMenuItem* item, int first, int count);
// out (size bytes) = the template with its n-th "%s" replaced by message
// set_n (n from 1), cut to size - 1 characters; gives out.
char* NlsGuiStrCvt(const char* templ, int set, char* out, int size);
// Message set_number as a printf format with the further arguments, or
// "Error" (no argument used) when the message is missing.
void Nlsfprintf(FILE* stream, DbTHandle* h, int set, int number, ...);
// The same into buf, which must hold the formatted message; gives buf.
char* Nlssprintf(char* buf, DbTHandle* h, int set, int number, ...);
// As Nlssprintf into buf of size bytes, cut to size - 1 characters.
char* Nlssnprintf(char* buf, int size, DbTHandle* h, int set, int number, ...);
// 16 hexadecimal digits: the sum of c[i] * i * i and the sum of c[i] over
// the text's characters as signed bytes (i from 1), 32-bit, "%08X%08X". A
// process-wide buffer, overwritten by the next call.
char* NlsCalcStrVal(const char* text);
